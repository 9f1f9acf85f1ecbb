// The journal list read from the ministry's files: second titles and ISSN pairs, subtitles in the
// suggestions, the ISSN a publication keeps, and publications checked again after a new edition.
#include "lists/journal_identification.h"

#include "lists/list_data.h"
#include "lists/list_grid.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"
#include "support/journal_variants.h"
#include "support/temp_survey.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

using namespace vestrum;
using namespace vestrum::lists;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

journals::ListRecord record(const char* name, double points, const char* issn = "", const char* name2 = "",
                            const char* issn2 = "")
{
    journals::ListRecord r;
    r.name = S(name);
    r.points = points;
    r.issn = S(issn);
    r.name2 = S(name2);
    r.issn2 = S(issn2);
    return r;
}

struct ListOf {
    QTemporaryDir dir;
    db::Connection connection;
    JournalList list{connection};

    explicit ListOf(const std::vector<journals::ListRecord>& records)
    {
        const QString path = dir.filePath(QStringLiteral("lista.mdb"));
        journals::writeJournalListDatabase(path, records, QDate(2025, 1, 2), S("wykaz.xlsx"));
        connection.open(path, schema::databasePassword());
        list.open();
    }
};

// A publication row of kinds 3 to 6: typed title, title, authors, year, listed title, points, ISSN.
QStringList publication(const char* typed, const char* issn = "", const char* listed = "", const char* points = "0,00")
{
    return {S(typed), S("Tytuł"), S("Autor"), S("2024"), S(listed), S(points), S(issn)};
}

} // namespace

TEST(JournalRenewal, TheSecondTitleAndItsIssnPairIdentifyTheJournalByItsFirstTitle)
{
    ListOf journals({record("Journal of Things", 70, "1111-1111", "Czasopismo Rzeczy", "2222-2222"),
                     record("Other", 20, "3333-3333")});
    const auto byTitle = journals.list.identify(S("czasopismo rzeczy"));
    ASSERT_TRUE(byTitle);
    EXPECT_EQ(byTitle->name, S("Journal of Things"));
    const auto byIssn = journals.list.identify(S("cokolwiek"), S("22222222"));
    ASSERT_TRUE(byIssn);
    EXPECT_EQ(byIssn->name, S("Journal of Things"));
    // The key of the second title too.
    EXPECT_EQ(journals.list.match(S("Czasopismo - rzeczy")).kind, MatchKind::Key);
}

TEST(JournalRenewal, SuggestionsSeeTitlesWithAndWithoutTheirSubtitles)
{
    ListOf journals({record("AACA Digital: theory and applications", 20), record("Theory and Applications of Graphs", 40),
                     record("Nature Physics", 200), record("Nature Reviews Physics", 200)});
    const JournalMatcher& matcher = journals.list.matcher();
    auto first = [&](const char* typed) {
        const std::vector<Suggestion> found = matcher.suggest(S(typed));
        return found.empty() ? QString() : matcher.journal(found.front().journal).name;
    };
    EXPECT_EQ(first("AACA Digital"), S("AACA Digital: theory and applications"));
    EXPECT_EQ(first("Nature Physics: a monthly review"), S("Nature Physics"));
    EXPECT_EQ(first("Nature Physics - a monthly review"), S("Nature Physics"));
    // A journal comes once however many of its forms are near.
    const std::vector<Suggestion> found = matcher.suggest(S("AACA Digital: theory"));
    EXPECT_EQ(std::count_if(found.begin(), found.end(), [](const Suggestion& s) { return s.journal == 0; }), 1);
    // Parts of titles are never enough to identify.
    EXPECT_EQ(matcher.match(S("AACA Digital")).kind, MatchKind::None);
}

TEST(JournalRenewal, ARowKeepsTheIssnThatNamedItsJournalAndTakesItsTitleWhenNoneWasTyped)
{
    ListOf journals({record("Journal of Things", 70, "1111-1111"), record("Other", 20, "3333-3333")});
    QStringList byIssn = publication("", "ISSN 11111111");
    identifyRow(journals.list, byIssn, byIssn.value(kIssnColumn));
    EXPECT_EQ(byIssn, publication("Journal of Things", "1111-1111", "Journal of Things", "70,00"));

    // Named by its title, the row keeps what was typed in "ISSN".
    QStringList byTitle = publication("other", "nieznany");
    identifyRow(journals.list, byTitle, byTitle.value(kIssnColumn));
    EXPECT_EQ(byTitle, publication("other", "nieznany", "Other", "20,00"));

    // A row known only by its ISSN waits for its journal, and a later identification uses the ISSN.
    std::vector<QStringList> rows{publication("", "3333-3333"), publication("Zupełnie inne", "1111-1111")};
    EXPECT_TRUE(awaitsJournal(rows[0]));
    EXPECT_EQ(identifyAwaitingRows(journals.list, rows), 2);
    EXPECT_EQ(rows[0], publication("Other", "3333-3333", "Other", "20,00"));
    EXPECT_EQ(rows[1].value(kListedJournalColumn), S("Journal of Things"));
}

TEST(JournalRenewal, CheckingRowsAgainstANewEditionCountsThePointsThatChanged)
{
    ListOf journals({record("Journal of Things", 100, "1111-1111"), record("Other", 20), record("Gone Up", 140)});
    std::vector<QStringList> rows{
        publication("Journal of Things", "", "Journal of Things", "70,00"), // 70 -> 100
        publication("typed otherwise", "1111-1111", "Journal of Things", "70,00"), // by its ISSN: 70 -> 100
        publication("Dawny tytuł", "", "Gone Up", "200,00"),               // by its listed title: 200 -> 140
        publication("Other", "", "Other", "20,00"),                         // unchanged
        publication("Not Listed Any More", "", "Not Listed Any More", "40,00"), // left as it is
        publication("other"),                                               // identified now
    };
    const ListCheck check = checkRowsAgainstList(journals.list, rows);
    EXPECT_EQ(check.identified, 1);
    EXPECT_EQ(check.pointsChanged, 3);
    EXPECT_EQ(pointsChangeLine(check), S("zmieniono punkty: 3 wierszy, razem 0,00"));
    EXPECT_EQ(rows[2].value(kPointsColumn), S("140,00"));
    EXPECT_EQ(rows[4].value(kPointsColumn), S("40,00"));
    EXPECT_EQ(rows[5].value(kListedJournalColumn), S("Other"));

    rows.erase(rows.begin() + 2);
    rows[0][kPointsColumn] = S("70,00");
    EXPECT_EQ(pointsChangeLine(checkRowsAgainstList(journals.list, rows)), S("zmieniono punkty: 1 wierszy, razem +30,00"));
    rows[0][kPointsColumn] = S("120,50");
    EXPECT_EQ(pointsChangeLine(checkRowsAgainstList(journals.list, rows)), S("zmieniono punkty: 1 wierszy, razem -20,50"));
}

TEST(JournalRenewal, PublicationsOfAnEarlierVersionLoadWithAnEmptyIssnAndGainTheFieldOnSave)
{
    vestrum::testing::TempSurvey survey;
    survey.connection.execute(QStringLiteral("DROP TABLE dane_wykaz_publikacji"));
    survey.connection.execute(QStringLiteral(
        "CREATE TABLE dane_wykaz_publikacji (grupa INTEGER, Czasopismo NVARCHAR(250), Tytul NVARCHAR(255), "
        "Autorzy NVARCHAR(255), Rok_tom_str NVARCHAR(255), Czasopismo_MEiN NVARCHAR(255), Liczba_punktow REAL, "
        "lista NVARCHAR(10))"));
    survey.connection.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji VALUES (2, 'Stare', 'T', 'A', "
                                             "'2008', 'Stare', 20, '2009')"));
    ListGrid grid = LoadList(survey.connection, 4).grid;
    ASSERT_EQ(grid.rowCount(), 1);
    EXPECT_EQ(grid.row(0), (QStringList{S("Stare"), S("T"), S("A"), S("2008"), S("Stare"), S("20,00"), QString()}));
    grid.setCell(kIssnColumn, 0, S("1234-5679"));
    SaveList(survey.connection, 4, grid);
    EXPECT_EQ(LoadList(survey.connection, 4).grid.row(0).value(kIssnColumn), S("1234-5679"));
}

// The variants of the shipped list's titles as a bibliography holds them: every kind keeps its
// journal identified or suggested, subtitles included, and no variant is given another journal.
TEST(JournalRenewal, VariantsOfTheShippedListFindTheirJournals)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    journals::createJournalListDatabase(path);
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    JournalList list(connection);
    list.open();
    const JournalMatcher& matcher = list.matcher();
    std::map<vestrum::testing::VariantKind, vestrum::testing::VariantOutcome> outcomes;
    for (const vestrum::testing::TitleVariant& variant : vestrum::testing::JournalTitleVariants(matcher))
        vestrum::testing::ScoreVariant(matcher, variant, outcomes[variant.kind]);

    for (const auto& [kind, outcome] : outcomes) {
        EXPECT_EQ(outcome.wrong, 0) << vestrum::testing::VariantKindName(kind);
        EXPECT_GT(outcome.variants, 20) << vestrum::testing::VariantKindName(kind);
    }
    EXPECT_GE(outcomes[vestrum::testing::VariantKind::SubtitleAdded].share(), 0.95);
    EXPECT_GE(outcomes[vestrum::testing::VariantKind::SubtitleRemoved].share(), 0.95);
    EXPECT_GE(outcomes[vestrum::testing::VariantKind::Typo].share(), 0.9);
    EXPECT_EQ(outcomes[vestrum::testing::VariantKind::Issn].share(), 1.0);
}
