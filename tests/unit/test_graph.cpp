#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "logcap.h"
#include "printers.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/textedit.h"
#include "graph/goalindex.h"
#include "graph/deps.h"
#include "graph/goals.h"
#include "graph/nameindex.h"
#include "graph/print.h"

namespace {

// A fresh run state with the logger routed into a buffer.
class GraphFix : public testing::Test {
  protected:
    Vars v;
    LogCapture cap{1 << 20};

    std::string log() const { return cap.text(); }
    bool logHas(char const* part) const { return cap.has(part); }
    GoalRule& goal(char const* name) { return v.goalRules.at(name); }
    static std::string vec(StrVect const& list) {
        std::string s;
        for (CxStr1p const& x : list)
            s += std::string(s.empty() ? "" : ",") + x.c_str();
        return s;
    }
};

} // namespace

TEST_F(GraphFix, GraphRuleLinesSplitDepsAndKeepOrder) {
    // Splitting at the bar and repeated names are e2e cases (graph.py).
    ASSERT_TRUE(addGoalDeps("all", "a b | c  d"));
    ASSERT_TRUE(addGoalDeps("w", "a|b | q | r"));
    EXPECT_EQ(vec(goal("w").depsExistOnly), "q,r") << "a further lone bar is skipped";
    ASSERT_TRUE(addGoalDeps("x", "a"));
    ASSERT_TRUE(addGoalDeps("x", "b a"));
    ASSERT_TRUE(addGoalDeps("x", "b0 a0"));
    ASSERT_TRUE(goalDepsPrepare());
    EXPECT_EQ(depsList(v.depsMapExistOnly, "all"), "c d");
    EXPECT_EQ(depsList(v.depsMapUsual, "x"), "a a0 b b0") << "sorted, each once";
}

TEST_F(GraphFix, GraphRecipeClassification) {
    v.exeName = "vornx";
    // Compilers, cat and --sys are e2e cases (graph.py).
    struct Case {
        char const* line;
        char want;
    } cases[] = {
        {"-make -C sub", 'H'}, {"@ninja", 'H'},  {"@-vornx -f x", 'H'},
        {"Make all", 'L'},     {"echo hi", '_'}, {"rmrec\tout", '_'},
    };
    int i = 0;
    for (Case const& c : cases) {
        CxStr1p name = CxStr1p("g") + (char)('a' + i++);
        ASSERT_TRUE(addGoalHowCmd(name, c.line));
        EXPECT_EQ(v.goalRules.at(name).typeLetter(), c.want) << c.line;
        EXPECT_EQ(v.rulesHeavy.hasIdx(name), c.want == 'H') << c.line;
        EXPECT_EQ(v.rulesUsualAdj.hasIdx(name), c.want == 'L') << c.line;
    }
    ASSERT_TRUE(addGoalHowCmd("ga", "echo second"));
    EXPECT_EQ(goal("ga").howCmds, "-make -C sub\necho second\n");
    EXPECT_EQ(goal("ga").typeLetter(), 'H') << "a flag is never cleared";
    EXPECT_FALSE(addGoalHowCmd("ga", ""));
    EXPECT_FALSE(addGoalHowCmd("", "gcc"));
}

// A cycle through both kinds is refused.
TEST_F(GraphFix, GraphCycleThroughBothKinds) {
    addGoalDeps("a", "b x.c");
    addGoalDeps("b", "| a");
    EXPECT_FALSE(depsAllSteps());
    EXPECT_TRUE(logHas("Circular dependencies: a b\n"));
    EXPECT_EQ(depsList(v.depsMapUsual, "a"), "b x.c") << "a failed step writes nothing back";
}

TEST_F(GraphFix, GraphFlagAdjustmentOneStep) {
    v.conf.dbgRules = true;
    addGoalDeps("a", "b");
    addGoalDeps("b", "c");
    addGoalDeps("z", "c");
    addGoalHowCmd("c", "make -C sub");
    addGoalHowCmd("c", "gcc x.c");
    ASSERT_TRUE(depsAllSteps());
    EXPECT_TRUE(goal("b").heavy && goal("b").usual && v.rulesHeavyAdj.hasIdx("b") &&
                v.rulesUsualAdj.hasIdx("b"));
    EXPECT_FALSE(v.rulesHeavy.hasIdx("b") || v.rulesUsual.hasIdx("b"));
    EXPECT_FALSE(goal("z").heavy) << "only the first goal naming c is raised";
    EXPECT_FALSE(goal("a").heavy) << "a was passed before b was raised";
}

TEST_F(GraphFix, GraphLongChainIsLinear) {
    int const n = 100000;
    char a[16], b[16];
    for (int i = 0; i + 1 < n; ++i) {
        snprintf(a, sizeof a, "g%06d", i);
        snprintf(b, sizeof b, "g%06d", i + 1);
        ASSERT_TRUE(addGoalDeps(a, b));
    }
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(depsAllSteps());
    addGoalDeps(b, "g000000");
    EXPECT_FALSE(depsAllSteps());
    double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(sec, 5.0);
    EXPECT_TRUE(logHas("Circular dependencies: g000000 g000001 g000002"));
}

// Names drawn from a small alphabet repeat and share prefixes; the index
// grows from one slot and must agree with an ordered map throughout.
TEST(GraphNameIndex, AgreesWithMapWhileGrowing) {
    std::mt19937 rng(2024);
    std::deque<CxStr1p> names; // the index points at them
    std::map<std::string, long long> ref;
    NameIndex index;
    ASSERT_TRUE(index.init(1));
    for (int i = 0; i < 5000; ++i) {
        std::string n;
        for (int k = (int)(rng() % 6); k > 0; --k)
            n += "ab/."[rng() % 4];
        names.emplace_back(n.c_str());
        long long want = ref.emplace(n, i).first->second;
        ASSERT_EQ(index.findOrAdd(&names.back(), i), want) << n;
    }
    EXPECT_EQ(index.size(), (long long)ref.size());
    for (auto const& [n, id] : ref)
        ASSERT_EQ(index.find(CxStr1p(n.c_str())), id) << n;
    EXPECT_EQ(index.find(CxStr1p("abababa")), -1);
}

// The walk reaches dependencies through the slots resolved when the index is
// made: each must be the slot its name looks up, in written order, whether the
// goals came in name order (appended) or not (inserted).
TEST_F(GraphFix, GraphIndexResolvesEveryDependencyOnce) {
    for (auto gd : {std::pair<char const*, char const*>{"all", "m z a | dir"},
                    {"m", "a.c a.h a.c"},
                    {"z", "m | dir"},
                    {"a", "a.c"},
                    {"dir", ""},
                    {"zz", "all"}})
        ASSERT_TRUE(addGoalDeps(gd.first, gd.second));
    std::string order;
    for (auto const& n : v.goalRules)
        order += std::string(n.val.name.c_str()) + " ";
    EXPECT_EQ(order, "a all dir m z zz ");
    ASSERT_TRUE(goalIndexInit());
    for (auto& n : v.goalRules) {
        GoalSlot* g = goalSlotOf(n.val.name);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->rule, &n.val);
        for (int e = 0; e < 2; ++e) {
            StrVect const& deps = e ? n.val.depsExistOnly : n.val.depsUsual;
            GoalSlot* const* slots = goalDepSlots(g, e == 1);
            for (long long i = 0; i < deps.size(); ++i) {
                ASSERT_EQ(slots[i], goalSlotOf(deps[i])) << n.val.name.c_str() << " " << i;
                EXPECT_EQ(slots[i]->rule, v.goalRules.find(deps[i])) << deps[i].c_str();
            }
        }
    }
    EXPECT_EQ(goalDepSlots(nullptr, false), nullptr);
    // Made again only when the table changed since.
    GoalSlot* all = goalSlotOf(CxStr1p("all"));
    goalSlotOf(CxStr1p("a"))->state = 9;
    ASSERT_TRUE(goalIndexInit());
    EXPECT_EQ(goalSlotOf(CxStr1p("all")), all);
    EXPECT_EQ(goalSlotOf(CxStr1p("a"))->state, 0) << "a kept index starts unvisited";
    ASSERT_TRUE(addGoalDeps("zz", "new") && goalIndexInit());
    GoalSlot *zz = goalSlotOf(CxStr1p("zz")), *made = goalSlotOf(CxStr1p("new"));
    ASSERT_TRUE(zz && made);
    EXPECT_EQ(goalDepSlots(zz, false)[1], made);
    goalIndexDestroy();
    EXPECT_EQ(goalSlotOf(CxStr1p("all")), nullptr);
}

// The table against an ordered map of the same names: look-ups, and the key
// order (first byte signed, then unsigned bytes, a name before the names it
// starts) while names keep coming, in key order for a while, then not.
TEST_F(GraphFix, GraphTableAgreesWithOrderedMap) {
    auto less = [](std::string const& a, std::string const& b) {
        return cmpCxStr1p(CxStr1p(a.c_str()), CxStr1p(b.c_str())) < 0;
    };
    std::map<std::string, int, decltype(less)> ref(less);
    std::mt19937 rng(99);
    char const alphabet[] = {'a', 'b', '/', '.', '0', (char)0xc3, (char)0x80, 'z'};
    auto check = [&](int step) {
        std::string got, want;
        for (auto const& n : v.goalRules)
            got += std::string(n.val.name.c_str()) + "|";
        for (auto const& r : ref)
            want += r.first + "|";
        ASSERT_EQ(got, want) << "after " << step << " names";
        ASSERT_EQ(v.goalRules.size(), (long long)ref.size());
    };
    for (int i = 0; i < 3000; ++i) {
        std::string n;
        if (i < 200) {
            char b[16];
            snprintf(b, sizeof b, "in-order-%05d", i); // appended, no sorting
            n = b;
        } else {
            // Long shared beginnings, so the first eight bytes do not decide.
            n = rng() % 2 ? "obj/src/" : "";
            for (int k = 1 + (int)(rng() % 5); k > 0; --k)
                n += alphabet[rng() % sizeof alphabet];
        }
        ASSERT_TRUE(addGoalDeps(n.c_str(), ""));
        ref.emplace(n, i);
        if (i % 500 == 199) check(i);
    }
    check(3000);
    for (auto const& r : ref) {
        GoalRule* g = v.goalRules.find(r.first.c_str());
        ASSERT_NE(g, nullptr) << r.first;
        EXPECT_EQ(std::string(g->name.c_str()), r.first);
        EXPECT_EQ(&v.goalRules.node(v.goalRules.idOf(r.first.c_str())).val, g);
    }
}

// The cycle check over the goal index names what the closure of both kinds
// of dependencies together marks, goals entered in any order.
TEST_F(GraphFix, GraphIndexCycleCheckAgreesWithClosure) {
    std::mt19937 rng(31);
    for (int round = 0; round < 200; ++round) {
        goalTableReset();
        int goals = 1 + (int)(rng() % 20), names = goals + (int)(rng() % 4);
        int perMille = 30 + (int)(rng() % 250);
        DepsMap both;
        std::vector<int> order(goals);
        for (int g = 0; g < goals; ++g)
            order[g] = g;
        std::shuffle(order.begin(), order.end(), rng);
        for (int g : order) {
            CxStr1p goal = CxStr1p("n") + (char)('A' + g), usual, exist;
            for (int d = 0; d < names; ++d) {
                if ((int)(rng() % 1000) >= perMille) continue;
                CxStr1p dep = CxStr1p("n") + (char)('A' + d);
                strSepAdd(rng() % 3 ? usual : exist, dep, ' ');
                depsAddOne(both, goal, dep);
            }
            ASSERT_TRUE(addGoalDeps(goal, usual + " | " + exist));
        }
        DepsMap closure(both);
        ASSERT_TRUE(depsExpandDeps(closure));
        CxStr1p got;
        ASSERT_TRUE(goalsCircularAdd(got, '|'));
        ASSERT_EQ(got, depsCircDetect(closure, '|')) << "round " << round << "\n"
                                                     << depsDumpText(both).c_str();
    }
}

// The goal that named a goal first, in reading order, whether the names were
// taken in at once or in several steps, and whether the name was a goal yet
// when it was named.
TEST_F(GraphFix, GraphFirstNamersInStepsAgreeWithReadingOrder) {
    std::mt19937 rng(5);
    for (int round = 0; round < 50; ++round) {
        goalTableReset();
        std::map<std::string, std::string> want;
        for (int line = 0; line < 60; ++line) {
            std::string goal = "g" + std::to_string(rng() % 25), deps;
            for (int k = (int)(rng() % 4); k > 0; --k) {
                std::string d = "g" + std::to_string(rng() % 30);
                deps += (rng() % 4 ? " " : " | ") + d;
                want.emplace(d, goal);
            }
            ASSERT_TRUE(addGoalDepsPlain(goal.c_str(), deps.c_str()));
            ASSERT_TRUE(addGoalHowCmd(goal.c_str(), "gcc -c x.c"));
            if (rng() % 10 == 0) {
                ASSERT_TRUE(goalFirstNamersFind());
            }
        }
        ASSERT_TRUE(goalFirstNamersFind());
        for (auto const& n : v.goalRules) {
            std::string name = n.val.name.c_str();
            GoalRule const* p = goalFirstNamer(n.val.name);
            auto w = want.find(name);
            ASSERT_EQ(p ? std::string(p->name.c_str()) : "-", w == want.end() ? "-" : w->second)
                << "round " << round << " goal " << name;
        }
    }
}
