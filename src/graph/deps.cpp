#include "graph/deps.h"
#include "graph/goals.h"
#include "graph/goalindex.h"
#include "graph/nameindex.h"

#include "app/log.h"
#include "app/conf.h"
#include "graph/graphstate.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"

namespace {

DepsSet const& emptySet() {
    static DepsSet const empty;
    return empty;
}

int traceLevel() {
    return logGetPassLevel() < 0 ? -1 : 0;
}

bool hasLetter(CxStr1p const& letters, char c) {
    return strHas(letters, c);
}

} // namespace

// ---- Building and reading a map

bool depsAddOne(DepsMap& map, CxStr1p const& goal, CxStr1p const& dep) {
    if (goal.isEmpty() || dep.isEmpty()) return false;
    bool added = false;
    DepsMap::Node* n = map.insertNode(goal, DepsSet(), added);
    if (!n) return false;
    return n->val.addK(dep) && n->val.hasIdx(dep);
}

bool depsAddSet(DepsMap& map, CxStr1p const& goal, DepsSet const& deps) {
    bool ok = true;
    for (auto const& d : deps)
        ok = depsAddOne(map, goal, d.key) && ok;
    return ok;
}

bool depsAddList(DepsMap& map, CxStr1p const& goal, CxStr1p const& text, char const* seps) {
    if (!seps) seps = "|\r\n \t";
    bool ok = true;
    CxStr1p tok;
    long long pos = 0;
    while (strToken(tok, pos, text, seps))
        ok = depsAddOne(map, goal, tok) && ok;
    return ok;
}

bool depsHas(DepsMap const& map, CxStr1p const& goal) {
    return map.hasIdx(goal);
}

bool depsHas(DepsMap const& map, CxStr1p const& goal, CxStr1p const& dep) {
    DepsSet const* s = map.find(goal);
    return s && s->hasIdx(dep);
}

DepsSet const& depsAt(DepsMap const& map, CxStr1p const& goal) {
    DepsSet const* s = map.find(goal);
    return s ? *s : emptySet();
}

DepsSet depsGet(DepsMap const& map, CxStr1p const& goal) {
    return depsAt(map, goal);
}

CxStr1p depsGoalList(DepsMap const& map) {
    CxStr1p out;
    for (auto const& g : map)
        strSepAdd(out, g.key, ' ');
    return out;
}

CxStr1p depsList(DepsMap const& map, CxStr1p const& goal) {
    CxStr1p out;
    for (auto const& d : depsAt(map, goal))
        strSepAdd(out, d.key, ' ');
    return out;
}

CxStr1p depsListAlt(DepsMap const& map, CxStr1p const& goal, CxStr1p const& alts) {
    CxStr1p out;
    for (auto const& d : depsAt(map, goal))
        if (strIsEqAlt(d.key, alts)) strSepAdd(out, d.key, ' ');
    return out;
}

CxStr1p depsListAllAlt(DepsMap const& map, CxStr1p const& alts) {
    CxStr1p out;
    for (auto const& g : map) {
        if (!strIsEqAlt(g.key, alts)) continue;
        for (auto const& d : g.val)
            if (strIsEqAlt(d.key, alts)) strSepAdd(out, d.key, ' ');
    }
    return out;
}

CxStr1p depsDumpText(DepsMap const& map) {
    CxStr1p out;
    for (auto const& g : map) {
        CxStr1p line;
        for (auto const& d : g.val)
            strSepAdd(line, d.key, ' ');
        out += g.key;
        out += " : ";
        out += line;
        out += '\n';
    }
    return out;
}

// ---- Closure and cycles

bool depsExpandGoal(DepsMap& map) {
    bool ok = true;
    for (auto const& g : map) {
        DepsSet s(g.val);
        if (s.size() != g.val.size()) return false;
        for (auto& other : map) {
            if (&other == &g || !other.val.hasIdx(g.key)) continue;
            for (auto const& d : s)
                ok = other.val.addK(d.key) && ok;
        }
    }
    return ok;
}

bool depsExpandDeps(DepsMap& map) {
    bool ok = true;
    bool changed = true;
    while (changed) {
        changed = false;
        for (auto& g : map) {
            // Walk a copy: names added in this pass are followed in the next one.
            DepsSet s(g.val);
            if (s.size() != g.val.size()) return false;
            long long before = g.val.size();
            for (auto const& d : s) {
                if (d.key == g.key) continue;
                DepsSet const* sub = map.find(d.key);
                if (!sub) continue;
                for (auto const& e : *sub)
                    ok = g.val.addK(e.key) && ok;
            }
            if (g.val.size() > before) changed = true;
        }
        if (!ok) break;
    }
    return ok;
}

bool depsCircDetectAdd(CxStr1p& out, DepsMap const& map, char sep) {
    bool ok = true;
    for (auto const& g : map)
        if (g.val.hasIdx(g.key)) ok = strSepAdd(out, g.key, sep) && ok;
    return ok;
}

CxStr1p depsCircDetect(DepsMap const& map, char sep) {
    CxStr1p out;
    depsCircDetectAdd(out, map, sep);
    return out;
}

namespace {

// Goals of one or more maps as numbered nodes with their edges to other goals
// (compressed rows), for the strongly connected components. Node numbers fit
// an int (a name index numbers at most 2^31 names).
struct GoalGraph {
    Vect1p_Vobj<CxStr1p const*> names; // sorted, unique
    Vect1p_Vobj<long long> rowStart;   // names.size() + 1 entries
    Vect1p_Vobj<int> edges;

    long long nodes() const { return names.size(); }
    long long degree(long long v) const { return rowStart.data[v + 1] - rowStart.data[v]; }
    int to(long long v, long long k) const { return edges.data[rowStart.data[v] + k]; }
    CxStr1p const& name(long long v) const { return *names.data[v]; }

    bool build(DepsMap const* const* maps, int mapCount) {
        // Merge the sorted key sequences of the maps, keeping each goal's sets.
        Vect1p_Vobj<DepsMap::Node*> cur;
        Vect1p_Vobj<DepsSet const*> sets; // mapCount per name
        long long total = 0;
        for (int i = 0; i < mapCount; ++i) {
            if (!cur.addVal(maps[i]->first())) return false;
            total += maps[i]->size();
        }
        if (!names.reserve(total) || !sets.reserve(total * mapCount)) return false;
        for (;;) {
            CxStr1p const* least = nullptr;
            for (int i = 0; i < mapCount; ++i)
                if (cur[i] && (!least || cmpCxStr1p(cur[i]->key, *least) < 0)) least = &cur[i]->key;
            if (!least) break;
            if (!names.addVal(least)) return false;
            for (int i = 0; i < mapCount; ++i) {
                bool here = cur[i] && (&cur[i]->key == least || cur[i]->key == *least);
                if (!sets.addVal(here ? &cur[i]->val : nullptr)) return false;
                if (here) cur[i] = DepsMap::next(cur[i]);
            }
        }
        return fillRows([&](long long v, auto const& edge) {
            for (int i = 0; i < mapCount; ++i)
                if (DepsSet const* s = sets.data[v * mapCount + i])
                    for (auto const& d : *s)
                        edge(d.key);
        });
    }

    // Numbers the names, then the rows: forDeps(v, edge) calls edge on each
    // dependency name of node v; a name that is no node (a plain file) is no edge.
    template <class ForDeps> bool fillRows(ForDeps forDeps) {
        long long n = names.size();
        NameIndex index;
        if (!index.init(n)) return false;
        for (long long v = 0; v < n; ++v)
            index.add(names.data[v], v);
        if (!rowStart.reserve(n + 1)) return false;
        for (long long v = 0; v < n; ++v) {
            if (!rowStart.addVal(edges.size())) return false;
            bool ok = true;
            forDeps(v, [&](CxStr1p const& d) {
                long long w = index.find(d);
                if (w >= 0 && !edges.addVal((int)w)) ok = false;
            });
            if (!ok) return false;
        }
        return rowStart.addVal(edges.size());
    }
};

// The goals of the goal index as the same kind of graph, read from the index
// itself: its goals come first in key order with their dependencies resolved,
// so nothing is copied or looked up again.
struct IndexGraph {
    long long n = goalIndexGoals();

    long long nodes() const { return n; }
    long long degree(long long v) const {
        GoalRule const* r = goalSlotAt(v)->rule;
        return r->depsUsual.size() + r->depsExistOnly.size();
    }
    // -1 for a plain file.
    int to(long long v, long long k) const {
        GoalSlot const* g = goalSlotAt(v);
        long long usual = g->rule->depsUsual.size();
        GoalSlot const* d =
            k < usual ? goalDepSlots(g, false)[k] : goalDepSlots(g, true)[k - usual];
        long long w = goalSlotId(d);
        return w < n ? (int)w : -1;
    }
    CxStr1p const& name(long long v) const { return goalSlotAt(v)->rule->name; }
};

// Tarjan's components without recursion; circ[v] is set for a node in a
// component of two or more nodes or with an edge to itself.
template <class Graph> bool markCircular(Graph const& gg, Vect1p_Vobj<char>& circ) {
    long long n = gg.nodes();
    if (n > 0x7fffffff) return false;
    Vect1p_Vobj<int> index, low, stack, frameNode;
    Vect1p_Vobj<long long> frameEdge;
    Vect1p_Vobj<char> onStack;
    if (!index.reserve(n) || !low.reserve(n) || !onStack.reserve(n) || !circ.reserve(n) ||
        !stack.reserve(n) || !frameNode.reserve(n) || !frameEdge.reserve(n))
        return false;
    for (long long v = 0; v < n; ++v) {
        index.addVal(-1);
        low.addVal(0);
        onStack.addVal(0);
        circ.addVal(0);
    }
    int next = 0;
    for (int s = 0; s < n; ++s) {
        if (index.data[s] >= 0) continue;
        // Capacities were reserved for n entries: no push below can fail.
        index.data[s] = low.data[s] = next++;
        stack.addVal(s);
        onStack.data[s] = 1;
        frameNode.addVal(s);
        frameEdge.addVal(0);
        while (!frameNode.isEmpty()) {
            int v = frameNode.lastVal();
            long long& ei = frameEdge.lastVal();
            if (ei < gg.degree(v)) {
                int w = gg.to(v, ei++);
                if (w < 0) continue;
                if (w == v) circ.data[v] = 1;
                if (index.data[w] < 0) {
                    index.data[w] = low.data[w] = next++;
                    stack.addVal(w);
                    onStack.data[w] = 1;
                    frameNode.addVal(w);
                    frameEdge.addVal(0);
                } else if (onStack.data[w] && index.data[w] < low.data[v]) {
                    low.data[v] = index.data[w];
                }
                continue;
            }
            frameNode.delLast();
            frameEdge.delLast();
            if (low.data[v] == index.data[v]) {
                long long top = stack.size();
                long long from = top;
                do
                    --from;
                while (stack.data[from] != v);
                for (long long i = from; i < top; ++i) {
                    onStack.data[stack.data[i]] = 0;
                    if (top - from > 1) circ.data[stack.data[i]] = 1;
                }
                stack.delSpan(from, top - from);
            }
            if (!frameNode.isEmpty()) {
                int u = frameNode.lastVal();
                if (low.data[v] < low.data[u]) low.data[u] = low.data[v];
            }
        }
    }
    return true;
}

template <class Graph> bool circSccOf(CxStr1p& out, Graph const& gg, char sep) {
    Vect1p_Vobj<char> circ;
    if (!markCircular(gg, circ)) return false;
    bool ok = true;
    for (long long v = 0; v < gg.nodes(); ++v)
        if (circ.data[v]) ok = strSepAdd(out, gg.name(v), sep) && ok;
    return ok;
}

bool circSccAdd(CxStr1p& out, DepsMap const* const* maps, int mapCount, char sep) {
    GoalGraph gg;
    return gg.build(maps, mapCount) && circSccOf(out, gg, sep);
}

} // namespace

bool goalsCircularAdd(CxStr1p& out, char sep) {
    return GraphState::_p && goalIndexInit() && circSccOf(out, IndexGraph(), sep);
}

bool depsCircDetectSccAdd(CxStr1p& out, DepsMap const& map, char sep) {
    DepsMap const* maps[1] = {&map};
    return circSccAdd(out, maps, 1, sep);
}

CxStr1p depsCircDetectScc(DepsMap const& map, char sep) {
    CxStr1p out;
    depsCircDetectSccAdd(out, map, sep);
    return out;
}

bool depsCircDetectSccJoinAdd(CxStr1p& out, DepsMap const& a, DepsMap const& b, char sep) {
    DepsMap const* maps[2] = {&a, &b};
    return circSccAdd(out, maps, 2, sep);
}

// ---- Copies and joins

bool depsCopyAlt(DepsMap& dst, DepsMap const& src, CxStr1p const& alts) {
    bool ok = true;
    for (auto const& g : src) {
        if (!strIsEqAlt(g.key, alts)) continue;
        for (auto const& d : g.val)
            if (strIsEqAlt(d.key, alts)) ok = depsAddOne(dst, g.key, d.key) && ok;
    }
    return ok;
}

bool depsJoinProviders(DepsMap& dst, DepsMap const& src, StrMap const& providers) {
    bool ok = true;
    for (auto const& g : src) {
        for (auto const& d : g.val) {
            ok = depsAddOne(dst, g.key, d.key) && ok;
            CxStr1p const* p = providers.find(d.key);
            if (p && !p->isEmpty() && *p != g.key) ok = depsAddOne(dst, g.key, *p) && ok;
        }
    }
    return ok;
}

// ---- Preparation after loading

namespace {

// acyclic: the caller already knows the map has no cycle.
bool expandStep(DepsMap& map, char const* label, bool acyclic) {
    Conf const& conf = *Conf::_p;
    bool checkCirc = !hasLetter(conf.dcLetters, 'c');
    if (!conf.dbgDeps) {
        if (acyclic) return true;
        // Only the trace shows the closure, so the cycle check runs on the
        // components instead: linear where the closure is quadratic on chains.
        if (!checkCirc) return true;
        CxStr1p circ;
        if (!depsCircDetectSccAdd(circ, map, ' ')) {
            logPrint(2, "%s deps wrong graph", label);
            return false;
        }
        if (!circ.isEmpty()) {
            logPrint(2, "Circular dependencies: %s", circ.c_str());
            return false;
        }
        return true;
    }

    DepsMap copy(map);
    if (copy.size() != map.size()) return false;
    CxStr1p before = depsDumpText(copy);
    bool ok = depsExpandDeps(copy);
    CxStr1p now = depsDumpText(copy);
    int lvl = traceLevel();
    if (now != before) {
        CxStr1p title(label);
        title += " deps list was |";
        logPrintLines(lvl, title.c_str(), before.c_str(), "");
    }
    CxStr1p title(label);
    title += " deps list now |";
    logPrintLines(lvl, title.c_str(), now.c_str(), "");
    if (!ok) {
        logPrint(2, "%s deps wrong graph", label);
        return false;
    }
    if (checkCirc) {
        CxStr1p circ = depsCircDetect(copy, ' ');
        if (!circ.isEmpty()) {
            logPrint(2, "Circular dependencies: %s", circ.c_str());
            return false;
        }
    }
    long long was = map.size(), after = copy.size();
    if (after < was) {
        logPrint(2, "%s deps exp count | was %lli / %lli now", label, was, after);
        return false;
    }
    logTraceDbg(true, "%s deps exp count | was %lli / %lli now", label, was, after);
    if (hasLetter(conf.dcLetters, 'e')) return true;
    map.swap(copy);
    return map.size() == after;
}

} // namespace

bool depsExpandStep(DepsMap& map, char const* label) {
    return expandStep(map, label, false);
}

bool depsAllSteps() {
    if (!GraphState::_p) return false;
    GraphState& v = *GraphState::_p;
    long long t0 = timeBootNs();
    // Each map alone can be free of cycles while a usual dependency one way and an
    // exist-only one back close a loop that the builders would never finish. A
    // cycle of either map is one of both together, so when both together have
    // none the maps need no check of their own.
    bool checkCirc = !hasLetter(conf().dcLetters, 'c');
    // The dependencies as written are needed no more once their first
    // namers are known: their room goes to the goal index.
    if (!goalFirstNamersFind()) {
        logPrint(2, "deps expand");
        return false;
    }
    CxStr1p circ;
    bool joinOk = !checkCirc || goalsCircularAdd(circ, ' ');
    bool acyclic = checkCirc && joinOk && circ.isEmpty();
    // The maps themselves are made only for what reads them: the traces of
    // -D d and the report of a cycle.
    bool needMaps = conf().dbgDeps || (checkCirc && !acyclic);
    if (!goalDepsPrepare(needMaps)) {
        logPrint(2, "deps expand");
        return false;
    }
    bool okUsual = expandStep(v.depsMapUsual, "Usual", acyclic);
    bool okExist = expandStep(v.depsMapExistOnly, "ExistOnly", acyclic);
    bool ok = okUsual && okExist;
    if (ok && checkCirc) {
        if (!joinOk) {
            logPrint(2, "%s deps wrong graph", "Usual+ExistOnly");
            ok = false;
        } else if (!circ.isEmpty()) {
            logPrint(2, "Circular dependencies: %s", circ.c_str());
            ok = false;
        }
    }
    v.elDepsExpand = timeBootNs() - t0;
    if (!ok) {
        logPrint(2, "deps expand");
        return false;
    }

    long long t1 = timeBootNs();
    if (!goalKindsAdjust()) {
        logPrint(2, "deps expand");
        return false;
    }
    v.elDepsAdapt = timeBootNs() - t1;
    return true;
}
