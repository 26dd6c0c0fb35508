// Recipe lines written for /bin/sh, carried out in-process when they use only
// command lists, quoting, globs, redirections and the common file commands,
// with the meaning /bin/sh gives them; other programs of such a line are
// started directly. A line needing anything else is declined untouched.
#pragma once

#include "base/str.h"

// False when the line needs the interpreter: nothing was done then. Else the
// line ran and rc is its exit status as sh reports it. errExit: sh's "set -e"
// (a failing command that no "&&" or "||" tests ends the line).
bool shListRun(int& rc, CxStr1p const& line, bool errExit = false);

// True when shListRun would take the line (nothing is run).
bool shListTakes(CxStr1p const& line);
