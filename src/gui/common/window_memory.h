#pragma once

#include "program/run_state.h"

#include <QObject>

class QWidget;

namespace vestrum {

// Puts a window where it was left: the normal bounds first, then maximized when it was.
// Bounds that would leave the window off every screen are pulled back onto the primary screen.
void applyWindowMemory(QWidget* window, const WindowMemory& memory);

// The maximized flag and the normal bounds of the window. A maximized window is put back to
// normal state first, so that the bounds stored are the ones it returns to.
WindowMemory captureWindowMemory(QWidget* window);

// Keeps one window's memory up to date: applied each time the window is shown, captured each
// time it is closed or hidden. The memory (an entry of RunState::Windows) must outlive the window.
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
