// Queues that run batches inside this process: one worker thread per slot
// (variant 't'), or a direct call per batch (variant 'c').
#pragma once

#include "jobs/que.h"
#include "jobs/threads.h"

QUE_DECLARE_OPS(queCmds2Trd)
bool queCmds2TrdPushAdvance(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label);
// fn: bool (*)(TrdInfo&), called with the slot's RunAppInfo as data.
bool queCmds2TrdInitFnWorker(void* fn);
bool queCmds2TrdPull(CxStr1p& text, CxStr1p const& cmds);
// For the next InitMax: each worker also takes one batch ahead, which it
// starts itself when its job ends. The order of starts is then the order of
// pushes, so a caller that puts some batches first must not turn it on.
void queCmds2TrdInitAhead(bool on);

QUE_DECLARE_OPS(queCmds2CbFn)
bool queCmds2CbFnPushAdvance(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label);
// fn: bool (*)(RunAppInfo&).
bool queCmds2CbFnInitFnWorker(void* fn);
bool queCmds2CbFnPull(CxStr1p& text, CxStr1p const& cmds);
