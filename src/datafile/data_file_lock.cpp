#include "datafile/data_file_lock.h"

#include "datafile/data_file.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

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

} // namespace

QString FileInUseMessage(const QString& path)
{
    return QStringLiteral("Plik %1 jest używany przez inny program.").arg(QDir::toNativeSeparators(path));
}

void SetLockWait(int milliseconds)
{
    lockWaitMs = milliseconds;
}

int LockWait()
{
    return lockWaitMs;
}

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

} // namespace vestrum::datafiles
