#include "datafile/merge.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "support/legacy_data_file.h"

#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

void saveArticles(db::Connection& survey, int kind, std::initializer_list<std::pair<const char*, const char*>> articles)
{
    lists::ListGrid grid(lists::ListKindInfoOf(kind).headers());
    std::vector<QStringList> rows;
    for (const auto& [title, year] : articles)
        rows.push_back({ S("Kwartalnik Historyczny"), S(title), S("Nowak A."), S(year), QString(), S("0,00") });
    grid.setRows(rows);
    lists::SaveList(survey, kind, grid);
}

int rowsOf(db::Connection& survey, int kind)
{
    return static_cast<int>(lists::EditorGrid(survey, kind).rows().size());
}

} // namespace

// Two departments' files: the other one holds an article the survey has in another list, the same
// article with another comma, and one new article.
TEST(MergeDuplicates, AreFoundBeforeTheyAreAddedAndLeftOutOnlyWhenChosen)
{
    QTemporaryDir files;
    const QString other = makeDataFile(files.filePath(QStringLiteral("wydzial.naj")), [](db::Connection& c) {
        saveArticles(c, 5, { { "Dzieje Mazowsza.", "2008, 2" }, { "Nowe źródła", "2008" } });
        saveArticles(c, 6, { { "dzieje mazowsza", "2008" } });
    });
    datafiles::NoProgress quiet;

    TempSurvey working;
    saveArticles(working.connection, 3, { { "Dzieje Mazowsza", "2008, 2, 11-40" } });
    // The preview changes nothing.
    const std::vector<lists::ProbableDuplicate> preview
        = merge::MergeDuplicatesOf(working.connection, other, merge::AllItems());
    ASSERT_EQ(preview.size(), 2u);
    EXPECT_EQ(lists::DuplicateLine(preview[0]), S("możliwy duplikat: Dzieje Mazowsza. (2008) - 8.1.a wiersz 1"));
    EXPECT_EQ(preview[1].later.kind, 6);
    EXPECT_EQ(rowsOf(working.connection, 5), 1); // the empty list's one blank row

    // Added when the user keeps them, and still counted.
    merge::DuplicateHandling keep;
    merge::MergeDataFile(working.connection, other, merge::AllItems(), quiet, &keep);
    EXPECT_EQ(keep.found.size(), 2u);
    EXPECT_EQ(rowsOf(working.connection, 5), 2);
    EXPECT_EQ(rowsOf(working.connection, 6), 1);

    TempSurvey second;
    saveArticles(second.connection, 3, { { "Dzieje Mazowsza", "2008, 2, 11-40" } });
    merge::DuplicateHandling leaveOut;
    leaveOut.leaveOut = [](const lists::ProbableDuplicate& d) { return d.later.kind == 5; };
    const auto outcomes = merge::MergeDataFile(second.connection, other, merge::AllItems(), quiet, &leaveOut);
    EXPECT_EQ(leaveOut.found.size(), 2u);
    const std::vector<QStringList> kept = lists::EditorGrid(second.connection, 5).rows();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0][1], S("Nowe źródła"));
    EXPECT_EQ(rowsOf(second.connection, 6), 1); // left in by the choice
    int added = 0;
    for (const merge::StepOutcome& o : outcomes)
        added += o.rowsAdded;
    EXPECT_EQ(added, 2);
}
