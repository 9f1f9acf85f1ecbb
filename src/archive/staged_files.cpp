#include "archive/staged_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/types.h>
#endif

namespace vestrum::tempfiles {
namespace {

// Letters and digits only, so the host cannot bring a "-" or a path separator into the name.
QString hostTag()
{
    static const QString tag = [] {
        QString host = QSysInfo::machineHostName();
        host.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")));
        return host.isEmpty() ? QStringLiteral("host") : host.left(32);
    }();
    return tag;
}

const QRegularExpression& namePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\.vestrum-tmp-([A-Za-z0-9]+)-([0-9]+)-[A-Za-z0-9]+$"));
    return pattern;
}

bool processExists(qint64 pid)
{
#ifdef Q_OS_UNIX
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    // EPERM: the process exists but belongs to another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#else
    Q_UNUSED(pid);
    return true; // cannot tell: keep the file
#endif
}

// An abandoned folder goes only when it holds nothing but what the program put there.
bool removeLoadFolder(const QString& path, const IsLeftover& isLeftover)
{
    QDir dir(path);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (isTemporaryName(name) || isLeftover(name))
            dir.remove(name);
    }
    return QDir().rmdir(path);
}

} // namespace

QString prefix()
{
    return QStringLiteral(".vestrum-tmp-");
}

QString nameFor(const QString& random)
{
    return prefix() + hostTag() + u'-' + QString::number(QCoreApplication::applicationPid()) + u'-' + random;
}

QString createFile(const QString& folder)
{
    const QDir dir(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = dir.filePath(
            nameFor(QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!file.exists())
            break;
    }
    return QString();
}

bool isTemporaryName(const QString& fileName)
{
    return namePattern().match(fileName).hasMatch();
}

bool ownerMayBeRunning(const QString& fileName)
{
    const QRegularExpressionMatch match = namePattern().match(fileName);
    if (!match.hasMatch())
        return true;
    if (match.captured(1) != hostTag())
        return true;
    bool ok = false;
    const qint64 pid = match.captured(2).toLongLong(&ok);
    return !ok || processExists(pid);
}

int removeAbandonedHolding(const QString& folder, const IsLeftover& isLeftover)
{
    const QDir dir(folder);
    int removed = 0;
    const QStringList names = dir.entryList(
        { prefix() + u'*' }, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (!isTemporaryName(name) || ownerMayBeRunning(name))
            continue;
        const QString path = dir.filePath(name);
        const bool gone = QFileInfo(path).isDir() ? removeLoadFolder(path, isLeftover) : QFile::remove(path);
        if (gone)
            ++removed;
    }
    return removed;
}

TempFileGuard::~TempFileGuard()
{
    if (!path_.isEmpty())
        QFile::remove(path_);
}

} // namespace vestrum::tempfiles
