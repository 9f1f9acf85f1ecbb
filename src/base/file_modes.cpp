#include "base/file_modes.h"

#include "base/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace vestrum {

QString readOnlyTargetMessage()
{
    return QStringLiteral("Uwaga! Wskazany zbiór jest oznaczony jako tylko do odczytu i nie może zostać "
                          "zmieniony.\nProszę zapisać dane pod inną nazwą lub w innym miejscu.");
}

bool isReadOnlyTarget(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

QString specialFileMessage(const QString& path)
{
    return QString::fromUtf8("Plik %1 nie jest zwykłym plikiem.").arg(QDir::toNativeSeparators(path));
}

bool isSpecialFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    // stat, not QFileInfo: its answer is never an older one cached for the same path.
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    return !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

void refuseSpecialFile(const QString& path)
{
    if (isSpecialFile(path))
        throw Error(specialFileMessage(path));
}

namespace {

constexpr mode_t kGroupAndOthers = S_IRWXG | S_IRWXO;

} // namespace

bool isClosedToOthers(const QString& folder)
{
    struct stat info {};
    return ::stat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && (info.st_mode & kGroupAndOthers) == 0;
}

bool closeToOthers(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode))
        return false;
    if ((info.st_mode & kGroupAndOthers) == 0)
        return true;
    return ::chmod(name.constData(), info.st_mode & ~kGroupAndOthers & 07777) == 0;
}

void closeToOthersLikeItsFolder(const QString& path)
{
    if (isClosedToOthers(QFileInfo(path).absolutePath()))
        closeToOthers(path);
}

} // namespace vestrum
