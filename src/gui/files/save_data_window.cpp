#include "gui/files/save_data_window.h"

#include "base/error.h"
#include "program/program.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "datafile/save.h"
#include "gui/files/load_data_window.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestrum {

SaveDataWindow::SaveDataWindow(Program& program, QWidget* parent)
    : QDialog(parent), program_(program), browser_(new DataFileBrowser(this)),
      name_(new QLineEdit(QStringLiteral("*.naj"), this)), save_(new QPushButton(QStringLiteral("zapisz"), this)),
      cancel_(new QPushButton(QStringLiteral("zrezygnuj"), this))
{
    setObjectName(QStringLiteral("f_eksport"));
    setWindowTitle(QStringLiteral("Zapisywanie danych"));
    setModal(true);
    name_->setObjectName(QStringLiteral("FileEdit"));
    save_->setDefault(true);
    save_->setAutoDefault(true);
    cancel_->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_, 1);
    layout->addWidget(name_);
    layout->addLayout(buttons);
    resize(440, 520);

    browser_->setMask(QStringLiteral("*.naj"));
    browser_->onDriveUnavailable = [this] { program_.notify(QStringLiteral("Dysk jest niedostępny"), 0, MessageKind::Error); };
    browser_->onFileClicked = [this](const QString& name) { name_->setText(name); };
    connect(save_, &QPushButton::clicked, this, &SaveDataWindow::zapisz);
    connect(name_, &QLineEdit::returnPressed, this, &SaveDataWindow::zapisz);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

bool SaveDataWindow::run()
{
    const QString current = program_.state.CurrentDataFile;
    browser_->setFolder(current.isEmpty() ? browser_->folder() : QFileInfo(current).absolutePath());
    // Each time a new name: two presses of Enter must not overwrite the file written last time.
    name_->setText(QStringLiteral("*.naj"));
    return exec() == QDialog::Accepted;
}

void SaveDataWindow::zapisz()
{
    const QString path = datafiles::dataFilePath(browser_->folder(), name_->text());
    if (path.isEmpty() || name_->text().trimmed().isEmpty()) {
        program_.notify(QStringLiteral("Proszę podać nazwę pliku, w którym mają zostać zapisane dane."), 0,
                        MessageKind::Warning);
        name_->setFocus();
        return;
    }
    if (QFileInfo::exists(path)
        && !program_.ask(QStringLiteral("Uwaga! Wskazany zbiór już istnieje.\nCzy na pewno chcesz zmienić jego zawartość?")))
        return;

    // The old file is not deleted first: the new one takes its place only once it is written whole.
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        datafiles::WriteDataFile(program_, path);
        QApplication::restoreOverrideCursor();
    } catch (const Error& error) {
        QApplication::restoreOverrideCursor();
        program_.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    program_.notify(QStringLiteral("Zbiór został pomyślnie zapisany."));
    browser_->setFolder(browser_->folder());
    accept();
}

void SaveDataWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    centreOnOwner(this); // every time, never where the window manager put it last
    QDialog::showEvent(event);
}

} // namespace vestrum
