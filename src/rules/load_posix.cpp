#include "rules/load.h"

char const* loadParseOptions_OnPosix() {
    return "";
}

char const* loadParseOptions() {
    return loadParseOptions_OnPosix();
}
