#include "editing/bulktagrun.h"

#include "tags/genretable.h"

namespace editing {

namespace {

// The row's sub-items of the tag's text fields, in block order.
constexpr lists::SubItem TextSubItems[tags::TextFieldCount] = {lists::SubItem::Title,
    lists::SubItem::Artist, lists::SubItem::Album, lists::SubItem::Year, lists::SubItem::Comment};

} // namespace

lists::CellChanges cellsAfter(const tags::TagMerge &merge)
{
    lists::CellChanges cells;
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i) {
        const tags::TextChange &change = merge.texts[i];
        if (change.kind != tags::TextChange::Kind::Keep)
            cells.emplace_back(TextSubItems[i], change.text);
    }
    if (merge.genre.kind == tags::GenreChange::Kind::Erase)
        cells.emplace_back(lists::SubItem::Genre, std::string());
    else if (merge.genre.kind == tags::GenreChange::Kind::Set)
        cells.emplace_back(lists::SubItem::Genre, tags::GenreCodeToName(merge.genre.code));
    return cells;
}

lists::CellChanges cellsAfter(const tags::CompleteTag &tag)
{
    lists::CellChanges cells;
    for (std::size_t i = 0; i < tags::TextFieldCount; ++i)
        cells.emplace_back(TextSubItems[i], tag.texts[i]);
    cells.emplace_back(lists::SubItem::Genre, tags::GenreCodeToName(tag.genre));
    return cells;
}

BulkTagResult runBulkTagSetting(const std::vector<std::string> &paths, const tags::TagMerge &merge,
    ITagWriter &writer, IBulkTagReport &report)
{
    BulkTagResult result;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (report.stopRequested()) {
            result.outcome = BulkTagResult::Outcome::Stopped;
            return result;
        }
        if (writer.write(paths[i], merge) == tags::WriteOutcome::FileMissing) {
            result.outcome = BulkTagResult::Outcome::FileMissing;
            result.missingPath = paths[i];
            return result;
        }
        ++result.written;
        report.written(i);
        report.progress({result.written, paths.size(), paths[i]});
    }
    return result;
}

} // namespace editing
