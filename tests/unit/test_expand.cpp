#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printers.h"
#include "rules/eval.h"
#include "rules/expand.h"

namespace {

class ExpandTest : public ::testing::Test {
  protected:
    EnvMap m;
    void SetUp() override {
        m.varSet("HOME", "/h");
        m.varSet("A", "a");
        m.varSet("E", "");
    }
    CxStr1p ex(char const* text, char const* opts = "", bool all = false) {
        return evalStr(m, text, CxStr1p(), opts, all);
    }
};

} // namespace

TEST_F(ExpandTest, ReferenceForms) {
    EXPECT_EQ(ex("$HOME/x"), "/h/x");
    EXPECT_EQ(ex("${HOME}/x"), "/h/x");
    EXPECT_EQ(ex("$(HOME)/x", "("), "/h/x");
    EXPECT_EQ(ex("$(HOME)/x", ")"), "/h/x");
    EXPECT_EQ(ex("$(HOME)/x"), "$(HOME)/x");
    EXPECT_EQ(ex("$$HOME"), "$/h");
    EXPECT_EQ(ex("$1 $. ${a.b} $(A) $"), "$1 $. ${a.b} $(A) $");
    EXPECT_EQ(ex("${A"), "${A");
    EXPECT_EQ(ex("$(A", "("), "$(A");
    EXPECT_EQ(ex("${A)", "("), "${A)");
    EXPECT_EQ(ex("$A_B$A.$A"), "a.a"); // A_B is one (undefined) name
    EXPECT_EQ(ex("x$UNDEFINED_VORN_NAME_Q/y"), "x/y");
    EXPECT_EQ(ex("[$E]"), "[]");
    EXPECT_EQ((std::vector<long long>{cstrLenVar("$HOME/x", ""), cstrLenVar("${HOME}", ""),
                                      cstrLenVar("$(HOME)", ""), cstrLenVar("$(HOME)", "("),
                                      cstrLenVar("x$A", ""), cstrLenVar(nullptr, "")}),
              (std::vector<long long>{5, 7, 0, 7, 0, 0}));
}

TEST_F(ExpandTest, SinglePassNeverRescans) {
    m.varSet("X", "$Y");
    m.varSet("Y", "1");
    EXPECT_EQ(ex("$X"), "$Y");
    m.varSet("SELF", "<$SELF>");
    EXPECT_EQ(ex("$SELF$SELF"), "<$SELF><$SELF>");
    EXPECT_EQ(evalVar2Str(m, "SELF", CxStr1p(), "", false), "<<$SELF>>");
    EXPECT_EQ(m.varGet("SELF"), "<$SELF>");
    m.varSet("R", "${A}");
    EXPECT_TRUE(evalVarReplSet(m, "R", CxStr1p(), "", false) && m.varGet("R") == "a");
    m.varSet("R2", "x$A");
    EXPECT_EQ(evalVarRepl(m, "R2", CxStr1p(), "", false), "xa");
    EXPECT_FALSE(evalVarReplSet(m, "", CxStr1p(), "", false));
}

TEST_F(ExpandTest, QuotesAndEscapes) {
    EXPECT_EQ(ex("'$HOME' \"$HOME\""), "'$HOME' \"/h\"");
    EXPECT_EQ(ex("'unclosed $HOME"), "'unclosed $HOME");
    EXPECT_EQ(ex("\\$HOME"), "$HOME");
    EXPECT_EQ(ex("\\\\$HOME"), "\\/h");
    EXPECT_EQ(ex("\\${A}"), "${A}");
    EXPECT_EQ(ex("\\(x\\)"), "\\(x\\)");
    EXPECT_EQ(ex("\\(x\\)", "("), "(x)");
    EXPECT_EQ(ex("a\\nb"), "a\\nb");
    EXPECT_EQ(ex("a\\nb", "", true), "anb");
    // A backslash left in place does not hide a quote behind it.
    EXPECT_EQ(ex("\\'$A'$A"), "\\'$A'a");
    // With every escape removed the quote behind it is literal; the next one
    // opens a quoted part.
    EXPECT_EQ(ex("\\'$A'$A", "", true), "'a'$A");
    EXPECT_EQ(ex("'\\$A'"), "'\\$A'");
    // Trailing backslash: kept, unless every escape goes.
    EXPECT_EQ(ex("a\\"), "a\\");
    EXPECT_EQ(ex("a\\", "", true), "a");
    EXPECT_EQ(ex("a\\\\", "", true), "a\\");
    m.varSet("P", "c:\\d\\");
    EXPECT_EQ(ex("$P", "", true), "c:\\d\\");
    // Squeezing after the pass.
    EXPECT_EQ(evalStr(m, "  $A   $A ", " ", "", false), "a a");
}

TEST_F(ExpandTest, ScannersReportPositions) {
    CxStr1p name, tok;
    long long start = -1, len = -1;
    CxStr1p text("x '$A' \\$B ${C} $(D)");
    EXPECT_TRUE(strNextVar(name, start, len, text, 0, "("));
    EXPECT_EQ(name, "C");
    EXPECT_EQ(start, 11);
    EXPECT_EQ(len, 4);
    EXPECT_TRUE(strNextVar(name, start, len, text, start + len, "("));
    EXPECT_EQ(name, "D");
    EXPECT_FALSE(strNextVar(name, start, len, text, start + len, "("));
    EXPECT_EQ(start, text.length());
    EXPECT_EQ(len, 0);
    EXPECT_TRUE(strNextVarOrEsc(tok, start, len, text, 0, ""));
    EXPECT_EQ(tok, "\\$");
    EXPECT_EQ(start, 7);
    EXPECT_EQ(len, 2);
    EXPECT_FALSE(strNextVarOrEsc(tok, start, len, "ab\\", 0, ""));
}

TEST_F(ExpandTest, OverlayLooksFirst) {
    VarOverlay ov;
    ov.setKV("A", "ov");
    EXPECT_EQ(evalMap2xStr(ov, m, "$A-$HOME", CxStr1p(), "", false), "ov-/h");
}

TEST_F(ExpandTest, RulesLineExpansion) {
    CxStr1p err, line("x $(A) 'y");
    bool qo = false;
    EXPECT_TRUE(!evalVarsInLine(line, qo, m, "(", &err, 1) && qo);
    EXPECT_EQ(err, "Unfinished line: >x $(A) 'y<\n");
    line = "x $(A) '$(A)'";
    err.clear();
    EXPECT_TRUE(evalVarsInLine(line, qo, m, "(", &err, 1) && !qo && err.isEmpty());
    EXPECT_EQ(line, "x a '$(A)'");
    line = "";
    EXPECT_TRUE(evalVarsInLine(line, qo, m, "(", nullptr, 1));
}

TEST_F(ExpandTest, AssignmentLines) {
    bool qo = true;
    for (char const* line : {"B = $A", "C = '$A'", "B += x", "F = -O2 $A"})
        EXPECT_TRUE(lineEvalVarEq(line, m, qo, "", false, nullptr) && !qo) << line;
    EXPECT_EQ(m.varGet("B") + "|" + m.varGet("C") + "|" + m.varGet("F"), "ax|$A|-O2 a");
    EXPECT_FALSE(lineEvalVarEq("echo hi", m, qo, "", false, nullptr));
    EXPECT_TRUE(!lineEvalVarEq("G = \"open", m, qo, "", false, nullptr) && qo);

    CxStr1p err;
    EXPECT_TRUE(
        textEvalVarEq("# c\n\nT1 = 1\r\nT2 = \"a\nb\"\rT3 = $T1$T2\n", m, qo, "", false, &err));
    EXPECT_EQ(m.varGet("T1") + "|" + m.varGet("T2") + "|" + m.varGet("T3"), "1|a\nb|1a\nb");
    EXPECT_TRUE(!textEvalVarEq("T4 = 'never closed\nmore", m, qo, "", false, &err) && qo);
    EXPECT_FALSE(textEvalVarEq("", m, qo, "", false, &err));
}

TEST_F(ExpandTest, AssignmentOperators) {
    CxStr1p err;
    auto op = [&](char const* o, char const* v) {
        m.varSet("X", "a");
        EXPECT_TRUE(evalVarOpValue("X", o, v, m, &err)) << o;
        return m.varGet("X");
    };
    // Each operator's result is checked end to end; here only the edges.
    EXPECT_EQ(op("%=", "a"), "");
    EXPECT_EQ(op("%=", ""), "a");
    EXPECT_EQ(err, "");
    EXPECT_FALSE(evalVarOpValue("X", "*=", "2", m, &err));
    EXPECT_EQ(m.varGet("X"), "a") << "an unknown operator leaves the value";
    // The old value comes from the environment when the store lacks it.
    envVarSetExport("VORNT_OLD", "e");
    EXPECT_TRUE(evalVarOpValue("VORNT_OLD", "+=", "f", m, &err));
    EXPECT_EQ(m.varGet("VORNT_OLD") + "|" + envVarGet("VORNT_OLD"), "ef|e");
    envVarUnset("VORNT_OLD");
}

TEST(ExpandNameValue, SplitsAndForms) {
    EXPECT_EQ(strVarName("a=b=c") + "|" + strVarName("abc"), "a|abc");
    EXPECT_EQ(strVarValue("a=b=c", false) + "|" + strVarValue("abc", false), "b=c|");
    EXPECT_EQ(strVarValueDelQ("a='x y'") + "|" + strVarValueDelQ("a='x y\""), "x y|'x y\"");
    CxStr1p n, v;
    EXPECT_TRUE(strVarEqValSplitDelQ(n, v, "k=\"v\"") && n == "k" && v == "v");
    EXPECT_FALSE(strVarEqValSplit(n, v, "=v", false) || strVarEqValSplit(n, v, "kv", false));
    EXPECT_EQ(strVarEqValSetQ1("k", "v") + " " + strVarEqValSetQ2("k", "v") + " " +
                  strVarEqValSet("k", "v", 0),
              "k='v' k=\"v\" k=v");
}

TEST_F(ExpandTest, LargeTextIsLinearAndExact) {
    std::string text, want;
    m.varSet("V", "0123456789");
    for (int i = 0; i < 200000; ++i) {
        text += "ab $V cd\\$V '$V' ";
        want += "ab 0123456789 cd$V '$V' ";
    }
    CxStr1p t(text.c_str());
    ASSERT_TRUE(evalStrSet(m, t, CxStr1p(), "", false));
    EXPECT_EQ(std::string(t.c_str()), want);
}
