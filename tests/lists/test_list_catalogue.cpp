#include "base/error.h"
#include "survey/form_catalogue.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"

#include <gtest/gtest.h>

#include <ostream>

// Readable failures: Qt strings as UTF-8.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

#include <QSet>

using namespace vestrum;
using namespace vestrum::lists;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

} // namespace

// Every kind must name real tables and fields, or LoadList / SaveList fail at run time only
// when the user first opens that list.
TEST(ListCatalogue, EveryKindIsCompleteAndMatchesTheSchema)
{
    ASSERT_EQ(ListCatalogue().size(), 51u);
    for (const ListKindInfo& info : ListCatalogue()) {
        SCOPED_TRACE(info.kind);
        EXPECT_EQ(&ListKindInfoOf(info.kind), &info);
        const schema::TableDef* table = schema::findSurveyTable(info.table);
        ASSERT_NE(table, nullptr) << info.table.toStdString();
        auto hasField = [table](const QString& name) {
            for (const schema::ColumnDef& c : table->columns)
                if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                    return true;
            return false;
        };
        ASSERT_FALSE(info.columns.empty());
        for (const ListColumn& c : info.columns) {
            EXPECT_TRUE(hasField(c.field)) << c.field.toStdString();
            EXPECT_FALSE(c.header.isEmpty());
            EXPECT_FALSE(c.header.startsWith(QLatin1Char('*')));
        }
        if (info.sharedTable()) {
            EXPECT_TRUE(hasField(info.discriminatorField));
        }
        for (const ListConstant& c : info.constants)
            EXPECT_TRUE(hasField(c.field)) << c.field.toStdString();
        for (int b : info.blankTest) {
            EXPECT_GE(b, 0);
            EXPECT_LT(b, static_cast<int>(info.columns.size()));
        }
        EXPECT_EQ(info.blankTest.empty(), info.mainWindowGrid);
        EXPECT_FALSE(ListTitle(info.kind).isEmpty());
        EXPECT_FALSE(info.entryPage.isEmpty());
        if (info.mainWindowGrid) {
            EXPECT_EQ(info.buttonTag, -1);
            EXPECT_GE(info.sectionTag, 0);
        } else {
            EXPECT_EQ(ListKindForButtonTag(info.buttonTag), info.kind);
        }
    }
    EXPECT_THROW(ListKindInfoOf(51), Error);
    EXPECT_THROW(ListKindInfoOf(-1), Error);
    EXPECT_EQ(ListKindForButtonTag(164), -1);
    EXPECT_EQ(ListKindInfoOf(41).buttonTag, 165);
}

TEST(ListCatalogue, TitlesCopyTheSectionPageLabels)
{
    const std::pair<int, const char*> labels[] = {
        {3, "8.1.a Publikacje w czasopismach wyróżnionych przez Journal Citation Reports"},
        {4, "8.1.b Publikacje w czasopismach recenzowanych o zasięgu międzynarodowym, innych niż wyróżnione przez "
            "Journal Citation Reports, w dziedzinach, dla których narzędziem opisu jest język angielski lub podstawowy "
            "dla danej dyscypliny"},
        {5, "8.1.c Publikacje w recenzowanych czasopismach zagranicznych innych niż wyróżnione przez Journal Citation "
            "Reports"},
        {6, "8.1.d Publikacje w recenzowanych czasopismach polskich o zasięgu co najmniej krajowym"},
        {7, "Redaktorzy naczelni czasopism wymienionych w p. 8.1.a - 8.1.d będący pracownikami jednostki"},
        {8, "8.4.a Autorstwo monografii lub podręcznika akademickiego w języku angielskim lub podstawowym dla danej "
            "dyscypliny"},
        {11, "8.4.d Autorstwo rozdziału w monografii lub podręczniku akademickim w języku polskim lub innym niż "
             "angielski i niepodstawowym dla danej dyscypliny"},
        {12, "Redakorzy naczelni wieloautorskich monografii, podręczników akademickich lub serii wydawniczych będący "
             "pracownikami jednostki"},
        {15, "1) Liczba i wykaz (nazwa, symbol, numer ewidencyjny)  kontraktów w ramach projektów lub akcji Programu "
             "Ramowego Unii Europejskiej, zrealizowanych i rozliczonych z udziałem jednostki lub z udziałem "
             "pracowników jednostki, dla których jest ona podstawowym miejscem pracy"},
        {21, "1) Liczba i nazwy konferencji międzynarodowych zorganizowanych przez jednostkę"},
        {24, "4) Liczba i tytuły referatów plenarnych na  konferencjach międzynarodowych wygłoszonych przez "
             "pracowników jednostki na zaproszenie"},
        {25, "2) Liczba i wykaz zrealizowanych projektów badawczych "},
        {26, "3) Liczba i wykaz zrealizowanych projektów celowych "},
        {48, "2) Wykaz nagród i wyróżnień za zastosowanie praktyczne wyników prac B+R"},
        // fixed titles, trailing blank included
        {1, "Wykaz posiadanych uprawnień do nadawania stopnia naukowego doktora"},
        {36, "Uzyskane prawa ochronne na wzory użytkowe "},
        {41, "Nowe produkty, dla których uzyskano certyfikaty jakościowe w uprawnionych jednostkach"},
    };
    for (const auto& [kind, title] : labels)
        EXPECT_EQ(ListTitle(kind), S(title)) << kind;
    // the main-window grids show the section's chooser item
    EXPECT_EQ(ListTitle(13), S("9. Wydawnictwa własne"));
    ASSERT_GT(form::SectionChooserItems().size(), 19);
    EXPECT_EQ(ListTitle(49), form::SectionChooserItems().at(19));
}

TEST(ListCatalogue, ColumnsOfTheKindsThatDifferFromTheirNeighbours)
{
    EXPECT_EQ(ListKindInfoOf(8).headers(),
              QStringList({S("Wydawca"), S("Tytuł monografii"), S("Autor (Autorzy)"), S("Rok, tom, str."), S("L.punktów")}));
    EXPECT_EQ(ListKindInfoOf(10).columns.size(), 5u);
    EXPECT_EQ(ListKindInfoOf(9).headers().value(2), S("Tytuł rozdziału"));
    EXPECT_EQ(ListKindInfoOf(11).columns.size(), 6u);
    const int points[] = {24, 7, 12, 3};
    for (int k = 8; k <= 11; ++k)
        EXPECT_EQ(ListKindInfoOf(k).fixedPoints, points[k - 8]);

    for (int k : {25, 26, 29, 31, 32})
        ASSERT_FALSE(ListKindInfoOf(k).headers().isEmpty()) << k;
    ASSERT_FALSE(ListKindInfoOf(26).columns.empty());
    EXPECT_EQ(ListKindInfoOf(25).headers().last(), S("nakłady"));
    EXPECT_EQ(ListKindInfoOf(26).headers().last(), S("udział wnioskodawcy"));
    EXPECT_EQ(ListKindInfoOf(26).columns.back().field, S("naklady"));
    EXPECT_EQ(ListKindInfoOf(37).headers().value(1), S("data zgłoszenia"));
    EXPECT_EQ(ListKindInfoOf(36).headers().value(1), S("data uzyskania"));
    EXPECT_EQ(ListKindInfoOf(21).columns.size(), 1u);
    EXPECT_EQ(ListKindInfoOf(22).headers(), QStringList({S("nazwa konferencji"), S("tytuł referatu")}));
    for (int k : {29, 31, 32})
        EXPECT_EQ(ListKindInfoOf(k).headers().last(), S("rodzaj dokumentu")) << k;
    for (int k : {28, 30})
        EXPECT_EQ(ListKindInfoOf(k).columns.size(), 5u) << k;
    EXPECT_EQ(ListKindInfoOf(41).columns.at(1).field, S("cetryfikujacy"));
    EXPECT_EQ(ListKindInfoOf(40).headers().value(2), S("przychody naukowej"));
    EXPECT_EQ(ListKindInfoOf(3).headers().value(4), S("Czasopismo z listy MNiSW."));

    // the grid kinds carry the section page's columns, trailing blanks included
    const QStringList apparatus = ListKindInfoOf(50).headers();
    ASSERT_EQ(apparatus.size(), 11);
    EXPECT_EQ(apparatus.at(2), S("Rok produkcji "));
    EXPECT_EQ(apparatus.at(7), S("Opis zastosowania "));
    EXPECT_EQ(ListKindInfoOf(50).columns.at(8).format, CellFormat::Amount);
    EXPECT_EQ(ListKindInfoOf(0).headers(),
              QStringList({S("Nazwisko i imię"), S("Stanowisko służbowe"), S("Telefon służbowy"), S("E-mail")}));

    // patents of rodzaj 6 belong to no kind: point 6 of section 15 is a table of its own
    for (const ListKindInfo& info : ListCatalogue())
        if (info.table == S("dane_wykaz_patentow")) {
            EXPECT_NE(info.discriminator.toInt(), 6);
        }
    EXPECT_EQ(ListKindInfoOf(33).table, S("dane_wykaz_umowy_patenty"));
}

TEST(ListCatalogue, EntryPagesAndImportGroups)
{
    EXPECT_EQ(ListKindInfoOf(22).entryPage, S("referaty 2"));
    EXPECT_EQ(ListKindInfoOf(24).entryPage, S("referaty"));
    EXPECT_EQ(ListKindInfoOf(33).entryPage, S("umowy_patenty"));
    EXPECT_EQ(ListKindInfoOf(44).entryPage, S("wdrożenia chronione"));
    EXPECT_EQ(ListKindInfoOf(14).entryPage, S("członkostwo"));

    const std::vector<std::vector<int>> groups = {
        {0},      {1, 2},       {3, 4, 5, 6}, {7},  {8, 10},  {9, 11}, {12},     {13},     {14}, {15, 16, 17, 18},
        {19},     {20},         {21, 23},     {22, 24}, {25, 26}, {27}, {28, 30}, {29, 31, 32}, {33}, {34, 35},
        {36, 37}, {38},         {39},         {40}, {41, 42}, {43},     {44},     {45},     {46}, {47, 48},
        {49},     {50}};
    QSet<int> seen;
    for (const std::vector<int>& g : groups) {
        EXPECT_EQ(ImportGroupKinds(ListKindInfoOf(g.front()).importGroup), g) << g.front();
        for (int k : g)
            seen.insert(k);
    }
    EXPECT_EQ(seen.size(), 51);
}

TEST(ListCatalogue, DisciplineCount)
{
    EXPECT_EQ(DisciplineCount(S("fizyka;chemia;biologia;")), 3);
    EXPECT_EQ(DisciplineCount(S("fizyka")), 1);
    EXPECT_EQ(DisciplineCount(QString()), 1);
}
