#include "datafile/merge_table.h"
#include "storage/schema.h"

#include <QMap>
#include <QSet>

#include <gtest/gtest.h>

using namespace vestrum;
using merge::MergeStep;

namespace {

bool hasColumn(const schema::TableDef& table, const QString& name)
{
    for (const schema::ColumnDef& c : table.columns) {
        if (c.name == name)
            return true;
    }
    return false;
}

} // namespace

// The table is copied by hand; the schema is what the databases really hold. Every table and field named must
// exist, and every survey table but the three never merged must be merged by exactly one item.
TEST(MergeTable, MatchesTheSurveySchema)
{
    const auto& items = merge::MergeItems();
    ASSERT_EQ(items.size(), static_cast<size_t>(merge::MergeItemCount));

    QMap<QString, int> itemsMergingTable;
    QSet<int> groupsUsed;
    for (const merge::MergeItem& item : items) {
        EXPECT_FALSE(item.steps.empty()) << item.caption.toStdString();
        for (const MergeStep& step : item.steps) {
            EXPECT_FALSE(step.name.isEmpty());
            if (step.kind == MergeStep::Kind::Rows) {
                EXPECT_NE(schema::findSurveyTable(step.table), nullptr) << step.table.toStdString();
                ++itemsMergingTable[step.table];
            } else {
                EXPECT_FALSE(groupsUsed.contains(step.group)) << "group " << step.group << " merged twice";
                groupsUsed.insert(step.group);
            }
        }
    }

    const QSet<QString> neverMerged = {QStringLiteral("wersja"), QStringLiteral("dane_podstawowe"),
                                       QStringLiteral("dane_szczegolowe")};
    for (const schema::TableDef& table : schema::surveyTables()) {
        const int expected = neverMerged.contains(table.name) ? 0 : 1;
        EXPECT_EQ(itemsMergingTable.value(table.name), expected) << table.name.toStdString();
    }

    // Groups 1 to 14 but the licence counts, each by one item.
    for (int group = 1; group <= merge::FieldGroupCount; ++group)
        EXPECT_EQ(groupsUsed.contains(group), group != merge::UnmergedFieldGroup) << "group " << group;
}

TEST(MergeTable, FieldGroupsHoldThe84FieldsOfTheDetailsTable)
{
    const schema::TableDef* details = schema::findSurveyTable(merge::detailsTable());
    ASSERT_NE(details, nullptr);
    const QStringList names = merge::MergedFieldNames();
    EXPECT_EQ(names.size(), 84);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 84);
    for (const QString& name : names)
        EXPECT_TRUE(hasColumn(*details, name)) << name.toStdString();

    const int sizes[merge::FieldGroupCount] = {28, 1, 6, 4, 6, 1, 3, 13, 13, 3, 1, 2, 1, 2};
    for (int group = 1; group <= merge::FieldGroupCount; ++group)
        EXPECT_EQ(merge::FieldGroup(group).size(), sizes[group - 1]) << "group " << group;
    ASSERT_FALSE(merge::FieldGroup(7).isEmpty());
    EXPECT_EQ(merge::FieldGroup(7).first(), QStringLiteral("Liczba_licencji_od_1mln"));

    // What stays the unit's own: the reporting year and the person filling in the survey.
    EXPECT_FALSE(names.contains(QStringLiteral("Rok_sprawozdawczy")));
    for (const schema::ColumnDef& c : details->columns) {
        if (c.name.startsWith(QStringLiteral("Wypelniajacy_"))) {
            EXPECT_FALSE(names.contains(c.name)) << c.name.toStdString();
        }
    }
}
