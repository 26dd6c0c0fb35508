#include <stdlib.h>

#include "rules/envmap.h"

bool envVarRawGet_OnWin(char const* name, CxStr1p& out) {
    out.clear();
    char const* v = getenv(name);
    if (!v) return false;
    return out.setCstr(v);
}

// "N=" removes N from the environment.
bool envVarRawSet_OnWin(char const* name, char const* value) {
    CxStr1p t(name);
    t += '=';
    if (value) t += value;
    return _putenv(t.c_str()) == 0;
}

char const* envOsNameDefault_OnWin() {
    return "Windows";
}

char** envBlock_OnWin() {
    return _environ;
}

bool envVarRawGet(char const* name, CxStr1p& out) {
    return envVarRawGet_OnWin(name, out);
}
bool envVarRawSet(char const* name, char const* value) {
    return envVarRawSet_OnWin(name, value);
}
char const* envOsNameDefault() {
    return envOsNameDefault_OnWin();
}
char** envBlock() {
    return envBlock_OnWin();
}
