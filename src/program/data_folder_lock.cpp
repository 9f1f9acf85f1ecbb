#include "program/data_folder_lock.h"

#include "base/error.h"
#include "base/file_modes.h"
#include "program/program.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vestrum {
namespace {

const QString kLockName = QStringLiteral(".vestrum-blokada");
const QString kDatabaseName = QStringLiteral("ankieta.mdb");
constexpr int kAttempts = 5;
constexpr useconds_t kPauseMicroseconds = 100 * 1000;

int openRetrying(const QByteArray& name, int flags)
{
    int descriptor = -1;
    do {
        descriptor = ::open(name.constData(), flags | O_CLOEXEC | O_NOFOLLOW, 0666);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// A descriptor of the lock file. Close-on-exec, so that no program started from here (the external updater
// above all, which outlives the program and starts it again) inherits the lock; never through a link planted in
// its place. `create` makes the file open to every user who may enter the folder, whatever the umask: in a shared
// program folder the users lock each other out, in the user's own data folder (closed to others) it is the user's
// alone. Without write access an existing file is opened for reading, which flock allows.
int openLockFile(const QString& path, bool create)
{
    const QByteArray name = QFile::encodeName(path);
    if (create) {
        const int made = openRetrying(name, O_RDWR | O_CREAT | O_EXCL);
        if (made >= 0) {
            ::fchmod(made, isClosedToOthers(QFileInfo(path).absolutePath()) ? 0600 : 0666);
            return made;
        }
    }
    int descriptor = openRetrying(name, O_RDWR);
    if (descriptor < 0 && errno != ENOENT)
        descriptor = openRetrying(name, O_RDONLY);
    return descriptor;
}

// `kind` (LOCK_EX or LOCK_SH) | LOCK_NB on `descriptor`: false when another open file holds a lock that excludes it.
bool lockNow(int descriptor, int kind = LOCK_EX)
{
    int rc = 0;
    do {
        rc = ::flock(descriptor, kind | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 || errno != EWOULDBLOCK;
}

// The data folder whose working database `databasePath` is, as the file system resolves the path; empty when it
// names no existing "ankieta.mdb".
QString workingDataFolderOf(const QString& databasePath)
{
    const QString resolved = QFileInfo(databasePath).canonicalFilePath();
    if (resolved.isEmpty() || QFileInfo(resolved).fileName() != kDatabaseName)
        return QString();
    return QFileInfo(resolved).absolutePath();
}

} // namespace

QString dataFolderLockPath(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(kLockName);
}

QString dataFolderInUseMessage()
{
    return QStringLiteral(
        "Program pracuje już na tych danych (inny użytkownik lub inna sesja). Zamknij go i uruchom ponownie.");
}

DataFolderLock::~DataFolderLock() { release(); }

bool DataFolderLock::take(const QString& dataFolder)
{
    release();
    QDir().mkpath(dataFolder);
    const int descriptor = openLockFile(dataFolderLockPath(dataFolder), true);
    if (descriptor < 0)
        return true;
    // A headless command that looks whether the folder is in use holds the lock for an instant; only a lock that
    // stays held is another program's.
    for (int attempt = 0; !lockNow(descriptor); ++attempt) {
        if (attempt == kAttempts) {
            ::close(descriptor);
            return false;
        }
        ::usleep(kPauseMicroseconds);
    }
    descriptor_ = descriptor;
    return true;
}

void DataFolderLock::release()
{
    if (descriptor_ >= 0)
        ::close(descriptor_); // the lock goes with the last descriptor of this open file
    descriptor_ = -1;
}

bool DataFolderInUse(const QString& databasePath)
{
    // The path as the file system resolves it: a link or "dane/../dane" names the same working database.
    const QString dataFolder = workingDataFolderOf(databasePath);
    if (dataFolder.isEmpty())
        return false;
    const int descriptor = openLockFile(dataFolderLockPath(dataFolder), false);
    if (descriptor < 0)
        return false;
    const bool free = lockNow(descriptor, LOCK_SH);
    ::close(descriptor);
    return !free;
}

void RefuseDataFolderInUse(const QString& databasePath)
{
    if (DataFolderInUse(databasePath))
        throw Error(dataFolderInUseMessage());
}

DataFolderShare::DataFolderShare(const QString& databasePath)
{
    const QString dataFolder = workingDataFolderOf(databasePath);
    if (dataFolder.isEmpty())
        return;
    // Made when missing, as the program makes it: a program started later must meet this very file held.
    const int descriptor = openLockFile(dataFolderLockPath(dataFolder), true);
    if (descriptor < 0)
        return; // a folder that takes no lock file guards nothing, for the program as for the commands
    if (!lockNow(descriptor, LOCK_SH)) {
        ::close(descriptor);
        throw Error(dataFolderInUseMessage());
    }
    descriptor_ = descriptor;
}

DataFolderShare::~DataFolderShare()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

namespace startup {

bool lockDataFolder(Program& program, DataFolderLock& lock)
{
    if (lock.take(QFileInfo(program.state.DatabasePath).absolutePath()))
        return true;
    program.notify(dataFolderInUseMessage(), 0, MessageKind::Error);
    return false;
}

} // namespace startup
} // namespace vestrum
