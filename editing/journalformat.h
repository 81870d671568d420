#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tags/id3v1.h"

namespace editing::journal {

// The records of the tag journal and their bytes. A record is framed as
//   "BWJ1", u32 payload length, payload, u32 CRC-32 of the payload, u32 payload length
// (numbers little-endian), so that it can be checked from either end; its payload starts
// with its type and the id of the batch (or undo or redo run) it belongs to.
//
// Compatibility. The frame never changes; what changes from one format to the next is the
// set of record types and the fields at the end of a payload. A record whose frame and
// checksum are whole was written whole, so a reader keeps it whatever it holds: one of a type
// it does not know, or one it cannot decode, is skipped and stays in the file, and compaction
// copies it with the batch it lies in. Only bytes that are no whole record (a torn or damaged
// tail, left by a writer that was killed) are cut, and only by the holder of the lock.
// Records may be large (old tag regions of several MiB); the journal's size bound still holds.
//
// Each batch's Begin record is followed, in the same append, by a Format record naming the
// format its writer follows (FormatVersion). Format 1, the first, knew no Format record and
// treated any record it could not decode, or longer than 64 KiB, as damage: it skips such
// records, and cuts them off when they end the file. So a format 1 program meeting a newer
// journal reads the batches it knows and undoes them as before, and can lose only the newest
// records of kinds it does not know, when a newer writer was killed right after them. From
// format 2 on, nothing whole is ever lost to an older reader. Format 3 adds the Stamp, Left
// and Mode records; a format 2 reader keeps and skips them. Format 4 adds the Rename records
// of a batch of renames and the Region records of an export to ID3v2 tags; a format 3 reader
// keeps and skips them, and leaves such a batch out of its history as one that wrote no file.

constexpr std::uint32_t FormatVersion = 4;

enum class RecordType : std::uint8_t {
    Begin = 1,   // a batch or run begins
    Before = 2,  // a file is about to be written
    After = 3,   // it was written
    End = 4,     // the batch or run is complete
    Restore = 5, // an undo or redo run's decision for one file, made before it acts
    Format = 6,  // the format the next records follow
    // Kinds added later take numbers well apart from the first ones, so that kinds added
    // meanwhile elsewhere do not meet them.
    Stamp = 16,  // when a batch or run began, to the nanosecond (follows its Begin)
    Left = 17,   // what a write or a restore left of a file
    Mode = 18,   // a file's mode is about to change for a write
    Rename = 19, // a file of a batch of renames: its name before and after
    Region = 20, // a file's ID3v2 tag region is about to be replaced
};

enum class RunKind : std::uint8_t { Write = 0, Undo = 1, Redo = 2 };

enum class RestoreAction : std::uint8_t { Restore = 0, AlreadyDone = 1, LeftAlone = 2 };

struct BeginRecord
{
    RunKind kind = RunKind::Write;
    std::uint64_t target = 0; // the batch an undo or redo run takes
    std::int64_t time = 0;    // seconds since the epoch
    std::string name;
};

// A file as it was before a write, and what the write was to put there.
struct BeforeRecord
{
    std::string path; // absolute
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::uint32_t mode = 0;
    std::int64_t mtimeSeconds = 0;
    std::int64_t mtimeNanoseconds = 0;
    bool hasTail = false; // false: the file had fewer than 128 bytes
    bool appends = false; // the block goes after the tail rather than over it
    tags::Block tail {};
    tags::Block block {};

    // Where the block goes and the size the file has after it.
    std::int64_t writeAt() const { return appends ? size : size - std::int64_t(tags::BlockSize); }
    std::int64_t sizeAfter() const { return writeAt() + std::int64_t(tags::BlockSize); }
};

struct AfterRecord
{
    std::uint32_t index = 0; // of the batch's Before record it completes, from 0
    std::int64_t newSize = 0;
};

// The time a batch or run began, finer than its Begin record's seconds: batches of two
// journals are ordered by it.
struct StampRecord
{
    std::int64_t nanoseconds = 0; // since the epoch
};

// A file as a write (or an undo or redo of it) left it: undo restores only this file.
struct LeftRecord
{
    std::string path;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtimeSeconds = 0;
    std::int64_t mtimeNanoseconds = 0;
};

// A file's mode before owner write is added for a write, noted before the change.
struct ModeRecord
{
    std::string path;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t mode = 0;    // before
    std::uint32_t newMode = 0; // for the write
};

// A file a batch of renames is to rename, noted before any file of the batch is: the file's
// identity tells that a name still names it when the batch is undone or redone.
struct RenameRecord
{
    std::string path;    // absolute, before
    std::string newPath; // absolute, after
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t birth = 0; // the file's birth time in nanoseconds, 0 when not told
};

// A file as it was before its tag region at the start was replaced, with the region it had
// (empty: none) and the one put there. A rewrite makes a new file: what it left is told by a
// Left record.
struct RegionRecord
{
    std::string path; // absolute
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;    // before
    std::int64_t newSize = 0; // after
    std::uint32_t mode = 0;
    std::int64_t mtimeSeconds = 0;
    std::int64_t mtimeNanoseconds = 0;
    bool hasTail = false; // the file's last 128 bytes were an ID3v1 tag, kept in `tail`
    tags::Block tail {};
    std::string oldRegion;
    std::string newRegion;
};

struct RestoreRecord
{
    std::string path;
    RestoreAction action = RestoreAction::Restore;
};

struct Record
{
    RecordType type = RecordType::End;
    std::uint64_t id = 0;
    BeginRecord begin;
    BeforeRecord before;
    AfterRecord after;
    RestoreRecord restore;
    std::uint32_t formatVersion = 0;
    StampRecord stamp;
    LeftRecord left;
    ModeRecord mode;
    RenameRecord rename;
    RegionRecord region;
};

constexpr std::size_t FrameSize = 16;
// Larger payloads are damage; a writer never makes one (appendRecord throws).
constexpr std::uint32_t MaxPayload = 64u << 20;

std::uint32_t crc32(std::string_view bytes);

// Appends the framed bytes of a record to `out`.
void appendBegin(std::string &out, std::uint64_t id, const BeginRecord &begin);
void appendBefore(std::string &out, std::uint64_t id, const BeforeRecord &before);
void appendAfter(std::string &out, std::uint64_t id, const AfterRecord &after);
void appendEnd(std::string &out, std::uint64_t id);
void appendRestore(std::string &out, std::uint64_t id, const RestoreRecord &restore);
// A record of any type from its fields' bytes (after the type and id); throws
// std::length_error when it would pass MaxPayload.
void appendRecord(std::string &out, RecordType type, std::uint64_t id, std::string_view fields);

void appendStamp(std::string &out, std::uint64_t id, const StampRecord &stamp);
void appendLeft(std::string &out, std::uint64_t id, const LeftRecord &left);
void appendMode(std::string &out, std::uint64_t id, const ModeRecord &mode);
void appendRename(std::string &out, std::uint64_t id, const RenameRecord &rename);
// Throws std::length_error when the record would pass MaxPayload.
void appendRegion(std::string &out, std::uint64_t id, const RegionRecord &region);
// The payload a Region record of these regions and path takes.
std::uint64_t regionPayloadSize(
    std::size_t pathSize, std::size_t oldRegionSize, std::size_t newRegionSize);

// A stretch of the journal that holds no whole record, between two that are whole.
struct Damage
{
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::size_t fileRecords = 0; // the records in it that may have been a file's Before record
    std::string path;            // the path such a record seems to name, when it reads as one
};

// Reads the records of a journal descriptor from `from` to `to`, calling `onRecord` with
// each known one and its offset. A whole record this reader does not know is passed over.
// A damaged or torn record is skipped: the reading goes on at the next place where a whole
// record starts. Gives the end of the last whole record, known or not (`from` when there is
// none); throws platform::Error when the file cannot be read. `onDamage`, when given, is
// told of each damaged stretch followed by a whole record; a whole record of a kind this
// reader does not know is never damage.
std::int64_t readRecords(int fd, const std::string &path, std::int64_t from, std::int64_t to,
    const std::function<void(const Record &, std::int64_t offset)> &onRecord,
    const std::function<void(const Damage &)> &onDamage = {});

} // namespace editing::journal
