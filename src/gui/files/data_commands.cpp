#include "gui/files/data_commands.h"

#include "base/error.h"
#include "program/program.h"
#include "gui/common/progress_window.h"
#include "datafile/restore_points.h"
#include "datafile/working_data.h"
#include "gui/files/save_data_window.h"
#include "gui/files/load_data_window.h"
#include "gui/files/restore_window.h"
#include "gui/files/merge_window.h"
#include "datafile/merge.h"
#include "gui/lists/duplicate_choice_window.h"

#include <algorithm>
#include <QFileInfo>
#include <QAction>
#include <QApplication>
#include <QFont>
#include <QMenu>

namespace vestrum {
namespace {

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The progress window as the data-file routines see it.
class WindowProgress final : public datafiles::Progress {
public:
    WindowProgress(ProgressWindow& window, const UserFontSpec& font) : window_(window), font_(font.name, font.size) {}
    void start(const QString& caption, const QString& label, int maximum) override
    {
        window_.start(caption, label, maximum, font_);
    }
    void step(const QString& label) override
    {
        window_.step();
        window_.setLabel(label);
    }
    void finish() override { window_.finish(); }

private:
    ProgressWindow& window_;
    QFont font_;
};

const QString kRestorePointFailed = QStringLiteral("Błąd!!!\nPunkt przywracania danych nie został utworzony.");
const QString kDamagedNoRestorePoint =
    QStringLiteral("Uwaga! Dane w programie są uszkodzone, dlatego punkt przywracania danych nie został utworzony.\n"
                   "Czy mimo to chcesz kontynuować?");

} // namespace

DataCommands::DataCommands(Program& program, ShellSteps& steps, ProgressWindow& progress, QWidget* parent)
    : program_(program), steps_(steps), progress_(progress), parent_(parent)
{
}

SaveDataWindow& DataCommands::saveWindow()
{
    if (!saveWindow_)
        saveWindow_ = new SaveDataWindow(program_, parent_);
    return *saveWindow_;
}

LoadDataWindow& DataCommands::loadWindow()
{
    if (!loadWindow_) {
        loadWindow_ = new LoadDataWindow(program_, parent_);
        loadWindow_->load = [this](const QString& path) { loadFromWindow(path); };
    }
    return *loadWindow_;
}

RestoreWindow& DataCommands::restoreWindow()
{
    if (!restoreWindow_) {
        restoreWindow_ = new RestoreWindow(program_, parent_);
        restoreWindow_->restore = [this](const QString& path) { restoreFrom(path); };
    }
    return *restoreWindow_;
}

MergeWindow& DataCommands::mergeWindow()
{
    if (!mergeWindow_) {
        mergeWindow_ = new MergeWindow(program_, parent_);
        mergeWindow_->merge = [this](const QString& path, const merge::ItemChoice& items) { mergeFrom(path, items); };
    }
    return *mergeWindow_;
}

void DataCommands::mergeFrom(const QString& path, const merge::ItemChoice& items)
{
    // The publications the merge would add twice are shown first; the ticked ones stay out.
    std::vector<lists::ProbableDuplicate> found;
    {
        BusyCursor busy;
        found = merge::MergeDuplicatesOf(program_.survey, path, items);
    }
    std::vector<lists::ProbableDuplicate> leftOut;
    if (!found.empty()) {
        DuplicateChoiceWindow choice(program_, mergeWindow_);
        std::optional<std::vector<lists::ProbableDuplicate>> chosen = choice.choose(found);
        if (!chosen)
            throw Error(QString::fromUtf8("Łączenie danych zostało przerwane - dane nie zostały zmienione."));
        leftOut = std::move(*chosen);
    }
    merge::DuplicateHandling duplicates;
    duplicates.leaveOut = [&leftOut](const lists::ProbableDuplicate& d) {
        return std::any_of(leftOut.begin(), leftOut.end(),
            [&d](const lists::ProbableDuplicate& out) { return out.later == d.later; });
    };
    WindowProgress progress(progress_, program_.state.UserFont);
    int added = 0;
    for (const merge::StepOutcome& step :
        merge::MergeDataFile(program_.survey, path, items, progress, &duplicates))
        added += step.rowsAdded;
    QString notice = QString::fromUtf8("Łączenie danych zostało zakończone. Dodano pozycji: %1.").arg(added);
    if (!duplicates.found.empty())
        notice += QString::fromUtf8("\nMożliwe duplikaty publikacji: %1, pominięto: %2.")
                      .arg(duplicates.found.size())
                      .arg(leftOut.size());
    program_.notify(notice, 0);
}

void DataCommands::restoreFrom(const QString& path)
{
    BusyCursor busy;
    WindowProgress progress(progress_, program_.state.UserFont);
    try {
        if (restorepoints::RestoreData(program_, path, progress) != datafiles::LoadOutcome::Declined) {
            lastLoadChangedData_ = true;
            updateTitle(); // "Vestrum": restored data belong to no data file
            program_.notify(QString::fromUtf8("Przywrócono dane z punktu %1.")
                                .arg(restorepoints::RestorePointLine(QFileInfo(path).fileName())),
                            0);
        }
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
    }
}

DataCommands::~DataCommands() = default;

void DataCommands::installShellSteps()
{
    steps_.saveData = [this] { saveDataAtClose(); };
    steps_.backupCopy = [this] { backupCopyAtClose(); };
    steps_.loadDataFile = [this](const QString& path) { loadDataFileAtStart(path); };
    steps_.weeklyRestorePoint = [this] { weeklyRestorePoint(); };
    steps_.keepUnsavedWork = [this] {
        BusyCursor busy;
        return restorepoints::MakeNamedRestorePoint(program_);
    };
    steps_.workingDataDamaged = [this] { return !datafiles::WorkingDataDamage(program_).isEmpty(); };
    steps_.setDamagedWorkingDataAside = [this] { datafiles::SetDamagedWorkingDataAside(program_); };
    steps_.moveDamagedWorkingDataAside = [this] { return datafiles::MoveDamagedWorkingDataAside(program_); };
    steps_.loadNewestRestorePoint = [this] { return restoreNewestPointAtStart(); };
}

void DataCommands::addMenuItems(QMenu* menu, const std::function<void(QMenu*)>& addMerge)
{
    auto add = [menu](QMenu* into, const char* caption, std::function<void()> command) {
        QAction* action = into->addAction(QString::fromUtf8(caption));
        QObject::connect(action, &QAction::triggered, menu, [command = std::move(command)] { command(); });
    };
    add(menu, "Nowa jednostka", [this] { newUnit(); });
    add(menu, "Wczytaj dane", [this] { loadData(); });
    add(menu, "Wczytaj dane jako dane startowe", [this] { loadStartingData(); });
    add(menu, "Zapisz dane", [this] { saveData(); });
    add(menu, "Zapisz dane jako ...", [this] { saveDataAs(); });
    menu->addSeparator();
    if (addMerge)
        addMerge(menu);
    menu->addSeparator();
    add(menu, "Zrób kopię zapasową danych", [this] { backupCopy(); });
    menu->addSeparator();
    QMenu* restore = menu->addMenu(QStringLiteral("Przywracanie danych"));
    add(restore, "Przywróć wcześniej zapisane dane", [this] { restoreData(); });
    add(restore, "Utwórz punkt przywracania danych", [this] { makeRestorePoint(); });
}

void DataCommands::confirmPendingEdit()
{
    if (steps_.confirmPendingEdit)
        steps_.confirmPendingEdit();
}

void DataCommands::loadAllSections()
{
    if (steps_.loadAllSections)
        steps_.loadAllSections();
}

void DataCommands::updateTitle()
{
    if (setTitle)
        setTitle(startup::windowTitle(program_.state));
}

void DataCommands::storeReportingYear()
{
    const QString year = chosenReportingYear ? chosenReportingYear() : QString::number(program_.state.ReportingYear);
    datafiles::StoreReportingYear(program_, year);
}

bool DataCommands::restorePointBeforeChange()
{
    bool made = false;
    {
        BusyCursor busy;
        made = restorepoints::MakeRestorePoint(program_);
    }
    if (made)
        return true;
    // Damaged working data cannot be kept in a restore point, and replacing them is the way out: ask rather
    // than refuse, or the user could never load a sound file over them.
    if (!datafiles::WorkingDataDamage(program_).isEmpty())
        return program_.ask(kDamagedNoRestorePoint);
    program_.notify(kRestorePointFailed, 0, MessageKind::Error);
    return false;
}

// ------------------------------------------------------------------------------------------------------------
// Wholesale changes

void DataCommands::newUnit()
{
    confirmPendingEdit();
    RunState& state = program_.state;
    const QString question = state.DataSaved
        ? QStringLiteral("Utworzenie nowej jednostki spowoduje usunięcie wszystkich danych!\nCzy chcesz kontynuować?")
        : QStringLiteral("Uwaga!!!\nUtworzenie danych dla nowej jednostki spowoduje całkowite usunięcie wprowadzonych "
                         "danych!\nCzy chcesz kontynuować?");
    if (!program_.ask(question) || !restorePointBeforeChange())
        return;
    try {
        BusyCursor busy;
        datafiles::ClearForNewUnit(program_);
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    state.NewDataFlag = true;
    if (showFirstSection)
        showFirstSection();
    loadAllSections();
    state.CurrentDataFile.clear();
    updateTitle();
    state.NewDataFlag = false;
    SetDataSaved(state, false);
}

void DataCommands::loadFromWindow(const QString& path)
{
    BusyCursor busy;
    WindowProgress progress(progress_, program_.state.UserFont);
    try {
        if (datafiles::LoadDataFile(program_, path, progress) != datafiles::LoadOutcome::Declined) {
            lastLoadChangedData_ = true;
            updateTitle();
        }
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
    }
}

bool DataCommands::loadWindowRun(bool startingData)
{
    program_.state.StartingDataMode = startingData;
    lastLoadChangedData_ = false;
    loadWindow().setMask(QStringLiteral("*.naj"));
    const bool ok = loadWindow().run();
    program_.state.StartingDataMode = false;
    return ok;
}

bool DataCommands::mayLoadOverWorkingData()
{
    confirmPendingEdit();
    if (!program_.state.DataSaved
        && !program_.ask(QStringLiteral("Uwaga!!!\nWczytanie nowego zbioru danych spowoduje całkowite usunięcie "
                                        "wprowadzonych danych!\nCzy chcesz kontynuować?")))
        return false;
    return restorePointBeforeChange();
}

void DataCommands::loadData()
{
    if (!mayLoadOverWorkingData())
        return;
    if (loadWindowRun(false)) {
        if (showFirstSection)
            showFirstSection();
        loadAllSections();
    }
}

void DataCommands::loadDataFrom(const QString& path)
{
    if (!mayLoadOverWorkingData())
        return;
    if (!QFileInfo(path).isFile()) {
        program_.notify(QStringLiteral("Dane nie mogą zostać wczytane - nie wskazano skompresowanego zbioru z danymi "
                                       "lub zbiór nie istnieje."),
                        0, MessageKind::Warning);
        return;
    }
    loadFromWindow(path);
    if (showFirstSection)
        showFirstSection();
    loadAllSections();
}

void DataCommands::loadStartingData()
{
    confirmPendingEdit();
    RunState& state = program_.state;
    if (!state.DataSaved
        && !program_.ask(QStringLiteral("Uwaga!!!\nWczytanie nowego zbioru danych spowoduje całkowite usunięcie "
                                        "wprowadzonych zmian danych!\nCzy chcesz kontynuować?")))
        return;
    if (!restorePointBeforeChange())
        return;
    state.NewDataFlag = true;
    if (loadWindowRun(true)) {
        if (showFirstSection)
            showFirstSection();
        loadAllSections();
        // Starting data belong to no data file yet. A load that did not happen leaves the tie as it was.
        if (lastLoadChangedData_) {
            state.CurrentDataFile.clear();
            updateTitle();
            SetDataSaved(state, true);
        }
    }
    state.NewDataFlag = false;
}

void DataCommands::restoreData()
{
    confirmPendingEdit();
    lastLoadChangedData_ = false;
    if (restoreWindow().run() && lastLoadChangedData_)
        loadAllSections();
}

void DataCommands::mergeData()
{
    confirmPendingEdit();
    if (!program_.ask(QStringLiteral("Uwaga!!!\nŁączenie danych spowoduje zmianę danych obecnie znajdujących się w "
                                     "systemie!\nCzy chcesz kontynuować?"),
                      6))
        return;
    // A merge keeps what is there and adds to it, so, unlike a load, it never goes ahead without a restore point,
    // not even over damaged data.
    bool made = false;
    {
        BusyCursor busy;
        made = restorepoints::MakeRestorePoint(program_);
    }
    if (!made) {
        program_.notify(kRestorePointFailed, 0, MessageKind::Error);
        return;
    }
    // A merge that was refused or failed leaves the window open and the data as they were; only a completed
    // one is reloaded and marks the data unsaved.
    if (!mergeWindow().run())
        return;
    if (showFirstSection)
        showFirstSection();
    loadAllSections();
    SetDataSaved(program_.state, false);
}

void DataCommands::makeRestorePoint()
{
    confirmPendingEdit();
    bool made = false;
    {
        BusyCursor busy;
        made = restorepoints::MakeRestorePoint(program_);
    }
    if (made)
        program_.notify(QStringLiteral("Punkt przywracania danych został pomyślnie utworzony."), 7);
    else
        reportRestorePointFailure();
}

void DataCommands::reportRestorePointFailure()
{
    // Damaged working data are the one cause the user can act on: say so, and where to go back to.
    const QString damage = datafiles::WorkingDataDamage(program_);
    program_.notify(damage.isEmpty() ? kRestorePointFailed : kRestorePointFailed + QStringLiteral("\n\n") + damage, 0,
                    MessageKind::Error);
}

// ------------------------------------------------------------------------------------------------------------
// Saving

bool DataCommands::showSaveWindow()
{
    if (!saveWindow().run())
        return false;
    // The title names the file the data are now tied to.
    updateTitle();
    return true;
}

void DataCommands::saveData()
{
    confirmPendingEdit();
    saveDataAtClose();
}

void DataCommands::saveDataAtClose()
{
    if (program_.state.CurrentDataFile.isEmpty()) {
        showSaveWindow();
        return;
    }
    try {
        BusyCursor busy;
        storeReportingYear();
        datafiles::SaveToCurrentDataFile(program_);
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
    }
}

void DataCommands::saveDataAs()
{
    confirmPendingEdit();
    try {
        storeReportingYear();
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    showSaveWindow();
}

void DataCommands::backupCopy()
{
    confirmPendingEdit();
    showSaveWindow();
}

void DataCommands::backupCopyAtClose()
{
    showSaveWindow();
}

// ------------------------------------------------------------------------------------------------------------
// Start and close

void DataCommands::loadDataFileAtStart(const QString& path)
{
    BusyCursor busy;
    WindowProgress progress(progress_, program_.state.UserFont);
    program_.state.StartingDataMode = false;
    // Refusing the earlier-version question leaves the working data as they were, tied to no data file, so
    // that "Zapisz dane" cannot write them over the refused file.
    if (datafiles::LoadDataFile(program_, path, progress) == datafiles::LoadOutcome::Declined)
        program_.state.CurrentDataFile.clear();
}

QString DataCommands::restoreNewestPointAtStart()
{
    BusyCursor busy;
    WindowProgress progress(progress_, program_.state.UserFont);
    return restorepoints::RestoreNewestPoint(program_, progress);
}

void DataCommands::weeklyRestorePoint()
{
    BusyCursor busy;
    restorepoints::WeeklyRestorePoint(program_);
}

} // namespace vestrum
