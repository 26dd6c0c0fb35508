#include <gtest/gtest.h>

#include <cstring>

#include "base/textedit.h"
#include "printers.h"

// Joining with a separator never doubles it.
TEST(TextEditJoin, SeparatorsAreNeverDoubled) {
    struct {
        char const *text, *part;
        char sep;
        char const* want;
    } const rows[] = {
        {"a", "b", ' ', "a b"}, {"a ", " b", ' ', "a b"}, {"", "b", ' ', "b"}, {"a ", "", ' ', "a"},
        {"x/", "", '/', "x"},   {"x", "/", '/', "x"},     {"a", "b", 0, "ab"},
    };
    for (auto const& r : rows) {
        CxStr1p t(r.text);
        EXPECT_TRUE(strSepAdd(t, r.part, r.sep));
        EXPECT_EQ(t, r.want) << r.text << " + " << r.part;
    }
    CxStr1p self("ab ");
    EXPECT_TRUE(strSepAdd(self, self, ' '));
    EXPECT_EQ(self, "ab ab ");
    CxStr1p j;
    strJoinSPC(j, "a");
    strJoinSPC(j, "");
    strJoinALT(j, "c");
    EXPECT_EQ(j, "a|c");
}

TEST(TextEditAlternatives, WholeAlternativesOnly) {
    struct {
        char const *word, *alts;
        bool want;
    } const rows[] = {
        {"-j", "-j|--jobs", true},  {"--job", "-j|--jobs", false},
        {"", "-j|--jobs", false},   {"cp", "cp|cprec", true},
        {"c", "cp|cprec", false},   {"cprecx", "cp|cprec", false},
        {"cp", "c|cp", true},       {"", "a||b", true},
        {"Echo", "echo|cp", false},
    };
    for (auto const& r : rows)
        EXPECT_EQ(strIsEqAlt(r.word, r.alts), r.want) << r.word << " in " << r.alts;
    EXPECT_TRUE(strIsEqIcaseAlt("ECHO", "cp|echo"));
    EXPECT_FALSE(strIsEqIcaseAlt("ECH", "cp|echo"));
}

TEST(TextEditQuotes, DetectAddRemove) {
    struct {
        char const *in, *quotes, *want;
    } const rows[] = {
        {"\"", "\"'", "\""},          {"'a'", "\"'", "a"},  {"'a\"", "\"'", "'a\""},
        {"\"\"a\"\"", "\"", "\"a\""}, {"'x'", "\"", "'x'"}, {"''", "'", ""},
    };
    for (auto const& r : rows) {
        CxStr1p s(r.in);
        strDelQuoteSet(s, r.quotes);
        EXPECT_EQ(s, r.want) << r.in;
    }
    EXPECT_EQ(strAddQuote("a \"b\"", '\''), "'a \"b\"'");
}

TEST(TextEditTrim, SetsAndSequences) {
    EXPECT_EQ(strTrimLR(" \t\r\na b\n "), "a b");
    EXPECT_EQ(strTrimLR(" \t "), "");
    EXPECT_EQ(strTrimLR("xyaxy", "yx"), "a");
    CxStr1p s("  a \t\t b  c ");
    EXPECT_TRUE(strTrimSeqSet(s, " \t"));
    EXPECT_EQ(s, "a b c");
}

TEST(TextEditPathSep, EndSeparatorsKeepRoots) {
    for (char const* k : {"C:/", "/", "\\", "a", "", "C:\\"}) {
        CxStr1p s(k);
        EXPECT_TRUE(strDelEndPsep(s));
        EXPECT_EQ(s, k);
    }
    for (auto r : {std::pair<char const*, char const*>{"a//", "a"}, {"//", "/"}, {"C://", "C:/"}}) {
        CxStr1p s(r.first);
        strDelEndPsep(s);
        EXPECT_EQ(s, r.second) << r.first;
    }
    for (auto r : {std::pair<char const*, char const*>{"dir", "dir/"},
                   {"dir/", "dir/"},
                   {"", ""},
                   {"a\\", "a\\"},
                   {"C:", "C:"},
                   {"z:", "z:"},
                   {"1:", "1:/"}}) {
        CxStr1p s(r.first);
        strAddEndPsep(s);
        EXPECT_EQ(s, r.second) << r.first;
    }
}

TEST(TextEditLineEnds, ReplaceAndDetect) {
    CxStr1p s("a\r\nb\rc");
    EXPECT_TRUE(strReplaceNL2LF(s));
    EXPECT_EQ(s, "a\nb\nc");
    s = "\r\r\n\n\r";
    strReplaceNL2LF(s);
    EXPECT_EQ(s, "\n\n\n\n");
    s = withZero("a\r\n\0b\r", 6);
    strReplaceNL2LF(s);
    EXPECT_EQ(s.len, 2);
    // The end decides; no line end at all gives CR LF and false.
    for (auto r : {std::pair<char const*, char const*>{"abc", "\r\n"},
                   {"a\n", "\n"},
                   {"a\r", "\r"},
                   {"a\nb\r\n", "\r\n"}}) {
        CxStr1p nl("x");
        EXPECT_EQ(strDetectNL(nl, r.first), strcmp(r.first, "abc") != 0) << r.first;
        EXPECT_EQ(nl, r.second) << r.first;
    }
}

TEST(TextEditCase, AsciiFoldingOnly) {
    EXPECT_EQ(strToLower("AB\xC9Z@["), "ab\xC9z@[");
    EXPECT_TRUE(strIsEqIcase("Make", "mAKE"));
    EXPECT_FALSE(strIsEqIcase("@", "`")); // 0x40 and 0x60 are not letters
}
