#include <gtest/gtest.h>

#include <string>

#include "app/vars.h"
#include "base/tokens.h"
#include "exec/selfexe.h"

namespace {

// The line after rewriting, or "=" when it was left alone.
std::string adapt(char const* line) {
    CxStr1p cmd(line), name, args;
    splitCmdArgs(name, args, cmd);
    CxStr1p before(cmd);
    if (!adaptCmd2SelfExe(cmd, name, args)) return cmd == before ? "=" : "changed anyway";
    return cmd.c_str();
}

} // namespace

TEST(SelfExe, RewritesMakeAndOwnNames) {
    Vars v;
    v.exeName = v.selfCmd = "vt"; // not "vorn", so "vorn" lines are rewritten too
    // "-j" without a count means default jobs; options without a value keep the goal.
    std::pair<char const*, char const*> const cases[] = {
        {"make --file=r.mk --makefile r2 x", "vt -f r.mk -f r2 x"},
        {"make -Csub -fr.mk a", "vt -C sub -f r.mk a"},
        {"make", "vt"},
        {"make -j 8 all", "vt -j 8 all"},
        {"make -j 1 all", "vt --jn all"},
        {"make --jobs=4", "vt -j 4"},
        {"make -j8 -j0", "vt -j 8 --jn"},
        {"make -j all", "vt --jd all"},
        {"make -k -s all CC=gcc", "vt all CC=gcc"},
        {"make -I inc --eval x -W f.c -o f.o -l 3 all", "vt all"},
        {"make --what-if=f.c --old-file=f.o --load-average=2 -Otarget all", "vt all"},
        {"make -n --debug -O all", "vt all"},
        {"make 'CFLAGS=-O2 -g' all", "vt 'CFLAGS=-O2 -g' all"},
        {"make -C sub all | tee -a log", "vt -C sub all | tee -a log"},
        {"make -k all 2>&1 && echo --file=x", "vt all 2>&1 && echo --file=x"},
        {"vorn -j 3 --weird a", "vt -j 3 --weird a"},
        {"xvorn -k", "vt -k"},
        {"vt -C sub all", "="},
        {"VT all", "="},
        {"make -C x && vt all", "="},
        {"Make all", "="},
        {"gmake all", "="},
        {"vorn2 x", "="},
        {"make a 'b c", "vt a 'b c"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(adapt(c.first), c.second) << c.first;
    v.selfCmd = "/opt/bin/vt";
    EXPECT_EQ(adapt("make -C d"), "/opt/bin/vt -C d") << "the VORN command starts the run";
    v.exeName = "vorn";
    EXPECT_EQ(adapt("vorn -k a"), "=");
}
