#pragma once

namespace vestrum {

// The keyboard habits of the desktop the survey comes from, for every window of the program:
// - a single-line field reached by the keyboard (Enter, Tab, a field the program moves to)
//   selects its whole text, so typing replaces the value instead of adding to it; a mouse click
//   still places the caret;
// - Enter on a focused push button presses it, as Space does.
// Installed once on the application; every window that takes typed data calls it when built.
void InstallKeyboardRules();

} // namespace vestrum
