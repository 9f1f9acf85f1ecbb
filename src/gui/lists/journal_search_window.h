#pragma once

#include "lists/journal_identification.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace vestrum {

class Program;
class ListGridView;

namespace lists {
class JournalListModel;
}

// "Lista czasopism MEiN": the ministry's journal list, searched by the beginning or by a fragment
// of a name, from which the user assigns a journal to a publication ("przypisz") or goes back
// ("wróć"). Shown modally by the entry dialog and by the list editor's group identification; it
// works on the program's one journal list view, whose filter it sets through "Rodzaj listy".
class JournalSearchWindow : public QDialog {
    Q_OBJECT
public:
    // Items of "Rodzaj listy": everything, then the parts 0, 1 and 2 of the list.
    enum KindItem { AllJournals = 0, ListA = 1, ListB = 2, MissingFromListB = 3 };

    JournalSearchWindow(Program& program, lists::JournalList& list, QWidget* parent = nullptr);
    ~JournalSearchWindow() override;

    // From the entry dialog of a publication (list kinds 3 to 6): both search texts get the text of
    // "Czasopismo z listy ministerstwa", or of "Czasopismo" when that is empty; kind 3 (8.1.a) may
    // browse list A only. 100 ms after the window shows, the beginning of the name is looked for.
    // Returns the chosen journal, or nothing when the user went back.
    std::optional<lists::Journal> chooseForEntry(const QString& listedName, const QString& typedName, int listKind);
    // The same settings without showing the window.
    void prepareForEntry(const QString& listedName, const QString& typedName, int listKind);

    // "Grupowa identyfikacja czasopism" of the list editor: with nothing in the list it says so;
    // otherwise the window opens on the groups of journals missing from list B with the current
    // row's journal as search text, and the journal chosen goes to every selected row. True when
    // rows were changed.
    bool identifyGroup(ListGridView* grid);
    std::optional<lists::Journal> chooseForGroup(const QString& journalCell);
    void prepareForGroup(const QString& journalCell);

    // The journal of the last "przypisz".
    const std::optional<lists::Journal>& chosen() const { return chosen_; }

    QComboBox* kindBox() const { return kind_; }
    QLineEdit* beginningField() const { return beginning_; }
    QLineEdit* fragmentField() const { return fragment_; }
    QPushButton* findBeginningButton() const { return findBeginning_; }
    QPushButton* findFragmentButton() const { return findFragment_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* assignButton() const { return assign_; }
    QPushButton* backButton() const { return back_; }
    QTableView* grid() const { return grid_; }
    QLabel* statusLine() const { return status_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setKind(int item, bool changeable);
    void applyKind(int item);
    void searchByBeginning();
    void searchByFragment();
    void searchNext();
    void assignCurrent();
    void showCurrent(); // the list's current record becomes the grid's current row
    void reloadGrid();
    void fitColumns(QTableView* grid);

    Program* program_;
    lists::JournalList* list_;
    lists::JournalListModel* model_;
    QLabel* heading_;
    QComboBox* kind_;
    QLineEdit* beginning_;
    QLineEdit* fragment_;
    QPushButton* findBeginning_;
    QPushButton* findFragment_;
    QPushButton* next_;
    QTableView* grid_;
    QPushButton* assign_;
    QPushButton* back_;
    QLabel* status_;
    std::optional<lists::Journal> chosen_;
    bool searchWhenShown_ = false;
};

} // namespace vestrum
