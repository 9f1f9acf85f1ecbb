// One fitting rule for every window: opened on a small screen (1024x600) and on a big one
// (1600x1000), each window lies whole within the screen's available area, its commands included;
// what does not fit scrolls inside it. Each screen size is a run of this program of its own, on
// the offscreen platform configured with that screen.
#include "base/clock.h"
#include "gui/common/file_picker.h"
#include "gui/common/long_text_window.h"
#include "gui/common/message_box.h"
#include "gui/common/progress_window.h"
#include "gui/files/journal_list_import_window.h"
#include "gui/files/merge_window.h"
#include "gui/import/bibliography_import_window.h"
#include "gui/import/text_import_window.h"
#include "gui/lists/duplicate_choice_window.h"
#include "gui/lists/journal_search_window.h"
#include "gui/lists/list_editor.h"
#include "gui/lists/unmatched_journals_window.h"
#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "gui/print/print_progress_window.h"
#include "gui/print/print_range_window.h"
#include "gui/print/report_window.h"
#include "gui/update/proxy_window.h"
#include "lists/list_catalogue.h"
#include "support/temp_survey.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vestrum;

namespace {

constexpr char kScreenVariable[] = "VESTRUM_FIT_SCREEN";

QString rectText(const QRect& r)
{
    return QStringLiteral("%1x%2 at %3,%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
}

bool insideScrollArea(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(p))
            return true;
    return false;
}

// With VESTRUM_SHOTS set to a folder and a window manager on the X display, the screen is
// photographed with each window, for a look by eye (one list kind stands for all).
void photograph(QWidget* window, const QString& what)
{
    const QString folder = qEnvironmentVariable("VESTRUM_SHOTS");
    if (folder.isEmpty() || (what.contains(QStringLiteral("list kind")) && !what.endsWith(QStringLiteral("kind 3"))))
        return;
    QTest::qWait(700); // framed and painted
    QString name = qEnvironmentVariable(kScreenVariable) + u'_' + what;
    name.replace(QRegularExpression(QStringLiteral("[^\\w]+")), QStringLiteral("_"));
    QProcess::execute(QStringLiteral("bash"), {QStringLiteral(VESTRUM_FIXTURES "/../../scripts/screenshot.sh"),
                                              folder + u'/' + name + QStringLiteral(".png")});
    // The window's own picture as well: some X servers leave a dialog's inside black.
    window->grab().save(folder + u'/' + name + QStringLiteral("_inside.png"));
}

// The window and every command it shows outside a scrolled area lie within the available screen.
void expectFits(QWidget* window, const QString& what)
{
    QTest::qWait(20);
    photograph(window, what);
    const QRect area = window->screen()->availableGeometry();
    const QRect frame = window->frameGeometry();
    EXPECT_TRUE(area.contains(frame)) << what.toStdString() << ": the window " << rectText(frame).toStdString()
                                      << " is not within the screen's " << rectText(area).toStdString();
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->window() != window || insideScrollArea(button))
            continue;
        const QRect bounds(button->mapToGlobal(QPoint(0, 0)), button->size());
        EXPECT_TRUE(area.contains(bounds)) << what.toStdString() << ": the command «" << button->text().toStdString()
                                           << "» at " << rectText(bounds).toStdString() << " is off the screen";
    }
}

// Checks the modal window `open` shows, runs `inside` in it, and closes it; false when none opened.
bool checkModal(const QString& what, const std::function<void()>& open, const std::function<void(QWidget&)>& inside = {})
{
    QWidget* before = QApplication::activeModalWidget();
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (seen || !modal || modal == before || !modal->isVisible())
            return;
        seen = true;
        poll.stop();
        expectFits(modal, what);
        if (inside)
            inside(*modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    poll.start();
    open();
    EXPECT_TRUE(seen) << what.toStdString() << " did not open";
    return seen;
}

void checkShown(QWidget* window, const QString& what)
{
    window->show();
    expectFits(window, what);
    window->hide();
}

QString S(const char* text) { return QString::fromUtf8(text); }

} // namespace

TEST(WindowFit, EveryWindowFitsASmallAndABigScreen)
{
    for (const auto& [width, height] : {std::pair{1024, 600}, std::pair{1600, 1000}}) {
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("screen.json"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1, "height": %2,
                                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                       .arg(width)
                       .arg(height)
                       .toUtf8());
        file.close();
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
        environment.insert(QString::fromLatin1(kScreenVariable), QStringLiteral("%1x%2").arg(width).arg(height));
        run.setProcessEnvironment(environment);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=WindowFitOnOneScreen.*")});
        ASSERT_TRUE(run.waitForFinished(280000)) << width << "x" << height << " did not finish";
        const QString output = QString::fromLocal8Bit(run.readAll());
        EXPECT_EQ(run.exitCode(), 0) << width << "x" << height << ":\n" << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    }
}

TEST(WindowFitOnOneScreen, EveryWindowOfTheProgram)
{
    if (qEnvironmentVariableIsEmpty(kScreenVariable))
        GTEST_SKIP() << "run by WindowFit.EveryWindowFitsASmallAndABigScreen on a screen of a given size";
    const QStringList size = qEnvironmentVariable(kScreenVariable).split(u'x');
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().size(), QSize(size.value(0).toInt(), size.value(1).toInt()));

    QTemporaryDir folder;
    vestrum::testing::ScriptedMessages messages;
    SystemClock clock;
    Program program{messages, clock};
    MainWindow window{program};
    ProgramWindows windows{program, window};
    ASSERT_TRUE(window.startUp({}, folder.path()));
    QTest::qWait(100);
    expectFits(&window, S("Vestrum"));

    auto menu = [&](const char* caption, const std::function<void(QWidget&)>& inside = {}) {
        checkModal(S(caption), [&] { window.menuAction(S(caption))->trigger(); }, inside);
    };
    menu("Wczytaj dane");
    menu("Zapisz dane jako ...");
    menu("Łączenie danych", [](QWidget& shown) {
        auto* merge = dynamic_cast<MergeWindow*>(&shown);
        ASSERT_NE(merge, nullptr);
        merge->dalej();
        expectFits(merge, S("Łączenie danych, wybór zbioru"));
    });
    window.menuAction(S("Utwórz punkt przywracania danych"))->trigger();
    menu("Przywróć wcześniej zapisane dane");
    menu("Czcionka");
    menu("O programie");
    menu("Wybraną część ankiety");
    menu("Całą ankietę", [](QWidget& shown) {
        auto* report = qobject_cast<ReportWindow*>(&shown);
        ASSERT_NE(report, nullptr);
        checkModal(S("Podgląd wydruku"), [report] { report->preview(); });
    });
    for (const char* caption : {"Pomoc do programu", "Sprawdź ankietę"}) {
        window.menuAction(S(caption))->trigger();
        QTest::qWait(50);
        QWidget* shown = QApplication::activeWindow();
        ASSERT_NE(shown, nullptr);
        expectFits(shown, S(caption));
        shown->close();
    }

    for (int kind = 0; kind < lists::ListKindCount; ++kind) {
        const QString where = QStringLiteral("list kind %1").arg(kind);
        checkModal(S("Wykazy, ") + where, [&] { windows.OpenListEditor(kind); }, [&](QWidget&) {
            checkModal(S("Dane szczegółowe, ") + where, [&] { windows.listEditor().addEntry(); });
        });
    }
    TextImportWindow& import = windows.textImport();
    for (auto page : {TextImportWindow::InstructionsPage, TextImportWindow::StructurePage,
                      TextImportWindow::PreviewPage, TextImportWindow::ErrorsPage}) {
        import.prepare(3);
        import.showPage(page);
        checkShown(&import, QStringLiteral("Import wykazu, page %1").arg(int(page) + 1));
    }
    checkModal(S("Lista czasopism"), [&] { windows.journalSearch().chooseForEntry(QString(), S("Acta"), 4); });
    lists::ListGrid grid({S("Czasopismo"), S("Tytuł"), S("Autor (Autorzy)"), S("Rok, nr, str."),
                          S("Czasopismo z listy MNiSW."), S("L.punktów")});
    grid.setRows({{S("Nieznane czasopismo"), S("t"), S("a"), S("2009"), QString(), S("0")}});
    UnmatchedJournalsWindow& unmatched = windows.unmatchedJournals();
    ASSERT_TRUE(unmatched.prepare(grid, 4, windows.journalList().sharedMatcher()));
    checkShown(&unmatched, S("Nieprzypisane czasopisma"));

    PrintRangeWindow range(&window);
    range.prepare(12);
    checkShown(&range, S("Zakres drukowania"));
    ProxyWindow proxy(&window);
    checkShown(&proxy, S("Ustawienia serwera proxy"));
    PrintProgressWindow printing(&window);
    printing.start(S("Generowanie podglądu wydruku"));
    expectFits(&printing, S("Generowanie podglądu wydruku"));
    printing.hide();
    ProgressWindow& progress = window.progress();
    progress.start(S("Wczytywanie danych"), S("Sekcja 1"), 10, window.font());
    expectFits(&progress, S("Wczytywanie danych"));
    progress.finish();
    FilePicker picker(program, &window);
    checkShown(&picker, S("Wskaż zbiór"));
    LongTextWindow longText(program.state, &window);
    longText.setHeading(S("Tytuł"));
    longText.setText(QString(4000, u'x'));
    checkShown(&longText, S("Edycja"));

    // The windows of the journal list's renewal, the bibliography import and its probable duplicates, with
    // what they show filled in.
    QFile ministryFile(folder.filePath(QStringLiteral("wykaz.csv")));
    ASSERT_TRUE(ministryFile.open(QIODevice::WriteOnly));
    ministryFile.write("Wykaz czasopism naukowych\n,,,,,,,,archeologia\nLp.,Tytu\xc5\x82 1,issn,e-issn,Tytu\xc5\x82 2,"
                       "issn,e-issn,Punkty,101\n1,Acta Archaeologica Lodziensia,0065-0986,,,,,20,x\n"
                       "2,Nowe Czasopismo Łódzkie,,,,,,40,x\n3,,,,,,,,\n");
    ministryFile.close();
    JournalListImportWindow newEdition(program, &window);
    ASSERT_TRUE(newEdition.showChangesOf(ministryFile.fileName()));
    checkShown(&newEdition, S("Nowy wykaz czasopism"));
    QFile bibliography(folder.filePath(QStringLiteral("prace.bib")));
    ASSERT_TRUE(bibliography.open(QIODevice::WriteOnly));
    bibliography.write("@article{a, journal={Acta Physica Polonica A}, title={O pomiarach {\\l}\\k{a}cznych}, "
                       "author={Kowalski, Jan and Nowak, Anna Maria}, year={2019}, volume={135}, pages={1--10}}\n"
                       "@misc{m, title={Notatka}}\n");
    bibliography.close();
    BibliographyImportWindow bibImport(program, windows.journalList(), &window);
    ASSERT_TRUE(bibImport.prepare(3, bibliography.fileName()));
    checkShown(&bibImport, S("Import z bibliografii"));
    DuplicateChoiceWindow duplicates(program, &window);
    const std::vector<lists::ProbableDuplicate> found{
        {{3, 0}, {5, 2}, 0, S("O pomiarach łącznych w spektroskopii cząstek o bardzo długiej nazwie"), S("2019")},
        {{3, 1}, {3, 0}, 1, S("Krótki tytuł"), S("2020")}};
    checkModal(S("Możliwe duplikaty publikacji"), [&] { (void)duplicates.choose(found); });

    MessageBox box(&window);
    checkModal(S("Vestrum (komunikat)"), [&] {
        box.present({QString(30, u'x') + QStringLiteral("\n\n") + QStringLiteral("Długi komunikat. ").repeated(60),
                     MessageKind::Information, 1, MbYes | MbNo});
    });
    window.closeWithoutQuestions();
}
