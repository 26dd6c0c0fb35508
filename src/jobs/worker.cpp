#include "jobs/worker.h"

#include "app/log.h"
#include "app/conf.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "exec/runner.h"
#include "jobs/quefork.h"
#include "jobs/quepipe.h"
#include "jobs/que_threads.h"

namespace {

// Runs a batch that arrived (or not); rc starts at 2 for one that did not.
bool runBatch(int& rc, bool arrived, CxStr1p const& batch) {
    rc = 2;
    if (!arrived) return false;
    CxStr1p errCmd;
    if (runTxtCmds(rc, batch, redirCmdAny, &errCmd)) return true;
    if (rc == 0) rc = 2;
    // The interpreter says nothing of a failing command: name it, as the
    // sequential build does.
    logCommandFailed(rc, errCmd);
    Conf const* c = Conf::_p;
    if (c && c->dbgExec) {
        int level = logGetPassLevel() < 0 ? -1 : 0;
        logPrintLines(level, "", batch.c_str(), "");
        logPrint(level, "bg run error: %i | Cmd: %s | cwd: %s", rc, errCmd.c_str(),
                 fsCwd().c_str());
    }
    return false;
}

} // namespace

bool bgappCmdsFork(int& rc, CxStr1p const& file) {
    CxStr1p batch;
    bool arrived = queCmds2ForkPull(batch, file);
    return runBatch(rc, arrived, batch);
}

bool bgappCmdsPipe(int& rc, int fd, bool nonBlock) {
    CxStr1p batch;
    bool arrived = queCmds2PipePull(batch, fd, nonBlock, 1, 100);
    return runBatch(rc, arrived, batch);
}

bool bgappCmdsCbFnWorker(RunAppInfo& app) {
    CxStr1p batch;
    bool arrived = queCmds2CbFnPull(batch, app.cmds);
    int rc = 2;
    bool ok = runBatch(rc, arrived, batch);
    app.retCode = rc;
    app.exited = true;
    return ok;
}

bool bgappCmdsTrdWorker(TrdInfo& t) {
    RunAppInfo* app = static_cast<RunAppInfo*>(t.data.load());
    if (!app) return false;
    CxStr1p batch;
    bool arrived = queCmds2TrdPull(batch, app->cmds);
    int rc = 2;
    bool ok = runBatch(rc, arrived, batch);
    app->retCode = rc;
    app->exited = true;
    return ok;
}
