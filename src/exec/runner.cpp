#include "exec/runner.h"

#include <cstdio>
#include <cstring>

#include "exec/signals.h"
#include "app/log.h"
#include "app/conf.h"
#include "base/envlock.h"
#include "base/textedit.h"
#include "base/tokens.h"
#include "exec/builtin.h"
#include "exec/run.h"
#include "exec/selfexe.h"
#include "exec/shlist.h"
#include "rules/eval.h"

namespace {

// No character the interpreter would read as more than words.
bool isPlainLine(CxStr1p const& line) {
    for (long long i = 0; i < line.length(); ++i)
        if (strchr(";&|<>()$`\n\r", line.c_str()[i])) return false;
    return true;
}

// The platform's interpreter or a handler; errExit: sh's set -e.
bool runLine(int& rc, CxStr1p& cmd, RedirCmdFn redir, bool errExit) {
    // Only a list of commands can go on after a failing one.
    if (errExit && (strHas(cmd, ';') || strHas(cmd, '\n'))) {
        CxStr1p e("set -e; ");
        e += cmd;
        cmd.setMove(e);
    }
    bool ok;
    if (redir && redir(ok, cmd))
        rc = ok ? 0 : 2;
    else
        ok = run(rc, cmd);
    return ok;
}

} // namespace

// The interpreter as a registered child on both platforms: an interrupt
// stops it (system() would leave it running), and its exit code is its own
// (128+N for signal N on POSIX).
bool run(int& rc, CxStr1p const& cmd) {
    fflush(stdout);
    fflush(stderr);
    RunAppInfo app;
    // A line that needs nothing from the interpreter starts its program
    // directly; one whose program is not found that way is the interpreter's,
    // which says so as it always has.
    Conf const* c = Conf::_p;
    bool direct = c && !c->sysCalls && shellLineDirect(cmd, shellWords());
    if (direct) direct = runFork(app, cmd, true);
    if (c && c->dbgExecAll)
        logTraceDbg(true, "%s: %s", direct ? "Start direct" : "Start interpreter", cmd.c_str());
    if (!direct && !runFork(app, cmd)) {
        rc = 2;
        return false;
    }
    runAppWaitExit(app);
    rc = retCodeSimplify(runAppGetRetCode(app));
    return rc == 0;
}

bool run(CxStr1p const& cmd) {
    int rc = 0;
    return run(rc, cmd);
}

int runCif(char const* cmd) {
    int rc = 0;
    run(rc, CxStr1p(cmd ? cmd : ""));
    return rc;
}

bool redirEnvFns(bool& ok, CxStr1p const& name, CxStr1p const& args) {
    ok = false;
    if (logGetPassLevel() > 0 && strIsEqAlt(name, "echo|varsDump|envVarsDump")) {
        // Only console output is silenced: a line that also writes a file or
        // runs another command still runs.
        if (shellArgsOnlyWords(args, shellWords())) {
            ok = true;
            return true;
        }
        return false;
    }
    if (name == "export") {
        // A further command on the line would be lost without a word.
        if (!shellArgsOnlyWords(args, shellWords())) {
            logPrint(2, "Wrong syntax '%s'", args.c_str());
            return true;
        }
        // Worker threads share the store and the environment.
        std::unique_lock<std::shared_mutex> lk(envLock());
        CxStr1p err;
        ok = evalExportStyleDefault(args, *EnvMap::_p, &err);
        if (!ok && !err.isEmpty()) logPrint(2, "%s", err.c_str());
        return true;
    }
    return false;
}

bool redirCmdAny(bool& ok, CxStr1p& cmd) {
    CxStr1p name, args;
    splitCmdArgs(name, args, cmd, "");
    if (redirEnvFns(ok, name, args)) return true;
    // Several lines (a Makefile's .ONESHELL or continued line) are the interpreter's.
    bool lines = strHas(cmd, '\n') || strHas(cmd, '\r');
    if (!Conf::_p->sysCalls && !lines && redirCmdExtern(ok, name, args)) return true;
    bool self = adaptCmd2SelfExe(cmd, name, args);
    if (!self && RunInfo::_p) self = strIsEqIcase(name, RunInfo::_p->exeName);
    // The interpreter becomes a nested run written as a plain line, so that
    // stopping the registered child stops the nested run itself.
    if (self && isPlainLine(cmd)) {
        CxStr1p line(runShellExecPrefix());
        line += cmd;
        cmd.setMove(line);
    }
    return false;
}

bool runCmdRedirOrSys(int& rc, CxStr1p const& line, RedirCmdFn redir, CxStr1p* errCmd) {
    rc = 0;
    if (errCmd) errCmd->clear();
    CxStr1p cmd(line);
    bool show = true, ignoreErr = false, always = false;
    Conf const* c = Conf::_p;
    bool gm = c && c->gnuMake;
    splitAttrCmd(show, ignoreErr, cmd, gm ? &always : nullptr);
    // A Makefile's .POSIX: the interpreter stops at the first failing command.
    bool errExit = gm && cmd.getAt(0) == kRecipeLineSep;
    if (errExit) cmd.delSpan(0, 1);
    // A Makefile's .ONESHELL recipe or continued line is one line here, its
    // line ends kept as record separators; the interpreter gets them back.
    // cmd.exe has no continued lines: there a backslash-newline joins.
    // The in-process runner reads the line as sh does, on every platform.
    bool sh = shellWords().sh;
    CxStr1p shText;
    if (gm && !sh && strHas(cmd, kRecipeLineSep)) {
        shText = cmd;
        for (long long i = 0; i < shText.length(); ++i)
            if (shText.c_str()[i] == kRecipeLineSep) shText.data[i] = '\n';
    }
    for (long long i = 0; gm && i < cmd.length(); ++i) {
        if (cmd.c_str()[i] != kRecipeLineSep) continue;
        if (!sh && i > 0 && cmd.c_str()[i - 1] == '\\')
            cmd.delSpan(--i, 2), --i;
        else
            cmd.data[i] = '\n';
    }
    if (cmd.isEmpty()) return true;
    if (c && c->dryRun && !always) {
        echos(cmd.c_str());
        return true;
    }
    // A Makefile's recipe lines are shown before they run, as GNU make does.
    // -n shows every line, also those it runs.
    if (gm && ((show && !c->silent) || c->dryRun) && logGetPassLevel() <= 0) echos(cmd.c_str());
    if (c && c->ignoreErrors) ignoreErr = true;
    bool ok;
    if (gm && shText.isEmpty()) shText = cmd;
    if (gm && !c->sysCalls && !c->shForeign && shListRun(rc, shText, errExit)) {
        ok = rc == 0;
    } else {
        ok = runLine(rc, cmd, redir, errExit && sh);
    }
    if (ignoreErr) {
        rc = 0;
        return true;
    }
    if (!ok && errCmd) errCmd->setObj(line);
    return ok;
}

void logCommandFailed(int rc, CxStr1p const& cmd) {
    if (appInterrupted())
        logPrint(2, "Stopped by an interrupt: %s", strTrimLR(cmd).c_str());
    else
        logPrint(2, "Command failed with code %i: %s", rc, strTrimLR(cmd).c_str());
}

bool runTxtCmds(int& rc, CxStr1p const& text, RedirCmdFn redir, CxStr1p* errCmd) {
    rc = 0;
    if (errCmd) errCmd->clear();
    CxStr1p line;
    long long pos = 0;
    while (strTokenNL(line, pos, text)) {
        // After an interrupt no further line starts: the run is ending.
        if (appInterrupted()) {
            if (rc == 0) rc = 2;
            if (errCmd) errCmd->setObj(line);
            return false;
        }
        if (!runCmdRedirOrSys(rc, line, redir, errCmd)) return false;
    }
    return true;
}
