#include "rules/load_sys.h"

char const* hostParseOptions() {
    return "";
}
