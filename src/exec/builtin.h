// Everyday recipe commands carried out inside the process: echo (with ">" and
// ">>"), cat (on request), cp, cprec, mkdir, rm, rmrec, rmdir, touch, touchrec
// and sleep. Anything needing shell semantics is declined untouched.
#pragma once

#include "base/str.h"

// True when the command was handled here; ok then tells whether it succeeded.
// ok is false on entry and stays false for a declined command.
bool redirCmdExtern(bool& ok, CxStr1p const& name, CxStr1p const& args);
