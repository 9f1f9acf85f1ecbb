#include "gui/main/section_chooser.h"

#include "survey/form_catalogue.h"
#include "gui/common/user_font.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QStylePainter>

namespace vestrum {
namespace {

const QColor kNavy(0, 0, 128);

class SectionItemDelegate : public QStyledItemDelegate {
public:
    explicit SectionItemDelegate(SectionChooserWidget* chooser) : QStyledItemDelegate(chooser), chooser_(chooser) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        const bool selected = option.state & (QStyle::State_Selected | QStyle::State_MouseOver);
        painter->fillRect(option.rect, selected ? option.palette.color(QPalette::Active, QPalette::Highlight)
                                                : chooser_->palette().color(QPalette::Base));
        painter->setPen(selected ? QColor(Qt::white) : kNavy);
        painter->setFont(chooser_->font());
        painter->drawText(option.rect.adjusted(4, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data().toString());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(QFontMetrics(chooser_->font()).horizontalAdvance(index.data().toString()) + 12);
        size.setHeight(chooser_->rowHeight());
        return size;
    }

private:
    SectionChooserWidget* chooser_;
};

} // namespace

SectionChooserWidget::SectionChooserWidget(QWidget* parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("ComboBox1"));
    addItems(form::SectionChooserItems());
    setMaxVisibleItems(26);
    setItemDelegate(new SectionItemDelegate(this));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(20);
    setFixedHeight(rowHeight() + 6);
}

int SectionChooserWidget::rowHeight() const { return tjHeight(font()) + 3; }

void SectionChooserWidget::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    painter.setPen(isEnabled() ? kNavy : palette().color(QPalette::Disabled, QPalette::Text));
    painter.setFont(font());
    painter.drawText(field.adjusted(4 - field.left() + 2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(currentText(), Qt::ElideRight, field.width() - 4));
}

void SectionChooserWidget::showPopup()
{
    // The open list is as wide as the longest section name allows, within the screen.
    int widest = width();
    const QFontMetrics fm(font());
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, fm.horizontalAdvance(itemText(i)) + 24);
    if (const QScreen* screen = this->screen())
        widest = std::min(widest, screen->availableGeometry().width());
    view()->setMinimumWidth(widest);
    QComboBox::showPopup();
}

} // namespace vestrum
