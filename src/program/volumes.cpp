#include "program/volumes.h"

#include <QDir>
#include <QStorageInfo>
#include <QStringList>

namespace vestrum {
namespace {

// The system's own pseudo file systems are no place for the user's files.
bool isUserVolume(const QStorageInfo& volume)
{
    if (!volume.isValid() || !volume.isReady())
        return false;
    static const QList<QByteArray> pseudo = {"tmpfs",  "devtmpfs", "proc",       "sysfs",   "squashfs", "devpts",
                                             "cgroup", "cgroup2",  "securityfs", "debugfs", "tracefs",  "overlay"};
    const QString root = volume.rootPath();
    if (pseudo.contains(volume.fileSystemType()) && root != QDir::rootPath())
        return false;
    for (const char* prefix : {"/proc", "/sys", "/dev", "/snap", "/boot", "/etc"}) {
        const QString p = QString::fromLatin1(prefix);
        if (root == p || root.startsWith(p + u'/'))
            return false;
    }
    return !root.startsWith(QStringLiteral("/run/")) || root.startsWith(QStringLiteral("/run/media/"));
}

QString volumeLabel(const QStorageInfo& volume)
{
    const QString root = volume.rootPath();
    const QString name = volume.displayName();
    if (name.isEmpty() || name == root)
        return QDir::toNativeSeparators(root);
    return QString(name + QStringLiteral(" (") + QDir::toNativeSeparators(root) + u')');
}

} // namespace

QVector<Place> UserPlaces()
{
    const QString home = QDir::homePath();
    QVector<Place> places{{home, QStringLiteral("Folder domowy (%1)").arg(QDir::toNativeSeparators(home)), true}};
    QVector<Place> volumes;
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!isUserVolume(volume) || roots.contains(volume.rootPath()))
            continue;
        roots.append(volume.rootPath());
        volumes.append({volume.rootPath(), volumeLabel(volume), false});
    }
    std::sort(volumes.begin(), volumes.end(), [](const Place& a, const Place& b) { return a.root < b.root; });
    places += volumes;
    return places;
}

bool isInsideFolder(const QString& path, const QString& root)
{
    return path == root || path.startsWith(root.endsWith(u'/') ? root : QString(root + u'/'));
}

} // namespace vestrum
