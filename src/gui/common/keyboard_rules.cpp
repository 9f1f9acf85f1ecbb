#include "gui/common/keyboard_rules.h"

#include "gui/common/accessible_names.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

namespace vestrum {
namespace {

// Focus that comes back after a menu or a window switch keeps the caret where the user left it.
bool reachedByKeyboard(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::OtherFocusReason
        || reason == Qt::ShortcutFocusReason;
}

bool isEnter(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier;
}

// Tab leaves every control for the next one: a grid is walked with the arrows (its rows are edited in
// their own window), a text box takes no TAB character (it could not be told from blanks), and a
// field that only a mouse click could reach takes Tab as well, as do the commands of a tool row
// ("Import z pliku tekstowego", the preview's "Następna") and its "››". The scroll arrows of a tab
// row are left to the mouse: the arrow keys move along the tabs themselves.
void keepReachableByTab(QWidget* w)
{
    if (auto* view = qobject_cast<QAbstractItemView*>(w))
        view->setTabKeyNavigation(false);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        plain->setTabChangesFocus(true);
    else if (auto* rich = qobject_cast<QTextEdit*>(w))
        rich->setTabChangesFocus(true);
    if (qobject_cast<QToolButton*>(w) && qobject_cast<QTabBar*>(w->parentWidget()))
        w->setFocusPolicy(Qt::NoFocus);
    else if (qobject_cast<QToolButton*>(w) && qobject_cast<QToolBar*>(w->parentWidget()))
        w->setFocusPolicy(Qt::TabFocus);
    else if (w->focusPolicy() == Qt::ClickFocus && !qobject_cast<QLabel*>(w))
        w->setFocusPolicy(Qt::StrongFocus);
}

class KeyboardRules final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* shown = static_cast<QWidget*>(watched);
            keepReachableByTab(shown);
            GiveAccessibleName(shown);
        } else if (event->type() == QEvent::FocusIn) {
            if (auto* line = qobject_cast<QLineEdit*>(watched);
                line && reachedByKeyboard(static_cast<QFocusEvent*>(event)->reason()))
                line->selectAll();
        } else if (event->type() == QEvent::KeyPress) {
            auto* button = qobject_cast<QAbstractButton*>(watched);
            const bool pressable = qobject_cast<QPushButton*>(watched) || qobject_cast<QToolButton*>(watched);
            if (pressable && button->isEnabled() && button->hasFocus() && isEnter(static_cast<QKeyEvent*>(event))) {
                button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void InstallKeyboardRules()
{
    static QPointer<KeyboardRules> installed;
    if (!qApp || installed)
        return;
    installed = new KeyboardRules(qApp);
    qApp->installEventFilter(installed);
}

} // namespace vestrum
