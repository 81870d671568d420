#pragma once

#include <chrono>
#include <functional>
#include <random>

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

} // namespace testing_support
