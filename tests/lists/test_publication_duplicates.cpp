#include "lists/publication_duplicates.h"

#include "lists/list_catalogue.h"

#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::lists;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList article(const char* title, const char* dates, const char* authors = "Kowalski J.", const char* issn = "")
{
    return { S("Acta Physica Polonica B"), S(title), S(authors), S(dates), QString(), S("0,00"), S(issn) };
}

QStringList chapter(const char* book, const char* title, const char* dates)
{
    return { S("PWN"), S(book), S(title), S("Nowak A."), S(dates), S("7") };
}

} // namespace

TEST(PublicationDuplicates, SameArticleInTwoListsWithAChangedCommaIsNamedWithBothPlaces)
{
    PublicationLists survey;
    survey[3] = { article("Quarks and Gluons", "2019, 50(3), 1-10"), article("Other work", "2019, 50, 11-20") };
    survey[5] = { article("Something else", "2018"), article("quarks & gluons.", "2019, 50(3), 1-10", "Kowalski J., Nowak A.") };
    // The same title in another year is another publication; a chapter with the article's title too.
    survey[6] = { article("Quarks and gluons", "2020, 51, 5") };
    survey[9] = { chapter("Book", "Quarks and Gluons", "Warszawa, 2019") };

    const std::vector<ProbableDuplicate> found = FindProbableDuplicates(survey);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].later, (PublicationPlace { 5, 1 }));
    EXPECT_EQ(found[0].earlier, (PublicationPlace { 3, 0 }));
    EXPECT_EQ(DuplicateLine(found[0]), S("możliwy duplikat: quarks & gluons. (2019) - 8.1.a wiersz 1"));
}

TEST(PublicationDuplicates, IssnTitleAndVolumeCatchAnOnlineFirstYearAndMonographsAreComparedAmongThemselves)
{
    PublicationLists survey;
    survey[4] = { article("Quarks", "2018, 50, online first", "A", "0587-4254") };
    survey[6] = { article("QUARKS", "2019, 50(2), 1-10", "B", "05874254"),
        article("Quarks", "2019, 51(2), 1-10", "C", "0587-4254") };
    survey[8] = { { S("PWN"), S("Księga"), S("Żak E."), S("Łódź, 2017"), S("24") } };
    survey[10] = { { S("Znak"), S("KSIĘGA!"), S("Żak E."), S("Kraków, 2017, t. 2"), S("12") } };
    survey[11] = { chapter("Księga", "Rozdział pierwszy", "2017"), chapter("Inna", "Rozdział  pierwszy", "2017") };

    const std::vector<ProbableDuplicate> found = FindProbableDuplicates(survey);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].later, (PublicationPlace { 6, 0 })); // same ISSN, title and volume 50, another year
    EXPECT_EQ(found[0].earlier, (PublicationPlace { 4, 0 }));
    EXPECT_EQ(found[1].later, (PublicationPlace { 6, 1 })); // 2019 and the title, as the row before it
    EXPECT_EQ(found[2].later, (PublicationPlace { 10, 0 }));
    EXPECT_EQ(found[2].earlier, (PublicationPlace { 8, 0 }));
    EXPECT_EQ(found[3].later, (PublicationPlace { 11, 1 })); // chapters by their own title
    EXPECT_EQ(found[3].title, S("Rozdział  pierwszy"));
}

TEST(PublicationDuplicates, RowsEqualInOneListStayTheEditorsRefusalAndRowsWithoutTitleOrYearAreNoDuplicates)
{
    PublicationLists survey;
    survey[3] = { article("Quarks", "2019"), article("QUARKS", "2019") /* case aside equal but for the title */,
        article("", "2019"), article("", "2019"), article("No year", ""), article("No year", "") };
    survey[3][1][0] = S("ACTA PHYSICA POLONICA B");
    survey[3][1][2] = S("KOWALSKI J.");
    survey[4] = { article("Quarks", "2019") };

    const std::vector<ProbableDuplicate> found = FindProbableDuplicates(survey);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].later, (PublicationPlace { 4, 0 }));
    EXPECT_EQ(found[0].earlier, (PublicationPlace { 3, 0 }));
}

TEST(PublicationDuplicates, AnImportIsCheckedAgainstTheSurveyAndItselfAndItsDuplicatesCanBeLeftOut)
{
    PublicationLists survey;
    survey[3] = { article("Quarks", "2019") };
    survey[4] = { article("Gluons", "2020"), article("Mesons", "2021") };
    survey[8] = { { S("PWN"), S("Quarks"), S("A"), S("2019"), S("24") } };

    const std::vector<QStringList> incoming
        = { article("Hadrons", "2019"), article("quarks", "2019"), article("Hadrons!", "2019, 3"),
              article("Mesons", "2021", "Inny A."), article("Gluons", "2020") /* equal to a row of its own list */ };
    const std::vector<ProbableDuplicate> found = FindIncomingDuplicates(survey, 4, incoming);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].incoming, 1);
    EXPECT_EQ(found[0].later, (PublicationPlace { 4, 3 })); // after the list's two rows
    EXPECT_EQ(found[0].earlier, (PublicationPlace { 3, 0 }));
    EXPECT_EQ(found[1].incoming, 2);
    EXPECT_EQ(found[1].earlier, (PublicationPlace { 4, 2 })); // the first imported row, as the list will hold it
    EXPECT_EQ(found[2].incoming, 3);
    EXPECT_EQ(DuplicateLine(found[2]), S("możliwy duplikat: Mesons (2021) - 8.1.b wiersz 2"));

    const std::vector<QStringList> kept = WithoutDuplicates(incoming, found);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0][1], S("Hadrons"));
    EXPECT_EQ(kept[1][1], S("Gluons"));

    // An import that replaces the list (the XML exchange) meets only the other lists; the placeholder
    // row of an empty list is replaced, so the first imported row is row 1.
    const std::vector<ProbableDuplicate> replacing = FindIncomingDuplicates(survey, 4, incoming, true);
    ASSERT_EQ(replacing.size(), 2u);
    EXPECT_EQ(replacing[0].incoming, 1);
    EXPECT_EQ(replacing[1].incoming, 2);
    survey[5] = { QStringList(6) };
    const std::vector<ProbableDuplicate> intoEmpty = FindIncomingDuplicates(survey, 5, { article("Mesons", "2021") });
    ASSERT_EQ(intoEmpty.size(), 1u);
    EXPECT_EQ(intoEmpty[0].later, (PublicationPlace { 5, 0 }));
    // Lists that are no publications are never compared.
    EXPECT_TRUE(FindIncomingDuplicates(survey, 7, { article("Quarks", "2019") }).empty());
}
