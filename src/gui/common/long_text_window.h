#pragma once

#include "program/run_state.h"

#include <QColor>
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vestrum {

// After an edit of a multi-line field, keeps it within `maxLength` characters (0 is no limit):
// what was just typed or pasted ends at the caret and loses its part beyond the limit, as a
// one-line field refuses it, so the text after the caret is never cut instead.
void KeepTypedTextWithin(QPlainTextEdit* field, int maxLength);

// "Edycja": a long text under a heading, edited in a roomy field ("zapamiętaj zmiany" /
// "pomiń zmiany"), or only read, without buttons, for the hints of the main window.
// The window remembers its place (window 7 of the settings).
class LongTextWindow : public QDialog {
    Q_OBJECT
public:
    explicit LongTextWindow(RunState& state, QWidget* parent = nullptr);

    void setHeading(const QString& heading);
    void setText(const QString& text);
    QString text() const;
    // At most this many characters can be typed or pasted; 0 is no limit.
    void setMaxLength(int maxLength);

    // Shows the window modally; true after "zapamiętaj zmiany".
    bool editText();
    // Shows the text read-only on the given background and without buttons; afterwards the
    // window is editable, white and with its buttons again.
    void showReadOnly(const QString& heading, const QString& text, const QColor& background);

    QLabel* headingLabel() const { return heading_; }
    QPlainTextEdit* textField() const { return field_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* discardButton() const { return discard_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setViewOnly(bool viewOnly, const QColor& background);
    void cutToMaxLength();

    RunState* state_;
    QLabel* heading_;
    QPlainTextEdit* field_;
    QPushButton* save_;
    QPushButton* discard_;
    int maxLength_ = 0;
};

} // namespace vestrum
