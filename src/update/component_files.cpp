#include "update/component_files.h"

#include "base/durable_files.h"
#include "base/error.h"
#include "base/file_modes.h"
#include "archive/staged_files.h"
#include "archive/zlb_archive.h"
#include "update/names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>

namespace vestrum::update {
namespace {

constexpr const char* kAsideSuffix = ".vestrum-stare";

Error damagedPackage(const QString& packagePath)
{
    return Error(QStringLiteral("Pakiet aktualizacji %1 jest uszkodzony lub niekompletny.\n"
                                "Zainstalowany składnik pozostaje bez zmian.")
                     .arg(QDir::toNativeSeparators(packagePath)));
}

} // namespace

bool ReplaceByRename(const QString& from, const QString& to)
{
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), ec);
    return !ec;
}

QString AsidePath(const QString& path)
{
    return path + QString::fromLatin1(kAsideSuffix);
}

QStringList RestoreFilesSetAside(const QString& folder)
{
    QStringList restored;
    const QDir dir(folder);
    const QString suffix = QString::fromLatin1(kAsideSuffix);
    for (const QString& name : dir.entryList({ QLatin1Char('*') + suffix }, QDir::Files | QDir::Hidden, QDir::Name)) {
        if (name.size() == suffix.size())
            continue;
        const QString original = dir.filePath(name.chopped(suffix.size()));
        // A database killed in the middle of a transaction leaves its journal beside it; that journal belongs
        // to the new file and would be played into the old one at its next opening.
        for (const char* companion : { "-journal", "-wal", "-shm" })
            QFile::remove(original + QString::fromLatin1(companion));
        if (ReplaceByRename(dir.filePath(name), original))
            restored.append(original);
    }
    return restored;
}

QStringList CheckPackage(const QString& packagePath)
{
    if (!QFileInfo(packagePath).isFile())
        throw Error(
            QStringLiteral("Nie udało się pobrać pakietu aktualizacji %1.\nZainstalowany składnik pozostaje bez zmian.")
                .arg(QDir::toNativeSeparators(packagePath)));
    QStringList names;
    try {
        ZlbArchive archive;
        archive.OpenArchive(packagePath);
        archive.CheckMembers();
        for (int i = 0; i < archive.FileCount(); ++i)
            names.append(archive.GetFileEntry(i).fileName());
        archive.CloseArchive();
    } catch (const Error&) {
        throw damagedPackage(packagePath);
    }
    if (names.isEmpty())
        throw damagedPackage(packagePath);
    // Members unpack side by side into one folder, and the program finds them whatever their letter case.
    for (const QString& name : names) {
        const auto sameName = [&name](const QString& other) { return other.compare(name, Qt::CaseInsensitive) == 0; };
        if (!IsPlainFileName(name) || std::count_if(names.cbegin(), names.cend(), sameName) > 1)
            throw damagedPackage(packagePath);
    }
    return names;
}

QString FreeBackupPath(const QString& folder, const QString& baseName)
{
    const QString base = QDir(folder).filePath(baseName);
    QString path = base + QStringLiteral(".nar");
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = base + QStringLiteral("_%1.nar").arg(n);
    return path;
}

QString WriteBackup(const QString& sourceFile, const QString& folder, const QString& baseName)
{
    const Error failed(QStringLiteral("Nie można utworzyć kopii zapasowej pliku %1 w folderze %2.\n"
                                      "Składnik nie zostanie zaktualizowany.")
                           .arg(QDir::toNativeSeparators(sourceFile), QDir::toNativeSeparators(folder)));
    if (!QDir().mkpath(folder))
        throw failed;
    const QString staging = tempfiles::createFile(folder);
    if (staging.isEmpty())
        throw failed;
    struct RemoveStaging {
        QString path;
        ~RemoveStaging() { QFile::remove(path); }
    } removeStaging { staging };
    try {
        ZlbArchive archive;
        archive.OpenArchive(staging);
        archive.AddFile(sourceFile);
        const bool written = archive.LastFailure().isEmpty() && archive.FileCount() == 1;
        archive.CloseArchive();
        if (!written)
            throw failed;
        ZlbArchive check;
        check.OpenArchive(staging);
        check.CheckMembers();
        if (check.GetFileEntry(0).UnpackedSize != static_cast<std::uint32_t>(QFileInfo(sourceFile).size()))
            throw failed;
    } catch (const Error&) {
        throw failed;
    }
    // A plain rename never replaces an existing file; should another backup take the free name meanwhile,
    // the next free one is tried.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString target = FreeBackupPath(folder, baseName);
        if (QFile::rename(staging, target)) {
            durable::syncFolder(folder);
            return target;
        }
    }
    throw failed;
}

FileReplacement::FileReplacement(QString staging, QString targetFolder, QString retire)
    : staging_(std::move(staging))
    , targetFolder_(std::move(targetFolder))
    , retire_(std::move(retire))
{
}

FileReplacement::~FileReplacement()
{
    if (!done_)
        rollback();
}

void FileReplacement::putAside(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    for (const Aside& a : asides_) {
        if (a.original == path)
            return;
    }
    const QString aside = AsidePath(path);
    QFile::remove(aside);
    if (!ReplaceByRename(path, aside))
        throw Error(QStringLiteral("Nie można zastąpić pliku %1.").arg(QDir::toNativeSeparators(path)));
    asides_.append({ path, aside });
}

void FileReplacement::place()
{
    try {
        if (!QDir().mkpath(targetFolder_))
            throw Error(QStringLiteral("Nie można utworzyć folderu %1.").arg(QDir::toNativeSeparators(targetFolder_)));
        if (!retire_.isEmpty())
            putAside(retire_);
        const QStringList names = QDir(staging_).entryList(QDir::Files | QDir::Hidden);
        for (const QString& name : names) {
            const QString target = QDir(targetFolder_).filePath(name);
            const QString staged = QDir(staging_).filePath(name);
            // On the disk before it takes the installed file's name: after a power cut the component is the
            // old one (put back from its aside copy at the next start) or the new one whole.
            if (!durable::syncFileAt(staged))
                throw Error(QStringLiteral("Nie można zapisać pliku %1.").arg(QDir::toNativeSeparators(target)));
            putAside(target);
            if (!durable::replaceFile(staged, target))
                throw Error(QStringLiteral("Nie można zapisać pliku %1.").arg(QDir::toNativeSeparators(target)));
            placed_.append(target);
            closeToOthersLikeItsFolder(target); // a database brought into the user's own data folder
        }
        durable::syncFolder(QDir::cleanPath(targetFolder_));
    } catch (const Error&) {
        rollback();
        throw;
    }
}

void FileReplacement::commit()
{
    for (const Aside& a : asides_)
        QFile::remove(a.aside);
    asides_.clear();
    done_ = true;
}

void FileReplacement::rollback()
{
    for (const QString& path : placed_)
        QFile::remove(path);
    placed_.clear();
    for (auto it = asides_.crbegin(); it != asides_.crend(); ++it)
        ReplaceByRename(it->aside, it->original);
    asides_.clear();
    done_ = true;
}

} // namespace vestrum::update
