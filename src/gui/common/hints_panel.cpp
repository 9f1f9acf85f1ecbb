#include "gui/common/hints_panel.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace vestrum {

HintsPanelWidget::HintsPanelWidget(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PanelHints"));
    headerBar_ = new QWidget(this);
    header_ = new QLabel(QString::fromUtf8("Podpowiedzi i wyjaśnienia"), headerBar_);
    header_->setTextFormat(Qt::PlainText);
    QFont bold = header_->font();
    bold.setBold(true);
    header_->setFont(bold);
    close_ = new QToolButton(headerBar_);
    close_->setText(QStringLiteral("X"));
    close_->setObjectName(QStringLiteral("bHintsClose"));

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("MemoHints"));
    text_->setReadOnly(true);
    text_->setAccessibleName(header_->text()); // the caption sits in a bar of its own above
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette p = text_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Base, background());
    text_->setPalette(p);
    text_->viewport()->installEventFilter(this);
    headerBar_->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(headerBar_);
    layout->addWidget(text_, 1);
    connect(close_, &QToolButton::clicked, this, &HintsPanelWidget::closeClicked);
}

void HintsPanelWidget::setHintText(const QString& text)
{
    text_->setPlainText(text);
    text_->verticalScrollBar()->setValue(0);
}

QString HintsPanelWidget::hintText() const { return text_->toPlainText(); }

bool HintsPanelWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        emit textDoubleClicked();
        return true;
    }
    if (watched == headerBar_ && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)) {
        const int h = std::max(header_->sizeHint().height(), close_->sizeHint().height()) + 4;
        headerBar_->setFixedHeight(h);
        header_->setGeometry(4, 2, std::max(0, headerBar_->width() - close_->sizeHint().width() - 12),
                             h - 4);
        close_->resize(close_->sizeHint().width(), h - 4);
        close_->move(headerBar_->width() - close_->width() - 2, 2); // 2 px from the right edge
    }
    return QWidget::eventFilter(watched, event);
}

void HintsPanelWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    QEvent relayout(QEvent::LayoutRequest);
    eventFilter(headerBar_, &relayout);
}

} // namespace vestrum
