// `vestrum-cli list import-text` with what spreadsheets and older tools write: workbooks, quoted
// fields, header rows and every Polish encoding.
#include "cli/list_import_cli.h"

#include "base/codepage.h"
#include "import/workbook_files.h"
#include "lists/list_data.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "storage/journal_list.h"
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

struct CliResult {
    int status = -1;
    QString out;
    QString err;
};

struct Sources {
    QTemporaryDir folder; // program folder with the journal list, and the files
    TempSurvey survey;

    Sources()
    {
        journals::createJournalListDatabase(folder.filePath(QStringLiteral("dane/lista_czasopism.mdb")));
        survey.connection.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Rok_sprawozdawczy) VALUES ('2008')"));
    }
    QString file(const char* name, const QByteArray& bytes)
    {
        const QString path = folder.filePath(S(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    CliResult run(int kind, const QString& path, QStringList options)
    {
        CliResult r;
        QTextStream out(&r.out), err(&r.err);
        r.status = runListImportText(
            QStringList { survey.path(), QString::number(kind), path } + options, out, err,
            folder.filePath(QStringLiteral("dane/lista_czasopism.mdb")));
        return r;
    }
};

} // namespace

TEST(ListImportSourcesCli, AWorkbookIsReadAsItIsItsHeaderSkippedOnlyWhenAsked)
{
    Sources s;
    const QString path = s.folder.filePath(QStringLiteral("publikacje.xlsx"));
    const auto members = vestrum::testing::XlsxMembers(
        { { S("Pusty"), "</sheetData>" },
            { S("Lista"),
                R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>
                   <row r="2"><c r="A2" t="s"><v>2</v></c><c r="B2" t="inlineStr"><is><t>Silniki; nowe</t></is></c></row></sheetData>)" } },
        "<si><t>Czasopismo</t></si><si><t>Tytuł</t></si><si><t>przegląd elektrotechniczny</t></si>");
    vestrum::testing::WriteZip(path, members);

    const CliResult r = s.run(3, path, { S("--map=1,2"), S("--sheet=2"), S("--header") });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, S("kodowanie: arkusz\n"));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].startsWith(S("przegląd elektrotechniczny\tSilniki; nowe\t\t\tPrzegląd Elektrotechniczny\t")))
        << lines[1].toStdString();
    // Without --header the caption row is a record of its own.
    EXPECT_EQ(s.run(3, path, { S("--map=1,2"), S("--sheet=2") }).out.count(QLatin1Char('\n')), 3);

    const CliResult missing = s.run(3, path, { S("--map=1,2"), S("--sheet=3") });
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(S("nie ma arkusza nr 3"))) << missing.err.toStdString();
    const CliResult locked
        = s.run(3, s.file("tajne.xlsx", QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")), { S("--map=1") });
    EXPECT_EQ(locked.status, 1);
    EXPECT_TRUE(locked.err.contains(S("jest zaszyfrowany - zapisz go bez hasła.")));

    // Options that make no sense for the source are a wrong command line.
    const QString text = s.file("lista.txt", QByteArray("a;b\n"));
    for (const auto& [source, option] : { std::pair { path, S("--separator=;") }, std::pair { path, S("--lines=2") },
             std::pair { path, S("--encoding=utf-8") }, std::pair { text, S("--sheet=1") },
             std::pair { text, S("--encoding=latin2") } }) {
        QStringList options { S("--map=1"), option };
        if (source == text && !option.startsWith(S("--separator")))
            options << S("--separator=;");
        EXPECT_EQ(s.run(3, source, options).status, 2) << option.toStdString();
    }
}

TEST(ListImportSourcesCli, PublicationsTakeColumnSevenAsTheIssnThatIdentifiesAndIsKept)
{
    Sources s;
    const QString text = s.file("publikacje.txt", QByteArray("0033-2097;Przeglad Elektrotechniczy;Silniki\n"));
    const CliResult r = s.run(3, text, { S("--separator=;"), S("--map=7,1,2"), S("--save") });
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const QString stored = S("Przeglad Elektrotechniczy\tSilniki\t\t\tPrzegląd Elektrotechniczny\t20,00\t0033-2097\n");
    EXPECT_TRUE(r.out.endsWith(stored)) << r.out.toStdString();
    db::Connection reopened; // the save replaced the file under the fixture's connection
    reopened.open(s.survey.path(), schema::databasePassword());
    const QStringList saved = lists::EditorGrid(reopened, 3).rows().back();
    EXPECT_EQ(saved, (QStringList { S("Przeglad Elektrotechniczy"), S("Silniki"), S(""), S(""),
                         S("Przegląd Elektrotechniczny"), S("20,00"), S("0033-2097") }));

    // Other kinds have no column 7 to give: a wrong command line, as before.
    EXPECT_EQ(s.run(14, text, { S("--separator=;"), S("--map=7") }).status, 2);
}

TEST(ListImportSourcesCli, QuotedCsvAndEncodingsAreReadRightAndNamed)
{
    Sources s;
    // Memberships as a spreadsheet writes them in ISO-8859-2: quoted separator, doubled quotes.
    const QString csv = s.file("czlonkowie.csv",
        codepage::toIso88592(
            S("\"Nazwisko i imię\";\"Nazwa organizacji/czasopisma\";\"Rok wyboru\";\"Rodzaj organizacji\"\n"
              "Kowalska Świętosława;\"Towarzystwo \"\"Źródła\"\"; oddział\";1999;inne\n")));
    const CliResult r = s.run(14, csv, { S("--separator=;"), S("--map=1,2,3,4"), S("--header") });
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(r.err, S("kodowanie: ISO-8859-2\n"));
    EXPECT_TRUE(r.out.contains(S("Kowalska Świętosława\tTowarzystwo \"Źródła\"; oddział\t1999\tinne\n")))
        << r.out.toStdString();

    // The encoding given wins over the guess; the quotes switched off split inside them.
    const CliResult forced
        = s.run(14, csv, { S("--separator=;"), S("--map=1,2,3,4"), S("--header"), S("--encoding=windows-1250") });
    EXPECT_EQ(forced.err, S("kodowanie: Windows-1250\n"));
    EXPECT_TRUE(forced.out.contains(S("Kowalska ¦więtosława"))) << forced.out.toStdString();
    const CliResult split = s.run(14, csv, { S("--separator=;"), S("--map=1,2,3,4"), S("--header"), S("--no-quotes") });
    EXPECT_EQ(split.status, 1); // "oddział"" is no year
    // Headless never guesses: the caption row is checked as data.
    const CliResult asData = s.run(14, csv, { S("--separator=;"), S("--map=1,2,3,4") });
    EXPECT_EQ(asData.status, 1);
    EXPECT_TRUE(asData.out.contains(S("\"Rok wyboru\" (powinien być podany tylko rok) - wiersz 1")));
}
