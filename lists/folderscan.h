#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "tags/tagfile.h"

namespace lists {

// True when a name's extension (from its last ".") is ".MP3" or ".MP2" after the ASCII fold.
bool hasAudioExtension(std::string_view name);

// Called for every audio entry the scan meets, with its full path and what the listing said
// of its type.
using AudioEntryHandler = std::function<void(const std::string &path, tags::FileKind kind)>;
// Called before each folder is read and before each of its entries is visited, however few
// audio files there are: the caller's chance to keep its window alive. True ends the walk.
using WalkStep = std::function<bool()>;

// Walks a folder depth first: each folder is read whole and closed, then its entries are
// visited in name order (ascending bytes after the ASCII fold, ties by the raw bytes). Every
// entry with an audio extension goes to `onAudio`, whatever its type; every folder whose
// name does not begin with "." is entered at once, with these exceptions, which keep the
// walk finite on any tree:
// - a folder (device and inode) already entered in this walk, by whatever path, is not
//   entered again: the first path met is the one listed;
// - a folder on a pseudo file system (proc, sysfs, devtmpfs...) is not entered from another
//   file system; inside one (when the walk starts there), links to folders are not followed.
// A folder that cannot be listed is passed over in silence. Errors thrown by `onAudio` end
// the walk, and so does `step` (when given) answering true.
void scanFolder(
    const std::string &folder, const AudioEntryHandler &onAudio, const WalkStep &step = {});

} // namespace lists
