#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "logcap.h"
#include "scratch.h"
#include "app/args.h"
#include "jobs/threads.h"
#include "app/vars.h"
#include "base/fs.h"
#include "build/build_par.h"
#include "build/build_seq.h"
#include "build/walk.h"
#include "exec/signals.h"
#include "graph/goalindex.h"
#include "graph/goals.h"
#include "jobs/que.h"

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
    StrVect goals;
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

namespace {

// The fakes behind the walk's seams: file times by name (absent: missing),
// and the goals whose recipe ran or whose job was pushed, in that order.
std::map<std::string, long long> g_times;
std::string g_ran;

long long fakeTime(CxStr1p const& name, bool) {
    auto it = g_times.find(name.c_str());
    return it == g_times.end() ? 0 : it->second;
}
bool fakeRun(int& rc, CxStr1p const& goal, CxStr1p const&, CxStr1p*) {
    g_ran += std::string(g_ran.empty() ? "" : " ") + goal.c_str();
    rc = 0;
    return true;
}
// The job still goes through the queue, with nothing to run, so that it ends
// as a real one does and releases the goals waiting for it.
bool fakePush(CxStr1p const& cmd, CxStr1p const&, CxStr1p const& label) {
    g_ran += std::string(g_ran.empty() ? "" : " ") + label.c_str();
    return queCmds2AnyPushAdvance(cmd, CxStr1p(), label);
}

class WalkFake : public testing::Test {
  protected:
    Vars v;
    LogCapture log;
    WalkFileTimeFn savedTime = g_walkFileTime;
    WalkRunRecipeFn savedRun = g_walkRunRecipe;
    BgjPushJobFn savedPush = g_bgjPushJob;

    void SetUp() override {
        g_walkFileTime = fakeTime;
        g_walkRunRecipe = fakeRun;
        g_bgjPushJob = fakePush;
    }
    void TearDown() override {
        g_walkFileTime = savedTime;
        g_walkRunRecipe = savedRun;
        g_bgjPushJob = savedPush;
        // A build holds the interrupt handler until the process ends; let go as a run's end would.
        runHoldSigHandler(false);
        runDoneSigHandler();
    }

    // rules: "goal:deps" items split by ';', deps as in a rules file ("a | b");
    // each goal runs "make goal" when named in heavy, else "cc goal". times:
    // "name=t" items, "name=dir" a directory.
    void setup(char const* rules, char const* times, char const* phony = "",
               char const* heavy = "") {
        goalTableReset();
        g_times.clear();
        g_ran.clear();
        std::stringstream rs(rules), ts(times), hs(heavy);
        std::set<std::string> heavySet;
        for (std::string h; hs >> h;)
            heavySet.insert(h);
        for (std::string item; std::getline(rs, item, ';');) {
            size_t colon = item.find(':');
            ASSERT_NE(colon, std::string::npos) << item;
            std::string goal = item.substr(0, colon);
            ASSERT_TRUE(addGoalDeps(goal.c_str(), item.substr(colon + 1).c_str()));
            std::string cmd = (heavySet.count(goal) ? "make " : "cc ") + goal;
            ASSERT_TRUE(addGoalHowCmd(goal.c_str(), cmd.c_str()));
        }
        ASSERT_TRUE(!*phony || addPhonyGoals(phony));
        for (std::string item; ts >> item;) {
            size_t eq = item.find('=');
            std::string val = item.substr(eq + 1);
            g_times[item.substr(0, eq)] = val == "dir" ? kGoalDir : std::stoll(val);
        }
    }
    // Builds goal one recipe at a time, or with jobs on the in-process queue.
    bool build(bool jobs, char const* goal) {
        v.goals.clear();
        v.goals.addVal(goal);
        if (!jobs) return buildBg1GoalArgs();
        EXPECT_TRUE(queCmds2AnyInitCb('c'));
        v.jobsMax = 4;
        bool ok = buildBgjGoalArgs();
        buildBgjJobsDestroy();
        return ok;
    }
};

struct WalkRow {
    char const* what;
    char const* rules;
    char const* times;
    char const* phony;
    char const* ran; // the goals whose recipes ran, in order
    bool ok;
};

// Plain newer, older, missing and phony cases are e2e cases (build_seq.py,
// build_par.py).
WalkRow const kWalkRows[] = {
    {"dep as old as the goal", "g:d", "g=200 d=200", "", "", true},
    {"one dep newer among older ones", "g:a b c", "g=200 a=100 b=300 c=100", "", "g", true},
    {"dep up to date through its rule", "g:d;d:s", "g=300 d=200 s=100", "", "", true},
    {"source newer two levels down", "g:d;d:s", "g=300 d=200 s=250", "", "d g", true},
    {"dep missing, made by its rule", "g:d;d:s", "g=300 s=100", "", "d g", true},
    {"dep equal after its own equal dep", "g:d;d:s", "g=300 d=300 s=300", "", "", true},
    {"phony dep", "g:d;d:", "g=200 d=300", "d", "d g", true},
    {"exist-only dep made by its rule", "g:| d;d:", "g=100", "", "d", true},
    {"exist-only dep missing without rule", "g:| d", "g=100", "", "", false},
    // Exist-only dependencies (output directories) are made before the others.
    {"exist-only dep made first", "g:a | b;a:;b:", "", "", "b a g", true},
    {"directory dep counts as old", "g:d", "g=100 d=dir", "", "", true},
};

} // namespace

// Whether a recipe runs follows the times alone, the same one recipe at a
// time and with jobs: a dependency only strictly newer than the goal makes it
// out of date.
TEST_F(WalkFake, RecipeRunsOnlyForNewerOrMissing) {
    for (bool jobs : {false, true})
        for (WalkRow const& row : kWalkRows) {
            SCOPED_TRACE(std::string(row.what) + (jobs ? " (jobs)" : ""));
            setup(row.rules, row.times, row.phony);
            EXPECT_EQ(build(jobs, "g"), row.ok);
            EXPECT_EQ(g_ran, row.ran);
        }
}

// With jobs, ready heavy jobs (those running a build tool) are pushed before
// usual ones; one at a time, the written order is kept.
TEST_F(WalkFake, HeavyJobsArePushedFirst) {
    struct {
        char const* rules;
        char const* heavy;
        bool jobs;
        char const* ran;
    } const rows[] = {
        {"all:u1 h1 u2 h2;u1:;h1:;u2:;h2:", "h1 h2", false, "u1 h1 u2 h2 all"},
        {"all:u1 h1 u2 h2;u1:;h1:;u2:;h2:", "h1 h2", true, "h1 h2 u1 u2 all"},
        {"all:u1 u2 x;u1:;u2:;x:h;h:", "h", true, "h u1 u2 x all"},
    };
    for (auto const& row : rows) {
        SCOPED_TRACE(row.rules + std::string(row.jobs ? " (jobs)" : ""));
        setup(row.rules, "", "all", row.heavy);
        EXPECT_TRUE(build(row.jobs, "all"));
        EXPECT_EQ(g_ran, row.ran);
    }
}
