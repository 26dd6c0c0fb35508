// Finding, reading and evaluating the rules file, then the late expansion
// of stored values and the take-over of "VORN" / "VORN_ARGS".
#pragma once

#include "base/str.h"

// Settles Vars::rulesFileUsed; tried collects the names looked for.
bool findConfRulesFile(CxStr1p& tried);
bool confFindRead();
bool varsAfterConfEvalLoop();
bool varsAfterConfReuseMkDirs();

// Parse options for rule lines: "w" (drive letters) on Windows, "" elsewhere.
char const* loadParseOptions();
