#include "graph/goalindex.h"

#include "graph/nameindex.h"

namespace {

NameIndex g_index;
Vect1p_Vobj<GoalSlot> g_slots;
Vect1p_Vobj<GoalSlot*> g_depSlots;
bool g_ready = false;
// What the index was made for: a table changed since is indexed anew.
GoalRuleMap const* g_table = nullptr;
long long g_tableChanges = -1, g_goals = 0;

// The slot of the name, added when absent; -1 when memory ran out.
long long addName(CxStr1p const& name) {
    long long id = g_index.findOrAdd(&name, g_slots.size());
    if (id == g_slots.size()) {
        if (!g_slots.addVal(GoalSlot())) return -1;
        g_slots.data[id].name = &name;
    }
    return id;
}

} // namespace

bool goalIndexCurrent() {
    Vars const* v = Vars::_pVars;
    return g_ready && v && g_table == &v->goalRules && g_tableChanges == goalTableChanges() &&
           g_goals == v->goalRules.size();
}

bool goalIndexInit() {
    Vars& v = *Vars::_pVars;
    if (goalIndexCurrent()) {
        goalIndexClearStates();
        return true;
    }
    goalIndexDestroy();
    long long goals = v.goalRules.size(), edges = 0;
    for (auto const& n : v.goalRules)
        edges += n.val.depsUsual.size() + n.val.depsExistOnly.size();
    // Sized for the goals: most dependencies name goals, and the index and the
    // slots grow for the files among them.
    Vect1p_Vobj<long long> ruleIds, depIds;
    if (!g_index.init(goals) || !g_slots.reserve(goals) || !ruleIds.reserve(goals) ||
        !depIds.reserve(edges))
        return false;
    for (auto& n : v.goalRules) {
        long long id = addName(n.key);
        if (id < 0) return false;
        g_slots[id].rule = &n.val;
        ruleIds.addVal(id);
    }
    long long k = 0;
    for (auto const& n : v.goalRules) {
        long long self = ruleIds[k++];
        for (int e = 0; e < 2; ++e) {
            g_slots[self].depsAt[e] = depIds.size();
            for (CxStr1p const& d : e ? n.val.depsExistOnly : n.val.depsUsual) {
                long long id = addName(d);
                if (id < 0) return false;
                depIds.addVal(id);
            }
        }
    }
    // The slots stay where they are from now on.
    if (!g_depSlots.reserve(depIds.size())) return false;
    for (long long id : depIds)
        g_depSlots.addVal(&g_slots.data[id]);
    g_table = &v.goalRules;
    g_tableChanges = goalTableChanges();
    g_goals = v.goalRules.size();
    g_ready = true;
    return true;
}

void goalIndexDestroy() {
    g_index = NameIndex();
    g_slots.destroy();
    g_depSlots.destroy();
    g_ready = false;
    g_table = nullptr;
}

GoalSlot* goalSlotOf(CxStr1p const& name) {
    if (!g_ready) return nullptr;
    long long id = g_index.find(name);
    return id >= 0 ? &g_slots.data[id] : nullptr;
}

GoalSlot* const* goalDepSlots(GoalSlot const* g, bool existOnly) {
    if (!g_ready || !g || g->depsAt[existOnly] < 0) return nullptr;
    return g_depSlots.data + g->depsAt[existOnly];
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
