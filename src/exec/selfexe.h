// Rewriting a recipe line that starts this tool again, or the "make" tool,
// so that it starts this very executable with translated options.
#pragma once

#include "base/str.h"

// name and args are the command word and argument text of cmdLine. True when
// cmdLine was rewritten (args may then hold translated options).
bool adaptCmd2SelfExe(CxStr1p& cmdLine, CxStr1p& name, CxStr1p& args);
