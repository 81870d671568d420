#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>

#include "platform/textcodec.h"
#include "tags/id3v2export.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;

// The preview of an export to ID3v2: per file the texts that will be written and what
// becomes of its tag, read fresh from the files a slice at a time so that the window stays
// responsive, and the choice to replace the frames a tag has.
class ExportPreviewDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit ExportPreviewDialog(QWidget *parent);

    QTreeWidget *List;
    QCheckBox *OverwriteBox; // "既存の ID3v2 フレームを上書きする"
    QLabel *Summary;
    QPushButton *WriteButton;
    QPushButton *CancelButton;

    // Shows the files' previews decoded with `codePage`; gives the options to write with when
    // "書き出す" closed it, nothing when it was cancelled.
    std::optional<tags::ExportOptions> ask(
        const std::vector<std::string> &paths, platform::CodePage codePage);

    // The files read so far (all of them once the reading is done).
    std::size_t filesRead() const { return m_previews.size(); }

private:
    // What a file's plan says, with the frames kept and with them replaced.
    struct Preview
    {
        tags::ExportTexts texts;
        std::array<tags::ExportState, 2> states {};
        std::array<std::string, 2> refusals;
        std::array<std::array<tags::FrameChange, tags::ExportFieldCount>, 2> changes {};
    };

    void readSome();
    void showRow(std::size_t index);
    // The states of the rows from `from` on, and the counts of all.
    void showStates(std::size_t from = 0);

    std::vector<std::string> m_paths;
    std::vector<Preview> m_previews;
    platform::CodePage m_codePage = platform::CodePage::Cp932;
    QTimer *m_reader;
    bool m_accepted = false;
};
