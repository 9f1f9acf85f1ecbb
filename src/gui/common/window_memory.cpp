#include "gui/common/window_memory.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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

} // namespace

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
