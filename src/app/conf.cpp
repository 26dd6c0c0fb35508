#include "app/conf.h"

Conf* Conf::_p = nullptr;
RunInfo* RunInfo::_p = nullptr;

Conf const& conf() {
    return *Conf::_p;
}
