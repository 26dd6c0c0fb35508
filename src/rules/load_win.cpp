#include "rules/load_sys.h"

// Rule targets may start with a drive letter ("c:/x: y").
char const* hostParseOptions() {
    return "w";
}
