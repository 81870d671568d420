// Runs one fuzz target on seeded random inputs, without libFuzzer:
//   fuzz_seeded <target> [count] [seed]
// Exits non-zero when an invariant failed; a crash shows as the sanitizers report it.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/targets.h"

int main(int argc, char **argv)
{
    const fuzz::Target *target = argc > 1 ? fuzz::findTarget(argv[1]) : nullptr;
    if (!target) {
        std::fprintf(stderr, "usage: fuzz_seeded <target> [count] [seed]; targets:");
        for (const fuzz::Target &t : fuzz::targets())
            std::fprintf(stderr, " %s", t.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    const std::uint64_t count = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100000;
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    const std::uint64_t failures = fuzz::runSeeded(*target, 0, count, seed);
    std::printf("fuzz_%s: %llu inputs, %llu invariant failures (seed %llu)\n", target->name,
        static_cast<unsigned long long>(count), static_cast<unsigned long long>(failures),
        static_cast<unsigned long long>(seed));
    return failures == 0 ? 0 : 1;
}
