#include "cli/report_cli.h"

#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "support/pdf_reading.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QFile>
#include <QFontInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace vestrum;

namespace {

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

struct ReportRun {
    int status = 0;
    QString out;
    QString err;
};

// Without a settings file the report is in the program's default font.
ReportRun runReport(const QStringList& args, const QString& settingsPath = QStringLiteral("brak-ustawien/ankieta.ini"))
{
    ReportRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = runReportCommand(args, out, err, settingsPath);
    return run;
}

// The non-empty lines of a PDF's text, pages separated by a form feed line; nothing without pdftotext.
std::optional<QStringList> pdfLines(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    process.waitForFinished(60000);
    QStringList lines;
    for (QString line : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n')) {
        if (line.startsWith(u'\f')) {
            lines.append(QStringLiteral("<strona>"));
            line = line.mid(1);
        }
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed());
    }
    while (!lines.isEmpty() && lines.last() == QStringLiteral("<strona>"))
        lines.removeLast(); // the form feed after the last page
    return lines;
}

// A small filled survey: the unit's address, its head and one longer text.
struct FilledSurvey {
    vestrum::testing::TempSurvey temp;

    FilledSurvey()
    {
        auto& db = temp.connection;
        db.execute(S("insert into dane_podstawowe (nazwa, Kod_pocztowy, Miasto, Wojewodztwo, Ulica, Numer) values "
                     "('Instytut Fizyki Jądrowej', '31-342', 'Kraków', 'małopolskie', 'Radzikowskiego', '152')"));
        db.execute(S("insert into dane_kierownictwo (Nazwisko, Stanowisko, Telefon) values "
                     "('Żółkiewski Jan', 'dyrektor', '12 662 80 00')"));
        db.execute(S("insert into dane_szczegolowe (Rok_sprawozdawczy, Inne_informacje) values "
                     "('2008', 'Pierwszy wiersz.\r\nDrugi wiersz ze znakami ąęś.')"));
        temp.connection.close();
    }
};

} // namespace

TEST(ReportCli, ChosenEntriesGiveTheTextTheRulesSay)
{
    FilledSurvey survey;
    const QString pdf = survey.temp.dir.filePath(QStringLiteral("raport.pdf"));
    const ReportRun run = runReport({survey.temp.path(), S("-o"), pdf, S("--entries=2,5,37")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const auto lines = pdfLines(pdf);
    if (!lines)
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QStringList expected = {
        S("Vestrum za rok 2008"),
        S("1. Informacje o jednostce naukowej"),
        S("Dane adresowe:"),
        S("Kod pocztowy: 31-342"),
        S("Miejscowość: Kraków"),
        S("Województwo: małopolskie"),
        S("Ulica: Radzikowskiego"),
        S("Numer: 152"),
        S("Telefon:"),
        S("Fax:"),
        S("E-mail:"),
        S("2. Informacje o kierowniku jednostki naukowej"),
        S("/ Nazwisko i imię; Stanowisko służbowe; Telefon służbowy; E-mail /"),
        S("- Żółkiewski Jan; dyrektor; 12 662 80 00;"),
        S("Inne ważne informacje"),
        S("Pierwszy wiersz."),
        S("Drugi wiersz ze znakami ąęś."),
        S("strona 1"),
    };
    EXPECT_EQ(*lines, expected) << lines->join(u'\n').toStdString();
}

TEST(ReportCli, WholeSurveyAndEmptySelection)
{
    FilledSurvey survey;
    const QString all = survey.temp.dir.filePath(QStringLiteral("cala.pdf"));
    ASSERT_EQ(runReport({survey.temp.path(), S("-o"), all}).status, 0);
    const QString none = survey.temp.dir.filePath(QStringLiteral("pusty.pdf"));
    ASSERT_EQ(runReport({survey.temp.path(), S("-o"), none, S("--entries=")}).status, 0);

    const auto whole = pdfLines(all);
    const auto empty = pdfLines(none);
    if (!whole || !empty)
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    EXPECT_EQ(*empty, (QStringList{S("Vestrum za rok 2008"), S("strona 1")}));

    // Every page has its header and its number; the sections come in order.
    const int pages = static_cast<int>(whole->count(S("<strona>"))) + 1;
    EXPECT_GT(pages, 3);
    EXPECT_EQ(whole->count(S("Vestrum za rok 2008")), pages);
    for (int page = 1; page <= pages; ++page)
        EXPECT_TRUE(whole->contains(S("strona %1").arg(page))) << page;
    const QString text = whole->join(u'\n');
    qsizetype at = 0;
    for (const char* heading : {"1. Informacje o jednostce naukowej", "8. Dane o publikacjach naukowych",
                                "15. Patenty i wdrożenia", "20. Laboratoria badawcze", "Wdrożone systemy jakości",
                                "Inne ważne informacje"}) {
        const qsizetype found = text.indexOf(S(heading), at);
        EXPECT_GT(found, at) << heading;
        at = std::max(at, found);
    }
}

TEST(ReportCli, RefusesWhatItCannotRead)
{
    vestrum::testing::TempSurvey temp;
    const QString pdf = temp.dir.filePath(QStringLiteral("raport.pdf"));
    const ReportRun missing = runReport({temp.dir.filePath(QStringLiteral("brak.naj")), S("-o"), pdf});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(missing.err.isEmpty());
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_EQ(runReport({temp.path()}).status, 2);
    EXPECT_EQ(runReport({temp.path(), S("-o"), pdf, S("--entries=40")}).status, 2);
}

// The report is in the font the program's settings name, or, where they name none, in the font the
// program falls back on; either way it reads back as typed, in Polish, as PDF/A-1b. An empty
// chooser part says so on the line under its sub-heading, which keeps them on one page.
TEST(ReportCli, TheReportIsInTheSettingsFontAndReadsBackAsTyped)
{
    FilledSurvey survey;
    const QString userSettings = survey.temp.dir.filePath(QStringLiteral("ankieta.ini"));
    {
        QFile ini(userSettings);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Dane]\r\nObiekt=\r\n[Font]\r\nName=DejaVu Sans\r\nSize=14\r\n");
    }
    const QString fallback = QFontInfo(QFont(S("Arial"))).family().remove(u' ');
    const std::pair<QString, QString> cases[] = {{userSettings, S("DejaVuSans")},
                                                 {survey.temp.dir.filePath(QStringLiteral("brak.ini")), fallback}};
    for (const auto& [settings, bodyFont] : cases) {
        SCOPED_TRACE(bodyFont.toStdString());
        const QString pdf = survey.temp.dir.filePath(bodyFont + QStringLiteral(".pdf"));
        const ReportRun run = runReport({survey.temp.path(), S("-o"), pdf, S("--entries=0,11,37")}, settings);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const auto lines = pdfLines(pdf);
        const auto fonts = vestrum::testing::pdfFonts(pdf);
        const auto read = vestrum::testing::readPdfObjects(pdf);
        if (!lines || !fonts || !read)
            GTEST_SKIP() << "poppler-utils or qpdf is not installed";

        QStringList names;
        for (const vestrum::testing::PdfFont& font : *fonts)
            names.append(font.name);
        EXPECT_EQ(names.filter(QRegularExpression(QStringLiteral("^") + bodyFont + QStringLiteral("(-|$)"))).size(), 4)
            << names.join(u' ').toStdString(); // regular, bold, italic and bold italic
        EXPECT_EQ(names.filter(QRegularExpression(QStringLiteral("Sans"))).size(), 4) << names.join(u' ').toStdString();

        const QString text = lines->join(u'\n');
        EXPECT_TRUE(vestrum::testing::ligaturesIn(text).isEmpty()) << text.toStdString();
        EXPECT_TRUE(text.contains(S("Polska Klasyfikacja Działalności:\nLiczba: 0\n"))) << text.toStdString();
        EXPECT_TRUE(text.contains(S("Dyscypliny naukowe:\nLiczba: 0\n"))) << text.toStdString();
        EXPECT_GE(text.count(S("monografii")), 4) << text.toStdString();
        EXPECT_TRUE(text.contains(S("afiliacją"))) << text.toStdString();

        EXPECT_EQ(vestrum::testing::pdfText(read->catalogue().value(S("/Lang"))), S("pl-PL"));
        const QMap<QString, QString> xmp =
            vestrum::testing::xmpProperties(read->streamData(read->catalogue().value(S("/Metadata"))));
        EXPECT_EQ(xmp.value(S("pdfaid:part")) + xmp.value(S("pdfaid:conformance")), S("1B"));
        EXPECT_EQ(xmp.value(S("dc:title")), S("Ankieta Instytut Fizyki Jądrowej za rok 2008"));
        EXPECT_EQ(vestrum::testing::pdfText(read->info().value(S("/Title"))), xmp.value(S("dc:title")));
    }
}
