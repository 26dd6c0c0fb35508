// The platform part of the process preparation in app/app.
#pragma once

#include "base/str.h"

struct AppSys {
    bool (*initStdBinary)();
    bool (*initSigPipeIgnore)();
    void (*initHeap)();
    bool (*hostNameSet)(CxStr1p& out);
};

AppSys const& appSys();
