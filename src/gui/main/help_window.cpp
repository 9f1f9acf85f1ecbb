#include "gui/main/help_window.h"

#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace vestrum {

HelpWindow::HelpWindow(const RunState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(&state), browser_(new QTextBrowser(this)),
      contents_(new QPushButton(QStringLiteral("spis treści"), this)),
      backward_(new QPushButton(QStringLiteral("wstecz"), this)),
      forward_(new QPushButton(QStringLiteral("dalej"), this))
{
    setObjectName(QStringLiteral("f_pomoc"));
    setWindowTitle(QStringLiteral("Vestrum - pomoc do programu"));
    browser_->setOpenExternalLinks(true); // addresses outside the help go to the user's browser

    auto* bar = new QHBoxLayout;
    bar->addWidget(contents_);
    bar->addWidget(backward_);
    bar->addWidget(forward_);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);
    resize(760, 620);
    new WindowMemoryKeeper(this); // placed as every window is, remembered for the run
    // Esc closes it as it closes every other window of the program.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    backward_->setEnabled(false);
    forward_->setEnabled(false);
    connect(contents_, &QPushButton::clicked, this, &HelpWindow::openStartPage);
    connect(backward_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, backward_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
}

QString HelpWindow::startPage() const
{
    return state_->ProgramFolder + QStringLiteral("pomoc/index.html");
}

void HelpWindow::showHelp()
{
    openStartPage();
    show();
    raise();
    activateWindow();
}

void HelpWindow::closeHelp()
{
    close();
}

void HelpWindow::openStartPage()
{
    const QString page = startPage();
    if (!QFileInfo::exists(page)) {
        browser_->setHtml(QStringLiteral("<h2>Pomoc do programu</h2><p>Nie odnaleziono stron pomocy w folderze "
                                         "<b>%1</b>. Zainstaluj program ponownie albo uruchom jego aktualizację.</p>")
                              .arg(QDir::toNativeSeparators(QFileInfo(page).absolutePath()).toHtmlEscaped()));
        return;
    }
    browser_->setSource(QUrl::fromLocalFile(page));
}

void HelpWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, state_->UserFont);
    RelayoutWindow(this);
    QWidget::showEvent(event);
}

} // namespace vestrum
