#pragma once

#include <chrono>
#include <functional>
#include <random>

namespace testing_support {

// How long one run of `work` takes, so the kills fall inside a run.
std::chrono::microseconds timeOf(const std::function<void()> &work);

// Runs `work` in a child and kills it with SIGKILL at a random point of a run that takes
// `runTime`, or a little after its end. Gives the child's wait status, or -1.
int killedAtRandomPoint(
    const std::function<void()> &work, std::chrono::microseconds runTime, std::mt19937 &random);

} // namespace testing_support
