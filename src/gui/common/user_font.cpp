#include "gui/common/user_font.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTableView>
#include <QTextBrowser>
#include <QTreeView>

namespace vestrum {
namespace {

// Rows of list and tree views follow the font: the platform's own rows are often taller than the
// text needs, and the entry dialogs count on lists showing as many rows as they were designed for.
class RowHeightDelegate : public QStyledItemDelegate {
public:
    RowHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
    void setRowHeight(int height) { height_ = height; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(height_);
        return size;
    }

private:
    int height_;
};

// Controls whose inner widgets are their own business; everything else is a container that the
// font walk and the relayout go through.
bool isLeafControl(const QWidget* w)
{
    if (qobject_cast<const QScrollArea*>(w))
        return false;
    return qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const QComboBox*>(w)
        || qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QLineEdit*>(w)
        || qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLabel*>(w)
        || qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QProgressBar*>(w)
        || qobject_cast<const QTabBar*>(w);
}

QList<QWidget*> childWidgets(const QWidget* w)
{
    return w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
}

bool keepsOwnFont(const QWidget* w)
{
    const bool leaf = isLeafControl(w) || childWidgets(w).isEmpty();
    return leaf && w->property(kTagProperty).toInt() == kKeepFontTag;
}

bool layoutHolds(const QLayout* layout, const QWidget* w)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w)
            return true;
        if (item->layout() && layoutHolds(item->layout(), w))
            return true;
    }
    return false;
}

// A control placed by a layout gets its size from the layout; only free-standing ones are resized.
bool placedByLayout(const QWidget* w)
{
    const QWidget* parent = w->parentWidget();
    return parent && parent->layout() && layoutHolds(parent->layout(), w);
}

QString captionOf(const QAbstractButton* b)
{
    QString text = b->text();
    text.remove(QLatin1Char('&'));
    return text;
}

void setItemHeight(QAbstractItemView* view, int height)
{
    if (auto* ours = dynamic_cast<RowHeightDelegate*>(view->itemDelegate())) {
        ours->setRowHeight(height);
    } else if (view->itemDelegate() && view->itemDelegate()->metaObject() == &QStyledItemDelegate::staticMetaObject) {
        view->setItemDelegate(new RowHeightDelegate(height, view)); // never replace a window's own delegate
    }
    view->doItemsLayout();
}

void sizeControl(QWidget* w, const QFontMetrics& fm, int tj, const std::function<void(QTableView*)>& fitGrid)
{
    if (auto* table = qobject_cast<QTableView*>(w)) {
        table->verticalHeader()->setDefaultSectionSize(tj + 10);
        if (fitGrid)
            fitGrid(table);
    } else if (auto* list = qobject_cast<QListView*>(w)) {
        setItemHeight(list, tj + 3);
        if (qobject_cast<QListWidget*>(w) && w->sizePolicy().verticalPolicy() == QSizePolicy::Fixed)
            w->setFixedHeight(tj + 3 + 6); // a one-row list box; lists filling their area keep their size
    } else if (auto* tree = qobject_cast<QTreeView*>(w)) {
        setItemHeight(tree, tj + 3);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->setFixedHeight(tj + 3 + 6);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->property(kNumberFieldProperty).toBool()) {
        edit->setFixedWidth(fm.horizontalAdvance(QStringLiteral("999999999,99")) + 10); // + frame and margins
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        radio->setFixedSize(fm.horizontalAdvance(captionOf(radio)) + 32, tj + 10);
    } else if (auto* button = qobject_cast<QPushButton*>(w); button && !button->text().isEmpty()) {
        button->setFixedSize(fm.horizontalAdvance(captionOf(button)) + 16, tj + 8);
    } else if (qobject_cast<QPlainTextEdit*>(w)
               || (qobject_cast<QTextEdit*>(w) && !qobject_cast<QTextBrowser*>(w))) {
        w->setMinimumHeight(tj + 6);
        if (!placedByLayout(w))
            w->resize(w->width(), tj + 6);
    }
}

void applyTo(QWidget* w, const UserFontSpec& userFont, const std::function<void(QTableView*)>& fitGrid)
{
    if (keepsOwnFont(w))
        return;
    QFont font = w->font();
    font.setFamily(userFont.name);
    font.setPointSize(userFont.size);
    w->setFont(font);
    if (isLeafControl(w)) {
        const QFontMetrics fm(font);
        sizeControl(w, fm, fm.height(), fitGrid);
        return;
    }
    for (QWidget* child : childWidgets(w))
        applyTo(child, userFont, fitGrid);
}

// A widget whose font was only inherited would follow its parent's new font; pin the fonts of
// the controls that must keep theirs before the walk changes their parents.
void pinKeptFonts(QWidget* w)
{
    if (keepsOwnFont(w)) {
        QFont font = w->font();
        font.setFamily(font.family());
        font.setPointSizeF(font.pointSizeF());
        w->setFont(font);
        return;
    }
    if (isLeafControl(w))
        return;
    for (QWidget* child : childWidgets(w))
        pinKeptFonts(child);
}

void relayout(QWidget* w)
{
    if (isLeafControl(w))
        return;
    for (QWidget* child : childWidgets(w))
        relayout(child);
    if (QLayout* layout = w->layout()) {
        layout->invalidate();
        layout->activate();
    }
    // Panels that place their labels and fields themselves do it in their resize handler.
    QResizeEvent event(w->size(), w->size());
    QApplication::sendEvent(w, &event);
}

} // namespace

int tjHeight(const QFont& font)
{
    return QFontMetrics(font).height();
}

void ApplyUserFont(QWidget* window, const UserFontSpec& font, const std::function<void(QTableView*)>& fitGrid)
{
    if (!window)
        return;
    pinKeptFonts(window);
    applyTo(window, font, fitGrid);
}

void SetButtonCaption(QAbstractButton* button, const QString& caption)
{
    button->setText(caption);
    auto* push = qobject_cast<QPushButton*>(button);
    if (push && push->minimumWidth() == push->maximumWidth() && !caption.isEmpty())
        push->setFixedWidth(push->fontMetrics().horizontalAdvance(captionOf(push)) + 16);
}

void RelayoutWindow(QWidget* window)
{
    if (!window)
        return;
    relayout(window);
    window->update();
}

} // namespace vestrum
