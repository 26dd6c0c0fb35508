#include "build/goalindex.h"

#include "graph/nameindex.h"

namespace {

NameIndex g_index;
Vect1p_Vobj<GoalSlot> g_slots;
bool g_ready = false;

// The slot of the name, added when absent; -1 when memory ran out.
long long addName(CxStr1p const& name) {
    long long id = g_index.findOrAdd(&name, g_slots.size());
    if (id == g_slots.size() && !g_slots.addVal(GoalSlot())) return -1;
    return id;
}

} // namespace

bool goalIndexInit() {
    Vars& v = *Vars::_pVars;
    goalIndexDestroy();
    long long names = 0;
    for (auto const& n : v.goalRules)
        names += 1 + n.val.depsUsual.size() + n.val.depsExistOnly.size();
    if (!g_index.init(names) || !g_slots.reserve(names)) return false;
    for (auto& n : v.goalRules) {
        long long id = addName(n.key);
        if (id < 0) return false;
        g_slots[id].rule = &n.val;
        g_slots[id].heavy = n.val.heavy;
    }
    for (auto const& n : v.goalRules) {
        for (CxStr1p const& d : n.val.depsUsual)
            if (addName(d) < 0) return false;
        for (CxStr1p const& d : n.val.depsExistOnly)
            if (addName(d) < 0) return false;
    }
    g_ready = true;
    return true;
}

void goalIndexDestroy() {
    g_index = NameIndex();
    g_slots.destroy();
    g_ready = false;
}

GoalSlot* goalSlotOf(CxStr1p const& name) {
    if (!g_ready) return nullptr;
    long long id = g_index.find(name);
    return id >= 0 ? &g_slots.data[id] : nullptr;
}

void goalIndexClearStates() {
    for (GoalSlot& s : g_slots) {
        s.state = 0;
        s.phase = DepsPhase();
    }
}
