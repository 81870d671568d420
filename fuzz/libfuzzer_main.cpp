// libFuzzer's entry for one target, chosen at build time by BELLWICK_FUZZ_TARGET. A broken
// invariant aborts, so libFuzzer keeps the input that did it.

#include <cstdlib>

#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (!fuzz::BELLWICK_FUZZ_TARGET(data, size))
        std::abort();
    return 0;
}
