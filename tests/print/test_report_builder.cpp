#include "print/report_builder.h"

#include "print/paged_document.h"
#include "print/report_document.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "storage/schema.h"
#include "survey/form_catalogue.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace vestrum;
using namespace vestrum::report;

namespace {

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

TickedEntries ticks(std::initializer_list<int> entries)
{
    TickedEntries t;
    for (int e : entries)
        SetEntry(t, e, true);
    return t;
}

// A source with fixed page values and lists of a given number of rows.
struct FakeSurvey {
    FieldValues values;
    std::map<int, std::vector<QStringList>> lists;

    ReportSource source()
    {
        ReportSource s;
        s.page = [this](int, int) { return values; };
        s.list = [this](int kind) {
            lists::ListGrid grid(lists::ListKindInfoOf(kind).headers());
            if (lists.count(kind))
                grid.setRows(lists[kind]);
            grid.sortBy(0);
            return grid;
        };
        return s;
    }
};

QString textOf(const TickedEntries& ticked, ReportSource source)
{
    return BuildReport(ticked, source, S("2008")).plainText();
}

} // namespace

TEST(ReportEntries, TheTableMatchesTheFormCatalogue)
{
    const auto& entries = ReportEntries();
    ASSERT_EQ(entries.size(), static_cast<size_t>(kEntryCount));
    EXPECT_EQ(PartsOf(0), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(PartsOf(11), (std::vector<int>{12, 13, 14, 15}));
    EXPECT_EQ(PartsOf(22), (std::vector<int>{23, 24, 25, 26}));
    EXPECT_EQ(PartsOf(31), (std::vector<int>{32, 33}));
    EXPECT_TRUE(PartsOf(5).empty());

    // Every entry that prints has a page of the kind its body needs.
    for (const ReportEntry& e : entries) {
        EXPECT_EQ(e.index, &e - entries.data());
        if (e.body == Body::Nothing)
            continue;
        const auto& section = form::FormCatalogue().at(static_cast<size_t>(e.sectionIndex));
        ASSERT_LT(static_cast<size_t>(e.pageIndex), section.pages.size()) << e.index;
        bool hasGrid = false, hasChosen = false, hasMultiLine = false;
        form::ForEachControl(section.pages[static_cast<size_t>(e.pageIndex)], [&](const form::Row&, const form::Control& c) {
            hasGrid = hasGrid || c.kind == form::ControlKind::Grid;
            hasChosen = hasChosen || c.kind == form::ControlKind::ChosenList;
            hasMultiLine = hasMultiLine || c.kind == form::ControlKind::MultiLine;
        });
        EXPECT_EQ(hasGrid, e.body == Body::Grid) << e.index;
        EXPECT_EQ(hasChosen, e.body == Body::ListBox) << e.index;
        if (e.body == Body::MultiLine) {
            EXPECT_TRUE(hasMultiLine) << e.index;
        }
    }
    // The entry texts are the selection window's, blanks and spelling included.
    EXPECT_EQ(entries[19].text, S("12. Udział w sieciach naukowych lub konsorcjach naukowo-przemysłoych"));
    EXPECT_EQ(entries[20].text, S("13. Konferencje naukowe "));
    EXPECT_EQ(entries[37].text, S("Inne ważne informacje"));
}

TEST(ReportEntries, TheVisiblePageTicksItsEntry)
{
    EXPECT_EQ(EntryOfVisiblePage(0, 0), -1); // the reporting year prints nothing
    const std::vector<std::tuple<int, int, int>> pages = {
        {0, 1, 1},  {0, 2, 2},  {0, 3, 3},  {0, 4, 4},  {1, 0, 5},  {2, 0, 6},  {6, 0, 10}, {7, 0, 12},
        {7, 1, 13}, {7, 2, 14}, {7, 3, 15}, {8, 0, 16}, {13, 0, 21}, {14, 0, 23}, {14, 1, 24}, {14, 2, 25},
        {14, 3, 26}, {15, 0, 27}, {18, 0, 30}, {19, 0, 32},
        {19, 1, 33}, {20, 0, 34}, {21, 0, 35}, {22, 0, 36}, {23, 0, 37}};
    for (const auto& [section, page, entry] : pages)
        EXPECT_EQ(EntryOfVisiblePage(section, page), entry) << section << "/" << page;
}

TEST(ReportEntries, ParentsTickTheirPartsAndTheEntryListIsChecked)
{
    TickedEntries t;
    SetEntry(t, 22, true);
    EXPECT_TRUE(t.test(23) && t.test(26) && !t.test(27));
    SetEntry(t, 22, false);
    EXPECT_TRUE(t.none());

    ASSERT_TRUE(ParseEntryList(S("0, 5,31"), t));
    EXPECT_EQ(t.count(), 1u + 4u + 1u + 1u + 2u);
    ASSERT_TRUE(ParseEntryList(S(""), t));
    EXPECT_TRUE(t.none());
    for (const char* bad : {"38", "-1", "a", "1,,2"})
        EXPECT_FALSE(ParseEntryList(S(bad), t)) << bad;
}

TEST(ReportBuilder, NothingTickedKeepsOnlyTheHeaderAndFooter)
{
    FakeSurvey survey;
    const ReportDocument document = BuildReport({}, survey.source(), S("2007"));
    EXPECT_TRUE(document.runs.empty());
    EXPECT_EQ(document.setup.headerText, S("Vestrum za rok 2007"));
    EXPECT_EQ(document.setup.footerText, S("strona &p"));
    EXPECT_EQ(document.setup.footerRulePercent, 70);
}

TEST(ReportBuilder, AddressPartWithStylesAndAPlaceholderChoice)
{
    FakeSurvey survey;
    survey.values.text = {{S("e011"), S("00-950")}, {S("e012"), S("Łódź")},
                          {S("c013"), S("- wybierz województwo -")}, {S("e018"), S("a@b.pl")}};
    const ReportDocument document = BuildReport(ticks({2}), survey.source(), S("2008"));
    EXPECT_EQ(document.plainText(),
              S("1. Informacje o jednostce naukowej\r\n\r\nDane adresowe:\r\n"
                "Kod pocztowy: 00-950\r\nMiejscowość: Łódź\r\nWojewództwo: \r\nUlica: \r\nNumer: \r\n"
                "Telefon: \r\nFax: \r\nE-mail: a@b.pl\r\n\r\n"));
    ASSERT_GE(document.runs.size(), 4u);
    EXPECT_EQ(document.runs[0], (report::Run{S("1. Informacje o jednostce naukowej\r\n\r\n"), RunStyle::Bold}));
    EXPECT_EQ(document.runs[1], (report::Run{S("Dane adresowe:\r\n"), RunStyle::BoldItalic}));
    EXPECT_EQ(document.runs[2], (report::Run{S("Kod pocztowy: "), RunStyle::Italic}));
    EXPECT_EQ(document.runs[3], (report::Run{S("00-950\r\n"), RunStyle::Regular}));
    EXPECT_EQ(document.runs.back(), (report::Run{S("\r\n"), RunStyle::BoldItalic}));
}

TEST(ReportBuilder, ListsPrintTheirCountAndRows)
{
    FakeSurvey survey;
    // Editors of monographs (page "Redaktorzy naczelni…"): the first list empty, the second with three rows.
    survey.lists[12] = {{S("Nowak"), S("Seria B"), S("PWN"), S("2008"), S("polski")},
                        {S("Adamski"), S("Seria A"), S("PWN"), S("2008"), S("polski")},
                        {S("Zając"), S("Seria C"), S("PWN"), S("2008"), S("polski")}};
    const QString text = textOf(ticks({14}), survey.source());
    const QString emptyList = S("Redaktorzy naczelni czasopism wymienionych w p. 8.1.a - 8.1.d będący pracownikami "
                                "jednostki: \r\nLiczba: 0\r\nWykaz: / ");
    EXPECT_TRUE(text.startsWith(S("8. Dane o publikacjach naukowych i monografiach\r\n\r\n") + emptyList)) << text.toStdString();
    EXPECT_TRUE(text.contains(S("\r\nLiczba: 3\r\nWykaz: / "))) << text.toStdString();
    EXPECT_EQ(text.count(S("\r\n - ")), 3);
    // Sorted as the editor shows it, the sort mark left out of the captions.
    EXPECT_LT(text.indexOf(S(" - Adamski; Seria A")), text.indexOf(S(" - Nowak; Seria B")));
    EXPECT_GT(text.indexOf(S(" - Adamski; Seria A")), 0);
    EXPECT_FALSE(text.contains(S("/ * ")));
}

TEST(ReportBuilder, DegreeRightsPrintTheirRowsNotTheirFieldsOfScience)
{
    FakeSurvey survey;
    survey.lists[1] = {{S("doktora"), S("nauk chemicznych; nauk fizycznych; matematyki")}};
    const QString text = textOf(ticks({10}), survey.source());
    EXPECT_TRUE(text.contains(S("Liczba: 1\r\n"))) << text.toStdString();
    EXPECT_FALSE(text.contains(S("Liczba: 3"))) << text.toStdString();
}

TEST(ReportBuilder, PartsPrintUnderTheirParentOnce)
{
    FakeSurvey survey;
    // The quality systems alone: their own sub-heading, not the heading of section 20.
    const QString quality = textOf(ticks({33}), survey.source());
    EXPECT_TRUE(quality.startsWith(S("Wdrożone systemy jakości\r\n"))) << quality.toStdString();
    EXPECT_FALSE(quality.contains(S("20. Laboratoria")));

    // The laboratories print under the parent's text.
    const QString labs = textOf(ticks({32}), survey.source());
    EXPECT_TRUE(labs.startsWith(S("20. Laboratoria badawcze posiadające akredytację polskiego centrum akredytacji\r\n"
                                  "/ Nazwa laboratorium; Profil działalności; Jednostka akredytująca; Liczba procedur; "
                                  "Zakres procedur /\r\n\r\n")))
        << labs.toStdString();

    // Section 15 writes its heading once and closes all its parts with a single line break.
    const QString patents = textOf(ticks({23, 26, 27}), survey.source());
    EXPECT_EQ(patents.count(S("15. Patenty i wdrożenia")), 1);
    const qsizetype awards = patents.indexOf(S("16. Nagrody i wyróżnienia"));
    ASSERT_GT(awards, 0);
    EXPECT_TRUE(patents.left(awards).endsWith(S("\r\n\r\n"))) << patents.left(awards).toStdString();
    EXPECT_FALSE(patents.left(awards).endsWith(S("\r\n\r\n\r\n"))) << patents.left(awards).toStdString();

    // Two parts of section 15 are the first one's text, then the second's without the heading, the section's
    // line break after the last.
    const QString heading = S("15. Patenty i wdrożenia\r\n\r\n");
    const QString first = textOf(ticks({23}), survey.source());
    const QString second = textOf(ticks({26}), survey.source());
    ASSERT_TRUE(first.startsWith(heading) && second.startsWith(heading)) << first.toStdString();
    EXPECT_EQ(textOf(ticks({23, 26}), survey.source()), first.chopped(2) + second.mid(heading.size()));
}

TEST(ReportBuilder, GridsAndMultiLineTexts)
{
    FakeSurvey survey;
    survey.values.grids[S("sg2")] = {{S("Kowalski Jan"), S("dyrektor"), S(""), S("jk@if.pl")}};
    survey.values.text[S("m251")] = S("Pierwsza linia\r\nDruga linia");
    const ReportDocument head = BuildReport(ticks({5, 37}), survey.source(), S("2008"));
    EXPECT_EQ(head.plainText(),
              S("2. Informacje o kierowniku jednostki naukowej \r\n"
                "/ Nazwisko i imię; Stanowisko służbowe; Telefon służbowy; E-mail /\r\n"
                " - Kowalski Jan; dyrektor; ; jk@if.pl\r\n\r\n"
                "Inne ważne informacje\r\nPierwsza linia\r\nDruga linia\r\n\r\n"));

    // An empty grid row stops after the captions.
    survey.values.grids[S("sg2")] = {{S(""), S(""), S(""), S("")}};
    const QString empty = textOf(ticks({5}), survey.source());
    EXPECT_FALSE(empty.contains(S(" - "))) << empty.toStdString();

    ReportSource progressSource = survey.source();
    std::vector<QString> labels;
    BuildReport(ticks({0, 37}), progressSource, S("2008"),
                [&labels](int step, int total, const QString& label) {
                    EXPECT_EQ(total, 6);
                    EXPECT_EQ(step, static_cast<int>(labels.size()) + 1);
                    labels.push_back(label);
                });
    ASSERT_EQ(labels.size(), 6u);
    EXPECT_EQ(labels[1], S("1. Informacje o jednostce naukowej")); // a part shows its parent
    EXPECT_EQ(labels[5], S("Inne ważne informacje"));
}

// The stored survey, read as the main window reads it.
TEST(ReportBuilder, StoredSurveyGivesTheExpectedText)
{
    vestrum::testing::TempSurvey temp;
    vestrum::testing::ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 1), QTime(12, 0))};
    Program program{messages, clock};
    program.survey.open(temp.path(), schema::databasePassword());
    auto& db = program.survey;
    db.execute(S("insert into dane_podstawowe (nazwa, Akronim, Regon, Kod_pocztowy, Miasto, Wojewodztwo) "
                 "values ('Instytut Fizyki', 'IF', '012345678', '00-950', 'Kraków', 'małopolskie')"));
    db.execute(S("insert into dane_kierownictwo (Nazwisko, Stanowisko) values ('Nowak Anna', 'dyrektor')"));
    db.execute(S("insert into dane_szczegolowe (Rok_sprawozdawczy) values ('2008')"));
    lists::ListGrid editors(lists::ListKindInfoOf(12).headers());
    editors.setRows({{S("Wiśniewski Piotr"), S("Seria Fizyka"), S("PWN"), S("2008"), S("polski")}});
    lists::SaveList(db, 12, editors);

    const ReportDocument built = BuildReport(ticks({1, 5, 14}), StoredSurvey(program), S("2008"));
    EXPECT_EQ(built.unitName, S("Instytut Fizyki")); // the PDF's author
    const QString text = built.plainText();
    const QString expected = S(
        "1. Informacje o jednostce naukowej\r\n\r\n"
        "Dane podstawowe:\r\n"
        "Pełna nazwa jednostki: Instytut Fizyki\r\n"
        "Nazwa skrócona: IF\r\n"
        "REGON: 012345678\r\n"
        "Data założenia (dd/mm/rrrr): \r\n"
        "Rodzaj jednostki: \r\n"
        "Kategoria jednostki: \r\n"
        "Nazwa jednostki nadrzędnej (jeżeli dotyczy): \r\n"
        "REGON jednostki nadrzędnej  (jeżeli dotyczy): \r\n"
        "Organ sprawujący nadzór nad jednostką (jeżeli dotyczy): \r\n"
        "\r\n"
        "2. Informacje o kierowniku jednostki naukowej \r\n");
    EXPECT_TRUE(text.startsWith(expected)) << text.toStdString();
    EXPECT_TRUE(text.contains(S(" - Nowak Anna; dyrektor"))) << text.toStdString();
    EXPECT_TRUE(text.contains(S("Liczba: 1\r\nWykaz: / "))) << text.toStdString();
    EXPECT_TRUE(text.contains(S(" - Wiśniewski Piotr; Seria Fizyka; PWN; 2008; polski\r\n"))) << text.toStdString();
}

namespace {

// A4 as the PDF writer lays the report out.
struct A4Page {
    QTemporaryDir dir;
    QPdfWriter writer{dir.filePath(QStringLiteral("uklad.pdf"))};
    A4Page()
    {
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    }
};

std::optional<QByteArray> toolOutput(const QString& name, const QStringList& arguments)
{
    const QString tool = QStandardPaths::findExecutable(name);
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, arguments);
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

} // namespace

TEST(ReportDocument, HeadingsStayWithTheirTextAndEntriesOpenBookmarks)
{
    FakeSurvey survey;
    survey.values.text[S("e001")] = S("  Instytut Łączności ");
    const ReportDocument built = BuildReport(ticks({2, 5, 33}), survey.source(), S("2008"));
    const auto document = ReportTextDocument(built, QFont(S("Liberation Sans")));
    EXPECT_EQ(document->toPlainText(), built.plainText().replace(S("\r\n"), S("\n"))); // the marks add no text

    QStringList kept;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        if (block.blockFormat().boolProperty(KeepWithNextProperty))
            kept.append(block.text());
    EXPECT_EQ(kept, QStringList({S("1. Informacje o jednostce naukowej"), QString(), S("Dane adresowe:"),
                                 S("2. Informacje o kierowniku jednostki naukowej "), S("Wdrożone systemy jakości")}));

    A4Page page;
    const PagedDocument pages(*document, ReportPageLayout(built.setup), page.writer);
    EXPECT_EQ(pages.outline(),
              (std::vector<OutlineItem>{{S("1. Informacje o jednostce naukowej"), 0, 1},
                                        {S("- dane adresowe"), 1, 1},
                                        {S("2. Informacje o kierowniku jednostki naukowej"), 0, 1},
                                        {S("20. Laboratoria badawcze posiadające akredytację polskiego centrum "
                                           "akredytacji"),
                                         0, 1},
                                        {S("- wdrożone systemy jakości"), 1, 1}}));

    const PdfInfo named = pdfInfo(*document);
    EXPECT_EQ(named.title, S("Ankieta Instytut Łączności za rok 2008"));
    EXPECT_EQ(named.author, S("Instytut Łączności"));
    EXPECT_EQ(named.subject, S("Ankieta jednostki naukowej za rok 2008"));
    survey.values.text[S("e001")] = S("   ");
    const PdfInfo nameless = ReportPdfInfo(BuildReport(ticks({5}), survey.source(), S("2007")));
    EXPECT_EQ(nameless.title, S("Ankieta za rok 2007"));
    EXPECT_TRUE(nameless.author.isEmpty());
}

TEST(ReportDocument, TheWholeSurveyAsPdfHasABookmarkPerEntryOnItsPage)
{
    FakeSurvey survey;
    survey.values.text[S("e001")] = S("Instytut Łączności");
    for (int row = 0; row < 200; ++row) // a list long enough to spread the report over several pages
        survey.lists[12].push_back({S("Wiersz %1 pierwszej kolumny").arg(row, 3, 10, QLatin1Char('0')),
                                   S("druga"), S("trzecia"), S("2008"), S("polski")});
    const ReportDocument built = BuildReport(TickedEntries().set(), survey.source(), S("2008"));
    const auto document = ReportTextDocument(built, QFont(S("Liberation Sans")));
    QTemporaryDir dir;
    const QString path = dir.filePath(S("ankieta.pdf"));
    const int pageCount = writePdf(*document, ReportPageLayout(built.setup), path);
    ASSERT_GE(pageCount, 4);

    const auto info = toolOutput(S("pdfinfo"), {path});
    const auto json = toolOutput(S("qpdf"), {S("--json"), S("--json-key=outlines"), path});
    if (!info || !json)
        GTEST_SKIP() << "pdfinfo or qpdf is not installed";
    EXPECT_TRUE(QString::fromUtf8(*info).contains(QRegularExpression(S("Title: +Ankieta Instytut Łączności za rok 2008\n"))));
    EXPECT_TRUE(QString::fromUtf8(*info).contains(QRegularExpression(S("Author: +Instytut Łączności\n"))));

    const QJsonArray outlines = QJsonDocument::fromJson(*json).object().value(S("outlines")).toArray();
    int count = 0;
    int lastPage = 1;
    // Top-level bookmarks in order, each on the page where its text (or its first part) starts.
    for (const QJsonValue& item : outlines) {
        const QString title = item[S("title")].toString();
        const int target = item[S("destpageposfrom1")].toInt();
        EXPECT_GE(target, lastPage) << title.toStdString();
        const QJsonArray parts = item[S("kids")].toArray();
        if (!parts.isEmpty()) {
            EXPECT_EQ(target, parts[0][S("destpageposfrom1")].toInt()) << title.toStdString();
        }
        count += 1 + int(parts.size());
        lastPage = target;
        const auto pageText = toolOutput(S("pdftotext"), {S("-f"), QString::number(target), S("-l"), QString::number(target),
                                                           S("-enc"), S("UTF-8"), path, S("-")});
        if (pageText && parts.isEmpty()) {
            EXPECT_TRUE(QString::fromUtf8(*pageText).contains(title.left(20))) << title.toStdString() << " p. " << target;
        }
    }
    EXPECT_EQ(outlines.size(), kEntryCount - 14); // the 14 parts hang from their 4 parents
    EXPECT_EQ(count, kEntryCount);
    EXPECT_LE(lastPage, pageCount);
}

// A chooser part without codes says so as an empty list does, on the line its sub-heading stays
// with: wherever the part falls, the sub-heading never ends a page alone.
TEST(ReportBuilder, AnEmptyChooserPartSaysItUnderItsSubHeadingOnTheSamePage)
{
    FakeSurvey survey;
    survey.values.lines[S("lb022")] = {S("11.1 fizyka"), S("13.2 chemia")};
    const ReportDocument chosen = BuildReport(ticks({3, 4}), survey.source(), S("2008"));
    EXPECT_TRUE(chosen.plainText().endsWith(S("Dyscypliny naukowe:\r\n11.1 fizyka, 13.2 chemia\r\n\r\n"
                                              "Polska Klasyfikacja Działalności:\r\nLiczba: 0\r\n\r\n")))
        << chosen.plainText().toStdString();
    const auto emptyCount = std::find(chosen.runs.begin(), chosen.runs.end(), report::Run{S("Liczba: "), RunStyle::Italic});
    ASSERT_NE(emptyCount, chosen.runs.end());
    EXPECT_EQ(*std::next(emptyCount), (report::Run{S("0\r\n"), RunStyle::Regular}));

    A4Page page;
    bool reachedSecondPage = false;
    for (int codes = 0; codes < 80 && !reachedSecondPage; ++codes) {
        survey.values.lines[S("lb022")].append(S("%1.1 dyscyplina").arg(codes + 20));
        ReportDocument built = BuildReport(ticks({3, 4}), survey.source(), S("2008"));
        built.setup.bodyPointSize = 28;
        const auto document = ReportTextDocument(built, QFont(S("Liberation Sans")));
        const PagedDocument pages(*document, ReportPageLayout(built.setup), page.writer);
        const QTextBlock subHeading = document->find(S("Polska Klasyfikacja Działalności:")).block();
        ASSERT_TRUE(subHeading.isValid());
        EXPECT_EQ(subHeading.next().text(), S("Liczba: 0"));
        EXPECT_EQ(pages.pageOfPosition(subHeading.position()), pages.pageOfPosition(subHeading.next().position()))
            << codes << " codes";
        reachedSecondPage = pages.pageOfPosition(subHeading.position()) > 1;
    }
    EXPECT_TRUE(reachedSecondPage);
}
