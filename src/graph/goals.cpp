#include "graph/goals.h"

#include "app/app.h"
#include "app/vars.h"
#include "base/textedit.h"
#include "base/tok.h"
#include "graph/deps.h"
#include "graph/nameindex.h"

#include <algorithm>

namespace {

long long g_tableChanges = 0;

char const* const kGoalSeps = " \t\r\n|";
char const* const kDepSeps = " \t\r\n";
char const* const kHeavyWords = "vorn|xvorn|make|ninja|cmake";
char const* const kInProcWords = "echo|cp|cprec|mkdir|rm|rmrec|rmdir|touch|touchrec";

bool dbgRules() {
    return Vars::_pConf && Vars::_pConf->dbgRules;
}
bool dbgDeps() {
    return Vars::_pConf && Vars::_pConf->dbgDeps;
}

// A name already in the table costs one hash lookup instead of a tree
// search. The index is built again when it no longer matches the table.
bool syncGoals(GoalRuleMap& table, GoalLoadIndex& x) {
    if (x.names.size() == table.size() && x.rules.size() == table.size()) return true;
    x.rules.clear();
    if (!x.names.init(table.size()) || !x.rules.reserve(table.size())) return false;
    for (auto& n : table) {
        x.names.add(&n.key, x.rules.size());
        x.rules.addVal(&n.val);
    }
    return true;
}

// The goal's record, inserted with its name when absent; null when the table
// could not grow.
GoalRule* ensureGoal(CxStr1p const& name) {
    GoalRuleMap& table = Vars::_pVars->goalRules;
    GoalLoadIndex& x = Vars::_pVars->goalLoad;
    if (!syncGoals(table, x)) return nullptr;
    long long id = x.names.find(name);
    if (id >= 0) return x.rules[id];
    long long before = table.size();
    // Generated rules often come in name order: a name after every other one
    // is appended without a search.
    bool added = true;
    GoalRuleMap::Node* n = table.appendLast(name, GoalRule());
    if (!n) n = table.insertKey(name, added);
    if (!n) return nullptr;
    if (added) {
        ++g_tableChanges;
        if (table.size() <= before) return nullptr;
        if (!n->val.name.setObj(name)) return nullptr;
    }
    if (!x.rules.addVal(&n->val) || !x.names.add(&n->key, x.rules.size() - 1)) return nullptr;
    return &n->val;
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
    Vect1p_Vobj<CxStr1p> words;
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
        if (!Vars::_pVars->defaultGoal.setObj(tok)) return false;
    }
    return true;
}

bool addOneDep(GoalRule& g, char const* dep, long long len, bool existOnly) {
    Vect1p_Vobj<CxStr1p>& list = existOnly ? g.depsExistOnly : g.depsUsual;
    ++g_tableChanges;
    if (!Vars::_pVars->goalLoad.edges.addVal(DepEdge{&g, existOnly, list.size()})) return false;
    if (!list.addVal(CxStr1p()) || !list.lastVal().setCstr(dep, len)) return false;
    logTraceDbg(dbgDeps(), existOnly ? "deps add E | %s : %s" : "deps add U | %s : %s",
                g.name.c_str(), list.lastVal().c_str());
    return true;
}

// The dependency set of one goal, from its list: sorted, each name once.
bool setFromList(DepsSet& set, Vect1p_Vobj<CxStr1p> const& list) {
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

long long goalTableChanges() {
    return g_tableChanges;
}

bool addGoalDeps(CxStr1p const& goals, CxStr1p const& deps) {
    if (!Vars::_pVars || goals.isEmpty()) return false;
    Vars& v = *Vars::_pVars;
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
    if (!Vars::_pVars || goals.isEmpty()) return false;
    logTraceDbg(dbgRules(), "rules add G:D | %s : %s", goals.c_str(), deps.c_str());
    GoalRule* g = ensureGoal(goals);
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
    if (!g->depsUsual.reserve(g->depsUsual.size() + counts[0]) ||
        !g->depsExistOnly.reserve(g->depsExistOnly.size() + counts[1]))
        return false;
    bool existOnly = false;
    for (long long k = 0; k < spans.size(); k += 2) {
        if (spans[k] < 0) {
            existOnly = true;
            continue;
        }
        if (!addOneDep(*g, d + spans[k], spans[k + 1], existOnly)) return false;
    }
    return true;
}

bool goalDepsPrepare(bool maps) {
    if (!Vars::_pVars) return false;
    Vars& v = *Vars::_pVars;
    v.depsMapUsual.clear();
    v.depsMapExistOnly.clear();
    v.depFirstGoal.clear();
    // The goal table is in key order, so each map is built by appending.
    for (auto const& n : v.goalRules) {
        if (!maps) break; // nothing will read them
        GoalRule const& g = n.val;
        for (int k = 0; k < 2; ++k) {
            Vect1p_Vobj<CxStr1p> const& list = k ? g.depsExistOnly : g.depsUsual;
            if (list.isEmpty()) continue;
            DepsMap& map = k ? v.depsMapExistOnly : v.depsMapUsual;
            DepsMap::Node* node = map.appendLast(g.name, DepsSet());
            if (!node || !setFromList(node->val, list)) return false;
        }
    }
    // The first goal to name a dependency keeps the entry; only rules that
    // run a command are ever looked up in it.
    NameIndex wanted;
    if (!wanted.init(16)) return false;
    for (auto const& n : v.goalRules)
        if ((n.val.heavy || n.val.usual) && !wanted.add(&n.key, 0)) return false;
    for (DepEdge const& e : v.goalLoad.edges) {
        if (wanted.size() == 0) break;
        CxStr1p const& dep = (e.existOnly ? e.goal->depsExistOnly : e.goal->depsUsual)[e.at];
        if (wanted.find(dep) < 0) continue;
        bool added = false;
        if (!v.depFirstGoal.insertNode(dep, e.goal->name, added)) return false;
    }
    // The name index's memory serves the build instead; a later change of the
    // table makes it anew. The edges stay for a later call.
    v.goalLoad.names = NameIndex();
    v.goalLoad.rules.destroy();
    return true;
}

bool addGoalHowCmd(CxStr1p const& goal, CxStr1p const& line) {
    if (!Vars::_pVars || goal.isEmpty() || line.isEmpty()) return false;
    Vars& v = *Vars::_pVars;
    GoalRule* g = ensureGoal(goal);
    if (!g) return false;
    ++g_tableChanges;
    if (g->howCmds.isEmpty()) ++v.rulesWithCmds;
    ++v.cmdsAll;
    long long old = g->howCmds.len;
    // The first line is taken at its size: most recipes have one line.
    if ((old == 0 && !g->howCmds.reserve(line.len + 2)) || !g->howCmds.addObj(line) ||
        !g->howCmds.addVal('\n')) {
        g->howCmds.forceLen(old);
        return false;
    }

    static WordSet const heavyWords(kHeavyWords), inProcWords(kInProcWords);
    static CxStr1p const cat("cat");
    Word word = commandWord(line);
    bool heavy = heavyWords.has(word) || (!v.exeName.isEmpty() && word.is(v.exeName));
    bool inProc =
        !heavy && ((!v.conf.sysCalls && inProcWords.has(word)) || (v.conf.dbgCat && word.is(cat)));
    if (heavy) {
        g->heavy = true;
        bool ok = v.rulesHeavy.addK(goal);
        ok = v.rulesHeavyAdj.addK(goal) && ok;
        logTraceDbg(dbgRules(), "rules set (H) | %s", goal.c_str());
        return ok;
    }
    if (!inProc) {
        g->usual = true;
        bool ok = v.rulesUsual.addK(goal);
        ok = v.rulesUsualAdj.addK(goal) && ok;
        logTraceDbg(dbgRules(), "rules set (u) | %s", goal.c_str());
        return ok;
    }
    return true;
}

bool setGoalDefault(CxStr1p const& list) {
    if (!Vars::_pVars) return false;
    logTraceDbg(dbgRules(), "rules set DEFAULT goal | %s", list.c_str());
    return setDefaultEach(list);
}

bool addPhonyGoals(CxStr1p const& list) {
    if (!Vars::_pVars) return false;
    logTraceDbg(dbgRules(), "rules add PHONY goal | %s", list.c_str());
    return markPhonyEach(list);
}

bool setGoalMarks(CxStr1p const& goal, char const* marks) {
    if (!Vars::_pVars) return false;
    GoalRule* g = ensureGoal(goal);
    if (!g) return false;
    g->keepOnError = strchr(marks, 'k') != nullptr;
    g->intermediate = strchr(marks, 'i') != nullptr;
    g->force = strchr(marks, 'f') != nullptr;
    g->lazy = strchr(marks, 'l') != nullptr;
    return true;
}

bool setGoalTimeOf(CxStr1p const& goal, CxStr1p const& file) {
    GoalRule* g = Vars::_pVars ? ensureGoal(goal) : nullptr;
    return g && g->timeOf.setObj(file);
}

void goalTableReset() {
    Vars& v = *Vars::_pVars;
    ++g_tableChanges;
    v.defaultGoal.clear();
    v.goalRules.clear();
    v.depsMapUsual.clear();
    v.depsMapExistOnly.clear();
    v.depFirstGoal.clear();
    v.goalLoad = GoalLoadIndex();
    v.rulesWithCmds = v.cmdsAll = 0;
    v.rulesHeavy.clear();
    v.rulesUsual.clear();
    v.rulesHeavyAdj.clear();
    v.rulesUsualAdj.clear();
    v.goalState.clear();
    v.timesBeforeRecipe.clear();
    v.timesOfTargets.clear();
}
