#include <gtest/gtest.h>

#include "base/textedit.h"

namespace {

CxStr1p sepAdd(char const* text, char const* part, char sep) {
    CxStr1p t(text);
    EXPECT_TRUE(strSepAdd(t, part, sep));
    return t;
}

CxStr1p sepPrepend(char const* text, char const* part, char sep) {
    CxStr1p t(text);
    EXPECT_TRUE(strSepPrepend(t, part, sep));
    return t;
}

// A string whose length covers a zero byte, as file contents can.
CxStr1p withZero(char const* bytes, long long n) {
    CxStr1p s;
    s.reserve(n + 1);
    memcpy(s.data, bytes, (size_t)n);
    s.data[n] = 0;
    s.len = n;
    return s;
}

} // namespace

TEST(TextEditJoin, SepAddDropsDoubledSeparators) {
    EXPECT_EQ(sepAdd("a", "b", ' '), "a b");
    EXPECT_EQ(sepAdd("a ", " b", ' '), "a b");
    EXPECT_EQ(sepAdd("", "b", ' '), "b");
    EXPECT_EQ(sepAdd("a ", "", ' '), "a");
    EXPECT_EQ(sepAdd("x/", "", '/'), "x");
    EXPECT_EQ(sepAdd("x", "/", '/'), "x");
    EXPECT_EQ(sepAdd("a", "b", 0), "ab");
    CxStr1p self("ab ");
    EXPECT_TRUE(strSepAdd(self, self, ' '));
    EXPECT_EQ(self, "ab ab ");
}

TEST(TextEditJoin, SepPrependMirrorsSepAdd) {
    EXPECT_EQ(sepPrepend("b", "a", ' '), "a b");
    EXPECT_EQ(sepPrepend("y", "x/", '/'), "x/y");
    EXPECT_EQ(sepPrepend("", "x", '/'), "x");
    EXPECT_EQ(sepPrepend("/", "x/", '/'), "x");
    EXPECT_EQ(sepPrepend("/y", "", '/'), "y");
    EXPECT_EQ(sepPrepend("y", "x", 0), "xy");
}

TEST(TextEditJoin, ListsAndJoins) {
    CxStr1p l;
    EXPECT_TRUE(strAdd2List(l, "", ','));
    EXPECT_EQ(l, "");
    strAdd2List(l, "a", ',');
    strAdd2List(l, "b", ',');
    EXPECT_EQ(l, "a,b");
    l = "a,";
    strAdd2List(l, "b", ',');
    EXPECT_EQ(l, "a,b");

    EXPECT_EQ(strAddSepMaybe("", '/'), "");
    EXPECT_EQ(strAddSepMaybe("a", '/'), "a/");

    CxStr1p j;
    strJoinSPC(j, "a");
    strJoinSPC(j, "");
    strJoinSPC(j, "b");
    EXPECT_EQ(j, "a b");
    strJoinALT(j, "c");
    strJoinNL(j, "d");
    EXPECT_EQ(j, "a b|c\nd");
    CxStr1p self("x");
    strJoin(self, ',', self);
    EXPECT_EQ(self, "x,x");

    CxStr1p s;
    strAddSPC(s, "a");
    strAddSPC(s, "");
    strAddNL(s, "b");
    EXPECT_EQ(s, "a  b\n");
}

TEST(TextEditAlternatives, WholeAlternativesOnly) {
    EXPECT_TRUE(strIsEqAlt("-j", "-j|--jobs"));
    EXPECT_FALSE(strIsEqAlt("--job", "-j|--jobs"));
    EXPECT_FALSE(strIsEqAlt("", "-j|--jobs"));
    EXPECT_TRUE(strIsEqAlt("cp", "cp|cprec"));
    EXPECT_FALSE(strIsEqAlt("c", "cp|cprec"));
    EXPECT_FALSE(strIsEqAlt("cprecx", "cp|cprec"));
    EXPECT_TRUE(strIsEqAlt("cp", "c|cp"));
    EXPECT_TRUE(strIsEqAlt("", "a||b"));
    EXPECT_FALSE(strIsEqAlt("", "a|b"));
    EXPECT_FALSE(strIsEqAlt("Echo", "echo|cp"));
    EXPECT_TRUE(strIsEqAlt("b", "a,b", ','));
    EXPECT_TRUE(strIsEqIcaseAlt("ECHO", "cp|echo"));
    EXPECT_FALSE(strIsEqIcaseAlt("ECH", "cp|echo"));
}

TEST(TextEditQuotes, DetectAddRemove) {
    EXPECT_TRUE(strIsQuoted("'a'", '\''));
    EXPECT_FALSE(strIsQuoted("'a'", '"'));
    EXPECT_FALSE(strIsQuoted("'", '\''));
    EXPECT_FALSE(strIsQuoted("aa", (char)0));
    EXPECT_TRUE(strIsQuoted("\"\"", "\"'"));
    EXPECT_FALSE(strIsQuoted("xax", "\"'"));

    CxStr1p s("\"");
    strDelQuoteSet(s, "\"'");
    EXPECT_EQ(s, "\"");
    s = "'a'";
    strDelQuoteSet(s, "\"'");
    EXPECT_EQ(s, "a");
    s = "'a\"";
    strDelQuoteSet(s, "\"'");
    EXPECT_EQ(s, "'a\"");
    s = "\"\"a\"\"";
    strDelQuoteSet(s, '"');
    EXPECT_EQ(s, "\"a\"");
    EXPECT_EQ(strDelQuote("'x'", '"'), "'x'");
    EXPECT_EQ(strDelQuote("''", "'"), "");

    EXPECT_EQ(strAddQuote("a \"b\"", '\''), "'a \"b\"'");
    EXPECT_EQ(strAddQuote("", '"'), "\"\"");
}

TEST(TextEditTrim, SetsAndDefaults) {
    EXPECT_EQ(strTrimLR(" \t\r\na b\n "), "a b");
    EXPECT_EQ(strTrimLR(" \t "), "");
    EXPECT_EQ(strTrimLR("--a-b--", "-"), "a-b");
    EXPECT_EQ(strTrimLR("xyaxy", "yx"), "a");
    CxStr1p s("\t a \t");
    EXPECT_TRUE(strTrimLRSet(s));
    EXPECT_EQ(s, "a");
    s = "  ";
    strTrimRSet(s);
    EXPECT_EQ(s, "");
    s = "..a";
    strTrimLSet(s, ".");
    EXPECT_EQ(s, "a");
    s = "  a \t\t b  c ";
    EXPECT_TRUE(strTrimSeqSet(s, " \t"));
    EXPECT_EQ(s, "a b c");
    s = "";
    EXPECT_TRUE(strTrimSeqSet(s, " "));
    EXPECT_EQ(s, "");
}

TEST(TextEditPathSep, EndSeparatorsKeepRoots) {
    EXPECT_TRUE(strHasEndPsep("a/"));
    EXPECT_FALSE(strHasEndPsep(""));

    char const* keep[] = {"C:/", "/", "\\", "a", "", "C:\\"};
    for (char const* k : keep) {
        CxStr1p s(k);
        EXPECT_TRUE(strDelEndPsep(s));
        EXPECT_EQ(s, k);
    }
    CxStr1p s("a//");
    strDelEndPsep(s);
    EXPECT_EQ(s, "a");
    s = "//";
    strDelEndPsep(s);
    EXPECT_EQ(s, "/");
    s = "C://";
    strDelEndPsep(s);
    EXPECT_EQ(s, "C:/");

    s = "dir";
    strAddEndPsep(s);
    EXPECT_EQ(s, "dir/");
    strAddEndPsep(s);
    EXPECT_EQ(s, "dir/");
    char const* noAdd[] = {"", "a\\", "C:", "z:", "/"};
    for (char const* k : noAdd) {
        CxStr1p t(k);
        strAddEndPsep(t);
        EXPECT_EQ(t, k);
    }
    s = "1:";
    strAddEndPsep(s);
    EXPECT_EQ(s, "1:/");
}

TEST(TextEditLineEnds, ReplaceAndDetect) {
    CxStr1p s("a\r\nb\rc");
    EXPECT_TRUE(strReplaceNL2LF(s));
    EXPECT_EQ(s, "a\nb\nc");
    s = "\r\r\n\n\r";
    strReplaceNL2LF(s);
    EXPECT_EQ(s, "\n\n\n\n");
    EXPECT_EQ(s.len, 4);
    s = withZero("a\r\n\0b\r", 6);
    strReplaceNL2LF(s);
    EXPECT_EQ(s.len, 2);
    EXPECT_EQ(s, "a\n");

    CxStr1p nl("x");
    EXPECT_FALSE(strDetectNL(nl, ""));
    EXPECT_EQ(nl, "\r\n");
    EXPECT_FALSE(strDetectNL(nl, "abc"));
    EXPECT_EQ(nl, "\r\n");
    EXPECT_TRUE(strDetectNL(nl, "a\n"));
    EXPECT_EQ(nl, "\n");
    EXPECT_TRUE(strDetectNL(nl, "a\r\n"));
    EXPECT_EQ(nl, "\r\n");
    EXPECT_TRUE(strDetectNL(nl, "a\r"));
    EXPECT_EQ(nl, "\r");
    EXPECT_TRUE(strDetectNL(nl, "a\nb\r\n")); // the end decides
    EXPECT_EQ(nl, "\r\n");
}

TEST(TextEditContainment, CharsAndTexts) {
    EXPECT_TRUE(strHas("abc", 'c'));
    EXPECT_FALSE(strHas("abc", (char)0));
    EXPECT_TRUE(strHas("abc", CxStr1p("bc")));
    EXPECT_FALSE(strHas("abc", CxStr1p("cd")));
    EXPECT_TRUE(strHas("aab", CxStr1p("ab")));
    EXPECT_TRUE(strHas("abc", CxStr1p("")));
    EXPECT_TRUE(strHasStart("abc", "ab"));
    EXPECT_FALSE(strHasStart("ab", "abc"));
    EXPECT_FALSE(strHasEnd("", 'c'));
    EXPECT_TRUE(strHasEnd("x.exe", ".exe"));
    EXPECT_FALSE(strHasEnd("exe", ".exe"));
    EXPECT_TRUE(strHasEnd("a", ""));

    long long idx = 0;
    EXPECT_TRUE(strFindIdx(idx, "abab", "ab", 1));
    EXPECT_EQ(idx, 2);
    EXPECT_FALSE(strFindIdx(idx, "abab", "ba", 2));
    EXPECT_EQ(idx, -1);
    EXPECT_FALSE(strFindIdx(idx, "ab", "abc"));
}

TEST(TextEditCase, AsciiFoldingOnly) {
    EXPECT_EQ(strToUpper("ab\xE9z1"), "AB\xE9Z1");
    EXPECT_EQ(strToLower("AB\xC9Z@["), "ab\xC9z@[");
    EXPECT_TRUE(strIsEqIcase("Make", "mAKE"));
    EXPECT_FALSE(strIsEqIcase("Make", "Makes"));
    EXPECT_TRUE(cstrIsEqIcaseN("PATHext", "pathEXT_x", 7));
    EXPECT_FALSE(cstrIsEqIcaseN("PATH", "PATX", 4));
    EXPECT_FALSE(cstrIsEqIcaseN(nullptr, "a", 1));
    EXPECT_FALSE(strIsEqIcase("@", "`")); // 0x40 and 0x60 are not letters
    EXPECT_EQ(strCmpIcase("abc", "ABD"), -1);
    EXPECT_EQ(strCmpIcase("ABC", "abc"), 0);
    EXPECT_EQ(strCmpIcase("a", "AB"), -1);
    EXPECT_EQ(strCmpIcase("\xE9", "a"), 1); // bytes compare unsigned
    EXPECT_EQ(cstrCmpIcase("Zeta", "alpha"), 1);
    EXPECT_EQ(cstrCmpIcase(nullptr, ""), 0);
}
