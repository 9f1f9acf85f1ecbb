#include "gui/lists/entry_page.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace vestrum {

using lists::EntryInput;

namespace {
constexpr int kGripHeight = 6;
constexpr int kRowMargin = 3;
} // namespace

RowGripWidget::RowGripWidget(QWidget* row, QWidget* parent) : QWidget(parent), row_(row)
{
    setCursor(Qt::SizeVerCursor);
    setFixedHeight(kGripHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize RowGripWidget::sizeHint() const { return {20, kGripHeight}; }

void RowGripWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressY_ = static_cast<int>(event->globalPosition().y());
    startHeight_ = row_->height();
}

void RowGripWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (pressY_ < 0)
        return QWidget::mouseMoveEvent(event);
    const int height = startHeight_ + static_cast<int>(event->globalPosition().y()) - pressY_;
    emit dragged(std::max(height, row_->minimumSizeHint().height()));
}

void RowGripWidget::mouseReleaseEvent(QMouseEvent* event)
{
    pressY_ = -1;
    QWidget::mouseReleaseEvent(event);
}

void RowGripWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Mid));
    const int y = height() / 2;
    p.drawLine(4, y, width() - 5, y);
}

EntryPageWidget::EntryPageWidget(const lists::EntryPage& page, QWidget* parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    for (const lists::EntryField& f : page.fields) {
        Row row;
        row.field = f;
        row.panel = new QWidget(content);
        row.panel->setObjectName(f.panelName());
        auto* panelLayout = new QVBoxLayout(row.panel);
        panelLayout->setContentsMargins(kRowMargin, kRowMargin, kRowMargin, 0);
        panelLayout->setSpacing(2);
        row.caption = new QLabel(f.caption, row.panel);
        row.caption->setTextFormat(Qt::PlainText);
        row.caption->setWordWrap(true);
        panelLayout->addWidget(row.caption);

        switch (f.input) {
        case EntryInput::Line:
            row.input = new QLineEdit(row.panel);
            break;
        case EntryInput::Memo: {
            auto* memo = new QPlainTextEdit(row.panel);
            memo->setMinimumHeight(memo->fontMetrics().lineSpacing() + 10);
            memo->setTabChangesFocus(true);
            memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            row.input = memo;
            break;
        }
        case EntryInput::Choice:
        case EntryInput::EditableChoice: {
            auto* combo = new QComboBox(row.panel);
            combo->setEditable(f.input == EntryInput::EditableChoice);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            combo->setMinimumContentsLength(10);
            row.input = combo;
            break;
        }
        case EntryInput::CheckList:
            row.input = new QListWidget(row.panel);
            break;
        }
        row.input->setObjectName(f.inputName());
        row.caption->setBuddy(row.input);
        const bool grows = f.input == EntryInput::Memo || f.input == EntryInput::CheckList;
        panelLayout->addWidget(row.input, grows ? 1 : 0);
        if (!grows)
            panelLayout->addStretch(1);
        layout->addWidget(row.panel);

        row.grip = new RowGripWidget(row.panel, content);
        layout->addWidget(row.grip);
        const QString name = f.panelName();
        connect(row.grip, &RowGripWidget::dragged, this, [this, name](int height) {
            for (Row& r : rows_)
                if (r.panel->objectName() == name) {
                    r.panel->setFixedHeight(std::max(height, minimumRowHeight(r)));
                    lastHeights_[name] = r.panel->height();
                }
            emit rowDragged(name, height);
        });
        rows_.push_back(row);
    }
    layout->addStretch(1);
    setWidget(content);
}

EntryPageWidget::Row* EntryPageWidget::rowOfPanel(int panel)
{
    for (Row& r : rows_)
        if (r.field.panel == panel)
            return &r;
    return nullptr;
}

int EntryPageWidget::minimumRowHeight(const Row& row) const
{
    const int width = std::max(100, viewport()->width() - 2 * kRowMargin);
    const int caption = row.caption->fontMetrics()
                            .boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap, row.caption->text())
                            .height();
    int input = row.input->minimumSizeHint().height();
    if (row.field.input == EntryInput::Line || row.field.isChoice())
        input = row.input->sizeHint().height();
    if (row.field.input == EntryInput::Memo)
        input = row.input->fontMetrics().lineSpacing() + 10; // one line; the user font sets it as the minimum
    return kRowMargin + caption + 2 + input + 1;
}

int EntryPageWidget::defaultHeight(const Row& row) const
{
    const int lines = row.input->fontMetrics().lineSpacing();
    switch (row.field.input) {
    case EntryInput::Memo:
        return minimumRowHeight(row) + lines; // two lines
    case EntryInput::CheckList:
        return minimumRowHeight(row) + 8 * (lines + 3);
    default:
        return minimumRowHeight(row);
    }
}

void EntryPageWidget::showRows(const std::vector<int>& panels, const QMap<QString, int>& heights)
{
    for (Row& r : rows_) {
        const bool shown = std::find(panels.begin(), panels.end(), r.field.panel) != panels.end();
        r.panel->setVisible(shown);
        r.grip->setVisible(shown);
    }
    resizeRows(heights);
}

void EntryPageWidget::resizeRows(const QMap<QString, int>& heights)
{
    lastHeights_ = heights;
    for (Row& r : rows_) {
        if (r.panel->isHidden())
            continue;
        const int wanted = heights.value(r.panel->objectName(), defaultHeight(r));
        r.panel->setFixedHeight(std::max(wanted, minimumRowHeight(r)));
    }
}

bool EntryPageWidget::viewportEvent(QEvent* event)
{
    const bool handled = QScrollArea::viewportEvent(event);
    // Captions wrap at the viewport's width: rows the user has not sized follow it, and no row
    // gets less than its caption and input need. The scroll bar coming or going resizes the
    // viewport again; one round is enough.
    if (event->type() == QEvent::Resize && !resizing_) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (resize->oldSize().width() != resize->size().width()) {
            resizing_ = true;
            resizeRows(lastHeights_);
            resizing_ = false;
        }
    }
    return handled;
}

} // namespace vestrum
