#include "cli/clioptions.h"

#include <algorithm>
#include <array>

#include "lists/columns.h"

namespace cli {

namespace {

const std::array<const char *, 13> Commands = {"scan", "search", "show", "set", "write", "rename",
    "fromname", "export-v2", "history", "undo", "redo", "genres", "help"};

bool changesFiles(const std::string &command)
{
    return command == "set" || command == "write" || command == "rename" || command == "fromname"
        || command == "export-v2";
}

bool previews(const std::string &command)
{
    return command == "rename" || command == "fromname" || command == "export-v2";
}

bool isField(const lists::ColumnEntry &entry)
{
    return entry.tagPart != lists::TagPart::None;
}

// The text options each command takes: search a condition on the file name and on each tag
// field, set and write a text per tag field.
std::vector<std::string> textOptionsOf(const std::string &command)
{
    const bool search = command == "search";
    if (!search && command != "set" && command != "write")
        return {};
    std::vector<std::string> names;
    for (const lists::ColumnEntry &entry : lists::Columns) {
        if (isField(entry) || (search && entry.subItem == lists::SubItem::Path))
            names.emplace_back(entry.name);
    }
    return names;
}

bool isField(const std::string &name)
{
    const std::optional<lists::Column> column = lists::columnNamed(name);
    return column && isField(lists::columnSpec(*column));
}

} // namespace

std::optional<Options> parseOptions(const std::vector<std::string> &args, std::string &error)
{
    Options options;
    if (args.empty()) {
        error = "no command given (try --help)";
        return std::nullopt;
    }
    options.command = args[0];
    if (options.command == "--help" || options.command == "-h")
        options.command = "help";
    if (std::find(Commands.begin(), Commands.end(), options.command) == Commands.end()) {
        error = "unknown command: " + args[0];
        return std::nullopt;
    }
    const std::vector<std::string> textNames = textOptionsOf(options.command);
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            options.arguments.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto takeValue = [&]() -> bool {
            if (value)
                return true;
            if (i + 1 >= args.size()) {
                error = "option --" + name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        const auto noValue = [&]() -> bool {
            if (!value)
                return true;
            error = "option --" + name + " takes no value";
            return false;
        };
        if (name == "help") {
            if (!noValue())
                return std::nullopt;
            options.command = "help";
        } else if (name == "encoding") {
            if (!takeValue())
                return std::nullopt;
            const std::optional<platform::CodePage> codePage = platform::codePageOfName(*value);
            if (!codePage) {
                error = "--encoding takes cp932, cp1252, cp1251, cp936, cp949, cp950 or utf-8, "
                        "not "
                    + *value;
                return std::nullopt;
            }
            options.encoding = *codePage;
        } else if (std::find(textNames.begin(), textNames.end(), name) != textNames.end()) {
            if (!takeValue())
                return std::nullopt;
            options.texts.emplace_back(name, *value);
        } else if (name == "erase" && options.command == "set") {
            if (!takeValue())
                return std::nullopt;
            if (!isField(*value)) {
                error = "--erase takes " + columnNames(true) + ", not " + *value;
                return std::nullopt;
            }
            options.erase.push_back(*value);
        } else if (name == "sort" && options.command == "scan") {
            if (!takeValue())
                return std::nullopt;
            options.sortColumn = *value;
        } else if (name == "desc" && options.command == "scan") {
            if (!noValue())
                return std::nullopt;
            options.descending = true;
        } else if (name == "format" && options.command == "rename") {
            if (!takeValue())
                return std::nullopt;
            options.format = *value;
        } else if (name == "pattern" && options.command == "fromname") {
            if (!takeValue())
                return std::nullopt;
            options.pattern = *value;
        } else if (name == "fat" && options.command == "rename") {
            if (!noValue())
                return std::nullopt;
            options.fat = true;
        } else if (name == "dry-run" && previews(options.command)) {
            if (!noValue())
                return std::nullopt;
            options.dryRun = true;
        } else if (name == "no-journal" && changesFiles(options.command)) {
            if (!noValue())
                return std::nullopt;
            options.noJournal = true;
        } else if (name == "batch" && options.command == "undo") {
            if (!takeValue())
                return std::nullopt;
            std::uint64_t number = 0;
            for (const char c : *value) {
                if (c < '0' || c > '9' || number > 1000000000000ull) {
                    number = 0;
                    break;
                }
                number = number * 10 + static_cast<std::uint64_t>(c - '0');
            }
            if (number == 0) {
                error = "--batch takes a batch number as history shows it, not " + *value;
                return std::nullopt;
            }
            options.batch = number;
        } else if (name == "overwrite" && options.command == "export-v2") {
            if (!noValue())
                return std::nullopt;
            options.overwrite = true;
        } else if (name == "and" && options.command == "search") {
            if (!noValue())
                return std::nullopt;
            options.allConditions = true;
        } else {
            error = "unknown option for " + options.command + ": --" + name;
            return std::nullopt;
        }
    }
    return options;
}

std::string columnNames(bool fieldsOnly)
{
    std::vector<const char *> names;
    for (const lists::ColumnEntry &entry : lists::Columns) {
        if (!fieldsOnly || isField(entry))
            names.push_back(entry.name);
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

const std::string *textOption(const Options &options, const std::string &name)
{
    const std::string *found = nullptr;
    for (const auto &[key, value] : options.texts) {
        if (key == name)
            found = &value;
    }
    return found;
}

} // namespace cli
