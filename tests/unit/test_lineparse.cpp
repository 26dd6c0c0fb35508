#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>

#include "printers.h"
#include "rules/lineparse.h"

namespace {

struct Read {
    bool ok;
    CxStr1p line;
    long long pos;
    long long lineNr;
    bool quoteOpen;
};

Read readAt(CxStr1p const& text, long long pos, char const* flags = "j") {
    Read r{false, "junk", pos, 0, true};
    r.ok = strTokenTextEval(r.line, r.pos, r.lineNr, r.quoteOpen, text, flags);
    return r;
}

// All logical lines of a text, joined with '|'.
std::string readAll(CxStr1p const& text, char const* flags = "j", bool* quoteOpen = nullptr) {
    std::string all;
    CxStr1p line;
    long long pos = 0, nr = 0;
    bool q = false, first = true;
    while (strTokenTextEval(line, pos, nr, q, text, flags)) {
        if (!first) all += '|';
        first = false;
        all += line.c_str();
    }
    if (quoteOpen) *quoteOpen = q;
    return all;
}

// Straightforward reading that rescans the whole logical line after every
// physical line; the real reader must give the same results.
bool naiveRead(std::string& out, long long& pos, long long& nr, bool& qOpen, std::string const& t,
               bool join, bool skip) {
    qOpen = false;
    long long n = (long long)t.size();
    if (pos < 0 || pos >= n) return false;
    out.clear();
    bool have = false, cont = false, quote = false;
    while (pos < n && (!have || cont || quote)) {
        long long s = pos, e = s;
        while (e < n && t[e] != '\n' && t[e] != '\r')
            ++e;
        pos = e < n ? e + ((t[e] == '\r' && e + 1 < n && t[e + 1] == '\n') ? 2 : 1) : e;
        ++nr;
        std::string phys = t.substr(s, e - s);
        if (skip && !cont && !quote && cstrLineIsEmptyOrComment(phys.c_str())) continue;
        if (cont) {
            out.pop_back();
            bool blankEnd = !out.empty() && (out.back() == ' ' || out.back() == '\t');
            bool blankStart = !phys.empty() && (phys[0] == ' ' || phys[0] == '\t');
            if (blankEnd || blankStart) {
                while (!out.empty() && strchr(" \t\r\n", out.back()))
                    out.pop_back();
                size_t k = 0;
                while (k < phys.size() && strchr(" \t\r\n", phys[k]))
                    ++k;
                out += ' ';
                out += phys.substr(k);
            } else {
                out += phys;
            }
        } else if (quote) {
            out += '\n';
            out += phys;
        } else {
            out = phys;
        }
        have = true;
        CxStr1p l(out.c_str());
        cont = join && lineHasEndEsc(l);
        quote = !lineIsReady(l);
    }
    if (!have) return false;
    qOpen = quote;
    return !quote;
}

// One parse: '.' a dotted setting, 'd' a rule or recipe line, else an
// assignment or command; the result always equals isOk.
LineParts parse(char what, char const* line, char const* flags = "") {
    LineParts p;
    bool ok = what == '.'   ? lineParse4MakeVarPoint(p, line)
              : what == 'd' ? lineParse4MakeDepsOrCmd(p, line, flags)
                            : lineParse4VarOrCmd(p, line, flags);
    EXPECT_EQ(ok, p.isOk) << line;
    return p;
}
LineParts varOrCmd(char const* line, char const* flags = "") {
    return parse('v', line, flags);
}

} // namespace

TEST(LineClass, CommentsEmptyLinesAndWholeTokens) {
    EXPECT_TRUE(strLineIsComment(" \t# x") && strLineIsComment("  //"));
    EXPECT_FALSE(strLineIsComment("  / x") || strLineIsComment("a # x"));
    EXPECT_TRUE(strLineIsEmpty("") && strLineIsEmpty(" \t ") && !strLineIsEmpty(" x"));
    EXPECT_FALSE(strLineIsEmpty(" \r"));
    EXPECT_TRUE(cstrLineIsEmpty(nullptr) && cstrLineIsEmpty(" "));
    EXPECT_TRUE(strLineIsEmptyOrComment("  ") && strLineIsEmptyOrComment("\t#"));
    EXPECT_FALSE(strLineIsEmptyOrComment("/a"));

    // Bytes behind a zero byte still belong to the string.
    EXPECT_FALSE(strIsIdentifier(withZero("ab\0cd", 5)));
    EXPECT_FALSE(strLineIsEmpty(withZero(" \0x", 3)));
}

TEST(LineLex, QuotedStringsAndValues) {
    EXPECT_EQ(cstrLenQuoteEsc("'a b' c"), 5);
    EXPECT_EQ(cstrLenQuoteEsc("\"a\\\"b\"x"), 6);
    EXPECT_EQ(cstrLenQuoteEsc("\"a\\\"b"), 0);
    EXPECT_EQ(cstrLenQuoteEsc("'a\\"), 0);
    EXPECT_EQ(cstrLenQuoteEsc("'a\"b"), 0);
    EXPECT_EQ(cstrLenQuoteEsc("x'a'"), 0);
    EXPECT_EQ(cstrLenQuoteRaw("'a\\'b"), 4);
    EXPECT_EQ(cstrLenQuoteRaw("\"C:\\d\\\" x"), 7);
    EXPECT_EQ(cstrLenRvalue("'a b' c"), 5);
    EXPECT_EQ(cstrLenRvalue("-1.5 x"), 4);
    EXPECT_EQ(cstrLenRvalue("'open"), 0);
    EXPECT_EQ(cstrLenRvalue("'a\\'b'"), 6);
}

TEST(LineLex, CommentSearchRespectsQuotesAndEscapes) {
    EXPECT_EQ(cstrLenUntilCmtEsc("a b # c"), 4);
    EXPECT_EQ(cstrLenUntilCmtEsc("a // c"), 2);
    EXPECT_EQ(cstrLenUntilCmtEsc("a/b/c"), 5);
    EXPECT_EQ(cstrLenUntilCmtEsc("a \\# b # c"), 7);
    EXPECT_EQ(cstrLenUntilCmtEsc("'#' \"//\" #"), 9);
    // No escapes inside quotes: the backslash does not hide the closing mark.
    EXPECT_EQ(cstrLenUntilCmtEsc("'a\\' # c"), 5);
    EXPECT_EQ(cstrLenUntilCmtEsc("x 'a # b"), 8);
    EXPECT_EQ(cstrLenUntilCmtEsc("a\\"), 2);
}

// The quote scan passes over plain bytes eight at a time: a quote or escape
// at any offset of such a word, in lines long enough to hold several, must
// give what a byte-by-byte scan gives.
TEST(LineRead, QuoteStateMatchesByteScan) {
    auto byteScan = [](std::string const& s) {
        bool dq = false, sq = false, esc = false;
        for (char c : s) {
            if (esc)
                esc = false;
            else if (c == '\\')
                esc = true;
            else if (c == '"' && !sq)
                dq = !dq;
            else if (c == '\'' && !dq)
                sq = !sq;
        }
        return !dq && !sq;
    };
    std::mt19937 rng(777);
    for (int round = 0; round < 5000; ++round) {
        std::string t(rng() % 41, 'a');
        for (int k = (int)(rng() % 4); k > 0 && !t.empty(); --k)
            t[rng() % t.size()] = "\\\"'"[rng() % 3];
        ASSERT_EQ(lineIsReady(CxStr1p(t.c_str())), byteScan(t)) << t;
    }
}

TEST(LineRead, ZeroBytesAndTruncatedTexts) {
    // A zero byte ends the text of its physical line; the following lines still count.
    CxStr1p t = withZero("ab\0cd\nef\n\0\\\ngh", 14);
    EXPECT_EQ(readAll(t), "ab|ef||gh");
    t = withZero("a\\\n\0x\nb", 7);
    EXPECT_EQ(readAll(t), "a|b");
    t = withZero("'a\0'\nb'\n", 8);
    Read r = readAt(t, 0);
    EXPECT_TRUE(r.ok && r.line == "'a\nb'" && r.pos == 8) << r.line.c_str();
    // The string's length is the end even when the buffer holds more.
    CxStr1p cut("abc\\\ndef");
    cut.data[4] = 0;
    cut.len = 4;
    EXPECT_EQ(readAll(cut), "abc\\");
    cut = "x \"\\";
    r = readAt(cut, 0);
    EXPECT_TRUE(!r.ok && r.quoteOpen && r.line == "x \"\\") << r.line.c_str();
}

TEST(LineRead, MatchesWholeLineRescan) {
    std::mt19937 rng(12345);
    char const alphabet[] = "a \t\\\\\\'\"\n\n\r#";
    for (int round = 0; round < 3000; ++round) {
        std::string t;
        int len = 1 + (int)(rng() % 40);
        for (int i = 0; i < len; ++i)
            t += alphabet[rng() % (sizeof alphabet - 1)];
        CxStr1p text(t.c_str());
        for (char const* flags : {"j", "jL", ""}) {
            bool join = strchr(flags, 'j'), skip = strchr(flags, 'L');
            long long pos = 0, nr = 0, npos = 0, nnr = 0;
            for (int guard = 0; guard < 64; ++guard) {
                CxStr1p out;
                std::string nout;
                bool q = false, nq = false;
                bool ok = strTokenTextEval(out, pos, nr, q, text, flags);
                bool nok = naiveRead(nout, npos, nnr, nq, t, join, skip);
                ASSERT_EQ(ok, nok) << t << " " << flags;
                ASSERT_EQ(q, nq) << t << " " << flags;
                ASSERT_EQ(pos, npos) << t << " " << flags;
                ASSERT_EQ(nr, nnr) << t << " " << flags;
                if (ok || q) {
                    ASSERT_EQ(std::string(out.c_str()), nout) << t << " " << flags;
                }
                if (!ok) break;
            }
        }
    }
}

TEST(LineRead, LongContinuedLineIsLinear) {
    // About 1 MB in 100,000 physical lines, one logical line, with an open
    // quote carried over many of them.
    std::string t = "X = \"";
    for (int i = 0; i < 100000; ++i)
        t += i % 2 ? "abcdefghij \\\n" : "klmnopqrst\\\n";
    t += "end\"\nnext\n";
    CxStr1p text(t.c_str());
    auto start = std::chrono::steady_clock::now();
    CxStr1p line;
    long long pos = 0, nr = 0;
    bool q = true;
    ASSERT_TRUE(strTokenTextEval(line, pos, nr, q, text, "j"));
    double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(sec, 0.5);
    EXPECT_EQ(nr, 100001);
    EXPECT_TRUE(!q && line.length() > 900000 && line.last() == '"' && lineIsReady(line));
    EXPECT_EQ(std::string(line.c_str()).find('\\'), std::string::npos);
    EXPECT_TRUE(strTokenTextEval(line, pos, nr, q, text, "j"));
    EXPECT_EQ(line, "next");
}

// Expected fields of one parse; "~" leaves a field unchecked.
struct ParseCase {
    char const* line;
    char const* flags;
    bool ok;
    char const* name;
    char const* op;
    char const* value;
    char const* quote;
};

void checkCases(char const* what, ParseCase const* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        ParseCase const& c = cases[i];
        SCOPED_TRACE(std::string(what) + " >" + c.line + "< " + c.flags);
        LineParts p = parse(what[0], c.line, c.flags);
        EXPECT_EQ(p.isOk, c.ok);
        auto field = [](CxStr1p const& got, char const* want) {
            if (strcmp(want, "~")) {
                EXPECT_EQ(got, want);
            }
        };
        field(p.name, c.name);
        field(p.op, c.op);
        field(p.value, c.value);
        field(p.quote, c.quote);
    }
}

TEST(LineParse, DottedSetting) {
    ParseCase const cases[] = {
        {".DEFAULT_GOAL := all", "", true, ".DEFAULT_GOAL", ":=", "all", ""},
        {".DEFAULT_GOAL = 'a b'  ", "", true, ".DEFAULT_GOAL", "=", "a b", "'"},
        {".X \"v\"", "", true, ".X", "", "v", "\""},
        {".X=-1.5", "", true, ".X", "=", "-1.5", ""},
        {".PHONY: all", "", false, "~", "", "", ""},
        {" .X = a", "", false, "", "", "", ""},
        {".X", "", false, "~", "", "", ""},
        {".X =", "", false, "~", "=", "", ""},
        {".1 = a", "", false, "", "", "", ""},
        {"X = a", "", false, "", "", "", ""},
    };
    checkCases(".", cases, sizeof cases / sizeof cases[0]);
    LineParts p = parse('.', ".DEFAULT_GOAL := a b  ");
    EXPECT_TRUE(p.isMultiWord && p.value == "a b");
    EXPECT_TRUE(parse('.', ".X = 'a").isQuoteOpen);
}

TEST(LineParse, RuleAndRecipeLines) {
    ParseCase const cases[] = {
        {"all: a b  ", "", true, "all", ":", "a b", ""},
        {"all: a # note", "", true, "all", ":", "a # note", ""},
        {"out/x.o :", "", true, "out/x.o", ":", "", ""},
        {"\"my goal\": x", "", true, "\"my goal\"", ":", "x", ""},
        {"C:/out/x.o: x.c", "w", true, "C:/out/x.o", ":", "x.c", ""},
        {"C:\\out\\x.o: x.c", "w", true, "C:\\out\\x.o", ":", "x.c", ""},
        {"C:/out/x.o: x.c", "", true, "C", ":", "/out/x.o: x.c", ""},
        {"\t  gcc -c x.c # keep  \r", "", true, "", "cmd", "gcc -c x.c # keep", ""},
        {" X = 1", "", true, "", "cmd", "X = 1", ""},
        {" a b: c", "", true, "", "cmd", "a b: c", ""},
    };
    checkCases("deps", cases, sizeof cases / sizeof cases[0]);
    for (char const* no : {"a b: c", "X = 1", "X=1", "X := 1", "X :=1", "echo", "all", "   ", "",
                           "a:=b", ": x", "include x.mk", "'open: x"}) {
        LineParts p = parse('d', no);
        EXPECT_FALSE(p.isOk) << no;
        EXPECT_EQ(p.op, "") << no;
    }
}

TEST(LineParse, AssignmentsAndCommands) {
    ParseCase const cases[] = {
        {"X += 1", "", true, "X", "+=", "1", ""},
        {"V := x", "", true, "V", ":=", "x", ""},
        {"X=abc#c", "", true, "X", "=", "abc", ""},
        {"X = 'a b'  ", "", true, "X", "=", "a b", "'"},
        {"X = \"a # b\" # c", "", true, "X", "=", "a # b", "\""},
        // An empty value is an assignment of the empty text.
        {"X =", "", true, "X", "=", "", ""},
        {"X =   # c", "", true, "X", "=", "", ""},
        {"X = \"open", "", false, "X", "=", "", ""},
        {"X = '\"'", "", false, "X", "=", "\"", "'"},
        {"echo", "", true, "echo", "cmd", "echo", ""},
        {"  echo hello  ", "", true, "echo", "cmd", "echo hello", ""},
        {"echo =", "", true, "echo", "cmd", "echo =", ""},
        {"echo = -n x", "", true, "echo", "cmd", "echo = -n x", ""},
        {"echo = hi", "", true, "echo", "=", "hi", ""},
        {"X ?= 1", "", true, "X", "cmd", "X ?= 1", ""},
        {"ifeq (a,b)", "", true, "ifeq", "cmd", "ifeq (a,b)", ""},
        {"  echo x", "T", false, "", "", "", ""},
        {"  ", "", false, "", "", "", ""},
        {"1x = 2", "", false, "", "", "", ""},
        {"$x", "", false, "", "", "", ""},
    };
    checkCases("var", cases, sizeof cases / sizeof cases[0]);
    LineParts p = varOrCmd("X = 'a b' # c");
    EXPECT_TRUE(p.isVarOp && !p.isMultiWord);
    EXPECT_TRUE(varOrCmd("X = \"open").isQuoteOpen);
    EXPECT_TRUE(varOrCmd("echo = x y").isVarOp && varOrCmd("echo = x y").isMultiWord);
}

TEST(LineParse, FreeTextValues) {
    struct Case {
        char const* line;
        char const* value;
    } const cases[] = {
        {"CFLAGS = -O2 -Wall", "-O2 -Wall"},
        {"OUT = /tmp/x", "/tmp/x"},
        {"X = a b # note", "a b"},
        {"X = 'a' b", "'a' b"},
        {"X = \"a b\"c", "\"a b\"c"},
        {"X = a \\# b", "a \\# b"},
        {"X = 1.2.3", "1.2.3"},
        {"X = x.c 'y # z' # c", "x.c 'y # z'"},
    };
    for (auto const& c : cases) {
        LineParts p = varOrCmd(c.line), v = varOrCmd(c.line, "v");
        EXPECT_TRUE(!p.isOk && p.isVarOp && p.isMultiWord && v.isOk) << c.line;
        EXPECT_EQ(p.value + "|" + p.quote + "|" + v.value, CxStr1p(c.value) + "||" + c.value)
            << c.line;
    }
}

TEST(LineParse, IncludeLines) {
    ParseCase const cases[] = {
        {"-include sub.vorn  ", "", true, "-include", "inc", "sub.vorn", ""},
        {"include \"my dir/a.vorn\" ", "", true, "include", "inc", "my dir/a.vorn", "\""},
        {"include\ta.vorn # no comment here", "", true, "include", "inc",
         "a.vorn # no comment here", ""},
        {"include 'a.vorn", "", false, "include", "inc", "'a.vorn", ""},
        {"include", "", false, "~", "", "", ""},
        {"include  ", "", false, "~", "", "", ""},
        {"-include", "", false, "~", "", "", ""},
        {"-include = x", "", false, "~", "", "", ""},
        {"includes x", "", true, "includes", "cmd", "includes x", ""},
        // "include" as a variable name is no include line.
        {"include = x", "", true, "include", "=", "x", ""},
    };
    checkCases("var", cases, sizeof cases / sizeof cases[0]);
    EXPECT_EQ((std::string{varOrCmd("-include x").incKind, varOrCmd("include x").incKind}), "-.");
    EXPECT_EQ(varOrCmd("include = x").incKind, 0);
    EXPECT_TRUE(varOrCmd("include 'a.vorn").isQuoteOpen);
}
