#include "gui/print/report_choice_window.h"

#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "program/program.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestrum {

ReportChoiceWindow::ReportChoiceWindow(Program& program, std::function<void(const report::TickedEntries&)> print,
                                       QWidget* parent)
    : QDialog(parent), printCommand_(std::move(print))
{
    setObjectName(QStringLiteral("f_wydruk"));
    setWindowTitle(QStringLiteral("Wydruk"));
    setMinimumSize(300, 300);
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);

    all_ = new QPushButton(QStringLiteral("wszystkie"), this);
    none_ = new QPushButton(QString::fromUtf8("żaden"), this);
    print_ = new QPushButton(QStringLiteral("drukuj"), this);
    back_ = new QPushButton(QString::fromUtf8("wróć"), this);
    list_ = new QListWidget(this);
    for (const report::ReportEntry& entry : report::ReportEntries()) {
        auto* item = new QListWidgetItem(entry.text, list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }

    auto* top = new QHBoxLayout;
    top->addWidget(all_);
    top->addWidget(none_);
    top->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(print_);
    bottom->addWidget(back_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(bottom);

    connect(all_, &QPushButton::clicked, this, [this] { setTicked(report::TickedEntries().set()); });
    connect(none_, &QPushButton::clicked, this, [this] { setTicked({}); });
    connect(back_, &QPushButton::clicked, this, &QDialog::reject);
    connect(print_, &QPushButton::clicked, this, [this] {
        const report::TickedEntries chosen = ticked();
        accept();
        if (printCommand_)
            printCommand_(chosen);
    });
    connect(list_, &QListWidget::itemChanged, this, &ReportChoiceWindow::itemChanged);

    resize(520, 640);
    new WindowMemoryKeeper(this, program.state.Windows[static_cast<size_t>(RememberedWindow::Wydruk)]);
    ApplyUserFont(this, program.state.UserFont);
}

report::TickedEntries ReportChoiceWindow::ticked() const
{
    report::TickedEntries result;
    for (int i = 0; i < list_->count() && i < report::kEntryCount; ++i)
        result.set(static_cast<size_t>(i), list_->item(i)->checkState() == Qt::Checked);
    return result;
}

void ReportChoiceWindow::setTicked(const report::TickedEntries& ticked)
{
    updating_ = true;
    for (int i = 0; i < list_->count() && i < report::kEntryCount; ++i)
        list_->item(i)->setCheckState(ticked.test(static_cast<size_t>(i)) ? Qt::Checked : Qt::Unchecked);
    updating_ = false;
}

void ReportChoiceWindow::showEvent(QShowEvent* event)
{
    setTicked({}); // every opening starts with nothing ticked
    QDialog::showEvent(event);
}

// Ticking or clearing a parent gives its parts the same state.
void ReportChoiceWindow::itemChanged(QListWidgetItem* item)
{
    if (updating_)
        return;
    report::TickedEntries current = ticked();
    report::SetEntry(current, list_->row(item), item->checkState() == Qt::Checked);
    setTicked(current);
}

} // namespace vestrum
