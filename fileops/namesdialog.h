#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fileops/namesfromtags.h"

class QWidget;

namespace fileops {

// What the names-from-tags dialog was closed with by "実行": the format and box as they
// stood, and the preview made of them.
struct NamesChoice
{
    std::string format;
    bool replaceFatCharacters = false;
    NamePlan plan;
};

// The placeholders a format of names takes, as the dialog lists them.
extern const char *const NameFormatHelp;

// Shows the dialog "タグからファイル名を付ける" for the files, starting from `format` and the
// FAT box as given; the preview reads each file's tag anew. Nothing when cancelled.
std::optional<NamesChoice> askNamesFromTags(QWidget *parent, const std::vector<std::string> &paths,
    const std::string &format, bool replaceFatCharacters);

} // namespace fileops
