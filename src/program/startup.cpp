#include "program/startup.h"

#include "base/error.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QDir>
#include <QFileInfo>

namespace vestrum {

QString programVersion()
{
    return QStringLiteral("2.2.1.2");
}

namespace startup {
namespace {

void openOrCreate(db::Connection& connection, const QString& path, const std::function<void(const QString&)>& create)
{
    if (!QFileInfo::exists(path))
        create(path);
    try {
        connection.open(path, schema::databasePassword());
    } catch (const Error& error) {
        throw Error(QStringLiteral("Nie można otworzyć bazy danych programu:\n%1\n\n%2\n\nProgram zostanie zamknięty.")
                        .arg(QDir::toNativeSeparators(path), error.message()));
    }
}

bool isLoadableDataFile(const QString& path)
{
    // Case-sensitive on purpose: only the program's own ".naj" spelling names a data file.
    return !path.isEmpty() && !path.contains(QStringLiteral(".mdb")) && path.contains(QStringLiteral(".naj"));
}

void runStep(const std::function<void()>& step)
{
    if (step)
        step();
}

} // namespace

QString singleInstanceLockPath()
{
    return QDir::temp().filePath(QStringLiteral("XQ_dziala"));
}

void setProgramFolder(RunState& state, const QString& executableFolder)
{
    state.ProgramFolder = withTrailingSlash(QDir::fromNativeSeparators(executableFolder));
    if (state.DatabasePath.isEmpty())
        state.DatabasePath = state.ProgramFolder + QStringLiteral("dane/ankieta.mdb");
    state.HelpFile = state.ProgramFolder + QStringLiteral("pomoc/index.html");
}

void openDatabases(Program& program)
{
    if (!program.survey.isOpen())
        openOrCreate(program.survey, program.state.DatabasePath, &schema::createSurveyDatabase);
    if (!program.journals.isOpen())
        openOrCreate(program.journals, program.state.journalListPath(), &journals::createJournalListDatabase);
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

QString chooseStartData(Program& program, const QStringList& arguments, const ShellSteps& steps)
{
    RunState& state = program.state;
    if (!arguments.isEmpty() && arguments.first().contains(QStringLiteral(".naj")))
        state.CurrentDataFile = arguments.first();

    if (state.CurrentDataFile.isEmpty() || !QFileInfo(state.CurrentDataFile).isFile()) {
        program.notify(QStringLiteral("Uwaga! Ostatnio zapisany plik jest niedostępny.\n"
                                      "Program wczyta dane z tymczasowej bazy danych."),
                       0, MessageKind::Warning);
        state.CurrentDataFile.clear();
    }

    state.NewDataFlag = false;
    if (isLoadableDataFile(state.CurrentDataFile) && steps.loadDataFile) {
        try {
            steps.loadDataFile(state.CurrentDataFile);
            state.DataSaved = true;
            return windowTitle(state);
        } catch (const Error& error) {
            // A data file that cannot be read leaves the working database as it was.
            program.notify(error.message(), 0, MessageKind::Error);
        }
    }
    {
        state.CurrentDataFile.clear();
        state.DataSaved = false;
    }
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
