#pragma once

#include <chrono>
#include <functional>
#include <random>
#include <string>

#include "tests/support/faultyfs.h"

namespace testing_support {

// How long one run of `work` takes, so the kills fall inside a run.
std::chrono::microseconds timeOf(const std::function<void()> &work);
// The same for a run in a forked child, as killedAtRandomPoint runs it: a child pays for its
// copied pages, and under a sanitizer or a loaded machine that is much of a short run.
std::chrono::microseconds timeInChild(const std::function<void()> &work);

// Runs `work` in a child and kills it with SIGKILL at a random point of a run that takes
// `runTime`, or a little after its end. Gives the child's wait status, or -1.
int killedAtRandomPoint(
    const std::function<void()> &work, std::chrono::microseconds runTime, std::mt19937 &random);

// Runs `work` in a child whose file system kills it (SIGKILL) just before its `nth` call
// `call` on `path`; with `tornAfter` above 0 that call, a pwrite, first writes only so many
// bytes, and the kill comes before the rest. Gives the child's wait status, or -1.
int killedBeforeCall(FaultyFileSystem::Call call, const std::string &path, int nth,
    std::size_t tornAfter, const std::function<void()> &work);

} // namespace testing_support
