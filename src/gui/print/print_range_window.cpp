#include "gui/print/print_range_window.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vestrum {

namespace {

QLineEdit* pageField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{1,4}")), field));
    field->setMaxLength(4);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("99999")) + 12);
    return field;
}

} // namespace

PrintRangeWindow::PrintRangeWindow(QWidget* parent)
    : QDialog(parent), parity_(new QComboBox(this)),
      whole_(new QRadioButton(QStringLiteral("wszystko"), this)), pages_(new QRadioButton(QStringLiteral("strony"), this)),
      from_(pageField(this)), to_(pageField(this)), print_(new QPushButton(QStringLiteral("drukuj"), this)),
      back_(new QPushButton(QStringLiteral("wróć"), this))
{
    // Shown modally over the preview, so it stays above it; a stay-on-top hint left the window
    // unpainted under the X11 window manager it was tried with.
    setWindowTitle(QStringLiteral("Zakres drukowania"));
    parity_->addItems({QStringLiteral("Wszystkie strony z zakresu"), QStringLiteral("Strony nieparzystte"),
                       QStringLiteral("Strony parzyste")});

    auto* parityRow = new QHBoxLayout;
    parityRow->addWidget(new QLabel(QStringLiteral("Drukuj"), this));
    parityRow->addWidget(parity_, 1);

    auto* group = new QGroupBox(QStringLiteral("Zakres stron"), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(whole_);
    auto* pagesRow = new QHBoxLayout;
    pagesRow->addWidget(pages_);
    pagesRow->addWidget(new QLabel(QStringLiteral("od"), group));
    pagesRow->addWidget(from_);
    pagesRow->addWidget(new QLabel(QStringLiteral("do"), group));
    pagesRow->addWidget(to_);
    pagesRow->addStretch();
    groupLayout->addLayout(pagesRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(print_);
    buttons->addWidget(back_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(parityRow);
    layout->addWidget(group);
    layout->addLayout(buttons);

    print_->setDefault(true);
    connect(print_, &QPushButton::clicked, this, &QDialog::accept);
    connect(back_, &QPushButton::clicked, this, &QDialog::reject);
    connect(whole_, &QRadioButton::toggled, this, [this] { enableFields(); });
}

void PrintRangeWindow::prepare(int pageCount)
{
    pageCount_ = pageCount;
    parity_->setCurrentIndex(0);
    whole_->setChecked(true);
    from_->setText(QStringLiteral("1"));
    to_->setText(QString::number(pageCount));
    enableFields();
}

void PrintRangeWindow::enableFields()
{
    from_->setEnabled(pages_->isChecked());
    to_->setEnabled(pages_->isChecked());
}

PrintRange PrintRangeWindow::range() const
{
    static constexpr PageParity parities[] = {PageParity::All, PageParity::Odd, PageParity::Even};
    const PageParity parity = parities[std::max(0, parity_->currentIndex())];
    // An emptied field reads as 0, which the range rules keep within the document.
    return printRange(parity, whole_->isChecked(), from_->text().toInt(), to_->text().toInt(), pageCount_);
}

std::optional<PrintRange> PrintRangeWindow::chooseRange(int pageCount)
{
    prepare(pageCount);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return range();
}

} // namespace vestrum
