// The merged-block render with random keep/new/erase choices and texts: every byte a
// choice did not touch stays as it was in the present tag (or as the empty start block).

#include <algorithm>
#include <cstring>

#include "fuzz/targets.h"
#include "tags/id3v1.h"

namespace fuzz {

namespace {

// Takes bytes from the front of the input, zeros once it is used up.
class Reader
{
public:
    Reader(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    { }
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::string bytes(std::size_t n)
    {
        std::string s;
        while (n-- > 0)
            s += static_cast<char>(byte());
        return s;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

} // namespace

bool mergedBlock(const std::uint8_t *data, std::size_t size)
{
    Reader in(data, size);
    const std::uint8_t shape = in.byte();
    std::optional<tags::Block> present;
    if (shape & 1) {
        tags::Block block;
        const std::string bytes = in.bytes(tags::BlockSize);
        std::memcpy(block.data(), bytes.data(), tags::BlockSize);
        if (shape & 2) // most present blocks are tags
            std::memcpy(block.data(), tags::HeaderText, 3);
        present = block;
    }
    tags::TagMerge merge;
    for (auto &change : merge.texts) {
        const std::uint8_t choice = in.byte();
        if (choice % 3 == 1)
            change = tags::TextChange::set(in.bytes(in.byte() % 40));
        else if (choice % 3 == 2)
            change = tags::TextChange::erase();
    }
    const std::uint8_t genreChoice = in.byte();
    merge.genre.kind = static_cast<tags::GenreChange::Kind>(genreChoice % 3);
    merge.genre.code = in.byte();

    const tags::Block out = tags::mergedBlock(present, merge);

    // What the block must be, byte by byte.
    tags::Block start {};
    if (present && tags::isTagBlock(*present))
        start = *present;
    else
        start[tags::GenreOffset] = static_cast<char>(255);
    tags::Block expected = start;
    std::memcpy(expected.data(), tags::HeaderText, 3);
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i) {
        const tags::FieldSpan span = tags::spanOf(static_cast<tags::TextField>(i));
        const tags::TextChange &change = merge.texts[i];
        if (change.kind == tags::TextChange::Kind::Keep)
            continue;
        const std::string &text = change.text;
        for (std::size_t k = 0; k < span.width; ++k)
            expected[span.offset + k] = k < text.size() ? text[k] : ' ';
    }
    if (merge.genre.kind == tags::GenreChange::Kind::Set)
        expected[tags::GenreOffset] = static_cast<char>(merge.genre.code);
    else if (merge.genre.kind == tags::GenreChange::Kind::Erase)
        expected[tags::GenreOffset] = static_cast<char>(255);
    return out == expected && tags::isTagBlock(out);
}

} // namespace fuzz
