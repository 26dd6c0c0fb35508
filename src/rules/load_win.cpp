#include "rules/load.h"

// Rule targets may start with a drive letter ("c:/x: y").
char const* loadParseOptions_OnWin() {
    return "w";
}

char const* loadParseOptions() {
    return loadParseOptions_OnWin();
}
