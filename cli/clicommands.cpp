#include "cli/clicommands.h"

#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "editing/bulktagrun.h"
#include "editing/exportrun.h"
#include "editing/renameundo.h"
#include "editing/tagjournal.h"
#include "editing/tagsfromnames.h"
#include "fileops/namesfromtags.h"
#include "fileops/renamerun.h"
#include "lists/readahead.h"
#include "lists/row.h"
#include "lists/rowsort.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/textcodec.h"
#include "search/searchmatch.h"
#include "tags/genretable.h"
#include "tags/id3v1.h"
#include "tags/id3v2export.h"
#include "tags/tagfile.h"

namespace cli {

namespace {

// A usage error found while checking the arguments: nothing has been done yet.
struct Usage
{
    std::string reason;
};

// The column of a field option the parser has accepted.
const lists::ColumnEntry &fieldNamed(const std::string &name)
{
    return lists::columnSpec(lists::columnNamed(name).value_or(lists::Column::FileName));
}

std::string lineOf(const lists::Row &row)
{
    std::string line;
    for (const lists::ColumnEntry &entry : lists::Columns) {
        const std::string_view bytes = lists::shownBytes(row, entry.column);
        // The file name is printed as the file system's bytes, tag texts in UTF-8.
        if (entry.subItem == lists::SubItem::Path)
            appendEscaped(line, bytes);
        else
            appendEscaped(line, platform::tagTextToUtf8(bytes));
        line += '\t';
    }
    appendEscaped(line, row.path());
    line += '\n';
    return line;
}

void print(std::FILE *out, const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), out);
}

std::string codePageTitle()
{
    return platform::codePageTitle(platform::tagCodePage());
}

// A tag text or condition from the command line in the tag code page.
std::string tagBytes(const std::string &option, const std::string &text)
{
    const std::optional<std::string> bytes = platform::utf8ToTagText(text);
    if (!bytes)
        throw Usage {"--" + option + " holds a character that " + codePageTitle() + " cannot hold"};
    return *bytes;
}

// A tag text from the command line in the tag code page, checked against its field's width.
std::string encodedText(const std::string &field, const std::string &text, std::size_t width)
{
    const std::string bytes = tagBytes(field, text);
    if (bytes.size() > width)
        throw Usage {"--" + field + " is " + std::to_string(bytes.size()) + " bytes in "
            + codePageTitle() + "; the field holds " + std::to_string(width)};
    return bytes;
}

std::uint8_t genreCode(const std::string &name)
{
    const std::uint8_t code = tags::GenreNameToCode(name);
    if (code == tags::NoGenre)
        throw Usage {"unknown genre: " + name + " (see: bellwick-cli genres)"};
    return code;
}

void requireFolders(const std::vector<std::string> &folders)
{
    if (folders.empty())
        throw Usage {"no FOLDER given"};
    for (const std::string &folder : folders) {
        struct stat st;
        if (platform::fileSystem().stat(folder.c_str(), &st, true) != 0 || !S_ISDIR(st.st_mode))
            throw Usage {"not a folder: " + folder};
    }
}

void requireFiles(const std::vector<std::string> &files)
{
    if (files.empty())
        throw Usage {"no FILE given"};
}

// Rows of every audio file below the folders, in scan order; a file that cannot be read
// ends the scan with its message after the rows before it were given to `onRow`.
template<typename OnRow> void scanRows(const std::vector<std::string> &folders, OnRow &&onRow)
{
    for (const std::string &folder : folders) {
        lists::scanFolderReadingAhead(
            folder, [&](const std::string &path, const tags::TTagRecord &tag) {
                onRow(lists::makeRow(path, tag));
            });
    }
}

int scanCommand(const Options &options, std::FILE *out)
{
    std::optional<lists::Column> sortKey;
    if (!options.sortColumn.empty()) {
        sortKey = lists::columnNamed(options.sortColumn);
        if (!sortKey)
            throw Usage {"--sort takes " + columnNames(false)};
    } else if (options.descending) {
        throw Usage {"--desc goes with --sort"};
    }
    requireFolders(options.arguments);
    if (!sortKey) {
        scanRows(options.arguments, [out](const lists::Row &row) { print(out, lineOf(row)); });
        return Done;
    }
    std::vector<lists::Row> rows;
    const auto printSorted = [&] {
        for (const std::size_t i : lists::sortedOrder(rows, *sortKey, options.descending ? -1 : 1))
            print(out, lineOf(rows[i]));
    };
    try {
        scanRows(options.arguments, [&rows](lists::Row row) { rows.push_back(std::move(row)); });
    } catch (...) {
        // The rows read before the failing file are still sorted and printed.
        printSorted();
        throw;
    }
    printSorted();
    return Done;
}

int searchCommand(const Options &options, std::FILE *out)
{
    search::Conditions conditions;
    conditions.allMustMatch = options.allConditions;
    for (const lists::ColumnEntry &entry : lists::Columns) {
        const std::string *text = textOption(options, entry.name);
        if (!text)
            continue;
        if (entry.subItem == lists::SubItem::Path)
            conditions.fileName = *text; // matched as file-system bytes
        else if (entry.tagPart == lists::TagPart::Text)
            conditions.text(entry.textField) = tagBytes(entry.name, *text);
    }
    if (const std::string *genre = textOption(options, lists::genreColumn().name)) {
        genreCode(*genre);
        conditions.genre = *genre;
    }
    requireFolders(options.arguments);
    const search::Matcher matcher(conditions);
    scanRows(options.arguments, [&](const lists::Row &row) {
        if (matcher.matches(row))
            print(out, lineOf(row));
    });
    return Done;
}

int showCommand(const Options &options, std::FILE *out)
{
    requireFiles(options.arguments);
    for (const std::string &path : options.arguments)
        print(out, lineOf(lists::makeRow(path, tags::ReadTag(path))));
    return Done;
}

int fileMissing(std::FILE *err, const std::string &path)
{
    std::fprintf(err, "bellwick-cli: ファイルが開けません: %s\n", path.c_str());
    return FileFailed;
}

// The bulk run's report for the companion: nothing to show per file.
class SilentReport final : public editing::IBulkTagReport
{
public:
    void written(std::size_t) override { }
};

// The journal's lock, waited for as long as another process holds it, saying once what for.
std::unique_ptr<editing::JournalHold> holdJournal(editing::ITagJournal &journal, std::FILE *err)
{
    if (std::unique_ptr<editing::JournalHold> held = journal.tryHold())
        return held;
    std::string line = "bellwick-cli: タグ履歴の使用を待っています";
    if (const std::string holder = journal.batchInProgress(); !holder.empty()) {
        line += ": ";
        appendEscaped(line, holder);
    }
    line += '\n';
    print(err, line);
    return journal.hold();
}

// The writer of set and write: through the journal, so that `bellwick-cli undo` (or the
// window) can take the command back. Without a journal it writes only when given
// --no-journal.
class CommandWriter
{
public:
    CommandWriter(const Options &options, std::FILE *err, const char *batchName)
        : m_writer(
            options.noJournal ? nullptr : std::shared_ptr(editing::ITagJournal::open()),
            [&options] { return options.noJournal; },
            [err](editing::ITagJournal &journal) { return holdJournal(journal, err); })
        , m_batch(m_writer, batchName)
    { }

    bool started() const { return m_batch.started(); }
    editing::ITagWriter &writer() { return m_writer; }

private:
    editing::JournaledTagWriter m_writer;
    editing::TagWriteBatch m_batch;
};

// "neither ~/.local/state/bellwick nor ~/.cache/bellwick can be written", with the folders
// this process would use.
std::string journalFoldersText()
{
    std::vector<std::string> folders = editing::journalFolders();
    for (std::string &folder : folders) {
        if (folder.empty())
            folder = "(no folder: HOME is not set)";
    }
    std::string line = "neither ";
    appendEscaped(line, folders.at(0));
    line += " nor ";
    appendEscaped(line, folders.at(1));
    return line + " can be written";
}

int noJournal(std::FILE *err)
{
    print(err,
        "bellwick-cli: the undo journal cannot be kept (" + journalFoldersText()
            + "); nothing written. --no-journal writes without it.\n");
    return FileFailed;
}

// Writes the merge into each file in turn, as the window's bulk setting does; stops at the
// first file that has gone.
int mergeIntoFiles(const Options &options, std::FILE *err, const tags::TagMerge &merge)
{
    CommandWriter command(options, err, "bellwick-cli set");
    if (!command.started())
        return noJournal(err);
    SilentReport report;
    const editing::BulkTagResult result
        = editing::runBulkTagSetting(options.arguments, merge, command.writer(), report);
    return result.outcome == editing::BulkTagResult::Outcome::FileMissing
        ? fileMissing(err, result.missingPath)
        : Done;
}

int setCommand(const Options &options, std::FILE *err)
{
    // As in the bulk dialog, an empty text keeps the field: a script's unset variable must
    // not blank a field in every file. Only --erase erases.
    tags::TagMerge merge;
    for (const auto &[name, text] : options.texts) {
        const lists::ColumnEntry &field = fieldNamed(name);
        if (field.tagPart == lists::TagPart::Genre) {
            merge.genre = text.empty()
                ? tags::GenreChange {}
                : tags::GenreChange {tags::GenreChange::Kind::Set, genreCode(text)};
            continue;
        }
        merge.texts[static_cast<std::size_t>(field.textField)] = text.empty()
            ? tags::TextChange::keep()
            : tags::TextChange::set(encodedText(name, text, field.span.width));
    }
    for (const std::string &name : options.erase) {
        const lists::ColumnEntry &field = fieldNamed(name);
        if (field.tagPart == lists::TagPart::Genre)
            merge.genre = {tags::GenreChange::Kind::Erase, tags::NoGenre};
        else
            merge.texts[static_cast<std::size_t>(field.textField)] = tags::TextChange::erase();
    }
    requireFiles(options.arguments);
    return mergeIntoFiles(options, err, merge);
}

int writeCommand(const Options &options, std::FILE *err)
{
    tags::CompleteTag tag;
    for (const auto &[name, text] : options.texts) {
        const lists::ColumnEntry &field = fieldNamed(name);
        if (field.tagPart == lists::TagPart::Genre)
            tag.genre = text.empty() ? tags::NoGenre : genreCode(text);
        else
            tag.texts[static_cast<std::size_t>(field.textField)]
                = encodedText(name, text, field.span.width);
    }
    if (options.arguments.size() != 1)
        throw Usage {"write takes exactly one FILE"};
    const std::string &path = options.arguments.front();
    CommandWriter command(options, err, "bellwick-cli write");
    if (!command.started())
        return noJournal(err);
    if (command.writer().write(path, tags::completeBlock(tag)) == tags::WriteOutcome::FileMissing)
        return fileMissing(err, path);
    return Done;
}

void printProblem(
    std::FILE *err, const char *what, const std::string &path, const platform::PathMessage &message)
{
    std::string line = std::string("bellwick-cli: ") + what + ": ";
    appendEscaped(line, path);
    print(err, line + ": " + message.withPathBytes() + '\n');
}

// Under --dry-run: one line per file, path, state and the texts as they would be written.
int exportPreview(const Options &options, const tags::ExportOptions &exportOptions, std::FILE *out,
    std::FILE *err)
{
    int status = Done;
    for (const std::string &path : options.arguments) {
        tags::ExportPlan plan;
        try {
            plan = tags::planExport(tags::readExportSource(path), exportOptions);
        } catch (const platform::Error &error) {
            plan.state = tags::ExportState::Refused;
            plan.refusal = error.message().withPathBytes();
        }
        std::string line;
        appendEscaped(line, path);
        line += '\t';
        line += tags::exportStateName(plan.state);
        for (const std::string &text : plan.texts.texts) {
            line += '\t';
            appendEscaped(line, text);
        }
        print(out, line + '\n');
        if (plan.state == tags::ExportState::Refused) {
            printProblem(err, "refused", path, {plan.refusal, {}, {}});
            status = FileFailed;
        }
    }
    return status;
}

// Exports as one batch of the journal; a file refused or failed is named and the rest go on.
int exportCommand(const Options &options, std::FILE *out, std::FILE *err)
{
    requireFiles(options.arguments);
    tags::ExportOptions exportOptions;
    exportOptions.codePage = options.encoding;
    exportOptions.overwrite = options.overwrite;
    if (options.dryRun)
        return exportPreview(options, exportOptions, out, err);
    const std::unique_ptr<editing::ITagJournal> journal
        = options.noJournal ? nullptr : editing::ITagJournal::open();
    if (!journal && !options.noJournal)
        return noJournal(err);
    std::unique_ptr<editing::JournalHold> held;
    if (journal)
        held = holdJournal(*journal, err);
    editing::IExportReport report;
    const editing::ExportRunResult result = editing::runExport(
        options.arguments, exportOptions, journal.get(), report, "bellwick-cli export-v2");
    if (!result.refusal.empty()) {
        print(err, "bellwick-cli: " + result.refusal + "; nothing written\n");
        return FileFailed;
    }
    for (const editing::ExportProblem &problem : result.refused)
        printProblem(err, "refused", problem.path, problem.message);
    for (const editing::ExportProblem &problem : result.failed)
        printProblem(err, "failed", problem.path, problem.message);
    return result.refused.empty() && result.failed.empty() ? Done : FileFailed;
}

// The states of the preview lines, as --help names them.
const char *stateWord(fileops::NameState state)
{
    switch (state) {
    case fileops::NameState::Changes:
        return "changes";
    case fileops::NameState::Unchanged:
        return "unchanged";
    case fileops::NameState::Conflict:
        return "conflict";
    case fileops::NameState::Refused:
        break;
    }
    return "refused";
}

const char *stateWord(editing::FromNameState state)
{
    switch (state) {
    case editing::FromNameState::Matches:
        return "matches";
    case editing::FromNameState::NoMatch:
        return "nomatch";
    case editing::FromNameState::Refused:
        break;
    }
    return "refused";
}

// "bellwick-cli: PATH: why", for a file a command did not do.
void printNotDone(std::FILE *err, const std::string &path, const platform::PathMessage &why)
{
    std::string line = "bellwick-cli: ";
    appendEscaped(line, path);
    line += ": ";
    appendEscaped(line, why.withPathBytes());
    print(err, line + '\n');
}

// Renames each file as its tag and the format say, journaled as one batch; with --dry-run
// prints the plan instead.
class RenameCommandReport final : public fileops::IRenameReport
{
public:
    RenameCommandReport(editing::ITagJournal *journal, std::FILE *err)
        : m_batch(journal)
        , m_err(err)
    { }
    void aboutToRename(const std::vector<fileops::NamePlanRow> &plan) override
    {
        m_plan = &plan;
        m_batch.begin(fileops::renamesOf<editing::PlannedRename>(plan));
    }
    void renamed(std::size_t index, const std::string &why) override
    {
        if (why.empty())
            return;
        printNotDone(m_err, (*m_plan)[index].path, {why, {}, {}});
        m_failed = true;
    }
    bool failed() const { return m_failed; }

private:
    editing::JournaledRenames m_batch;
    std::FILE *m_err;
    const std::vector<fileops::NamePlanRow> *m_plan = nullptr;
    bool m_failed = false;
};

// The journal a command that changes files keeps its batch in: none with --no-journal; when
// there is none otherwise, the command must not go on.
std::shared_ptr<editing::ITagJournal> commandJournal(const Options &options)
{
    return options.noJournal ? nullptr : std::shared_ptr(editing::ITagJournal::open());
}

int renameCommand(const Options &options, std::FILE *out, std::FILE *err)
{
    if (!options.format)
        throw Usage {"rename needs --format FMT"};
    const fileops::NameFormat format = fileops::parseNameFormat(*options.format);
    if (!format.error.empty())
        throw Usage {format.error};
    requireFiles(options.arguments);
    platform::IRunControl quiet;
    const fileops::NamePlan plan = fileops::planNamesFromTags(
        options.arguments, format, {platform::tagCodePage(), options.fat}, quiet);
    bool allDone = true;
    for (const fileops::NamePlanRow &row : plan.rows) {
        const bool fine = row.state == fileops::NameState::Changes
            || row.state == fileops::NameState::Unchanged;
        allDone = allDone && fine;
        if (options.dryRun) {
            std::string line;
            appendEscaped(line, row.path);
            line += '\t';
            appendEscaped(line, row.newPath);
            print(out, line + '\t' + stateWord(row.state) + '\n');
        } else if (!fine) {
            printNotDone(err, row.path, row.why);
        }
    }
    if (options.dryRun)
        return allDone ? Done : FileFailed;
    const std::shared_ptr<editing::ITagJournal> journal = commandJournal(options);
    if (!journal && !options.noJournal)
        return noJournal(err);
    std::unique_ptr<editing::JournalHold> held;
    if (journal)
        held = holdJournal(*journal, err);
    RenameCommandReport report(journal.get(), err);
    fileops::runRenames(plan.rows, report);
    return allDone && !report.failed() ? Done : FileFailed;
}

// Writes nothing per file but the files it could not write.
class FromNameCommandReport final : public editing::IFromNameReport
{
public:
    FromNameCommandReport(const std::vector<editing::FromNameRow> &rows, std::FILE *err)
        : m_rows(rows)
        , m_err(err)
    { }
    void written(std::size_t index, const platform::PathMessage &why) override
    {
        if (why.withPathBytes().empty())
            return;
        printNotDone(m_err, m_rows[index].path, why);
        m_failed = true;
    }
    bool failed() const { return m_failed; }

private:
    const std::vector<editing::FromNameRow> &m_rows;
    std::FILE *m_err;
    bool m_failed = false;
};

int fromNameCommand(const Options &options, std::FILE *out, std::FILE *err)
{
    if (!options.pattern)
        throw Usage {"fromname needs --pattern PAT"};
    const editing::NamePattern pattern = editing::parseNamePattern(*options.pattern);
    if (!pattern.error.empty())
        throw Usage {pattern.error};
    requireFiles(options.arguments);
    platform::IRunControl quiet;
    const editing::FromNamePlan plan
        = editing::planTagsFromNames(options.arguments, pattern, platform::tagCodePage(), quiet);
    bool allDone = true;
    for (const editing::FromNameRow &row : plan.rows) {
        const bool fine = row.state == editing::FromNameState::Matches;
        allDone = allDone && fine;
        if (options.dryRun) {
            std::string line;
            appendEscaped(line, row.path);
            line += '\t';
            line += stateWord(row.state);
            for (const editing::NameField wanted :
                {editing::NameField::Title, editing::NameField::Artist, editing::NameField::Album,
                    editing::NameField::Track}) {
                line += '\t';
                for (const editing::FieldFromName &field : row.fields) {
                    if (field.field != wanted)
                        continue;
                    if (wanted == editing::NameField::Track)
                        line += std::to_string(static_cast<unsigned char>(field.bytes.at(0)));
                    else
                        appendEscaped(line, field.text);
                    break;
                }
            }
            print(out, line + '\n');
        } else if (!fine) {
            printNotDone(err, row.path, row.why);
        }
    }
    if (options.dryRun)
        return allDone ? Done : FileFailed;
    editing::JournaledTagWriter writer(
        commandJournal(options), [&options] { return options.noJournal; },
        [err](editing::ITagJournal &journal) { return holdJournal(journal, err); });
    FromNameCommandReport report(plan.rows, err);
    if (!editing::runTagsFromNames(plan.rows, writer, report))
        return noJournal(err);
    return allDone && !report.failed() ? Done : FileFailed;
}

std::unique_ptr<editing::ITagJournal> openJournal()
{
    std::unique_ptr<editing::ITagJournal> journal = editing::ITagJournal::open();
    if (!journal)
        throw platform::Error(
            "the undo journal cannot be read or kept (" + journalFoldersText() + ")");
    return journal;
}

int historyCommand(const Options &options, std::FILE *out)
{
    std::size_t count = 10;
    if (options.arguments.size() > 1)
        throw Usage {"history takes at most one number"};
    if (!options.arguments.empty()) {
        const std::string &text = options.arguments.front();
        count = 0;
        for (const char c : text) {
            if (c < '0' || c > '9' || count > 1000000)
                throw Usage {"history takes a number of batches, not " + text};
            count = count * 10 + static_cast<std::size_t>(c - '0');
        }
        if (text.empty() || count == 0)
            throw Usage {"history takes a number of batches above 0"};
    }
    for (const editing::BatchSummary &batch : openJournal()->history(count)) {
        const auto startedAt = static_cast<std::time_t>(batch.startedAt);
        std::tm local {};
        char when[32] = "?";
        if (localtime_r(&startedAt, &local))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
        std::string line = std::to_string(batch.id) + '\t' + when + '\t';
        appendEscaped(line, batch.name);
        line += '\t' + std::to_string(batch.files) + (batch.files == 1 ? " file" : " files");
        line += '\t';
        if (batch.undone)
            line += "undone";
        if (batch.leftAlone > 0)
            line += ", " + std::to_string(batch.leftAlone) + " left alone";
        if (batch.damaged)
            line += batch.undone ? ", damaged" : "damaged";
        line += '\n';
        print(out, line);
    }
    return Done;
}

std::string batchText(const editing::BatchSummary &batch)
{
    std::string text = std::to_string(batch.id) + " (";
    appendEscaped(text, batch.name);
    return text + ", " + std::to_string(batch.files) + (batch.files == 1 ? " file)" : " files)");
}

// Undo and redo of the companion report nothing per file but the files left alone and those
// the journal lost, and say before acting when an undo goes past a batch partly undone.
class RestoreReport final : public editing::IRestoreReport
{
public:
    explicit RestoreReport(std::FILE *err)
        : m_err(err)
    { }

    void restored(const editing::RestoredFile &) override { }
    void passingOver(
        const editing::BatchSummary &partly, const editing::BatchSummary &next) override
    {
        print(m_err,
            "bellwick-cli: batch " + batchText(partly) + " was undone only in part ("
                + std::to_string(partly.leftAlone) + " left alone; bellwick-cli undo --batch "
                + std::to_string(partly.id) + " takes it again); undoing the batch before it, "
                + batchText(next) + '\n');
    }

private:
    std::FILE *m_err;
};

int restoreCommand(const Options &options, std::FILE *err)
{
    if (!options.arguments.empty())
        throw Usage {options.command + " takes no arguments"};
    const std::unique_ptr<editing::ITagJournal> journal = openJournal();
    RestoreReport report(err);
    const std::string name = "bellwick-cli " + options.command;
    const bool undo = options.command == "undo";
    const auto held = holdJournal(*journal, err);
    const editing::RestoreResult result = !undo ? journal->redo(name, report)
        : options.batch                         ? journal->undoBatch(*options.batch, name, report)
                                                : journal->undo(name, report);
    if (result.nothingToDo) {
        if (options.batch)
            std::fprintf(err, "bellwick-cli: no batch %llu in the journal\n",
                static_cast<unsigned long long>(*options.batch));
        else
            std::fprintf(err, "bellwick-cli: nothing to %s\n", options.command.c_str());
        return UsageError;
    }
    for (const editing::LeftAloneFile &file : result.leftAlone) {
        std::string line = "bellwick-cli: left alone: ";
        appendEscaped(line, file.path);
        line += ": " + file.message.withPathBytes() + '\n';
        print(err, line);
    }
    if (result.lost > 0) {
        print(err, "bellwick-cli: " + editing::lostFilesMessage(result.lost) + '\n');
        for (const std::string &path : result.lostPaths) {
            std::string line = "bellwick-cli: not restored: ";
            appendEscaped(line, path);
            print(err, line + '\n');
        }
    }
    if (undo && !result.leftAlone.empty())
        print(err,
            "bellwick-cli: once they are as the batch left them, bellwick-cli undo --batch "
                + std::to_string(result.batch) + " takes the same batch again for them\n");
    return result.leftAlone.empty() && result.lost == 0 ? Done : FileFailed;
}

int genresCommand(const Options &options, std::FILE *out)
{
    if (!options.arguments.empty())
        throw Usage {"genres takes no arguments"};
    for (std::size_t i = 0; i < tags::GenreCount; ++i) {
        const tags::Genre &genre = tags::genreTable()[i];
        std::fprintf(out, "%u\t%s\n", static_cast<unsigned>(genre.code), genre.name);
    }
    return Done;
}

} // namespace

void appendEscaped(std::string &line, std::string_view field)
{
    static const char hex[] = "0123456789abcdef";
    for (const char c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || byte == '\\') {
            line += "\\x";
            line += hex[byte >> 4];
            line += hex[byte & 0xF];
        } else {
            line += c;
        }
    }
}

const char *usageText()
{
    return "usage: bellwick-cli COMMAND [OPTIONS] ARGS\n"
           "\n"
           "  scan [--sort COLUMN [--desc]] FOLDER...   list every audio file below the folders\n"
           "  search [--and] [--name T] [--title T] [--artist T] [--album T] [--year T]\n"
           "         [--genre NAME] [--comment T] FOLDER...   list the files that match\n"
           "  show FILE...                              list the given files\n"
           "  set [--title T] [--artist T] [--album T] [--year T] [--genre NAME] [--comment T]\n"
           "      [--erase FIELD]... [--no-journal] FILE...\n"
           "                                            set and erase fields, keep the others\n"
           "                                            (an empty T or NAME keeps the field)\n"
           "  write [--title T] [--artist T] [--album T] [--year T] [--genre NAME]\n"
           "        [--comment T] [--no-journal] FILE   write a whole new tag (fields left\n"
           "                                            out or empty are empty)\n"
           "  rename --format FMT [--fat] [--dry-run] [--no-journal] FILE...\n"
           "                                            rename the files from their tags\n"
           "  fromname --pattern PAT [--dry-run] [--no-journal] FILE...\n"
           "                                            set tag fields from the files' names\n"
           "  export-v2 [--overwrite] [--dry-run] [--encoding CP] [--no-journal] FILE...\n"
           "                                            write each file's ID3v1 texts into a\n"
           "                                            Unicode ID3v2 tag at its start\n"
           "  history [N]                               list the last N batches of tag writes\n"
           "                                            (10 when N is not given), newest first\n"
           "  undo [--batch N]                          put back the files of the newest batch\n"
           "                                            not yet undone (of batch N again)\n"
           "  redo                                      write again the batch undone last\n"
           "  genres                                    list the genre codes and names\n"
           "\n"
           "Every command takes --encoding NAME, the code page of the tag texts: cp932\n"
           "(Shift-JIS, the default), cp1252, cp1251, cp936 (GBK), cp949, cp950 (Big5) or\n"
           "utf-8. Tag texts are printed decoded from it to UTF-8; the texts of search, set and\n"
           "write are encoded to it, and a text it cannot hold is a usage error.\n"
           "\n"
           "COLUMN and FIELD: name (sort only), title, artist, album, year, genre, comment.\n"
           "Lines: name, Title, Artist, Album, Year, genre, Comment, path, separated by TAB;\n"
           "bytes below 0x20, 0x7F and the backslash are written as \\xHH.\n"
           "A track number in the comment's last two bytes (ID3v1.1) is kept while the new\n"
           "comment fits in 28 bytes.\n"
           "\n"
           "set and write keep the tags they replace in the undo journal, in\n"
           "$XDG_STATE_HOME/bellwick/ (~/.local/state/bellwick/), else $XDG_CACHE_HOME/bellwick/\n"
           "(~/.cache/bellwick/), shared with the window; when neither can be written they\n"
           "write nothing (exit 1) unless given --no-journal. The journals of both folders are\n"
           "one history, batches in the order they were written. history lines: batch number,\n"
           "date and time, name, files, and the mark of the last undo or redo that finished on\n"
           "it: \"undone\" or \"undone, N left alone\" after an undo, none after a redo; and\n"
           "\"damaged\" when some of its records cannot be read. undo takes the newest batch\n"
           "without a mark, redo the one undone last. undo and redo put a file back only when\n"
           "it is still the file the batch left (same file, size, time and tag) and name every\n"
           "file left alone; undo --batch N takes that batch again for them. A plain undo after\n"
           "one that left files alone goes on to the batch before it, and says so first.\n"
           "\n"
           "rename: FMT holds %title% %artist% %album% %year% %genre% %comment%, %track% (the\n"
           "ID3v1.1 track as two digits, empty without one) and %name% (the old name without\n"
           "its extension); %% is one %. The new name is UTF-8 and keeps the old extension;\n"
           "/, control and invisible characters become _ (with --fat also \\ : * ? \" < > |),\n"
           "leading and trailing spaces and dots go, and it is cut to 255 bytes. No file is\n"
           "ever replaced: a name taken by another file, or by two files of the command, is a\n"
           "conflict. --dry-run prints old-path TAB new-path TAB state, state one of changes,\n"
           "unchanged, conflict, refused, and renames nothing.\n"
           "fromname: PAT is matched against the last components of each path, one for each\n"
           "/ in it plus the file name without its extension; it holds %title% %artist%\n"
           "%album% %year% %comment% %genre% %track% and %skip% (matched and dropped), each\n"
           "taking the shortest text up to the next literal text. Fields it does not name are\n"
           "kept; a text longer than its field is cut at a whole character; %track% is written\n"
           "as ID3v1.1. --dry-run prints path TAB state TAB title TAB artist TAB album TAB\n"
           "track, state one of matches, nomatch, refused, and writes nothing.\n"
           "rename and fromname are batches of the undo journal as set is; undo gives a renamed\n"
           "file its old name back when its new name still names it and the old name is free,\n"
           "and redo renames it again under the same rule. Exit status 1 when\n"
           "some file was refused, in conflict, did not match or failed (or, with --dry-run,\n"
           "would be).\n"
           "export-v2 writes ID3v2.4 with UTF-8 texts (a file's ID3v2.3 tag stays 2.3, in\n"
           "UTF-16): Title, Artist, Album, Year, genre, Comment and the ID3v1.1 track, decoded\n"
           "with --encoding; every other frame, the ID3v1 tag and the audio stay byte for byte.\n"
           "Without --overwrite only frames the tag lacks are added; with it, frames are\n"
           "replaced for the fields that are not empty. It is one batch of the journal, undone\n"
           "and redone as the others (--no-journal as for set). --dry-run writes nothing and\n"
           "prints one line per file: path, state (new, add, replace, nothing or refused),\n"
           "title, artist, album, year, genre, comment, track, separated by TAB; why a file is\n"
           "refused goes to stderr. export-v2 exits 0 when every file was written (or could\n"
           "be), 1 when some were refused or failed (the others are written).\n"
           "\n"
           "Exit status: 0 done, 1 a file failed (the run stops there), undo or redo left\n"
           "files alone, or the journal lost some of the batch's files, 2 usage error or\n"
           "nothing to undo or redo.\n";
}

int run(const Options &options, std::FILE *out, std::FILE *err)
{
    platform::setTagCodePage(options.encoding);
    try {
        if (options.command == "help") {
            std::fputs(usageText(), out);
            return Done;
        }
        if (options.command == "scan")
            return scanCommand(options, out);
        if (options.command == "search")
            return searchCommand(options, out);
        if (options.command == "show")
            return showCommand(options, out);
        if (options.command == "set")
            return setCommand(options, err);
        if (options.command == "write")
            return writeCommand(options, err);
        if (options.command == "rename")
            return renameCommand(options, out, err);
        if (options.command == "fromname")
            return fromNameCommand(options, out, err);
        if (options.command == "export-v2")
            return exportCommand(options, out, err);
        if (options.command == "history")
            return historyCommand(options, out);
        if (options.command == "undo" || options.command == "redo")
            return restoreCommand(options, err);
        return genresCommand(options, out);
    } catch (const Usage &usage) {
        std::fprintf(err, "bellwick-cli: %s\n", usage.reason.c_str());
        return UsageError;
    } catch (const platform::Error &error) {
        std::fflush(out);
        std::fprintf(err, "bellwick-cli: %s\n", error.what());
        return FileFailed;
    }
}

} // namespace cli
