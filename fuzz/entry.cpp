// The libFuzzer entry points of one target; PLUMORA_FUZZ_TARGET names it.
#include "targets.h"

#include <cstdio>
#include <cstdlib>

namespace {
const plumora::fuzz::Target *target = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    target = plumora::fuzz::findTarget(PLUMORA_FUZZ_TARGET);
    if (!target) {
        std::fprintf(stderr, "unknown fuzz target %s\n", PLUMORA_FUZZ_TARGET);
        std::abort();
    }
    plumora::fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    target->run(data, size);
    return 0;
}
