#include "gui/files/merge_window.h"

#include "base/error.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "gui/files/load_data_window.h"
#include "program/program.h"

#include <QApplication>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vestrum {
namespace {

QPushButton* button(const QString& caption, QWidget* parent, const QString& name)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The list's own delegate wraps a long caption when it paints it but measures it as one line. This one
// measures it wrapped at the width left beside the tick box, so every line gets the height of its caption.
// (A class of its own, so that the user's font leaves it in place.)
class WrappingDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit WrappingDelegate(QListWidget* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QSize oneLine = QStyledItemDelegate::sizeHint(option, index);
        QStyleOptionViewItem wrapped(option);
        wrapped.rect = QRect(0, 0, list_->viewport()->width(), 1);
        QSize size = QStyledItemDelegate::sizeHint(wrapped, index);
        size.setWidth(std::min(size.width(), list_->viewport()->width()));
        size.setHeight(std::max(size.height(), oneLine.height()) + 4);
        return size;
    }

private:
    QListWidget* list_;
};

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

MergeWindow::MergeWindow(Program& program, QWidget* parent)
    : QDialog(parent), program_(program), pages_(new QStackedWidget(this))
{
    setObjectName(QStringLiteral("f_laczenie"));
    setWindowTitle(QStringLiteral("Łączenie danych"));
    setModal(true);
    pages_->addWidget(buildRangePage());
    pages_->addWidget(buildFilePage());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    resize(640, 560);
    new WindowMemoryKeeper(this, program.state.Windows[static_cast<size_t>(RememberedWindow::Laczenie)]);
}

QWidget* MergeWindow::buildRangePage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("zakres łączonych danych"));
    auto* all = button(QStringLiteral("wszystkie"), page, QStringLiteral("bb_wszystkie"));
    auto* none = button(QStringLiteral("żaden"), page, QStringLiteral("bb_zaden"));
    auto* next = button(QStringLiteral("dalej"), page, QStringLiteral("bb_dalej"));
    auto* back = button(QStringLiteral("wróć"), page, QStringLiteral("bb_wroc1"));
    items_ = new QListWidget(page);
    items_->setObjectName(QStringLiteral("CheckListBox1"));
    // Long captions wrap within the list's width instead of being cut short.
    items_->setWordWrap(true);
    items_->setTextElideMode(Qt::ElideNone);
    items_->setResizeMode(QListView::Adjust);
    items_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    items_->setItemDelegate(new WrappingDelegate(items_));
    for (const merge::MergeItem& item : merge::MergeItems()) {
        auto* row = new QListWidgetItem(item.caption, items_);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        row->setCheckState(Qt::Unchecked);
    }
    // A click anywhere on a line ticks it, as in the check lists of the other windows.
    connect(items_, &QListWidget::itemActivated, this, [](QListWidgetItem* row) {
        row->setCheckState(row->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    });

    auto* top = new QHBoxLayout;
    top->addWidget(all);
    top->addWidget(none);
    top->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(next);
    bottom->addWidget(back);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(items_, 1);
    layout->addLayout(bottom);

    connect(all, &QPushButton::clicked, this, &MergeWindow::wszystkie);
    connect(none, &QPushButton::clicked, this, &MergeWindow::zaden);
    connect(next, &QPushButton::clicked, this, &MergeWindow::dalej);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
    return page;
}

QWidget* MergeWindow::buildFilePage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("wybór zbioru"));
    auto* title = new QLabel(QStringLiteral("Wybierz położenie łączonych danych"), page);
    auto* mask = new QLabel(QStringLiteral("(skompresowane zbiory o rozszerzeniu .naj)"), page);
    browser_ = new DataFileBrowser(page);
    browser_->setMask(QStringLiteral("*.naj"));
    auto* merge = button(QStringLiteral("połącz dane"), page, QStringLiteral("bb_polacz"));
    auto* back = button(QStringLiteral("wróć"), page, QStringLiteral("bb_wroc2"));

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(merge);
    bottom->addWidget(back);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title);
    layout->addWidget(mask);
    layout->addWidget(browser_, 1);
    layout->addLayout(bottom);

    browser_->onDriveUnavailable = [this] {
        program_.notify(QStringLiteral("Dysk jest niedostępny"), 0, MessageKind::Error);
    };
    browser_->onFileActivated = [this](const QString&) { polaczDane(); };
    connect(merge, &QPushButton::clicked, this, &MergeWindow::polaczDane);
    connect(back, &QPushButton::clicked, this, &MergeWindow::wroc);
    return page;
}

bool MergeWindow::run()
{
    pages_->setCurrentIndex(0);
    const QString current = program_.state.CurrentDataFile;
    browser_->setFolder(current.isEmpty() ? browser_->folder() : QFileInfo(current).absolutePath());
    return exec() == QDialog::Accepted;
}

merge::ItemChoice MergeWindow::ticked() const
{
    merge::ItemChoice items = merge::NoItems();
    for (int i = 0; i < items_->count() && i < merge::MergeItemCount; ++i)
        items[static_cast<size_t>(i)] = items_->item(i)->checkState() == Qt::Checked;
    return items;
}

void MergeWindow::setTicked(const merge::ItemChoice& items)
{
    for (int i = 0; i < items_->count() && i < merge::MergeItemCount; ++i)
        items_->item(i)->setCheckState(items[static_cast<size_t>(i)] ? Qt::Checked : Qt::Unchecked);
}

void MergeWindow::tickAll(bool on)
{
    setTicked(on ? merge::AllItems() : merge::NoItems());
}

void MergeWindow::wszystkie()
{
    tickAll(true);
}

void MergeWindow::zaden()
{
    tickAll(false);
}

void MergeWindow::dalej()
{
    pages_->setCurrentIndex(1);
}

void MergeWindow::wroc()
{
    pages_->setCurrentIndex(0);
}

int MergeWindow::currentPage() const
{
    return pages_->currentIndex();
}

void MergeWindow::polaczDane()
{
    const QString path = browser_->selectedFile();
    try {
        {
            BusyCursor busy;
            if (merge)
                merge(path, ticked());
        }
        accept();
    } catch (const Error& error) {
        // A refusal or a failed merge: the survey is as it was and the user may pick another file.
        program_.notify(error.message(), 0, MessageKind::Warning);
    }
}

void MergeWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    QDialog::showEvent(event);
}

} // namespace vestrum

#include "merge_window.moc"
