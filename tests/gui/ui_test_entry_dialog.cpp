#include "gui/lists/entry_dialog.h"

#include "base/clock.h"
#include "gui/common/hints_panel.h"
#include "program/program.h"
#include "program/settings.h"
#include "gui/common/long_text_window.h"
#include "storage/schema.h"
#include "gui/lists/entry_page.h"
#include "lists/journal_identification.h"
#include "storage/journal_list.h"
#include "lists/list_catalogue.h"
#include "lists/list_grid.h"
#include "support/temp_survey.h"
#include "typing.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace vestrum;
using vestrum::testing::typeKeys;
using vestrum::testing::typeOver;
using lists::EntryCheck;
using lists::EntryInput;
using lists::EntryRole;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

struct Fixture {
    vestrum::testing::ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 1), QTime(10, 0))};
    Program program{messages, clock};
    vestrum::testing::TempSurvey survey;
    EntryDialog dialog{program};

    Fixture()
    {
        program.state.ReportingYear = 2008;
        program.survey.open(survey.path(), schema::databasePassword());
        program.survey.execute(QStringLiteral("insert into dane_wykaz_konferencji (rodzaj, nazwa, tytul_referatu) "
                                              "values (1, ?, '')"),
                               {S("Zjazd Fizyków Polskich")});
    }

    // Opens the dialog for a kind, non-modally, with the keyboard focus in it.
    void open(int kind, const QStringList& cells = {})
    {
        dialog.prepare(kind, cells);
        dialog.show();
        dialog.activateWindow();
        (void)QTest::qWaitFor([this] { return dialog.isActiveWindow(); }, 1000);
    }

    // Runs the modal dialog; `script` works in it once it runs and should close it.
    bool runModal(int kind, QStringList& cells, const std::function<void()>& script)
    {
        QTimer::singleShot(0, &dialog, [this, script] {
            // A person waits for the window to come up before typing.
            if (!QTest::qWaitFor([this] { return dialog.isActiveWindow(); }, 1000))
                ADD_FAILURE() << "the dialog did not become the active window";
            script();
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the dialog stayed open: " << messages.shown.join(QStringLiteral(" | ")).toStdString();
                dialog.done(QDialog::Rejected);
            }
        });
        return dialog.editEntry(kind, cells);
    }
};

void pressEnter(QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }

// A valid value for a row, typed into its input; returns what the row should hand back.
QString fillValid(EntryDialog& d, int row)
{
    const lists::EntryField& f = d.form().field(row);
    QWidget* w = d.input(row);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        if (line->isReadOnly())
            return line->text();
        switch (f.check) {
        case EntryCheck::Integer:
            typeOver(line, QStringLiteral("12"));
            return QStringLiteral("12");
        case EntryCheck::ElectionYear:
            typeOver(line, QStringLiteral("1990"));
            return QStringLiteral("1990");
        case EntryCheck::ProductionYear:
            typeOver(line, QStringLiteral("2007"));
            return QStringLiteral("2007");
        case EntryCheck::Date:
            typeOver(line, QStringLiteral("1/2/2008"));
            return QStringLiteral("01/02/2008");
        case EntryCheck::Amount:
            typeOver(line, QStringLiteral("1234,5"));
            return QStringLiteral("1234,50");
        case EntryCheck::ContractValue:
            typeOver(line, QStringLiteral("15000"));
            return QStringLiteral("15000,00");
        case EntryCheck::ApparatusValue:
            typeOver(line, QStringLiteral("600000"));
            return QStringLiteral("600000,00");
        case EntryCheck::None:
            break;
        }
        const QString text = S("pole %1 żółć").arg(row);
        typeOver(line, text);
        return text;
    }
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        if (memo->isReadOnly())
            return memo->toPlainText();
        const QString text = S("opis %1 źdźbło").arg(row);
        typeOver(memo, text);
        return text;
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable()) {
            typeOver(combo, S("Ministra Łączności"));
            return S("Ministra Łączności");
        }
        // The domain with disciplines; elsewhere the last item ("inne" opens the other source).
        combo->setCurrentIndex(f.role == EntryRole::Domain ? 1 : combo->count() - 1);
        return combo->currentText();
    }
    if (auto* list = qobject_cast<QListWidget*>(w)) {
        list->item(0)->setCheckState(Qt::Checked);
        list->item(list->count() - 1)->setCheckState(Qt::Checked);
        return list->item(0)->text() + QLatin1Char(';') + list->item(list->count() - 1)->text() + QLatin1Char(';');
    }
    return {};
}

} // namespace

TEST(EntryDialog, EveryKindAcceptsValidValuesAndHandsBackItsRow)
{
    Fixture f;
    const QString shots = qEnvironmentVariable("VESTRUM_SHOTS");
    if (!shots.isEmpty())
        QDir().mkpath(shots);
    for (int kind = 0; kind < lists::ListKindCount; ++kind) {
        const int columns = static_cast<int>(lists::ListKindInfoOf(kind).columns.size());
        QStringList expected;
        QStringList cells;
        const bool ok = f.runModal(kind, cells, [&] {
            EXPECT_EQ(f.dialog.windowTitle(), S("Dane szczegółowe"));
            EXPECT_EQ(f.dialog.headingLabel()->text(), lists::EntryHeading(kind));
            for (int c = 0; c < columns; ++c)
                expected << QString();
            for (int row = 0; row < f.dialog.form().count(); ++row) {
                EXPECT_TRUE(f.dialog.rowPanel(row)->isVisible()) << kind;
                EXPECT_EQ(f.dialog.rowCaption(row)->text(), f.dialog.form().field(row).caption);
                expected[f.dialog.form().field(row).column] = fillValid(f.dialog, row);
            }
            if (!shots.isEmpty())
                f.dialog.grab().save(QStringLiteral("%1/kind%2.png").arg(shots).arg(kind, 2, 10, QLatin1Char('0')));
            f.dialog.saveButton()->click();
        });
        EXPECT_TRUE(ok) << "kind " << kind;
        EXPECT_EQ(cells, expected) << "kind " << kind;
    }
    EXPECT_TRUE(f.messages.shown.isEmpty()) << f.messages.shown.join(QStringLiteral(" | ")).toStdString();
}

TEST(EntryDialog, LeavingAFieldChecksItAndKeepsTheFocusOnARefusal)
{
    Fixture f;
    f.open(25);
    QWidget* start = f.dialog.input(2);
    ASSERT_EQ(f.dialog.rowCaption(2)->text(), S("Data rozpoczęcia (dd/mm/rrrr)"));
    start->setFocus(Qt::OtherFocusReason);
    typeKeys(start, QStringLiteral("31/02/2008"));
    f.dialog.input(3)->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(f.messages.shown, QStringList{S("Podana wartość jest nieprawidłowa")});
    EXPECT_TRUE(start->hasFocus());
    EXPECT_EQ(qobject_cast<QLineEdit*>(start)->text(), S("31/02/2008"));

    typeOver(start, QStringLiteral("1/2/2008"));
    pressEnter(start);
    EXPECT_EQ(qobject_cast<QLineEdit*>(start)->text(), S("01/02/2008"));
    EXPECT_TRUE(f.dialog.input(3)->hasFocus());

    // A refused amount cannot be accepted by clicking the button without leaving the field.
    f.messages.shown.clear();
    QWidget* amount = f.dialog.input(5);
    amount->setFocus(Qt::OtherFocusReason);
    typeKeys(amount, S("dużo"));
    f.dialog.saveButton()->click();
    EXPECT_EQ(f.messages.shown, QStringList{S("Podana wartość jest nieprawidłowa")});
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_TRUE(amount->hasFocus());
}

TEST(EntryDialog, EmptyRequiredFieldsAreListedInOneBoxWithTheFocusOnTheFirst)
{
    Fixture f;
    f.open(0);
    f.dialog.input(3)->setFocus(Qt::OtherFocusReason);
    f.dialog.saveButton()->click();
    ASSERT_EQ(f.messages.shown.size(), 1);
    EXPECT_EQ(f.messages.shown[0], S("Pole \"Nazwisko i imię\" nie może być puste\n"
                                     "Pole \"Stanowisko służbowe \" nie może być puste\n"
                                     "Pole \"Telefon służbowy\" nie może być puste"));
    EXPECT_EQ(f.messages.requests[0].number, 0);
    EXPECT_TRUE(f.dialog.input(0)->hasFocus());
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_FALSE(f.dialog.accepted());
}

TEST(EntryDialog, EnterMovesOnSkippingReadOnlyFields)
{
    Fixture f;
    f.open(3);
    EXPECT_TRUE(f.dialog.input(0)->hasFocus());
    typeKeys(f.dialog.input(0), S("Acta Physica"));
    pressEnter(f.dialog.input(0)); // no journal list: the listed journal stays empty and is skipped
    EXPECT_TRUE(f.dialog.input(2)->hasFocus());
    EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(f.dialog.input(1))->toPlainText().isEmpty());
    pressEnter(f.dialog.input(4)); // the points after it are read-only: on to the ISSN
    EXPECT_TRUE(f.dialog.input(6)->hasFocus());
    pressEnter(f.dialog.input(6)); // an ISSN of no journal, here without a list, moves on
    EXPECT_TRUE(f.dialog.saveButton()->hasFocus());

    f.dialog.done(QDialog::Rejected);
    f.open(50);
    const int source = f.dialog.form().indexOfRole(EntryRole::PurchaseSource);
    auto* combo = qobject_cast<QComboBox*>(f.dialog.input(source));
    combo->setFocus(Qt::OtherFocusReason);
    pressEnter(combo);
    EXPECT_TRUE(f.dialog.saveButton()->hasFocus());
    // "inne" makes the description editable and white; choosing it does not move on by itself.
    combo->setCurrentIndex(combo->count() - 1);
    auto* other = qobject_cast<QLineEdit*>(f.dialog.input(source + 1));
    EXPECT_FALSE(other->isReadOnly());
    EXPECT_EQ(other->palette().color(QPalette::Base), QColor(Qt::white));
    combo->setFocus(Qt::OtherFocusReason);
    pressEnter(combo);
    EXPECT_TRUE(other->hasFocus());
}

// Changing a stored apparatus entry with the keyboard only: the value reached by Enter is typed
// over, the drop-downs are passed with Enter, and Enter on "zapamiętaj zmiany" accepts.
TEST(EntryDialog, AValueReachedByEnterIsTypedOverAndEnterOnTheButtonAccepts)
{
    Fixture f;
    QStringList cells;
    ASSERT_TRUE(f.runModal(50, cells, [&f] {
        for (int row = 0; row < f.dialog.form().count(); ++row)
            fillValid(f.dialog, row);
        f.dialog.saveButton()->click();
    }));
    const int value = f.dialog.form().indexOfField(QStringLiteral("Wartosc_brutto"));
    const int column = f.dialog.form().field(value).column;
    ASSERT_EQ(cells[column], S("600000,00"));

    const bool ok = f.runModal(50, cells, [&f, value] {
        for (int step = 0; step < 30 && QApplication::focusWidget() != f.dialog.saveButton(); ++step) {
            QWidget* w = QApplication::focusWidget();
            if (w == f.dialog.input(value))
                QTest::keyClicks(w, QStringLiteral("750000"));
            QTest::keyClick(w, Qt::Key_Return);
        }
        ASSERT_EQ(QApplication::focusWidget(), f.dialog.saveButton());
        QTest::keyClick(f.dialog.saveButton(), Qt::Key_Return);
    });
    EXPECT_TRUE(ok) << f.messages.shown.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(cells[column], S("750000,00"));
}

TEST(EntryDialog, DiscardAsksAndTheCloseControlDoesTheSame)
{
    Fixture f;
    f.open(21);
    f.messages.answer(MessageAnswer::No);
    f.dialog.discardButton()->click();
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_EQ(f.messages.requests.value(0).number, 8);
    EXPECT_EQ(f.messages.shown.value(0), S("Czy na pewno chcesz pominąć wprowadzone zmiany?"));
    f.messages.answer(MessageAnswer::No);
    f.dialog.close();
    EXPECT_TRUE(f.dialog.isVisible());
    f.messages.answer(MessageAnswer::Yes);
    f.dialog.close();
    EXPECT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(f.dialog.accepted());
}

TEST(EntryDialog, ChangingAnEntryFillsEveryRowAndWritesTheSameRowBack)
{
    Fixture f;
    lists::ListGrid grid(lists::ListKindInfoOf(48).headers());
    QStringList cells;
    // An empty list takes the new entry in its blank row, the next one is appended.
    for (const char* giver : {"innego ministra", "Akademii Nauk"}) {
        QTimer::singleShot(0, &f.dialog, [&f, giver] {
            auto* origin = qobject_cast<QComboBox*>(f.dialog.input(0));
            origin->setCurrentIndex(QString::fromUtf8(giver).startsWith(S("innego")) ? 1 : 2);
            typeOver(f.dialog.input(1), S("Nagroda"));
            typeOver(f.dialog.input(2), S(giver));
            f.dialog.saveButton()->click();
        });
        int row = -1;
        ASSERT_TRUE(f.dialog.addEntry(48, grid, &row));
        EXPECT_EQ(row, grid.rowCount() - 1);
    }
    ASSERT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.row(0), QStringList({S("krajowa"), S("Nagroda"), S("innego ministra")}));

    QTimer::singleShot(0, &f.dialog, [&f] {
        auto* giver = qobject_cast<QComboBox*>(f.dialog.input(2));
        EXPECT_GT(giver->count(), 1); // a foreign award opens on the domestic givers
        EXPECT_EQ(giver->currentText(), S("Akademii Nauk"));
        typeOver(giver, S("Akademii Nauk Francji"));
        f.dialog.saveButton()->click();
    });
    ASSERT_TRUE(f.dialog.changeEntry(48, grid, 1));
    EXPECT_EQ(grid.row(1), QStringList({S("zagraniczna"), S("Nagroda"), S("Akademii Nauk Francji")}));
    EXPECT_EQ(grid.rowCount(), 2);

    // Switching a domestic award to foreign replaces the givers.
    f.open(47, grid.row(0));
    auto* giver = qobject_cast<QComboBox*>(f.dialog.input(2));
    EXPECT_EQ(giver->currentIndex(), -1); // a giver of kind 48 is not one of kind 47's: shown as typed
    EXPECT_EQ(giver->currentText(), S("innego ministra"));
    qobject_cast<QComboBox*>(f.dialog.input(0))->setCurrentIndex(2);
    EXPECT_EQ(giver->count(), 1);
    EXPECT_EQ(giver->currentText(), S("- wpisz -"));
}

TEST(EntryDialog, DegreeRightsReselectTheDomainAndItsDisciplines)
{
    Fixture f;
    QStringList cells{S("nauk chemicznych"), S("biotechnologii;chemii;")};
    const bool ok = f.runModal(2, cells, [&f] {
        EXPECT_EQ(f.dialog.rowCaption(0)->text(),
                  S("Jednostka posiada uprawnienia do nadawania stopnia naukowego doktora habilitowanego"));
        auto* list = qobject_cast<QListWidget*>(f.dialog.input(1));
        ASSERT_EQ(list->count(), 4);
        EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(list->item(3)->checkState(), Qt::Checked);
        list->item(0)->setCheckState(Qt::Unchecked);
        f.dialog.saveButton()->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(cells, QStringList({S("nauk chemicznych"), S("biotechnologii;")}));
}

TEST(EntryDialog, ConferencePapersChooseAmongStoredConferences)
{
    Fixture f;
    f.open(22);
    auto* conferences = qobject_cast<QComboBox*>(f.dialog.input(0));
    ASSERT_EQ(conferences->count(), 2);
    EXPECT_EQ(conferences->itemText(1), S("Zjazd Fizyków Polskich"));
    f.dialog.saveButton()->click();
    EXPECT_EQ(f.messages.shown.value(0), S("Pole \"Nazwa konferencji\" nie może pozostać nieokreślone\n"
                                           "Pole \"Tytuł referatu\" nie może być puste"));
}

TEST(EntryDialog, HeadingsHintsAndKindCaptions)
{
    Fixture f;
    f.open(28);
    EXPECT_TRUE(f.dialog.hintsPanel()->isVisible());
    EXPECT_EQ(f.dialog.hintsPanel()->hintText(),
              S("Zgodnie z decyzją MNiSW dopuszcza się wpisanie daty opublikowania lub daty uzyskania patentu."));
    f.dialog.hintsPanel()->closeButton()->click();
    EXPECT_FALSE(f.dialog.hintsPanel()->isVisible());
    EXPECT_EQ(f.program.state.Flags.flag(MessageFlags::HintsFlag), 0);
    f.dialog.done(QDialog::Rejected);

    f.open(34);
    EXPECT_FALSE(f.dialog.hintsPanel()->isVisible()); // hints are off now
    EXPECT_EQ(f.dialog.rowCaption(1)->text(), S("Data zgłoszenia  (dd/mm/rrrr)"));
    EXPECT_EQ(f.dialog.headingLabel()->text(), S("Zgłoszenia patentowe w Urzędzie Patentowym RP"));
    f.dialog.done(QDialog::Rejected);

    f.program.state.Flags.setFlag(MessageFlags::HintsFlag, 1);
    f.open(7);
    EXPECT_TRUE(f.dialog.hintsPanel()->hintText().contains(S("Journal Citation Reports\n8.1.b Publikacje")));
    f.dialog.done(QDialog::Rejected);
    f.open(38); // number and applicant rows of the page are hidden
    EXPECT_EQ(f.dialog.form().count(), 3);
    EXPECT_EQ(f.dialog.currentPage()->findChild<QWidget*>(QStringLiteral("e1901"))->isVisible(), false);
    f.dialog.done(QDialog::Rejected);
    f.open(0);
    EXPECT_EQ(f.dialog.headingLabel()->text(), S("Informacje o kierowniku jednostki naukowej"));
}

TEST(EntryDialog, LongTextEditorMaxLengthsAndContextMenu)
{
    Fixture f;
    f.dialog.setMaxLengths({{QStringLiteral("czasopismo"), 5}, {QStringLiteral("Tytul"), 8}});
    f.open(3);
    EXPECT_EQ(qobject_cast<QLineEdit*>(f.dialog.input(0))->maxLength(), 5);
    auto* title = qobject_cast<QPlainTextEdit*>(f.dialog.input(2));
    typeOver(title, S("Źdźbła trawy"));
    EXPECT_EQ(title->toPlainText(), S("Źdźbła t"));
    // Full, it takes nothing more wherever the caret stands, rather than losing its end.
    QTest::keyClick(title, Qt::Key_Home, Qt::ControlModifier);
    typeKeys(title, S("X"));
    EXPECT_EQ(title->toPlainText(), S("Źdźbła t"));

    QTimer::singleShot(0, &f.dialog, [&f] {
        LongTextWindow* editor = f.dialog.longTextEditor();
        EXPECT_EQ(editor->headingLabel()->text(), S("Tytuł"));
        EXPECT_EQ(editor->textField()->toPlainText(), S("Źdźbła t"));
        typeOver(editor->textField(), S("Łąka"));
        editor->saveButton()->click();
    });
    QTest::mouseDClick(title->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(title->toPlainText(), S("Łąka"));
    EXPECT_EQ(title->textCursor().position(), 0);
    EXPECT_TRUE(QTest::qWaitFor([title] { return title->hasFocus(); }, 1000));
    EXPECT_EQ(f.dialog.form().text(2), S("Łąka"));

    auto* authors = qobject_cast<QPlainTextEdit*>(f.dialog.input(3));
    typeOver(authors, S("Nowak, Kowalski"));
    QTest::keyClick(authors, Qt::Key_A, Qt::ControlModifier);
    QMenu* menu = f.dialog.contextMenuFor(authors);
    QStringList captions;
    for (QAction* a : menu->actions())
        captions << a->text();
    EXPECT_EQ(captions, QStringList({S("Wytnij"), S("Kopiuj"), S("Wklej"), S("Usuń")}));
    menu->actions().value(3)->trigger();
    EXPECT_TRUE(authors->toPlainText().isEmpty());
    delete menu;
}

TEST(EntryDialog, DraggedRowHeightsAreRememberedAsPanels)
{
    Fixture f;
    f.program.state.PopupPanels = QStringLiteral("p902=150;pNowhere=20;");
    f.open(15);
    EXPECT_EQ(f.dialog.rowPanel(1)->height(), 150);
    ASSERT_FALSE(f.dialog.currentPage()->rows().empty());
    auto* grip = f.dialog.currentPage()->rows()[0].grip;
    const int before = f.dialog.rowPanel(0)->height();
    QTest::mousePress(grip, Qt::LeftButton, Qt::NoModifier, QPoint(10, 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 42), grip->mapToGlobal(QPointF(10, 42)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &move);
    QTest::mouseRelease(grip, Qt::LeftButton, Qt::NoModifier, QPoint(10, 42));
    EXPECT_EQ(f.dialog.rowPanel(0)->height(), before + 40);
    f.dialog.saveButton()->click(); // refused (empty name), so close by discarding
    f.messages.answer(MessageAnswer::Yes);
    f.dialog.discardButton()->click();
    // Every panel of every page is written, the dragged and the restored ones with their heights.
    const QList<QPair<QString, int>> panels = parsePanels(f.program.state.PopupPanels);
    size_t rows = 0;
    for (const lists::EntryPage& page : lists::EntryPages())
        rows += page.fields.size();
    EXPECT_EQ(static_cast<size_t>(panels.size()), rows);
    EXPECT_TRUE(panels.contains(qMakePair(QStringLiteral("Panel901"), before + 40)));
    EXPECT_TRUE(panels.contains(qMakePair(QStringLiteral("Panel902"), 150)));
    for (const auto& [name, height] : panels)
        EXPECT_GT(height, 0) << name.toStdString();
}

TEST(EntryDialog, PanelsAreWrittenWithoutAnyRowDragged)
{
    Fixture f;
    f.open(0);
    f.messages.answer(MessageAnswer::Yes);
    f.dialog.discardButton()->click();
    EXPECT_TRUE(f.program.state.PopupPanels.startsWith(QStringLiteral("p")));
    EXPECT_TRUE(f.program.state.PopupPanels.contains(
        QStringLiteral("p%1=%2;").arg(f.dialog.form().field(0).panel).arg(f.dialog.rowPanel(0)->height())));
}

// A stored text longer than its field is neither cut on opening nor saved cut: it is shown whole
// and "zapamiętaj zmiany" names the field and its width.
TEST(EntryDialog, AStoredTextLongerThanItsFieldIsShownWholeAndRefusedOnAcceptance)
{
    Fixture f;
    f.dialog.setMaxLengths({{QStringLiteral("Czasopismo"), 5}, {QStringLiteral("Tytul"), 8}});
    f.open(3, {S("Acta Physica"), S("Źdźbła trawy"), S("Nowak"), S("2008, 1, 1-5"), QString(), S("0,00")});
    auto* journal = qobject_cast<QLineEdit*>(f.dialog.input(0));
    auto* title = qobject_cast<QPlainTextEdit*>(f.dialog.input(2));
    EXPECT_EQ(journal->text(), S("Acta Physica"));
    EXPECT_EQ(title->toPlainText(), S("Źdźbła trawy"));
    // Typing on at its end: the stored text never grows past itself.
    QTest::mouseClick(title->viewport(), Qt::LeftButton);
    QTest::keyClick(title, Qt::Key_End, Qt::ControlModifier);
    typeKeys(title, S(" i więcej"));
    EXPECT_EQ(title->toPlainText(), S("Źdźbła trawy"));
    // Shortened, it may be typed back up to its own length, as in a one-line field.
    QTest::keyClick(title, Qt::Key_Backspace);
    QTest::keyClick(title, Qt::Key_Backspace);
    typeKeys(title, S("wy!"));
    EXPECT_EQ(title->toPlainText(), S("Źdźbła trawy"));
    // Nor does "Edycja" cut it: saved from there unchanged, it is still whole.
    QTimer::singleShot(0, &f.dialog, [&f] {
        LongTextWindow* editor = f.dialog.longTextEditor();
        EXPECT_EQ(editor->textField()->toPlainText(), S("Źdźbła trawy"));
        QTest::keyClick(editor->textField(), Qt::Key_End, Qt::ControlModifier);
        typeKeys(editor->textField(), S("!"));
        editor->saveButton()->click();
    });
    QTest::mouseDClick(title->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(f.dialog.form().text(2), S("Źdźbła trawy"));

    f.dialog.saveButton()->click();
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_FALSE(f.dialog.accepted());
    ASSERT_FALSE(f.messages.shown.isEmpty());
    EXPECT_EQ(f.messages.shown.last(), S("Pole \"") + f.dialog.form().field(0).caption
                                           + S("\" może zawierać najwyżej 5 znaków\nPole \"Tytuł\" może zawierać "
                                               "najwyżej 8 znaków"));
    typeOver(journal, S("Acta"));
    typeOver(title, S("Źdźbła"));
    f.dialog.saveButton()->click();
    EXPECT_TRUE(f.dialog.accepted());
    EXPECT_EQ(f.dialog.form().row().mid(0, 2), QStringList({S("Acta"), S("Źdźbła")}));
}

// A field without a declared width keeps a stored text of any length: typing near its start takes
// nothing from its end, and "Edycja" saved unchanged keeps all of it.
TEST(EntryDialog, AFieldWithoutAWidthKeepsAStoredTextOfAnyLength)
{
    Fixture f;
    const QString stored = QString(39990, u'a') + S("koniec ółę");
    f.open(3, {S("Acta"), stored, S("Nowak"), S("2008, 1, 1-5"), QString(), S("0,00")});
    auto* title = qobject_cast<QPlainTextEdit*>(f.dialog.input(2));
    ASSERT_EQ(title->toPlainText(), stored);
    QTest::mouseClick(title->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    typeKeys(title, S("x"));
    EXPECT_TRUE(title->toPlainText().endsWith(S("koniec ółę")));

    QTimer::singleShot(0, &f.dialog, [&f] {
        LongTextWindow* editor = f.dialog.longTextEditor();
        editor->saveButton()->click();
    });
    QTest::mouseDClick(title->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(f.dialog.form().text(2).size(), stored.size());
    EXPECT_TRUE(f.dialog.form().text(2).endsWith(S("koniec ółę")));
}

TEST(EntryDialog, PublicationsIdentifyTheJournalOnEnter)
{
    Fixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    db::Connection::create(path, schema::databasePassword());
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    connection.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, "
                                      "rodzaj INTEGER)"));
    connection.execute(QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, 15, 0)"), {S("Acta Physica Polonica A")});
    lists::JournalList journals(connection);
    journals.open();
    f.dialog.setJournalSearch(&journals, nullptr);

    f.open(4);
    typeKeys(f.dialog.input(0), S("acta physica polonica a"));
    pressEnter(f.dialog.input(0));
    EXPECT_EQ(qobject_cast<QPlainTextEdit*>(f.dialog.input(1))->toPlainText(), S("Acta Physica Polonica A"));
    EXPECT_EQ(qobject_cast<QLineEdit*>(f.dialog.input(5))->text(), S("15,00"));
    EXPECT_TRUE(f.dialog.input(2)->hasFocus());
    EXPECT_EQ(f.dialog.form().row().value(4), S("Acta Physica Polonica A"));
}

// An ISSN alone names the journal: Enter in "ISSN" identifies it and the empty title takes the list's.
TEST(EntryDialog, AnIssnWithoutATitleIdentifiesTheJournalAndGivesTheTitle)
{
    Fixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    journals::ListRecord listed;
    listed.name = S("Acta Physica Polonica A");
    listed.points = 15;
    listed.issn = S("0587-4246");
    journals::writeJournalListDatabase(path, {listed}, QDate(2025, 1, 2), S("wykaz.csv"));
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    lists::JournalList journals(connection);
    journals.open();
    f.dialog.setJournalSearch(&journals, nullptr);

    f.open(4);
    pressEnter(f.dialog.input(0)); // no title: on to the next field
    QWidget* issn = f.dialog.input(6);
    typeOver(issn, S("05874246"));
    pressEnter(issn);
    const QStringList row = f.dialog.form().row();
    EXPECT_EQ(row.value(0), S("Acta Physica Polonica A"));
    EXPECT_EQ(row.value(4), S("Acta Physica Polonica A"));
    EXPECT_EQ(row.value(5), S("15,00"));
    EXPECT_EQ(row.value(6), S("0587-4246"));
}

// Opened for the first time, the dialog shows every row of a page of up to eight fields.
TEST(EntryDialog, FirstOpeningShowsEveryRowOfThePage)
{
    Fixture f;
    f.open(50); // the apparatus: more rows than fit, the first eight in view
    const QRect view = f.dialog.currentPage()->viewport()->rect();
    for (int row = 0; row < std::min(8, f.dialog.form().count()); ++row) {
        const QRect panel(f.dialog.rowPanel(row)->mapTo(f.dialog.currentPage()->viewport(), QPoint(0, 0)),
                          f.dialog.rowPanel(row)->size());
        EXPECT_TRUE(view.contains(panel)) << row;
    }
}
