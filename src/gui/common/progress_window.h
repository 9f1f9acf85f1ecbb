#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace vestrum {

// The small progress window of long operations: caption, a bar and a word-wrapped label.
// The position always stays within the bar's range, however many steps are made.
class ProgressWindow : public QDialog {
public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    void setLabel(const QString& text);
    QString label() const;
    void setMaximum(int maximum);
    int maximum() const;
    void setPosition(int position);
    int position() const;
    void step(); // adds 1 to the position

    // Shows the window with the user's font and lets the interface repaint.
    void start(const QString& caption, const QString& label, int maximum, const QFont& font);
    void finish();

private:
    void refresh();

    QProgressBar* Pasek;
    QLabel* Lbl;
};

} // namespace vestrum
