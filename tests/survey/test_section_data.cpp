#include "base/error.h"
#include "survey/field_checks.h"
#include "survey/form_catalogue.h"
#include "program/program.h"
#include "archive/zlb_archive.h"
#include "survey/reference_tables.h"
#include "storage/schema.h"
#include "survey/section_data.h"
#include "cli/survey_cli.h"
#include "support/temp_survey.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <gtest/gtest.h>

using namespace vestrum;
using form::Control;
using form::ControlKind;
using form::Conversion;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

struct SectionData : ::testing::Test {
    vestrum::testing::TempSurvey temp;
    vestrum::testing::ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 1), QTime(12, 0))};
    Program program{messages, clock};

    SectionData() { program.survey.open(temp.path(), schema::databasePassword()); }

    db::Connection& db() { return temp.connection; }
    QVariant scalar(const char* sql) { return db().scalar(QString::fromUtf8(sql)); }
    void exec(const char* sql, const QVariantList& parameters = {}) { db().execute(QString::fromUtf8(sql), parameters); }

    FieldValues loadAllInto()
    {
        FieldValues all;
        for (const LoadedPage& p : LoadAllSections(program)) {
            all.text.insert(p.values.text);
            all.lines.insert(p.values.lines);
            all.grids.insert(p.values.grids);
            all.checked.insert(p.values.checked);
            all.maxLength.insert(p.values.maxLength);
        }
        return all;
    }
};

// A value typed into a control and the value that must come back after saving and loading.
// Each control gets its own text or number, so a field bound to the wrong column shows up.
struct Typed {
    QString typed;
    QString loaded;
};

Typed typedFor(const Conversion conversion, const QStringList& items, int n)
{
    const QString tag = QString::number(n);
    switch (conversion) {
    case Conversion::UnicodeText:
        return {U(" Zażółć gęślą Ж ") + tag + U(" "), U(" Zażółć gęślą Ж ") + tag + U(" ")};
    case Conversion::CodePageText:
        return {U(" Kraków Ж ") + tag + U("\t"), U("Kraków ? ") + tag};
    case Conversion::CodePageLong:
        return {U(" opis Ж\nwiersz ") + tag + U("\n"), U("opis ?\nwiersz ") + tag};
    case Conversion::CodePageLongAsIs:
        return {U(" opis Ж\nwiersz ") + tag + U("\n"), U(" opis ?\nwiersz ") + tag + U("\n")};
    case Conversion::UnicodeLong:
        return {U("wiersz ż\n Ж ") + tag, U("wiersz ż\n Ж ") + tag};
    case Conversion::Integer:
    case Conversion::IntegerAsText:
    case Conversion::IntegerOrZero:
    case Conversion::StrictInteger:
        return {U(" ") + tag, tag};
    case Conversion::Amount:
        return {tag + U(",5"), tag + U(",50")};
    case Conversion::Choice:
    case Conversion::ChoiceExact:
        return {items.value(1 + n % (items.size() - 1)), items.value(1 + n % (items.size() - 1))};
    case Conversion::ReportingYear:
        return {U("2008"), U("2008")};
    default:
        return {};
    }
}

} // namespace

TEST_F(SectionData, EveryPageOfTheCatalogueSurvivesASaveAndAReload)
{
    ASSERT_GT(DisciplineTable().size(), 27);
    ASSERT_GT(Pkd2004Table().size(), 10);
    FieldValues expected;
    int n = 0;
    for (const form::Section& section : form::FormCatalogue()) {
        for (const form::Page& page : section.pages) {
            FieldValues typed;
            form::ForEachControl(page, [&](const form::Row&, const Control& c) {
                ++n;
                if (c.kind == ControlKind::Grid) {
                    // Two rows, typed out of order: the load sorts them by the first column.
                    GridRows rows, back;
                    for (const char* first : {"b", "A"}) {
                        QStringList in, out;
                        for (const form::GridColumn& column : c.columns) {
                            const Typed t = typedFor(column.binding.conversion, {}, ++n);
                            const bool unicode = column.binding.conversion == Conversion::UnicodeText;
                            in << (in.isEmpty() ? QString(U(first) + t.typed) : t.typed);
                            // Code-page cells are trimmed, so the typed blank after the letter stays.
                            out << (out.isEmpty() ? QString(U(first) + (unicode ? QString() : U(" ")) + t.loaded)
                                                  : t.loaded);
                        }
                        rows << in;
                        back.prepend(out);
                    }
                    typed.grids[c.name] = rows;
                    expected.grids[c.name] = back;
                } else if (c.binding.conversion == Conversion::DisciplineCodes) {
                    typed.lines[c.name] = {DisciplineTable()[27].line(), U("99 - nieznana"),
                                           DisciplineTable()[4].line().toUpper()};
                    expected.lines[c.name] = {DisciplineTable()[27].line(), DisciplineTable()[4].line()};
                } else if (c.binding.conversion == Conversion::PkdCodes) {
                    typed.lines[c.name] = {Pkd2004Table()[10].line(), Pkd2004Table()[3].line()};
                    expected.lines[c.name] = typed.lines[c.name];
                } else if (c.binding.conversion == Conversion::PkdVersion) {
                    typed.checked[c.name] = c.caption == U("2004");
                    expected.checked[c.name] = typed.checked[c.name];
                } else if (c.kind == ControlKind::ListButton) {
                    expected.text[c.name] = U("liczba=0 -> wykaz");
                } else if (c.binding.isStored()) {
                    const Typed t = typedFor(c.binding.conversion, c.items, n);
                    typed.text[c.name] = t.typed;
                    expected.text[c.name] = t.loaded;
                }
            });
            if (page.tag >= 0)
                SaveSection(program, page.tag, typed);
        }
    }
    // The section 3 totals are the sums of the stored values.
    for (int column = 1; column <= 4; ++column) {
        double sum = 0;
        for (int row = 1; row <= 5; ++row)
            sum += QString(expected.text[checks::StaffField(row, column)]).replace(u',', u'.').toDouble();
        expected.text[checks::StaffField(6, column)] =
            column <= 2 ? QString::number(qint64(sum)) : QString::number(sum, 'f', 2).replace(u'.', u',');
    }
    for (const char* zero : {"me8", "me1501", "me1519_1", "me1519_2", "me1519_3"})
        expected.text[QString::fromLatin1(zero)] = U("0");

    program.state.ReportingYear = 2007;
    const FieldValues loaded = loadAllInto();
    for (auto it = expected.text.cbegin(); it != expected.text.cend(); ++it)
        EXPECT_EQ(loaded.text.value(it.key()), it.value()) << qPrintable(it.key());
    for (auto it = expected.grids.cbegin(); it != expected.grids.cend(); ++it)
        EXPECT_EQ(loaded.grids.value(it.key()), it.value()) << qPrintable(it.key());
    EXPECT_EQ(loaded.lines, expected.lines);
    EXPECT_EQ(loaded.checked, expected.checked);
    EXPECT_EQ(program.state.ReportingYear, 2008);
    EXPECT_FALSE(program.state.DataSaved);
    EXPECT_EQ(scalar("select rok from dane_pkd limit 1").toInt(), 2004);
    EXPECT_EQ(scalar("select count(*) from dane_dyscypliny").toInt(), 2);

    // Input limits are the declared widths of the bound fields.
    EXPECT_EQ(loaded.maxLength.value(U("e001")), program.survey.tableFields(U("dane_podstawowe"))[2].size);
    EXPECT_EQ(loaded.maxLength.value(U("e011")), 6);
    EXPECT_EQ(loaded.maxLength.value(U("e004")), 10);
    EXPECT_EQ(loaded.maxLength.value(U("e245")), 80);
    EXPECT_FALSE(loaded.maxLength.contains(U("me41")));
    EXPECT_FALSE(loaded.maxLength.contains(U("m231")));
    EXPECT_TRUE(loaded.maxLength.contains(U("sg2.Stanowisko")));
}

TEST_F(SectionData, AnEmptyDatabaseLoadsAsZerosBlankRowsAndTheDefaultYearAndVersion)
{
    int steps = 0;
    QStringList labels;
    FieldValues all;
    for (const LoadedPage& p : LoadAllSections(program, [&](int step, int total, const QString& label) {
             EXPECT_EQ(step, ++steps);
             EXPECT_EQ(total, 24);
             labels << label;
         })) {
        all.text.insert(p.values.text);
        all.grids.insert(p.values.grids);
        all.checked.insert(p.values.checked);
    }
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.first(), U("1. Informacje o jednostce naukowej"));
    EXPECT_EQ(labels.last(), U("Inne ważne informacje"));
    EXPECT_EQ(all.text[U("me41")], U("0"));
    EXPECT_EQ(all.text[U("me221")], U("0"));
    EXPECT_EQ(all.text[U("me51")], U("0,00"));
    EXPECT_EQ(all.text[U("me364")], U("0,00"));
    EXPECT_EQ(all.text[U("me361")], U("0"));
    EXPECT_EQ(all.text[U("me86_1")], U("")); // the citation count shows empty, not 0
    EXPECT_EQ(all.text[U("c000")], U("2007"));
    EXPECT_EQ(all.text[U("c005")], U(""));
    EXPECT_EQ(all.text[U("bb1620")], U("liczba=0 -> wykaz"));
    EXPECT_EQ(all.text[U("BitBtn36")], U("liczba=0 -> wykaz"));
    EXPECT_EQ(all.grids[U("sg21")], GridRows{QStringList(QList<QString>(11))});
    EXPECT_EQ(all.grids[U("sg2")], GridRows{QStringList(QList<QString>(4))});
    EXPECT_TRUE(all.checked[U("rb031")]); // an empty dane_pkd means the 2004 classification
    EXPECT_FALSE(all.checked[U("rb032")]);
    EXPECT_EQ(program.state.ReportingYear, 2007);

    program.state.NewDataFlag = true;
    EXPECT_EQ(LoadSection(program, 100).text[U("c000")], U("2008"));
    EXPECT_EQ(program.state.ReportingYear, 2008);
}

TEST_F(SectionData, StoredChoicesAndYearAreMatchedAsTheirPagesShowThem)
{
    exec("insert into dane_podstawowe (Rodzaj, Kategoria, Wojewodztwo, kod, id) values (?, ?, ?, ?, ?)",
         {U(" JEDNOSTKA BADAWCZO-ROZWOJOWA "), U("m"), U("mazowieckie "), U(" K-12 "), 17});
    exec("insert into dane_szczegolowe (Rok_sprawozdawczy) values ('2006')");
    const FieldValues unit = LoadSection(program, 101);
    EXPECT_EQ(unit.text[U("c005")], U("jednostka badawczo-rozwojowa"));
    EXPECT_EQ(unit.text[U("c006")], U("M"));
    EXPECT_EQ(LoadSection(program, 102).text[U("c013")], U("")); // a trailing blank matches no voivodeship
    const UnitIdentity identity = LoadUnitIdentity(program.survey);
    EXPECT_EQ(identity.id, 17);
    EXPECT_EQ(identity.kod, U("K-12"));

    EXPECT_EQ(LoadSection(program, 100).text[U("c000")], U("2007"));
    program.state.NewDataFlag = true;
    EXPECT_EQ(LoadSection(program, 100).text[U("c000")], U("2008"));

    // Saving the unit page keeps id and kod, and stores the chosen items as they read.
    FieldValues typed = unit;
    typed.text[U("c006")] = U("- wybierz kategorię - ");
    SaveSection(program, 101, typed);
    EXPECT_EQ(scalar("select Kategoria from dane_podstawowe").toString(), U("- wybierz kategorię - "));
    EXPECT_EQ(scalar("select id from dane_podstawowe").toInt(), 17);
    EXPECT_EQ(scalar("select count(*) from dane_podstawowe").toInt(), 1);

    StoreReportingYear(program, U("2008"));
    EXPECT_EQ(scalar("select Rok_sprawozdawczy from dane_szczegolowe").toString(), U("2008"));
}

TEST_F(SectionData, ListButtonsCountTheirRowsAndDegreeRightsCountFieldsOfScience)
{
    auto rights = [&](const char* kind, const QVariant& range) {
        exec("insert into dane_wykaz_uprawnien (rodzaj, nazwa_stopnia, zakres) values (?, 'x', ?)", {U(kind), range});
    };
    rights("dr", U("fizyka;chemia;biologia;"));
    rights(" dr ", U("fizyka")); // rodzaj is compared trimmed; no ";" counts as one
    rights("dr", QVariant());
    rights("DR", U("a;b;")); // not "dr" exactly
    rights("hab", U("a;b;"));
    for (int g : {1, 1, 2, 4, 4, 4})
        exec("insert into dane_wykaz_publikacji (grupa, Tytul) values (?, 't')", {g});
    for (int r : {1, 2, 2})
        exec("insert into dane_wykaz_projektow (rodzaj, tytul) values (?, 't')", {r});
    for (int r : {3, 3, 7})
        exec("insert into dane_wykaz_patentow (rodzaj, tytul) values (?, 't')", {r});
    for (double fee : {499999.99, 500000.0, 1000000.0, 1000000.01, 2e6})
        exec("insert into dane_wykaz_licencji (oplata) values (?)", {fee});

    EXPECT_EQ(ListCount(program.survey, 1), 5);
    EXPECT_EQ(ListCount(program.survey, 2), 2);
    EXPECT_EQ(ListCount(program.survey, 30), 2);
    EXPECT_EQ(ListCount(program.survey, 34), 1);
    EXPECT_EQ(ListCount(program.survey, 0), -1); // a grid kind has no button

    const FieldValues s7 = LoadSection(program, 7);
    EXPECT_EQ(s7.text[U("BitBtn36")], U("liczba=5 -> wykaz"));
    EXPECT_EQ(s7.text[U("BitBtn37")], U("liczba=2 -> wykaz"));

    FieldValues all = loadAllInto();
    EXPECT_EQ(all.text[U("bb801")], U("liczba=2 -> wykaz"));
    EXPECT_EQ(all.text[U("bb803")], U("liczba=0 -> wykaz"));
    EXPECT_EQ(all.text[U("me8")], U("6"));
    EXPECT_EQ(all.text[U("me1501")], U("3"));
    EXPECT_EQ(all.text[U("bb1603")], U("liczba=2 -> wykaz"));
    EXPECT_EQ(all.text[U("me1519_1")], U("1"));
    EXPECT_EQ(all.text[U("me1519_2")], U("2")); // 500 000 and 1 000 000 are both the middle band
    EXPECT_EQ(all.text[U("me1519_3")], U("2"));
    EXPECT_EQ(all.text[U("bb1619")], U("liczba=5 -> wykaz"));
}

TEST_F(SectionData, UnknownCodesAreDroppedAndTheVersionSwitchIsUndoneByReloading)
{
    ASSERT_GT(Pkd2007Table().size(), 20);
    ASSERT_GT(Pkd2004Table().size(), 5);
    for (const char* code : {"28", "99", "28", " 05 ", ""})
        exec("insert into dane_dyscypliny (Dyscyplina) values (?)", {U(code)});
    const QString pkd2007 = Pkd2007Table()[20].code;
    exec("insert into dane_pkd (pkd, rok) values (?, 2007)", {pkd2007});
    exec("insert into dane_pkd (pkd, rok) values ('99.99.Q', 2007)");

    FieldValues disciplines = LoadSection(program, 103);
    const QStringList lines = disciplines.lines[U("lb022")];
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(U("28 - ")));
    EXPECT_TRUE(lines[1].startsWith(U("05 - ")));
    SaveSection(program, 103, disciplines);
    EXPECT_EQ(scalar("select group_concat(Dyscyplina, ',') from dane_dyscypliny").toString(), U("28,05"));

    FieldValues pkd = LoadSection(program, 104);
    EXPECT_TRUE(pkd.checked[U("rb032")]);
    EXPECT_EQ(pkd.lines[U("lb032")], QStringList{Pkd2007Table()[20].line()});

    // In edit mode the user switches to 2004 (the chosen codes go), then presses "pomiń zmiany".
    checks::SwitchPkdVersion(pkd, 2004);
    EXPECT_TRUE(pkd.lines[U("lb032")].isEmpty());
    const FieldValues discarded = LoadSection(program, 104);
    EXPECT_EQ(discarded.lines[U("lb032")], QStringList{Pkd2007Table()[20].line()});
    EXPECT_TRUE(discarded.checked[U("rb032")]);

    // Saved with 2004 chosen: every row says 2004 and only 2004 codes are looked up.
    pkd.lines[U("lb032")] = {Pkd2004Table()[5].line(), Pkd2007Table()[20].line()};
    SaveSection(program, 104, pkd);
    const bool alsoIn2004 = std::any_of(Pkd2004Table().begin(), Pkd2004Table().end(), [](const CodeName& row) {
        return row.line().compare(Pkd2007Table()[20].line(), Qt::CaseInsensitive) == 0;
    });
    ASSERT_FALSE(alsoIn2004);
    EXPECT_EQ(scalar("select count(*) from dane_pkd").toInt(), 1);
    EXPECT_EQ(scalar("select pkd || '/' || rok from dane_pkd").toString(), Pkd2004Table()[5].code + U("/2004"));
}

// Five codes of the 2007 edition begin with a no-break space; data files store them that way.
TEST_F(SectionData, SpacedClassificationCodesAreKeptAndStoredWithTheirNoBreakSpace)
{
    const QString nbsp(QChar(0x00A0));
    const QStringList spaced = {U("35.1"), U("56.10"), U("77.1"), U("91.0"), U("96.0")};
    QStringList previous;
    for (const CodeName& row : Pkd2007Table()) {
        const bool isSpaced = spaced.contains(row.code.mid(1));
        EXPECT_EQ(row.code.startsWith(nbsp), isSpaced) << row.code.toStdString();
        // Each keeps its place in code order, the space aside.
        QString bare = row.code;
        bare.remove(nbsp);
        if (!previous.isEmpty()) {
            EXPECT_LT(previous.last(), bare);
        }
        previous << bare;
    }
    exec("insert into dane_pkd (pkd, rok) values (?, 2007)", QVariantList{QString(nbsp + U("35.1"))});
    exec("insert into dane_pkd (pkd, rok) values ('56.10', 2007)"); // stored without the space
    exec("insert into dane_pkd (pkd, rok) values ('01.11.Z', 2007)");

    FieldValues pkd = LoadSection(program, 104);
    ASSERT_EQ(pkd.lines[U("lb032")].size(), 3);
    EXPECT_TRUE(pkd.lines[U("lb032")][0].startsWith(nbsp + U("35.1 - Wytwarzanie")));
    SaveSection(program, 104, pkd);
    EXPECT_EQ(scalar("select group_concat(pkd, '|') from dane_pkd").toString(),
              QString(nbsp + U("35.1|") + nbsp + U("56.10|01.11.Z")));
    EXPECT_EQ(LoadSection(program, 104).lines[U("lb032")], pkd.lines[U("lb032")]);
}

// The 2004 edition ships only its subclasses; stored codes of the levels above stay chosen.
TEST_F(SectionData, StoredPkd2004CodesOfEveryLevelAreKept)
{
    for (const char* code : {"01", "01.1", "01.11", "01.11.A", "80.10", "01.13", "99.9", "01.19"})
        exec("insert into dane_pkd (pkd, rok) values (?, 2004)", QVariantList{U(code)});

    FieldValues pkd = LoadSection(program, 104);
    EXPECT_TRUE(pkd.checked[U("rb031")]);
    EXPECT_EQ(pkd.lines[U("lb032")],
              QStringList({U("01 - dział 01"), U("01.1 - grupa 01.1"), U("01.11 - klasa 01.11"),
                           U("01.11.A - Uprawa zbóż"),
                           // a class with one subclass, .Z or not, takes that subclass's name
                           U("80.10 - Działalność edukacyjna zespołów szkół w zakresie przedszkoli i szkolnictwa "
                             "podstawowego"),
                           U("01.13 - ") + findCode(Pkd2004Table(), U("01.13.Z"))->name}));
    SaveSection(program, 104, pkd);
    // Codes in neither table are still dropped.
    EXPECT_EQ(scalar("select group_concat(pkd, ',') from dane_pkd").toString(),
              U("01,01.1,01.11,01.11.A,80.10,01.13"));

    int divisions = 0, groups = 0, classes = 0;
    for (const CodeName& row : Pkd2004Table()) {
        divisions += row.code.size() == 2;
        groups += row.code.size() == 4;
        classes += row.code.size() == 5;
    }
    EXPECT_EQ(divisions, 62);
    EXPECT_EQ(groups, 224);
    EXPECT_EQ(classes, 514);
}

TEST_F(SectionData, ABlankGridRowIsStoredAsOneEmptyRecordAndComesBackBlank)
{
    FieldValues v;
    v.grids[U("sg9")] = {QStringList{U(""), U(" "), U(""), U("")}};
    SaveSection(program, 10, v);
    EXPECT_EQ(scalar("select count(*) from dane_wydawnictwa").toInt(), 1);
    EXPECT_TRUE(scalar("select Naklad from dane_wydawnictwa").isNull());
    EXPECT_EQ(LoadSection(program, 10).grids[U("sg9")], GridRows{QStringList(QList<QString>(4))});
}

TEST_F(SectionData, ASaveThatFailsHalfWayLeavesThePreviousDataWhole)
{
    FieldValues grid;
    grid.grids[U("sg9")] = {{U("Pierwszy"), U("pl"), U("100"), U("")}, {U("Drugi"), U("en"), U("200"), U("")}};
    SaveSection(program, 10, grid);
    SetDataSaved(program.state, true);

    grid.grids[U("sg9")] = {{U("Nowy"), U("pl"), U("5"), U("")}, {U("Zły"), U("pl"), U("pięćset"), U("")}};
    EXPECT_THROW(SaveSection(program, 10, grid), Error);
    EXPECT_EQ(scalar("select group_concat(Tytul, ',') from dane_wydawnictwa").toString(), U("Pierwszy,Drugi"));
    EXPECT_TRUE(program.state.DataSaved);

    FieldValues premises;
    for (const char* f : {"me51", "me52", "me53", "me54", "me55", "me56"})
        premises.text[QString::fromLatin1(f)] = U("1,00");
    SaveSection(program, 5, premises);
    premises.text[U("me51")] = U("7,00");
    premises.text[U("me56")] = U("12.5"); // a dot is not a decimal separator
    EXPECT_THROW(SaveSection(program, 5, premises), Error);
    EXPECT_DOUBLE_EQ(scalar("select Pow_teren_wlasny from dane_szczegolowe").toDouble(), 1.0);

    // Empty answers are NULL; the quality-system count and head counts have their own rules.
    premises.text[U("me56")] = U("");
    SaveSection(program, 5, premises);
    EXPECT_TRUE(scalar("select Pow_pom_wynaj_innym from dane_szczegolowe").isNull());
    EXPECT_EQ(LoadSection(program, 5).text[U("me56")], U("0,00"));
    FieldValues quality;
    quality.text[U("me221")] = U("dwa");
    SaveSection(program, 25, quality);
    EXPECT_EQ(scalar("select Liczba_syst_jakosci from dane_szczegolowe").toInt(), 0);
    EXPECT_FALSE(scalar("select Liczba_syst_jakosci from dane_szczegolowe").isNull());
    FieldValues staff = LoadSection(program, 3);
    staff.text[U("me331")] = U("");
    EXPECT_THROW(SaveSection(program, 3, staff), Error);
}

TEST_F(SectionData, TheCommandLineShowsEveryControlAsTheWindowWould)
{
    FieldValues v;
    v.text[U("m231")] = U("pierwszy\r\ndrugi\tkoniec");
    SaveSection(program, 23, v);
    exec("insert into dane_kierownictwo (Nazwisko, Stanowisko) values ('Nowak Jan', 'dyrektor')");
    temp.connection.close();
    program.survey.close();

    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    ASSERT_EQ(runSurveyCommand({U("show"), temp.path()}, out, err), 0) << qPrintable(errText);
    const QStringList lines = outText.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), U("c000\t2007"));
    EXPECT_TRUE(lines.contains(U("m231\tpierwszy\\ndrugi\\tkoniec")));
    EXPECT_TRUE(lines.contains(U("sg2[1]\tNowak Jan | dyrektor |  | ")));
    EXPECT_TRUE(lines.contains(U("rb031\t1")));
    EXPECT_TRUE(lines.contains(U("lb022\t")));
    EXPECT_TRUE(lines.contains(U("bb801\tliczba=0 -> wykaz")));
    EXPECT_EQ(lines.last(), U("m251\t"));

    // The same survey inside a data file shows the same lines.
    const QString dataFile = temp.dir.filePath(U("dane.naj"));
    {
        QFile created(dataFile);
        ASSERT_TRUE(created.open(QIODevice::WriteOnly));
    }
    ZlbArchive archive;
    archive.OpenArchive(dataFile);
    archive.AddFile(temp.path());
    archive.CloseArchive();
    QString fromArchive;
    QTextStream archiveOut(&fromArchive);
    ASSERT_EQ(runSurveyCommand({U("show"), dataFile}, archiveOut, err), 0) << qPrintable(errText);
    EXPECT_EQ(fromArchive, outText);

    QFile junk(temp.dir.filePath(U("zly.mdb")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("to nie jest baza danych");
    junk.close();
    errText.clear();
    EXPECT_EQ(runSurveyCommand({U("show"), junk.fileName()}, out, err), 1);
    EXPECT_EQ(errText, U("Zbiór danych nie może być wczytany - nieprawidłowy format bazy danych.\n"));
    const QString otherFile = temp.dir.filePath(U("inne.naj"));
    {
        QFile created(otherFile);
        ASSERT_TRUE(created.open(QIODevice::WriteOnly));
    }
    ZlbArchive other;
    other.OpenArchive(otherFile);
    other.AddFile(junk.fileName());
    other.CloseArchive();
    errText.clear();
    EXPECT_EQ(runSurveyCommand({U("show"), otherFile}, out, err), 1);
    EXPECT_EQ(errText, U("W pliku skompresowanym nie istnieje taki zbiór\n"));
    EXPECT_EQ(runSurveyCommand({U("show")}, out, err), 2);
}
