#pragma once

#include "storage/journal_list.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

// A new edition of the journal list read from the ministry's own file (.xlsx, .ods or .csv as the
// ministry publishes it), what it changes against the list in use, and its taking that list's
// place with the previous one kept beside it.
namespace vestrum::importing {

// A row of the file that gave no journal, by its "Lp." (or its row in the file when that is empty).
struct SkippedJournalRow {
    QString number;
    QString reason;
};

struct MinistryList {
    std::vector<journals::ListRecord> journals;
    std::vector<SkippedJournalRow> skipped;
};

// Reads the journals of a sheet's rows: the header row is found by its names wherever it stands,
// letter case, blanks and Polish letters aside, the columns in any order. Throws vestrum::Error
// when no header is found or no journal is read; `fileName` names the file in the message.
MinistryList ReadMinistryRows(const std::vector<QStringList>& rows, const QString& fileName);

// The ministry's file: a workbook through the spreadsheet reader, anything else as delimited text
// in the encoding it was written in (comma, semicolon or tab, told by the header line).
MinistryList ReadMinistryFile(const QString& path);

// Records of delimited text: fields split at `separator`, a quoted field holding separators, line
// breaks and "" for a quote; blank lines give no record.
std::vector<QStringList> SplitDelimitedRecords(const QString& text, QChar separator);

// --- what a new edition changes ----------------------------------------------------------------

struct JournalChange {
    QString name;
    double oldPoints = 0;
    double newPoints = 0;
};

struct EditionChanges {
    std::vector<JournalChange> added;   // newPoints
    std::vector<JournalChange> removed; // oldPoints
    std::vector<JournalChange> changed; // both
};

// A journal of one edition is the same journal in the other when they share an ISSN (either of the
// four), else when their titles are equal letter case aside; each pairs with one journal at most.
EditionChanges CompareEditions(const std::vector<journals::ListRecord>& current,
                               const std::vector<journals::ListRecord>& incoming);

// "dodane: N", "usunięte: N", "zmienione punkty: N", "pominięte wiersze: N", each followed by its
// first `shown` entries, indented.
QStringList ChangeLines(const EditionChanges& changes, const std::vector<SkippedJournalRow>& skipped, int shown = 10);

// --- the list in use ---------------------------------------------------------------------------

// The journals of the list at `listPath`; none when there is no such file. Throws vestrum::Error when
// the file is no journal list.
std::vector<journals::ListRecord> ReadListInUse(const QString& listPath);

// Puts the new edition in place of the list at `listPath`: written under a temporary name beside it,
// checked by reading it back, then renamed over it; the list it replaces is kept as
// previousListPath(listPath). Its version is the day `readOn`. Throws vestrum::Error; the list in use
// is then the old one.
void SaveJournalList(const QString& listPath, const MinistryList& list, const QDate& readOn,
                     const QString& sourceFile);

// Puts the kept previous list back in place and keeps the one it replaces as the previous list, so a
// second restore undoes the first. Throws vestrum::Error when there is no previous list or it is no
// journal list.
void RestorePreviousJournalList(const QString& listPath);

// Keeps a copy of the list at `listPath` as previousListPath(listPath), staged; nothing when there is
// no list. Throws vestrum::Error when the copy cannot be made.
void KeepPreviousJournalList(const QString& listPath);

} // namespace vestrum::importing
