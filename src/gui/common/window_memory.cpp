#include "gui/common/window_memory.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
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

} // namespace

bool isRemembered(const WindowMemory& memory) { return !(memory == WindowMemory{}); }

void placeOnFirstOpening(QWidget* window, const WindowMemory& memory, QSize wanted)
{
    if (isRemembered(memory))
        return;
    const QRect area = availableArea(window);
    wanted = wanted.expandedTo(window->minimumSize()).boundedTo(area.size());
    QRect bounds(QPoint(0, 0), wanted);
    bounds.moveCenter(centreArea(window).center());
    // Kept whole on the screen, the title bar included.
    bounds.moveLeft(std::clamp(bounds.left(), area.left(), std::max(area.left(), area.right() - bounds.width())));
    bounds.moveTop(std::clamp(bounds.top(), area.top() + 30, std::max(area.top() + 30, area.bottom() - bounds.height())));
    window->setGeometry(bounds);
}

void centreOnOwner(QWidget* window)
{
    QRect bounds = window->geometry();
    bounds.moveCenter(centreArea(window).center());
    const QRect area = availableArea(window);
    bounds.moveTop(std::max(bounds.top(), area.top() + 30));
    bounds.moveLeft(std::max(bounds.left(), area.left()));
    window->setGeometry(bounds);
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
    window->installEventFilter(this);
}

bool WindowMemoryKeeper::eventFilter(QObject* watched, QEvent* event)
{
    // Spontaneous show and hide events come from minimizing and restoring, which are no
    // opening or closing of the window.
    if (watched == window_ && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            applyWindowMemory(window_, *memory_);
        else if (event->type() == QEvent::Hide)
            *memory_ = captureWindowMemory(window_);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vestrum
