#include "app/settingsfile.h"

#include <sys/stat.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include <unistd.h>

#include "app/programfiles.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/profilefile.h"

namespace app {

std::string settingName(std::size_t index)
{
    static const char *const named[] = {"TOP", "LEFT", "WIDTH", "HEIGHT", "VIEWHEIGHT"};
    constexpr auto firstColumn = static_cast<std::size_t>(SettingKey::Columns10);
    static_assert(std::size(named) == firstColumn);
    if (index < firstColumn)
        return named[index];
    const std::size_t column = index - firstColumn;
    constexpr auto columns = static_cast<std::size_t>(lists::ColumnCount);
    return "Columns" + std::to_string(column / columns + 1) + std::to_string(column % columns);
}

std::optional<int> parseSettingInteger(std::string_view text)
{
    const auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string_view hex;
    if (!text.empty() && text.front() == '$')
        hex = text.substr(1);
    else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        hex = text.substr(2);
    if (hex.data() != nullptr && hex.data() != text.data()) {
        if (hex.empty())
            return std::nullopt;
        // Leading zeros do not count against the eight digits.
        while (hex.size() > 1 && hex.front() == '0')
            hex.remove_prefix(1);
        if (hex.size() > 8)
            return std::nullopt;
        std::uint32_t pattern = 0;
        for (const char c : hex) {
            const int digit = hexDigit(c);
            if (digit < 0)
                return std::nullopt;
            pattern = pattern << 4 | static_cast<std::uint32_t>(digit);
        }
        return static_cast<int>(static_cast<std::int32_t>(pattern));
    }
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    // Leading zeros do not count against the ten digits.
    while (text.size() > 1 && text.front() == '0')
        text.remove_prefix(1);
    if (text.size() > 10)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

WindowSettings readSettings(const std::string &path, const WindowSettings &defaults)
{
    const platform::ProfileSection section = platform::readProfileSection(path, SettingsSection);
    WindowSettings settings = defaults;
    for (std::size_t i = 0; i < SettingCount; ++i) {
        if (const std::string *text = section.find(settingName(i))) {
            if (const std::optional<int> value = parseSettingInteger(*text))
                settings[i] = *value;
        }
    }
    return settings;
}

bool writeSettings(const std::string &path, const WindowSettings &settings)
{
    std::vector<std::pair<std::string, std::string>> entries;
    for (std::size_t i = 0; i < SettingCount; ++i)
        entries.emplace_back(settingName(i), std::to_string(settings[i]));
    return platform::writeProfileSection(path, SettingsSection, entries);
}

platform::CodePage readCodePage(const std::string &path)
{
    const platform::ProfileSection section = platform::readProfileSection(path, TextSection);
    if (const std::string *text = section.find(CodePageKey)) {
        if (const std::optional<int> number = parseSettingInteger(*text)) {
            if (const std::optional<platform::CodePage> codePage
                = platform::codePageOfNumber(*number))
                return *codePage;
        }
    }
    return platform::CodePage::Cp932;
}

bool writeCodePage(const std::string &path, platform::CodePage codePage)
{
    if (codePage == platform::CodePage::Cp932
        && !platform::readProfileSection(path, TextSection).find(CodePageKey))
        return true;
    return platform::writeProfileSection(
        path, TextSection, {{CodePageKey, std::to_string(static_cast<int>(codePage))}});
}

std::string readNameSetting(const std::string &path, const char *key, const char *fallback)
{
    const platform::ProfileSection section = platform::readProfileSection(path, NamesSection);
    const std::string *text = section.find(key);
    return text ? *text : fallback;
}

bool writeNameSetting(const std::string &path, const char *key, const std::string &text)
{
    // Quoted, so that the reader's removal of spaces and of one pair of quotes gives the text
    // back as it was, spaces and quotes at its ends included.
    return platform::writeProfileSection(path, NamesSection, {{key, '"' + text + '"'}});
}

std::string chooseSettingsPath(
    const std::string &executableFolder, const char *xdgConfigHome, const char *home)
{
    const std::string beside = platform::AddBackslash(executableFolder) + SettingsFileName;
    // An installed program never writes into its own folder, root included: a file left
    // there would outlive the program's removal.
    struct stat st;
    if (!isInstalledProgram(executableFolder)
        && (platform::fileSystem().stat(beside.c_str(), &st, false) == 0
            || ::access(executableFolder.c_str(), W_OK) == 0))
        return beside;
    std::string config = xdgConfigHome && *xdgConfigHome == '/'
        ? std::string(xdgConfigHome)
        : std::string(home ? home : "") + "/.config";
    return platform::AddBackslash(config) + "bellwick/" + SettingsFileName;
}

namespace {
std::string chosenPath;
} // namespace

const std::string &settingsPath()
{
    return chosenPath;
}

void setSettingsPath(std::string path)
{
    chosenPath = std::move(path);
}

void makeSettingsFolder(const std::string &path)
{
    struct stat st;
    if (platform::fileSystem().stat(path.substr(0, path.rfind('/')).c_str(), &st, true) == 0)
        return;
    // Only the program's own folder under the configuration folder is made.
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string parent = folder.substr(0, folder.rfind('/'));
    platform::fileSystem().mkdir(parent.c_str(), 0700);
    platform::fileSystem().mkdir(folder.c_str(), 0700);
}

} // namespace app
