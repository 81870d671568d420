#pragma once

#include <string>

namespace app {

// The file that the install puts beside the executable and a build folder never holds: its
// presence marks an installed program, which keeps its settings out of its own folder.
constexpr char InstalledMarkerName[] = "bellwick.installed";

// The help page, installed beside the executable.
constexpr char HelpPageName[] = "belwik.htm";

// Whether the program in this folder is an installed one: the marker is a regular file there.
bool isInstalledProgram(const std::string &programFolder);

// The help page to open: `name` in the current folder when it is a regular file there, else
// the copy in the program's folder. Gives a full path, or empty when neither exists. An empty
// folder (the current one could not be told) is not looked in.
std::string findHelpPage(
    const std::string &name, const std::string &currentFolder, const std::string &programFolder);

} // namespace app
