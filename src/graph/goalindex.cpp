#include "graph/goalindex.h"

#include "graph/graphstate.h"
#include "graph/nameindex.h"

namespace {

// Goals are found through the table's own hash and their place in key order
// (g_rank, by goal number); the other names of the graph through g_files.
NameIndex g_files;
Vect1p_Vobj<int> g_rank;
Vect1p_Vobj<GoalSlot> g_slots;
Vect1p_Vobj<GoalSlot*> g_depSlots;
bool g_ready = false;
// What the index was made for: a table changed since is indexed anew.
GoalRuleMap const* g_table = nullptr;
long long g_tableChanges = -1, g_goals = 0;

} // namespace

bool goalIndexCurrent() {
    GraphState const* v = GraphState::_p;
    return g_ready && v && g_table == &v->goalRules && g_tableChanges == goalTableChanges() &&
           g_goals == v->goalRules.size();
}

bool goalIndexInit() {
    GraphState& v = *GraphState::_p;
    if (goalIndexCurrent()) {
        goalIndexClearStates();
        return true;
    }
    goalIndexDestroy();
    long long goals = v.goalRules.size(), edges = 0;
    int const* order = v.goalRules.ordered();
    if (!order) return false;
    for (auto const& n : v.goalRules)
        edges += n.val.depsUsual.size() + n.val.depsExistOnly.size();
    if (goals > 0x7fffffff || edges > 0x7fffffff) return false;
    // Every name is numbered before the slots are made, so that they are made
    // once at their final size: the goals first in key order, then the files
    // among the dependencies. Until then the list of the dependencies'
    // entries holds their numbers.
    Vect1p_Vobj<CxStr1p const*> files;
    if (!g_rank.reserve(goals) || !g_files.init(16) || !g_depSlots.reserve(edges)) return false;
    for (long long i = 0; i < goals; ++i)
        g_rank.addVal(0);
    for (long long i = 0; i < goals; ++i)
        g_rank.data[order[i]] = (int)i;
    for (auto const& n : v.goalRules) {
        for (int e = 0; e < 2; ++e) {
            for (CxStr1p const& d : e ? n.val.depsExistOnly : n.val.depsUsual) {
                long long id = v.goalRules.idOf(d), at = id >= 0 ? g_rank.data[id] : -1;
                if (at < 0) {
                    at = g_files.findOrAdd(&d, goals + files.size());
                    if (at < 0 || (at == goals + files.size() && !files.addVal(&d))) return false;
                }
                g_depSlots.addVal((GoalSlot*)(size_t)at);
            }
        }
    }
    if (!g_slots.reserve(goals + files.size())) return false;
    long long depsAt = 0;
    for (auto& n : v.goalRules) {
        GoalSlot s;
        s.rule = &n.val;
        s.name = &n.val.name;
        s.depsAt = (int)depsAt;
        depsAt += n.val.depsUsual.size() + n.val.depsExistOnly.size();
        g_slots.addVal(s);
    }
    for (CxStr1p const* f : files) {
        GoalSlot s;
        s.name = f;
        g_slots.addVal(s);
    }
    for (GoalSlot*& p : g_depSlots)
        p = &g_slots.data[(size_t)p];
    g_table = &v.goalRules;
    g_tableChanges = goalTableChanges();
    g_goals = v.goalRules.size();
    g_ready = true;
    return true;
}

void goalIndexDestroy() {
    g_files = NameIndex();
    g_rank.destroy();
    g_slots.destroy();
    g_depSlots.destroy();
    g_ready = false;
    g_table = nullptr;
}

GoalSlot* goalSlotOf(CxStr1p const& name) {
    if (!g_ready) return nullptr;
    long long id = g_table->idOf(name);
    if (id < 0 || id >= g_rank.size())
        id = g_files.find(name);
    else
        id = g_rank.data[id];
    return id >= 0 ? &g_slots.data[id] : nullptr;
}

GoalSlot* goalSlotOfGoal(long long tableId) {
    if (!g_ready || tableId < 0 || tableId >= g_rank.size()) return nullptr;
    return &g_slots.data[g_rank.data[tableId]];
}

GoalSlot* const* goalDepSlots(GoalSlot const* g, bool existOnly) {
    if (!g_ready || !g || g->depsAt < 0) return nullptr;
    return g_depSlots.data + g->depsAt + (existOnly ? g->rule->depsUsual.size() : 0);
}

long long goalIndexGoals() {
    return g_ready ? g_goals : 0;
}

long long goalIndexNames() {
    return g_ready ? g_slots.size() : 0;
}

GoalSlot* goalSlotAt(long long id) {
    return g_ready && id >= 0 && id < g_slots.size() ? &g_slots.data[id] : nullptr;
}

long long goalSlotId(GoalSlot const* g) {
    return g - g_slots.data;
}

void goalIndexClearStates() {
    for (GoalSlot& s : g_slots) {
        s.state = 0;
        s.phase = DepsPhase();
    }
}
