#pragma once

#include <optional>
#include <string>

#include "fileops/transferrun.h"

class FileListView;
class QWidget;
class TForm2;

namespace fileops {

// Copy or move once the target folder is chosen: every selected row of the work list (every
// row when none is selected) in list order, asking before a file at the destination is
// replaced. Done rows leave the list; skipped and failed ones stay, unselected, without a
// message. The list is brought up to date before each question and however the run ends.
// The run's progress goes to `control`, which may also stop it.
void transferRows(FileListView &workList, const std::string &folder, Transfer kind, QWidget *parent,
    platform::IRunControl *control = nullptr);

// Deletes the files of the selected rows (asked for already); rows as for a transfer.
void deleteRows(FileListView &workList, platform::IRunControl *control = nullptr);

// Shows the new-folder dialog with the name it offers first; gives the folder made, if any.
std::optional<std::string> showNewFolderDialog(TForm2 &dialog);

} // namespace fileops
