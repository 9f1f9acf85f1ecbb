#include "lists/journal_identification.h"

#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/list_grid.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <unordered_map>

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
    EXPECT_EQ(row.value(lists::kPointsColumn), QStringLiteral("30,00"));
    row[0] = QStringLiteral("Physics");
    lists::identifyRow(small.list, row);
    EXPECT_EQ(row.value(lists::kListedJournalColumn), QString());
    EXPECT_EQ(row.value(lists::kPointsColumn), QStringLiteral("0,00"));

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

// The program opens the list without reading it at start: the first look reads it, and a list that
// can no longer be read then leaves an empty view and a Polish refusal rather than a crash.
TEST(JournalIdentification, ListOpenedWithoutReadingIsReadOnFirstUse)
{
    SmallList small(kRows, true);
    JournalList late(small.connection);
    late.openWithoutReading();
    EXPECT_TRUE(late.isOpen());
    EXPECT_TRUE(late.hasAbbreviations());
    ASSERT_EQ(late.count(), small.list.count());
    for (int i = 0; i < late.count(); ++i)
        EXPECT_EQ(late.journal(i), small.list.journal(i)) << i;
    EXPECT_EQ(late.identifyInDialog(QStringLiteral("Acta Phys Pol B")), small.list.identifyInDialog(QStringLiteral("Acta Phys Pol B")));

    JournalList first(small.connection);
    first.openWithoutReading();
    EXPECT_TRUE(first.findByBeginning(QStringLiteral("żyw"))) << "a search is a first use too";
    EXPECT_EQ(first.currentJournal()->name, QStringLiteral("Żywność Nauka Technologia Jakość"));

    JournalList broken(small.connection);
    broken.openWithoutReading();
    small.connection.execute(QStringLiteral("ALTER TABLE lista_ministerstwa RENAME TO inna"));
    EXPECT_EQ(broken.count(), 0);
    EXPECT_FALSE(broken.currentJournal().has_value());
    EXPECT_THROW(broken.identify(QStringLiteral("Physics Letters")), Error);
    EXPECT_THROW(broken.openWithoutReading(), Error) << "a missing table is reported when the list is opened";
}

TEST(JournalIdentification, AListClosedWithItsRecordsFreedInTheBackgroundIsClosedAndOpensAgain)
{
    SmallList small(kRows, true);
    JournalList list(small.connection);
    list.open();
    const int count = list.count();
    const std::shared_ptr<const lists::JournalMatcher> kept = list.sharedMatcher();
    list.closeFreeingInBackground();
    EXPECT_FALSE(list.isOpen());
    EXPECT_EQ(list.count(), 0);
    EXPECT_THROW(list.identify(QStringLiteral("Physics Letters")), Error);
    // A matcher somebody still holds outlives the list's records.
    EXPECT_TRUE(kept->match(QStringLiteral("Physics Letters")).identified());

    list.open();
    EXPECT_EQ(list.count(), count);
    EXPECT_TRUE(list.identify(QStringLiteral("Physics Letters")).has_value());
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
    // A name listed twice is ambiguous: neither is taken, both are offered; "next" visits both.
    EXPECT_FALSE(small.list.identify(QStringLiteral("development")));
    EXPECT_EQ(small.list.match(QStringLiteral("development")).journals, (std::vector<int>{0, 1}));
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

TEST(JournalIdentification, ARecordWithoutANameComesFirstAsTheQueriesWalkIt)
{
    SmallList small({{"Zeszyty Naukowe", 3, 1}, {"acta physica", 5, 1}, {"Acta Physica", 7, 1}}, true);
    small.connection.execute(QStringLiteral("INSERT INTO lista_ministerstwa VALUES (NULL, 9, 1, '')"));
    small.list.open();
    ASSERT_EQ(small.list.count(), 4);
    EXPECT_EQ(small.list.journal(0), (Journal{QString(), QStringLiteral("9")}));
    EXPECT_EQ(small.list.journal(1).points, QStringLiteral("5")); // one key: the stored order
    EXPECT_EQ(small.list.journal(2).points, QStringLiteral("7"));
    EXPECT_EQ(small.list.journal(3).name, QStringLiteral("Zeszyty Naukowe"));
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
    EXPECT_EQ(grid.cell(5, 2), QStringLiteral("30,00"));
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

    // The records are in the order the searches' queries walk, names of one key (letter case aside) as stored.
    list.setFilter(std::nullopt);
    db::Query walked(connection, QStringLiteral("select czasopismo from lista_ministerstwa "
                                                "order by journal_order(czasopismo), rowid"));
    ASSERT_EQ(walked.recordCount(), list.count());
    int out_of_place = 0;
    for (walked.first(); !walked.eof(); walked.next())
        out_of_place += list.journal(static_cast<int>(walked.position())).name != walked.asUnicode(0) ? 1 : 0;
    EXPECT_EQ(out_of_place, 0);
}

// --- matching ----------------------------------------------------------------------------------

namespace {

// The shipped list, made once for the tests that need real titles.
struct ShippedJournals {
    QTemporaryDir dir;
    db::Connection connection;
    JournalList list{connection};
    ShippedJournals()
    {
        const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        journals::createJournalListDatabase(path);
        connection.open(path, schema::databasePassword());
        list.open();
    }
};

JournalList& shipped()
{
    static ShippedJournals journals;
    return journals.list;
}

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QString identifiedName(const QString& title, const QString& issn = QString())
{
    const auto journal = shipped().identify(title, issn);
    return journal ? journal->name : QStringLiteral("<none>");
}

QStringList names(const lists::JournalMatcher& matcher, const std::vector<lists::Suggestion>& suggestions)
{
    QStringList out;
    for (const lists::Suggestion& s : suggestions)
        out << matcher.journal(s.journal).name;
    return out;
}

} // namespace

TEST(JournalMatching, TitlesThatArePlainlyTheSameJournalAreIdentifiedOnTheShippedList)
{
    // Ampersand for "and" or Polish "i", a leading "The" added or left out, dots and hyphens moved,
    // blanks and letter case: each typed form names the one listed journal.
    EXPECT_EQ(identifiedName(S("Academy of Management Learning and Education")),
              S("Academy of Management Learning & Education"));
    EXPECT_EQ(identifiedName(S("ACS Applied Materials i Interfaces")), S("ACS Applied Materials & Interfaces"));
    EXPECT_EQ(identifiedName(S("American Sociologist")), S("The American Sociologist"));
    EXPECT_EQ(identifiedName(S("the 3 biotech")), S("3 Biotech"));
    EXPECT_EQ(identifiedName(S("Anesthesiology Clinics")), S("Anesthesiology clinics."));
    EXPECT_EQ(identifiedName(S("Annales Universitatis Apulensis Series Historica")),
              S("Annales Universitatis Apulensis. Series Historica"));
    EXPECT_EQ(identifiedName(S("Abacus - A Journal of Accounting, Finance and Business Studies")),
              S("Abacus-A Journal of Accounting Finance and Business Studies"));
    EXPECT_EQ(identifiedName(S("4OR  A  Quarterly Journal of Operations Research")),
              S("4OR-A Quarterly Journal of Operations Research"));
    EXPECT_EQ(identifiedName(S("  2d   materials ")), S("2D Materials"));

    // Exactly what the rule of whole names missed, and how each was found.
    EXPECT_EQ(shipped().match(S("2D MATERIALS")).kind, lists::MatchKind::Title);
    EXPECT_EQ(shipped().match(S("Anesthesiology Clinics")).kind, lists::MatchKind::Key);
}

TEST(JournalMatching, JournalsThatDifferStayApart)
{
    // A letter at the end, a diacritic, words run together: different journals, never one key.
    EXPECT_EQ(identifiedName(S("Acta Physica Polonica A")), S("ACTA PHYSICA POLONICA A"));
    EXPECT_EQ(identifiedName(S("acta physica polonica b")), S("ACTA PHYSICA POLONICA B"));
    EXPECT_EQ(identifiedName(S("Acta Physica Polonica")), S("<none>"));
    EXPECT_EQ(identifiedName(S("Časopis pro moderni filologii")), S("Časopis pro moderni filologii"));
    EXPECT_EQ(identifiedName(S("casopis pro moderni filologii")), S("Casopis pro Moderni Filologii"));
    EXPECT_EQ(identifiedName(S("Healthcare")), S("Healthcare"));
    EXPECT_EQ(identifiedName(S("Health Care")), S("Health care"));
    EXPECT_NE(lists::matchingKey(S("Nanobiomedicine")), lists::matchingKey(S("Nano Biomedicine")));

    // Polish letters tell journals apart.
    SmallList small({{"Studia Łódzkie", 20, 1}, {"Studia Lodzkie", 40, 1}, {"Rocznik Sądecki", 10, 1}}, false);
    EXPECT_EQ(small.list.identify(S("STUDIA ŁÓDZKIE"))->points, QStringLiteral("20"));
    EXPECT_EQ(small.list.identify(S("studia - lodzkie"))->points, QStringLiteral("40"));
    EXPECT_FALSE(small.list.identify(S("Rocznik Sadecki")));
    EXPECT_EQ(lists::matchingKey(S("The Rocznik & Sądecki.")), S("rocznik & sądecki"));
    // "The" alone is a title, not a word to drop; "and" inside a word is no "and".
    EXPECT_EQ(lists::matchingKey(S("The")), S("the"));
    EXPECT_EQ(lists::matchingKey(S("Island Studies")), S("island studies"));
}

TEST(JournalMatching, TitlesNamingSeveralJournalsAreAmbiguousAndOfferThemAll)
{
    const lists::JournalMatcher& matcher = shipped().matcher();
    // "Britannia" is listed twice, with 70 and 20 points: the exact rule used to take the first.
    const lists::JournalMatch britannia = shipped().match(S("britannia"));
    EXPECT_EQ(britannia.kind, lists::MatchKind::Ambiguous);
    ASSERT_EQ(britannia.journals.size(), 2u);
    QStringList points;
    for (const int j : britannia.journals)
        points << matcher.journal(j).points;
    points.sort();
    EXPECT_EQ(points, (QStringList{QStringLiteral("20"), QStringLiteral("70")}));
    EXPECT_FALSE(shipped().identify(S("Britannia")));
    EXPECT_EQ(matcher.suggest(S("Britannia")).size(), 2u);
    // Its ISSN tells them apart.
    EXPECT_EQ(shipped().identify(S("Britannia"), QStringLiteral("0325-6197"))->points, QStringLiteral("20"));

    // Two journals whose titles differ only by "&"/"and" are ambiguous under the key, yet each is
    // identified by its exact title.
    EXPECT_EQ(shipped().match(S("Journal of Computer Science i Technology")).journals.size(), 2u);
    EXPECT_EQ(shipped().identify(S("journal of computer science and technology"))->points, QStringLiteral("70"));
}

TEST(JournalMatching, IssnInEveryFormPeopleTypeIt)
{
    EXPECT_EQ(lists::issnKey(u"2190-572X"), QStringLiteral("2190572X"));
    EXPECT_EQ(lists::issnKey(u"2190572x"), QStringLiteral("2190572X"));
    EXPECT_EQ(lists::issnKey(u"ISSN: 2190-572x"), QStringLiteral("2190572X"));
    EXPECT_EQ(lists::issnKey(u" 2190 572X "), QStringLiteral("2190572X"));
    for (const char16_t* notIssn : {u"", u"2190-57", u"21905720X", u"219-0572X", u"2190-572Y", u"abc"})
        EXPECT_EQ(lists::issnKey(notIssn), QString()) << QString::fromUtf16(notIssn).toStdString();

    // Any title, even a wrong one, with the ISSN or the e-ISSN of one journal: that journal.
    for (const QString& issn : {QStringLiteral("2190-572X"), QStringLiteral("2190572x"), QStringLiteral("2190-5738")}) {
        const lists::JournalMatch found = shipped().match(S("Trzy Biotechnologie"), issn);
        EXPECT_EQ(found.kind, lists::MatchKind::Issn) << issn.toStdString();
        ASSERT_FALSE(found.journals.empty()) << issn.toStdString();
        EXPECT_EQ(shipped().matcher().journal(found.journals.front()).name, S("3 Biotech"));
    }
    // An ISSN the list does not hold leaves the title to decide.
    EXPECT_EQ(identifiedName(S("3 biotech"), QStringLiteral("0000-0000")), S("3 Biotech"));

    // A list installed without the fields is matched by title only.
    SmallList small({{"3 Biotech", 70, 1}}, false);
    EXPECT_FALSE(small.list.hasIssn());
    EXPECT_FALSE(small.list.identify(S("Trzy Biotechnologie"), QStringLiteral("2190-572X")));
    EXPECT_TRUE(small.list.identify(S("3 BIOTECH"), QStringLiteral("2190-572X")));
}

TEST(JournalMatching, SuggestionsAreTheNearestAboveTheFloorMostSimilarFirst)
{
    const lists::JournalMatcher& matcher = shipped().matcher();
    // A misspelt title finds its journal first; at most three suggestions, most similar first.
    const std::vector<lists::Suggestion> typo = matcher.suggest(S("Acta Physica Polonca B"));
    ASSERT_FALSE(typo.empty());
    EXPECT_LE(typo.size(), 3u);
    EXPECT_EQ(matcher.journal(typo.front().journal).name, S("ACTA PHYSICA POLONICA B"));
    for (size_t i = 1; i < typo.size(); ++i)
        EXPECT_GE(typo[i - 1].similarity, typo[i].similarity);
    for (const lists::Suggestion& s : typo) {
        EXPECT_GE(s.similarity, 0.4);
        // The index finds what a direct comparison says.
        EXPECT_DOUBLE_EQ(s.similarity, lists::JournalMatcher::similarity(S("Acta Physica Polonca B"),
                                                                         matcher.journal(s.journal).name));
    }
    // The floor in figures: a title a third like its journal, or "Physica" (0.38) to "Acta Physica Polonica B", is
    // a chance resemblance; "Elektrotechnika" (0.43) and "Polonica" (0.43) are worth offering.
    SmallList two({{"Acta Physica Polonica B", 40, 0}, {"Przegląd Elektrotechniczny", 15, 1}}, false);
    const lists::JournalMatcher& floor = two.list.matcher();
    EXPECT_NEAR(lists::JournalMatcher::similarity(S("Przegląd"), S("Przegląd Elektrotechniczny")), 0.33, 0.005);
    EXPECT_NEAR(lists::JournalMatcher::similarity(S("Physica"), S("Acta Physica Polonica B")), 0.38, 0.005);
    EXPECT_TRUE(floor.suggest(S("Przegląd")).empty());
    EXPECT_TRUE(floor.suggest(S("Physica")).empty());
    EXPECT_EQ(names(floor, floor.suggest(S("Elektrotechnika"))), QStringList{S("Przegląd Elektrotechniczny")});
    EXPECT_EQ(names(floor, floor.suggest(S("Polonica"))), QStringList{S("Acta Physica Polonica B")});

    // A title like no journal gets no suggestion at all rather than chance resemblances.
    EXPECT_TRUE(matcher.suggest(S("Sprawozdanie z pomiarów ciśnienia w kotłowni")).empty());
    EXPECT_TRUE(matcher.suggest(QString()).empty());

    // Ties go by the list's order of names.
    SmallList small({{"Physics Letters B", 30, 1}, {"Physics Letters A", 30, 0}, {"Physics Letters C", 30, 2}}, false);
    const lists::JournalMatcher& three = small.list.matcher();
    EXPECT_EQ(names(three, three.suggest(S("Physics Letters"))),
              (QStringList{S("Physics Letters A"), S("Physics Letters B"), S("Physics Letters C")}));
    EXPECT_EQ(lists::partLetter(three.journal(0).part), QStringLiteral("A"));
    EXPECT_EQ(lists::partLetter(2), QStringLiteral("C"));

    // The search of the index agrees with comparing every journal, over a spread of titles.
    for (const char* title : {"Journal of Physcs", "Zeszyty Naukowe Politechniki", "Studia Histryczne", "Cell",
                              "Ecology and Society Review", "Przegląd Elektrotechnczny"}) {
        std::vector<lists::Suggestion> all;
        for (int j = 0; j < matcher.size(); ++j) {
            const double similarity = matcher.likeness(S(title), j);
            if (similarity >= 0.4)
                all.push_back({j, similarity});
        }
        std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.similarity > b.similarity; });
        all.resize(std::min<size_t>(all.size(), 3));
        EXPECT_EQ(names(matcher, matcher.nearest(S(title))), names(matcher, all)) << title;
    }
}

namespace {

// A title's trigrams as the similarity defines them, spelt out plainly: each word of the key with
// two blanks in front and one behind, every three neighbouring characters, each once.
std::vector<quint64> plainTrigrams(const QString& title)
{
    std::vector<quint64> trigrams;
    for (const QString& word : lists::matchingKey(title).split(u' ', Qt::SkipEmptyParts)) {
        const QString padded = QStringLiteral("  ") + word + u' ';
        for (qsizetype i = 0; i + 3 <= padded.size(); ++i)
            trigrams.push_back(quint64(padded[i].unicode()) << 32 | quint64(padded[i + 1].unicode()) << 16 |
                               padded[i + 2].unicode());
    }
    std::sort(trigrams.begin(), trigrams.end());
    trigrams.erase(std::unique(trigrams.begin(), trigrams.end()), trigrams.end());
    return trigrams;
}

} // namespace

TEST(JournalMatching, TheIndexFindsWhatComparingEveryJournalFinds)
{
    // Titles as people get them wrong, drawn from the shipped list: a letter dropped or two
    // swapped, a word left out, only the beginning, and titles made up of other titles' words
    // (mostly below the floor, where the search must look hardest).
    const lists::JournalMatcher& matcher = shipped().matcher();
    QRandomGenerator random(2024);
    auto anyName = [&] { return matcher.journal(static_cast<int>(random.bounded(matcher.size()))).name; };
    QStringList titles;
    for (int i = 0; i < 60; ++i) {
        QString typo = anyName();
        const auto at = static_cast<qsizetype>(random.bounded(static_cast<int>(std::max<qsizetype>(typo.size() - 1, 1))));
        if (i % 2 == 0 || typo.size() < 2)
            typo.remove(at, 1);
        else
            std::swap(typo[at], typo[at + 1]);
        QStringList words = anyName().split(u' ', Qt::SkipEmptyParts);
        if (words.size() > 2)
            words.removeAt(1 + static_cast<qsizetype>(random.bounded(static_cast<int>(words.size() - 1))));
        const QString name = anyName();
        QStringList madeUp;
        for (int w = 0; w < 2 + i % 4; ++w)
            madeUp << anyName().split(u' ', Qt::SkipEmptyParts).value(i % 3);
        titles << typo << words.join(u' ') << name.left(name.size() / 2) << madeUp.join(u' ');
    }

    // Every form of every journal (its title, and the title's part before a subtitle, weighed less)
    // with its trigram count, and the forms of each trigram: the exact number of trigrams a title, or
    // its own part before a subtitle, shares with each form, nothing passed over.
    struct Form {
        int journal;
        double weight;
        size_t length;
    };
    std::vector<Form> forms;
    std::unordered_map<quint64, std::vector<int>> formsOf;
    auto addForm = [&](int journal, double weight, const QString& text) {
        const std::vector<quint64> own = plainTrigrams(text);
        for (const quint64 t : own)
            formsOf[t].push_back(static_cast<int>(forms.size()));
        forms.push_back({journal, weight, own.size()});
    };
    for (int j = 0; j < matcher.size(); ++j) {
        addForm(j, 1.0, matcher.journal(j).name);
        const QStringView part = lists::titleBeforeSubtitle(matcher.journal(j).name);
        if (!part.isEmpty())
            addForm(j, lists::JournalMatcher::kListPartWeight, part.toString());
    }
    struct Ask {
        int count;
        double floor;
    };
    for (const QString& title : titles) {
        std::vector<double> best(static_cast<size_t>(matcher.size()), 0.0);
        auto compare = [&](const QString& text, double weight) {
            const std::vector<quint64> query = plainTrigrams(text);
            std::vector<size_t> shared(forms.size(), 0);
            for (const quint64 t : query)
                if (const auto it = formsOf.find(t); it != formsOf.end())
                    for (const int f : it->second)
                        ++shared[static_cast<size_t>(f)];
            for (size_t f = 0; f < forms.size(); ++f)
                if (const size_t n = shared[f]) {
                    // Reckoned in the order the search reckons it, so that equal means equal.
                    const double similarity = forms[f].weight * static_cast<int>(n) /
                                              static_cast<int>(query.size() + forms[f].length - n) * weight;
                    double& journalBest = best[static_cast<size_t>(forms[f].journal)];
                    journalBest = std::max(journalBest, similarity);
                }
        };
        compare(title, 1.0);
        if (const QStringView part = lists::titleBeforeSubtitle(title); !part.isEmpty())
            compare(part.toString(), lists::JournalMatcher::kQueryPartWeight);
        std::vector<lists::Suggestion> all; // every journal sharing a trigram, most similar first
        for (size_t j = 0; j < best.size(); ++j)
            if (best[j] > 0)
                all.push_back({static_cast<int>(j), best[j]});
        std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.similarity > b.similarity; });
        for (const Ask ask : {Ask{3, lists::JournalMatcher::kSimilarityFloor}, Ask{5, 0.25}, Ask{1, 0.0}}) {
            std::vector<std::pair<int, double>> expected;
            for (const lists::Suggestion& s : all)
                if (s.similarity >= ask.floor && static_cast<int>(expected.size()) < ask.count)
                    expected.emplace_back(s.journal, s.similarity);
            std::vector<std::pair<int, double>> found;
            for (const lists::Suggestion& s : matcher.nearest(title, ask.count, ask.floor))
                found.emplace_back(s.journal, s.similarity);
            EXPECT_EQ(found, expected) << title.toStdString() << " (" << ask.count << ", " << ask.floor << ")";
        }
    }
}

TEST(JournalMatching, UnmatchedTitlesAreCountedGroupedAndFilledAtOnce)
{
    SmallList small({{"Physics Letters", 30, 1}, {"Przegląd Historyczny", 20, 1}, {"Britannia", 70, 1},
                     {"BRITANNIA", 20, 1}},
                    false);
    auto row = [](const char* journal, const char* listed = "", const char* points = "") {
        return QStringList{S(journal), S("t"), S("a"), S("2008"), S(listed), S(points)};
    };
    std::vector<QStringList> rows{row("Physcs Letters"), row("Zeszyty Szkolne"), row("physcs letters "),
                                  row("Żywność"), row("Przegląd Historyczny"), row("Britannia"),
                                  row("Physcs Letters", "Physics Letters", "30"), row(""), row("Ślady")};
    EXPECT_EQ(lists::identifyAwaitingRows(small.list, rows), 1); // Przegląd Historyczny
    EXPECT_EQ(rows[4][lists::kPointsColumn], QStringLiteral("20,00"));

    const std::vector<lists::UnmatchedTitle> titles = lists::unmatchedTitles(small.list.matcher(), rows);
    QStringList order;
    for (const auto& t : titles)
        order << QStringLiteral("%1:%2").arg(t.title).arg(t.rows);
    // Titles equal letter case aside are one (the first typed form), most rows first, then Polish order.
    EXPECT_EQ(order, (QStringList{S("Physcs Letters:2"), S("Britannia:1"), S("Ślady:1"), S("Zeszyty Szkolne:1"),
                                  S("Żywność:1")}));
    EXPECT_FALSE(titles[0].ambiguous);
    EXPECT_EQ(names(small.list.matcher(), titles[0].suggestions), QStringList{S("Physics Letters")});
    EXPECT_TRUE(titles[1].ambiguous);
    EXPECT_EQ(titles[1].suggestions.size(), 2u);

    // Only what an import brought (from row 7 on), and not what was marked absent.
    const auto imported = lists::unmatchedTitles(small.list.matcher(), rows, 7, {QStringLiteral("ślady")});
    EXPECT_TRUE(imported.empty());
    EXPECT_EQ(lists::unmatchedTitles(small.list.matcher(), rows, 2).front().rows, 2);

    // One choice fills every row of the title still without a journal, and no other.
    EXPECT_EQ(lists::assignJournalToTitle(rows, QStringLiteral("physcs letters"), {S("Physics Letters"), S("30")}), 2);
    EXPECT_EQ(rows[2][lists::kListedJournalColumn], S("Physics Letters"));
    EXPECT_EQ(rows[1][lists::kListedJournalColumn], QString());
}

