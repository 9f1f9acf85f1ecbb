#pragma once

#include <QString>

#include <functional>

class QObject;
class QPushButton;
class QWidget;

namespace vestrum {

// What a screen reader says for a control that takes the focus: its label's text without the "&"
// of a mnemonic. The program's controls are laid out beside their captions rather than tied to
// them, so the label is found by position: left of the control in its row, or above it (a row of
// its own, a heading panel) — then the group, tab or page the control sits in, then the window's
// caption. A label beside the control in the same panel becomes its buddy, so the tie is also
// given to the screen reader as a relation; controls Qt names only from accessibleName (grids,
// lists, scroll areas, text boxes without a buddy) get the text as their accessible name.
// A name the program set itself is kept. Run again on every showing, as labels may change.
void GiveAccessibleName(QWidget* control);

// A command among several alike ("liczba=0 -> wykaz" beside each point of a section) is said with
// the point it belongs to: "<point>: <caption>", following the caption as it changes. The caption
// the user sees stays as it is. Call before the button is first shown.
void SpeakWithPoint(QPushButton* button, const QString& pointLabel);

// Screen-reader views of controls Qt names in a way a listener cannot use: a drop-down is named by
// its accessible name (its label) rather than by the value it shows, which stays its value; a
// button given SpeakWithPoint says its point. Installed once, by the keyboard rules.
void InstallAccessibleInterfaces();

// Tells a screen reader that the focus is on `child` (an accessible child's index) of `control`, for places Qt
// leaves unannounced. Every announcement the program makes itself goes through here.
void AnnounceFocus(QObject* control, int child);

// For tests, which have no screen reader to hear them: `listener` is told each announcement as well (an empty
// function: nobody is).
void ListenToAnnouncements(std::function<void(QObject* control, int child)> listener);

// The label text as a screen reader says it: "&" marks dropped ("&&" is a plain "&"), lines joined.
QString SpokenLabelText(const QString& labelText);

} // namespace vestrum
