#pragma once

namespace vestrum {

// The keyboard habits of the desktop the survey comes from, for every window of the program:
// - a single-line field reached by the keyboard (Enter, Tab, a field the program moves to)
//   selects its whole text, so typing replaces the value instead of adding to it; a mouse click
//   still places the caret;
// - Enter on a focused push button presses it, as Space does;
// - Tab reaches every control that takes the focus and leaves it again (grids and text boxes
//   included), and each such control has a name a screen reader can say (GiveAccessibleName),
//   settled whenever the control is shown.
// Installed once on the application; every window that takes typed data, and every window whose
// place is remembered, calls it when built.
void InstallKeyboardRules();

} // namespace vestrum
