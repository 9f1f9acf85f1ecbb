#pragma once

#include <QWidget>

class QLabel;

namespace vestrum {

// The borderless grey window that counts the pages while a preview or a PDF is made.
class PrintProgressWindow : public QWidget {
public:
    explicit PrintProgressWindow(QWidget* parent = nullptr);

    void start(const QString& caption); // shows the window with the caption above the page line
    void showPage(int page);            // "strona N", then lets the window repaint
    QString pageLine() const;

private:
    QLabel* caption_;
    QLabel* page_;
};

} // namespace vestrum
