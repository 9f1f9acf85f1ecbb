#include "lists/journal_identification.h"

#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/list_grid.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace vestrum;
using lists::Journal;
using lists::JournalList;
using lists::ListPart;

namespace {

struct Row {
    const char* name;
    double points;
    int part;
    const char* abbreviation = "";
};

// A small journal list in a throw-away folder, with or without the field `skrot`.
struct SmallList {
    QTemporaryDir dir;
    db::Connection connection;
    JournalList list{connection};

    SmallList(const std::vector<Row>& rows, bool withAbbreviations)
    {
        const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        db::Connection::create(path, schema::databasePassword());
        connection.open(path, schema::databasePassword());
        connection.execute(withAbbreviations
                               ? QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty "
                                                "INTEGER, rodzaj INTEGER, skrot NVARCHAR(100))")
                               : QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty "
                                                "INTEGER, rodzaj INTEGER)"));
        db::Transaction transaction(connection);
        for (const Row& row : rows) {
            QVariantList values{QString::fromUtf8(row.name), row.points, row.part};
            if (withAbbreviations)
                values.append(QString::fromUtf8(row.abbreviation));
            connection.execute(withAbbreviations
                                   ? QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, ?, ?)")
                                   : QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, ?)"),
                               values);
        }
        transaction.commit();
        list.open();
    }

    QString currentName() const
    {
        const auto journal = list.currentJournal();
        return journal ? journal->name : QStringLiteral("<none>");
    }
};

// Inserted out of order on purpose, with names that differ from one another only in case,
// Polish capitals, an apostrophe, "%" and "_", and all three parts of the list.
const std::vector<Row> kRows = {
    {"Journal of Physics", 20, 0, "J Phys"},
    {"Acta Physica Polonica B", 15, 1, "Acta Phys Pol B"},
    {"Acta Physica Polonica A", 15, 0, "Acta Phys Pol A"},
    {"Annals of Physics", 25, 1, "J Phys A"},
    {"ŁÓDZKIE STUDIA TEOLOGICZNE", 6, 2},
    {"Śląski Kwartalnik Historyczny Sobótka", 9, 1},
    {"Żywność Nauka Technologia Jakość", 13, 1},
    {"eLife", 45, 0},
    {"Annales de l'Université de Lyon", 4, 1},
    {"Annales de la Faculté", 3, 0},
    {"100% Science", 2, 1},
    {"100 Years of Science", 5, 1},
    {"Data_Science Review", 7, 1},
    {"Data-Science Review", 8, 1},
    {"Physics Letters", 30, 1},
    {"Applied Physics", 10, 2},
    {"Człowiek i Społeczeństwo", 5, 1},
    {"Czytanie Literatury", 5, 1},
    {"Zeszyty Naukowe", 3, 1},
};

} // namespace

TEST(JournalIdentification, AutomaticIdentificationMatchesWholeNamesOnly)
{
    SmallList small(kRows, true);
    ASSERT_EQ(small.list.totalCount(), static_cast<int>(kRows.size()));

    // Letter case of the typed title does not matter; the list's form of the name is stored.
    EXPECT_EQ(small.list.identify(QStringLiteral("acta physica polonica a")),
              (Journal{QStringLiteral("Acta Physica Polonica A"), QStringLiteral("15")}));
    // Polish capital letters fold to their small forms.
    EXPECT_EQ(small.list.identify(QStringLiteral("łódzkie studia teologiczne")),
              (Journal{QStringLiteral("ŁÓDZKIE STUDIA TEOLOGICZNE"), QStringLiteral("6")}));
    EXPECT_EQ(small.list.identify(QStringLiteral("ŚLĄSKI KWARTALNIK HISTORYCZNY SOBÓTKA"))->name,
              QStringLiteral("Śląski Kwartalnik Historyczny Sobótka"));
    EXPECT_EQ(small.list.identify(QStringLiteral("ŻYWNOŚĆ NAUKA TECHNOLOGIA JAKOŚĆ"))->points, QStringLiteral("13"));
    EXPECT_EQ(small.list.identify(QStringLiteral("Annales de l'université de Lyon"))->points, QStringLiteral("4"));

    // Only a beginning, an abbreviation, an empty title: not identified.
    EXPECT_FALSE(small.list.identify(QStringLiteral("Acta Physica")));
    EXPECT_FALSE(small.list.identify(QStringLiteral("J Phys")));
    EXPECT_FALSE(small.list.identify(QString()));
    EXPECT_FALSE(small.list.identify(QStringLiteral("%")));

    // A publication row gets the listed name and points, or "" and "0".
    QStringList row{QStringLiteral("PHYSICS LETTERS"), QStringLiteral("t"), QStringLiteral("a"), QStringLiteral("r")};
    lists::identifyRow(small.list, row);
    EXPECT_EQ(row.value(lists::kListedJournalColumn), QStringLiteral("Physics Letters"));
    EXPECT_EQ(row.value(lists::kPointsColumn), QStringLiteral("30"));
    row[0] = QStringLiteral("Physics");
    lists::identifyRow(small.list, row);
    EXPECT_EQ(row.value(lists::kListedJournalColumn), QString());
    EXPECT_EQ(row.value(lists::kPointsColumn), QStringLiteral("0"));

    // The whole list is searched whatever the search window left as filter, and the filter is off afterwards.
    small.list.setFilter(ListPart::A);
    EXPECT_TRUE(small.list.identify(QStringLiteral("Physics Letters")));
    EXPECT_FALSE(small.list.filter().has_value());
    EXPECT_EQ(small.list.count(), small.list.totalCount());
}

TEST(JournalIdentification, FractionalPointsKeepTheirCommaUpToTheDatabase)
{
    SmallList small({{"Półrocznik Ułamkowy", 12.5, 1}, {"Rocznik Całkowity", 7, 1}}, false);
    EXPECT_EQ(small.list.identify(QStringLiteral("PÓŁROCZNIK UŁAMKOWY"))->points, QStringLiteral("12,5"));
    EXPECT_EQ(small.list.identify(QStringLiteral("rocznik całkowity"))->points, QStringLiteral("7"));

    // The identified row saved as a publication keeps the fraction, and shows it again when loaded.
    const int kind = 4;
    lists::ListGrid grid(lists::ListKindInfoOf(kind).headers());
    QStringList row{QStringLiteral("półrocznik ułamkowy"), QStringLiteral("Tytuł"), QStringLiteral("Autor"),
                    QStringLiteral("2008")};
    lists::identifyRow(small.list, row);
    grid.setRows({row});
    vestrum::testing::TempSurvey survey;
    lists::SaveList(survey.connection, kind, grid);
    EXPECT_DOUBLE_EQ(survey.connection.scalar(QStringLiteral("select Liczba_punktow from dane_wykaz_publikacji"))
                         .toDouble(),
                     12.5);
    EXPECT_EQ(lists::LoadList(survey.connection, kind).grid.cell(lists::kPointsColumn, 0), QStringLiteral("12,50"));
}

TEST(JournalIdentification, ViewIsInCaseInsensitiveNameOrderWithFilter)
{
    SmallList small(kRows, true);
    QStringList names;
    for (int i = 0; i < small.list.count(); ++i)
        names.append(small.list.journal(i).name);
    // "eLife" sits among the E's, not after every capital letter.
    EXPECT_LT(names.indexOf(QStringLiteral("Data_Science Review")), names.indexOf(QStringLiteral("eLife")));
    EXPECT_LT(names.indexOf(QStringLiteral("eLife")), names.indexOf(QStringLiteral("Journal of Physics")));
    // Polish letters follow their base letters: L, Ł, then the next letter.
    EXPECT_LT(names.indexOf(QStringLiteral("Journal of Physics")), names.indexOf(QStringLiteral("ŁÓDZKIE STUDIA TEOLOGICZNE")));
    EXPECT_LT(names.indexOf(QStringLiteral("ŁÓDZKIE STUDIA TEOLOGICZNE")), names.indexOf(QStringLiteral("Physics Letters")));
    EXPECT_LT(names.indexOf(QStringLiteral("Physics Letters")), names.indexOf(QStringLiteral("Śląski Kwartalnik Historyczny Sobótka")));
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.last(), QStringLiteral("Żywność Nauka Technologia Jakość"));
    EXPECT_LT(names.indexOf(QStringLiteral("Człowiek i Społeczeństwo")), names.indexOf(QStringLiteral("Czytanie Literatury")));
    EXPECT_LT(names.indexOf(QStringLiteral("Zeszyty Naukowe")), names.indexOf(QStringLiteral("Żywność Nauka Technologia Jakość")));
    EXPECT_EQ(small.list.current(), 0);

    small.list.setFilter(ListPart::A);
    ASSERT_EQ(small.list.count(), 4);
    for (int i = 0; i < small.list.count(); ++i)
        EXPECT_EQ(small.list.part(i), 0) << small.list.journal(i).name.toStdString();
    small.list.setFilter(ListPart::MissingFromB);
    EXPECT_EQ(small.list.count(), 2);
    EXPECT_EQ(small.currentName(), QStringLiteral("Applied Physics"));
    small.list.setFilter(std::nullopt);
    EXPECT_EQ(small.list.count(), small.list.totalCount());
}

TEST(JournalIdentification, DialogIdentificationWithAbbreviations)
{
    SmallList small(kRows, true);
    ASSERT_TRUE(small.list.hasAbbreviations());
    small.list.setFilter(ListPart::MissingFromB);

    // Whole name; the filter is cleared and the record becomes current.
    EXPECT_EQ(small.list.identifyInDialog(QStringLiteral("ELIFE")),
              (Journal{QStringLiteral("eLife"), QStringLiteral("45")}));
    EXPECT_FALSE(small.list.filter().has_value());
    EXPECT_EQ(small.currentName(), QStringLiteral("eLife"));

    // Whole abbreviation, in any case.
    EXPECT_EQ(small.list.identifyInDialog(QStringLiteral("acta phys pol b"))->name,
              QStringLiteral("Acta Physica Polonica B"));
    EXPECT_EQ(small.currentName(), QStringLiteral("Acta Physica Polonica B"));
    // "J Phys A" of "Annals of Physics" comes first in name order and begins with "J Phys", yet the
    // journal whose abbreviation is exactly "J Phys" is the one meant.
    EXPECT_EQ(small.list.identifyInDialog(QStringLiteral("J Phys"))->name, QStringLiteral("Journal of Physics"));

    // A beginning of a name or of an abbreviation identifies nothing; the current record stays.
    EXPECT_FALSE(small.list.identifyInDialog(QStringLiteral("Acta Physica")));
    EXPECT_FALSE(small.list.identifyInDialog(QStringLiteral("Acta Phys")));
    // Most records have no abbreviation: a blank title must not "equal" an empty one.
    EXPECT_FALSE(small.list.identifyInDialog(QString()));
    EXPECT_FALSE(small.list.identifyInDialog(QStringLiteral("  ")));
}

TEST(JournalIdentification, DialogIdentificationWithoutAbbreviationField)
{
    SmallList small(kRows, false);
    EXPECT_FALSE(small.list.hasAbbreviations());
    EXPECT_FALSE(small.list.identifyInDialog(QStringLiteral("J Phys")));
    EXPECT_EQ(small.list.identifyInDialog(QStringLiteral("journal of physics"))->points, QStringLiteral("20"));
    EXPECT_EQ(small.list.abbreviation(small.list.current()), QString());
}

TEST(JournalIdentification, SearchByBeginning)
{
    SmallList small(kRows, true);
    // A title that is only a beginning: the first name with that beginning.
    EXPECT_TRUE(small.list.findByBeginning(QStringLiteral("ACTA PHYSICA")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Acta Physica Polonica A"));
    EXPECT_TRUE(small.list.findByBeginning(QStringLiteral("ł")));
    EXPECT_EQ(small.currentName(), QStringLiteral("ŁÓDZKIE STUDIA TEOLOGICZNE"));
    EXPECT_TRUE(small.list.findByBeginning(QStringLiteral("ŻYWNOŚĆ")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Żywność Nauka Technologia Jakość"));

    // An apostrophe is a character like any other.
    EXPECT_TRUE(small.list.findByBeginning(QStringLiteral("Annales de l'U")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Annales de l'Université de Lyon"));
    // "%" and "_" match only themselves: "100%" is not "100 Years", "data_" is not "Data-".
    EXPECT_TRUE(small.list.findByBeginning(QStringLiteral("100%")));
    EXPECT_EQ(small.currentName(), QStringLiteral("100% Science"));
    EXPECT_TRUE(small.list.findByBeginning(QStringLiteral("data_")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Data_Science Review"));
    EXPECT_TRUE(small.list.findByBeginning(QStringLiteral("Data-")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Data-Science Review"));

    // Not found: false, and the current record stays.
    EXPECT_FALSE(small.list.findByBeginning(QStringLiteral("Zoology")));
    EXPECT_FALSE(small.list.findByBeginning(QStringLiteral("%Science")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Data-Science Review"));

    // With list A in the view, a list-A name is found although a list-B name comes first in the
    // whole table; a name only outside the view is not found.
    small.list.setFilter(ListPart::A);
    EXPECT_TRUE(small.list.findByBeginning(QStringLiteral("annales")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Annales de la Faculté"));
    EXPECT_FALSE(small.list.findByBeginning(QStringLiteral("Physics")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Annales de la Faculté"));
}

TEST(JournalIdentification, SearchByFragmentAndNext)
{
    SmallList small(kRows, true);
    EXPECT_FALSE(small.list.findFragment(QStringLiteral("   ")));
    EXPECT_FALSE(small.list.findNext(QStringLiteral("   ")));

    // Every name holding "physic", in order, each once; past the last one the record stays.
    ASSERT_TRUE(small.list.findFragment(QStringLiteral("PHYSIC")));
    QStringList walked{small.currentName()};
    // Bounded by the list's length, so a "next" that stops advancing fails here instead of looping.
    for (int steps = 0; small.list.findNext(QStringLiteral("physic")); ++steps) {
        ASSERT_LT(steps, small.list.totalCount()) << "\"następny\" does not advance past " << walked.last().toStdString();
        walked.append(small.currentName());
    }
    EXPECT_EQ(walked, (QStringList{QStringLiteral("Acta Physica Polonica A"), QStringLiteral("Acta Physica Polonica B"),
                                   QStringLiteral("Annals of Physics"), QStringLiteral("Applied Physics"),
                                   QStringLiteral("Journal of Physics"), QStringLiteral("Physics Letters")}));
    EXPECT_EQ(small.currentName(), QStringLiteral("Physics Letters"));

    // "Next" continues from the record the user moved to.
    small.list.setCurrent(0);
    ASSERT_TRUE(small.list.findNext(QStringLiteral("science")));
    EXPECT_EQ(small.currentName(), QStringLiteral("100% Science"));

    EXPECT_TRUE(small.list.findFragment(QStringLiteral("l'univ")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Annales de l'Université de Lyon"));
    EXPECT_TRUE(small.list.findFragment(QStringLiteral("% sci")));
    EXPECT_EQ(small.currentName(), QStringLiteral("100% Science"));
    EXPECT_FALSE(small.list.findNext(QStringLiteral("% sci")));
    EXPECT_TRUE(small.list.findFragment(QStringLiteral("studia teo")));
    EXPECT_EQ(small.currentName(), QStringLiteral("ŁÓDZKIE STUDIA TEOLOGICZNE"));
    EXPECT_TRUE(small.list.findFragment(QStringLiteral("a_s")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Data_Science Review"));
    EXPECT_FALSE(small.list.findFragment(QStringLiteral("x_y")));

    // Within a filtered view "next" skips what the view does not show.
    small.list.setFilter(ListPart::A);
    ASSERT_TRUE(small.list.findFragment(QStringLiteral("physic")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Acta Physica Polonica A"));
    ASSERT_TRUE(small.list.findNext(QStringLiteral("physic")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Journal of Physics"));
    EXPECT_FALSE(small.list.findNext(QStringLiteral("physic")));
}

TEST(JournalIdentification, EmptyViewAndDuplicateNames)
{
    SmallList small({{"Development", 40, 1}, {"DEVELOPMENT", 20, 1}, {"Developmental Cell", 30, 1}}, true);
    // A name listed twice: identification takes the first, "next" visits both.
    EXPECT_EQ(small.list.identify(QStringLiteral("development"))->points, QStringLiteral("40"));
    ASSERT_TRUE(small.list.findFragment(QStringLiteral("develop")));
    ASSERT_TRUE(small.list.findNext(QStringLiteral("develop")));
    EXPECT_EQ(small.list.currentJournal()->points, QStringLiteral("20"));
    ASSERT_TRUE(small.list.findNext(QStringLiteral("develop")));
    EXPECT_EQ(small.currentName(), QStringLiteral("Developmental Cell"));

    small.list.setFilter(ListPart::A);
    EXPECT_EQ(small.list.count(), 0);
    EXPECT_EQ(small.list.current(), -1);
    EXPECT_FALSE(small.list.currentJournal());
    EXPECT_FALSE(small.list.findByBeginning(QStringLiteral("D")));
    EXPECT_FALSE(small.list.findNext(QStringLiteral("D")));
}

TEST(JournalIdentification, GroupIdentificationFillsTheSelectedRows)
{
    lists::ListGrid grid(QStringList{QStringLiteral("Czasopismo"), QStringLiteral("Tytuł"),
                                     QStringLiteral("Autor (Autorzy)"), QStringLiteral("Rok, nr, str."),
                                     QStringLiteral("Czasopismo z listy MNiSW."), QStringLiteral("L.punktów")});
    EXPECT_FALSE(lists::canIdentifyGroup(grid));
    grid.setRows({{QStringLiteral("a")}, {QStringLiteral("b")}, {QStringLiteral("c")}, {QStringLiteral("d")}});
    EXPECT_TRUE(lists::canIdentifyGroup(grid));

    lists::assignJournal(grid, 1, 2, {QStringLiteral("Physics Letters"), QStringLiteral("30")});
    EXPECT_EQ(grid.row(0), (QStringList{QStringLiteral("a"), {}, {}, {}, {}, {}}));
    EXPECT_EQ(grid.cell(4, 1), QStringLiteral("Physics Letters"));
    EXPECT_EQ(grid.cell(5, 2), QStringLiteral("30"));
    EXPECT_EQ(grid.cell(4, 3), QString());
    // A range reaching past the grid is clamped.
    lists::assignJournal(grid, 3, 10, {QStringLiteral("X"), QStringLiteral("1")});
    EXPECT_EQ(grid.cell(4, 3), QStringLiteral("X"));
}

TEST(JournalIdentification, ShippedList)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    journals::createJournalListDatabase(path);
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    JournalList list(connection);
    list.open();
    EXPECT_EQ(list.totalCount(), 29037);
    EXPECT_TRUE(list.hasAbbreviations()); // the field is there, every abbreviation empty
    EXPECT_EQ(list.identify(QStringLiteral("2d materials")), (Journal{QStringLiteral("2D Materials"), QStringLiteral("140")}));
    EXPECT_EQ(list.identifyInDialog(QStringLiteral("ŚWIATOWIT"))->name, QStringLiteral("Światowit"));
    EXPECT_FALSE(list.identifyInDialog(QStringLiteral("2D Mat")));
    list.setFilter(ListPart::A);
    EXPECT_EQ(list.count(), 0); // this list has no parts: every journal is in part 1
}
