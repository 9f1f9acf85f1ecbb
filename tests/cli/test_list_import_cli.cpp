#include "cli/list_import_cli.h"

#include "base/codepage.h"
#include "datafile/save.h"
#include "archive/zlb_archive.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "storage/journal_list.h"
#include "storage/schema.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

using namespace vestrum;
using vestrum::testing::TempSurvey;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// A program folder holding the shipped journal list, made once for all tests.
QString programFolder()
{
    static QTemporaryDir folder;
    static const bool made = [] {
        journals::createJournalListDatabase(folder.filePath(QStringLiteral("dane/lista_czasopism.mdb")));
        return true;
    }();
    (void)made;
    return folder.path();
}

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun run(const QStringList& args)
{
    CliRun r;
    QTextStream out(&r.out), err(&r.err);
    r.status = runListImportText(args, out, err, programFolder() + QStringLiteral("/dane/lista_czasopism.mdb"));
    return r;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A survey database with a reporting year and, for kind 3, three publications already saved.
struct Survey {
    TempSurvey survey;
    QTemporaryDir files;

    explicit Survey(const char* year = "2008")
    {
        survey.connection.execute(
            QStringLiteral("INSERT INTO dane_szczegolowe (Rok_sprawozdawczy) VALUES (?)"), { S(year) });
    }
    QString text(const char* name, const QByteArray& bytes)
    {
        const QString path = files.filePath(S(name));
        writeFile(path, bytes);
        return path;
    }
    std::vector<QStringList> rows(int kind) { return lists::LoadList(survey.connection, kind).grid.rows(); }
};

const char* const kPublications = "Kwartalnik Historyczny;Dzieje Mazowsza;Nowak Anna;2008, 2, 11-40\n"
                                  "\n"
                                  "przegląd elektrotechniczny;Silniki;Kowalski Jan;2008, 5, 1-9\n"
                                  "Gazeta Lokalna;Felieton;Wiśniewska Ewa;2008\n";

} // namespace

TEST(ListImportCli, PrintsThePublicationsIdentifiedAgainstTheJournalListWithoutSavingThem)
{
    Survey s;
    const QString text = s.text("publikacje.txt", QByteArray(kPublications));
    const CliRun r = run({ s.survey.path(), S("3"), text, S("--separator=;"), S("--map=1,2,3,4") });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, S("kodowanie: UTF-8\n"));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], S("Czasopismo\tTytuł\tAutor (Autorzy)\tRok, nr, str.\tCzasopismo z listy MNiSW.\tL.punktów\tISSN"));
    EXPECT_EQ(lines[1],
        S("Kwartalnik Historyczny\tDzieje Mazowsza\tNowak Anna\t2008, 2, 11-40\tKwartalnik "
          "Historyczny\t70,00\t"));
    EXPECT_TRUE(lines[2].endsWith(S("\tPrzegląd Elektrotechniczny\t20,00\t")));
    EXPECT_TRUE(lines[3].endsWith(S("\t\t0,00\t")));
    ASSERT_FALSE(s.rows(3).empty());
    EXPECT_TRUE(s.rows(3).front().join(QString()).isEmpty()); // nothing written

    // "tab" names one TAB, as "tabulator" does in the window; the text's ";" is then no separator.
    const QString tabbed = s.text("tabulator.txt", QByteArray("Gazeta;Lokalna\tFelieton\tWi\xc5\x9bniewska Ewa\n"));
    const CliRun t = run({ s.survey.path(), S("3"), tabbed, S("--separator=tab"), S("--map=1,2,3") });
    ASSERT_EQ(t.status, 0) << t.err.toStdString();
    const QStringList tabLines = t.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(tabLines.size(), 2);
    EXPECT_TRUE(tabLines[1].startsWith(S("Gazeta;Lokalna\tFelieton\tWiśniewska Ewa\t")));
}

TEST(ListImportCli, SaveAppendsAfterTheStoredRowsInADatabaseAndInADataFile)
{
    Survey s;
    lists::ListGrid stored(lists::ListKindInfoOf(47).headers());
    stored.setRows({ { S("krajowa"), S("Nagroda A"), S("Minister") }, { S("krajowa"), S("Nagroda B"), S("Rektor") },
        { S("zagraniczna"), S("Nagroda C"), S("IEEE") } });
    lists::SaveList(s.survey.connection, 47, stored);
    const QString text
        = s.text("nagrody.txt", codepage::toWindows1250(S("ZAGRANICZNA\nMedal Złoty\nTowarzystwo Łódzkie\n")));

    const CliRun r = run({ s.survey.path(), S("47"), text, S("--lines=3"), S("--map=1,2,3"), S("--save") });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, S("kodowanie: Windows-1250\n"));
    auto rows = s.rows(47);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3], (QStringList { S("zagraniczna"), S("Medal Złoty"), S("Towarzystwo Łódzkie") }));

    // The same into a data file: the member is replaced only after the list was written.
    const QString dataFile = s.files.filePath(QStringLiteral("jednostka.naj"));
    s.survey.connection.close();
    datafiles::CheckedArchive archive;
    datafiles::WriteArchiveOf(s.survey.path(), dataFile, archive);
    // (Another award: the same one again would leave the list with two identical rows, and is refused.)
    const QString other = s.text("nagroda.txt", codepage::toWindows1250(S("krajowa\nMedal Srebrny\nRektor\n")));
    const CliRun saved = run({ dataFile, S("47"), other, S("--lines=3"), S("--map=1,2,3"), S("--save") });
    ASSERT_EQ(saved.status, 0) << saved.err.toStdString();
    QTemporaryDir scratch;
    db::Connection reread;
    ZlbArchive packed;
    packed.OpenArchive(dataFile);
    packed.SetExtractWithPath(false);
    packed.ExtractAll(scratch.path());
    packed.CloseArchive();
    reread.open(scratch.filePath(QStringLiteral("ankieta.mdb")), schema::databasePassword());
    EXPECT_EQ(lists::LoadList(reread, 47).grid.rowCount(), 5);
}

TEST(ListImportCli, AFailingRowListsEveryErrorAndWritesNothing)
{
    Survey s("2007");
    const QString text = s.text("czlonkostwo.txt",
        QByteArray("Kowalski Jan;IEEE;2008;inne\n"
                   "Nowak Anna;PAN;1929;- wybierz -\n"
                   "Wiśniewska Ewa;PAU;1990;Polska Akademia Umiejętności\n"));
    const CliRun r = run({ s.survey.path(), S("14"), text, S("--separator=;"), S("--map=1,2,3,4"), S("--save") });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
        S("Nieprawidłowa zawartość pola \"Rok wyboru\" (powinien być podany tylko rok) - wiersz 1\n"
          "Nieprawidłowa zawartość pola \"Rok wyboru\" (powinien być podany tylko rok) - wiersz 2\n"
          "Zawartość pola \"Rodzaj organizacji\" nie należy do zakresu stosowanego w tej klasyfikacji - "
          "wiersz 2\n"));
    ASSERT_FALSE(s.rows(14).empty());
    EXPECT_TRUE(s.rows(14).front().join(QString()).isEmpty());

    // Mended, the same text goes into the section's grid list, the choice in its listed spelling.
    const QString mended = s.text("czlonkostwo2.txt", QByteArray("Nowak Anna;PAN;1999;POLSKA AKADEMIA NAUK\n"));
    ASSERT_EQ(run({ s.survey.path(), S("14"), mended, S("--separator=;"), S("--map=1,2,3,4"), S("--save") }).status, 0);
    EXPECT_EQ(
        s.rows(14), (std::vector<QStringList> { { S("Nowak Anna"), S("PAN"), S("1999"), S("Polska Akademia Nauk") } }));
}

TEST(ListImportCli, WrongCommandLinesAreRefusedWithTheWindowsMessages)
{
    Survey s;
    const QString text = s.text("a.txt", QByteArray("a;b\n"));
    const QString file = s.survey.path();
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        { { file, S("3"), text, S("--separator=;"), S("--map=1,2,1") },
            "Do conajmniej dwóch pól przypisano taką samą zawartość tematyczną: Czasopismo" },
        { { file, S("3"), text, S("--separator=;"), S("--map=1,8") }, "Pozycja 2 mapy pól" }, // 7 is the ISSN
        { { file, S("3"), text, S("--separator="), S("--map=1") }, "Nie podano znaku separatora" },
        { { file, S("3"), text, S("--lines=13"), S("--map=1") }, "nie może być większa niż 12" },
        { { file, S("3"), text, S("--lines=2"), S("--separator=;"), S("--map=1") }, "--separator albo --lines" },
        { { file, S("51"), text, S("--separator=;"), S("--map=1") }, "Nieznany rodzaj wykazu: 51." },
        { { file, S("3"), text, S("--separator=;"), S("--map=1,2,3,4,5,6,0,0,0,0,0,0,0") }, "najwyżej 12" },
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_TRUE(r.err.contains(S(c.message))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    const CliRun missing
        = run({ file, S("3"), s.files.filePath(QStringLiteral("brak.txt")), S("--separator=;"), S("--map=1") });
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(S("Nie znaleziono zbioru")));
}
