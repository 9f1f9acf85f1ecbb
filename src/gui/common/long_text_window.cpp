#include "gui/common/long_text_window.h"

#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vestrum {

void KeepTypedTextWithin(QPlainTextEdit* field, int maxLength)
{
    const int length = static_cast<int>(field->toPlainText().size());
    const int excess = length - maxLength;
    if (maxLength <= 0 || excess <= 0)
        return;
    const QString text = field->toPlainText();
    QTextCursor typed = field->textCursor();
    // A caret too near the start did not just type the excess (undo, a drop): the end goes then.
    const int end = typed.position() >= excess ? typed.position() : length;
    int start = end - excess;
    // A character outside the basic plane is two units: it goes whole or stays whole.
    if (start > 0 && text.at(start - 1).isHighSurrogate() && text.at(start).isLowSurrogate())
        --start;
    typed.setPosition(start);
    typed.setPosition(end, QTextCursor::KeepAnchor);
    const QSignalBlocker blocker(field);
    typed.removeSelectedText();
    field->setTextCursor(typed);
}

LongTextWindow::LongTextWindow(RunState& state, QWidget* parent)
    : QDialog(parent), state_(&state), heading_(new QLabel(this)), field_(new QPlainTextEdit(this)),
      save_(new QPushButton(QStringLiteral("zapamiętaj zmiany"), this)),
      discard_(new QPushButton(QStringLiteral("pomiń zmiany"), this))
{
    setObjectName(QStringLiteral("f_edit"));
    setWindowTitle(QStringLiteral("Edycja"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);

    heading_->setAlignment(Qt::AlignCenter);
    heading_->setWordWrap(true);
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);

    field_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    field_->installEventFilter(this);
    connect(field_, &QPlainTextEdit::textChanged, this, [this] { KeepTypedTextWithin(field_, maxLength_); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(field_, 1);
    // Equal halves put the buttons 4 pixels left and right of the middle.
    auto* buttons = new QGridLayout;
    buttons->setHorizontalSpacing(8);
    buttons->addWidget(save_, 0, 0, Qt::AlignRight);
    buttons->addWidget(discard_, 0, 1, Qt::AlignLeft);
    layout->addLayout(buttons);

    connect(save_, &QPushButton::clicked, this, &QDialog::accept);
    connect(discard_, &QPushButton::clicked, this, &QDialog::reject);
    new WindowMemoryKeeper(this, state.Windows[static_cast<size_t>(RememberedWindow::Edit)]);
}

void LongTextWindow::setHeading(const QString& heading)
{
    heading_->setText(heading);
}

void LongTextWindow::setText(const QString& text)
{
    const QSignalBlocker blocker(field_); // a given text is cut at its end, not at the caret
    field_->setPlainText(text);
    cutToMaxLength();
    field_->moveCursor(QTextCursor::Start);
}

QString LongTextWindow::text() const
{
    return field_->toPlainText();
}

void LongTextWindow::setMaxLength(int maxLength)
{
    maxLength_ = std::max(maxLength, 0);
    cutToMaxLength();
}

bool LongTextWindow::editText()
{
    return exec() == QDialog::Accepted;
}

void LongTextWindow::showReadOnly(const QString& heading, const QString& text, const QColor& background)
{
    setHeading(heading);
    setText(text);
    setViewOnly(true, background);
    exec();
    setViewOnly(false, Qt::white);
}

void LongTextWindow::setViewOnly(bool viewOnly, const QColor& background)
{
    field_->setReadOnly(viewOnly);
    QPalette palette = field_->palette();
    palette.setColor(QPalette::Base, background);
    field_->setPalette(palette);
    save_->setVisible(!viewOnly);
    discard_->setVisible(!viewOnly);
}

void LongTextWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, state_->UserFont);
    RelayoutWindow(this);
    // Opened for the first time: room for about twelve lines of 70 characters.
    const QFontMetrics metrics(field_->font());
    placeOnFirstOpening(this, state_->Windows[static_cast<size_t>(RememberedWindow::Edit)],
                        QSize(metrics.averageCharWidth() * 70 + 60, sizeHint().height() + metrics.lineSpacing() * 10));
    QDialog::showEvent(event);
    field_->setFocus();
}

// The text is one paragraph of a database field: Enter must not break it.
bool LongTextWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void LongTextWindow::cutToMaxLength()
{
    if (maxLength_ <= 0 || field_->toPlainText().size() <= maxLength_)
        return;
    const QSignalBlocker blocker(field_);
    const int position = std::min(field_->textCursor().position(), maxLength_);
    field_->setPlainText(field_->toPlainText().left(maxLength_));
    QTextCursor cursor = field_->textCursor();
    cursor.setPosition(position);
    field_->setTextCursor(cursor);
}

} // namespace vestrum
