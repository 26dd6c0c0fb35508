#include <stdlib.h>
#include <sys/utsname.h>

#include "rules/envmap.h"

extern char** environ;

bool envVarRawGet_OnPosix(char const* name, CxStr1p& out) {
    out.clear();
    char const* v = getenv(name);
    if (!v) return false;
    return out.setCstr(v);
}

// Empty values remove the name so both platforms behave alike.
bool envVarRawSet_OnPosix(char const* name, char const* value) {
    if (!value || !*value) return unsetenv(name) == 0;
    return setenv(name, value, 1) == 0;
}

char const* envOsNameDefault_OnPosix() {
    static char name[65];
    if (!name[0]) {
        struct utsname u;
        if (uname(&u) == 0 && u.sysname[0]) {
            int i = 0;
            for (; i < 64 && u.sysname[i]; ++i)
                name[i] = u.sysname[i];
            name[i] = 0;
        }
    }
    return name[0] ? name : "Linux";
}

char** envBlock_OnPosix() {
    return environ;
}

bool envVarRawGet(char const* name, CxStr1p& out) {
    return envVarRawGet_OnPosix(name, out);
}
bool envVarRawSet(char const* name, char const* value) {
    return envVarRawSet_OnPosix(name, value);
}
char const* envOsNameDefault() {
    return envOsNameDefault_OnPosix();
}
char** envBlock() {
    return envBlock_OnPosix();
}
