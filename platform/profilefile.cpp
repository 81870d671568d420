#include "platform/profilefile.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "platform/bytetext.h"
#include "platform/filesystem.h"
#include "platform/temporaryfile.h"

namespace platform {

namespace {

constexpr std::size_t ChunkSize = 64 * 1024;
constexpr std::string_view Bom = "\xEF\xBB\xBF";

// Hands out a file's lines, each with its line end. A line longer than ProfileMaxLine comes
// in pieces, so at most ProfileMaxLine + ChunkSize bytes are ever held. The buffer only
// grows, so a short file costs one allocation.
class LineStream
{
public:
    enum class Kind { Line, Piece, End, Error };

    explicit LineStream(int fd)
        : m_fd(fd)
    { }

    Kind next(std::string &out)
    {
        for (;;) {
            const std::string_view held(m_buffer.data(), m_end);
            const std::size_t end = held.find('\n', m_scan);
            if (end != std::string_view::npos) {
                const std::size_t length = end + 1 - m_pos;
                out.assign(held.substr(m_pos, length));
                m_pos = m_scan = end + 1;
                const bool wasLong = m_inLongLine || length > ProfileMaxLine;
                m_inLongLine = false;
                return wasLong ? Kind::Piece : Kind::Line;
            }
            m_scan = m_end;
            const std::size_t length = m_end - m_pos;
            if (length > ProfileMaxLine || (length > 0 && m_atEnd)) {
                out.assign(held.substr(m_pos, length));
                m_pos = m_scan;
                const bool wasLong = m_inLongLine || length > ProfileMaxLine;
                m_inLongLine = !m_atEnd;
                return wasLong ? Kind::Piece : Kind::Line;
            }
            if (m_atEnd)
                return Kind::End;
            if (!refill())
                return Kind::Error;
        }
    }

    // How far into the file the stream has read.
    off_t consumed() const { return m_offset; }

private:
    bool refill()
    {
        const std::size_t held = m_end - m_pos;
        if (held > 0 && m_pos > 0)
            std::memmove(&m_buffer[0], &m_buffer[m_pos], held);
        m_scan -= m_pos;
        m_pos = 0;
        m_end = held;
        if (m_buffer.size() < held + ChunkSize)
            m_buffer.resize(held + ChunkSize);
        ssize_t got;
        do {
            got = fileSystem().pread(m_fd, &m_buffer[held], ChunkSize, m_offset);
        } while (got < 0 && errno == EINTR);
        if (got < 0)
            return false;
        if (got == 0)
            m_atEnd = true;
        m_end += static_cast<std::size_t>(got);
        m_offset += got;
        return true;
    }

    int m_fd;
    off_t m_offset = 0;
    std::string m_buffer;
    std::size_t m_end = 0; // bytes of m_buffer read from the file
    std::size_t m_pos = 0;
    std::size_t m_scan = 0;
    bool m_atEnd = false;
    bool m_inLongLine = false;
};

struct ParsedLine
{
    enum class Type { Other, Blank, Section, Key } type = Type::Other;
    std::string_view name; // the section's or the key's name
    std::string_view value;
};

// What a line says. The first line of the file may carry a UTF-8 byte-order mark.
ParsedLine parseLine(std::string_view line, bool isFirst)
{
    if (isFirst && line.substr(0, Bom.size()) == Bom)
        line.remove_prefix(Bom.size());
    const std::string_view text = platform::trimmedView(line);
    ParsedLine parsed;
    if (text.empty()) {
        parsed.type = ParsedLine::Type::Blank;
    } else if (text.front() == '[') {
        parsed.type = ParsedLine::Type::Section;
        parsed.name = platform::trimmedView(text.substr(1, text.find(']') - 1));
    } else if (text.front() != ';') {
        const std::size_t equals = text.find('=');
        if (equals != std::string_view::npos) {
            parsed.name = platform::trimmedView(text.substr(0, equals));
            parsed.value = platform::trimmedView(text.substr(equals + 1));
            const std::string_view &v = parsed.value;
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                parsed.value = v.substr(1, v.size() - 2);
            if (!parsed.name.empty())
                parsed.type = ParsedLine::Type::Key;
        }
    }
    return parsed;
}

bool sameName(std::string_view a, std::string_view b)
{
    return platform::asciiUpper(a) == platform::asciiUpper(b);
}

// Follows symbolic links to the file that is to be rewritten. A path that does not exist
// (also a dangling link's target) is where a new file goes.
bool resolveLinks(const std::string &path, std::string &target)
{
    target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (fileSystem().stat(target.c_str(), &st, false) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(st.st_mode))
            return true;
        char link[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof link) {
            if (n >= 0)
                errno = ENAMETOOLONG;
            return false;
        }
        const std::string linkText(link, static_cast<std::size_t>(n));
        target = linkText.front() == '/' ? linkText : folderOf(target) + "/" + linkText;
    }
    errno = ELOOP;
    return false;
}

// Buffered output into the new file.
class Output
{
public:
    explicit Output(int fd)
        : m_fd(fd)
    { }

    bool put(std::string_view bytes)
    {
        if (bytes.empty())
            return true;
        m_endsLine = bytes.back() == '\n';
        m_buffer.append(bytes);
        return m_buffer.size() < ChunkSize || flush();
    }
    // Ends the last line when it has no line end yet (a file whose last line has none).
    bool endLine(std::string_view lineEnd) { return m_endsLine || put(lineEnd); }
    bool flush()
    {
        if (!writeFully(m_fd, m_buffer.data(), m_buffer.size(), m_offset))
            return false;
        m_offset += static_cast<off_t>(m_buffer.size());
        m_buffer.clear();
        return true;
    }

private:
    int m_fd;
    off_t m_offset = 0;
    std::string m_buffer;
    bool m_endsLine = true;
};

// Streams the old file (or nothing) into `out` with the section's keys set.
bool copyWithSection(int in, Output &out, const std::string &section,
    const std::vector<std::pair<std::string, std::string>> &entries)
{
    enum class State { Before, In, After } state = State::Before;
    std::vector<bool> written(entries.size(), false);
    std::string lineEnd;  // the file's own line end, taken from its first line
    std::string blankRun; // blank lines at the current end of the section
    bool isFirst = true;

    const auto eol = [&] { return lineEnd.empty() ? std::string("\n") : lineEnd; };
    const auto putMissingKeys = [&] {
        if (!out.endLine(eol()))
            return false;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (!written[i] && !out.put(entries[i].first + "=" + entries[i].second + eol()))
                return false;
        }
        return true;
    };
    const auto putBlankRun = [&] {
        const bool ok = out.put(blankRun);
        blankRun.clear();
        return ok;
    };

    std::string line;
    if (in >= 0) {
        LineStream lines(in);
        for (;;) {
            const LineStream::Kind kind = lines.next(line);
            if (kind == LineStream::Kind::Error)
                return false;
            if (kind == LineStream::Kind::End)
                break;
            const bool first = isFirst;
            isFirst = false;
            if (lineEnd.empty() && line.back() == '\n')
                lineEnd = line.size() >= 2 && line[line.size() - 2] == '\r' ? "\r\n" : "\n";
            if (kind == LineStream::Kind::Piece || state == State::After) {
                if (!putBlankRun() || !out.put(line))
                    return false;
                continue;
            }
            const ParsedLine parsed = parseLine(line, first);
            if (state == State::Before) {
                if (parsed.type == ParsedLine::Type::Section && sameName(parsed.name, section))
                    state = State::In;
                if (!out.put(line))
                    return false;
                continue;
            }
            // Inside the section.
            if (parsed.type == ParsedLine::Type::Section) {
                state = State::After;
                if (!putMissingKeys() || !putBlankRun() || !out.put(line))
                    return false;
                continue;
            }
            if (parsed.type == ParsedLine::Type::Blank && blankRun.size() < ProfileMaxLine) {
                blankRun += line;
                continue;
            }
            if (!putBlankRun())
                return false;
            std::size_t match = entries.size();
            if (parsed.type == ParsedLine::Type::Key) {
                for (std::size_t i = 0; i < entries.size() && match == entries.size(); ++i) {
                    if (!written[i] && sameName(parsed.name, entries[i].first))
                        match = i;
                }
            }
            if (match == entries.size()) {
                if (!out.put(line))
                    return false;
                continue;
            }
            written[match] = true;
            std::string replaced
                = first && line.compare(0, Bom.size(), Bom) == 0 ? std::string(Bom) : std::string();
            replaced += entries[match].first + "=" + entries[match].second;
            if (line.back() == '\n')
                replaced += line.size() >= 2 && line[line.size() - 2] == '\r' ? "\r\n" : "\n";
            if (!out.put(replaced))
                return false;
        }
    }
    if (state == State::In)
        return putMissingKeys() && putBlankRun();
    if (state == State::Before)
        return out.endLine(eol()) && out.put("[" + section + "]" + eol()) && putMissingKeys();
    return true;
}

} // namespace

bool copyProfileWithSection(int in, int out, const std::string &section,
    const std::vector<std::pair<std::string, std::string>> &entries)
{
    Output output(out);
    return copyWithSection(in, output, section, entries) && output.flush();
}

const std::string *ProfileSection::find(const std::string &key) const
{
    const std::string folded = platform::asciiUpper(key);
    for (const auto &entry : m_entries) {
        if (entry.first == folded)
            return &entry.second;
    }
    return nullptr;
}

void ProfileSection::add(std::string key, std::string value)
{
    std::string folded = platform::asciiUpper(key);
    if (!find(folded))
        m_entries.emplace_back(std::move(folded), std::move(value));
}

ProfileSection readProfileSection(const std::string &path, const std::string &section)
{
    struct stat st;
    const UniqueFd fd = openRegularFile(path.c_str(), O_RDONLY, &st);
    if (!fd.isValid())
        return ProfileSection();
    return readProfileSectionFrom(fd.get(), section);
}

ProfileSection readProfileSectionFrom(int in, const std::string &section)
{
    ProfileSection result;
    LineStream lines(in);
    std::string line;
    bool isFirst = true;
    bool inSection = false;
    for (;;) {
        const LineStream::Kind kind = lines.next(line);
        if (kind == LineStream::Kind::End || kind == LineStream::Kind::Error
            || lines.consumed() > ProfileReadLimit)
            break;
        const bool first = isFirst;
        isFirst = false;
        if (kind == LineStream::Kind::Piece)
            continue;
        const ParsedLine parsed = parseLine(line, first);
        if (parsed.type == ParsedLine::Type::Section) {
            // Only the first section of that name counts, as for the writer.
            if (inSection)
                break;
            inSection = sameName(parsed.name, section);
        } else if (parsed.type == ParsedLine::Type::Key && inSection) {
            result.add(std::string(parsed.name), std::string(parsed.value));
        }
    }
    return result;
}

bool writeProfileSection(const std::string &path, const std::string &section,
    const std::vector<std::pair<std::string, std::string>> &entries)
{
    std::string target;
    if (!resolveLinks(path, target))
        return false;

    // The old file, when there is one; anything but a regular file is left alone.
    struct stat st
    {
    };
    UniqueFd in;
    bool hadFile = false;
    if (fileSystem().stat(target.c_str(), &st, true) == 0) {
        in = openRegularFile(target.c_str(), O_RDONLY, &st);
        if (!in.isValid())
            return false;
        hadFile = true;
    } else if (errno != ENOENT) {
        return false;
    }

    const std::string folder = folderOf(target);
    TemporaryFile out(folder);
    const auto failed = [](int error) {
        errno = error;
        return false;
    };
    if (const int error = out.create(hadFile, 0666))
        return failed(error);
    if (!copyProfileWithSection(in.get(), out.fd(), section, entries))
        return false;
    in.reset();
    if (hadFile) {
        // The new file replaces the old one: it keeps the old one's permissions where the
        // file system allows (best effort, as for copies).
        fileSystem().fchmod(out.fd(), st.st_mode & 07777);
    }
    if (fileSystem().fsync(out.fd()) != 0)
        return false;
    if (const int error = out.commit(target))
        return failed(error);
    syncFolder(folder); // the new file is whole either way; this makes its name durable
    return true;
}

} // namespace platform
