#include "tags/tagregion.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/filemode.h"
#include "platform/filesystem.h"
#include "platform/scopeguard.h"
#include "platform/temporaryfile.h"
#include "tags/tagfile.h"

namespace tags {

using platform::fileSystem;

namespace {

constexpr std::size_t CopyChunk = 1 << 20;

std::string changedMessage(const std::string &path)
{
    return "ファイル " + path + " は読み込んだ後に変わっています。書き出しませんでした";
}

std::string unverifiedMessage(const std::string &path, const std::string &why)
{
    return "ファイル " + path + " の書き出しを確かめられませんでした (" + why
        + ")。元のファイルはそのままです";
}

// Throws unless the open file is still as the change expects.
void expectUnchanged(
    int fd, const struct stat &st, const TagRegionChange &change, const std::string &path)
{
    if (st.st_size != change.fileSize
        || change.oldRegion.size() + (change.tail ? BlockSize : 0)
            > static_cast<std::size_t>(st.st_size))
        throw platform::Error(changedMessage(path));
    std::string region(change.oldRegion.size(), '\0');
    if (!platform::readFully(fd, region.data(), region.size(), 0))
        throw platform::Error(platform::cannotWriteMessage(path));
    if (region != change.oldRegion)
        throw platform::Error(changedMessage(path));
    if (change.tail) {
        Block tail;
        if (!platform::readFully(fd, tail.data(), BlockSize, st.st_size - BlockSize))
            throw platform::Error(platform::cannotWriteMessage(path));
        if (tail != *change.tail)
            throw platform::Error(changedMessage(path));
    }
}

struct stat statusBefore(struct stat st, mode_t formerMode)
{
    st.st_mode = formerMode;
    return st;
}

void writeInPlace(const std::string &path, const std::string &target, const struct stat &found,
    const TagRegionChange &change, ITagRegionObserver *observer)
{
    struct stat st = found;
    platform::ScopedWritableMode writable(target, st.st_mode);
    platform::UniqueFd fd = platform::openRegularFile(target.c_str(), O_RDWR, &st);
    if (!fd.isValid())
        throw platform::Error(platform::cannotOpenMessage(path));
    expectUnchanged(fd.get(), st, change, path);
    if (observer)
        observer->aboutToReplace(path, statusBefore(st, found.st_mode), change);
    if (!platform::writeFully(fd.get(), change.newRegion.data(), change.newRegion.size(), 0)) {
        platform::writeFully(fd.get(), change.oldRegion.data(), change.oldRegion.size(), 0);
        throw platform::Error(platform::cannotWriteMessage(path));
    }
    if (!fd.close())
        throw platform::Error(platform::cannotWriteMessage(path));
    if (observer)
        observer->replaced(path);
}

// Copies `length` bytes from `in` at `inAt` to `out` at `outAt`, hashing what was read.
bool copyHashed(int in, off_t inAt, int out, off_t outAt, off_t length, RunningHash &hash)
{
    std::vector<char> buffer(CopyChunk);
    while (length > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<off_t>(length, CopyChunk));
        if (!platform::readFully(in, buffer.data(), n, inAt))
            return false;
        hash.add(std::string_view(buffer.data(), n));
        if (out >= 0 && !platform::writeFully(out, buffer.data(), n, outAt))
            return false;
        inAt += static_cast<off_t>(n);
        outAt += static_cast<off_t>(n);
        length -= static_cast<off_t>(n);
    }
    return true;
}

// Reads the rewritten file back and gives why it is not what was meant, or empty.
std::string readBackFault(int fd, const TagRegionChange &change, off_t restLength,
    std::uint64_t restHash, const TagRegionCheck &check)
{
    struct stat st;
    if (fileSystem().fstat(fd, &st) != 0
        || st.st_size != static_cast<off_t>(change.newRegion.size()) + restLength)
        return "大きさが違います";
    std::string region(change.newRegion.size(), '\0');
    if (!platform::readFully(fd, region.data(), region.size(), 0))
        return "読み返せません";
    if (region != change.newRegion)
        return "タグが書いたものと違います";
    if (check) {
        if (std::string why = check(region); !why.empty())
            return why;
    }
    RunningHash hash;
    if (!copyHashed(fd, static_cast<off_t>(region.size()), -1, 0, restLength, hash))
        return "読み返せません";
    if (hash.value() != restHash)
        return "タグの後のバイトが元のファイルと違います";
    return {};
}

void rewrite(const std::string &path, const std::string &target, const struct stat &found,
    const TagRegionChange &change, const TagRegionCheck &check, ITagRegionObserver *observer)
{
    struct stat st;
    platform::UniqueFd fd = platform::openRegularFile(target.c_str(), O_RDONLY, &st);
    if (!fd.isValid())
        throw platform::Error(platform::cannotOpenMessage(path));
    expectUnchanged(fd.get(), st, change, path);

    platform::TemporaryFile temporary(platform::folderOf(target));
    if (const int error = temporary.create(true, S_IRUSR | S_IWUSR))
        throw platform::Error(platform::cannotWriteMessage(path), error);
    const int out = temporary.fd();
    const off_t restLength = st.st_size - static_cast<off_t>(change.oldRegion.size());
    RunningHash hash;
    if (!platform::writeFully(out, change.newRegion.data(), change.newRegion.size(), 0)
        || !copyHashed(fd.get(), static_cast<off_t>(change.oldRegion.size()), out,
            static_cast<off_t>(change.newRegion.size()), restLength, hash)
        || fileSystem().fsync(out) != 0)
        throw platform::Error(platform::cannotWriteMessage(path), platform::lastError());
    if (const std::string why = readBackFault(out, change, restLength, hash.value(), check);
        !why.empty())
        throw platform::Error(unverifiedMessage(path, why));

    // Owner and group where allowed (a user may give a file to a group of theirs), then the
    // mode, which a change of owner may have cut.
    if (::fchown(out, st.st_uid, st.st_gid) != 0)
        static_cast<void>(::fchown(out, static_cast<uid_t>(-1), st.st_gid));
    if (fileSystem().fchmod(out, found.st_mode & 07777) != 0)
        throw platform::Error(platform::cannotWriteMessage(path), platform::lastError());

    // Another program may have written the original while it was copied.
    struct stat now;
    if (fileSystem().fstat(fd.get(), &now) != 0 || now.st_size != st.st_size
        || now.st_mtim.tv_sec != st.st_mtim.tv_sec || now.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        throw platform::Error(changedMessage(path));
    if (observer)
        observer->aboutToReplace(path, statusBefore(st, found.st_mode), change);
    if (const int error = temporary.commit(target))
        throw platform::Error(platform::cannotWriteMessage(path), error);
    platform::syncFolder(platform::folderOf(target));
    if (observer)
        observer->replaced(path);
}

} // namespace

std::string linkTarget(const std::string &path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

void replaceTagRegion(const std::string &path, const TagRegionChange &change,
    const TagRegionCheck &check, ITagRegionObserver *observer)
{
    const platform::ScopeGuard told([&path] { tellWriteWatchers(path); });
    const std::string target = linkTarget(path);
    struct stat st;
    if (fileSystem().stat(target.c_str(), &st, true) != 0 || !S_ISREG(st.st_mode))
        throw platform::Error(platform::cannotOpenMessage(path));
    if (change.inPlace())
        writeInPlace(path, target, st, change, observer);
    else
        rewrite(path, target, st, change, check, observer);
}

void RunningHash::mix(std::uint64_t word)
{
    m_state ^= word * 0x87C37B91114253D5ull;
    m_state = ((m_state << 31) | (m_state >> 33)) * 0x4CF5AD432745937Full;
}

void RunningHash::add(std::string_view bytes)
{
    m_length += bytes.size();
    while (!bytes.empty() && m_pendingBytes != 0) {
        m_pending |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[0]))
            << (8 * m_pendingBytes);
        bytes.remove_prefix(1);
        if (++m_pendingBytes == 8) {
            mix(m_pending);
            m_pending = 0;
            m_pendingBytes = 0;
        }
    }
    while (bytes.size() >= 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data(), 8);
        mix(word);
        bytes.remove_prefix(8);
    }
    for (const char c : bytes)
        m_pending |= static_cast<std::uint64_t>(static_cast<unsigned char>(c))
            << (8 * m_pendingBytes++);
}

std::uint64_t RunningHash::value() const
{
    std::uint64_t h = m_state ^ m_pending ^ (m_length * 0x9E3779B97F4A7C15ull);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

} // namespace tags
