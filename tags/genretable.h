#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tags {

// The fixed table of the 148 genre names and their codes, in the order in which every
// genre choice list shows them. Names are the program's own, byte for byte.
struct Genre
{
    const char *name;
    std::uint8_t code;
};

constexpr std::size_t GenreCount = 148;
constexpr std::uint8_t NoGenre = 255;

// The entries in the table's order.
const Genre *genreTable();

// The name of the code, or the empty text for a code without a name (148 to 255).
std::string GenreCodeToName(std::uint8_t code);
// The code of the exactly matching name (bytes, case counts), or 255.
std::uint8_t GenreNameToCode(std::string_view name);
// What a genre choice list holds: the empty entry, then the 148 names in order.
std::vector<std::string> genreListEntries();

} // namespace tags
