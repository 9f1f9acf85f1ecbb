#pragma once

#include "program/run_state.h"

#include <functional>

class QAbstractButton;
class QFont;
class QTableView;
class QWidget;

namespace vestrum {

// Widgets carry the designer's "Tag" as the dynamic property "tag"; a control without children
// tagged -1 keeps its own font (coloured headings, symbol fonts).
inline constexpr char kTagProperty[] = "tag";
inline constexpr int kKeepFontTag = -1;
// A line edit holding amounts is marked with this property set to true and gets room for
// "999999999,99".
inline constexpr char kNumberFieldProperty[] = "numberField";

// Height of the text "Tj" in the font: the unit every control size below is measured in.
int tjHeight(const QFont& font);

// Gives every control of the window the user's font (name and size; style and colour stay) and
// sizes lists, drop-down lists, buttons, radio buttons, number fields, grids and one-line memos
// from the font's "Tj" height. Grids then get their columns fitted by `fitGrid` when given.
void ApplyUserFont(QWidget* window, const UserFontSpec& font,
                   const std::function<void(QTableView*)>& fitGrid = {});

// Gives a button a new caption; one sized to its caption (ApplyUserFont) is sized to the new one,
// so a longer count is not cut.
void SetButtonCaption(QAbstractButton* button, const QString& caption);

// Re-runs the placement of the window's controls, innermost containers first, then repaints.
void RelayoutWindow(QWidget* window);

} // namespace vestrum
