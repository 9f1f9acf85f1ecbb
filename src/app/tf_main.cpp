#include "app/tf_main.h"

#include "app/error.h"
#include "app/tf_about.h"
#include "app/tprogressfrm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>

namespace vestrum {

Tf_main::Tf_main(Program& program, QWidget* parent)
    : QMainWindow(parent), program_(program), progress_(new TProgressFrm(this)), about_(new Tf_about(this))
{
    setObjectName(QStringLiteral("Tf_main"));
    setWindowTitle(QStringLiteral("Vestrum"));
    // The user's font starts as a copy of the window's own.
    program_.state.UserFont = {font().family(), font().pointSize() > 0 ? font().pointSize() : 12};
    buildMenu();
    auto* placeholder = new QLabel(this);
    setCentralWidget(placeholder);
    resize(1024, 720);
}

Tf_main::~Tf_main() = default;

void Tf_main::buildMenu()
{
    QMenu* data = menuBar()->addMenu(QStringLiteral("Operacje na danych"));
    QAction* quit = data->addAction(QStringLiteral("Koniec"));
    connect(quit, &QAction::triggered, this, [this] {
        if (steps_.confirmPendingEdit)
            steps_.confirmPendingEdit();
        close();
    });
    QMenu* help = menuBar()->addMenu(QStringLiteral("Pomoc"));
    QAction* aboutAction = help->addAction(QStringLiteral("O programie ..."));
    connect(aboutAction, &QAction::triggered, this, &Tf_main::showAbout);
}

void Tf_main::showAbout()
{
    about_->exec();
}

bool Tf_main::startUp(const QStringList& arguments, const QString& programFolder)
{
    // Amounts use a comma everywhere.
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    RunState& state = program_.state;
    state.PendingEdit = false;
    startup::setProgramFolder(state, programFolder);
    if (steps_.readSettings)
        steps_.readSettings();

    try {
        startup::openDatabases(program_);
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
        return false;
    }
    about_->setVersions(startup::versionTable(program_));
    setWindowTitle(startup::chooseStartData(program_, arguments, steps_));
    if (steps_.loadAllSections)
        steps_.loadAllSections();
    showMaximized();
    return true;
}

void Tf_main::closeWithoutQuestions()
{
    closingConfirmed_ = true;
    close();
}

void Tf_main::closeEvent(QCloseEvent* event)
{
    if (closingConfirmed_ || startup::runClosingSequence(program_, steps_)) {
        closingConfirmed_ = true;
        event->accept();
        return;
    }
    event->ignore();
}

} // namespace vestrum
