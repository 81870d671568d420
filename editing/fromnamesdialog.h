#pragma once

#include <optional>
#include <string>
#include <vector>

#include "editing/tagsfromnames.h"

class QWidget;

namespace editing {

// What the tags-from-names dialog was closed with by "実行": the pattern as it stood and the
// preview made of it.
struct FromNamesChoice
{
    std::string pattern;
    FromNamePlan plan;
};

// The placeholders a pattern takes, as the dialog lists them.
extern const char *const NamePatternHelp;

// Shows the dialog "ファイル名からタグを読む" for the files, starting from `pattern`. Nothing
// when cancelled.
std::optional<FromNamesChoice> askTagsFromNames(
    QWidget *parent, const std::vector<std::string> &paths, const std::string &pattern);

} // namespace editing
