#include "editing/journalformat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "platform/error.h"
#include "platform/filesystem.h"

namespace editing::journal {

namespace {

constexpr char Magic[4] = {'B', 'W', 'J', '1'};
constexpr std::size_t Chunk = 1 << 20;

void put(std::string &out, std::uint64_t value, int bytes)
{
    char little[8];
    for (int i = 0; i < bytes; ++i)
        little[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out.append(little, static_cast<std::size_t>(bytes));
}

void putText(std::string &out, const std::string &text)
{
    put(out, text.size(), 4);
    out += text;
}

void putBlock(std::string &out, const tags::Block &block)
{
    out.append(block.data(), block.size());
}

std::uint64_t get(const char *p, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
    return value;
}

// Reads the fields of a payload; any read past its end marks it malformed.
class PayloadReader
{
public:
    explicit PayloadReader(std::string_view bytes)
        : m_bytes(bytes)
    { }

    std::uint64_t number(int bytes)
    {
        if (!take(static_cast<std::size_t>(bytes)))
            return 0;
        return get(m_bytes.data() + m_at - static_cast<std::size_t>(bytes), bytes);
    }
    std::int64_t signedNumber() { return static_cast<std::int64_t>(number(8)); }
    std::string text()
    {
        const auto size = static_cast<std::size_t>(number(4));
        if (!take(size))
            return {};
        return std::string(m_bytes.substr(m_at - size, size));
    }
    void block(tags::Block &block)
    {
        if (take(block.size()))
            std::memcpy(block.data(), m_bytes.data() + m_at - block.size(), block.size());
    }
    // Every byte read and none missing.
    bool whole() const { return m_ok && m_at == m_bytes.size(); }

private:
    bool take(std::size_t n)
    {
        if (!m_ok || m_bytes.size() - m_at < n) {
            m_ok = false;
            return false;
        }
        m_at += n;
        return true;
    }

    std::string_view m_bytes;
    std::size_t m_at = 0;
    bool m_ok = true;
};

// Writes a record straight into `out`: the frame's head, the payload the caller appends
// (beginning with its type and id), then the tail once the payload is complete.
class Frame
{
public:
    Frame(std::string &out, RecordType type, std::uint64_t id)
        : m_out(out)
        , m_start(out.size())
    {
        m_out.append(Magic, sizeof Magic);
        put(m_out, 0, 4); // the length, known at the end
        put(m_out, static_cast<std::uint8_t>(type), 1);
        put(m_out, id, 8);
    }
    ~Frame()
    {
        const std::size_t payloadAt = m_start + 8;
        const std::size_t length = m_out.size() - payloadAt;
        for (int i = 0; i < 4; ++i)
            m_out[m_start + 4 + static_cast<std::size_t>(i)]
                = static_cast<char>((length >> (8 * i)) & 0xFF);
        put(m_out, crc32(std::string_view(m_out).substr(payloadAt, length)), 4);
        put(m_out, length, 4);
    }
    Frame(const Frame &) = delete;
    Frame &operator=(const Frame &) = delete;

private:
    std::string &m_out;
    std::size_t m_start;
};

// False for a record of a type this reader does not know, or whose fields it cannot read.
bool decode(std::string_view payload, Record &record)
{
    PayloadReader in(payload);
    const auto type = static_cast<std::uint8_t>(in.number(1));
    record.id = in.number(8);
    switch (type) {
    case static_cast<std::uint8_t>(RecordType::Begin): {
        const auto kind = static_cast<std::uint8_t>(in.number(1));
        if (kind > static_cast<std::uint8_t>(RunKind::Redo))
            return false;
        record.begin.kind = static_cast<RunKind>(kind);
        record.begin.target = in.number(8);
        record.begin.time = in.signedNumber();
        record.begin.name = in.text();
        break;
    }
    case static_cast<std::uint8_t>(RecordType::Before): {
        BeforeRecord &b = record.before;
        b.path = in.text();
        b.device = in.number(8);
        b.inode = in.number(8);
        b.size = in.signedNumber();
        b.mode = static_cast<std::uint32_t>(in.number(4));
        b.mtimeSeconds = in.signedNumber();
        b.mtimeNanoseconds = in.signedNumber();
        const auto flags = in.number(1);
        b.hasTail = flags & 1;
        b.appends = flags & 2;
        in.block(b.tail);
        in.block(b.block);
        if (b.size < 0 || (!b.appends && b.size < std::int64_t(tags::BlockSize)))
            return false;
        break;
    }
    case static_cast<std::uint8_t>(RecordType::After):
        record.after.index = static_cast<std::uint32_t>(in.number(4));
        record.after.newSize = in.signedNumber();
        break;
    case static_cast<std::uint8_t>(RecordType::End):
        break;
    case static_cast<std::uint8_t>(RecordType::Restore): {
        record.restore.path = in.text();
        const auto action = static_cast<std::uint8_t>(in.number(1));
        if (action > static_cast<std::uint8_t>(RestoreAction::LeftAlone))
            return false;
        record.restore.action = static_cast<RestoreAction>(action);
        break;
    }
    case static_cast<std::uint8_t>(RecordType::Format):
        record.formatVersion = static_cast<std::uint32_t>(in.number(4));
        break;
    case static_cast<std::uint8_t>(RecordType::Stamp):
        record.stamp.nanoseconds = in.signedNumber();
        break;
    case static_cast<std::uint8_t>(RecordType::Left): {
        LeftRecord &l = record.left;
        l.path = in.text();
        l.device = in.number(8);
        l.inode = in.number(8);
        l.size = in.signedNumber();
        l.mtimeSeconds = in.signedNumber();
        l.mtimeNanoseconds = in.signedNumber();
        break;
    }
    case static_cast<std::uint8_t>(RecordType::Mode): {
        ModeRecord &m = record.mode;
        m.path = in.text();
        m.device = in.number(8);
        m.inode = in.number(8);
        m.mode = static_cast<std::uint32_t>(in.number(4));
        m.newMode = static_cast<std::uint32_t>(in.number(4));
        break;
    }
    case static_cast<std::uint8_t>(RecordType::Rename): {
        RenameRecord &r = record.rename;
        r.path = in.text();
        r.newPath = in.text();
        r.device = in.number(8);
        r.inode = in.number(8);
        r.birth = in.signedNumber();
        break;
    }
    case static_cast<std::uint8_t>(RecordType::Region): {
        RegionRecord &r = record.region;
        r.path = in.text();
        r.device = in.number(8);
        r.inode = in.number(8);
        r.size = in.signedNumber();
        r.newSize = in.signedNumber();
        r.mode = static_cast<std::uint32_t>(in.number(4));
        r.mtimeSeconds = in.signedNumber();
        r.mtimeNanoseconds = in.signedNumber();
        r.hasTail = in.number(1) & 1;
        in.block(r.tail);
        r.oldRegion = in.text();
        r.newRegion = in.text();
        if (r.size < std::int64_t(r.oldRegion.size())
            || r.newSize < std::int64_t(r.newRegion.size()))
            return false;
        break;
    }
    default:
        return false;
    }
    record.type = static_cast<RecordType>(type);
    return in.whole();
}

// A window of the file that moves forward as the records are read.
class FileWindow
{
public:
    FileWindow(int fd, const std::string &path, std::int64_t to)
        : m_fd(fd)
        , m_path(path)
        , m_to(to)
    { }

    // Makes [offset, offset + n) readable through at(); false when it passes the end.
    bool cover(std::int64_t offset, std::size_t n)
    {
        if (offset + std::int64_t(n) > m_to)
            return false;
        if (offset >= m_at && offset + std::int64_t(n) <= m_at + std::int64_t(m_data.size()))
            return true;
        const auto size
            = static_cast<std::size_t>(std::min<std::int64_t>(std::max(n, Chunk), m_to - offset));
        m_data.resize(size);
        if (!platform::readFully(m_fd, m_data.data(), size, offset))
            throw platform::Error(platform::cannotOpenMessage(m_path));
        m_at = offset;
        return true;
    }
    const char *at(std::int64_t offset) const { return m_data.data() + (offset - m_at); }
    std::int64_t end() const { return m_to; }

    // The next offset from `start` on where the frame's magic stands, or the end.
    std::int64_t findMagic(std::int64_t start)
    {
        for (std::int64_t p = start; p + 4 <= m_to;) {
            cover(p, static_cast<std::size_t>(std::min<std::int64_t>(Chunk, m_to - p)));
            const std::int64_t windowEnd = m_at + std::int64_t(m_data.size());
            const char *from = at(p);
            const char *last = at(windowEnd);
            const char *hit = std::search(from, last, Magic, Magic + sizeof Magic);
            if (hit != last)
                return p + (hit - from);
            if (windowEnd >= m_to)
                break;
            p = windowEnd - 3;
        }
        return m_to;
    }

private:
    int m_fd;
    const std::string &m_path;
    std::int64_t m_to;
    std::int64_t m_at = 0;
    std::string m_data;
};

} // namespace

std::uint32_t crc32(std::string_view bytes)
{
    // CRC-32 (the polynomial of zlib and PNG), eight bytes a step: the journal checks every
    // record of every write, so its cost shows in a bulk run.
    using Tables = std::array<std::array<std::uint32_t, 256>, 8>;
    static const Tables tables = [] {
        Tables t {};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (std::size_t i = 0; i < 256; ++i) {
            for (std::size_t k = 1; k < 8; ++k)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    const char *p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint64_t word = get(p, 8) ^ crc;
        crc = tables[7][word & 0xFF] ^ tables[6][(word >> 8) & 0xFF]
            ^ tables[5][(word >> 16) & 0xFF] ^ tables[4][(word >> 24) & 0xFF]
            ^ tables[3][(word >> 32) & 0xFF] ^ tables[2][(word >> 40) & 0xFF]
            ^ tables[1][(word >> 48) & 0xFF] ^ tables[0][word >> 56];
    }
    for (; n > 0; ++p, --n)
        crc = tables[0][(crc ^ static_cast<unsigned char>(*p)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void appendBegin(std::string &out, std::uint64_t id, const BeginRecord &begin)
{
    {
        const Frame frame(out, RecordType::Begin, id);
        put(out, static_cast<std::uint8_t>(begin.kind), 1);
        put(out, begin.target, 8);
        put(out, static_cast<std::uint64_t>(begin.time), 8);
        putText(out, begin.name);
    }
    const Frame frame(out, RecordType::Format, id);
    put(out, FormatVersion, 4);
}

void appendBefore(std::string &out, std::uint64_t id, const BeforeRecord &before)
{
    out.reserve(out.size() + 2 * tags::BlockSize + before.path.size() + 80);
    const Frame frame(out, RecordType::Before, id);
    putText(out, before.path);
    put(out, before.device, 8);
    put(out, before.inode, 8);
    put(out, static_cast<std::uint64_t>(before.size), 8);
    put(out, before.mode, 4);
    put(out, static_cast<std::uint64_t>(before.mtimeSeconds), 8);
    put(out, static_cast<std::uint64_t>(before.mtimeNanoseconds), 8);
    put(out, (before.hasTail ? 1u : 0u) | (before.appends ? 2u : 0u), 1);
    putBlock(out, before.tail);
    putBlock(out, before.block);
}

void appendAfter(std::string &out, std::uint64_t id, const AfterRecord &after)
{
    const Frame frame(out, RecordType::After, id);
    put(out, after.index, 4);
    put(out, static_cast<std::uint64_t>(after.newSize), 8);
}

void appendEnd(std::string &out, std::uint64_t id)
{
    const Frame frame(out, RecordType::End, id);
}

void appendRestore(std::string &out, std::uint64_t id, const RestoreRecord &restore)
{
    const Frame frame(out, RecordType::Restore, id);
    putText(out, restore.path);
    put(out, static_cast<std::uint8_t>(restore.action), 1);
}

void appendRecord(std::string &out, RecordType type, std::uint64_t id, std::string_view fields)
{
    if (fields.size() > MaxPayload - 9)
        throw std::length_error("journal record too large");
    const Frame frame(out, type, id);
    out += fields;
}

void appendStamp(std::string &out, std::uint64_t id, const StampRecord &stamp)
{
    const Frame frame(out, RecordType::Stamp, id);
    put(out, static_cast<std::uint64_t>(stamp.nanoseconds), 8);
}

void appendLeft(std::string &out, std::uint64_t id, const LeftRecord &left)
{
    out.reserve(out.size() + left.path.size() + 80);
    const Frame frame(out, RecordType::Left, id);
    putText(out, left.path);
    put(out, left.device, 8);
    put(out, left.inode, 8);
    put(out, static_cast<std::uint64_t>(left.size), 8);
    put(out, static_cast<std::uint64_t>(left.mtimeSeconds), 8);
    put(out, static_cast<std::uint64_t>(left.mtimeNanoseconds), 8);
}

void appendMode(std::string &out, std::uint64_t id, const ModeRecord &mode)
{
    const Frame frame(out, RecordType::Mode, id);
    putText(out, mode.path);
    put(out, mode.device, 8);
    put(out, mode.inode, 8);
    put(out, mode.mode, 4);
    put(out, mode.newMode, 4);
}

void appendRename(std::string &out, std::uint64_t id, const RenameRecord &rename)
{
    const Frame frame(out, RecordType::Rename, id);
    putText(out, rename.path);
    putText(out, rename.newPath);
    put(out, rename.device, 8);
    put(out, rename.inode, 8);
    put(out, static_cast<std::uint64_t>(rename.birth), 8);
}

std::uint64_t regionPayloadSize(
    std::size_t pathSize, std::size_t oldRegionSize, std::size_t newRegionSize)
{
    // Type and id, then the fields as appendRegion puts them.
    return 9 + 4 + std::uint64_t(pathSize) + 8 + 8 + 8 + 8 + 4 + 8 + 8 + 1 + tags::BlockSize + 4
        + oldRegionSize + 4 + newRegionSize;
}

void appendRegion(std::string &out, std::uint64_t id, const RegionRecord &region)
{
    if (regionPayloadSize(region.path.size(), region.oldRegion.size(), region.newRegion.size())
        > MaxPayload)
        throw std::length_error("journal record too large");
    out.reserve(out.size() + FrameSize + 128 + region.path.size() + region.oldRegion.size()
        + region.newRegion.size() + tags::BlockSize);
    const Frame frame(out, RecordType::Region, id);
    putText(out, region.path);
    put(out, region.device, 8);
    put(out, region.inode, 8);
    put(out, static_cast<std::uint64_t>(region.size), 8);
    put(out, static_cast<std::uint64_t>(region.newSize), 8);
    put(out, region.mode, 4);
    put(out, static_cast<std::uint64_t>(region.mtimeSeconds), 8);
    put(out, static_cast<std::uint64_t>(region.mtimeNanoseconds), 8);
    put(out, region.hasTail ? 1u : 0u, 1);
    putBlock(out, region.tail);
    putText(out, region.oldRegion);
    putText(out, region.newRegion);
}

namespace {

// What can still be told of a damaged stretch: each place in it where a record seems to
// start (its first byte, and every magic after it) whose type byte is not that of a record
// holding no file counts as a lost file record, named when its path field reads as one.
Damage damageIn(FileWindow &window, std::int64_t start, std::int64_t end)
{
    Damage damage;
    damage.offset = start;
    damage.length = end - start;
    const auto isOtherKind = [](unsigned char type) {
        return type == std::uint8_t(RecordType::Begin) || type == std::uint8_t(RecordType::After)
            || type == std::uint8_t(RecordType::End) || type == std::uint8_t(RecordType::Restore)
            || type == std::uint8_t(RecordType::Stamp) || type == std::uint8_t(RecordType::Left)
            || type == std::uint8_t(RecordType::Mode) || type == std::uint8_t(RecordType::Format);
    };
    for (std::int64_t at = start; at < end; at = window.findMagic(at + 1)) {
        if (at + 9 > end || !window.cover(at, 9)) {
            ++damage.fileRecords;
            continue;
        }
        const auto type = static_cast<unsigned char>(*window.at(at + 8));
        if (isOtherKind(type))
            continue;
        ++damage.fileRecords;
        // The path of a Before or Region record: its length after the type and id, then its
        // bytes.
        if ((type != std::uint8_t(RecordType::Before) && type != std::uint8_t(RecordType::Region))
            || at + 21 > end || !window.cover(at + 17, 4))
            continue;
        const auto length = static_cast<std::int64_t>(get(window.at(at + 17), 4));
        if (length < 2 || length > 4096 || at + 21 + length > end
            || !window.cover(at + 21, std::size_t(length)))
            continue;
        const std::string name(window.at(at + 21), static_cast<std::size_t>(length));
        const bool plain = name[0] == '/' && std::none_of(name.begin(), name.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20;
        });
        if (plain && damage.path.empty())
            damage.path = name;
    }
    return damage;
}

} // namespace

std::int64_t readRecords(int fd, const std::string &path, std::int64_t from, std::int64_t to,
    const std::function<void(const Record &, std::int64_t offset)> &onRecord,
    const std::function<void(const Damage &)> &onDamage)
{
    FileWindow window(fd, path, to);
    std::int64_t validEnd = from;
    std::int64_t damagedFrom = -1;
    Record record;
    for (std::int64_t pos = from; pos + std::int64_t(FrameSize) <= to;) {
        window.cover(pos, 8);
        const char *p = window.at(pos);
        const auto length = static_cast<std::uint32_t>(get(p + 4, 4));
        const std::int64_t end = pos + std::int64_t(FrameSize) + length;
        bool valid = std::memcmp(p, Magic, sizeof Magic) == 0 && length > 0 && length <= MaxPayload
            && end <= to;
        if (valid) {
            window.cover(pos, FrameSize + length);
            p = window.at(pos);
            const std::string_view payload(p + 8, length);
            valid = get(p + 8 + length, 4) == crc32(payload) && get(p + 12 + length, 4) == length;
        }
        if (!valid) {
            // A torn or damaged record: go on where the next whole one starts.
            if (damagedFrom < 0)
                damagedFrom = pos;
            pos = window.findMagic(pos + 1);
            continue;
        }
        if (damagedFrom >= 0 && onDamage) {
            const Damage damage = damageIn(window, damagedFrom, pos);
            window.cover(pos, FrameSize + length);
            onDamage(damage);
        }
        damagedFrom = -1;
        // A whole record of a newer writer is kept as it is, unread.
        if (decode(std::string_view(window.at(pos) + 8, length), record))
            onRecord(record, pos);
        pos = end;
        validEnd = end;
    }
    return validEnd;
}

} // namespace editing::journal
