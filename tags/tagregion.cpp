#include "tags/tagregion.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
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

} // namespace

// A rewritten file written and checked, waiting to be flushed and put in place.
struct PendingRewrite
{
    std::string path;
    std::string target;
    mode_t mode = 0;
    struct stat status
    {
    };
    TagRegionChange change;
    platform::UniqueFd original;
    std::unique_ptr<platform::TemporaryFile> temporary;
};

namespace {

std::unique_ptr<PendingRewrite> prepareRewrite(const std::string &path, const std::string &target,
    const struct stat &found, const TagRegionChange &change, const TagRegionCheck &check)
{
    auto pending = std::make_unique<PendingRewrite>();
    pending->path = path;
    pending->target = target;
    pending->mode = found.st_mode;
    pending->change = change;
    struct stat &st = pending->status;
    pending->original = platform::openRegularFile(target.c_str(), O_RDONLY, &st);
    if (!pending->original.isValid())
        throw platform::Error(platform::cannotOpenMessage(path));
    expectUnchanged(pending->original.get(), st, change, path);

    pending->temporary = std::make_unique<platform::TemporaryFile>(platform::folderOf(target));
    if (const int error = pending->temporary->create(true, S_IRUSR | S_IWUSR))
        throw platform::Error(platform::cannotWriteMessage(path), error);
    const int out = pending->temporary->fd();
    const off_t restLength = st.st_size - static_cast<off_t>(change.oldRegion.size());
    RunningHash hash;
    if (!platform::writeFully(out, change.newRegion.data(), change.newRegion.size(), 0)
        || !copyHashed(pending->original.get(), static_cast<off_t>(change.oldRegion.size()), out,
            static_cast<off_t>(change.newRegion.size()), restLength, hash))
        throw platform::Error(platform::cannotWriteMessage(path), platform::lastError());
    if (const std::string why = readBackFault(out, change, restLength, hash.value(), check);
        !why.empty())
        throw platform::Error(unverifiedMessage(path, why));
    return pending;
}

// Gives the new file the original's extended attributes (its access control list among them)
// where the file system and the user's rights allow; one that cannot be set is left out.
void copyExtendedAttributes(int from, int to)
{
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0)
        return;
    std::string names(static_cast<std::size_t>(size), '\0');
    size = ::flistxattr(from, names.data(), names.size());
    if (size <= 0)
        return;
    names.resize(static_cast<std::size_t>(size));
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char *name = names.c_str() + at;
        const ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        if (length < 0)
            continue;
        value.resize(static_cast<std::size_t>(length) + 1);
        const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
        if (got >= 0)
            static_cast<void>(
                ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0));
    }
}

// Flushes the new file, gives it the original's owner and mode and renames it over the
// original, unless the original changed meanwhile.
void commitRewrite(PendingRewrite &pending, ITagRegionObserver *observer)
{
    const std::string &path = pending.path;
    const struct stat &st = pending.status;
    const int out = pending.temporary->fd();
    if (fileSystem().fsync(out) != 0)
        throw platform::Error(platform::cannotWriteMessage(path), platform::lastError());
    // Owner and group where allowed (a user may give a file to a group of theirs), then the
    // mode, which a change of owner may have cut.
    if (::fchown(out, st.st_uid, st.st_gid) != 0)
        static_cast<void>(::fchown(out, static_cast<uid_t>(-1), st.st_gid));
    copyExtendedAttributes(pending.original.get(), out);
    if (fileSystem().fchmod(out, pending.mode & 07777) != 0)
        throw platform::Error(platform::cannotWriteMessage(path), platform::lastError());

    // Another program may have written the original while it was copied.
    struct stat now;
    if (fileSystem().fstat(pending.original.get(), &now) != 0 || now.st_size != st.st_size
        || now.st_mtim.tv_sec != st.st_mtim.tv_sec || now.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        throw platform::Error(changedMessage(path));
    if (observer)
        observer->aboutToReplace(path, statusBefore(st, pending.mode), pending.change);
    if (const int error = pending.temporary->commit(pending.target))
        throw platform::Error(platform::cannotWriteMessage(path), error);
    if (observer)
        observer->replaced(path);
}

// The file a path names and its status; throws when it is not a regular file.
std::string regularTarget(const std::string &path, struct stat &st)
{
    std::string target = linkTarget(path);
    if (fileSystem().stat(target.c_str(), &st, true) != 0 || !S_ISREG(st.st_mode))
        throw platform::Error(platform::cannotOpenMessage(path));
    return target;
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
    struct stat st;
    const std::string target = regularTarget(path, st);
    if (change.inPlace()) {
        writeInPlace(path, target, st, change, observer);
        return;
    }
    const std::unique_ptr<PendingRewrite> pending = prepareRewrite(path, target, st, change, check);
    commitRewrite(*pending, observer);
    platform::syncFolder(platform::folderOf(target));
}

TagRegionBatch::TagRegionBatch(ITagRegionObserver *observer, std::size_t groupSize)
    : m_observer(observer)
    , m_groupSize(std::max<std::size_t>(groupSize, 1))
{ }

TagRegionBatch::~TagRegionBatch() = default;

void TagRegionBatch::add(
    const std::string &path, const TagRegionChange &change, const TagRegionCheck &check)
{
    struct stat st;
    if (change.inPlace()) {
        const platform::ScopeGuard told([&path] { tellWriteWatchers(path); });
        writeInPlace(path, regularTarget(path, st), st, change, m_observer);
        return;
    }
    {
        const platform::ScopeGuard told([&path] { tellWriteWatchers(path); });
        const std::string target = regularTarget(path, st);
        m_pending.push_back(prepareRewrite(path, target, st, change, check));
    }
    if (m_pending.size() >= m_groupSize)
        flush();
}

void TagRegionBatch::flush()
{
    // One flush of each file system holding new files, then each file's own fsync finds
    // little left to write.
    std::vector<dev_t> devices;
    for (const auto &pending : m_pending) {
        if (std::find(devices.begin(), devices.end(), pending->status.st_dev) == devices.end()) {
            devices.push_back(pending->status.st_dev);
            ::syncfs(pending->temporary->fd());
        }
    }
    std::vector<std::string> folders;
    for (const auto &pending : m_pending) {
        try {
            commitRewrite(*pending, m_observer);
            const std::string folder = platform::folderOf(pending->target);
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(folder);
        } catch (const platform::Error &error) {
            m_failures.push_back({pending->path, error.what()});
        }
        tellWriteWatchers(pending->path);
    }
    m_pending.clear();
    for (const std::string &folder : folders)
        platform::syncFolder(folder);
}

std::vector<TagRegionBatch::Failure> TagRegionBatch::finish()
{
    flush();
    return std::move(m_failures);
}

void RunningHash::mix(const unsigned char *block)
{
    for (int lane = 0; lane < 4; ++lane) {
        std::uint64_t word;
        std::memcpy(&word, block + 8 * lane, 8);
        std::uint64_t h = m_lanes[lane] ^ (word * 0x87C37B91114253D5ull);
        m_lanes[lane] = ((h << 31) | (h >> 33)) * 0x4CF5AD432745937Full;
    }
}

void RunningHash::add(std::string_view bytes)
{
    m_length += bytes.size();
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    std::size_t size = bytes.size();
    if (m_pendingBytes != 0) {
        const std::size_t n = std::min(size, sizeof m_pending - m_pendingBytes);
        std::memcpy(m_pending + m_pendingBytes, data, n);
        m_pendingBytes += n;
        data += n;
        size -= n;
        if (m_pendingBytes < sizeof m_pending)
            return;
        mix(m_pending);
        m_pendingBytes = 0;
    }
    for (; size >= sizeof m_pending; data += sizeof m_pending, size -= sizeof m_pending)
        mix(data);
    std::memcpy(m_pending, data, size);
    m_pendingBytes = size;
}

std::uint64_t RunningHash::value() const
{
    RunningHash last = *this;
    std::memset(last.m_pending + m_pendingBytes, 0, sizeof m_pending - m_pendingBytes);
    last.mix(last.m_pending);
    std::uint64_t h = m_length * 0x9E3779B97F4A7C15ull;
    for (const std::uint64_t lane : last.m_lanes) {
        h = (h ^ lane) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
    }
    return h;
}

} // namespace tags
