// The seeded random driver shared by every target: the same inputs for the same seed and
// input number, so a failure found by the benchmark or CI can be run again alone.

#include <algorithm>
#include <random>

#include "fuzz/targets.h"

namespace fuzz {

const std::vector<Target> &targets()
{
    static const std::vector<Target> all = {
        {"tagparse", tagParse, 300,
            {"TAG", "tag", std::string(30, ' '), std::string(30, '\0'),
                std::string("APETAGEX\xd0\x07\0\0", 12), std::string("\0\x07", 2)},
            128},
        {"mergedblock", mergedBlock, 400, {"TAG", std::string(30, ' '), "\x82\xa0", "\xff"}},
        {"cp932", cp932, 256,
            {"\x81\x60", "\x82\xa0", "\x87\x40", "\xed\x40", "\xfa\x5c", "\xe3\x80\x9c",
                "\xef\xbf\xbd", "\xa0", "\x80", "\xfd", "\x00"}},
        {"clioptions", cliOptions, 200,
            {"scan", "search", "show", "set", "write", "genres", "help", "--help", "-h", "--",
                "--title", "--artist=", "--erase", "--sort", "--desc", "--and", "--genre", "--name",
                "=", std::string(1, '\0')}},
        {"settingsfile", settingsFile, 2000,
            {"[Window]", "[window]", "[Other]", "\r\n", "\n", "\r", "\xEF\xBB\xBF", "=", ";",
                "TOP=", "width=", "VIEWHEIGHT", "Columns13=", "Columns26", "$FFFFFFFF", "0x",
                "-2147483649", "99999999999999999999", "\"", "  ", std::string(1, '\0')}},
        {"id3v2plan", id3v2Plan, 600,
            {"TIT2", "TPE1", "TALB", "TDRC", "TYER", "TCON", "TRCK", "COMM", "TXXX", "APIC",
                std::string("\0\0\0\x0a\0\0", 6), std::string("\0\0\0\x05\0\x01", 6),
                std::string("\x03YEAR\0", 6), std::string("\x01\xff\xfe", 3), "und", "1999",
                std::string(8, '\0'), "3DI"}},
    };
    return all;
}

const Target *findTarget(const std::string &name)
{
    for (const Target &target : targets()) {
        if (name == target.name)
            return &target;
    }
    return nullptr;
}

namespace {

// Input number `index` of a run: pieces of random bytes and dictionary entries.
void makeInput(const Target &target, std::uint64_t seed, std::uint64_t index, std::string &out)
{
    std::mt19937_64 random(seed * 0x9E3779B97F4A7C15ull + index);
    out.clear();
    // Short inputs are common, so every length up to the maximum is reached.
    const std::size_t length = (random() & 3) == 0 ? random() % (target.maxSize + 1)
                                                   : random() % (target.maxSize / 4 + 1);
    while (out.size() < length) {
        const unsigned choice = random() % 8;
        if (choice < 2 && !target.dictionary.empty()) {
            out += target.dictionary[random() % target.dictionary.size()];
        } else {
            const std::size_t n = 1 + random() % 8;
            for (std::size_t i = 0; i < n; ++i)
                out += static_cast<char>(choice == 7 ? ' ' + random() % 95 : random() & 0xFF);
        }
    }
    out.resize(length);
    if (target.tailAnchor > 0 && length >= target.tailAnchor && random() % 2 == 0) {
        const std::string &piece = target.dictionary[random() % target.dictionary.size()];
        out.replace(length - target.tailAnchor, std::min(piece.size(), target.tailAnchor), piece, 0,
            target.tailAnchor);
    }
}

} // namespace

std::uint64_t runSeeded(const Target &target, std::uint64_t first, std::uint64_t count,
    std::uint64_t seed, volatile std::uint64_t *done, volatile std::uint64_t *failed)
{
    std::uint64_t failures = 0;
    std::string input;
    for (std::uint64_t i = first; i < first + count; ++i) {
        if (done)
            *done = i;
        makeInput(target, seed, i, input);
        if (!target.run(reinterpret_cast<const std::uint8_t *>(input.data()), input.size())) {
            ++failures;
            if (failed)
                *failed = *failed + 1;
        }
    }
    if (done)
        *done = first + count;
    return failures;
}

} // namespace fuzz
