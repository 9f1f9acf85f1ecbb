#pragma once

// What "Łączenie danych" merges, item by item. The 23 items of the merge window's check list, each with the
// steps it runs in order: the rows of a list table, or one group of the single record of dane_szczegolowe,
// each step under the name the progress window shows for it. Nothing else is merged: dane_podstawowe,
// wersja, the fields of dane_szczegolowe outside the 84 of the groups (the reporting year, the person filling
// in) and field group 7, which no item uses.

#include <QString>
#include <QStringList>

#include <vector>

namespace vestrum::merge {

struct MergeStep {
    enum class Kind { Rows, Fields };
    Kind kind;
    QString table;  // Rows: the table whose rows are added
    int group = 0;  // Fields: the field group (1 to 14) of dane_szczegolowe
    QString name;   // what the progress window shows while the step runs
};

struct MergeItem {
    QString caption; // as the check list shows it
    std::vector<MergeStep> steps;
};

constexpr int MergeItemCount = 23;
constexpr int FieldGroupCount = 14;
// The three licence counts: a group of its own that no item merges.
constexpr int UnmergedFieldGroup = 7;

// The single-record table whose field groups are merged.
QString detailsTable();

// The 23 items in the order in which they are shown and processed.
const std::vector<MergeItem>& MergeItems();

// The field names of group 1 to 14, in order.
const QStringList& FieldGroup(int group);

// The 84 merged field names of dane_szczegolowe, groups 1 to 14 one after another.
QStringList MergedFieldNames();

} // namespace vestrum::merge
