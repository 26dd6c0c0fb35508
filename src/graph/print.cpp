#include "graph/print.h"

#include <cstdio>

#include "app/log.h"
#include "app/conf.h"
#include "graph/graphstate.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "graph/goalindex.h"

namespace {

char upperMode(char mode) {
    if (mode == 0) return 'D';
    return (mode >= 'a' && mode <= 'z') ? (char)(mode - 'a' + 'A') : mode;
}

bool addTag(CxStr1p& out, char letter) {
    char tag[5] = {'(', letter, ')', ' ', 0};
    return out.addCstr(tag, 4);
}

// While a listing with tags runs: the goal index (the cycle check's, when
// still current) knows each dependency's rule without a lookup.
bool g_tagsFromIndex = false;

// Tag of a dependency: that of its own rule, "(?) " when it has none.
bool addDepTag(CxStr1p& out, CxStr1p const& dep, GoalSlot const* known) {
    char letter = '?';
    if (known) {
        if (known->rule) letter = known->rule->typeLetter();
    } else if (GoalRule const* r = GraphState::_p->goalRules.find(dep)) {
        letter = r->typeLetter();
    }
    return addTag(out, letter);
}

} // namespace

namespace {

// The listing line(s) of a goal appended to out.
void addGoalDeps(CxStr1p& out, GoalRule const& rule, char mode) {
    GraphState& v = *GraphState::_p;
    bool tags = conf().printDeps;
    char const* sep = mode == 'D' ? " " : "\n        ";
    if (rule.phony) out += "PHONY ";
    if (tags) addTag(out, rule.typeLetter());
    out += rule.name;
    out += " :";
    GoalSlot* const* slots[2] = {nullptr, nullptr};
    if (tags && g_tagsFromIndex) {
        GoalSlot const* self = goalSlotOf(rule.name);
        slots[0] = goalDepSlots(self, false);
        slots[1] = goalDepSlots(self, true);
    }
    for (long long i = 0; i < rule.depsUsual.size(); ++i) {
        out += sep;
        if (tags) addDepTag(out, rule.depsUsual[i], slots[0] ? slots[0][i] : nullptr);
        out += rule.depsUsual[i];
    }
    if (!rule.depsExistOnly.isEmpty()) {
        out += mode == 'D' ? " |" : "\n        |";
        for (long long i = 0; i < rule.depsExistOnly.size(); ++i) {
            out += sep;
            if (tags) addDepTag(out, rule.depsExistOnly[i], slots[1] ? slots[1][i] : nullptr);
            out += rule.depsExistOnly[i];
        }
    }
    v.printDepsUsual += rule.depsUsual.size();
    v.printDepsExistOnly += rule.depsExistOnly.size();
}

// Each line of text with pre before it, as echoLines writes them.
void addLines(CxStr1p& out, char const* pre, CxStr1p const& text) {
    long long s, n, pos = 0;
    for (long long from = pos; cstrTokenOneNL(s, n, pos, text.data, text.length()) && pos > from;
         from = pos) {
        out += pre;
        out.addCstr(text.data + s, n);
        out += '\n';
    }
}

// The listing goes out in large pieces: one write per goal would cost a
// system call each.
bool flushOut(CxStr1p& out) {
    bool ok = out.isEmpty() || std::fwrite(out.data, 1, (size_t)out.len, stdout) == (size_t)out.len;
    out.clear();
    return std::fflush(stdout) == 0 && ok;
}

} // namespace

CxStr1p strGoalDeps(GoalRule const& rule, char mode) {
    CxStr1p out;
    if (GraphState::_p) addGoalDeps(out, rule, upperMode(mode));
    return out;
}

bool echoGoalsDeps(char mode) {
    if (!GraphState::_p) return false;
    GraphState& v = *GraphState::_p;
    mode = upperMode(mode);
    bool ok = echos();
    ok = echos(RunInfo::_p->cwdName.c_str(),
               mode == 'D' ? " // ---- print deps ----" : " // ---- print rules ----") &&
         ok;
    ok = echos() && ok;

    v.printDepsUsual = 0;
    v.printDepsExistOnly = 0;
    g_tagsFromIndex = conf().printDeps && goalIndexInit();
    CxStr1p out, line;
    for (auto const& g : v.goalRules) {
        if (g.val.name.isEmpty()) {
            ok = flushOut(out) && ok;
            logPrint(2, "Empty goal name");
        }
        line.clear();
        addGoalDeps(line, g.val, mode);
        addLines(out, "", line);
        if (mode != 'D') addLines(out, "    ", g.val.howCmds);
        if (out.len >= (1 << 16)) ok = flushOut(out) && ok;
    }
    ok = flushOut(out) && ok;
    g_tagsFromIndex = false;

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

    if (conf().dbgOpt) {
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

    ok = echos(RunInfo::_p->logHeader.c_str(), " // ---- print done ----") && ok;
    return echos() && ok;
}
