#include <stdlib.h>
#include <sys/utsname.h>

#include "rules/envmap_sys.h"

extern char** environ;

static bool osEnvVarRawGet(char const* name, CxStr1p& out) {
    out.clear();
    char const* v = getenv(name);
    if (!v) return false;
    return out.setCstr(v);
}

// Empty values remove the name so both platforms behave alike.
static bool osEnvVarRawSet(char const* name, char const* value) {
    if (!value || !*value) return unsetenv(name) == 0;
    return setenv(name, value, 1) == 0;
}

static char const* osEnvOsNameDefault() {
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

static char** osEnvBlock() {
    return environ;
}

EnvSys const& envSys() {
    static constexpr EnvSys kSys = {osEnvVarRawGet, osEnvVarRawSet, osEnvOsNameDefault, osEnvBlock};
    return kSys;
}
