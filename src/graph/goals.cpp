#include "graph/goals.h"

#include "app/conf.h"
#include "app/log.h"
#include "graph/graphstate.h"
#include "base/textedit.h"
#include "base/tokens.h"
#include "graph/deps.h"
#include "graph/goalindex.h"
#include "graph/nameindex.h"

#include <algorithm>

GraphState* GraphState::_p = nullptr;

namespace {

long long g_tableChanges = 0;

char const* const kGoalSeps = " \t\r\n|";
char const* const kDepSeps = " \t\r\n";
char const* const kHeavyWords = "vorn|xvorn|make|ninja|cmake";
char const* const kInProcWords = "echo|cp|cprec|mkdir|rm|rmrec|rmdir|touch|touchrec";

bool dbgRules() {
    return Conf::_p && Conf::_p->dbgRules;
}
bool dbgDeps() {
    return Conf::_p && Conf::_p->dbgDeps;
}

// The goal's record, inserted with its name when absent; null when the table
// could not grow.
GoalRule* ensureGoal(CxStr1p const& name, long long* idOut = nullptr) {
    GraphState& v = *GraphState::_p;
    long long id = v.goalRules.idOf(name);
    if (id < 0) {
        // The name's one kept copy, which the record's name views.
        char const* text = v.goalTexts.add(name.c_str(), name.length());
        bool added = false;
        if (!text || !v.goalRules.add(text, name.length(), added) || !added) return nullptr;
        ++g_tableChanges;
        id = v.goalRules.size() - 1;
    }
    if (idOut) *idOut = id;
    return &v.goalRules.node(id).val;
}

unsigned nameHash(char const* d, long long n) {
    unsigned long long h = 1469598103934665603ULL; // FNV-1a
    for (long long i = 0; i < n; ++i) {
        h ^= (unsigned char)d[i];
        h *= 1099511628211ULL;
    }
    return (unsigned)(h ^ (h >> 32));
}

// The first eight bytes of a name as a number in key order: the first byte
// counts as signed, the others as unsigned, and a name comes before the
// longer names it starts (names hold no zero byte).
unsigned long long namePrefix(CxStr1p const& s) {
    unsigned long long k = 0;
    for (long long i = 0; i < 8; ++i)
        k = (k << 8) | (i < s.len ? (unsigned char)s.data[i] : 0);
    return k ^ (0x80ULL << 56);
}

// A recipe line's command word: after the marks "@- ", then blanks, up to the
// next blank. It points into the line.
struct Word {
    char const* at;
    long long len;
    bool is(CxStr1p const& s) const {
        return s.len == len && (len == 0 || memcmp(s.data, at, (size_t)len) == 0);
    }
};
Word commandWord(CxStr1p const& line) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    auto isWhite = [&](char c) { return isBlank(c) || c == '\r' || c == '\n'; };
    char const* d = line.c_str();
    long long n = line.length(), s = 0;
    while (s < n && (d[s] == '@' || d[s] == '-' || d[s] == ' '))
        ++s;
    while (s < n && isWhite(d[s]))
        ++s;
    long long e = s;
    while (e < n && !isBlank(d[e]))
        ++e;
    while (e > s && isWhite(d[e - 1]))
        --e;
    return Word{d + s, e - s};
}

// Words split once from a "|" list, so that each recipe line costs no scan of it.
struct WordSet {
    StrVect words;
    explicit WordSet(char const* list) {
        CxStr1p tok;
        long long pos = 0;
        while (strToken(tok, pos, CxStr1p(list), "|"))
            words.addVal(tok);
    }
    bool has(Word w) const {
        for (CxStr1p const& x : words)
            if (w.is(x)) return true;
        return false;
    }
};

bool markPhonyEach(CxStr1p const& list) {
    CxStr1p tok;
    long long pos = 0;
    while (strToken(tok, pos, list, kGoalSeps)) {
        GoalRule* g = ensureGoal(tok);
        if (!g) return false;
        g->phony = true;
    }
    return true;
}

// Every token is entered as a goal and becomes the default goal in turn.
bool setDefaultEach(CxStr1p const& list) {
    CxStr1p tok;
    long long pos = 0;
    while (strToken(tok, pos, list, kGoalSeps)) {
        if (!ensureGoal(tok)) return false;
        if (!GraphState::_p->defaultGoal.setObj(tok)) return false;
    }
    return true;
}

// Room for n more. A goal's first names go to a view of room made in the
// goal texts' store, which costs no heap block per goal; a list that grows
// again grows by half, not to the next thousand names as an array's second
// block would.
bool depsReserve(StrVect& list, long long n) {
    long long want = list.size() + n;
    if (want <= list.cap) return true;
    if (list.isEmpty() && list.cap == 0) {
        char* room = GraphState::_p->goalTexts.place(n * (long long)sizeof(CxStr1p));
        if (!room) return false;
        list.destroy();
        list.data = (CxStr1p*)room;
        return true;
    }
    if (list.isEmpty()) return list.reserve(want);
    if (want < list.size() + list.size() / 2) want = list.size() + list.size() / 2;
    StrVect more;
    if (!more.reserve(want)) return false;
    // The names move bitwise, as the array's own growth moves them.
    memcpy((void*)more.data, (void const*)list.data, (size_t)list.size() * sizeof(CxStr1p));
    more.count = list.count;
    list.count = 0;
    list.swap(more);
    return true;
}

bool addOneDep(GoalRule& g, long long id, char const* dep, long long len, bool existOnly) {
    StrVect& list = existOnly ? g.depsExistOnly : g.depsUsual;
    ++g_tableChanges;
    DepEdge e{(int)id, (int)(list.size() << 1 | existOnly)};
    if (list.size() >= 0x3fffffff || !GraphState::_p->goalLoad.edges.addVal(e)) return false;
    char const* text = GraphState::_p->goalTexts.add(dep, len);
    if (!text) return false;
    if (list.cap > 0 || !list.data) {
        if (!list.addVal(CxStr1p())) return false;
    } else {
        new (&list.data[list.count++]) CxStr1p(); // the room depsReserve made
    }
    list.lastVal().setView(text, len);
    logTraceDbg(dbgDeps(), existOnly ? "deps add E | %s : %s" : "deps add U | %s : %s",
                g.name.c_str(), list.lastVal().c_str());
    return true;
}

// The dependency set of one goal, from its list: sorted, each name once.
bool setFromList(DepsSet& set, StrVect const& list) {
    Vect1p_Vobj<CxStr1p const*> names;
    if (!names.reserve(list.size())) return false;
    bool sorted = true;
    for (CxStr1p const& d : list) {
        if (!names.isEmpty() && cmpCxStr1p(*names.lastVal(), d) >= 0) sorted = false;
        names.addVal(&d);
    }
    if (!sorted)
        std::stable_sort(names.data, names.data + names.size(),
                         [](CxStr1p const* a, CxStr1p const* b) { return cmpCxStr1p(*a, *b) < 0; });
    for (long long i = 0; i < names.size(); ++i) {
        if (i > 0 && *names[i] == *names[i - 1]) continue;
        if (!set.appendLast(*names[i], AvlNoVal())) return false;
    }
    return true;
}

} // namespace

long long GoalTable::idOf(CxStr1p const& name) const {
    if (slots.isEmpty()) return -1;
    unsigned h = nameHash(name.c_str(), name.length());
    long long mask = slots.size() - 1;
    for (long long i = h & mask;; i = (i + 1) & mask) {
        Slot const& x = slots.data[i];
        if (x.id < 0) return -1;
        if (x.hash == h && isEqCxStr1p(node(x.id).val.name, name)) return x.id;
    }
}

GoalRule& GoalTable::at(CxStr1p const& name) {
    if (GoalRule* g = find(name)) return *g;
    spare = GoalRule();
    return spare;
}

bool GoalTable::grow() {
    long long cap = slots.isEmpty() ? 16 : slots.size() * 2;
    Vect1p_Vobj<Slot> fresh;
    if (!fresh.reserve(cap)) return false;
    for (long long i = 0; i < cap; ++i)
        fresh.addVal(Slot{0, -1});
    for (Slot const& x : slots) {
        if (x.id < 0) continue;
        long long i = x.hash & (cap - 1);
        while (fresh.data[i].id >= 0)
            i = (i + 1) & (cap - 1);
        fresh.data[i] = x;
    }
    slots.swap(fresh);
    return true;
}

GoalRule* GoalTable::add(char const* text, long long n, bool& added) {
    added = false;
    CxStr1p name;
    name.setView(text, n);
    long long id = idOf(name);
    if (id >= 0) return &node(id).val;
    if (count >= 0x7fffffff || (2 * (count + 1) > slots.size() && !grow())) return nullptr;
    if ((count >> kShift) >= blocks.size()) {
        Node* b = (Node*)malloc(sizeof(Node) << kShift);
        if (!b || !blocks.addVal(b)) {
            free(b);
            return nullptr;
        }
    }
    if (!order.reserve(count + 1)) return nullptr;
    Node* x = new (&node(count)) Node();
    x->val.name.setView(text, n);
    unsigned h = nameHash(text, n);
    long long mask = slots.size() - 1, i = h & mask;
    while (slots.data[i].id >= 0)
        i = (i + 1) & mask;
    slots.data[i] = Slot{h, (int)count};
    // The order stays sorted while names come in key order, as generated
    // rules often do.
    if (sorted && count > 0 && cmpCxStr1p(node(order.data[count - 1]).val.name, x->val.name) >= 0)
        sorted = false;
    order.addVal((int)count);
    ++count;
    added = true;
    return &x->val;
}

int const* GoalTable::ordered() const {
    static int const none = 0;
    if (count < 1) return &none;
    if (sorted) return order.data;
    // Sorted by the names' first eight bytes as numbers, which settles most
    // pairs without reading the names again; then names that share them.
    struct Key {
        unsigned long long prefix;
        int id;
    };
    Vect1p_Vobj<Key> keys;
    if (!keys.reserve(count)) return nullptr;
    for (long long id = 0; id < count; ++id)
        keys.addVal(Key{namePrefix(node(id).val.name), (int)id});
    std::sort(keys.data, keys.data + count, [](Key a, Key b) { return a.prefix < b.prefix; });
    for (long long i = 0; i < count;) {
        long long j = i + 1;
        while (j < count && keys.data[j].prefix == keys.data[i].prefix)
            ++j;
        if (j - i > 1)
            std::sort(keys.data + i, keys.data + j, [this](Key a, Key b) {
                return cmpCxStr1p(node(a.id).val.name, node(b.id).val.name) < 0;
            });
        i = j;
    }
    for (long long i = 0; i < count; ++i)
        order.data[i] = keys.data[i].id;
    sorted = true;
    return order.data;
}

void GoalTable::clear() {
    for (long long id = 0; id < count; ++id)
        node(id).~Node();
    for (Node* b : blocks)
        free(b);
    blocks.destroy();
    slots.destroy();
    order.destroy();
    count = 0;
    sorted = true;
}

long long goalTableChanges() {
    return g_tableChanges;
}

bool addGoalDeps(CxStr1p const& goals, CxStr1p const& deps) {
    if (!GraphState::_p || goals.isEmpty()) return false;
    GraphState& v = *GraphState::_p;
    static CxStr1p const phony(".PHONY"), byDefault("default");
    if (strIsEqIcase(goals, phony)) {
        logTraceDbg(dbgRules(), "rules add PHONY goal | %s", deps.c_str());
        return markPhonyEach(deps);
    }
    if (strIsEqIcase(goals, byDefault)) {
        logTraceDbg(dbgRules(), "rules set DEFAULT goal | %s", deps.c_str());
        return setDefaultEach(deps);
    }
    if (v.defaultGoal.isEmpty()) {
        logTraceDbg(dbgRules(), "rules set DEFAULT goal | %s", goals.c_str());
        if (!setDefaultEach(goals)) return false;
    }
    return addGoalDepsPlain(goals, deps);
}

bool addGoalDepsPlain(CxStr1p const& goals, CxStr1p const& deps) {
    if (!GraphState::_p || goals.isEmpty()) return false;
    logTraceDbg(dbgRules(), "rules add G:D | %s : %s", goals.c_str(), deps.c_str());
    long long id = -1;
    GoalRule* g = ensureGoal(goals, &id);
    if (!g) return false;

    // A lone "|" starts the exist-only dependencies; a bar inside a word is
    // part of the name. One pass finds the words; the dependency vectors of a
    // goal's first rule line then get exactly their size (a vector's second
    // block would already hold 1024 names). A zero byte ends the text.
    static Vect1p_Vobj<long long> spans; // start, length; -1, 0 for the bar
    spans.clear();
    long long counts[2] = {0, 0};
    bool bar = false;
    char const* d = deps.c_str();
    for (long long i = 0, n = deps.length(); i < n && d[i];) {
        char c = d[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        long long start = i;
        while (i < n && d[i] && d[i] != ' ' && d[i] != '\t' && d[i] != '\r' && d[i] != '\n')
            ++i;
        bool isBar = i - start == 1 && c == '|';
        if (isBar)
            bar = true;
        else
            ++counts[bar];
        if (!spans.addVal(isBar ? -1 : start) || !spans.addVal(i - start)) return false;
    }
    if (!depsReserve(g->depsUsual, counts[0]) || !depsReserve(g->depsExistOnly, counts[1]))
        return false;
    bool existOnly = false;
    for (long long k = 0; k < spans.size(); k += 2) {
        if (spans[k] < 0) {
            existOnly = true;
            continue;
        }
        if (!addOneDep(*g, id, d + spans[k], spans[k + 1], existOnly)) return false;
    }
    return true;
}

bool goalDepsPrepare(bool maps) {
    if (!GraphState::_p) return false;
    GraphState& v = *GraphState::_p;
    v.depsMapUsual.clear();
    v.depsMapExistOnly.clear();
    // The goal table is in key order, so each map is built by appending.
    for (auto const& n : v.goalRules) {
        if (!maps) break; // nothing will read them
        GoalRule const& g = n.val;
        for (int k = 0; k < 2; ++k) {
            StrVect const& list = k ? g.depsExistOnly : g.depsUsual;
            if (list.isEmpty()) continue;
            DepsMap& map = k ? v.depsMapExistOnly : v.depsMapUsual;
            DepsMap::Node* node = map.appendLast(g.name, DepsSet());
            if (!node || !setFromList(node->val, list)) return false;
        }
    }
    return goalFirstNamersFind();
}

bool goalFirstNamersFind() {
    if (!GraphState::_p) return false;
    GraphState& v = *GraphState::_p;
    GoalTable const& table = v.goalRules;
    Vect1p_Vobj<int>& first = v.goalLoad.firstNamers;
    Vect1p_Vobj<DepEdge>& edges = v.goalLoad.edges;
    if (!first.reserve(table.size())) return false;
    while (first.size() < table.size())
        first.addVal(-1);
    // An edge to a name that is no goal yet waits: the name may become one.
    long long keep = 0;
    for (DepEdge const& e : edges) {
        GoalRule const& g = table.node(e.goal).val;
        CxStr1p const& dep = (e.at & 1 ? g.depsExistOnly : g.depsUsual).data[e.at >> 1];
        long long id = table.idOf(dep);
        if (id < 0)
            edges.data[keep++] = e;
        else if (first.data[id] < 0)
            first.data[id] = e.goal;
    }
    edges.count = keep;
    if (keep < edges.cap / 2) {
        Vect1p_Vobj<DepEdge> left;
        if (left.reserve(keep)) {
            for (DepEdge const& e : edges)
                left.addVal(e);
            edges.swap(left);
        }
    }
    return true;
}

GoalRule* goalFirstNamer(CxStr1p const& dep) {
    GraphState& v = *GraphState::_p;
    long long id = v.goalRules.idOf(dep);
    if (id < 0 || id >= v.goalLoad.firstNamers.size()) return nullptr;
    GoalRule const& g = v.goalRules.node(id).val;
    int p = v.goalLoad.firstNamers.data[id];
    return p >= 0 && (g.heavy || g.usual) ? &v.goalRules.node(p).val : nullptr;
}

bool goalKindsAdjust() {
    GraphState& v = *GraphState::_p;
    GoalTable& table = v.goalRules;
    Vect1p_Vobj<int> const& first = v.goalLoad.firstNamers;
    int const* order = table.ordered();
    Vect1p_Vobj<char> runs; // by goal number: its recipe runs commands
    if (!order || !runs.reserve(table.size())) return false;
    for (long long id = 0; id < table.size(); ++id)
        runs.addVal(table.node(id).val.heavy || table.node(id).val.usual);
    // A goal is raised through the goal it names, taken in key order; one
    // raised here raises none in turn.
    for (long long i = 0; i < table.size(); ++i) {
        long long id = order[i];
        int p = id < first.size() ? first.data[id] : -1;
        if (!runs.data[id] || p < 0) continue;
        GoalRule const& rx = table.node(id).val;
        GoalRule& named = table.node(p).val;
        if (rx.heavy && !named.heavy) {
            v.rulesHeavyAdj.mark(named);
            logTraceDbg(conf().dbgRules, "rules adj (H) | %s : %s", named.name.c_str(),
                        rx.name.c_str());
        }
        if (rx.usual && !named.usual) {
            v.rulesUsualAdj.mark(named);
            logTraceDbg(conf().dbgRules, "rules adj (u) | %s : %s", named.name.c_str(),
                        rx.name.c_str());
        }
    }
    return true;
}

bool addGoalHowCmd(CxStr1p const& goal, CxStr1p const& line) {
    if (!GraphState::_p || goal.isEmpty() || line.isEmpty()) return false;
    GraphState& v = *GraphState::_p;
    GoalRule* g = ensureGoal(goal);
    if (!g) return false;
    ++g_tableChanges;
    if (g->howCmds.isEmpty()) ++v.rulesWithCmds;
    ++v.cmdsAll;
    long long old = g->howCmds.len;
    if (old == 0) {
        // Most recipes have one line: it stays a view of a kept copy.
        char const* text = v.goalTexts.add(line.c_str(), line.length(), '\n');
        if (!text) return false;
        g->howCmds.setView(text, line.length() + 1);
    } else if (!g->howCmds.addObj(line) || !g->howCmds.addVal('\n')) {
        if (!g->howCmds.isView()) g->howCmds.forceLen(old);
        return false;
    }

    static WordSet const heavyWords(kHeavyWords), inProcWords(kInProcWords);
    static CxStr1p const cat("cat");
    Word word = commandWord(line);
    bool heavy =
        heavyWords.has(word) || (!RunInfo::_p->exeName.isEmpty() && word.is(RunInfo::_p->exeName));
    bool inProc =
        !heavy && ((!conf().sysCalls && inProcWords.has(word)) || (conf().dbgCat && word.is(cat)));
    if (heavy) {
        v.rulesHeavy.mark(*g);
        v.rulesHeavyAdj.mark(*g);
        logTraceDbg(dbgRules(), "rules set (H) | %s", goal.c_str());
        return true;
    }
    if (!inProc) {
        v.rulesUsual.mark(*g);
        v.rulesUsualAdj.mark(*g);
        logTraceDbg(dbgRules(), "rules set (u) | %s", goal.c_str());
        return true;
    }
    return true;
}

bool GoalKindSet::mark(GoalRule& g) {
    bool* flag = kind == Heavy ? &g.heavy : kind == Usual ? &g.usual : nullptr;
    bool was = flag ? *flag : (g.ownKinds & kind) != 0;
    if (flag)
        *flag = true;
    else
        g.ownKinds |= (unsigned char)kind;
    if (!was) ++count;
    return !was;
}

bool GoalKindSet::hasIdx(CxStr1p const& goal) const {
    GoalRule const* g = GraphState::_p ? GraphState::_p->goalRules.find(goal) : nullptr;
    if (!g) return false;
    if (kind == Heavy) return g->heavy;
    if (kind == Usual) return g->usual;
    return (g->ownKinds & kind) != 0;
}

bool setGoalDefault(CxStr1p const& list) {
    if (!GraphState::_p) return false;
    logTraceDbg(dbgRules(), "rules set DEFAULT goal | %s", list.c_str());
    return setDefaultEach(list);
}

bool addPhonyGoals(CxStr1p const& list) {
    if (!GraphState::_p) return false;
    logTraceDbg(dbgRules(), "rules add PHONY goal | %s", list.c_str());
    return markPhonyEach(list);
}

bool setGoalMarks(CxStr1p const& goal, char const* marks) {
    if (!GraphState::_p) return false;
    GoalRule* g = ensureGoal(goal);
    if (!g) return false;
    g->keepOnError = strchr(marks, 'k') != nullptr;
    g->intermediate = strchr(marks, 'i') != nullptr;
    g->force = strchr(marks, 'f') != nullptr;
    g->lazy = strchr(marks, 'l') != nullptr;
    return true;
}

bool setGoalTimeOf(CxStr1p const& goal, CxStr1p const& file) {
    GoalRule* g = GraphState::_p ? ensureGoal(goal) : nullptr;
    return g && g->timeOf.setObj(file);
}

void goalTableReset() {
    GraphState& v = *GraphState::_p;
    ++g_tableChanges;
    v.defaultGoal.clear();
    v.goalRules.clear();
    v.depsMapUsual.clear();
    v.depsMapExistOnly.clear();
    v.goalLoad = GoalLoadIndex();
    v.rulesWithCmds = v.cmdsAll = 0;
    v.rulesHeavy.clear();
    v.rulesUsual.clear();
    v.rulesHeavyAdj.clear();
    v.rulesUsualAdj.clear();
}
