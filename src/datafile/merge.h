#pragma once

// Merging another unit's data file into the working survey ("Łączenie danych"). For the ticked items of the
// merge table, list rows the survey lacks are added and the field groups of the single record are added up
// (numbers) or appended (texts). The other file is unpacked into a private temporary folder and only read.

#include "datafile/data_file.h"
#include "datafile/merge_table.h"
#include "lists/publication_duplicates.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace vestrum {
namespace db {
class Connection;
}

namespace merge {

// Which of the 23 items are ticked, item 1 first.
using ItemChoice = std::array<bool, MergeItemCount>;
ItemChoice NoItems();
ItemChoice AllItems();

// What one step of a merge did: the step's name and, for a table, how many rows it added.
struct StepOutcome {
    QString name;
    MergeStep::Kind kind = MergeStep::Kind::Rows;
    int rowsAdded = 0;
};

// The refusals of "połącz dane", word for word.
QString NoFileChosenMessage();
QString NotCurrentDataFileMessage();
QString OtherVersionMessage();
// A number of the other file that cannot be merged: the table, the field, the row (from 1, in the other
// file's table) and the other file.
QString NotMergeableMessage(const QString& table, const QString& field, qint64 row, const QString& file);

// The number a version text "a.b.c.d" stands for: a × 1000 + b × 100 + c × 10 + d (2.2.1.2 gives 2212).
// Empty when the text is not exactly four whole numbers separated by dots ("2.2.1" is no version).
std::optional<int> VersionValue(const QString& text);

// The publications a merge would add that repeat one of the survey's, or one it added before: each is
// found (in `found`) and, when `leaveOut` says so, not added.
struct DuplicateHandling {
    std::function<bool(const lists::ProbableDuplicate&)> leaveOut;
    std::vector<lists::ProbableDuplicate> found;
};

// Adds to `table` of `working` every row of the same table of `source` that it does not hold yet, in the
// source's order, and returns how many it added. A row is already held when every field of the working table
// but "id" (and auto-numbered ones) has an equal value in the source row: texts equal without regard to case
// (Polish letters too), an empty text and NULL alike, numbers equal by value. Rows added earlier count, so a
// row found twice in the source is added once. A field the source lacks counts as empty; a table the source
// lacks adds nothing.
int MergeRows(db::Connection& working, db::Connection& source, const QString& table);

// Adds field group `group` of the source's single record of dane_szczegolowe to the working one: texts are
// appended with no separator, numbers added with an empty side counting as zero; a field empty in the source
// stays as it is. The working table gets its one record first when it has none.
void MergeFieldGroup(db::Connection& working, db::Connection& source, int group);

// Runs every step of the ticked items against an opened source, all inside one transaction: when anything
// fails, `working` is exactly as before and vestrum::Error says why. The progress shows each item's caption
// and each step's name. Before anything changes, the merge is refused (NotMergeableMessage naming
// `sourceFile`, with the detail on a "Szczegóły:" line) when, in a ticked item, a value of the source that
// goes into a number field is not a number, or a whole-number field would leave -2147483648..2147483647
// (a sum of the single record, or a copied list value).
std::vector<StepOutcome> MergeDatabases(db::Connection& working, db::Connection& source, const ItemChoice& items,
                                        datafiles::Progress& progress, const QString& sourceFile,
                                        DuplicateHandling* duplicates = nullptr);

// "połącz dane": checks the data file at `path` (it exists, opens with the current password, its version is
// four numbers and not lower than the working survey's), then merges the ticked items into `working` with MergeDatabases.
// A refusal or a failure throws vestrum::Error with the Polish message; `working` is then unchanged. The
// file itself is never changed.
std::vector<StepOutcome> MergeDataFile(db::Connection& working, const QString& path, const ItemChoice& items,
                                       datafiles::Progress& progress, DuplicateHandling* duplicates = nullptr);

// The probable duplicates of publications a merge of `path` would add; `working` is left as it was
// (the merge runs and is rolled back). Refusals and failures throw as MergeDataFile does.
std::vector<lists::ProbableDuplicate> MergeDuplicatesOf(db::Connection& working, const QString& path,
                                                        const ItemChoice& items);

} // namespace merge
} // namespace vestrum
