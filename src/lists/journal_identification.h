#pragma once

#include "lists/journal_matching.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3_stmt;

namespace vestrum::db {
class Connection;
}

namespace vestrum::lists {

class ListGrid;

// A journal of the ministry's list as a publication takes it over: the list's own form of the
// name and the points as text.
struct Journal {
    QString name;
    QString points;
    bool operator==(const Journal&) const = default;
};

// The points of a listed journal as every identification writes them into "L.punktów": the
// editor's amount format ("40" -> "40,00"), so identified and typed rows look alike.
QString pointsCell(const QString& points);

// Columns of a publication row (kinds 3 to 6) that identification fills.
inline constexpr int kJournalColumn = 0;       // "Czasopismo", as the user typed it
inline constexpr int kListedJournalColumn = 4; // "Czasopismo z listy MNiSW."
inline constexpr int kPointsColumn = 5;        // "L.punktów"
// "ISSN": what an import, the entry dialog or an identification by ISSN gave the row; every later
// identification tries it first.
inline constexpr int kIssnColumn = 6;

// An ISSN as the row keeps it, "NNNN-NNNC"; empty when the text holds none.
QString issnCell(const QString& text);

// Parts of the list, as the field `rodzaj` tells them apart.
enum class ListPart { A = 0, B = 1, MissingFromB = 2 };

// The journal list (table lista_ministerstwa of lista_czasopism.mdb) as the program uses it: read
// once when the program starts and kept, with a current record and an optional "rodzaj=" filter
// that limits what the search window shows.
//
// Records are ordered by name without regard to letter case, Polish letters after their base
// letters (then by their position in the table). The searches use the same order, so a name that
// differs from another only in letter case sorts next to it, and "następny" walks every match
// exactly once, including a name the list holds twice.
class JournalList {
public:
    explicit JournalList(db::Connection& connection);

    // Reads the table and builds the lookup tables; again after the list file was replaced.
    // Leaves the filter off and the first record current. Throws vestrum::Error.
    void open();
    // As open(), but only the table and its fields are checked now (a missing table throws here);
    // the records are read when they are first needed. The program opens the list so at start: it
    // is not needed before the window is shown, and reading it takes a good part of a start.
    void openWithoutReading();
    bool isOpen() const { return open_; }
    void close();
    // The same, the records and the matcher freed on a thread of their own: for a command that is done with a
    // list of tens of thousands of records and should not wait while they are freed one by one.
    void closeFreeingInBackground();

    // Whether the table has the optional field `skrot` (abbreviated names).
    bool hasAbbreviations() const { return hasAbbreviations_; }
    // Whether the table has the fields `issn` and `eissn`; a list without them is matched by title.
    bool hasIssn() const { return hasIssn_; }
    // Records of the whole list, whatever the filter.
    int totalCount() const;
    // Records in one part of the list, whatever the filter.
    int partCount(ListPart part) const;

    // --- the view -------------------------------------------------------------------------
    // "rodzaj=" filter; std::nullopt is off. Changing it reloads the view: the first record of
    // the new view becomes current.
    void setFilter(std::optional<ListPart> part);
    std::optional<ListPart> filter() const { return filter_; }

    int count() const; // records in the view
    Journal journal(int index) const;                                 // index in the view
    QString abbreviation(int index) const;
    int part(int index) const; // the record's `rodzaj`
    int current() const; // -1 when the view is empty
    void setCurrent(int index);
    std::optional<Journal> currentJournal() const;

    // --- identification -------------------------------------------------------------------
    // The list indexed for matching (journal i is record i of the list's order), made on first use.
    const JournalMatcher& matcher();
    std::shared_ptr<const JournalMatcher> sharedMatcher();
    Journal journalOfRecord(int record) const;

    // Automatic identification (XML and text imports, group identification, headless commands):
    // the journal the matcher identifies by the ISSN, the title or its key; nothing when none or
    // several fit. Switches the filter off. Table look-ups: every row of a large import costs next
    // to nothing.
    std::optional<Journal> identify(const QString& title, const QString& issn = QString());
    JournalMatch match(const QString& title, const QString& issn = QString());

    // Dialog identification (entry dialog): the filter is cleared and the view reloaded; the title
    // is matched as automatic identification matches it, then, when the list has abbreviations, as
    // a whole abbreviation. On success the record becomes current.
    std::optional<Journal> identifyInDialog(const QString& title);

    // --- searches of the search window ----------------------------------------------------
    // Each runs a query on the table with the typed text bound as a parameter (an apostrophe,
    // "%" or "_" in it is only a character to look for) and, when a name is found, makes its
    // record current. The queries keep to the part of the list the view shows, so a journal
    // filtered out of the view counts as not found.
    bool findByBeginning(const QString& text);
    bool findFragment(const QString& fragment);
    // The next record after the current one whose name holds the fragment; false (current record
    // unchanged) when there is none, when the view has no current record or the fragment is blank.
    bool findNext(const QString& fragment);

private:
    struct Record {
        qint64 rowId = 0;
        QString name;
        QString points;
        QString abbreviation;
        QString issn;
        QString eissn;
        QString name2;
        QString issn2;
        QString eissn2;
        int part = 0;
    };

    void requireOpen() const;
    void checkTable();
    void readRecords();
    // The record of the current row of readRecords' statement.
    Record recordOf(sqlite3_stmt* row) const;
    // Reads the records when openWithoutReading() left them unread. A read that fails closes the
    // list and keeps its error for the next requireOpen(); the view is then empty.
    void ensureRead() const;
    void rebuildView();
    // Runs one search query; `after` is the record the search continues from, or -1.
    bool runSearch(const QString& pattern, int after);
    int viewIndexOfRecord(int record) const;

    db::Connection* connection_;
    bool open_ = false;
    bool unread_ = false;
    QString readFailure_;
    bool hasAbbreviations_ = false;
    bool hasIssn_ = false;
    bool hasSecondTitles_ = false;
    std::vector<Record> records_;
    std::shared_ptr<JournalMatcher> matcher_;
    QHash<qint64, int> recordOfRowId_;
    QHash<QString, int> byAbbreviation_; // lower-cased abbreviation -> first record
    std::optional<ListPart> filter_;
    std::vector<int> visible_; // records of the view, in order
    int current_ = -1;
};

// Automatic identification of one publication row (cells in the list's column order): the listed
// name and the points when the journal is identified, otherwise "" and "0". `issn` is what the row
// holds in "ISSN" (or an import read for it). A journal the ISSN names keeps the ISSN in the row, and
// gives its title to a row with none typed.
void identifyRow(JournalList& list, QStringList& row, const QString& issn = QString());

// What checking every row of a list against the list in use did: rows newly given a journal, and
// rows whose points changed, with the sum of the changes.
struct ListCheck {
    int identified = 0;
    int pointsChanged = 0;
    double pointsDifference = 0;
};

// Checks every publication row against the list: a row that awaits its journal is identified as an
// import's row is; a row that has one takes that journal's points in the list in use, the journal
// found again by the row's ISSN, typed title or listed title. A row the list does not name is left
// as it is.
ListCheck checkRowsAgainstList(JournalList& list, std::vector<QStringList>& rows);

// "zmieniono punkty: W wierszy, razem ±P", P with a comma and two decimals.
QString pointsChangeLine(const ListCheck& check);

// --- titles left without a journal -------------------------------------------------------------

// Whether a publication row still waits for its journal: a typed title or an ISSN, and no listed
// journal.
bool awaitsJournal(const QStringList& row);
// Rows with titles equal letter case aside are one title: this key.
QString titleGroupKey(const QString& typedTitle);

// A distinct title of publication rows without a journal of the list.
struct UnmatchedTitle {
    QString title; // as first typed, trimmed
    QString key;   // titleGroupKey
    int rows = 0;  // rows of the list with this title and no journal
    bool ambiguous = false;
    std::vector<Suggestion> suggestions;
};

// The distinct titles of the rows that await a journal, each counted over all such rows of
// `rows`; when `from` is given only titles that occur at or after that row are taken (what an
// import brought). Titles whose key is in `absent` ("nie ma na liście") are left out. Ordered by
// row count, most first, then by title in Polish order. Suggestions are worked out on both cores.
std::vector<UnmatchedTitle> unmatchedTitles(const JournalMatcher& matcher, const std::vector<QStringList>& rows,
                                            int from = 0, const QSet<QString>& absent = {});
// The same in two steps, for a caller that has other work to do between them: the titles grouped and ordered
// (no matcher needed), then their suggestions and ambiguity.
std::vector<UnmatchedTitle> groupUnmatchedTitles(const std::vector<QStringList>& rows, int from = 0,
                                                 const QSet<QString>& absent = {});
void suggestForTitles(const JournalMatcher& matcher, std::vector<UnmatchedTitle>& titles);

// Suggestions for many titles at once, on both cores (the same as matcher.suggest for each).
std::vector<std::vector<Suggestion>> suggestAll(const JournalMatcher& matcher, const QStringList& titles);

// Every row whose title has `key` and that awaits a journal gets the journal; returns how many.
int assignJournalToTitle(std::vector<QStringList>& rows, const QString& key, const Journal& journal);
int assignJournalToTitle(ListGrid& grid, const QString& key, const Journal& journal);

// Automatic identification of every row that awaits a journal; returns the rows identified.
int identifyAwaitingRows(JournalList& list, std::vector<QStringList>& rows);
int identifyAwaitingRows(JournalList& list, ListGrid& grid);

// Whether group identification has anything to work on: false for an empty list (its single data
// row has no filled cell).
bool canIdentifyGroup(const ListGrid& grid);

// Group identification: data rows first..last (clamped to the grid) get the chosen journal's name
// and points.
void assignJournal(ListGrid& grid, int first, int last, const Journal& journal);

// A text typed by the user, made safe to stand in a "like ... escape '\'" pattern: "%", "_" and
// "\" match themselves.
QString escapeLikePattern(const QString& text);

} // namespace vestrum::lists
