#include "cli/list_import_bib_cli.h"

#include "cli/list_xml_cli.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/xml_exchange.h"
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

QString journalListPath()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        const QString file = folder.filePath(QStringLiteral("lista_czasopism.mdb"));
        journals::createJournalListDatabase(file);
        return file;
    }();
    return path;
}

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun runBib(const QStringList& args)
{
    CliRun r;
    QTextStream out(&r.out), err(&r.err);
    r.status = runListImportBib(args, out, err, journalListPath());
    return r;
}

CliRun runXml(const QStringList& args)
{
    CliRun r;
    QTextStream out(&r.out), err(&r.err);
    r.status = runListXmlCommand(args, out, err, journalListPath());
    return r;
}

// A survey of 2008 whose 8.1.a already holds one article.
struct Survey {
    TempSurvey survey;
    QTemporaryDir files;

    Survey()
    {
        survey.connection.execute(
            QStringLiteral("INSERT INTO dane_szczegolowe (Rok_sprawozdawczy) VALUES (?)"), { S("2008") });
        lists::ListGrid stored(lists::ListKindInfoOf(3).headers());
        stored.setRows({ { S("Kwartalnik Historyczny"), S("Dzieje Mazowsza"), S("Nowak A."), S("2008, 2, 11-40"),
            S("Kwartalnik Historyczny"), S("70,00") } });
        lists::SaveList(survey.connection, 3, stored);
    }
    QString file(const char* name, const QByteArray& bytes)
    {
        const QString path = files.filePath(S(name));
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        return path;
    }
    std::vector<QStringList> rows(int kind) { return lists::EditorGrid(survey.connection, kind).rows(); }
};

const char* const kArticles = R"(@article{n1, author = {Nowak, Anna}, title = {Dzieje {M}azowsza.},
  journal = {Kwartalnik Historyczny}, year = 2008, volume = 2, pages = {11--40}}
@article{k1, author = {Kowalski, Jan}, title = {Nowe {\'z}r{\'o}d{\l}a}, journal = {Kwartalnik Historyczny},
  year = 2008, volume = 3}
@misc{m1, title = {Strona}}
)";

} // namespace

TEST(ListImportBibCli, PrintsTheRowsNamesWhatItLeftOutAndEveryProbableDuplicate)
{
    Survey s;
    const QString bib = s.file("publikacje.txt", QByteArray(kArticles)); // told by its content, not its name
    const CliRun r = runBib({ s.survey.path(), S("5"), bib });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err,
        S("format: BibTeX\npominięto 1 pozycję typu @misc\n"
          "możliwy duplikat: Dzieje Mazowsza. (2008) - 8.1.a wiersz 1\n"));
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], lists::ListKindInfoOf(5).headers().join(u'\t'));
    EXPECT_TRUE(lines[2].startsWith(
        S("Kwartalnik Historyczny\tNowe źródła\tKowalski J.\t2008, 3\tKwartalnik Historyczny\t70,00")))
        << lines[2].toStdString();
    EXPECT_TRUE(s.rows(5).front().join(QString()).isEmpty()); // nothing saved without --save

    // Saved without the duplicate: only the new article reaches 8.1.c, the duplicate is still named.
    const CliRun saved = runBib({ s.survey.path(), S("5"), bib, S("--save"), S("--skip-duplicates") });
    ASSERT_EQ(saved.status, 0) << saved.err.toStdString();
    EXPECT_TRUE(saved.err.contains(S("możliwy duplikat: Dzieje Mazowsza. (2008) - 8.1.a wiersz 1")));
    const std::vector<QStringList> rows = s.rows(5);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], S("Nowe źródła"));

    // The same file again: both rows now repeat a publication, and the saved one its own list's row
    // exactly, which the list's own duplicate test refuses.
    const CliRun again = runBib({ s.survey.path(), S("5"), bib, S("--save") });
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(s.rows(5).size(), 1u);
}

TEST(ListImportBibCli, ChaptersFromRisAreSavedWithTheirKindsPoints)
{
    Survey s;
    const QString ris = s.file("rozdzialy.ris",
        QByteArray("TY  - CHAP\r\nAU  - Żak, Ewa Maria\r\nAU  - Lis, Adam\r\nTI  - Rozdział\r\nT2  - Księga\r\n"
                   "PB  - PWN\r\nCY  - Warszawa\r\nPY  - 2008\r\nSP  - 1\r\nEP  - 9\r\nER  - \r\n"
                   "TY  - JOUR\r\nTI  - Artykuł\r\nER  - \r\n"));
    const CliRun r = runBib({ s.survey.path(), S("9"), ris, S("--save") });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, S("format: RIS\npominięto 1 pozycję typu JOUR\n"));
    const std::vector<QStringList> rows = s.rows(9);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (QStringList { S("PWN"), S("Księga"), S("Rozdział"), S("Żak E. M., Lis A."),
                           S("Warszawa, 2008, 1-9"), QString::number(lists::ListKindInfoOf(9).fixedPoints) }));
}

TEST(ListImportBibCli, RefusalsAndTheirExitCodes)
{
    Survey s;
    const QString bib = s.file("a.bib", QByteArray(kArticles));
    const CliRun wrongKind = runBib({ s.survey.path(), S("7"), bib });
    EXPECT_EQ(wrongKind.status, 2);
    EXPECT_TRUE(wrongKind.err.startsWith(S("Wykaz 7 nie przyjmuje bibliografii: tylko rodzaje 3-6 i 8-11.\n")));
    EXPECT_EQ(runBib({ s.survey.path(), S("5") }).status, 2);
    EXPECT_EQ(runBib({ s.survey.path(), S("5"), bib, S("--zapisz") }).status, 2);

    const CliRun csv = runBib({ s.survey.path(), S("5"), s.file("a.csv", "Lp;Tytuł\n1;x\n") });
    EXPECT_EQ(csv.status, 1);
    EXPECT_EQ(csv.err, S("Zbiór nie jest bibliografią w formacie BibTeX, RIS ani CSL JSON.\n"));
    const CliRun missing = runBib({ s.survey.path(), S("5"), s.files.filePath(QStringLiteral("brak.bib")) });
    EXPECT_EQ(missing.status, 1);

    // Nothing of the kind in the file: nothing to save.
    const CliRun empty = runBib({ s.survey.path(), S("8"), bib, S("--save") });
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(empty.err.contains(S("pominięto 2 pozycje typu @article")));
}

TEST(ListImportBibCli, XmlImportNamesAndLeavesOutProbableDuplicatesOfTheOtherLists)
{
    Survey s;
    lists::ListGrid exported(lists::ListKindInfoOf(4).headers());
    exported.setRows({ { S("Kwartalnik Historyczny"), S("DZIEJE MAZOWSZA"), S("Nowak A."), S("2008"), QString(),
                           S("0,00") },
        { S("Kwartalnik Historyczny"), S("Inny tekst"), S("Lis A."), S("2008"), QString(), S("0,00") } });
    const QString xml = s.files.filePath(QStringLiteral("wykaz.xml"));
    lists::writeListXml(xml, exported);

    const CliRun shown = runXml({ S("import"), s.survey.path(), S("4"), xml });
    ASSERT_EQ(shown.status, 0) << shown.err.toStdString();
    EXPECT_EQ(shown.err, S("możliwy duplikat: DZIEJE MAZOWSZA (2008) - 8.1.a wiersz 1\n"));
    EXPECT_EQ(shown.out.count(u'\n'), 3);

    const CliRun saved = runXml({ S("import"), s.survey.path(), S("4"), xml, S("--save"), S("--skip-duplicates") });
    ASSERT_EQ(saved.status, 0) << saved.err.toStdString();
    const std::vector<QStringList> rows = s.rows(4);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], S("Inny tekst"));
    EXPECT_EQ(runXml({ S("import"), s.survey.path(), S("4"), xml, S("--skip-duplicates"), S("--bogus") }).status, 2);
}
