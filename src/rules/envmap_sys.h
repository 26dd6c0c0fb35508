// The platform part of rules/envmap: the process environment.
#pragma once

#include "base/str.h"

struct EnvSys {
    bool (*envVarRawGet)(char const* name, CxStr1p& out);
    bool (*envVarRawSet)(char const* name, char const* value);
    char const* (*envOsNameDefault)();
    char** (*envBlock)();
};

EnvSys const& envSys();
