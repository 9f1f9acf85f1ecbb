#pragma once

#include "import/journal_list_import.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vestrum {

class MainWindow;
class Program;

// "Nowy wykaz czasopism": what a new edition of the journal list read from the ministry's file
// changes against the list in use, before anything changes; "zapisz nowy wykaz" puts it in place,
// "anuluj" leaves the list in use as it is.
class JournalListImportWindow : public QDialog {
    Q_OBJECT
public:
    explicit JournalListImportWindow(Program& program, QWidget* parent = nullptr);

    // Opens the list in use again for the windows; the save closes its database while the file is
    // replaced.
    std::function<void()> reopenList;

    // Reads the ministry's file and shows what it changes; a file that is no journal list is told
    // through the program's message box and false is returned (the window is then not shown).
    bool showChangesOf(const QString& path);
    // Saves the edition read into the list in use; the window closes when it succeeded.
    void saveEdition();

    QLabel* summary() const { return summary_; }
    QPlainTextEdit* changes() const { return changes_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Program& program_;
    QLabel* summary_;
    QPlainTextEdit* changes_;
    QPushButton* save_;
    QPushButton* cancel_;
    QString path_;
    importing::MinistryList edition_;
};

// The two commands of the menu "Operacje na danych" that renew the journal list: "Wczytaj wykaz
// czasopism z pliku ministerstwa…" (a file picker, then the window above) and "Przywróć poprzedni
// wykaz czasopism".
class JournalListCommands : public QObject {
public:
    JournalListCommands(Program& program, MainWindow& mainWindow);

    JournalListImportWindow& window() { return *window_; }
    void chooseFile();
    void restorePrevious();

private:
    void reopenList();

    Program& program_;
    MainWindow& main_;
    JournalListImportWindow* window_;
};

} // namespace vestrum
