#include "graph/print.h"

#include "app/log.h"
#include "app/vars.h"
#include "base/timenum.h"
#include "graph/nameindex.h"

namespace {

char upperMode(char mode) {
    if (mode == 0) return 'D';
    return (mode >= 'a' && mode <= 'z') ? (char)(mode - 'a' + 'A') : mode;
}

bool addTag(CxStr1p& out, char letter) {
    char tag[5] = {'(', letter, ')', ' ', 0};
    return out.addCstr(tag, 4);
}

// While a listing runs: goal name to type letter, so that a dependency's tag
// costs no tree search.
struct TagIndex {
    NameIndex index;
    Vect1p_Vobj<char> letters;

    bool build(GoalRuleMap const& goals) {
        if (!index.init(goals.size()) || !letters.reserve(goals.size())) return false;
        for (auto const& g : goals) {
            index.add(&g.key, letters.size());
            letters.addVal(g.val.typeLetter());
        }
        return true;
    }
};
TagIndex const* g_tags = nullptr;

// Tag of a dependency: that of its own rule, "(?) " when it has none.
bool addDepTag(CxStr1p& out, CxStr1p const& dep) {
    char letter = '?';
    if (g_tags) {
        long long i = g_tags->index.find(dep);
        if (i >= 0) letter = g_tags->letters.data[i];
    } else if (GoalRule const* r = Vars::_pVars->goalRules.find(dep)) {
        letter = r->typeLetter();
    }
    return addTag(out, letter);
}

} // namespace

CxStr1p strGoalDeps(GoalRule const& rule, char mode) {
    CxStr1p out;
    if (!Vars::_pVars) return out;
    Vars& v = *Vars::_pVars;
    mode = upperMode(mode);
    bool tags = v.conf.printDeps;
    char const* sep = mode == 'D' ? " " : "\n        ";
    if (rule.phony) out += "PHONY ";
    if (tags) addTag(out, rule.typeLetter());
    out += rule.name;
    out += " :";
    for (CxStr1p const& d : rule.depsUsual) {
        out += sep;
        if (tags) addDepTag(out, d);
        out += d;
    }
    if (!rule.depsExistOnly.isEmpty()) {
        out += mode == 'D' ? " |" : "\n        |";
        for (CxStr1p const& d : rule.depsExistOnly) {
            out += sep;
            if (tags) addDepTag(out, d);
            out += d;
        }
    }
    v.printDepsUsual += rule.depsUsual.size();
    v.printDepsExistOnly += rule.depsExistOnly.size();
    return out;
}

bool echoGoalsDeps(char mode) {
    if (!Vars::_pVars) return false;
    Vars& v = *Vars::_pVars;
    mode = upperMode(mode);
    bool ok = echos();
    ok = echos(v.cwdName.c_str(),
               mode == 'D' ? " // ---- print deps ----" : " // ---- print rules ----") &&
         ok;
    ok = echos() && ok;

    v.printDepsUsual = 0;
    v.printDepsExistOnly = 0;
    TagIndex tags;
    if (v.conf.printDeps && tags.build(v.goalRules)) g_tags = &tags;
    for (auto const& g : v.goalRules) {
        if (g.val.name.isEmpty()) logPrint(2, "Empty goal name");
        ok = echoLines("", strGoalDeps(g.val, mode)) && ok;
        if (mode != 'D') ok = echoLines("    ", g.val.howCmds) && ok;
    }
    g_tags = nullptr;

    ok = echos() && ok;
    ok = echof("// %3lli all rules", v.goalRules.size()) && ok;
    ok = echof("// %3lli heavy rules / adj %3lli", v.rulesHeavy.size(), v.rulesHeavyAdj.size()) &&
         ok;
    ok = echof("// %3lli usual rules / adj %3lli", v.rulesUsual.size(), v.rulesUsualAdj.size()) &&
         ok;
    ok = echof("// %3lli rules with commands", v.rulesWithCmds) && ok;
    ok = echof("// %3lli all commands", v.cmdsAll) && ok;
    ok = echof("// %3lli deps usual", v.printDepsUsual) && ok;
    ok = echof("// %3lli deps exist-only", v.printDepsExistOnly) && ok;
    ok = echos() && ok;

    if (v.conf.dbgOpt) {
        if (v.elDepsExpand != 0)
            ok = echos("// el rules & deps expand ", strElapsedBig(0, v.elDepsExpand, 6).c_str()) &&
                 ok;
        if (v.elDepsAdapt != 0)
            ok = echos("// el rules & deps adapt  ", strElapsedBig(0, v.elDepsAdapt, 6).c_str()) &&
                 ok;
        if (v.elDepsTotal != 0) {
            ok = echos("// el rules & deps total  ", strElapsedBig(0, v.elDepsTotal, 6).c_str()) &&
                 ok;
            ok = echos() && ok;
        }
    }

    ok = echos(v.logHeader.c_str(), " // ---- print done ----") && ok;
    return echos() && ok;
}
