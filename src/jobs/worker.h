// The four ways a batch of recipe lines runs inside a worker: in a child
// started with "--jxbgf <file>" or "--jxbgp", on a worker thread, or in a
// callback. Each runs the batch with the recipe runner.
#pragma once

#include "base/str.h"
#include "exec/run.h"
#include "jobs/threads.h"

bool bgappCmdsFork(int& rc, CxStr1p const& file);
bool bgappCmdsPipe(int& rc, int fd, bool nonBlock);
bool bgappCmdsCbFnWorker(RunAppInfo& app);
bool bgappCmdsTrdWorker(TrdInfo& t);
