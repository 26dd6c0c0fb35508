// Finding, reading and evaluating the rules file into the goal table, and the
// take-over of "VORN" / "VORN_ARGS" after it.
#pragma once

#include "base/str.h"

// Settles Vars::rulesFileUsed; tried collects the names looked for.
bool findConfRulesFile(CxStr1p& tried);
bool confFindRead();
bool varsAfterConfReuseMkDirs();
