#pragma once

#include <QDialog>

#include <QElapsedTimer>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

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

    // An operation that may be stopped shows "Przerwij", which (like Esc) calls `stop`; an empty function
    // hides the button again.
    void allowStopping(std::function<void()> stop);
    QPushButton* stopButton() const { return Przerwij; }
    void reject() override;

private:
    void refresh();

    QProgressBar* Pasek;
    QLabel* Lbl;
    QPushButton* Przerwij;
    std::function<void()> stop_;
    QElapsedTimer sinceRepaint_;
    int position_ = 0; // the bar shows it at the next repaint: it would repaint itself at every step
};

} // namespace vestrum
