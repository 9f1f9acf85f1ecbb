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

// The placement rule of every window of the program. The first opening (nothing remembered) is
// centred on the window it belongs to (or on the screen) at a size that shows all its commands
// and contents; every opening, remembered or not, is kept whole on the current screen, title bar
// and commands included, shrunk to the screen's available size when bigger. A window the program
// opens maximized, or that was closed maximized, stays so. WindowMemoryKeeper runs it on showing.
void placeOnOpening(QWidget* window, const WindowMemory& memory);

// The size a window first opens at: its current size, grown to its layout's wish and to what its
// lists and tables need to show every row and column.
QSize firstOpeningSize(QWidget* window);

// A window opened for the first time (nothing remembered) gets `wanted`, centred and kept on the
// screen as above. Windows call it when shown, once their controls have the user's font, so the
// size fits what they show.
void placeOnFirstOpening(QWidget* window, const WindowMemory& memory, QSize wanted);

// Makes a window at least `needed` (up to the screen's available size), kept whole on the screen;
// a maximized window is left alone. For windows whose commands must all show whatever size they
// were left at.
void growToShow(QWidget* window, QSize needed);

// Centres a window on the window it belongs to (or the screen) without changing its size, kept
// whole on the screen.
void centreOnOwner(QWidget* window);

// The one fitting rule of every window, run by the keyboard rules after a window's own placement
// on each showing: a window not maximized is made no bigger than the available screen area (title
// bar included) and moved onto it. Its tables and text areas scroll in what is left.
void KeepWholeOnScreen(QWidget* window);

// Keeps one window's memory up to date: placed by placeOnOpening each time the window is shown (a
// window's own showEvent, which comes after, may then call placeOnFirstOpening), captured each
// time it is closed or hidden. The memory (an entry of RunState::Windows) must outlive the window;
// a window with no entry there is remembered for the run only.
class WindowMemoryKeeper : public QObject {
public:
    WindowMemoryKeeper(QWidget* window, WindowMemory& memory);
    explicit WindowMemoryKeeper(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    WindowMemory ownMemory_;
    WindowMemory* memory_;
};

} // namespace vestrum
