#pragma once

#include <functional>

class QComboBox;

namespace vestrum {

// The keyboard habits of the desktop the survey comes from, for every window of the program:
// - a single-line field reached by the keyboard (Enter, Tab, a field the program moves to)
//   selects its whole text, so typing replaces the value instead of adding to it; a mouse click
//   still places the caret;
// - Enter on a focused push button presses it, as Space does;
// - Tab reaches every control that takes the focus and leaves it again (grids and text boxes
//   included), and each such control has a name a screen reader can say (GiveAccessibleName),
//   settled whenever the control is shown;
// - a window that closes gives the focus back to the control that had it when the window opened
//   (or to the window under it), whatever closed it, so the keyboard never stays with no window;
// - a field the program moved the focus to while its window was in the background (the field a
//   refusal returns to) has its whole text selected when the window comes back;
// - a list or table that gets the focus has its current item selected (the first one when none
//   is current), so Enter acts on what the user sees marked;
// - every window is kept whole on its screen when shown (KeepWholeOnScreen), after its own
//   placement.
// Installed once on the application; every window that takes typed data, and every window whose
// place is remembered, calls it when built.
void InstallKeyboardRules();

// Runs `moveOn` when a value of `combo` is chosen from its opened list (Enter in the list, a click).
// An arrow key, a letter or the wheel on the closed drop-down only changes the value and leaves the
// focus where it is; Enter on it is the caller's to handle.
void MoveOnAfterListChoice(QComboBox* combo, std::function<void()> moveOn);

} // namespace vestrum
