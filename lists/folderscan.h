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
// Asked before every entry; true ends the walk there.
using StopRequest = std::function<bool()>;

// Walks a folder depth first: each folder is read whole and closed, then its entries are
// visited in name order (ascending bytes after the ASCII fold, ties by the raw bytes). Every
// entry with an audio extension goes to `onAudio`, whatever its type; every folder whose
// name does not begin with "." is entered at once, unless it is already on the current
// descent path (same device and inode), so no link can make the walk endless. A folder that
// cannot be listed is passed over in silence. Errors thrown by `onAudio` end the walk, and so
// does `stopRequested` (when given) answering true.
void scanFolder(const std::string &folder, const AudioEntryHandler &onAudio,
    const StopRequest &stopRequested = {});

} // namespace lists
