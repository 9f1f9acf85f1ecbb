#pragma once

#include "import/import_text.h"

#include <QDialog>
#include <QStringList>
#include <array>
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
    void setImportText(const QString& text);
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
    QLabel* encodingLabel() const { return encoding_; }
    QRadioButton* byCharactersOption() const { return byCharacters_; }
    QRadioButton* byLinesOption() const { return byLines_; }
    QLineEdit* separatorField() const { return separator_; }
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
    void fitPreview();
    void measureVisiblePreviewRows();

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
    QLabel* encoding_ = nullptr;
    QRadioButton* byCharacters_ = nullptr;
    QRadioButton* byLines_ = nullptr;
    QLineEdit* separator_ = nullptr;
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
    std::vector<int> previewWidths_;
    std::vector<bool> previewMeasured_; // rows whose height fits their text
};

// "Import z pliku tekstowego" of the list editor: runs the window for the editor's list and appends
// the accepted rows after its rows (over its empty placeholder row). The editor then shows the
// first imported row and knows its list was changed.
void ImportTextIntoEditor(ListEditor& editor, TextImportWindow& window);

} // namespace vestrum
