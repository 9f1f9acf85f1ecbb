#pragma once

#include <QColor>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QToolButton;

namespace vestrum {

// The yellow "Podpowiedzi i wyjaśnienia" panel under the section pages: a header with "X" at its
// right edge and the read-only hint text. A double click on the text asks for the long-text viewer.
class HintsPanelWidget : public QWidget {
    Q_OBJECT
public:
    explicit HintsPanelWidget(QWidget* parent = nullptr);

    static QColor background() { return QColor(255, 255, 200); }

    void setHintText(const QString& text); // scrolled to the top
    QString hintText() const;

    QLabel* header() const { return header_; }
    QToolButton* closeButton() const { return close_; }
    QPlainTextEdit* textField() const { return text_; }

signals:
    void closeClicked();
    void textDoubleClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* headerBar_;
    QLabel* header_;
    QToolButton* close_;
    QPlainTextEdit* text_;
};

} // namespace vestrum
