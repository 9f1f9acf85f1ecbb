#include "gui/common/keyboard_rules.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
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

class KeyboardRules final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) {
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
