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

} // namespace vestrum
