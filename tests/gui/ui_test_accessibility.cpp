// Every window of the program, opened as a user opens it, audited for a keyboard and screen-reader
// user: each control that can take the focus has a name a screen reader can say (its label's text,
// without the "&" of a mnemonic), and Tab, pressed from the window's first focus, reaches it.
#include "base/clock.h"
#include "gui/common/accessible_names.h"
#include "gui/common/file_picker.h"
#include "gui/common/keyboard_rules.h"
#include "gui/common/long_text_window.h"
#include "gui/common/message_box.h"
#include "gui/common/progress_window.h"
#include "gui/files/merge_window.h"
#include "gui/import/text_import_window.h"
#include "gui/lists/journal_search_window.h"
#include "gui/lists/list_editor.h"
#include "gui/lists/unmatched_journals_window.h"
#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "gui/main/section_page.h"
#include "gui/print/print_progress_window.h"
#include "gui/print/print_range_window.h"
#include "gui/print/report_window.h"
#include "gui/update/proxy_window.h"
#include "lists/list_catalogue.h"
#include "survey/form_catalogue.h"
#include "support/temp_survey.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

using namespace vestrum;

namespace {

// The text of the label placed before the control in its panel, to find the control by in a failure.
QString labelBefore(const QWidget* control)
{
    const QWidget* parent = control->parentWidget();
    QString text;
    if (!parent)
        return text;
    for (const QObject* child : parent->children()) {
        if (child == control)
            break;
        if (const auto* label = qobject_cast<const QLabel*>(child); label && !label->text().isEmpty())
            text = label->text();
    }
    return text.simplified().left(70);
}

QString describe(const QWidget* control)
{
    QString text = QString::fromLatin1(control->metaObject()->className());
    if (!control->objectName().isEmpty())
        text += QStringLiteral(" \"%1\"").arg(control->objectName());
    if (const auto* button = qobject_cast<const QAbstractButton*>(control); button && !button->text().isEmpty())
        text += QStringLiteral(" «%1»").arg(button->text());
    if (const QString label = labelBefore(control); !label.isEmpty())
        text += QStringLiteral(" beside «%1»").arg(label);
    return text;
}

// What a user can reach: shown, enabled and taking the focus itself (not handing it to another).
bool takesFocus(const QWidget* w, const QWidget* window)
{
    return w->window() == window && w->isVisible() && w->isEnabled() && w->focusPolicy() != Qt::NoFocus
        && w->focusProxy() == nullptr;
}

// A button that takes no focus at all, so Tab never stops at it. The scroll arrows of a tab row and
// the menu bar's own are left out: the arrow keys and F10 do their work.
bool isMouseOnlyCommand(const QWidget* w, const QWidget* window)
{
    const QWidget* parent = w->parentWidget();
    return qobject_cast<const QAbstractButton*>(w) && w->window() == window && w->isVisible() && w->isEnabled()
        && w->focusPolicy() == Qt::NoFocus && !qobject_cast<const QTabBar*>(parent)
        && !qobject_cast<const QMenuBar*>(parent);
}

QString accessibleName(QWidget* w)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    return face ? face->text(QAccessible::Name) : QString();
}

// A name that is just the value the control holds ("- wybierz rodzaj -" for "Rodzaj jednostki")
// tells a listener nothing of what the control is for.
bool namedByItsValue(QWidget* w)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    // Only controls that hold a value a user sets; lists and tables say their name as their value.
    static const QList<QAccessible::Role> holdingAValue = {QAccessible::ComboBox, QAccessible::EditableText,
                                                           QAccessible::SpinBox, QAccessible::Slider};
    if (!face || !holdingAValue.contains(face->role()))
        return false;
    const QString value = face->text(QAccessible::Value).simplified();
    return !value.isEmpty() && face->text(QAccessible::Name).simplified() == value;
}

// Presses Tab on whatever holds the focus, as a user does, and gathers where the focus went.
QSet<QWidget*> tabVisits(QWidget* window, int presses)
{
    QSet<QWidget*> visited;
    if (QWidget* first = QApplication::focusWidget(); first && first->window() == window)
        visited.insert(first);
    for (int i = 0; i < presses; ++i) {
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused && focused->window() == window ? focused : window, Qt::Key_Tab);
        if (QWidget* now = QApplication::focusWidget())
            visited.insert(now);
    }
    return visited;
}

// Tab stops at one button of an exclusive group (the checked one) and the arrows move within it,
// as on every desktop: the group is reached when one of its buttons is.
QList<QWidget*> tabGroupOf(QWidget* w)
{
    auto* radio = qobject_cast<QRadioButton*>(w);
    if (!radio)
        return {w};
    QList<QWidget*> members;
    if (QButtonGroup* group = radio->group(); group && group->exclusive()) {
        for (QAbstractButton* b : group->buttons())
            members << b;
    } else if (radio->autoExclusive() && radio->parentWidget()) {
        for (QRadioButton* b : radio->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
            if (b->autoExclusive())
                members << b;
    }
    return members.isEmpty() ? QList<QWidget*>{w} : members;
}

bool reachedByTab(QWidget* w, const QSet<QWidget*>& reached)
{
    const QList<QWidget*> group = tabGroupOf(w);
    return std::any_of(group.begin(), group.end(), [&](QWidget* member) { return reached.contains(member); });
}

// The faults of everything the window shows now.
struct Audit {
    QStringList faults;
    QMap<QString, int> perWindow; // faults by window, for the summary

    void check(QWidget* window, const QString& where)
    {
        window->activateWindow();
        QApplication::setActiveWindow(window);
        (void)QTest::qWaitForWindowActive(window, 2000);
        std::vector<QWidget*> stops;
        for (QWidget* w : window->findChildren<QWidget*>())
            if (takesFocus(w, window))
                stops.push_back(w);
        int count = 0;
        for (QWidget* w : window->findChildren<QWidget*>())
            if (isMouseOnlyCommand(w, window)) {
                faults << QStringLiteral("%1: %2 is a command only the mouse can reach").arg(where, describe(w));
                ++count;
            }
        for (QWidget* w : stops) {
            const QString name = accessibleName(w);
            if (name.trimmed().isEmpty() || name.contains(u'&')) {
                faults << QStringLiteral("%1: %2 has no name a screen reader can say (\"%3\")")
                              .arg(where, describe(w), name);
                ++count;
            } else if (namedByItsValue(w)) {
                faults << QStringLiteral("%1: %2 is named only by its value (\"%3\"), not by what it is for")
                              .arg(where, describe(w), name);
                ++count;
            }
        }
        const QSet<QWidget*> reached = tabVisits(window, int(stops.size()) * 2 + 10);
        for (QWidget* w : stops)
            if (!reachedByTab(w, reached)) {
                faults << QStringLiteral("%1: Tab never reaches %2").arg(where, describe(w));
                ++count;
            }
        if (count > 0)
            perWindow[where] += count;
    }

    void report() const
    {
        for (auto it = perWindow.begin(); it != perWindow.end(); ++it)
            std::cout << "  " << it.value() << " faults in " << it.key().toStdString() << '\n';
        for (const QString& fault : faults)
            ADD_FAILURE() << fault.toStdString();
    }
};

// Runs `inside` on the modal window `open` shows, then closes it; false when no window opened.
bool whileOpen(const std::function<void()>& open, const std::function<void(QWidget&)>& inside)
{
    QWidget* before = QApplication::activeModalWidget();
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (seen || !modal || modal == before)
            return;
        seen = true;
        poll.stop();
        QTest::qWait(50);
        inside(*modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    poll.start();
    open();
    return seen;
}

// The whole program as main() builds it, started on a fresh data folder.
struct AccessibleWindows : ::testing::Test {
    QTemporaryDir folder;
    vestrum::testing::ScriptedMessages messages;
    SystemClock clock;
    Program program{messages, clock};
    MainWindow window{program};
    ProgramWindows windows{program, window};
    Audit audit;

    void SetUp() override
    {
        ASSERT_TRUE(window.startUp({}, folder.path()));
        QTest::qWait(100);
    }
    void TearDown() override
    {
        audit.report();
        window.closeWithoutQuestions();
    }

    void auditModal(const QString& caption, const std::function<void()>& open,
                    const std::function<void(QWidget&)>& inside = {})
    {
        const bool opened = whileOpen(open, [&](QWidget& shown) {
            audit.check(&shown, caption);
            if (inside)
                inside(shown);
        });
        EXPECT_TRUE(opened) << caption.toStdString() << " did not open";
    }
    void auditMenu(const QString& caption, const std::function<void(QWidget&)>& inside = {})
    {
        auditModal(caption, [&] { window.menuAction(caption)->trigger(); }, inside);
    }
};

QString S(const char* text) { return QString::fromUtf8(text); }

} // namespace

TEST_F(AccessibleWindows, EverySectionPageInViewAndEditMode)
{
    const auto& sections = form::FormCatalogue();
    for (int i = 0; i < int(sections.size()); ++i)
        for (int j = 0; j < int(sections[size_t(i)].pages.size()); ++j) {
            window.chooseSection(i);
            if (sections[size_t(i)].hasSubPages())
                window.chooseSubPage(i, j);
            SectionPageWidget* page = window.page(i, j);
            ASSERT_NE(page, nullptr);
            const QString where = QStringLiteral("section %1 page %2").arg(sections[size_t(i)].number).arg(j + 1);
            audit.check(&window, where);
            if (page->editButton() && page->editButton()->isVisible() && page->page().kind != form::PageKind::Grid) {
                window.EnterEditMode(page);
                audit.check(&window, where + QStringLiteral(" in edit mode"));
                messages.answer(MessageAnswer::No);
                window.DiscardPage(page);
            }
        }
}

TEST_F(AccessibleWindows, ListEditorAndEntryDialogOfEveryKind)
{
    for (int kind = 0; kind < lists::ListKindCount; ++kind) {
        const QString where = QStringLiteral("list kind %1").arg(kind);
        auditModal(QStringLiteral("list editor, ") + where, [&] { windows.OpenListEditor(kind); }, [&](QWidget&) {
            auditModal(QStringLiteral("entry dialog, ") + where, [&] { windows.listEditor().addEntry(); });
        });
    }
}

TEST_F(AccessibleWindows, ListToolWindows)
{
    TextImportWindow* import = &windows.textImport();
    ASSERT_NE(import, nullptr);
    for (auto page : {TextImportWindow::InstructionsPage, TextImportWindow::StructurePage,
                      TextImportWindow::PreviewPage, TextImportWindow::ErrorsPage}) {
        import->prepare(3);
        import->showPage(page);
        import->show();
        audit.check(import, QStringLiteral("text import, page %1").arg(int(page) + 1));
        import->hide();
    }

    auditModal(QStringLiteral("journal search"),
               [&] { windows.journalSearch().chooseForEntry(QString(), S("Acta"), 4); });

    lists::ListGrid grid({S("Czasopismo"), S("Tytuł"), S("Autor (Autorzy)"), S("Rok, nr, str."),
                          S("Czasopismo z listy MNiSW."), S("L.punktów")});
    grid.setRows({{S("Nieznane czasopismo"), S("t"), S("a"), S("2009"), QString(), S("0")}});
    UnmatchedJournalsWindow& unmatched = windows.unmatchedJournals();
    ASSERT_TRUE(unmatched.prepare(grid, 4, windows.journalList().sharedMatcher()));
    unmatched.show();
    audit.check(&unmatched, QStringLiteral("unmatched journals"));
    unmatched.hide();
}

TEST_F(AccessibleWindows, MenuWindows)
{
    auditMenu(S("Wczytaj dane"));
    auditMenu(S("Zapisz dane jako ..."));
    auditMenu(S("Łączenie danych"), [&](QWidget& shown) {
        auto* merge = dynamic_cast<MergeWindow*>(&shown);
        ASSERT_NE(merge, nullptr);
        merge->dalej();
        audit.check(merge, S("Łączenie danych, page 2"));
    });
    window.menuAction(S("Utwórz punkt przywracania danych"))->trigger();
    auditMenu(S("Przywróć wcześniej zapisane dane"));
    auditMenu(S("Czcionka"));
    auditMenu(S("O programie"));

    window.menuAction(S("Pomoc do programu"))->trigger();
    QTest::qWait(100);
    QWidget* help = QApplication::activeWindow();
    ASSERT_NE(help, nullptr);
    audit.check(help, S("Pomoc do programu"));
    help->close();

    window.menuAction(S("Sprawdź ankietę"))->trigger();
    QTest::qWait(100);
    QWidget* check = QApplication::activeWindow();
    ASSERT_NE(check, nullptr);
    audit.check(check, S("Sprawdź ankietę"));
    check->close();
}

TEST_F(AccessibleWindows, PrintWindows)
{
    auditMenu(S("Wybraną część ankiety"));
    auditMenu(S("Całą ankietę"), [&](QWidget& shown) {
        auto* report = qobject_cast<ReportWindow*>(&shown);
        ASSERT_NE(report, nullptr);
        auditModal(S("Podgląd wydruku"), [report] { report->preview(); });
    });
    PrintRangeWindow range(&window);
    range.prepare(12);
    range.show();
    audit.check(&range, S("Zakres drukowania"));
}

TEST_F(AccessibleWindows, SmallWindows)
{
    ProxyWindow proxy(&window);
    proxy.show();
    audit.check(&proxy, S("Ustawienia serwera proxy"));
    proxy.hide();

    ProgressWindow& progress = window.progress();
    progress.start(S("Wczytywanie danych"), S("Sekcja 1"), 10, window.font());
    audit.check(&progress, S("progress"));
    progress.finish();

    PrintProgressWindow printing(&window);
    printing.start(S("Generowanie podglądu wydruku"));
    audit.check(&printing, S("print progress"));
    printing.hide();

    FilePicker picker(program, &window);
    picker.setMask(S("*.txt"));
    picker.show();
    audit.check(&picker, S("Wskaż zbiór"));
    picker.hide();

    LongTextWindow longText(program.state, &window);
    longText.setHeading(S("Tytuł"));
    longText.setText(S("tekst"));
    longText.show();
    audit.check(&longText, S("Edycja"));
    longText.hide();

    MessageBox box(&window);
    auditModal(S("message box"), [&] {
        box.present({S("Czy na pewno chcesz zakończyć pracę programu?"), MessageKind::Information, 1, MbYes | MbNo});
    });
}

// The places a caption is found in, on a window built by hand.
TEST(AccessibleNames, CaptionsAreFoundByTheirPlace)
{
    InstallKeyboardRules();
    QWidget window;
    window.setWindowTitle(S("Okno"));
    auto* layout = new QVBoxLayout(&window);

    auto* row = new QHBoxLayout; // a caption left of two fields of a row
    auto* caption = new QLabel(S("Kwota &brutto"));
    auto* first = new QLineEdit;
    auto* second = new QLineEdit;
    row->addWidget(caption);
    row->addWidget(first);
    row->addWidget(second);
    layout->addLayout(row);

    auto* heading = new QWidget; // a heading row of its own above a text box
    new QLabel(S("Opis wdrożenia"), heading);
    auto* description = new QPlainTextEdit;
    layout->addWidget(heading);
    layout->addWidget(description);

    auto* grid = new QGridLayout; // a column caption over a field and its list
    auto* size = new QLineEdit;
    auto* sizes = new QListWidget;
    grid->addWidget(new QLabel(S("Rozmiar:")), 0, 0);
    grid->addWidget(size, 1, 0);
    grid->addWidget(sizes, 2, 0);
    layout->addLayout(grid);

    auto* columns = new QWidget; // a table of fields under column captions
    auto* captionRow = new QHBoxLayout(columns);
    captionRow->addStretch(1);
    captionRow->addWidget(new QLabel(S("ogółem")));
    captionRow->addWidget(new QLabel(S("kobiety")));
    QLineEdit* women = nullptr;
    for (const char* rowCaption : {"Profesorowie", "Doktorzy"}) {
        auto* panel = new QWidget;
        auto* fields = new QHBoxLayout(panel);
        fields->addWidget(new QLabel(S(rowCaption)), 1);
        fields->addWidget(new QLineEdit);
        fields->addWidget(women = new QLineEdit);
        layout->addWidget(panel);
    }
    layout->insertWidget(layout->count() - 2, columns);

    auto* kindRow = new QHBoxLayout; // a drop-down is named by its caption, not by what it shows
    auto* kind = new QComboBox;
    kind->addItems({S("- wybierz rodzaj -"), S("inna jednostka naukowa")});
    kindRow->addWidget(new QLabel(S("Rodzaj jednostki")));
    kindRow->addWidget(kind);
    layout->addLayout(kindRow);

    auto* named = new QLineEdit; // the program's own name stays
    named->setAccessibleName(S("Nazwa własna"));
    auto* loose = new QListWidget; // nothing to go by but the window
    layout->addWidget(named);
    layout->addWidget(loose);

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(accessibleName(first), S("Kwota brutto"));
    EXPECT_EQ(accessibleName(second), S("Kwota brutto"));
    EXPECT_EQ(accessibleName(description), S("Opis wdrożenia"));
    EXPECT_EQ(accessibleName(size), S("Rozmiar:"));
    EXPECT_EQ(accessibleName(sizes), S("Rozmiar:"));
    EXPECT_EQ(accessibleName(women), S("Doktorzy, kobiety"));
    EXPECT_EQ(accessibleName(named), S("Nazwa własna"));
    EXPECT_EQ(accessibleName(kind), S("Rodzaj jednostki"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(kind)->text(QAccessible::Value), S("- wybierz rodzaj -"));
    EXPECT_FALSE(namedByItsValue(kind));
    EXPECT_EQ(accessibleName(loose), S("Okno"));
    EXPECT_EQ(caption->buddy(), nullptr); // its "&" would start to show as a mnemonic

    // A window that shows other captions each time (the entry dialog) names its fields anew.
    window.hide();
    auto* retitled = qobject_cast<QLabel*>(heading->children().constFirst());
    retitled->setText(S("Źródło danych"));
    window.show();
    EXPECT_EQ(accessibleName(description), S("Źródło danych"));
    EXPECT_EQ(SpokenLabelText(S("B&&R\n&Wydatki")), S("B&R Wydatki"));
}
