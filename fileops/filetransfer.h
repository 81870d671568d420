#pragma once

#include <string>

namespace fileops {

// The single-file steps of copy, move, delete and new folder, on file-system bytes.
// Each gives 0 on success or the errno of the step that failed; a failure leaves every
// existing file as it was.

// True only for an existing regular file (links followed), never for a folder.
bool fileExists(const std::string &path);

// Copies content, mode and modification time into a temporary file in the destination's
// folder, flushes it to disk and only then puts it at `destination`, replacing a file
// there. Refused without touching anything: a source and destination that are the same
// file (by device and inode, so also through links), a folder or other non-regular file at
// the destination, and a destination without owner write permission (EACCES). A file that
// appears at a free destination while the copy runs is not replaced (EEXIST).
int copyFile(const std::string &source, const std::string &destination);

// Deletes a file (a link itself, not its target). A file without owner write permission
// is made writable for the deletion and gets its exact former mode back when the deletion
// fails.
int deleteFile(const std::string &path);

// Copies, flushes the destination folder so the copy survives a power cut, then deletes
// the source. When the deletion fails the copy stays and the source keeps its former mode.
int moveFile(const std::string &source, const std::string &destination);

// The outcome of a folder creation: the program's error code (0 when made) and its text.
struct FolderOutcome
{
    int code = 0;
    std::string text;
    std::string path; // the folder made, when it was made
    bool isMade() const { return code == 0; }
};

// Creates exactly the last component of `path`. A refusal is mapped to the program's
// codes: EEXIST 183, ENOENT/ENOTDIR 3, EACCES/EPERM/EROFS 5, EMFILE/ENFILE 4,
// ENOSPC/EDQUOT 101, EINVAL 123, ENAMETOOLONG 206; any other errno keeps its number and
// gets the general text, since Linux numbers collide with the table (EIO is 5).
FolderOutcome makeFolder(const std::string &path);

// The input/output error text of a program code: "ファイルが見つかりません" (2),
// "不正なファイル名です" (3), ... and "I/O エラー (N)" for a code without a text of its own.
std::string ioErrorText(int code);

} // namespace fileops
