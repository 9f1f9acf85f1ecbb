#pragma once

#include "lists/journal_identification.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace vestrum {

class JournalSearchWindow;
class ListEditor;
class Program;

// "Nieprzypisane czasopisma": every distinct title of a publication list that has no journal of the
// ministry's list (titles equal letter case aside are one), with the count of its rows and the
// journals the list suggests for it. Choosing a suggestion, or a journal found in the search window,
// fills "Czasopismo z listy MNiSW." and "L.punktów" of every row of that title at once; "pomiń"
// goes on to the next title; "nie ma na liście" marks the title as absent from the list, and it is
// not offered again in this list until its text changes. The window changes the editor's list only;
// the editor saves it.
//
// Keys: Up and Down choose a title, Enter goes to its suggestions, Enter on a suggestion assigns
// it; Tab reaches the buttons; Esc closes.
class UnmatchedJournalsWindow : public QDialog {
    Q_OBJECT
public:
    // A journal the user looks up for a title on the whole list, or nothing when they went back.
    using JournalSearch = std::function<std::optional<lists::Journal>(const QString& title)>;

    explicit UnmatchedJournalsWindow(Program& program, QWidget* parent = nullptr);
    ~UnmatchedJournalsWindow() override;

    void setJournalSearch(JournalSearch search) { search_ = std::move(search); }

    // Sets the window up on `grid` (a list of kind `kind`), the titles that occur from row `from`
    // on; false, with nothing to show, when there is no such title (or all are marked absent).
    bool prepare(lists::ListGrid& grid, int kind, std::shared_ptr<const lists::JournalMatcher> matcher, int from = 0);
    // prepare, then shown modally; returns the rows that got a journal.
    int review(lists::ListGrid& grid, int kind, std::shared_ptr<const lists::JournalMatcher> matcher, int from = 0);

    int changedRows() const { return changedRows_; }
    // Titles marked "nie ma na liście" in the lists of this kind (titleGroupKey).
    const QSet<QString>& absentTitles(int kind) const;
    int titleCount() const { return static_cast<int>(titles_.size()); }

    // The commands, as the buttons run them.
    void assignSuggestion();
    void searchList();
    void skipTitle();
    void markAbsent();

    QLabel* heading() const { return heading_; }
    QTableWidget* titleTable() const { return table_; }
    QListWidget* suggestionList() const { return suggestions_; }
    QPushButton* assignButton() const { return assign_; }
    QPushButton* searchButton() const { return searchButton_; }
    QPushButton* skipButton() const { return skip_; }
    QPushButton* absentButton() const { return absent_; }
    QPushButton* closeButton() const { return close_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillTable();
    void showSuggestions();
    void updateHeading();
    int currentTitle() const;
    // The current title is dealt with: it leaves the table, the next one becomes current, and the
    // window closes when none is left.
    void removeCurrentTitle();
    void assign(const lists::Journal& journal);

    Program& program_;
    JournalSearch search_;
    lists::ListGrid* grid_ = nullptr;
    int kind_ = -1;
    std::shared_ptr<const lists::JournalMatcher> matcher_;
    std::vector<lists::UnmatchedTitle> titles_;
    QHash<int, QSet<QString>> absentByKind_;
    int changedRows_ = 0;

    QLabel* heading_;
    QTableWidget* table_;
    QLabel* suggestionsLabel_;
    QListWidget* suggestions_;
    QPushButton* assign_;
    QPushButton* searchButton_;
    QPushButton* skip_;
    QPushButton* absent_;
    QPushButton* close_;
};

// Opens the window on the editor's publication list when a title from row `from` on is left without
// a journal; with `sayWhenNone` (the tool row's command) says so when there is none. Marks the
// editor's list changed when rows got a journal. Failures of the journal list are told.
void OfferUnmatchedJournals(Program& program, ListEditor& editor, lists::JournalList& journals,
                            UnmatchedJournalsWindow& window, int from, bool sayWhenNone);

// "Grupowa identyfikacja czasopism": every row without a journal is identified automatically;
// titles still left without one are offered in the window; when every title has its journal, the
// search window assigns a journal to the selected rows as before.
void IdentifyJournalGroup(Program& program, ListEditor& editor, lists::JournalList& journals,
                          UnmatchedJournalsWindow& window, JournalSearchWindow& search);

} // namespace vestrum
