#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/tokens.h"
#include "printers.h"
#include "scratch.h"

namespace {

typedef bool (*TokFn)(CxStr1p&, long long&, CxStr1p const&);
typedef std::vector<std::string> Strs;
typedef std::vector<long long> Nums;

// Collects tokens while the tokenizer reports true; the cap turns a cursor
// that stops moving into a failure instead of a hang.
template <typename F> Strs collect(CxStr1p const& text, F next) {
    Strs r;
    CxStr1p out("junk");
    long long pos = 0;
    while (next(out, pos, text)) {
        r.push_back(out.c_str());
        if (r.size() > 50) break;
    }
    EXPECT_EQ(out, "") << "output not emptied at the end";
    return r;
}

Strs lines(CxStr1p const& text, TokFn fn = strTokenOneNL) {
    return collect(text, fn);
}

Strs tokens(CxStr1p const& text, char const* seps, char const* flags = "") {
    return collect(text, [&](CxStr1p& o, long long& p, CxStr1p const& t) {
        return strToken(o, p, t, seps, flags);
    });
}

Strs oneSep(CxStr1p const& text, char const* seps) {
    return collect(text, [&](CxStr1p& o, long long& p, CxStr1p const& t) {
        return strTokenOneSep(o, p, t, seps);
    });
}

Strs args(CxStr1p const& text, char const* flags = "", bool unq = false) {
    return collect(text, [&](CxStr1p& o, long long& p, CxStr1p const& t) {
        return unq ? strTokenUnqArg(o, p, t, " \t\r\n", flags)
                   : strTokenArg(o, p, t, " \t\r\n", flags);
    });
}

// An exact-size heap copy without terminator, so reading one byte past the
// end shows under the address sanitizer.
struct RawBuf {
    char* p;
    long long n;
    explicit RawBuf(char const* s) : n((long long)strlen(s)) {
        p = (char*)malloc((size_t)n);
        memcpy(p, s, (size_t)n);
    }
    ~RawBuf() { free(p); }
};

} // namespace

TEST(TokLines, EmptyLinesAndLineEnds) {
    EXPECT_EQ(lines("a\n\nb"), (Strs{"a", "", "b"}));
    EXPECT_EQ(lines("x\r\n"), (Strs{"x"}));
    EXPECT_EQ(lines("a\r\rb\r\n\nc"), (Strs{"a", "", "b", "", "c"}));
    EXPECT_EQ(lines("\n"), (Strs{""}));
    EXPECT_EQ(lines(""), (Strs{}));
    EXPECT_EQ(lines("'a b'\n\"c\"\n'd", strTokenUnqOneNL), (Strs{"a b", "c", "'d"}));

    CxStr1p out;
    for (long long pos : {-1LL, 3LL})
        EXPECT_FALSE(strTokenOneNL(out, pos, "abc")) << pos;
}

TEST(TokLines, ZeroByteAndRawBuffers) {
    // The zero byte ends the text: no endless empty lines at it.
    EXPECT_EQ(lines(withZero("a\nb\0c\n", 6)), (Strs{"a", "b"}));
    EXPECT_EQ(lines(withZero("\0x", 2)), (Strs{}));

    RawBuf raw("ab\r");
    long long s = -1, n = -1, pos = 0;
    EXPECT_TRUE(cstrTokenOneNL(s, n, pos, raw.p, raw.n));
    EXPECT_EQ((Nums{s, n, pos}), (Nums{0, 2, 3}));
    EXPECT_FALSE(cstrTokenOneNL(s, n, pos, raw.p, raw.n));
    pos = 0;
    EXPECT_TRUE(cstrTokenOneNL(s, n, pos, "l1\r\nl2", -1));
    EXPECT_EQ(pos, 4);
}

TEST(TokSeparatorRuns, EmptyTokensOnlyWithE) {
    EXPECT_EQ(tokens("||", "|"), (Strs{}));
    EXPECT_EQ(tokens("||", "|", "e"), (Strs{"", ""}));
    EXPECT_EQ(tokens("a||b", "|", "e"), (Strs{"a", "", "b"}));
    EXPECT_EQ(tokens("a|b", "|", "e"), (Strs{"a", "b"}));
    EXPECT_EQ(tokens("|a", "|", "e"), (Strs{"", "a"}));
    EXPECT_EQ(tokens("a|", "|", "e"), (Strs{"a", ""}));
    EXPECT_EQ(tokens("a  b", "| ", "e"), (Strs{"a", "b"})); // blanks never delimit empties
    EXPECT_EQ(tokens("  a |b||c\r\n\td  ", "|\r\n \t"), (Strs{"a", "b", "c", "d"}));
    EXPECT_EQ(tokens("x y", nullptr), (Strs{"x", "y"}));
    EXPECT_EQ(tokens(withZero("a b\0 c", 6), " "), (Strs{"a", "b"}));

    EXPECT_EQ(lines("\r\n\r\nl1\r\n \r\n\nl2\n", strTokenNL), (Strs{"l1", " ", "l2"}));
    EXPECT_EQ(lines("'q'\n\n\"r\"", strTokenUnqNL), (Strs{"q", "r"}));
    EXPECT_EQ(
        collect("'a'|\"b c\"|'x\"", [](CxStr1p& o, long long& p,
                                       CxStr1p const& t) { return strTokenUnq(o, p, t, "|", ""); }),
        (Strs{"a", "b c", "'x\""}));

    RawBuf raw(" a|");
    long long s = 0, n = 0, pos = 0;
    EXPECT_TRUE(cstrToken(s, n, pos, raw.p, raw.n, "| ", "e"));
    EXPECT_EQ((Nums{s, n}), (Nums{1, 1}));
    EXPECT_TRUE(cstrToken(s, n, pos, raw.p, raw.n, "| ", "e"));
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(cstrToken(s, n, pos, raw.p, raw.n, "| ", "e"));
}

TEST(TokSingleSeparator, EveryGapIsAToken) {
    EXPECT_EQ(oneSep("a,,b", ","), (Strs{"a", "", "b"}));
    EXPECT_EQ(oneSep(",a,", ","), (Strs{"", "a"}));
    EXPECT_EQ(oneSep("a\r\nb\r\rc", "\r\n"), (Strs{"a", "b", "", "c"}));
    EXPECT_EQ(oneSep("a\r\nb", "\n"), (Strs{"a\r", "b"}));
    EXPECT_EQ(oneSep(withZero("a,\0,b", 5), ","), (Strs{"a"}));
    EXPECT_EQ(
        collect("'a',\"b\"", [](CxStr1p& o, long long& p,
                                CxStr1p const& t) { return strTokenUnqOneSep(o, p, t, ","); }),
        (Strs{"a", "b"}));
}

TEST(TokArgs, QuotesAndBackslashes) {
    EXPECT_EQ(args("a \"b c\" d"), (Strs{"a", "\"b c\"", "d"}));
    EXPECT_EQ(args("  x=\"1 2\"'3 4'y\t z "), (Strs{"x=\"1 2\"'3 4'y", "z"}));
    EXPECT_EQ(args("\"it's\" 'say \"hi\"'"), (Strs{"\"it's\"", "'say \"hi\"'"}));
    EXPECT_EQ(args("a\\ b c"), (Strs{"a\\ b", "c"}));
    EXPECT_EQ(args("\"a\\\"b\" c"), (Strs{"\"a\\\"b\"", "c"}));
    EXPECT_EQ(args("ab\\"), (Strs{"ab\\"}));
    EXPECT_EQ(args("a \"b c\" 'd'", "", true), (Strs{"a", "b c", "d"}));

    // An open quote takes the rest of the text and reports false.
    CxStr1p out;
    long long pos = 0;
    CxStr1p text("a \"b c");
    EXPECT_TRUE(strTokenArg(out, pos, text));
    EXPECT_TRUE(!strTokenArg(out, pos, text) && out == "\"b c");
    EXPECT_TRUE(!strTokenArg(out, pos, text) && out.isEmpty());
    // A zero byte ends even a quoted argument.
    pos = 0;
    EXPECT_TRUE(!strTokenArg(out, pos, withZero("'a\0b'", 5)) && out == "'a");
    pos = 0;
    EXPECT_TRUE(strTokenArg(out, pos, withZero("a\\\0b", 4)) && out == "a\\");
}

TEST(TokArgs, EmptyPairsAndEmptyTokens) {
    EXPECT_EQ(args("a \"\" b ''"), (Strs{"a", "\"\"", "b", "''"}));
    EXPECT_EQ(args("a \"\" b '' ", "Q"), (Strs{"a", "b"}));
    EXPECT_EQ(args("'' \"\"", "Q"), (Strs{}));
    EXPECT_EQ(args("\"'\" '\"'", "Q"), (Strs{"\"'\"", "'\"'"}));
    EXPECT_EQ(
        collect("a||\"b|c\"", [](CxStr1p& o, long long& p,
                                 CxStr1p const& t) { return strTokenArg(o, p, t, "|", "e"); }),
        (Strs{"a", "", "\"b|c\""}));
}

TEST(TokQuoteByCtx, Decisions) {
    EXPECT_EQ(strArgQuoteByCtx("it's"), "\"it's\"");
    EXPECT_EQ(strArgQuoteByCtx("a'b\"c"), "\"a\\'b\\\"c\"");
    EXPECT_EQ(strArgQuoteByCtx("VAR='x y'"), "VAR='x y'");
    EXPECT_EQ(strArgQuoteByCtx("say \"hi\""), "'say \"hi\"'");
    EXPECT_EQ(strArgQuoteByCtx("a b"), "\"a b\"");
    EXPECT_EQ(strArgQuoteByCtx("a b", "", '\''), "'a b'");
    EXPECT_EQ(strArgQuoteByCtx("a>b"), "\"a>b\"");
    EXPECT_EQ(strArgQuoteByCtx("plain-1.c"), "plain-1.c");
    EXPECT_EQ(strArgQuoteByCtx("\"a b\""), "\"a b\"");
    EXPECT_EQ(strArgQuoteByCtx("a b", "c"), "a b");
    EXPECT_EQ(strArgQuoteByCtx("a;b", "c"), "\"a;b\"");
    EXPECT_EQ(strArgQuoteByCtx("a$b", "", '"', "$"), "\"a$b\"");
    EXPECT_EQ(strArgQuoteByCtx("a b", "", '"', "$"), "a b");
    EXPECT_EQ(strArgQuoteByCtx("a b", "", 0), "\"a b\"");
    EXPECT_EQ(strArgQuoteByCtx(""), "\"\"");
    EXPECT_EQ(strArgQuoteByCtx("", "a", '\''), "''");
    EXPECT_EQ(strArgQuoteByCtx("", "aE"), "");
    EXPECT_EQ(strArgQuoteByCtx("", "c"), "");
}

TEST(TokQuoteByCtx, QuotedArgumentsCutBackTheSame) {
    char const* items[] = {"a b", "it's", "say \"hi\"", "x|y", "p<q", "tab\there", "plain"};
    CxStr1p line;
    for (char const* it : items)
        strSepAdd(line, strArgQuoteByCtx(it), ' ');
    Strs got = args(line, "", true);
    EXPECT_EQ(got, (Strs{"a b", "it's", "say \"hi\"", "x|y", "p<q", "tab\there", "plain"}));
}

TEST(TokArgList, AddFindDelete) {
    CxStr1p list;
    for (char const* it : {"a", "b c", "d", ""})
        EXPECT_TRUE(argListAdd(list, it));
    EXPECT_EQ(list, " a \"b c\" d \"\" ");
    struct {
        char const *list, *items;
        bool want;
    } const has[] = {
        {list.c_str(), "a", true},  {list.c_str(), "b c", true}, {list.c_str(), "b", false},
        {list.c_str(), "c", false}, {list.c_str(), "x|d", true}, {list.c_str(), "", true},
        {" ab ", "a|b", false},     {" a ", "", false},          {" x '' ", "", true},
    };
    for (auto const& r : has)
        EXPECT_EQ(argListHas(r.list, r.items), r.want) << r.list << " has " << r.items;

    CxStr1p l2(" -C dir a -C dir -C dir ");
    EXPECT_TRUE(argListDelEach(l2, "-C", "dir"));
    EXPECT_EQ(l2, " a ");
    l2 = " a a b a ";
    EXPECT_TRUE(argListDelEach(l2, "a", ""));
    EXPECT_FALSE(argListDelEach(l2, "zz", "") || argListDelEach(l2, "", ""));
    EXPECT_EQ(l2, " b ");
}

// Each row runs from both starting states: the flags are set, not only changed.
TEST(TokRecipeSplit, AttributesCommandAndArguments) {
    struct {
        char const *in, *want;
    } const attrs[] = {
        {"@-echo x", "echo x|quiet|ignore"},
        {" \t- @ -echo -x\r\n", "echo -x|quiet|ignore"},
        {"  ls -l ", "ls -l|show|stop"},
        {"@", "|quiet|stop"},
    };
    for (auto const& r : attrs)
        for (bool init : {false, true}) {
            bool show = init, ign = !init;
            CxStr1p c(r.in);
            splitAttrCmd(show, ign, c);
            EXPECT_EQ(std::string(c.c_str()) + (show ? "|show" : "|quiet") +
                          (ign ? "|ignore" : "|stop"),
                      r.want)
                << r.in;
        }
    struct {
        char const *line, *ends, *want;
    } const cmds[] = {
        {"  gcc \t -c  x.c \r\n", "", "gcc|-c  x.c"},
        {"make", "", "make|"},
        {"echo\thi > f", ">", "echo|hi"},
    };
    for (auto const& r : cmds) {
        CxStr1p cmd("old"), a("old");
        EXPECT_TRUE(splitCmdArgs(cmd, a, r.line, r.ends));
        EXPECT_EQ(cmd + "|" + a, r.want) << r.line;
    }
    CxStr1p same("cp a b"), a;
    splitCmdArgs(same, a, same);
    EXPECT_EQ(same + "|" + a, "cp|a b");
}

using TokFiles = ScratchDirTest;

TEST_F(TokFiles, SaveLoadRoundTrip) {
    CxStr1p p = P("f.bin");
    CxStr1p body = withZero("l1\r\nl2\0\rl3\r", 11);
    EXPECT_TRUE(strFileSaveFd(p, body));
    CxStr1p got("old");
    EXPECT_TRUE(strFileLoadFd(p, got));
    ASSERT_EQ(got.len, 11); // binary: CR LF and the zero byte survive
    EXPECT_EQ(memcmp(got.data, body.data, 11), 0);
    EXPECT_TRUE(strFileLoadFd(p, got, "n"));
    ASSERT_EQ(got.len, 10);
    EXPECT_EQ(memcmp(got.data, "l1\nl2\0\nl3\n", 10), 0);
}

TEST_F(TokFiles, SaveOnDiffLeavesEqualFileAlone) {
    namespace fs = std::filesystem;
    CxStr1p p = P("f.txt"), got;
    ASSERT_TRUE(strFileSaveFd(p, "same"));
    std::error_code ec;
    fs::file_time_type old = fs::last_write_time(p.c_str(), ec) - std::chrono::hours(2);
    fs::last_write_time(p.c_str(), old, ec);
    ASSERT_FALSE(ec);
    EXPECT_TRUE(strFileSaveFdOnDiff(p, "same"));
    EXPECT_TRUE(fs::last_write_time(p.c_str(), ec) == old);
    EXPECT_TRUE(strFileSaveFdOnDiff(p, "samE"));
    EXPECT_TRUE(fs::last_write_time(p.c_str(), ec) != old);
    EXPECT_TRUE(strFileLoadFd(p, got));
    EXPECT_EQ(got, "samE");
    EXPECT_TRUE(strFileSaveFdOnDiff(P("new.txt"), "fresh"));
    EXPECT_TRUE(strFileLoadFd(P("new.txt"), got));
    EXPECT_EQ(got, "fresh");
}
