#include "gui/files/restore_window.h"

#include "gui/common/keyboard_rules.h"
#include "program/program.h"
#include "gui/common/user_font.h"
#include "datafile/restore_points.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestrum {
namespace {
constexpr int kPathRole = Qt::UserRole;
}

RestoreWindow::RestoreWindow(Program& program, QWidget* parent)
    : QDialog(parent), program_(program), list_(new QListWidget(this)),
      restore_(new QPushButton(QStringLiteral("przywróć dane"), this)),
      cancel_(new QPushButton(QStringLiteral("zrezygnuj"), this))
{
    InstallKeyboardRules();
    setObjectName(QStringLiteral("f_przywroc_dane"));
    setWindowTitle(QStringLiteral("Przywracanie danych"));
    setModal(true);
    list_->setObjectName(QStringLiteral("ListBox1"));
    restore_->setDefault(true);
    restore_->setAutoDefault(true);
    cancel_->setAutoDefault(false);

    auto* warning = new QLabel(QStringLiteral("Uwaga !!!"), this);
    warning->setAlignment(Qt::AlignCenter);
    QFont bold = warning->font();
    bold.setBold(true);
    warning->setFont(bold);
    auto* text = new QLabel(QStringLiteral("Przywracanie danych powoduje usunięcie wszelkich zmian w danych dokonanych  "
                                           "od wybranego punktu przywracania systemu."),
                            this);
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(restore_);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(warning);
    layout->addWidget(text);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(420, 420);

    connect(restore_, &QPushButton::clicked, this, &RestoreWindow::przywroc);
    connect(list_, &QListWidget::itemActivated, this, &RestoreWindow::przywroc);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

bool RestoreWindow::run()
{
    return exec() == QDialog::Accepted;
}

void RestoreWindow::fillList()
{
    list_->clear();
    for (const auto& entry : restorepoints::RestorePointEntries(program_.state.archiveFolder())) {
        auto* item = new QListWidgetItem(entry.line, list_);
        item->setData(kPathRole, entry.path);
    }
    list_->setCurrentRow(-1);
    list_->clearSelection();
}

void RestoreWindow::przywroc()
{
    const QList<QListWidgetItem*> chosen = list_->selectedItems();
    if (chosen.isEmpty()) {
        program_.notify(QStringLiteral("Nie wybrano żadnego punktu przywracania danych"), 0, MessageKind::Warning);
        return;
    }
    if (restore)
        restore(chosen.front()->data(kPathRole).toString());
    accept();
}

void RestoreWindow::showEvent(QShowEvent* event)
{
    fillList();
    ApplyUserFont(this, program_.state.UserFont);
    QDialog::showEvent(event);
    // A list with the focus marks its first line as current, which would look like a choice made.
    restore_->setFocus();
}

} // namespace vestrum
