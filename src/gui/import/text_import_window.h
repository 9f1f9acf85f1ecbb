#pragma once

#include "import/import_text.h"

#include <QDialog>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimer;

namespace vestrum {

class ListEditor;
class ListGridView;
class Program;
class ProgressWindow;

namespace lists {
class JournalList;
}

// "Import wykazu": brings a list in from delimited text (a file or the clipboard). Four pages
// without tabs: the instructions (while message 24 is on), "Struktura" (the text, the separator
// mode and the field map), "Podgląd" (the rows the text gives) and the errors of the row checks.
// It closes with OK only when every row passed; the caller then appends acceptedRows() to its list.
//
// The separator, the line count and the field map outlive one import; the map is kept as column
// numbers and rebuilt only when the window opens for a kind of another import group.
class TextImportWindow : public QDialog {
    Q_OBJECT
public:
    enum Page { InstructionsPage, StructurePage, PreviewPage, ErrorsPage };

    TextImportWindow(
        Program& program, lists::JournalList& journals, ProgressWindow& progress, QWidget* parent = nullptr);

    // Lays the window out for a kind without showing it: empties the text, takes the headers into
    // the preview and the map, and chooses the first page.
    void prepare(int kind);
    // prepare() and show modally; true when the rows were accepted.
    bool importRows(int kind);
    // The checked rows in the list's column order (a choice in its listed spelling).
    const std::vector<QStringList>& acceptedRows() const { return accepted_; }

    int kind() const { return kind_; }

    // Commands, as the buttons run them.
    void continueFromInstructions(); // "dalej"
    void clearText(); // "usuń cały tekst"
    void loadTextFromFile(); // "wczytaj tekst z pliku"
    void loadTextFromFile(const QString& path);
    void pasteFromClipboard(); // "wklej tekst ze schowka systemowego"
    void setImportText(const QString& text); // a text of no file (the clipboard's)
    void chooseEncoding(importing::TextEncoding encoding); // the chooser's override: the text follows at once
    void chooseSheet(int sheet); // the sheet chooser of a workbook
    bool readIntoStructure(); // "wczytaj tekst do struktury"; true when the preview was built
    bool enterIntoList(); // "wprowadź wykaz do bazy"; true when every row passed
    void showPage(Page page);

    // The field map as column numbers (-1 = "- pomiń -").
    std::array<int, importing::kMapPositions> mapColumns() const;
    void setMapColumn(int position, int column);

    QStackedWidget* pages() const { return pages_; }
    Page currentPage() const;
    QCheckBox* dontShowAgainBox() const { return dontShowAgain_; }
    QPlainTextEdit* textField() const { return text_; }
    QComboBox* encodingChooser() const { return encoding_; }
    QComboBox* sheetChooser() const { return sheet_; }
    QCheckBox* quotesBox() const { return quotes_; }
    QCheckBox* headerBox() const { return header_; }
    QLabel* headerNotice() const { return headerNotice_; }
    QLabel* cutNotice() const { return cutNotice_; }
    QLabel* mapLabel(int position) const { return mapLabels_[static_cast<size_t>(position)]; }
    bool readsWorkbook() const { return sheetSource_; }
    QRadioButton* byCharactersOption() const { return byCharacters_; }
    QRadioButton* byLinesOption() const { return byLines_; }
    // An editable drop-down offering ";", "," and "tabulator" (one TAB).
    QComboBox* separatorField() const { return separator_; }
    QLineEdit* lineCountField() const { return lineCount_; }
    QComboBox* mapList(int position) const { return map_[static_cast<size_t>(position)]; }
    ListGridView* preview() const { return preview_; }
    QLabel* previewHeading() const { return previewHeading_; }
    QPlainTextEdit* errorText() const { return errors_; }
    QPushButton* readButton() const { return read_; }
    QPushButton* enterButton() const { return enter_; }

public slots:
    void reject() override; // "wróć", Esc and the frame's close control: asks first

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildInstructionsPage();
    QWidget* buildStructurePage();
    QWidget* buildPreviewPage();
    QWidget* buildErrorsPage();
    void reloadMapLists(const QStringList& headers);
    void modeChanged();
    bool checkLineCountOnLeaving();
    importing::ImportStructure structure() const;
    void refuse(const QString& message, QWidget* focus);
    void showText(const QString& text);
    void showDecoded(importing::TextEncoding encoding, const QString& text);
    void loadWorkbook(const QString& path, std::optional<int> sheet);
    QString importText() const; // the text read: the field's, or the whole text behind a field showing it cut
    void leaveWorkbook();
    void newSourceShown(); // a new text or sheet: guesses the header row and relabels the map
    QStringList firstRecord() const;
    void refreshMapLabels();
    void fitPreview();

    Program& program_;
    lists::JournalList& journals_;
    ProgressWindow& progress_;
    int kind_ = -1;
    int lastGroup_ = -1;
    std::array<int, importing::kMapPositions> mapColumns_ {};
    bool reloadingMap_ = false;
    bool checkingLineCount_ = false;
    std::vector<QStringList> accepted_;

    QStackedWidget* pages_;
    QCheckBox* dontShowAgain_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* encodingCaption_ = nullptr;
    QComboBox* encoding_ = nullptr;
    QLabel* sheetCaption_ = nullptr;
    QComboBox* sheet_ = nullptr;
    QCheckBox* quotes_ = nullptr;
    QCheckBox* header_ = nullptr;
    QLabel* headerNotice_ = nullptr;
    QLabel* cutNotice_ = nullptr;
    // A text with a line too long to show whole: the field shows it cut and read-only, this is what is read.
    QString fullText_;
    bool textCut_ = false;
    QString filePath_; // of the text file read, for the messages
    importing::TextEncoding shownEncoding_ = importing::TextEncoding::Utf8;
    std::vector<importing::QuotedBreak> quotedBreaks_; // of the rows in the preview
    std::array<QLabel*, importing::kMapPositions> mapLabels_ {};
    QTimer* relabel_ = nullptr;
    // The source of the text: the bytes of the file read (empty for a typed or pasted text), or a workbook's sheet.
    QByteArray fileBytes_;
    bool sheetSource_ = false;
    QString workbookPath_;
    std::vector<QStringList> sheetRows_;
    bool headerGuessed_ = false; // the header box was ticked by the guess, not by the user
    QRadioButton* byCharacters_ = nullptr;
    QRadioButton* byLines_ = nullptr;
    QComboBox* separator_ = nullptr;
    QLabel* linesBefore_ = nullptr;
    QLabel* linesAfter_ = nullptr;
    QLineEdit* lineCount_ = nullptr;
    std::array<QComboBox*, importing::kMapPositions> map_ {};
    QPushButton* read_ = nullptr;
    ListGridView* preview_ = nullptr;
    QLabel* previewHeading_ = nullptr;
    QPushButton* enter_ = nullptr;
    QPlainTextEdit* errors_ = nullptr;
    QTimer* refit_ = nullptr;
};

// "Import z pliku tekstowego" of the list editor: runs the window for the editor's list and appends
// the accepted rows after its rows (over its empty placeholder row). The editor then shows the
// first imported row and knows its list was changed.
void ImportTextIntoEditor(ListEditor& editor, TextImportWindow& window);

} // namespace vestrum
