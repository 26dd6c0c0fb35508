// Readable failure messages for our own types in GoogleTest assertions, and
// strings holding zero bytes.
#pragma once

#include <cstring>
#include <ostream>

#include "base/str.h"

inline void PrintTo(CxStr1p const& s, std::ostream* os) {
    *os << '"' << s.c_str() << '"';
}

// A string whose length covers zero bytes, as a loaded file's can.
inline CxStr1p withZero(char const* bytes, long long n) {
    CxStr1p s;
    s.reserve(n + 1);
    memcpy(s.data, bytes, (size_t)n);
    s.data[n] = 0;
    s.len = n;
    return s;
}
