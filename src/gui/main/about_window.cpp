#include "gui/main/about_window.h"

#include "program/startup.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vestrum {
namespace {

// Every cell has a grey frame and its text inset by 5 pixels, drawn as plain text.
class FramedCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        painter->fillRect(option.rect, Qt::white);
        painter->setPen(QColor(128, 128, 128));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->setPen(Qt::black);
        painter->drawText(option.rect.adjusted(5, 0, -5, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                          index.data().toString());
        painter->restore();
    }
};

} // namespace

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(this)), updateNote_(new QLabel(this))
{
    setWindowTitle(QStringLiteral("O programie ..."));
    setObjectName(QStringLiteral("AboutWindow"));

    auto* product = new QLabel(QStringLiteral("Vestrum 2008"), this);
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 4);
    product->setFont(bold);
    product->setAlignment(Qt::AlignCenter);

    auto* versionLabel = new QLabel(QStringLiteral("wersja:"), this);
    auto* notes = new QPlainTextEdit(this);
    notes->setReadOnly(true);
    notes->setPlainText(QStringLiteral(
        "Program służy do wypełnienia rocznej ankiety jednostki naukowej dla ministerstwa nauki.\n\n"
        "Pytania dotyczące programu i zgłoszenia błędów prosimy kierować do zespołu wsparcia programu "
        "Vestrum, podając wersje składników z tabeli poniżej oraz opis kroków prowadzących do problemu.\n"
        "Przed zgłoszeniem warto zapisać dane (menu \"Operacje na danych\") i dołączyć zbiór danych."));
    notes->setMaximumHeight(120);

    table_->setColumnCount(2);
    table_->horizontalHeader()->hide();
    table_->verticalHeader()->hide();
    table_->setShowGrid(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setItemDelegate(new FramedCellDelegate(table_));
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // Every row one line high, the journal list's row too.
    table_->setWordWrap(false);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    updateNote_->setWordWrap(true);
    updateNote_->hide();

    auto* back = new QPushButton(QStringLiteral("wróć"), this);
    connect(back, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(product);
    layout->addWidget(versionLabel);
    layout->addWidget(notes);
    layout->addWidget(table_);
    layout->addWidget(updateNote_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(back);
    buttons->addStretch();
    layout->addLayout(buttons);
    resize(460, 420);
}

void AboutWindow::setVersions(const QVector<QPair<QString, QString>>& rows)
{
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        table_->setItem(r, 0, new QTableWidgetItem(rows[r].first));
        table_->setItem(r, 1, new QTableWidgetItem(rows[r].second));
    }
}

void AboutWindow::setUpdateNote(const QString& note)
{
    updateNote_->setText(note);
    updateNote_->setVisible(!note.isEmpty());
}

QString AboutWindow::updateNote() const { return updateNote_->text(); }

QVector<QPair<QString, QString>> AboutWindow::versions() const
{
    QVector<QPair<QString, QString>> rows;
    for (int r = 0; r < table_->rowCount(); ++r)
        rows.append({table_->item(r, 0)->text(), table_->item(r, 1)->text()});
    return rows;
}

} // namespace vestrum
