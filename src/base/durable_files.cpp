#include "base/durable_files.h"

#include <QFile>

#include <filesystem>
#include <mutex>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vestrum::durable {
namespace {

std::mutex watcherMutex;
Watcher watcher;

void tell(Step step, const QString& path, const QString& from = QString())
{
    const std::lock_guard lock(watcherMutex);
    if (watcher)
        watcher(Event{step, path, from});
}

#ifdef Q_OS_UNIX
bool syncDescriptor(int fd)
{
    return ::fsync(fd) == 0;
}
#endif

} // namespace

void SetWatcher(Watcher newWatcher)
{
    const std::lock_guard lock(watcherMutex);
    watcher = std::move(newWatcher);
}

bool syncFile(QFile& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_UNIX
    if (!syncDescriptor(file.handle()))
        return false;
#endif
    tell(Step::SyncFile, file.fileName());
    return true;
}

bool syncFileAt(const QString& path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = syncDescriptor(fd);
    ::close(fd);
    if (!synced)
        return false;
#endif
    tell(Step::SyncFile, path);
    return true;
}

// After a rename the folder entry itself must reach the disk, or a power cut can bring back the old name.
void syncFolder(const QString& folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    syncDescriptor(fd);
    ::close(fd);
#endif
    tell(Step::SyncFolder, folder);
}

bool replaceFile(const QString& from, const QString& to)
{
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), ec);
    if (ec)
        return false;
    tell(Step::Rename, to, from);
    return true;
}

} // namespace vestrum::durable
