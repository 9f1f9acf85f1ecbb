#include "files/data_file_writer.h"

#include "base/error.h"
#include "base/file_modes.h"
#include "base/number_format.h"
#include "files/survey_file.h"
#include "files/scratch_folders.h"
#include "lists/entry_checks.h"
#include "lists/list_data.h"
#include "lists/list_grid.h"
#include "program/data_folder_lock.h"
#include "storage/schema.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vestrum::datafiles {
namespace {

int lockWaitMs = 10000;

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

} // namespace

QString FileInUseMessage(const QString& path)
{
    return QStringLiteral("Plik %1 jest używany przez inny program.").arg(shown(path));
}

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

void SetLockWait(int milliseconds)
{
    lockWaitMs = milliseconds;
}

int LockWait()
{
    return lockWaitMs;
}

// ------------------------------------------------------------------------------------------------------------

#ifdef Q_OS_UNIX
namespace {

enum class LockOutcome { Taken, Held, Unlockable };

// LOCK_EX | LOCK_NB on `fd`: Held while another writer has it, Unlockable on a file system without locks.
LockOutcome lockNow(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return LockOutcome::Taken;
    return errno == EWOULDBLOCK || errno == EINTR ? LockOutcome::Held : LockOutcome::Unlockable;
}

bool stillMissing(const QByteArray& name)
{
    struct stat named {};
    return ::stat(name.constData(), &named) != 0 && errno == ENOENT;
}

bool sameFile(int fd, const QByteArray& name)
{
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(name.constData(), &named) == 0 && held.st_dev == named.st_dev
        && held.st_ino == named.st_ino;
}

} // namespace
#endif

DataFileLock::DataFileLock(const QString& path)
{
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const QDeadlineTimer deadline(lockWaitMs);
    for (;;) {
        int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        // A file that does not exist yet: its folder stands for it until the writer has put the file there, so two
        // writers making the same new file take turns. A file we may not read fails its reading with its own message.
        const bool missing = fd < 0 && errno == ENOENT;
        if (missing)
            fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        const LockOutcome outcome = lockNow(fd);
        if (outcome == LockOutcome::Unlockable) {
            ::close(fd);
            return; // the staged write still keeps the file whole
        }
        if (outcome == LockOutcome::Taken) {
            // The writer before us may have put a new file under the name: that one is the file to lock.
            if (missing ? stillMissing(name) : sameFile(fd, name)) {
                fd_ = fd;
                return;
            }
            ::close(fd);
            continue;
        }
        ::close(fd);
        if (deadline.hasExpired())
            throw SaveRefused(FileInUseMessage(path));
        QThread::msleep(20);
    }
#else
    Q_UNUSED(path);
#endif
}

DataFileLock::~DataFileLock()
{
#ifdef Q_OS_UNIX
    if (fd_ >= 0)
        ::close(fd_); // closing the descriptor releases the lock
#endif
}

// ------------------------------------------------------------------------------------------------------------

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

// ------------------------------------------------------------------------------------------------------------

void ClearAbandonedStaging(const QString& target)
{
    const QFileInfo info(target);
    tempfiles::removeAbandoned(info.absolutePath());
    // A rebuild through a link stages beside the file the link names.
    if (info.isSymLink() && !info.canonicalFilePath().isEmpty())
        tempfiles::removeAbandoned(QFileInfo(info.canonicalFilePath()).absolutePath());
}

// ------------------------------------------------------------------------------------------------------------

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
