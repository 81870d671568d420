#include "tags/genretable.h"

#include <array>

namespace tags {

namespace {

// Alphabetical, with the table's own exceptions: "Chorus" before "Chiristian Gangsta Rap",
// "Drum&Bass" before "Drum Solo", "Eurodance" before "Euro-House", "Pop/Funk" before
// "Pop-Folk". The spellings are the table's own and are kept as they are.
constexpr std::array<Genre, GenreCount> Table = {{
    {"A Cappella", 123},
    {"Acid", 34},
    {"Acid Jazz", 74},
    {"Acid Punk", 73},
    {"Acoustic", 99},
    {"Alt.Rock", 40},
    {"Alternative", 20},
    {"Ambient", 26},
    {"Anime", 145},
    {"Avantgarde", 90},
    {"ballad", 116},
    {"Bass", 41},
    {"Beat", 135},
    {"Bebob", 85},
    {"Big Band", 96},
    {"Black Metal", 138},
    {"Bluegrass", 89},
    {"Blues", 0},
    {"Booty Bass", 107},
    {"BritPop", 132},
    {"Cabaret", 65},
    {"Celtic", 88},
    {"Chamber Music", 104},
    {"Chanson", 102},
    {"Chorus", 97},
    {"Chiristian Gangsta Rap", 136},
    {"Chiristian Rap", 61},
    {"Chiristian Rock", 141},
    {"Classic Rock", 1},
    {"Classical", 32},
    {"Club", 112},
    {"Club-House", 128},
    {"Comedy", 57},
    {"Contemporary Chiristian", 140},
    {"Country", 2},
    {"Crossover", 139},
    {"Cult", 58},
    {"Dance", 3},
    {"Dance Hall", 125},
    {"Dardwave", 50},
    {"Death Metal", 22},
    {"Disco", 4},
    {"Dream", 55},
    {"Drum&Bass", 127},
    {"Drum Solo", 122},
    {"Duet", 120},
    {"Easy Listening", 98},
    {"Electoronic", 52},
    {"Ethnic", 48},
    {"Eurodance", 54},
    {"Euro-House", 124},
    {"Euro-Techno", 25},
    {"Fast-Fusion", 84},
    {"Folk", 80},
    {"Folk/Rock", 81},
    {"Folklore", 115},
    {"FreeStyle", 119},
    {"Funk", 5},
    {"Fusion", 30},
    {"Game", 36},
    {"Gangsta Rap", 59},
    {"Goa", 126},
    {"Gospel", 38},
    {"Gothic", 49},
    {"Gothic Rock", 91},
    {"Grunge", 6},
    {"Hard Rock", 79},
    {"Hardcore", 129},
    {"Heavy Metal", 137},
    {"Hip-Hop", 7},
    {"House", 35},
    {"Humour", 100},
    {"Indie", 131},
    {"Industrial", 19},
    {"Instrumental", 33},
    {"Instrumental Pop", 46},
    {"Instrumental Rock", 47},
    {"Jazz", 8},
    {"Jazz+Funk", 29},
    {"JPop", 146},
    {"Jungle", 63},
    {"Latain", 86},
    {"Lo-fi", 71},
    {"Meditative", 45},
    {"Merengue", 142},
    {"Metal", 9},
    {"Musical", 77},
    {"National Folk", 82},
    {"Native American", 64},
    {"Negerpunk", 133},
    {"New Age", 10},
    {"New Wave", 66},
    {"Noise", 39},
    {"Oldies", 11},
    {"Opera", 103},
    {"Other", 12},
    {"Polka", 75},
    {"Polsk Punk", 134},
    {"Pop", 13},
    {"Pop/Funk", 62},
    {"Pop-Folk", 53},
    {"Porn Groove", 109},
    {"Power Ballad", 117},
    {"Pranks", 23},
    {"Primus", 108},
    {"Progressive Rock", 92},
    {"Psychedelic", 67},
    {"Psychedelic Rock", 93},
    {"Punk", 43},
    {"Punk Rock", 121},
    {"R&B", 14},
    {"Rap", 15},
    {"Rave", 68},
    {"Reggae", 16},
    {"Retro", 76},
    {"Revival", 87},
    {"Rhythmic Soul", 118},
    {"Rock", 17},
    {"Rock & Soul", 78},
    {"Salsa", 143},
    {"Samba", 114},
    {"Satire", 110},
    {"Showtunes", 69},
    {"Ska", 21},
    {"Slow Jam", 111},
    {"Slow Rock", 95},
    {"Sonata", 105},
    {"Soul", 42},
    {"Sound Clip", 37},
    {"Soundtrack", 24},
    {"Southern Rock", 56},
    {"Space", 44},
    {"Speech", 101},
    {"Swing", 83},
    {"Symphonic Rock", 94},
    {"Symphony", 106},
    {"Synthpop", 147},
    {"Tango", 113},
    {"Techno", 18},
    {"Techno-Industrial", 51},
    {"Terror", 130},
    {"Thrash Metal", 144},
    {"Top 40", 60},
    {"Trailer", 70},
    {"Trance", 31},
    {"Tribal", 72},
    {"Trip-Hop", 27},
    {"Vocal", 28},
}};

// Code to name at a glance; filled from the table once.
std::array<const char *, 256> namesByCode()
{
    std::array<const char *, 256> names {};
    for (const Genre &genre : Table)
        names[genre.code] = genre.name;
    return names;
}

} // namespace

const Genre *genreTable()
{
    return Table.data();
}

std::string GenreCodeToName(std::uint8_t code)
{
    static const std::array<const char *, 256> names = namesByCode();
    return names[code] ? std::string(names[code]) : std::string();
}

std::uint8_t GenreNameToCode(std::string_view name)
{
    std::uint8_t code = NoGenre;
    for (const Genre &genre : Table) {
        if (name == genre.name)
            code = genre.code;
    }
    return code;
}

std::vector<std::string> genreListEntries()
{
    std::vector<std::string> entries;
    entries.reserve(GenreCount + 1);
    entries.emplace_back();
    for (const Genre &genre : Table)
        entries.emplace_back(genre.name);
    return entries;
}

} // namespace tags
