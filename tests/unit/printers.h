// Readable failure messages for our own types in GoogleTest assertions.
#pragma once

#include <ostream>

#include "base/str.h"

inline void PrintTo(CxStr1p const& s, std::ostream* os) {
    *os << '"' << s.c_str() << '"';
}
