// Runs every fuzz target on 10^7 seeded random inputs and counts crashes and broken
// invariants. Each target runs in a child process; a crash is counted, the input that
// caused it is skipped, and a new child goes on from the next one.

#include <sys/mman.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "fuzz/targets.h"

namespace {

constexpr std::uint64_t Goal = 10000000;
constexpr std::uint64_t Seed = 20261208;

// Shared with the child: how far it got and what it found.
struct Progress
{
    volatile std::uint64_t done;
    volatile std::uint64_t failures;
};

} // namespace

int main()
{
    auto *progress = static_cast<Progress *>(::mmap(
        nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (progress == MAP_FAILED) {
        std::perror("mmap");
        return 1;
    }
    int met = 0;
    const auto &targets = fuzz::targets();
    for (const fuzz::Target &target : targets) {
        const auto start = std::chrono::steady_clock::now();
        progress->done = 0;
        progress->failures = 0;
        std::uint64_t crashes = 0;
        while (progress->done < Goal) {
            const pid_t pid = ::fork();
            if (pid < 0) {
                std::perror("fork");
                return 1;
            }
            if (pid == 0) {
                const std::uint64_t from = progress->done;
                fuzz::runSeeded(
                    target, from, Goal - from, Seed, &progress->done, &progress->failures);
                std::fflush(nullptr);
                ::_exit(0);
            }
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0) { }
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                ++crashes;
                std::fprintf(stderr, "fuzz_%s: crash at input %llu (seed %llu)\n", target.name,
                    static_cast<unsigned long long>(progress->done),
                    static_cast<unsigned long long>(Seed));
                ++progress->done;
            }
        }
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::uint64_t failures = progress->failures;
        std::printf("fuzz_%s: %llu inputs, %llu crashes, %llu invariant failures (goal: %llu "
                    "inputs, 0 failures)\n",
            target.name, static_cast<unsigned long long>(progress->done),
            static_cast<unsigned long long>(crashes), static_cast<unsigned long long>(failures),
            static_cast<unsigned long long>(Goal));
        std::fprintf(stderr, "fuzz_%s: %.1f s\n", target.name, seconds);
        std::fflush(stdout);
        if (progress->done >= Goal && crashes == 0 && failures == 0)
            ++met;
    }
    std::printf("goals met: %d/%zu\n", met, targets.size());
    return 0;
}
