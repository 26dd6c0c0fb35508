// The platform part of exec/signals.
#pragma once

struct SigSys {
    long long (*getPid)();
    bool (*endWithParent)();
    void (*writeFd2)(char const* buf, int n); // from a signal handler too
};

SigSys const& sigSys();
