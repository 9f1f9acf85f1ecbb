#include "check/survey_check.h"
#include "cli/survey_cli.h"
#include "lists/list_catalogue.h"
#include "program/program.h"
#include "storage/schema.h"
#include "support/temp_survey.h"
#include "survey/field_checks.h"

#include <QTextStream>
#include <gtest/gtest.h>

using namespace vestrum;
using check::Finding;
using check::Severity;

namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

struct SurveyCheck : ::testing::Test {
    vestrum::testing::TempSurvey temp;
    vestrum::testing::ScriptedMessages messages;
    FixedClock clock { QDateTime(QDate(2008, 3, 1), QTime(12, 0)) };
    Program program { messages, clock };

    SurveyCheck() { program.survey.open(temp.path(), schema::databasePassword()); }

    void exec(const char* sql) { temp.connection.execute(U(sql)); }

    std::vector<Finding> run() { return check::CheckSurvey(check::ReadSurvey(program)); }

    // A survey with an answer in most places a rule looks at, every one of them right.
    void seedCleanSurvey()
    {
        exec("insert into dane_podstawowe (Regon, Nadrzedna_REGON, DataZal, Kod_pocztowy, Numer) "
             "values ('123456785', '12345678512347', '05/03/2004', '00-950', '12a')");
        exec("insert into dane_szczegolowe (Rok_sprawozdawczy, Naklady_BR_z_amort, Naklady_biez_BR_ogolem, "
             "Przych_BR_ogolem, Przych_BR_um_sprzed_ogolem, Przych_BR_um_sprzed_zagr) "
             "values ('2008', 100, 100, 10, 10, 10)");
        exec("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, Czasopismo_MEiN, "
             "Liczba_punktow) values (1, 'Acta', 'Tytuł', 'Nowak', '2008, 3, 1-9', 'Acta', 10)");
        exec("insert into dane_wykaz_redaktor_czasopism (nazwisko_imie, tytul_czasopisma, ISSN, grupa) "
             "values ('Nowak Jan', 'Acta', '1234-5678', '8.1.a')");
        exec("insert into dane_wykaz_uprawnien (rodzaj, nazwa_stopnia, zakres) values ('dr', 'nauk chemicznych', "
             "'chemii;')");
        exec("insert into dane_czlonkostwo (Nazwisko, Nazwa_organizacji, Data_wyboru, Rodzaj_organizacji) "
             "values ('Nowak Jan', 'PAN', '2000', 'inne')");
        exec("insert into dane_aparatura (Nazwa, Producent, Rok_produkcji, Typ_wyposazenia, Dane_techniczne, "
             "Zastosowanie, Wartosc_brutto, Zrodlo_zakupu) values ('Mikroskop', 'Zeiss', 2005, "
             "'urządzenie samodzielne', 'dane', 'badania', 600000, 'środki własne')");
        exec("insert into dane_wykaz_konferencji (rodzaj, nazwa) values (1, 'Konferencja A')");
        exec("insert into dane_wykaz_umow (rodzaj, symbol, tytul, wartosc, zlecajacy, data_rozpoczecia) "
             "values (1, 'U/1', 'Przedmiot', '20000,00', 'Firma', '01/02/2008')");
        exec("insert into dane_wykaz_patentow (rodzaj, numer, data, tytul, nazwiska_tworcow, uprawniony) "
             "values (1, 'P1', '01/02/2008', 'Wynalazek', 'Nowak', 'Instytut')");
        // A document type typed freely and an optional print run left empty: the dialog takes both.
        exec("insert into dane_wykaz_patentow (rodzaj, numer, data, tytul, nazwiska_tworcow, uprawniony, dokument) "
             "values (2, 'P2', '01/02/2008', 'Wynalazek', 'Nowak', 'Instytut', 'zaświadczenie własne')");
        exec("insert into dane_wydawnictwa (Tytul, Jezyk, Naklad, Typ) values ('Zeszyty', '', NULL, 'periodyczne')");
    }
};

// How a finding is told apart in the expectations: where it is and a piece of its message.
struct Expected {
    QString place;
    int row;
    QString message;
};

TEST_F(SurveyCheck, ACleanSurveyReportsNothing)
{
    EXPECT_TRUE(run().empty()) << "empty survey";
    seedCleanSurvey();
    const std::vector<Finding> findings = run();
    for (const Finding& f : findings)
        ADD_FAILURE() << check::FindingLine(f).toStdString();
}

TEST_F(SurveyCheck, EachSeededFaultIsReportedOnceWhereItIs)
{
    seedCleanSurvey();
    exec("update dane_podstawowe set DataZal = '31/02/2004', Kod_pocztowy = '0-950', Regon = '123456789', "
         "Numer = '123456789012345678901', Rodzaj = 'spółka cywilna', Nadrzedna_REGON = '12345678512346'");
    exec("update dane_szczegolowe set Naklady_biez_BR_ogolem = 100.02, Przych_BR_um_sprzed_zagr = 10.01");
    exec("update dane_wykaz_publikacji set Tytul = ''");
    exec("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, Czasopismo_MEiN, "
         "Liczba_punktow) values (2, 'Nieznane', 'Tytuł', 'Nowak', '2008', '', 0)");
    exec("update dane_wykaz_redaktor_czasopism set grupa = '8.1.x', ISSN = '1234-56789'");
    exec("update dane_wykaz_uprawnien set zakres = 'chemii;prawa;'");
    exec("update dane_czlonkostwo set Data_wyboru = '2010'");
    exec("update dane_aparatura set Wartosc_brutto = 499999.99");
    exec("insert into dane_wykaz_konferencji (rodzaj, nazwa) values (1, 'KONFERENCJA a')");
    exec("update dane_wykaz_umow set wartosc = '5000'");
    exec("update dane_wykaz_patentow set data = '31/02/2008' where rodzaj = 1");
    // A date the dialog would rewrite, but the import's rule table wants in its standard form.
    exec("update dane_wykaz_patentow set data = '1/2/2008' where rodzaj = 2");

    const std::vector<Finding> findings = run();
    const std::vector<Expected> expected = {
        { U("sekcja 1"), 0, U("Podana wartość jest nieprawidłowa: \"31/02/2004\"") },
        { U("sekcja 1"), 0, U("Podana wartość jest nieprawidłowa: \"0-950\"") },
        { U("sekcja 1"), 0, U("REGON \"123456789\"") },
        { U("sekcja 1"), 0, U("REGON \"12345678512346\"") },
        { U("sekcja 1"), 0, U("Tekst ma 21 znaków, a pole mieści najwyżej 20") },
        { U("sekcja 1"), 0, U("Wartość \"spółka cywilna\" nie należy do listy wyboru") },
        { U("sekcja 17"), 0, U("ogółem nie może byc mniejsze od sumy pól składowych") },
        { U("sekcja 18"), 0, U("nie może byc mniejsze od sumy pól składowych") },
        { U("wykaz 1"), 1, U("Dyscyplina \"prawa\"") },
        { U("wykaz 3"), 1, U("Pole \"Tytuł\" nie może być puste") },
        { U("wykaz 4"), 1, U("nie ma przypisanego czasopisma z listy ministerstwa") },
        { U("wykaz 7"), 1, U("Wartość \"8.1.x\"") },
        { U("wykaz 7"), 1, U("Pole \"Numer ISSN czasopisma\" może zawierać najwyżej 9 znaków") },
        { U("wykaz 14"), 1, U("Podana wartość jest nieprawidłowa: \"2010\"") },
        { U("wykaz 21"), 2, U("identyczna z pozycją w wierszu 1") },
        { U("wykaz 27"), 1, U("nie przekracza wymaganego minimum - 10.000 PLN") },
        { U("wykaz 28"), 1, U("Podana wartość jest nieprawidłowa: \"31/02/2008\"") },
        { U("wykaz 29"), 1, U("Błędnie podana lub pusta data (powinna mieć format dd/mm/rrrr)") },
        { U("wykaz 50"), 1, U("nie przekracza wymaganego minimum - 500.000 PLN") },
    };
    for (const Expected& e : expected) {
        const auto matches = std::count_if(findings.begin(), findings.end(), [&e](const Finding& f) {
            return check::PlaceText(f) == e.place && f.row == e.row && f.message.contains(e.message);
        });
        EXPECT_EQ(matches, 1) << e.place.toStdString() << " " << e.message.toStdString();
    }
    QStringList lines;
    for (const Finding& f : findings)
        lines << check::FindingLine(f);
    EXPECT_EQ(findings.size(), expected.size()) << lines.join(QLatin1Char('\n')).toStdString();

    // Warnings are the two REGONs and the publication without a listed journal; the rest are errors.
    EXPECT_EQ(check::WarningCount(findings), 3);
    // Findings come by section: section 1's fields first, the apparatus of section 21 last.
    ASSERT_FALSE(findings.empty());
    EXPECT_EQ(findings.front().section, 1);
    EXPECT_EQ(findings.back().listKind, 50);
}

TEST_F(SurveyCheck, FindingsCarryWhatTheWindowNeedsToOpenThePlace)
{
    seedCleanSurvey();
    exec("update dane_podstawowe set DataZal = '31/02/2004'");
    exec("update dane_wykaz_patentow set data = 'wczoraj' where rodzaj = 1");
    const std::vector<Finding> findings = run();
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].control, U("e004"));
    EXPECT_EQ(findings[0].field, U("Data założenia (dd/mm/rrrr)"));
    EXPECT_EQ(findings[1].listKind, 28);
    EXPECT_EQ(findings[1].column, 1);
    EXPECT_EQ(findings[1].field, U("data opublikowania"));
    EXPECT_EQ(findings[1].section, 15);
}

TEST_F(SurveyCheck, RowNumbersFollowTheEditorsOrder)
{
    // The editor sorts by the first column, so the faulty "B" row is row 2 although stored first.
    exec("insert into dane_wykaz_konferencji (rodzaj, nazwa) values (3, 'B')");
    exec("insert into dane_wykaz_konferencji (rodzaj, nazwa) values (3, 'A')");
    exec("insert into dane_wykaz_konferencji (rodzaj, nazwa) values (3, 'b')");
    const std::vector<Finding> findings = run();
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].listKind, 23);
    EXPECT_EQ(findings[0].row, 3);
    EXPECT_TRUE(findings[0].message.contains(U("wierszu 2")));
}

TEST_F(SurveyCheck, CommandLineExitsByWhatWasFound)
{
    QString outText;
    QString errText;
    QTextStream out(&outText);
    QTextStream err(&errText);
    temp.connection.close();
    EXPECT_EQ(runSurveyCommand({ U("check"), temp.path() }, out, err), 0);
    EXPECT_TRUE(outText.isEmpty());

    temp.connection.open(temp.path(), schema::databasePassword());
    exec("insert into dane_podstawowe (Regon) values ('123456789')");
    temp.connection.close();
    EXPECT_EQ(runSurveyCommand({ U("check"), temp.path() }, out, err), 0) << "a warning alone is no error";
    out.flush();
    EXPECT_EQ(outText,
        U("ostrzeżenie\tsekcja 1\t\tREGON\tNumer REGON \"123456789\" ma nieprawidłową cyfrę "
          "kontrolną lub długość\n"));

    temp.connection.open(temp.path(), schema::databasePassword());
    exec("update dane_podstawowe set DataZal = '1.1.2000'");
    temp.connection.close();
    EXPECT_EQ(runSurveyCommand({ U("check"), temp.path() }, out, err), 3);

    EXPECT_EQ(runSurveyCommand({ U("check"), temp.dir.filePath(U("brak.naj")) }, out, err), 1);
    EXPECT_EQ(runSurveyCommand({ U("check") }, out, err), 2);
}

TEST(Regon, NineAndFourteenDigitsWithTheirWeights)
{
    EXPECT_TRUE(checks::IsValidRegon(U("123456785")));
    EXPECT_FALSE(checks::IsValidRegon(U("123456789")));
    // A sum whose remainder is 10 gives the check digit 0.
    EXPECT_TRUE(checks::IsValidRegon(U("060000000"))); // 9 * 6 = 54, 54 mod 11 = 10
    EXPECT_FALSE(checks::IsValidRegon(U("060000001")));
    EXPECT_TRUE(checks::IsValidRegon(U("12345678512347")));
    EXPECT_FALSE(checks::IsValidRegon(U("12345678512346")));
    EXPECT_FALSE(checks::IsValidRegon(U("1234567851234")));
    EXPECT_FALSE(checks::IsValidRegon(U("12345678a")));
    EXPECT_FALSE(checks::IsValidRegon(QString()));
}

} // namespace

namespace {

std::vector<Finding> checkRows(int kind, std::vector<QStringList> rows, const QStringList& conferences = {})
{
    lists::ListGrid grid(lists::ListKindInfoOf(kind).headers());
    grid.setRows(std::move(rows));
    importing::CheckContext context;
    context.reportingYear = 2008;
    return check::CheckListRows(kind, grid, {}, conferences, context);
}

} // namespace

TEST(SurveyCheckRows, ChoicesOutsideTheirListsAreOneFindingEach)
{
    // An unknown domain: its disciplines are not checked against it as well.
    auto found = checkRows(1, { { U("nauk tajemnych"), U("chemii;prawa;") } });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].column, 0);

    // A paper may only name a conference of kind 21 already saved.
    found = checkRows(22, { { U("Konferencja B"), U("Referat") } }, { U("Konferencja A") });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].message.contains(U("nie należy do listy wyboru")));
    EXPECT_TRUE(checkRows(22, { { U("konferencja a"), U("Referat") } }, { U("Konferencja A") }).empty())
        << "the dialog matches items without regard to case";

    // A share band of kind 26 that the drop-down does not have, and one left unset.
    found = checkRows(26,
        { { U("P1"), U("Projekt"), U("01/01/2008"), U("01/12/2008"), U("Kowalski"), U("dużo") },
            { U("P2"), U("Projekt"), U("01/01/2008"), U("01/12/2008"), U("Kowalski"), QString() } });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0].message.contains(U("\"dużo\"")));
    EXPECT_TRUE(found[1].message.contains(U("nie może pozostać nieokreślone")));
}

TEST_F(SurveyCheck, APublicationWithoutJournalIsToldItsNearestOnTheList)
{
    exec("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, Czasopismo_MEiN, "
         "Liczba_punktow) values (2, 'Physcs Letters', 'Tytuł', 'Nowak', '2008, 3, 1-9', '', 0)");
    exec("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, Czasopismo_MEiN, "
         "Liczba_punktow) values (2, 'Sprawozdania Koła', 'Tytuł 2', 'Nowak', '2008, 3, 1-9', '', 0)");
    auto warnings = [this] {
        QStringList texts;
        for (const Finding& f : run())
            if (f.message.contains(U("nie ma przypisanego czasopisma")))
                texts << f.message;
        return texts;
    };
    // Without a journal list the warning says only what is missing.
    EXPECT_EQ(warnings(),
        (QStringList { U("Publikacja nie ma przypisanego czasopisma z listy ministerstwa (\"Physcs Letters\")"),
            U("Publikacja nie ma przypisanego czasopisma z listy ministerstwa (\"Sprawozdania Koła\")") }));

    const QString listPath = temp.dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    db::Connection::create(listPath, schema::databasePassword());
    program.journals.open(listPath, schema::databasePassword());
    program.journals.execute(U("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, "
                               "rodzaj INTEGER)"));
    program.journals.execute(U("INSERT INTO lista_ministerstwa VALUES ('Physics Letters', 30, 0)"));
    EXPECT_EQ(warnings(),
        (QStringList { U("Publikacja nie ma przypisanego czasopisma z listy ministerstwa (\"Physcs Letters\"); "
                         "najbliższe na liście: \"Physics Letters\" (30 pkt, część A)"),
            U("Publikacja nie ma przypisanego czasopisma z listy ministerstwa (\"Sprawozdania Koła\")") }));

    // A title two journals carry names both, and the user is sent to choose.
    program.journals.execute(U("INSERT INTO lista_ministerstwa VALUES ('Britannia', 70, 1), ('Britannia', 20, 1)"));
    exec("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, Czasopismo_MEiN, "
         "Liczba_punktow) values (2, 'britannia', 'Tytuł 3', 'Nowak', '2008, 3, 1-9', '', 0)");
    EXPECT_EQ(warnings().filter(U("britannia")).value(0),
        U("Publikacja nie ma przypisanego czasopisma z listy ministerstwa (\"britannia\"); tytuł pasuje do kilku "
          "czasopism z listy: \"Britannia\" (70 pkt), \"Britannia\" (20 pkt) - wybierz jedno w oknie \"Dane "
          "szczegółowe\" lub w \"Nieprzypisane czasopisma\""));
}

TEST(SurveyCheckRows, EmptyListAndBlankRowsAreNoFaults)
{
    EXPECT_TRUE(checkRows(21, {}).empty());
    EXPECT_TRUE(checkRows(21, { { QString() }, { U("Konferencja") } }).empty());
}

TEST_F(SurveyCheck, APublicationEnteredInTwoListsIsNamedWithBothPlaces)
{
    exec("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, Czasopismo_MEiN, "
         "Liczba_punktow) values (1, 'Acta', 'Dzieje Mazowsza', 'Nowak', '2008, 3, 1-9', 'Acta', 10)");
    exec("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, Czasopismo_MEiN, "
         "Liczba_punktow) values (3, 'Acta', 'Baza', 'Lis', '2008', 'Acta', 10)");
    exec("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, Czasopismo_MEiN, "
         "Liczba_punktow) values (3, 'Acta', 'DZIEJE MAZOWSZA.', 'Nowak A.', '2008, 3', 'Acta', 10)");
    std::vector<Finding> duplicates;
    for (const Finding& f : run())
        if (f.message.startsWith(U("Możliwy duplikat")))
            duplicates.push_back(f);
    ASSERT_EQ(duplicates.size(), 1u);
    EXPECT_EQ(duplicates[0].listKind, 5);
    EXPECT_EQ(duplicates[0].row, 2); // the rows tie on the first column and keep their order
    EXPECT_EQ(duplicates[0].severity, check::Severity::Warning);
    EXPECT_EQ(duplicates[0].message,
        U("Możliwy duplikat publikacji \"DZIEJE MAZOWSZA.\" (2008): ta sama publikacja jest w wykazie 8.1.a, "
          "wiersz 1"));
}
