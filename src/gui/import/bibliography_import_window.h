#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vestrum {

class ListEditor;
class ListGridView;
class Program;

namespace lists {
class JournalList;
}

// "Import z bibliografii": the rows a BibTeX, RIS or CSL JSON file gives for a publication list, shown
// before they go in, with what was left out ("pominięto 3 pozycje typu @misc"); "wprowadź wykaz do bazy"
// runs the text import's row checks and shows their errors here, or closes with OK.
class BibliographyImportWindow : public QDialog {
    Q_OBJECT
public:
    BibliographyImportWindow(Program& program, lists::JournalList& journals, QWidget* parent = nullptr);

    // Reads the file for the kind and fills the preview without showing it; false (the user told why)
    // when the file cannot be read.
    bool prepare(int kind, const QString& path);
    // prepare() and show modally; true when the rows passed the checks and the user entered them.
    bool importRows(int kind, const QString& path);
    const std::vector<QStringList>& acceptedRows() const { return accepted_; }

    bool enterIntoList(); // "wprowadź wykaz do bazy"

    QLabel* heading() const { return heading_; }
    QLabel* skippedText() const { return skipped_; }
    ListGridView* preview() const { return preview_; }
    QPlainTextEdit* errorText() const { return errors_; }
    QPushButton* enterButton() const { return enter_; }
    QPushButton* backButton() const { return back_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Program& program_;
    lists::JournalList& journals_;
    int kind_ = -1;
    std::vector<QStringList> accepted_;
    QLabel* heading_;
    QLabel* skipped_;
    ListGridView* preview_;
    QPlainTextEdit* errors_;
    QPushButton* enter_;
    QPushButton* back_;
};

// "Import z bibliografii (BibTeX, RIS, CSL JSON)…" of the list editor: asks for the file (`chooseFile`
// gives its path, empty when the user gave none), runs the window, lets the user leave out probable
// duplicates and appends the rows after the list's rows, as a text import does.
void ImportBibliographyIntoEditor(
    ListEditor& editor, BibliographyImportWindow& window, const std::function<QString()>& chooseFile);

} // namespace vestrum
