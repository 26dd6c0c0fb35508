// The late expansion of the values the rules file stored, and the parse
// options of rule lines.
#pragma once

#include "base/str.h"

// Expands every value of the run's store (EnvMap::_p) once more, now that the
// whole rules file has been read.
bool varsAfterConfEvalLoop();

// Parse options for rule lines: "w" (drive letters) on Windows, "" elsewhere.
char const* loadParseOptions();
