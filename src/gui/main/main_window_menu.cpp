// The main menu of MainWindow.
#include "gui/main/main_window.h"

#include "base/error.h"
#include "gui/common/accessible_names.h"
#include "gui/main/section_chooser.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleOptionMenuItem>

namespace vestrum {
namespace {

// The menu bar is worked from the keyboard as well: Alt or F10 selects it, the arrows move along it
// and Enter runs an entry without a submenu ("Koniec"). Some styles leave that navigation off.
class KeyboardMenuBarStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    // A title chosen by the keyboard (the bar holds the focus, no menu open yet) is drawn as a pressed one:
    // some styles highlight a title only while its menu is open, and the user would not see where Alt or F10
    // went.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuBarItem && item && (item->state & State_Selected) && (item->state & State_HasFocus)) {
            QStyleOptionMenuItem chosen(*item);
            chosen.state |= State_Sunken;
            QProxyStyle::drawControl(element, &chosen, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

// Qt leaves telling a screen reader where the focus is to the menu bar, which tells nothing while it is worked
// from the keyboard with no menu open: each title the keyboard reaches is announced as the focus.
void AnnounceKeyboardTitle(QMenuBar* bar, QAction* title)
{
    if (!title || !bar->hasFocus() || QApplication::activePopupWidget())
        return;
    const int index = bar->actions().indexOf(title);
    if (index < 0)
        return;
    AnnounceFocus(bar, index);
}

} // namespace

void MainWindow::enableMenuKeyboard()
{
    auto* style = new KeyboardMenuBarStyle(QApplication::style()->name()); // the program's own look
    style->setParent(menuBar());
    menuBar()->setStyle(style);
    // F10 does what a lone Alt does: the first menu title is highlighted with no menu open, the
    // arrows move the highlight, Enter or Down opens the highlighted menu on its first entry (or runs
    // an entry without a submenu, "Koniec"); Esc there gives the focus back. The menu bar takes
    // that keyboard mode only from the Alt key, so F10 plays one, once the shortcut is over (a
    // shortcut being dispatched ends the menu bar's wait for the Alt key's release).
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, [this] {
        if (menuBar()->actions().isEmpty())
            return;
        QTimer::singleShot(0, this, [this] {
            QKeyEvent altDown(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::AltModifier);
            QCoreApplication::sendEvent(this, &altDown);
            QKeyEvent altPress(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
            QCoreApplication::sendEvent(this, &altPress);
            QKeyEvent altUp(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
            QCoreApplication::sendEvent(this, &altUp);
        });
    });
    menuBar()->installEventFilter(this);
    connect(menuBar(), &QMenuBar::hovered, this, [this](QAction* title) { AnnounceKeyboardTitle(menuBar(), title); });
}

void MainWindow::buildMenu()
{
    auto add = [this](QMenu* menu, const char* caption, bool confirms) {
        const QString text = QString::fromUtf8(caption);
        QAction* action = menu->addAction(text);
        action->setEnabled(false); // until the command's module gives it its command
        actions_.insert(text, action);
        connect(action, &QAction::triggered, this, [this, text, confirms] {
            // A failing command ends with its message; the window goes on.
            try {
                if (confirms)
                    ConfirmPendingEdit();
                if (const auto command = commands_.value(text))
                    command();
            } catch (const Error& error) {
                program_.notify(error.message(), 0, MessageKind::Error);
            }
        });
        return action;
    };

    QMenu* data = menuBar()->addMenu(QString::fromUtf8("Operacje na danych"));
    for (const char* c : {"Nowa jednostka", "Wczytaj dane", "Wczytaj dane jako dane startowe", "Zapisz dane",
                          "Zapisz dane jako ..."})
        add(data, c, true);
    data->addSeparator();
    add(data, "Łączenie danych", true);
    add(data, "Sprawdź ankietę", true);
    data->addSeparator();
    add(data, "Zrób kopię zapasową danych", true);
    data->addSeparator();
    add(data, "Wczytaj wykaz czasopism z pliku ministerstwa…", true);
    add(data, "Przywróć poprzedni wykaz czasopism", true);
    data->addSeparator();
    QMenu* restore = data->addMenu(QString::fromUtf8("Przywracanie danych"));
    add(restore, "Przywróć wcześniej zapisane dane", true);
    add(restore, "Utwórz punkt przywracania danych", true);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("Ustawienia"));
    add(settings, "Czcionka", true);
    add(settings, "Przywróć wszystkie komunikaty programu", true);
    add(settings, "Pokazuj podpowiedzi i wyjaśnienia", false);
    QAction* proxySeparator = settings->addSeparator();
    proxySeparator->setVisible(false);
    add(settings, "Ustawienia serwera proxy", false)->setVisible(false);

    QMenu* print = menuBar()->addMenu(QStringLiteral("Drukowanie"));
    add(print, "Widoczny zakres danych", true);
    add(print, "Wybraną część ankiety", true);
    add(print, "Całą ankietę", true);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Pomoc"));
    add(help, "Pomoc do programu", false);
    add(help, "O programie", false);
    help->addSeparator();
    add(help, "Aktualizacja programu bez dostępu do internetu", true);

    QAction* quit = menuBar()->addAction(QStringLiteral("Koniec"));
    actions_.insert(quit->text(), quit);
    // "Koniec" deals with a section left in edit mode before it asks to close; the window's close button goes
    // straight to the closing sequence.
    connect(quit, &QAction::triggered, this, [this] {
        ConfirmPendingEdit();
        close();
    });

    setMenuCommand(QString::fromUtf8("Przywróć wszystkie komunikaty programu"),
                   [this] { program_.state.Flags.showAll(); });
    // The panel comes back at the next change of page.
    setMenuCommand(QString::fromUtf8("Pokazuj podpowiedzi i wyjaśnienia"),
                   [this] { program_.state.Flags.setFlag(MessageFlags::HintsFlag, 1); });
    setMenuCommand(QStringLiteral("O programie"), [this] { showAbout(); });
    enableMenuKeyboard();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == chooser_ && event->type() == QEvent::KeyPress && !chooser_->view()->isVisible()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            focusShownPage();
            return true;
        }
    }
    // The bar takes the focus after it has chosen its first title, so that title is announced here.
    if (watched == menuBar() && event->type() == QEvent::FocusIn)
        AnnounceKeyboardTitle(menuBar(), menuBar()->activeAction());
    return QMainWindow::eventFilter(watched, event);
}

QAction* MainWindow::menuAction(const QString& caption) const { return actions_.value(caption); }

void MainWindow::setMenuCommand(const QString& caption, std::function<void()> command)
{
    QAction* action = actions_.value(caption);
    if (!action)
        return;
    commands_.insert(caption, std::move(command));
    action->setEnabled(true);
}

} // namespace vestrum
