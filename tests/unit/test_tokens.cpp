#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

Strs args(CxStr1p const& text, bool unq = false) {
    return collect(text, [&](CxStr1p& o, long long& p, CxStr1p const& t) {
        return unq ? strTokenUnqArg(o, p, t, " \t\r\n", "") : strTokenArg(o, p, t, " \t\r\n", "");
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

// A run of separators is one gap: no empty tokens.
TEST(TokSeparatorRuns, RunsMakeNoEmptyTokens) {
    EXPECT_EQ(tokens("||", "|"), (Strs{}));
    EXPECT_EQ(tokens("  a |b||c\r\n\td  ", "|\r\n \t"), (Strs{"a", "b", "c", "d"}));
    EXPECT_EQ(tokens("x y", nullptr), (Strs{"x", "y"}));
    EXPECT_EQ(tokens(withZero("a b\0 c", 6), " "), (Strs{"a", "b"}));
    EXPECT_EQ(lines("\r\n\r\nl1\r\n \r\n\nl2\n", strTokenNL), (Strs{"l1", " ", "l2"}));

    RawBuf raw(" a|");
    long long s = 0, n = 0, pos = 0;
    EXPECT_TRUE(cstrToken(s, n, pos, raw.p, raw.n, "| ", ""));
    EXPECT_EQ((Nums{s, n}), (Nums{1, 1}));
    EXPECT_FALSE(cstrToken(s, n, pos, raw.p, raw.n, "| ", ""));
}

TEST(TokArgs, QuotesAndBackslashes) {
    EXPECT_EQ(args("a \"b c\" d"), (Strs{"a", "\"b c\"", "d"}));
    EXPECT_EQ(args("  x=\"1 2\"'3 4'y\t z "), (Strs{"x=\"1 2\"'3 4'y", "z"}));
    EXPECT_EQ(args("\"it's\" 'say \"hi\"'"), (Strs{"\"it's\"", "'say \"hi\"'"}));
    EXPECT_EQ(args("a\\ b c"), (Strs{"a\\ b", "c"}));
    EXPECT_EQ(args("\"a\\\"b\" c"), (Strs{"\"a\\\"b\"", "c"}));
    EXPECT_EQ(args("ab\\"), (Strs{"ab\\"}));
    EXPECT_EQ(args("a \"\" b ''"), (Strs{"a", "\"\"", "b", "''"}));

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

TEST(TokQuoteByCtx, Decisions) {
    EXPECT_EQ(strArgQuoteByCtx("it's"), "\"it's\"");
    EXPECT_EQ(strArgQuoteByCtx("a'b\"c"), "\"a\\'b\\\"c\"");
    EXPECT_EQ(strArgQuoteByCtx("VAR='x y'"), "VAR='x y'");
    EXPECT_EQ(strArgQuoteByCtx("say \"hi\""), "'say \"hi\"'");
    EXPECT_EQ(strArgQuoteByCtx("a b"), "\"a b\"");
    EXPECT_EQ(strArgQuoteByCtx("a>b"), "\"a>b\"");
    EXPECT_EQ(strArgQuoteByCtx("plain-1.c"), "plain-1.c");
    EXPECT_EQ(strArgQuoteByCtx("\"a b\""), "\"a b\"");
    EXPECT_EQ(strArgQuoteByCtx(""), "\"\"");
}

TEST(TokQuoteByCtx, QuotedArgumentsCutBackTheSame) {
    char const* items[] = {"a b", "it's", "say \"hi\"", "x|y", "p<q", "tab\there", "plain"};
    CxStr1p line;
    for (char const* it : items)
        strSepAdd(line, strArgQuoteByCtx(it), ' ');
    Strs got = args(line, true);
    EXPECT_EQ(got, (Strs{"a b", "it's", "say \"hi\"", "x|y", "p<q", "tab\there", "plain"}));
}

TEST(TokArgList, AddQuotesWhereNeeded) {
    CxStr1p list;
    for (char const* it : {"a", "b c", "d", ""})
        EXPECT_TRUE(argListAdd(list, it));
    EXPECT_EQ(list, " a \"b c\" d \"\" ");
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
    for (auto r : {std::pair<char const*, char const*>{"  gcc \t -c  x.c \r\n", "gcc|-c  x.c"},
                   {"make", "make|"}}) {
        CxStr1p cmd("old"), a("old");
        EXPECT_TRUE(splitCmdArgs(cmd, a, r.first));
        EXPECT_EQ(cmd + "|" + a, r.second) << r.first;
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
}
