#pragma once

#include "lists/publication_duplicates.h"

#include <QDialog>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vestrum {

class ListEditor;
class Program;

// "Możliwe duplikaty publikacji": before an import, the entry dialog or a merge adds publications,
// the rows that probably repeat one the survey already holds (or one added with them) are shown with
// the publication they repeat; each ticked row is left out. Space ticks and unticks the current row.
class DuplicateChoiceWindow : public QDialog {
    Q_OBJECT
public:
    DuplicateChoiceWindow(Program& program, QWidget* parent = nullptr);

    // Shows the duplicates modally, every one ticked; the chosen ones to leave out, or nothing when the
    // user went back ("anuluj", Esc) and nothing is to be added.
    std::optional<std::vector<lists::ProbableDuplicate>> choose(const std::vector<lists::ProbableDuplicate>& found);

    QTableWidget* table() const { return table_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Program& program_;
    QLabel* notice_;
    QTableWidget* table_;
    QPushButton* add_;
    QPushButton* cancel_;
    std::vector<lists::ProbableDuplicate> shown_;
};

// The publications of the survey as the editor stands: its own list as it is being edited, the others as
// stored.
lists::PublicationLists EditorPublications(Program& program, const ListEditor& editor);

// The rows of an import into the editor's list, after the user chose which probable duplicates stay out;
// nothing when the user went back. Rows of other kinds, and rows without duplicates, pass unasked.
std::optional<std::vector<QStringList>> RowsAfterDuplicateChoice(Program& program, ListEditor& editor,
    const std::vector<QStringList>& rows, bool replacesList = false);

} // namespace vestrum
