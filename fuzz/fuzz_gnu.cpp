// libFuzzer target: the GNU make dialect's reader on arbitrary Makefile texts,
// with $(shell) running nothing and the environment left alone.
#include <cstddef>
#include <cstdint>

#include "fuzz_confine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzConfine();
    fuzzWriteFile("a.mk", fuzzGnuIncludeA());
    fuzzWriteFile("b.mk", fuzzGnuIncludeB());
    fuzzWriteFile("loop.mk", fuzzGnuIncludeLoop());
    fuzzGnuLimits();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    CxStr1p text;
    if (!text.setCstr(reinterpret_cast<char const*>(data), (long long)size)) return 0;
    fuzzRunGnu(text);
    fuzzBackHome();
    return 0;
}
