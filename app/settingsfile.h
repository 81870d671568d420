#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "lists/columns.h"
#include "platform/textcodec.h"

namespace app {

// The window settings kept in BELWIK.INI, section "Window", in the order in which they are
// read and written.
enum class SettingKey {
    Top,
    Left,
    Width,
    Height,
    ViewHeight,
    Columns10,                                  // result list, a key per column
    Columns20 = Columns10 + lists::ColumnCount, // work list, a key per column
    Count = Columns20 + lists::ColumnCount
};
constexpr std::size_t SettingCount = static_cast<std::size_t>(SettingKey::Count);
using WindowSettings = std::array<int, SettingCount>;

constexpr char SettingsSection[] = "Window";
constexpr char SettingsFileName[] = "BELWIK.INI";

// "TOP", "LEFT", "WIDTH", "HEIGHT", "VIEWHEIGHT", "Columns10" ... "Columns26".
std::string settingName(std::size_t index);

// A stored integer: decimal with an optional "-" inside the 32-bit range, or hexadecimal
// after "$", "0x" or "0X" with one to eight digits, taken as a 32-bit pattern
// ($FFFFFFFF is -1); leading zeros are allowed in both. Anything else (empty, a sign alone,
// more digits) is no number.
std::optional<int> parseSettingInteger(std::string_view text);

// Reads the settings: each key's number, or the default given for it.
WindowSettings readSettings(const std::string &path, const WindowSettings &defaults);

// Writes every key in one step: either the whole new file or the old one stays. Gives false
// when the file could not be written (the old file is then byte-identical).
bool writeSettings(const std::string &path, const WindowSettings &settings);

// The tag code page, kept in its own section so that "Window" stays as it is.
constexpr char TextSection[] = "Text";
constexpr char CodePageKey[] = "CODEPAGE";

// The code page stored as its Windows number; missing, unknown or no number gives CP932.
platform::CodePage readCodePage(const std::string &path);

// Stores the code page, unless it is CP932 and the file has no such key: a user who never
// chooses one keeps the file with the window settings alone. Gives false when the file could
// not be written.
bool writeCodePage(const std::string &path, platform::CodePage codePage);

// The formats of the tools' name commands, in their own section so that "Window" stays as it
// is: the names-from-tags format and the tags-from-names pattern.
constexpr char NamesSection[] = "Names";
constexpr char NameFormatKey[] = "FORMAT";
constexpr char NamePatternKey[] = "PATTERN";
constexpr char DefaultNameFormat[] = "%artist% - %title%";
constexpr char DefaultNamePattern[] = "%artist%/%album%/%track% %title%";

// The text kept under `key` of the names section, exactly as it was written; `fallback` when
// there is none.
std::string readNameSetting(const std::string &path, const char *key, const char *fallback);
// Keeps the text under `key`. Gives false when the file could not be written.
bool writeNameSetting(const std::string &path, const char *key, const std::string &text);

// Where the settings live, chosen once: beside the executable when the file is there or
// that folder can be written and the program is not an installed one, else
// $XDG_CONFIG_HOME/bellwick/ (default ~/.config/bellwick/).
std::string chooseSettingsPath(
    const std::string &executableFolder, const char *xdgConfigHome, const char *home);

// The settings file of this run, chosen once at start-up (empty: none is read or written).
const std::string &settingsPath();
void setSettingsPath(std::string path);

// Makes the folder of a settings path under the configuration folder when it is missing.
void makeSettingsFolder(const std::string &path);

} // namespace app
