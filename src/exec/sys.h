// Handing one command text to the platform's command interpreter (/bin/sh or
// cmd.exe) and getting back the command's own exit code.
#pragma once

#include "base/str.h"

// Flushes the standard streams first so the command's output follows ours.
// The result is the command's exit code; 2 when the interpreter could not be
// started, 128+N for a command killed by signal N.
int sysRunCmd(CxStr1p const& cmd);

// Platform parts: system() and the decoding of its result.
int sysRunCmd_OnPosix(CxStr1p const& cmd);
int sysRunCmd_OnWin(CxStr1p const& cmd);
int sysSystem(CxStr1p const& cmd);
