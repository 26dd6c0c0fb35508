// Queues that start one child process per job: the file-fed batch queue
// (variant 'f', the batch travels in a file read by "<exe> --jxbgf <file>")
// and the per-command queue, which starts each command line directly.
#pragma once

#include "jobs/que.h"

QUE_DECLARE_OPS(queCmds2Fork)
bool queCmds2ForkPushAdvance(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label);
// The batch files are "<prefix>-<pid>-<n>"; an empty prefix forgets it.
bool queCmds2ForkInitPathPrefix(CxStr1p const& prefix);
// The worker's side: loads and deletes the file; true when the batch is whole.
bool queCmds2ForkPull(CxStr1p& text, CxStr1p const& file);
// Name the next batch file will get (for tests and traces).
CxStr1p queCmds2ForkNextFileName();

QUE_DECLARE_OPS(queCmd1Fork)
bool queCmd1ForkPushAdvance(CxStr1p const& cmd, CxStr1p const& label);
