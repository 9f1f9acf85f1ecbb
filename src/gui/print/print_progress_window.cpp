#include "gui/print/print_progress_window.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace vestrum {

PrintProgressWindow::PrintProgressWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      caption_(new QLabel(this)), page_(new QLabel(this))
{
    setAutoFillBackground(true);
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(grey);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    for (QLabel* label : {caption_, page_}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    QFont bold = caption_->font();
    bold.setBold(true);
    caption_->setFont(bold);
}

void PrintProgressWindow::start(const QString& caption)
{
    caption_->setText(caption);
    page_->clear();
    adjustSize();
    if (parentWidget())
        move(parentWidget()->window()->geometry().center() - rect().center());
    show();
    raise();
    QApplication::processEvents();
}

void PrintProgressWindow::showPage(int page)
{
    page_->setText(QStringLiteral("strona %1").arg(page));
    QApplication::processEvents();
}

QString PrintProgressWindow::pageLine() const { return page_->text(); }

} // namespace vestrum
