#include "gui/files/journal_list_import_window.h"

#include "base/error.h"
#include "gui/common/file_picker.h"
#include "gui/common/user_font.h"
#include "gui/main/main_window.h"
#include "program/program.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestrum {
namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

JournalListImportWindow::JournalListImportWindow(Program& program, QWidget* parent)
    : QDialog(parent)
    , program_(program)
    , summary_(new QLabel(this))
    , changes_(new QPlainTextEdit(this))
    , save_(new QPushButton(S("zapisz nowy wykaz"), this))
    , cancel_(new QPushButton(S("anuluj"), this))
{
    setObjectName(QStringLiteral("f_wykaz_czasopism"));
    setWindowTitle(S("Nowy wykaz czasopism"));
    setModal(true);
    summary_->setWordWrap(true);
    changes_->setReadOnly(true);
    changes_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* note = new QLabel(S("Zapisanie zastąpi wykaz czasopism w użyciu; dotychczasowy zostanie zachowany i można "
                              "go przywrócić. Publikacje ankiety nie zmienią się same: punkty według nowego wykazu "
                              "nada im \"Grupowa identyfikacja czasopism\"."),
                            this);
    note->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(changes_, 1);
    layout->addWidget(note);
    layout->addLayout(buttons);
    resize(860, 560);

    connect(save_, &QPushButton::clicked, this, &JournalListImportWindow::saveEdition);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

bool JournalListImportWindow::showChangesOf(const QString& path)
{
    try {
        const WaitCursor wait;
        importing::MinistryList edition = importing::ReadMinistryFile(path);
        const importing::EditionChanges changes =
            importing::CompareEditions(importing::ReadListInUse(program_.state.journalListPath()), edition.journals);
        changes_->setPlainText(importing::ChangeLines(changes, edition.skipped).join(u'\n'));
        summary_->setText(S("Plik %1: %2 czasopism. Zmiany wobec wykazu w użyciu:")
                              .arg(QFileInfo(path).fileName())
                              .arg(edition.journals.size()));
        edition_ = std::move(edition);
        path_ = path;
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
        return false;
    }
    save_->setFocus(Qt::OtherFocusReason);
    return true;
}

void JournalListImportWindow::saveEdition()
{
    program_.journals.close();
    try {
        const WaitCursor wait;
        importing::SaveJournalList(program_.state.journalListPath(), edition_, program_.clock().now().date(),
                                   QFileInfo(path_).fileName());
    } catch (const Error& error) {
        if (reopenList)
            reopenList();
        program_.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    if (reopenList)
        reopenList();
    accept();
    program_.notify(S("Nowy wykaz czasopism (%1 czasopism) jest w użyciu. Poprzedni zachowano; przywraca go "
                      "\"Przywróć poprzedni wykaz czasopism\".")
                        .arg(edition_.journals.size()));
}

void JournalListImportWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    RelayoutWindow(this);
    QDialog::showEvent(event);
}

// --- the menu ---------------------------------------------------------------------------------------

JournalListCommands::JournalListCommands(Program& program, MainWindow& mainWindow)
    : QObject(&mainWindow)
    , program_(program)
    , main_(mainWindow)
    , window_(new JournalListImportWindow(program, &mainWindow))
{
    window_->reopenList = [this] { reopenList(); };
    main_.setMenuCommand(S("Wczytaj wykaz czasopism z pliku ministerstwa…"), [this] { chooseFile(); });
    main_.setMenuCommand(S("Przywróć poprzedni wykaz czasopism"), [this] { restorePrevious(); });
}

void JournalListCommands::chooseFile()
{
    FilePicker picker(program_, &main_);
    picker.configure(S("Wskaż plik wykazu czasopism ministerstwa"), QStringLiteral("*.xlsx;*.ods;*.csv"), S("wczytaj"),
                     false);
    if (!picker.choose() || picker.selectedFile().isEmpty())
        return;
    if (window_->showChangesOf(picker.selectedFile()))
        window_->exec();
}

void JournalListCommands::restorePrevious()
{
    const QString previous = journals::previousListPath(program_.state.journalListPath());
    if (!QFileInfo(previous).isFile()) {
        program_.notify(S("Nie ma poprzedniego wykazu czasopism do przywrócenia."));
        return;
    }
    if (!program_.ask(S("Przywrócić poprzedni wykaz czasopism? Wykaz w użyciu zostanie zachowany jako poprzedni.")))
        return;
    program_.journals.close();
    try {
        importing::RestorePreviousJournalList(program_.state.journalListPath());
    } catch (const Error& error) {
        reopenList();
        program_.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    reopenList();
    program_.notify(S("Przywrócono poprzedni wykaz czasopism."));
}

void JournalListCommands::reopenList()
{
    try {
        program_.journals.open(program_.state.journalListPath(), schema::databasePassword());
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    if (main_.steps().openJournalView)
        main_.steps().openJournalView();
}

} // namespace vestrum
