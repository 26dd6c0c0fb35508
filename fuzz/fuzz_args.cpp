// libFuzzer target: argument expansion and option application on arbitrary
// command-line texts.
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
    fuzzRunArgs(text);
    // "-C dir" changes directory, "-v" would not reach the logger, but keep it quiet anyway.
    fuzzBackHome();
    logConfPassLevel(3);
    return 0;
}
