#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// One fuzz target: takes any bytes, checks what must hold for them and tells whether it
// held. A crash or a sanitizer report is the other kind of failure.
struct Target
{
    const char *name;
    bool (*run)(const std::uint8_t *data, std::size_t size);
    std::size_t maxSize;
    // Byte strings the seeded driver splices into its inputs to reach the parsers' cases.
    std::vector<std::string> dictionary;
    // Where the driver often puts a dictionary entry, counted from the input's end (0: not
    // used): the tag parse looks for its header 128 bytes before the end.
    std::size_t tailAnchor = 0;
};

bool tagParse(const std::uint8_t *data, std::size_t size);
bool mergedBlock(const std::uint8_t *data, std::size_t size);
bool cp932(const std::uint8_t *data, std::size_t size);
bool cliOptions(const std::uint8_t *data, std::size_t size);
bool settingsFile(const std::uint8_t *data, std::size_t size);
bool id3v2Plan(const std::uint8_t *data, std::size_t size);

const std::vector<Target> &targets();
const Target *findTarget(const std::string &name);

// The seeded driver: `count` inputs of random bytes and dictionary pieces, up to the
// target's size, from `seed`, starting with input number `first`. Gives the number of
// inputs that broke an invariant. `done` and `failed`, when given, follow the run as it
// goes, so a crash leaves `done` at the input that crashed and `failed` correct.
std::uint64_t runSeeded(const Target &target, std::uint64_t first, std::uint64_t count,
    std::uint64_t seed, volatile std::uint64_t *done = nullptr,
    volatile std::uint64_t *failed = nullptr);

} // namespace fuzz
