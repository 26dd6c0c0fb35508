// The platform part of exec/signals.
#pragma once

struct SigSys {
    long long (*getPid)();
    bool (*endWithParent)();
};

SigSys const& sigSys();
