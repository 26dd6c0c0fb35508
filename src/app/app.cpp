#include "app/app.h"

#include "exec/shlist.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_sys.h"
#include "app/args.h"
#include "app/gmload.h"
#include "app/log.h"
#include "app/vars.h"
#include "build/build_seq.h"
#include "build/build_par.h"
#include "build/walk.h"
#include "exec/run.h"
#include "exec/shlist.h"
#include "exec/signals.h"
#include "jobs/worker.h"
#include "graph/print.h"
#include "rules/envmap.h"
#include "app/rulesfile.h"
#include "rules/eval.h"
#include "rules/load.h"
#include "exec/runner.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "jobs/que.h"

Vars* Vars::_pVars = nullptr;
bool workerMode = false;

// Every layer's pointer is set and cleared with the driver's own.
Vars::Vars() {
    _pVars = this;
    Conf::_p = &conf;
    EnvMap::_p = &envMap;
    RunInfo::_p = this;
    GraphState::_p = this;
    BuildState::_p = this;
}

Vars::~Vars() {
    _pVars = nullptr;
    Conf::_p = nullptr;
    EnvMap::_p = nullptr;
    RunInfo::_p = nullptr;
    GraphState::_p = nullptr;
    BuildState::_p = nullptr;
}

char const* cstrAppName() {
    return "vorn ( Vorn wants to be ... faster than Make )";
}
char const* cstrAppVers() {
    return "r251222";
}

bool echoAbout() {
    bool ok = echos("");
    ok = echos("App Info: ", cstrAppName()) && ok;
    ok = echos("Version : ", cstrAppVers()) && ok;
    return echos("") && ok;
}

// ---- process preparation ----

namespace {
int const kInitErrMax = 10;
char const* g_initErr[kInitErrMax + 1];
int g_initErrCount = 0;

// Why the working directory could not be read (0: it could).
int g_cwdErrno = 0;

bool initStep(bool ok, char const* name) {
    if (!ok && g_initErrCount < kInitErrMax) {
        g_initErr[g_initErrCount++] = name;
        g_initErr[g_initErrCount] = nullptr;
    }
    return ok;
}

char g_stdoutBuf[512];
char g_stderrBuf[512];
} // namespace

void initAppErrReport() {
    for (int i = 0; i < g_initErrCount; ++i) {
        if (strcmp(g_initErr[i], "init orig cwd") == 0)
            logPrint(2,
                     "Cannot read the working directory: %s (paths hold at most %lli bytes here)",
                     strerror(g_cwdErrno), fsPathMaxBytes());
        else
            logPrint(2, "Cannot start: %s failed", g_initErr[i]);
    }
}

int initAppErrCount() {
    return g_initErrCount;
}
char const* const* initAppErrVector() {
    return g_initErr;
}

bool initAppUsual(char const* argv0) {
    initHeap();
    bool ok = initStep(timeAppInitBootRef(0), "init time ref");
    errno = 0;
    bool cwd = fsInitOrigCwd(nullptr);
    // A buffer too short for the path says ERANGE: the path is what is too long.
    g_cwdErrno = cwd ? 0 : errno == ERANGE ? ENAMETOOLONG : (errno ? errno : ENOENT);
    ok = initStep(cwd, "init orig cwd") && ok;
    ok = initStep(fsInitExePath(argv0), "init exe path") && ok;
    ok = initStep(fsInitStdFdSave(), "init save fd std") && ok;
    fflush(stdout);
    fflush(stderr);
    ok = initStep(initStdBinary(), "init std binary mode") && ok;
    bool buf = setvbuf(stdout, g_stdoutBuf, _IOLBF, sizeof g_stdoutBuf) == 0;
    buf = setvbuf(stderr, g_stderrBuf, _IOLBF, sizeof g_stderrBuf) == 0 && buf;
    ok = initStep(buf, "init std buffered mode") && ok;
    ok = initStep(initSigPipeIgnore(), "init sig pipe ignore") && ok;
    return ok;
}

// ---- nesting level and log header ----

namespace {

bool levelSetup(Vars& v) {
    envVarRawGet("VORN_E_LEVEL", v.levelText);
    v.topLevel = v.levelText.isEmpty();
    long long level = 0;
    intFromStrSet(level, v.levelText, false, false);
    if (workerMode) --level;
    if (level < 0) level = 0;
    ++level;
    v.levelText.clear();
    strFromIntSet(v.levelText, level, 0, ' ', false);
    return envVarSetExport("VORN_E_LEVEL", v.levelText);
}

CxStr1p exeNameGuess(char const* argv0) {
    CxStr1p name = fsExeName();
    if (name.isEmpty() && argv0) {
        name = pathFilePart(CxStr1p(argv0));
        pathDelExtIcase(name, "exe");
    }
    return name;
}

} // namespace

bool appInitLogHdrCrumbs() {
    Vars& v = *Vars::_pVars;
    v.cwdName = pathFilePart(fsCwd());
    if (workerMode) {
        envVarRawGet("VORN_E_LEVEL_HDR", v.logHeader);
    } else {
        v.logHeader = v.exeName;
        if (!v.topLevel) {
            v.logHeader += ' ';
            v.logHeader += v.levelText;
        }
        v.logHeader += " | ";
        v.logHeader += v.cwdName;
        envVarSetExport("VORN_E_LEVEL_HDR", v.logHeader);
    }
    bool ok = logConfAppName(v.logHeader.c_str());
    logConfThreadSync(true);
    return ok;
}

// ---- option sources ----

bool appInitArgsFromEnvStr(CxStr1p const& text, char const* flags) {
    if (text.isEmpty()) return true;
    CxStr1p list;
    bool ok = initArgsTextFromList(list, text, flags) && args2Conf(list);
    logConfPassLevel(Conf::_p->passLevel);
    if (!ok) logPrint(2, "Wrong environment variable options");
    return ok;
}

bool applyStrEnvArgs(CxStr1p const& text) {
    if (text.isEmpty()) return true;
    Conf& conf = *Conf::_p;
    CxStr1p saved(conf.argsText);
    bool ok = appInitArgsFromEnvStr(text, "A");
    conf.argsText.setMove(saved);
    return ok;
}

bool appInitArgsFromMain(int argc, char const** argv, char const* flags) {
    Vars& v = *Vars::_pVars;
    CxStr1p list;
    bool ok = initArgsTextFromMain(list, 1, argc, argv, flags ? flags : "");
    ok = ok && args2Conf(list);
    logConfPassLevel(v.conf.passLevel);
    if (v.conf.passLevel < 0) {
        logPrint(-1, "");
        logPrint(-1, "exe & args: %s%s | cwd: %s", v.exeName.c_str(), v.conf.argsText.c_str(),
                 fsCwd().c_str());
        logPrint(-1, "");
    }
    if (ok && !v.failed && logGetCount(2) == 0) return true;
    logPrint(2, "Wrong app arguments");
    return false;
}

// ---- start-up variables and pipeline ----

bool appInitEnv() {
    Vars& v = *Vars::_pVars;
    EnvMap& env = v.envMap;
    env.varSet("APP_EXE_NAME", v.exeName);
    env.varSet("APP_EXE_VER", cstrAppVers());
    v.selfCmd = env.varGetSetDef("VORN", v.exeName);
    logTraceFlag(v.conf.dbgVars, "env exe %s='%s'", "VORN", v.selfCmd.c_str());
    env.varSet("OS_NAME", envVarOS_NAME());
    CxStr1p host;
    hostNameSet(host);
    env.varSet("HOSTNAME", host);
    env.varSet("HOME", envVarHOME());
    env.varSet("USER", envVarUSER());
    env.varSet("TMP", envVarTMP());
    bool ok = true;
    long long pos = 0;
    CxStr1p goal;
    while (strTokenOneNL(goal, pos, v.conf.goalsText))
        if (!v.goals.addVal(goal)) ok = false;
    return ok;
}

bool algoApp() {
    Vars& v = *Vars::_pVars;
    Conf& c = v.conf;
    if (c.gnuMake) {
        if (!gmConfFindRead() || !varsAfterConfReuseMkDirs()) return false;
    } else if (!confFindRead() || !varsAfterConfEvalLoop() || !varsAfterConfReuseMkDirs()) {
        return false;
    }

    if (v.topLevel) {
        // Options handed on to nested runs.
        v.argsEnv.clear();
        strSepAdd(v.argsEnv, c.debugArgs, ' ');
        // A nested run of a Makefile runs its recipes one at a time unless its
        // own command line says otherwise: jobs do not multiply down the levels.
        if (!c.gnuMake) {
            strSepAdd(v.argsEnv, c.jobsArgs, ' ');
            strSepAdd(v.argsEnv, c.bgOption, ' ');
        }
        if (c.passLevel < 0)
            strSepAdd(v.argsEnv, "-v", ' ');
        else if (c.passLevel > 0)
            strSepAdd(v.argsEnv, "-q", ' ');
        v.envMap.varSetExport("VORN", v.selfCmd);
        logTraceFlag(c.dbgVars, "export %s='%s'", "VORN", v.selfCmd.c_str());
        v.envMap.varSetExport("VORN_ARGS", v.argsEnv);
        logTraceFlag(c.dbgVars, "export %s='%s'", "VORN_ARGS", v.argsEnv.c_str());
    }

    if (c.printDeps) echoGoalsDeps('D');
    if (c.printRules) echoGoalsDeps('R');
    if (c.printOnly) return true;

    // Makefiles are written for one recipe at a time in depth-first order
    // unless jobs are asked for, and many rely on it.
    if (c.gnuMake && c.bgOption.isEmpty() && c.jobsArgs.isEmpty()) c.bgOption = "--bg1";
    // Going on after a failure and printing instead of running follow one goal at a time.
    if (c.keepGoing || c.dryRun) c.bgOption = "--bg1";
    if (c.bgOption.isEmpty()) c.bgOption = "--bgt";
    c.bgType = c.bgOption.last();
    logTraceFlag(c.dbgOpt, "Jobs Type %s %c | cwd: %s", c.bgOption.c_str(), c.bgType,
                 fsCwd().c_str());
    if (c.bgType == 'p' || c.bgType == 'f') {
        // The worker is this very executable, found by its path: the
        // directory it lives in need not be on PATH.
        CxStr1p path = fsExePath();
        v.bgWorkerCmd = path.isEmpty() ? v.exeName : strArgQuoteByCtx(path);
        v.bgWorkerCmd += c.bgType == 'p' ? " --jxbgp" : " --jxbgf";
        // Workers run recipe lines as this run would: the same interpreter
        // choice (--sys is among the debug options), quietness and debug selectors.
        if (c.passLevel < 0) v.bgWorkerCmd += " -v";
        if (c.passLevel > 0) v.bgWorkerCmd += " -q";
        if (!c.debugArgs.isEmpty()) strJoinSPC(v.bgWorkerCmd, c.debugArgs);
        if (c.shForeign) v.bgWorkerCmd += " --jxshf";
    }
    bool ok = queCmds2AnyInitCb(c.bgType);
    ok = adaptJobsMax(c.jobs) && ok;
    if (!ok) return false;
    bool built;
    if (c.bgOption == "--bg1") {
        built = buildBg1GoalArgs();
    } else {
        built = buildBgjGoalArgs();
        buildBgjJobsDestroy();
    }
    return walkRemoveIntermediates() && built;
}

// ---- outcome ----

bool appDoneAdaptReturn(bool ok) {
    Vars& v = *Vars::_pVars;
    if (ok && !v.failed && logGetCount(2) == 0) return v.retCode == 0;
    if (v.retCode == 0) v.retCode = 2;
    return false;
}

bool appDoneLogSummary(bool ok, int levelOk, int levelErr, CxStr1p const& extra1,
                       CxStr1p const& extra2) {
    Vars& v = *Vars::_pVars;
    CxStr1p t = strElapsedBig(0, timeAppNs(), 3);
    if (ok) {
        logPrint(levelOk, "");
        logPrint(levelOk, "Done | Time %s |%s ret_code: %i%s", t.c_str(), extra1.c_str(), v.retCode,
                 extra2.c_str());
    } else {
        logPrint(levelErr, "");
        long long errs = logGetCount(1) + logGetCount(2);
        if (errs > 0)
            logPrint(levelErr, "Errors %lli | Time %s |%s error: %i%s", errs, t.c_str(),
                     extra1.c_str(), v.retCode, extra2.c_str());
        else
            logPrint(levelErr, "Done | Time %s |%s error: %i%s", t.c_str(), extra1.c_str(),
                     v.retCode, extra2.c_str());
    }
    return ok;
}

namespace {

// A worker runs one batch and ends with its exit code; it reads no rules
// file, and of the options only those its run handed on (argv[first, end)).
bool runWorker(Vars& v, char const* file, int first, int end, char const** argv) {
    // A stop request from the parent ends the batch between two steps, so an
    // in-process write is never cut off in the middle.
    runHoldSigHandler(true);
    levelSetup(v);
    logInitTimeImportant(v.exeName.c_str());
    appInitLogHdrCrumbs();
    CxStr1p list;
    if (first < end && !(initArgsTextFromMain(list, first, end, argv, "") && args2Conf(list))) {
        logPrint(2, "Wrong app arguments");
        return false;
    }
    logConfPassLevel(v.conf.passLevel);
    // Recipes that call this tool again start what the parent run named.
    v.selfCmd = envVarGetDef("VORN", v.exeName);
    if (file) return bgappCmdsFork(v.retCode, file);
    return bgappCmdsPipe(v.retCode, 0, false);
}

} // namespace

namespace {
int g_workerExitCode = 0;
bool g_exitAtEnd = false;
} // namespace

void appExitAtEnd(bool on) {
    g_exitAtEnd = on;
}

int appExitCode(bool ok) {
    if (workerMode) return g_workerExitCode;
    return ok ? 0 : 2;
}

bool appMain(int argc, char const** argv) {
    bool prepared = initAppUsual(argc > 0 ? argv[0] : nullptr);
    // The rules evaluator runs its "run" lines through the recipe runner.
    evalSetRunFn(run);
    Vars v;
    v.exeName = exeNameGuess(argc > 0 ? argv[0] : nullptr);

    // For measuring: which recipe lines on standard input (one a line, as
    // make hands them on) would run without an interpreter: "1"/"0" a line.
    if (argc == 2 && strcmp(argv[1], "--jxshtakes") == 0) {
        char buf[65536];
        while (fgets(buf, sizeof buf, stdin)) {
            CxStr1p line(buf);
            while (!line.isEmpty() && (line.last() == '\n' || line.last() == '\r'))
                line.forceLen(line.length() - 1);
            // Continued lines come with their line ends as \x01.
            for (long long i = 0; i < line.length(); ++i)
                if (line.data[i] == '\x01') line.data[i] = '\n';
            printf("%d\n", shListTakes(line) ? 1 : 0);
        }
        return true;
    }
    bool fileWorker = argc >= 3 && strcmp(argv[1], "--jxbgf") == 0;
    if (fileWorker || (argc >= 2 && strcmp(argv[1], "--jxbgp") == 0)) {
        workerMode = true;
        // The batch file comes last, after the options handed on.
        runWorker(v, fileWorker ? argv[argc - 1] : nullptr, 2, fileWorker ? argc - 1 : argc, argv);
        fflush(stdout);
        fflush(stderr);
        g_workerExitCode = v.retCode;
        return v.retCode == 0;
    }

    bool ok = levelSetup(v);
    // A nested run is stopped with the command that started it.
    if (!v.topLevel) endWithParent();
    ok = logInitTimeImportant(v.exeName.c_str()) && ok;
    ok = appInitLogHdrCrumbs() && ok;
    logConfPassLevel(v.conf.passLevel);

    v.envMap.varGet("VORN_ARGS", v.argsEnv);
    if (!v.argsEnv.isEmpty()) {
        CxStr1p saved(v.conf.argsText);
        ok = appInitArgsFromEnvStr(v.argsEnv, "A") && ok;
        v.conf.argsText.setMove(saved);
        if (logGetPassLevel() < 0) logPrint(-1, "env args %s='%s'", "VORN_ARGS", v.argsEnv.c_str());
    }
    // Command-line options are applied even after an environment failure so
    // that every wrong option is reported in one run.
    ok = appInitArgsFromMain(argc, argv, nullptr) && ok;
    if (!prepared) initAppErrReport();
    if (!prepared || !ok) {
        if (logGetCount(2) == 0) logPrint(2, "Cannot start: wrong arguments or environment");
        return false;
    }

    if (v.conf.cdDone) {
        v.conf.cdDone = false;
        if (!appInitLogHdrCrumbs()) {
            logPrint(2, "reset after chdir");
            return false;
        }
        logPrint(-1, "reset after chdir");
    }

    bool result = v.conf.stop ? true : (appInitEnv() && algoApp());
    if (v.conf.gnuMake && !v.conf.stop) gmDirLine(false);

    CxStr1p extra1, extra2;
    if (v.conf.bgOption != "--bg1" && !v.conf.stop && !v.conf.bgOption.isEmpty()) {
        extra1 = " ";
        extra1.addCstr(v.conf.bgOption.c_str() + 2);
        extra1 += "-jobs ";
        CxStr1p cap;
        strFromIntSet(cap, queCmds2AnyCapacity(), 0, ' ', false);
        extra1 += cap;
        extra1 += " |";
    }
    if (logGetPassLevel() < 0) {
        extra2 = " | cwd: ";
        extra2 += fsCwd();
    }
    if (v.failed) logPrint(2, "Build failed! See previous errors.");
    bool done = appDoneAdaptReturn(result);
    // No run ends with code 2 unexplained, nested ones included.
    if (!done && logGetCount(2) == 0)
        logPrint(2, appInterrupted() ? "Interrupted" : "Build failed");
    int levelOk = v.topLevel ? 0 : -1;
    int levelErr = v.topLevel ? 2 : -1;
    appDoneLogSummary(done, levelOk, levelErr, extra1, extra2);
    fflush(stdout);
    fflush(stderr);
    // Freeing a large goal table one node at a time costs more than the
    // rest of a no-op run's exit; the system takes the memory back at once.
    if (g_exitAtEnd) std::_Exit(appExitCode(done));
    return done;
}

bool initStdBinary() {
    return appSys().initStdBinary();
}
bool initSigPipeIgnore() {
    return appSys().initSigPipeIgnore();
}
void initHeap() {
    appSys().initHeap();
}
bool hostNameSet(CxStr1p& out) {
    return appSys().hostNameSet(out);
}
