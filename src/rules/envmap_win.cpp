#include <stdlib.h>

#include "rules/envmap_sys.h"

static bool osEnvVarRawGet(char const* name, CxStr1p& out) {
    out.clear();
    char const* v = getenv(name);
    if (!v) return false;
    return out.setCstr(v);
}

// "N=" removes N from the environment.
static bool osEnvVarRawSet(char const* name, char const* value) {
    CxStr1p t(name);
    t += '=';
    if (value) t += value;
    return _putenv(t.c_str()) == 0;
}

static char const* osEnvOsNameDefault() {
    return "Windows";
}

static char** osEnvBlock() {
    return _environ;
}

EnvSys const& envSys() {
    static constexpr EnvSys kSys = {osEnvVarRawGet, osEnvVarRawSet, osEnvOsNameDefault, osEnvBlock};
    return kSys;
}
