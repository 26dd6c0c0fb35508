#include <gtest/gtest.h>

#include "exec/builtin.h"
#include "exec/shlist.h"
#include "gnu/gfuncs.h"

namespace {

// What the in-process runner takes and what it leaves to sh: anything it
// could read otherwise than sh must be left whole.
TEST(ShList, TakesOnlyWhatItReadsAsShDoes) {
    struct Row {
        char const* line;
        bool taken;
    } const rows[] = {
        {"test -f x && cp x y; touch stamp", true},
        {"echo 'a;b' \"c d\" e\\ f", true},
        {"cc -c x.c -o x.o 2>err.txt >&2", true},
        {"cat < in > out 2>&1", true},
        {"a &&\n b", true},
        {"echo x # a comment; rm -rf /", true},
        {"", true},
        {"find . -name '*.o' -exec rm -f {} ';'", true},
        // pipes, background jobs, substitutions, variables
        {"sleep 1 &", false},
        {"echo \"$x\"", false},
        {"echo `date`", false},
        {"echo $(date)", false},
        // sh's grammar and its own commands
        {"{ echo a; }", false},
        {"touch a{1,2}", false},
        {"touch a{1..3}", false},
        {"export X=1", false},
        {"set -e; touch a", false},
        {"! true", false},
        {"cat <<EOF", false},
        {"a 2>&3", false},
        {"a >&-", false},
        // forms of the commands that shells read differently
        {"echo -e 'a\\nb'", false},
        {"echo 'a\\nb'", false},
        {"printf '%5s' x", false},
        {"printf 'x%'", false},
        {"printf '%s %d' a 010", false},
        {"printf '%d' *.c", false},
        {"printf 'x\\'", false},
        {"rm -i x", false},
        {"cp -a x y", false},
        {"ln x y", false},
        {"test -L x", false},
        {"cd -", false},
        {"cat", false},
        {"echo .*", false},
        {"rm -f d/.?", false},
        {"rm -f .*.swp", true},
        {"make -C sub", false},
        {"~user/bin/x", false},
        // syntax errors are sh's to report
        {"a &&", false},
        {"; a", false},
        {"a ;; b", false},
        {"echo 'open", false},
    };
    for (Row const& r : rows)
        EXPECT_EQ(shListTakes(CxStr1p(r.line)), r.taken) << r.line;
    // Where cmd.exe is the interpreter, its commands and backslash paths stay its own.
    bool sh = shellWords().sh;
    EXPECT_EQ(shListTakes(CxStr1p("del /Q x.o")), sh);
    EXPECT_EQ(shListTakes(CxStr1p("cc -o out\\app.exe main.c")), sh);
    EXPECT_TRUE(shListTakes(CxStr1p("echo a\\ b \\\"q\\\" > f")));
}

TEST(ShList, GlobMatchesAsSh) {
    struct Row {
        char const* pat;
        char const* name;
        bool match;
    } const rows[] = {
        {"*", "", true},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"[a-c]x", "bx", true},
        {"[a-c]x", "dx", false},
        {"[]a]", "]", true},
        {"\\*", "*", true},
        {"\\*", "x", false},
        {"[", "[", true},
        {"x[", "x[", true},
        {"*x*", "abc", false},
        {"**", "abc", true},
        {"*.tar.gz", "a.tar.gz", true},
    };
    for (Row const& r : rows)
        EXPECT_EQ(gmGlobMatch(gmSpanOf(CxStr1p(r.pat)), gmSpanOf(CxStr1p(r.name))), r.match)
            << r.pat << " ~ " << r.name;
}

} // namespace
