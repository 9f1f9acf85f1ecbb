#pragma once

#include "program/run_state.h"

#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace vestrum {

// "Pomoc do programu": the help pages of the folder "pomoc" beside the program, in a window of
// their own that stays open beside the others until the program closes it.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(const RunState& state, QWidget* parent = nullptr);

    // Opens the window at the start page ("pomoc/index.html"), or brings it to the front.
    void showHelp();
    // Part of the program's closing: the help goes with it.
    void closeHelp();

    QString startPage() const;
    QTextBrowser* browser() const { return browser_; }
    QPushButton* contentsButton() const { return contents_; }
    QPushButton* backwardButton() const { return backward_; }
    QPushButton* forwardButton() const { return forward_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void openStartPage();

    const RunState* state_;
    QTextBrowser* browser_;
    QPushButton* contents_;
    QPushButton* backward_;
    QPushButton* forward_;
};

} // namespace vestrum
