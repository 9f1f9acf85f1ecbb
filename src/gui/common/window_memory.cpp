#include "gui/common/window_memory.h"

#include "gui/common/keyboard_rules.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHeaderView>
#include <QLayout>
#include <QStyle>
#include <QTableView>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace vestrum {
namespace {

constexpr int kMinWidth = 120;
constexpr int kMinHeight = 80;

// The settings file may come from another computer with other screens, or be edited by hand.
QRect onSomeScreen(QRect bounds)
{
    bounds.setWidth(std::max(bounds.width(), kMinWidth));
    bounds.setHeight(std::max(bounds.height(), kMinHeight));
    const QRect grip(bounds.topLeft(), QSize(std::min(bounds.width(), 60), 30));
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(grip))
            return bounds;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        bounds.moveTopLeft(primary->availableGeometry().topLeft());
    return bounds;
}

// The screen area the window is placed in: that of the window it belongs to, else the primary.
QRect availableArea(const QWidget* window)
{
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const QScreen* screen = owner ? owner->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// The rectangle windows are centred on: the visible owner window, else the screen area.
QRect centreArea(const QWidget* window)
{
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (owner && owner->isVisible())
        return owner->geometry();
    return availableArea(window);
}

// Room kept around a window for the frame the window manager draws, which lies outside the bounds
// Qt sets: the frame as the window system reports it once the window has one, else a title bar
// and thin borders.
constexpr int kTitleBar = 30;
constexpr int kBorder = 8; // a window manager's bottom edge is often wider than its sides

QMargins frameOf(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    const QMargins reported = handle ? handle->frameMargins() : QMargins();
    return reported.isNull() ? QMargins(kBorder, kTitleBar, kBorder, kBorder) : reported;
}

// The whole window, its frame and its commands included, within the screen area: a window too big
// for it is made smaller, one off an edge is moved in.
QRect keptOnScreen(QRect bounds, const QRect& area, const QMargins& frame)
{
    const QRect inside = area.marginsRemoved(frame);
    bounds.setWidth(std::min(bounds.width(), inside.width()));
    bounds.setHeight(std::min(bounds.height(), inside.height()));
    bounds.moveLeft(std::clamp(bounds.left(), inside.left(), inside.left() + inside.width() - bounds.width()));
    bounds.moveTop(std::clamp(bounds.top(), inside.top(), inside.top() + inside.height() - bounds.height()));
    return bounds;
}

// How much bigger the window must be for its lists and tables to show every row and column.
QSize contentsShortfall(const QWidget* window)
{
    QSize shortfall(0, 0);
    for (const QAbstractItemView* view : window->findChildren<const QAbstractItemView*>()) {
        const QAbstractItemModel* model = view->model();
        if (!model || view->isHidden() || qobject_cast<const QHeaderView*>(view))
            continue;
        int height = view->frameWidth() * 2;
        int width = view->frameWidth() * 2;
        if (const auto* table = qobject_cast<const QTableView*>(view)) {
            height += table->horizontalHeader()->isVisible() ? table->horizontalHeader()->sizeHint().height() : 0;
            width += table->verticalHeader()->isVisible() ? table->verticalHeader()->sizeHint().width() : 0;
        }
        // Long lists stop counting once past any screen.
        constexpr int kEnough = 4000;
        for (int row = 0; row < model->rowCount(view->rootIndex()) && height < kEnough; ++row)
            height += std::max(0, view->sizeHintForRow(row));
        for (int column = 0; column < model->columnCount(view->rootIndex()) && width < kEnough; ++column)
            width += std::max(0, view->sizeHintForColumn(column));
        width += view->style()->pixelMetric(QStyle::PM_ScrollBarExtent); // should a scroll bar still show
        shortfall = shortfall.expandedTo(QSize(width - view->width(), height - view->height()));
    }
    return shortfall;
}

} // namespace

bool isRemembered(const WindowMemory& memory) { return !(memory == WindowMemory{}); }

void placeOnFirstOpening(QWidget* window, const WindowMemory& memory, QSize wanted)
{
    if (isRemembered(memory))
        return;
    QRect bounds(QPoint(0, 0), wanted.expandedTo(window->minimumSize()));
    bounds.moveCenter(centreArea(window).center());
    window->setGeometry(keptOnScreen(bounds, availableArea(window), frameOf(window)));
}

void growToShow(QWidget* window, QSize needed)
{
    if (window->windowState().testFlag(Qt::WindowMaximized))
        return;
    QRect bounds = window->geometry();
    bounds.setSize(bounds.size().expandedTo(needed));
    if (bounds != window->geometry())
        window->setGeometry(keptOnScreen(bounds, availableArea(window), frameOf(window)));
}

void centreOnOwner(QWidget* window)
{
    QRect bounds = window->geometry();
    bounds.moveCenter(centreArea(window).center());
    window->setGeometry(keptOnScreen(bounds, availableArea(window), frameOf(window)));
}

void KeepWholeOnScreen(QWidget* window)
{
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QRect bounds = keptOnScreen(window->geometry(), availableArea(window), frameOf(window));
    if (bounds != window->geometry())
        window->setGeometry(bounds);
}

QSize firstOpeningSize(QWidget* window)
{
    if (QLayout* layout = window->layout())
        layout->activate();
    // A window never resized has Qt's default size, which says nothing about what it shows.
    const QSize given = window->testAttribute(Qt::WA_Resized) ? window->size() : QSize(0, 0);
    return given.expandedTo(window->sizeHint()) + contentsShortfall(window).expandedTo(QSize(0, 0));
}

void placeOnOpening(QWidget* window, const WindowMemory& memory)
{
    if (!isRemembered(memory)) {
        // A window the program opens maximized stays so.
        if (!window->windowState().testFlag(Qt::WindowMaximized))
            placeOnFirstOpening(window, memory, firstOpeningSize(window));
        return;
    }
    applyWindowMemory(window, memory);
    if (!memory.maximized)
        window->setGeometry(keptOnScreen(window->geometry(), availableArea(window), frameOf(window)));
}

void applyWindowMemory(QWidget* window, const WindowMemory& memory)
{
    window->setGeometry(onSomeScreen(QRect(memory.left, memory.top, memory.width, memory.height)));
    const Qt::WindowStates state = window->windowState();
    window->setWindowState(memory.maximized ? (state | Qt::WindowMaximized) : (state & ~Qt::WindowMaximized));
}

WindowMemory captureWindowMemory(QWidget* window)
{
    WindowMemory memory;
    memory.maximized = window->windowState().testFlag(Qt::WindowMaximized);
    QRect bounds = window->geometry();
    if (memory.maximized) {
        // The normal bounds are only known while the window is still maximized.
        if (window->normalGeometry().isValid())
            bounds = window->normalGeometry();
        window->setWindowState(window->windowState() & ~Qt::WindowMaximized);
        window->setGeometry(bounds);
    }
    memory.left = bounds.x();
    memory.top = bounds.y();
    memory.width = bounds.width();
    memory.height = bounds.height();
    return memory;
}

WindowMemoryKeeper::WindowMemoryKeeper(QWidget* window, WindowMemory& memory)
    : QObject(window), window_(window), memory_(&memory)
{
    InstallKeyboardRules(); // the keyboard and screen-reader habits every window shares
    window->installEventFilter(this);
}

WindowMemoryKeeper::WindowMemoryKeeper(QWidget* window) : WindowMemoryKeeper(window, ownMemory_) {}

bool WindowMemoryKeeper::eventFilter(QObject* watched, QEvent* event)
{
    // Spontaneous show and hide events come from minimizing and restoring, which are no
    // opening or closing of the window.
    if (watched == window_ && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            placeOnOpening(window_, *memory_);
        else if (event->type() == QEvent::Hide)
            *memory_ = captureWindowMemory(window_);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vestrum
