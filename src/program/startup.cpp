#include "program/startup.h"

#include "base/error.h"
#include "program/data_home.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vestrum {

QString programVersion()
{
    return QStringLiteral("2.2.1.2");
}

namespace startup {
namespace {

QString cannotOpenMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("Nie można otworzyć bazy danych programu:\n%1\n\n%2\n\nProgram zostanie zamknięty.")
        .arg(QDir::toNativeSeparators(path), reason);
}

// Opens `path`, creating it first when it is missing. A file that is no database of the program throws
// db::NotADatabase, for the caller to decide; every other failure, the message that ends the start.
void openOrCreate(db::Connection& connection, const QString& path, const std::function<void(const QString&)>& create)
{
    if (!QFileInfo::exists(path))
        create(path);
    try {
        connection.open(path, schema::databasePassword());
    } catch (const db::NotADatabase&) {
        throw;
    } catch (const Error& error) {
        throw Error(cannotOpenMessage(path, error.message()));
    }
}

// The working database: one the engine cannot open is kept whole aside and a new one takes its place, so that the
// start goes on; without that step, or when the move fails, the start ends saying why.
DamagedAtStart openWorkingDatabase(Program& program, const ShellSteps& steps)
{
    const QString path = program.state.DatabasePath;
    try {
        openOrCreate(program.survey, path, &schema::createSurveyDatabase);
        return {};
    } catch (const db::NotADatabase& refused) {
        if (!steps.moveDamagedWorkingDataAside)
            throw Error(cannotOpenMessage(path, refused.message()));
        QString aside;
        try {
            aside = steps.moveDamagedWorkingDataAside();
        } catch (const Error& error) {
            throw Error(cannotOpenMessage(path, refused.message() + QStringLiteral("\n\n") + error.message()));
        }
        if (aside.isEmpty() || !program.survey.isOpen())
            throw Error(cannotOpenMessage(path, refused.message()));
        return {aside, refused.message()};
    }
}

bool isLoadableDataFile(const QString& path)
{
    return isDataFileArgument(path) && !path.contains(QStringLiteral(".mdb"), Qt::CaseInsensitive);
}

void runStep(const std::function<void()>& step)
{
    if (step)
        step();
}

} // namespace

QString userRuntimeFolder()
{
    // The session's runtime folder belongs to the user alone; without one, the home folder does. (Qt's own stand-in
    // for a missing runtime folder would print a warning at every start.)
    QString folder;
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return folder;
}

QString singleInstanceLockPath()
{
    return QDir(userRuntimeFolder()).filePath(QStringLiteral("XQ_dziala"));
}

QString fileHandoffSocketPath(const QString& runtimeFolder)
{
    return QDir(runtimeFolder).filePath(QStringLiteral("vestrum-pliki"));
}

bool isDataFileArgument(const QString& argument)
{
    // "DANE.NAJ" names a data file as much as "dane.naj" does: file managers pass names as they are on disk.
    return !argument.isEmpty() && argument.contains(QStringLiteral(".naj"), Qt::CaseInsensitive);
}

void setProgramFolder(RunState& state, const QString& executableFolder)
{
    const QString folder = withTrailingSlash(QDir::fromNativeSeparators(executableFolder));
    if (folder != state.ProgramFolder || state.DataFolder.isEmpty()) {
        const DataHome home = DecideDataHome(folder);
        state.DataHome = home.kind;
        state.DataFolder = home.dataFolder;
    }
    state.ProgramFolder = folder;
    if (state.DatabasePath.isEmpty())
        state.DatabasePath = state.dataFolder() + QStringLiteral("dane/ankieta.mdb");
    state.HelpFile = state.ProgramFolder + QStringLiteral("pomoc/index.html");
}

JournalListPreparation::JournalListPreparation(const QString& path)
{
    if (QFileInfo::exists(path))
        return;
    worker_ = std::thread([path] {
        try {
            journals::createJournalListDatabase(path);
        } catch (const Error&) {
            // openDatabases tries again and tells the user.
        }
    });
}

JournalListPreparation::~JournalListPreparation() { wait(); }

void JournalListPreparation::wait()
{
    if (worker_.joinable())
        worker_.join();
}

DamagedAtStart openDatabases(Program& program, const ShellSteps& steps)
{
    DamagedAtStart damaged;
    if (!program.survey.isOpen())
        damaged = openWorkingDatabase(program, steps);
    if (!program.journals.isOpen()) {
        try {
            openOrCreate(program.journals, program.state.journalListPath(), &journals::createJournalListDatabase);
        } catch (const db::NotADatabase& refused) {
            throw Error(cannotOpenMessage(program.state.journalListPath(), refused.message()));
        }
    }
    return damaged;
}

QString databaseVersion(db::Connection& connection)
{
    try {
        db::Query query(connection, QStringLiteral("select * from wersja"));
        if (!query.eof() && !query.fields().empty()) {
            const QString version = query.asUnicode(query.fields().front().name);
            if (!version.isEmpty())
                return version;
        }
    } catch (const Error&) {
        // An unreadable version is shown as "0.0.0.0", not an error.
    }
    return QStringLiteral("0.0.0.0");
}

QVector<QPair<QString, QString>> versionTable(Program& program, const QVector<QPair<QString, QString>>& updateRows)
{
    const RunState& state = program.state;
    if (updateRows.size() > 3)
        return updateRows;
    QVector<QPair<QString, QString>> rows;
    rows.append({QStringLiteral("dane"), databaseVersion(program.survey)});
    rows.append({QStringLiteral("lista czasopism"), databaseVersion(program.journals)});
    rows.append({QStringLiteral("pomoc"), state.ComponentVersions.value(QStringLiteral("pomoc"), QStringLiteral("0.0.0.0"))});
    rows.append({QStringLiteral("program"), programVersion()});
    return rows;
}

QString windowTitle(const RunState& state)
{
    return state.CurrentDataFile.isEmpty() ? QStringLiteral("Vestrum")
                                           : QStringLiteral("Vestrum - ") + QDir::toNativeSeparators(state.CurrentDataFile);
}

QString unsavedWorkKeptNotice(const QString& pointName)
{
    return QStringLiteral("Uwaga! Przy poprzedniej pracy z programem wprowadzone dane nie zostały zapisane w pliku "
                          "danych.\nPrzed wczytaniem ostatnio zapisanego pliku zostały one zachowane w punkcie "
                          "przywracania danych:\n%1\nMożna do nich wrócić poleceniem „Przywróć wcześniej "
                          "zapisane dane”.")
        .arg(pointName);
}

namespace {

const QString kUnsavedWorkNotKept = QStringLiteral(
    "Uwaga! Przy poprzedniej pracy z programem wprowadzone dane nie zostały zapisane w pliku danych, a punkt "
    "przywracania danych nie mógł zostać utworzony.\nProgram nie wczyta ostatnio zapisanego pliku, aby tych danych "
    "nie utracić: praca będzie kontynuowana na tymczasowej bazie danych.");

const QString kUnsavedWorkDamaged = QStringLiteral(
    "Uwaga! Przy poprzedniej pracy z programem wprowadzone dane nie zostały zapisane w pliku danych, a dane w "
    "programie są uszkodzone, dlatego punkt przywracania danych nie został utworzony.\nProgram wczyta ostatnio "
    "zapisany plik, a uszkodzona baza danych zostanie zachowana w osobnym pliku.");

// The last run's unsaved changes are either kept in a restore point or must not be loaded over. Damaged ones
// are the exception: no save would ever take them, so work on them would be lost; they are set aside whole
// beside a new database, and the user works on the last saved file.
bool mayLoadOverWorkingData(Program& program, const ShellSteps& steps)
{
    if (!program.state.DataSaved.unsavedRecorded())
        return true;
    const QString point = steps.keepUnsavedWork ? steps.keepUnsavedWork() : QString();
    if (point.isEmpty()) {
        if (!steps.workingDataDamaged || !steps.workingDataDamaged() || !steps.setDamagedWorkingDataAside) {
            program.notify(kUnsavedWorkNotKept, 0, MessageKind::Warning);
            return false;
        }
        program.notify(kUnsavedWorkDamaged, 0, MessageKind::Warning);
        // Aside before the load, whatever the load's own check of them will say: the file then goes into a new
        // database, and nothing of the damaged one can be lost.
        try {
            steps.setDamagedWorkingDataAside();
        } catch (const Error& error) {
            program.notify(error.message(), 0, MessageKind::Error);
            return false;
        }
        return true;
    }
    program.notify(unsavedWorkKeptNotice(point), 0, MessageKind::Warning);
    return true;
}

// The new database that took a damaged one's place holds no work to keep: it gets the last data file, or failing
// that the newest restore point. Returns the line of the notice that says which.
QString fillNewWorkingDatabase(Program& program, const ShellSteps& steps)
{
    RunState& state = program.state;
    const QString file = state.CurrentDataFile;
    QString missed = QStringLiteral("Ostatnio zapisany plik danych jest niedostępny");
    if (isLoadableDataFile(file) && QFileInfo(file).isFile() && steps.loadDataFile) {
        missed = QStringLiteral("Ostatnio zapisany plik danych nie mógł zostać wczytany");
        try {
            steps.loadDataFile(file);
            if (!state.CurrentDataFile.isEmpty()) {
                SetDataSaved(state, true);
                return QStringLiteral("Wczytano do niej ostatnio zapisany plik danych:\n%1")
                    .arg(QDir::toNativeSeparators(file));
            }
        } catch (const Error& error) {
            program.notify(error.message(), 0, MessageKind::Error);
        }
    }
    state.CurrentDataFile.clear();
    SetDataSaved(state, false);
    QString point;
    try {
        if (steps.loadNewestRestorePoint)
            point = steps.loadNewestRestorePoint();
    } catch (const Error& error) {
        program.notify(error.message(), 0, MessageKind::Error);
    }
    if (!point.isEmpty())
        return missed + QStringLiteral(", dlatego wczytano do niej dane z najnowszego punktu przywracania danych:\n%1")
                            .arg(point);
    return QStringLiteral("Nie ma pliku danych ani punktu przywracania danych, z których można by wczytać dane: "
                          "praca zaczyna się od pustej bazy danych.");
}

} // namespace

QString damagedAtStartNotice(const QString& databasePath, const DamagedAtStart& damaged, const QString& loaded)
{
    return QStringLiteral("Uwaga! Nie można otworzyć bazy danych programu:\n%1\n\nUszkodzona baza danych została "
                          "w całości przeniesiona do pliku:\n%2\na na jej miejsce została utworzona nowa.\n\n%3"
                          "\n\nSzczegóły: %4")
        .arg(QDir::toNativeSeparators(databasePath), QDir::toNativeSeparators(damaged.asidePath), loaded,
             damaged.detail);
}

QString chooseStartData(Program& program, const QStringList& arguments, const ShellSteps& steps,
                        const DamagedAtStart& damaged)
{
    RunState& state = program.state;
    if (!arguments.isEmpty() && isDataFileArgument(arguments.first()))
        state.CurrentDataFile = arguments.first();
    state.NewDataFlag = false;
    if (damaged.happened()) {
        const QString loaded = fillNewWorkingDatabase(program, steps);
        program.notify(damagedAtStartNotice(state.DatabasePath, damaged, loaded), 0, MessageKind::Warning);
        return windowTitle(state);
    }

    // Settings that name no file (a fresh program, data restored from a point) lose nothing.
    if (!state.CurrentDataFile.isEmpty() && !QFileInfo(state.CurrentDataFile).isFile()) {
        program.notify(QStringLiteral("Uwaga! Ostatnio zapisany plik jest niedostępny.\n"
                                      "Program wczyta dane z tymczasowej bazy danych."),
                       0, MessageKind::Warning);
        state.CurrentDataFile.clear();
    }

    if (isLoadableDataFile(state.CurrentDataFile) && steps.loadDataFile && mayLoadOverWorkingData(program, steps)) {
        try {
            steps.loadDataFile(state.CurrentDataFile);
            SetDataSaved(state, true);
            return windowTitle(state);
        } catch (const Error& error) {
            // A data file that cannot be read leaves the working database as it was.
            program.notify(error.message(), 0, MessageKind::Error);
        }
    }
    state.CurrentDataFile.clear();
    SetDataSaved(state, false);
    return windowTitle(state);
}

bool runClosingSequence(Program& program, const ShellSteps& steps)
{
    if (!program.ask(QStringLiteral("Czy na pewno chcesz zakończyć pracę programu?"), 1))
        return false;
    runStep(steps.confirmPendingEdit);
    if (!program.state.DataSaved
        && program.ask(QStringLiteral("Wprowadzone dane nie zostały zapisane i z chwilą zamknięcia programu zostaną "
                                      "utracone.\nCzy przed zamknięciem programu chcesz zapisać dane?"))) {
        runStep(steps.saveData);
        // A save that failed (a full or removed disk) must not end in a close that loses the data anyway.
        if (!program.state.DataSaved
            && !program.ask(QStringLiteral("Uwaga! Dane nie zostały zapisane.\nCzy mimo to chcesz zamknąć program?")))
            return false;
    }
    if (program.ask(QStringLiteral("Przypominamy o konieczności tworzenia kopii zapasowych danych na nośnikach "
                                   "wymiennych w celu zabezpieczenia danych przed utratą.Czy przed zamknięciem "
                                   "programu chcesz wykonać kopię danych?"),
                    2)) {
        runStep(steps.backupCopy);
    }
    runStep(steps.writeSettings);
    runStep(steps.closeHelpWindows);
    program.survey.close();
    program.journals.close();
    runStep(steps.weeklyRestorePoint);
    return true;
}

} // namespace startup
} // namespace vestrum
