#include "update/updater.h"
#include "update/updater_internal.h"

#include "base/error.h"
#include "datafile/restore_points.h"
#include "program/program.h"
#include "storage/schema.h"
#include "update/component_files.h"

#include <QDir>
#include <QFileInfo>

// The carry-over: a new survey database takes the user's data from the one it replaces, under a restore point,
// or the old database stays.
namespace vestrum::update {
namespace {

// Keeps the data file the working data are tied to, and whether they are saved, across a load of other data:
// the carried-over data stay tied to the user's file, never to the backup they were read from.
class DataTiesKept {
public:
    explicit DataTiesKept(RunState& state)
        : state_(state)
        , file_(state.CurrentDataFile)
        , saved_(state.DataSaved)
        , startingData_(state.StartingDataMode)
    {
        state_.StartingDataMode = false;
    }
    ~DataTiesKept()
    {
        state_.CurrentDataFile = file_;
        SetDataSaved(state_, saved_);
        state_.StartingDataMode = startingData_;
    }
    DataTiesKept(const DataTiesKept&) = delete;
    DataTiesKept& operator=(const DataTiesKept&) = delete;

private:
    RunState& state_;
    QString file_;
    bool saved_;
    bool startingData_;
};

} // namespace

QString Updater::makeRestorePoint()
{
    QString made;
    return restorepoints::MakeRestorePoint(program_, &made) ? made : QString();
}

void Updater::carryOverData(const QString& backup)
{
    DataTiesKept kept(program_.state);
    if (datafiles::LoadDataFile(program_, backup, host_.progress()) == datafiles::LoadOutcome::Declined)
        throw Error(QStringLiteral("Przeniesienie danych zostało przerwane."));
}

void Updater::installSurveyDatabase(UpdateEntry& entry, const QString& package, const QStringList& members)
{
    const QString path = program_.state.DatabasePath;
    const QString fileName = QFileInfo(path).fileName();
    requiredMember(members, fileName, package);
    const bool hadData = QFileInfo(path).isFile();
    const QString backup = backupOf(entry);
    QString restorePoint;
    if (hadData) {
        // The user's data are never put at risk without a restore point.
        restorePoint = makeRestorePoint();
        if (restorePoint.isEmpty())
            throw Error(QStringLiteral("Nie udało się utworzyć punktu przywracania danych.\n"
                                       "Baza danych ankiety nie zostanie zaktualizowana."));
    }
    const QString staging = stagePackage(entry, package, fileName);
    const bool wasOpen = program_.survey.isOpen();
    program_.survey.close();
    FileReplacement replacement(staging, folderOf(path), path);
    try {
        replacement.place();
        program_.survey.open(path, schema::databasePassword());
        if (hadData)
            carryOverData(backup);
        replacement.commit();
    } catch (const Error& error) {
        program_.survey.close();
        replacement.rollback();
        if (wasOpen)
            program_.survey.open(path, schema::databasePassword());
        throw Error(QStringLiteral("Nie udało się przenieść danych do nowej bazy danych ankiety.\n"
                                   "Program pracuje nadal na dotychczasowej bazie danych (wersja %1).\n"
                                   "Kopia poprzedniej bazy: %2\nPunkt przywracania danych: %3\n\n%4")
                        .arg(VersionText(entry.installed), QDir::toNativeSeparators(backup),
                            QDir::toNativeSeparators(restorePoint), error.message()));
    }
    if (!wasOpen)
        program_.survey.close();
    surveyReplaced_ = true;
}

} // namespace vestrum::update
