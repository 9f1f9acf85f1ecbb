#pragma once

#include "program/startup.h"
#include "datafile/load.h"
#include "datafile/merge.h"

#include <QString>

#include <functional>

class QMenu;
class QWidget;

namespace vestrum {

class Program;
class ProgressWindow;
class SaveDataWindow;
class LoadDataWindow;
class RestoreWindow;
class MergeWindow;

// The commands of the menu "Operacje na danych" that write, load and restore the working data, and the
// steps of start and close that belong to them. The main window owns one and routes its menu here.
class DataCommands {
public:
    DataCommands(Program& program, ShellSteps& steps, ProgressWindow& progress, QWidget* parent);
    ~DataCommands();
    DataCommands(const DataCommands&) = delete;
    DataCommands& operator=(const DataCommands&) = delete;

    // Set by the main window.
    std::function<void(const QString&)> setTitle;    // the window title after CurrentDataFile changed
    std::function<void()> showFirstSection;          // section list item 0, first page of section 1
    std::function<QString()> chosenReportingYear;    // the year list's text; RunState::ReportingYear when unset

    // Fills the ShellSteps of the data: saveData, backupCopy, loadDataFile, weeklyRestorePoint and those of
    // unsaved or damaged working data at start.
    void installShellSteps();
    // Adds this module's items to the menu "Operacje na danych" in their order. `addMerge` adds
    // "Łączenie danych" between its two separators.
    void addMenuItems(QMenu* menu, const std::function<void(QMenu*)>& addMerge = {});

    // The menu commands. Each first runs the pending-edit check.
    void newUnit();           // "Nowa jednostka"
    void loadData();          // "Wczytaj dane"
    // "Wczytaj dane" of a file chosen outside the load window (one handed over by a second start).
    void loadDataFrom(const QString& path);
    void loadStartingData();  // "Wczytaj dane jako dane startowe"
    void saveData();          // "Zapisz dane"
    void saveDataAs();        // "Zapisz dane jako ..."
    void backupCopy();        // "Zrób kopię zapasową danych"
    void restoreData();       // "Przywróć wcześniej zapisane dane"
    void makeRestorePoint();  // "Utwórz punkt przywracania danych"
    void mergeData();         // "Łączenie danych"

    // The closing sequence's "Tak" answers (the pending edit has been dealt with by then).
    void saveDataAtClose();
    void backupCopyAtClose();
    // LoadDataFile at start: throws vestrum::Error when the file cannot be loaded.
    void loadDataFileAtStart(const QString& path);
    // The newest restore point at a start that found the working database damaged; its line, empty when there is
    // none. Throws vestrum::Error when it cannot be loaded.
    QString restoreNewestPointAtStart();
    void weeklyRestorePoint();

    // Makes the restore point that precedes a wholesale change; says so and returns false when it failed,
    // and the change must then not go ahead. Also used by "Łączenie danych".
    bool restorePointBeforeChange();

    // Made when first opened, as children of the main window: a start needs none of them.
    SaveDataWindow& saveWindow();
    LoadDataWindow& loadWindow();
    RestoreWindow& restoreWindow();
    MergeWindow& mergeWindow();

private:
    void confirmPendingEdit();
    // The pending edit, the question about unsaved data and the restore point before a load.
    bool mayLoadOverWorkingData();
    void reportRestorePointFailure();
    void loadAllSections();
    void updateTitle();
    void storeReportingYear();
    bool showSaveWindow();
    // Loads a file behind the progress window; errors are shown. Records the outcome.
    void loadFromWindow(const QString& path);
    bool loadWindowRun(bool startingData);
    void mergeFrom(const QString& path, const merge::ItemChoice& items);
    void restoreFrom(const QString& path);

    Program& program_;
    ShellSteps& steps_;
    ProgressWindow& progress_;
    QWidget* parent_;
    SaveDataWindow* saveWindow_ = nullptr;
    LoadDataWindow* loadWindow_ = nullptr;
    RestoreWindow* restoreWindow_ = nullptr;
    MergeWindow* mergeWindow_ = nullptr;
    bool lastLoadChangedData_ = false;
};

} // namespace vestrum
