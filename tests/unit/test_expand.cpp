#include <gtest/gtest.h>

#include <string>

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
}

TEST_F(ExpandTest, SinglePassNeverRescans) {
    m.varSet("X", "$Y");
    m.varSet("Y", "1");
    EXPECT_EQ(ex("$X"), "$Y");
    m.varSet("SELF", "<$SELF>");
    EXPECT_EQ(ex("$SELF$SELF"), "<$SELF><$SELF>");
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
