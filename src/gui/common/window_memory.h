#pragma once

#include "program/run_state.h"

#include <QObject>
#include <QSize>

class QWidget;

namespace vestrum {

// Puts a window where it was left: the normal bounds first, then maximized when it was.
// Bounds that would leave the window off every screen are pulled back onto the primary screen.
void applyWindowMemory(QWidget* window, const WindowMemory& memory);

// The maximized flag and the normal bounds of the window. A maximized window is put back to
// normal state first, so that the bounds stored are the ones it returns to.
WindowMemory captureWindowMemory(QWidget* window);

// Whether the memory holds bounds the window was given: a window never opened has the defaults.
bool isRemembered(const WindowMemory& memory);

// A window opened for the first time (nothing remembered) gets `wanted` (kept within the screen)
// and is centred on the window it belongs to, or on the screen. Windows call it when shown, once
// their controls have the user's font, so the size fits what they show.
void placeOnFirstOpening(QWidget* window, const WindowMemory& memory, QSize wanted);

// Centres a window on the window it belongs to (or the screen) without changing its size.
void centreOnOwner(QWidget* window);

// Keeps one window's memory up to date: applied each time the window is shown (a window's own
// showEvent, which comes after, may then call placeOnFirstOpening), captured each time it is
// closed or hidden. The memory (an entry of RunState::Windows) must outlive the window.
class WindowMemoryKeeper : public QObject {
public:
    WindowMemoryKeeper(QWidget* window, WindowMemory& memory);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    WindowMemory* memory_;
};

} // namespace vestrum
