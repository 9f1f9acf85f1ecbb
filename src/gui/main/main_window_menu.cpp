// The main menu of MainWindow.
#include "gui/main/main_window.h"

#include "base/error.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QShortcut>

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
};

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
        focusBeforeMenu_ = QApplication::focusWidget();
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
    if (watched == menuBar() && event->type() == QEvent::KeyPress && !QApplication::activePopupWidget()
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        menuBar()->setActiveAction(nullptr);
        if (focusBeforeMenu_)
            focusBeforeMenu_->setFocus(Qt::MenuBarFocusReason);
        else
            setFocus(Qt::MenuBarFocusReason);
        return true;
    }
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
