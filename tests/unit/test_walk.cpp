#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scratch.h"
#include "app/args.h"
#include "jobs/threads.h"
#include "app/vars.h"
#include "base/fs.h"
#include "build/walk.h"
#include "graph/goalindex.h"
#include "graph/goals.h"

namespace {

class WalkTimes : public ScratchCwdTest {
  protected:
    Vars v;

    static void write(std::string const& path) { std::ofstream(path) << "x"; }
    static void age(std::string const& path, int hours) {
        namespace fs = std::filesystem;
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hours));
    }
    // The time a query per file gives, as the walk takes it.
    static long long perFile(CxStr1p const& name) {
        FsStatBuf st;
        if (!fsaStat(st, name)) return 0;
        if (fsStatType(st) == 'D') return kGoalDir;
        long long size, t;
        return fsStatSizeTime(size, t, st) ? t : 0;
    }
};

} // namespace

// Times read ahead on two threads answer the walk exactly as a query per file
// would, cover only what the requested goal reaches, and give way to the
// system's answer once a recipe starts.
TEST_F(WalkTimes, ReadAheadAgreesWithQueryPerFileUntilARecipeStarts) {
    int const n = 700;
    std::filesystem::create_directories("o");
    std::filesystem::create_directories("s");
    std::filesystem::create_directories("dir");
    std::string all;
    for (int i = 0; i < n; ++i) {
        std::string o = "o/o" + std::to_string(i), s = "s/s" + std::to_string(i);
        // Sources missing, present, old; goals missing or present.
        if (i % 3) write(s);
        if (i % 3 && i % 5 == 0) age(s, i % 7 + 1);
        if (i % 2) write(o);
        ASSERT_TRUE(addGoalDeps(o.c_str(), (s + (i % 50 ? "" : " dir | dir/.")).c_str()));
        all += o + " ";
    }
    ASSERT_TRUE(addGoalDeps("all", all.c_str()));
    ASSERT_TRUE(addPhonyGoals("all"));
    write("unreached");
    ASSERT_TRUE(addGoalDeps("other", "unreached"));
    ASSERT_TRUE(goalIndexInit());
    Vect1p_Vobj<CxStr1p> goals;
    goals.addVal("all");
    walkReadTimesAhead(goals);
    walkReadTimesAheadWait();

    bool ahead = fsStatAheadPays() && infoCpuCoresCount() >= 2;
    BuildWalk w;
    for (long long id = 0; id < goalIndexNames(); ++id) {
        GoalSlot* g = goalSlotAt(id);
        CxStr1p const& name = *g->name;
        bool phony = g->rule && g->rule->phony;
        // A dependency "dir/." is the newest time in the tree: not read ahead.
        bool treeTime = name.length() > 2 && name.c_str()[name.length() - 1] == '.';
        bool isFile = !phony && !treeTime;
        EXPECT_EQ(walkGoalTime(w, name, !treeTime, phony), phony ? 0 : perFile(name))
            << name.c_str();
        bool reached = name != CxStr1p("other") && name != CxStr1p("unreached");
        EXPECT_EQ(walkTimeReadAhead(g) >= 0, ahead && reached && isFile) << name.c_str();
    }
    GoalSlot* goal = goalSlotOf("o/o1");
    ASSERT_TRUE(goal && goal->rule);
    long long before = perFile("o/o1");
    age("o/o1", 30);
    // Until a recipe starts, what the first look read holds: the times read
    // ahead, or Windows's listings.
    bool held = ahead || !fsStatAheadPays();
    EXPECT_EQ(walkGoalTime(w, "o/o1", false, false), held ? before : perFile("o/o1"));
    ASSERT_TRUE(walkRecipeStarts(*goal->rule));
    EXPECT_EQ(walkGoalTime(w, "o/o1", false, false), perFile("o/o1"));
    EXPECT_NE(perFile("o/o1"), before);
    walkReadTimesAheadEnd();
    goalIndexDestroy();
}
