// libFuzzer target: rules text evaluation, graph preparation and both
// listings on arbitrary rules texts.
#include <cstddef>
#include <cstdint>

#include "fuzz_confine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzConfine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    CxStr1p text;
    if (!text.setCstr(reinterpret_cast<char const*>(data), (long long)size)) return 0;
    fuzzRunRules(text);
    fuzzBackHome();
    return 0;
}
