#include "datafile/save.h"

#include "archive/staged_files.h"
#include "base/durable_files.h"
#include "base/error.h"
#include "base/file_modes.h"
#include "base/number_format.h"
#include "datafile/scratch_folders.h"
#include "datafile/survey_file.h"
#include "lists/entry_checks.h"
#include "lists/list_data.h"
#include "lists/list_grid.h"
#include "program/data_folder_lock.h"
#include "program/program.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

// Read top to bottom: the refusals, the staged write and its check, the placing of the checked file, and last the
// saves themselves (the program's "Zapisz dane" and "Zapisz dane jako ...", then the headless commands' writes),
// each of which takes those steps in that order.

namespace vestrum::datafiles {
namespace {

const QString kSaveFailed = QStringLiteral("Uwaga! Z jakiegoś powodu zbiór nie został zapisany.\n"
                                           "Prosze spróbować zapisać go w innym miejscu lub na innym nośniku.");

// Enough lines to show what is wrong without burying the message under a list of thousands.
constexpr int kShownTooLong = 20;

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool hasSuffix(const QString& path, const char* suffix)
{
    return QFileInfo(path).suffix().compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0;
}

QString earlierVersionMessage(const QString& path)
{
    return QStringLiteral("Zbiór %1 pochodzi z wcześniejszej wersji programu i nie może zostać zmieniony.\nProszę "
                          "wczytać go w programie i zapisać dane, a dopiero potem je zmieniać.")
        .arg(shown(path));
}

QString damagedMessage(const QString& path, const QString& detail)
{
    return QStringLiteral("Zbiór %1 jest uszkodzony i nie może zostać zmieniony.\n\nSzczegóły: %2")
        .arg(shown(path), detail);
}

QString badFormatMessage()
{
    return QStringLiteral("Zbiór danych nie może być wczytany - nieprawidłowy format bazy danych.");
}

QString writeFailedMessage(const QString& path, const QString& detail)
{
    return QStringLiteral("Nie można zapisać pliku %1 - pozostał bez zmian.\n\nSzczegóły: %2").arg(shown(path), detail);
}

// Opens a survey for writing with the current password; one that opens only with the 2005 password is
// refused, anything else is no survey.
void openCurrentSurvey(db::Connection& survey, const QString& database, const QString& shownAs)
{
    try {
        survey.open(database, schema::databasePassword());
        return;
    } catch (const db::Busy&) {
        throw;
    } catch (const Error&) {
        // tried with the other password below
    }
    try {
        db::Connection legacy;
        legacy.open(database, schema::legacyDatabasePassword());
    } catch (const Error&) {
        throw Error(badFormatMessage());
    }
    throw SaveRefused(earlierVersionMessage(shownAs));
}

bool hasNonBlankCell(const QStringList& row)
{
    return std::any_of(row.begin(), row.end(), [](const QString& cell) { return !numbers::IsBlank(cell); });
}


// The database the archive is made from must itself be a survey database: an archive of an empty or foreign
// file must never take the place of a data file or pass for a restore point. (Its pages are checked by
// CheckedArchive while it is packed.)
void requireSurveyDatabase(const QString& path)
{
    db::Connection connection;
    try {
        connection.open(path, schema::databasePassword());
        if (connection.userTables().isEmpty())
            throw Error(kSaveFailed);
    } catch (const Error&) {
        throw Error(kSaveFailed);
    }
}

void requireSoundSource(CheckedArchive& archive)
{
    const QString damage = archive.sourceDamage();
    if (!damage.isEmpty())
        throw DamagedDatabase(damage);
}

// Gives a damaged working database its message for the user; other errors pass through unchanged.
template <typename Body> void explainingDamage(Program& program, Body body)
{
    try {
        body();
    } catch (const DamagedDatabase& damaged) {
        throw SaveRefused(DamagedWorkingDataMessage(program.state, damaged.detail()));
    }
}


// An empty file with a fresh name beside `target`, made "new only" so that it is ours alone, in the program's
// temporary pattern (so neither a file list nor the restore list shows it, and a later save clears it away when
// this one never finishes).
QString makeStagingFile(const QString& target)
{
    const QFileInfo info(target);
    const QString path = tempfiles::createFile(info.absolutePath());
    if (path.isEmpty())
        throw Error(kSaveFailed);
    if (info.exists())
        QFile::setPermissions(path, QFile::permissions(target));
    return path;
}

} // namespace

QString RestorePointTargetMessage()
{
    return QStringLiteral("Punkt przywracania danych nie może zostać zmieniony.\nProszę zapisać dane pod inną "
                          "nazwą.");
}

QString NoRecordsMessage()
{
    return QStringLiteral("Plik nie zawiera żadnych rekordów - wykaz nie został zmieniony.");
}

QString MissingFileMessage(const QString& path)
{
    return QStringLiteral("Nie znaleziono pliku %1").arg(shown(path));
}
// ------------------------------------------------------------------------------------------------------------
// Refusals

void RefuseReadOnlyTarget(const QString& path)
{
    if (isReadOnlyTarget(path))
        throw SaveRefused(readOnlyTargetMessage());
}

void RefuseTarget(const QString& target)
{
    // Restore points are written by the restore-point routine alone.
    if (hasSuffix(target, "nar"))
        throw SaveRefused(RestorePointTargetMessage());
    RefuseReadOnlyTarget(target);
}

void RefuseSurveySource(const QString& database, const QString& shownAs)
{
    db::Connection survey;
    openCurrentSurvey(survey, database, shownAs);
    const QString damage = DatabaseDamage(survey);
    if (!damage.isEmpty())
        throw SaveRefused(damagedMessage(shownAs, damage));
}

void RefuseListProblems(db::Connection& survey, int kind, const lists::ListGrid& grid)
{
    const std::vector<std::pair<int, int>> repeats = grid.duplicateRows();
    if (!repeats.empty()) {
        const auto& [row, first] = repeats.front();
        throw SaveRefused(QStringLiteral("Ten wykaz zawiera co najmniej dwie pozycje o identycznej zawartości. Trzeba "
                                         "je usunąć przed zapisaniem.\nPierwsze identyczne pozycje: wiersze %1 i %2.")
                              .arg(first + 1)
                              .arg(row + 1));
    }
    const QStringList tooLong = lists::TooLongCells(kind, grid.rows(), lists::DeclaredWidths(survey, kind), kShownTooLong);
    if (!tooLong.isEmpty())
        throw SaveRefused(tooLong.join(u'\n'));
}

void RefuseEmptyImport(const std::vector<QStringList>& rows)
{
    if (std::none_of(rows.begin(), rows.end(), hasNonBlankCell))
        throw SaveRefused(NoRecordsMessage());
}

void ClearAbandonedStaging(const QString& target)
{
    const QFileInfo info(target);
    tempfiles::removeAbandoned(info.absolutePath());
    // A rebuild through a link stages beside the file the link names.
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty())
        tempfiles::removeAbandoned(QFileInfo(info.canonicalFilePath()).absolutePath());
}

// ------------------------------------------------------------------------------------------------------------
// The staged write and its check

CheckedArchive::~CheckedArchive()
{
    if (sourceCheck_.valid())
        sourceCheck_.wait();
}

void CheckedArchive::checkSourceAlongside(const QString& path)
{
    if (sourceCheck_.valid())
        sourceCheck_.wait();
    sourceDamage_.clear();
    sourceCheck_ = std::async(std::launch::async, [path] { return DatabaseFileDamage(path); });
}

QString CheckedArchive::sourceDamage()
{
    if (sourceCheck_.valid())
        sourceDamage_ = sourceCheck_.get();
    return sourceDamage_;
}

void CheckedArchive::BeforeReplace(const QString& tempFileName)
{
    if (!sourceDamage().isEmpty())
        throw Error(kSaveFailed);
    ZlbArchive rebuilt;
    rebuilt.OpenArchive(tempFileName);
    const int index = rebuilt.FindFile(memberName());
    if (index < 0)
        throw Error(kSaveFailed);
    if (!expectedSource_.isEmpty()
        && static_cast<qint64>(rebuilt.GetFileEntry(index).UnpackedSize) != QFileInfo(expectedSource_).size())
        throw Error(kSaveFailed);
    rebuilt.CheckMembersWrittenBy(*this);
    rebuilt.CloseArchive();
}

SurveyClosed::SurveyClosed(Program& program) : program_(program), wasOpen_(program.survey.isOpen())
{
    program_.survey.close();
}

SurveyClosed::~SurveyClosed()
{
    try {
        reopen();
    } catch (const Error&) {
        // Reported by the explicit reopen() of the path that did not fail before; here another error is
        // already on its way.
    }
}

void SurveyClosed::reopen()
{
    if (wasOpen_ && !program_.survey.isOpen())
        program_.survey.open(program_.state.DatabasePath, schema::databasePassword());
}

QString PutSurveyIntoDataFile(const QString& database, const QString& target, int member, CheckedArchive& archive)
{
    archive.expectSource(database);
    // A missing file or a member that is not ankieta.mdb fails here with the archive's own message.
    archive.OpenArchive(target);
    archive.checkSourceAlongside(database);
    archive.UpdateFile(database, member);
    const bool written = archive.LastFailure().isEmpty() && archive.IsOpen() && archive.FindFile(memberName()) == member;
    const QString failure = written ? QString()
        : archive.LastFailure().isEmpty() ? QStringLiteral("zbiór ankieta.mdb nie został zapisany")
                                          : archive.LastFailure();
    archive.CloseArchive();
    const QString damage = archive.sourceDamage();
    if (!damage.isEmpty())
        throw DamagedDatabase(damage);
    return failure;
}

namespace {

// Builds the archive of `databasePath` under a staging name beside `besideTarget`, checks it and returns the staging
// file's path; on failure nothing is left behind.
QString buildStagedArchive(const QString& databasePath, const QString& besideTarget, CheckedArchive& archive)
{
    requireSurveyDatabase(databasePath);
    ClearAbandonedStaging(besideTarget);
    const QString staging = makeStagingFile(besideTarget);
    tempfiles::TempFileGuard removeStaging(staging);
    archive.expectSource(databasePath);
    archive.checkSourceAlongside(databasePath);
    archive.OpenArchive(staging);
    archive.AddFile(databasePath);
    const bool written = archive.LastFailure().isEmpty() && archive.IsOpen() && archive.FindFile(memberName()) >= 0;
    archive.CloseArchive();
    requireSoundSource(archive);
    if (!written)
        throw Error(kSaveFailed);
    removeStaging.release();
    return staging;
}

// Read back what now stands under the user's name before anyone says it was saved.
void requireReadableArchive(const QString& path)
{
    ZlbArchive check;
    try {
        check.OpenArchive(path);
        if (check.FindFile(memberName()) < 0)
            throw Error(kSaveFailed);
    } catch (const Error&) {
        throw Error(kSaveFailed);
    }
}

enum class Placed { Done, NameTaken };

// Gives the staged file the name `target` only when no file has that name; the check and the naming are one
// step of the file system, so a file that appears meanwhile is never replaced.
Placed placeAsNewFile(const QString& staging, const QString& target)
{
#ifdef Q_OS_UNIX
    if (::link(QFile::encodeName(staging).constData(), QFile::encodeName(target).constData()) == 0) {
        QFile::remove(staging);
        return Placed::Done;
    }
    if (errno == EEXIST)
        return Placed::NameTaken;
    // A file system without hard links: fall back to looking first.
#endif
    if (QFileInfo::exists(target))
        return Placed::NameTaken;
    if (!durable::replaceFile(staging, target))
        throw Error(kSaveFailed);
    return Placed::Done;
}

} // namespace

// ------------------------------------------------------------------------------------------------------------
// Putting the checked file in place

bool PlaceStagedFile(const QString& staging, const QString& target)
{
    if (!durable::syncFileAt(staging) || !durable::replaceFile(staging, target))
        return false;
    durable::syncFolder(QFileInfo(target).absolutePath());
    return true;
}

void WriteArchiveOf(const QString& databasePath, const QString& target, CheckedArchive& archive)
{
    RefuseReadOnlyTarget(target);
    const QString staging = buildStagedArchive(databasePath, target, archive);
    tempfiles::TempFileGuard removeStaging(staging);
    // One rename puts the checked file in place: the target holds its old content or the whole new one.
    if (!PlaceStagedFile(staging, target))
        throw Error(kSaveFailed);
    removeStaging.release();
    requireReadableArchive(target);
}

QString WriteArchiveAsNewFile(const QString& databasePath, const QStringList& candidates, CheckedArchive& archive)
{
    if (candidates.isEmpty())
        throw Error(kSaveFailed);
    const QString staging = buildStagedArchive(databasePath, candidates.first(), archive);
    tempfiles::TempFileGuard removeStaging(staging);
    for (const QString& target : candidates) {
        if (placeAsNewFile(staging, target) == Placed::NameTaken)
            continue;
        removeStaging.release();
        durable::syncFolder(QFileInfo(target).absolutePath());
        requireReadableArchive(target);
        return target;
    }
    throw Error(kSaveFailed);
}

bool PlaceAsNewFile(const QString& staging, const QString& target)
{
    if (placeAsNewFile(staging, target) == Placed::NameTaken)
        return false;
    durable::syncFolder(QFileInfo(target).absolutePath());
    return true;
}

// ------------------------------------------------------------------------------------------------------------
// The program's saves

QString dataFilePath(const QString& folder, const QString& name)
{
    if (name.contains(u'*'))
        return QString();
    QString base = name.trimmed();
    const QFileInfo info(base);
    const QString suffix = info.suffix();
    if (!suffix.isEmpty())
        base.chop(suffix.size() + 1);
    QString dir = QDir::fromNativeSeparators(folder);
    while (dir.size() > 1 && dir.endsWith(u'/'))
        dir.chop(1);
    return (dir.endsWith(u'/') ? dir : QString(dir + u'/')) + base + QStringLiteral(".naj");
}

void WriteDataFile(Program& program, const QString& path)
{
    CheckedArchive archive;
    WriteDataFile(program, path, archive);
}

void WriteDataFile(Program& program, const QString& path, CheckedArchive& archive)
{
    RunState& state = program.state;
    RefuseTarget(path);
    const DataFileLock lock(path);
    {
        SurveyClosed closed(program);
        try {
            explainingDamage(program, [&] { WriteArchiveOf(state.DatabasePath, path, archive); });
        } catch (const SaveRefused&) {
            throw;
        } catch (const Error&) {
            throw Error(kSaveFailed);
        }
        closed.reopen();
    }
    state.CurrentDataFile = path;
    SetDataSaved(state, true);
}

void SaveToCurrentDataFile(Program& program)
{
    CheckedArchive archive;
    SaveToCurrentDataFile(program, archive);
}

void SaveToCurrentDataFile(Program& program, CheckedArchive& archive)
{
    RunState& state = program.state;
    RefuseTarget(state.CurrentDataFile);
    requireSurveyDatabase(state.DatabasePath);
    const DataFileLock lock(state.CurrentDataFile);
    ClearAbandonedStaging(state.CurrentDataFile);
    {
        SurveyClosed closed(program);
        QString failure;
        explainingDamage(program, [&] { failure = PutSurveyIntoDataFile(state.DatabasePath, state.CurrentDataFile, 0, archive); });
        if (!failure.isEmpty())
            throw Error(kSaveFailed);
        closed.reopen();
    }
    SetDataSaved(state, true);
}

// ------------------------------------------------------------------------------------------------------------
// The headless commands' writes

struct SurveyFileWrite::Held {
    std::unique_ptr<DataFolderShare> dataFolder;
    std::unique_ptr<DataFileLock> lock;
    std::unique_ptr<tempfiles::ScratchFolder> scratch;
    bool inTransaction = false;
};

SurveyFileWrite::SurveyFileWrite(const QString& target) : target_(target), held_(std::make_unique<Held>())
{
    held_->dataFolder = std::make_unique<DataFolderShare>(target);
    if (!QFileInfo(target).isFile())
        throw Error(MissingFileMessage(target));
    RefuseTarget(target);
    ClearAbandonedStaging(target);
    if (IsSurveyArchive(target)) {
        held_->lock = std::make_unique<DataFileLock>(target);
        held_->scratch = std::make_unique<tempfiles::ScratchFolder>();
        if (!held_->scratch->isValid())
            throw Error(QStringLiteral("Nie można utworzyć katalogu tymczasowego."));
        database_ = UnpackSurvey(target, held_->scratch->path());
    } else {
        database_ = target;
    }
    openCurrentSurvey(survey_, database_, target);
    if (!held_->lock) {
        // The engine's write lock, waited for as long as a data file's: held until commit().
        survey_.execute(QStringLiteral("BEGIN IMMEDIATE"));
        held_->inTransaction = true;
    }
    const QString damage = DatabaseDamage(survey_);
    if (!damage.isEmpty())
        throw SaveRefused(damagedMessage(target, damage));
}

SurveyFileWrite::~SurveyFileWrite()
{
    if (held_->inTransaction) {
        try {
            survey_.rollback();
        } catch (const Error&) {
            // Closing the connection rolls back all the same.
        }
    }
    survey_.close();
}

void SurveyFileWrite::saveList(int kind, const lists::ListGrid& grid)
{
    RefuseListProblems(survey_, kind, grid);
    lists::SaveList(survey_, kind, grid);
}

void SurveyFileWrite::commit()
{
    if (held_->inTransaction) {
        survey_.commit();
        held_->inTransaction = false;
        survey_.close();
        return;
    }
    survey_.close();
    CheckedArchive archive;
    ZlbArchive current;
    current.OpenArchive(target_);
    const int member = current.FindFile(memberName());
    current.CloseArchive();
    QString failure;
    try {
        failure = PutSurveyIntoDataFile(database_, target_, member, archive);
    } catch (const DamagedDatabase& damaged) {
        throw Error(writeFailedMessage(target_, damaged.detail()));
    }
    if (!failure.isEmpty())
        throw Error(writeFailedMessage(target_, failure));
}

} // namespace vestrum::datafiles
