// The pipe-fed worker queue (variant 'p'): every batch runs in a child
// "<exe> --jxbgp" that reads it from its standard input; the child's output
// is kept apart and passed on in one piece when it has ended.
#pragma once

#include "jobs/que.h"

QUE_DECLARE_OPS(queCmds2Pipe)
bool queCmds2PipePushAdvance(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label);
// The worker's side: reads fd up to the end marker, polling every pollMs and
// giving up after timeoutMs without data.
bool queCmds2PipePull(CxStr1p& text, int fd, bool nonBlock, long long pollMs, long long timeoutMs);
