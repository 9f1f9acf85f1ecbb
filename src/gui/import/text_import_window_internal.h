#pragma once

#include <QApplication>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// What the files of the text import window share; nothing outside gui/import/ includes this header.
namespace vestrum::textimport {

inline constexpr char kPreviewHeading[] = "Weryfikacja wyników i ładowanie danych";
inline constexpr char kWorkbookItem[] = "arkusz";
// A line longer than this is shown cut: a text field lays out a whole line at once, and one of megabytes
// would keep the window from answering. The text read is the whole one.
inline constexpr qsizetype kShownLineLetters = 2000;

QString S(const char* text);
// A button that Enter in a field does not press.
QPushButton* button(const char* caption, QWidget* parent);
// A caption in bold over a part of a page.
QLabel* heading(const char* text, QWidget* parent);

// Restores the normal pointer however the reading ends.
struct BusyPointer {
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

} // namespace vestrum::textimport
