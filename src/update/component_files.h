#pragma once

// The files of one component while it is installed: the package is checked before anything is touched,
// the replaced file is kept in a backup archive that never takes the place of an older one, and the new
// files go in so that a failure puts the old ones back.

#include <QList>
#include <QString>
#include <QStringList>

namespace vestrum::update {

// Opens a package and inflates every member against its CRC; every member name must be a plain file name.
// Returns the member names. Throws vestrum::Error naming the package when it is missing or damaged.
QStringList CheckPackage(const QString& packagePath);

// "<folder>/<base>.nar", or "<folder>/<base>_2.nar", "_3"... when that is taken: a new backup never takes the
// name of an existing one.
QString FreeBackupPath(const QString& folder, const QString& baseName);

// Packs `sourceFile` into a new archive at a free name in `folder` (created when missing). The archive is
// written under a temporary name, checked, and renamed to the free name only when whole. Returns its path;
// throws vestrum::Error when the backup could not be made.
QString WriteBackup(const QString& sourceFile, const QString& folder, const QString& baseName);

// Puts a component's new files in place. `retire` (the file the component had, may be empty or missing) and
// every file of `targetFolder` the new members will replace are moved aside first; the members of the
// package extracted into `staging` are then renamed into `targetFolder`. Until commit(), rollback() (also
// run by the destructor) removes the new files and brings the old ones back.
class FileReplacement {
public:
    FileReplacement(QString staging, QString targetFolder, QString retire);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Throws vestrum::Error after rolling back when a file cannot be moved.
    void place();
    void commit();
    void rollback();
    // The paths of the new files in the target folder.
    const QStringList& placed() const { return placed_; }

private:
    struct Aside {
        QString original;
        QString aside;
    };
    void putAside(const QString& path);

    QString staging_;
    QString targetFolder_;
    QString retire_;
    QList<Aside> asides_;
    QStringList placed_;
    bool done_ = false;
};

// The name under which FileReplacement keeps a file it replaces until commit(): "<file>.vestrum-stare".
QString AsidePath(const QString& path);

// Puts back every file a replacement that never finished (the program was killed) left aside in `folder`: each
// "<file>.vestrum-stare" is renamed over "<file>", whose database journal, if any, goes with the new file.
// Returns the paths put back.
QStringList RestoreFilesSetAside(const QString& folder);

// Moves `from` to `to`, replacing whatever is at `to` in one step (the rename of the file system).
bool ReplaceByRename(const QString& from, const QString& to);

} // namespace vestrum::update
