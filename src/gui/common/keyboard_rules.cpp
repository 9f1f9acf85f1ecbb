#include "gui/common/keyboard_rules.h"

#include "gui/common/accessible_names.h"
#include "gui/common/window_memory.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
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

// A window of the program as opposed to a drop-down's list, a menu or a tool tip.
bool isOwnWindow(const QWidget* w)
{
    if (!w->isWindow())
        return false;
    const Qt::WindowType type = w->windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet || type == Qt::Tool;
}

// The item a list marks as current is also the one Enter and the commands act on, so it shows
// selected. A click picks its own item; a list with no current item starts on its first one.
void selectCurrentItem(QAbstractItemView* view)
{
    QItemSelectionModel* selection = view->selectionModel();
    QAbstractItemModel* model = view->model();
    if (!selection || !model || view->selectionMode() == QAbstractItemView::NoSelection
        || qobject_cast<QHeaderView*>(view))
        return;
    QModelIndex current = view->currentIndex();
    if (!current.isValid()) {
        if (model->rowCount(view->rootIndex()) == 0)
            return;
        current = model->index(0, 0, view->rootIndex());
    }
    if (selection->isSelected(current) && current == view->currentIndex())
        return;
    QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
    if (view->selectionBehavior() == QAbstractItemView::SelectRows)
        flags |= QItemSelectionModel::Rows;
    selection->setCurrentIndex(current, flags);
}

class KeyboardRules final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType())
            return QObject::eventFilter(watched, event);
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show) {
            keepReachableByTab(widget);
            GiveAccessibleName(widget);
            if (isOwnWindow(widget) && !event->spontaneous())
                return windowShown(widget, event);
        } else if (event->type() == QEvent::Hide) {
            if (isOwnWindow(widget) && !event->spontaneous())
                windowHidden(widget);
        } else if (event->type() == QEvent::WindowDeactivate) {
            if (isOwnWindow(widget)) {
                focusWhenLeft_[widget] = widget->focusWidget();
                forgetWhenDestroyed(widget);
            }
        } else if (event->type() == QEvent::FocusIn) {
            focusGained(widget, static_cast<QFocusEvent*>(event)->reason());
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

private:
    // The window's own handlers (its placement among them) run first, then the one fitting rule,
    // all before the window is put on the screen.
    bool windowShown(QWidget* window, QEvent* event)
    {
        if (delivering_.contains(window))
            return false;
        if (!openers_.contains(window)) {
            QWidget* focused = QApplication::focusWidget();
            QWidget* under = QApplication::activeWindow();
            if (under == window)
                under = window->parentWidget() ? window->parentWidget()->window() : nullptr;
            openers_.insert(window, {focused && focused->window() != window ? focused : nullptr, under});
            forgetWhenDestroyed(window);
        }
        delivering_.insert(window);
        QCoreApplication::sendEvent(window, event);
        delivering_.remove(window);
        KeepWholeOnScreen(window);
        return true;
    }

    // The window under a closing one becomes the active one again, with the focus where it was:
    // no window manager is relied on for that, as some leave no window active at all.
    void windowHidden(QWidget* window)
    {
        focusWhenLeft_.remove(window);
        const Opener opener = openers_.take(window);
        QWidget* target = opener.control;
        if (!target || !target->isVisible() || !target->isEnabled() || !target->window()->isVisible())
            target = opener.window && opener.window->isVisible() ? opener.window->focusWidget() : nullptr;
        QWidget* under = target ? target->window() : opener.window.data();
        if (!under || !under->isVisible())
            return;
        QWidget* active = QApplication::activeWindow();
        if (active && active != window && active != under && active->isVisible())
            return; // another window has taken over meanwhile
        under->activateWindow();
        if (target)
            target->setFocus(Qt::OtherFocusReason);
    }

    void focusGained(QWidget* widget, Qt::FocusReason reason)
    {
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            // Back in a window whose focus the program moved meanwhile, the field is one it sent the
            // user to, to type anew; back where the user left it, the caret stays.
            const bool movedMeanwhile = reason == Qt::ActiveWindowFocusReason
                && focusWhenLeft_.contains(line->window()) && focusWhenLeft_.value(line->window()) != line;
            if (reachedByKeyboard(reason) || movedMeanwhile)
                line->selectAll();
        }
        if (auto* view = qobject_cast<QAbstractItemView*>(widget);
            view && reason != Qt::MouseFocusReason && isOwnWindow(view->window()))
            selectCurrentItem(view);
        if (reason == Qt::ActiveWindowFocusReason)
            focusWhenLeft_.remove(widget->window());
    }

    void forgetWhenDestroyed(QWidget* window)
    {
        if (watched_.contains(window))
            return;
        watched_.insert(window);
        connect(window, &QObject::destroyed, this, [this, window] {
            watched_.remove(window);
            openers_.remove(window);
            focusWhenLeft_.remove(window);
        });
    }

    struct Opener {
        QPointer<QWidget> control; // had the focus when the window opened
        QPointer<QWidget> window;  // was active then
    };
    QHash<QWidget*, Opener> openers_;
    QHash<QWidget*, QPointer<QWidget>> focusWhenLeft_;
    QSet<QWidget*> delivering_;
    QSet<QWidget*> watched_;
};

// Tells a choice from the opened list from a change by keys on the closed drop-down: Qt reports
// both as `activated`. The list opening since the last key on the closed drop-down marks a choice.
class ListChoiceWatcher final : public QObject {
public:
    ListChoiceWatcher(QComboBox* combo, std::function<void()> moveOn)
        : QObject(combo), combo_(combo), list_(combo->view()), moveOn_(std::move(moveOn))
    {
        combo->installEventFilter(this);
        list_->installEventFilter(this);
        connect(combo, &QComboBox::activated, this, [this] {
            if (listWasOpened_)
                moveOn_();
            listWasOpened_ = false;
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == list_ && event->type() == QEvent::Show)
            listWasOpened_ = true;
        else if (watched == combo_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::Wheel)
                 && !(list_ && list_->isVisible()))
            listWasOpened_ = false;
        return QObject::eventFilter(watched, event);
    }

private:
    QComboBox* combo_;
    QPointer<QAbstractItemView> list_; // the drop-down's list, made once here
    std::function<void()> moveOn_;
    bool listWasOpened_ = false;
};

} // namespace

void MoveOnAfterListChoice(QComboBox* combo, std::function<void()> moveOn)
{
    new ListChoiceWatcher(combo, std::move(moveOn));
}

void InstallKeyboardRules()
{
    static QPointer<KeyboardRules> installed;
    if (!qApp || installed)
        return;
    InstallAccessibleInterfaces();
    installed = new KeyboardRules(qApp);
    qApp->installEventFilter(installed);
}

} // namespace vestrum
