#include "archive/zlb_archive.h"

#include "archive/archive_failures.h"
#include "archive/member_names.h"
#include "archive/member_outputs.h"
#include "archive/staged_files.h"
#include "base/durable_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// Extracting members into files: where each goes, and its staged write.

namespace vestrum {
using namespace zlb;

namespace {

// Below this the second thread's 2 MiB of buffers cost more than writing beside inflating gains.
constexpr qint64 kThreadedOutputFrom = 4 * 1024 * 1024;

} // namespace

// The folder a member goes to. Names and stored folders come from the file, so no part of them may climb out of
// the target folder or name a drive; such a member is refused as corrupt.
QString ZlbArchive::extractFolderFor(const QString& targetFolder, int number, bool withPath) const
{
    const TArchiveEntry& e = entries_[static_cast<size_t>(number)];
    if (unsafeName(e.fileName()))
        throw memberCorrupt(number);
    QString folder = QDir::cleanPath(targetFolder);
    if (withPath) {
        // Doubled and trailing backslashes fall away with the empty parts.
        QString path = e.filePath();
        path.replace(QLatin1Char('/'), QLatin1Char('\\'));
        const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
        for (const QString& part : parts) {
            if (part == QLatin1String("."))
                continue;
            if (unsafeName(part))
                throw memberCorrupt(number);
            folder = joinPath(folder, part);
        }
    }
    return folder;
}

void ZlbArchive::extractMember(QFile& archive, int number, const QString& target)
{
    const TArchiveEntry& e = entries_[static_cast<size_t>(number)];
    // Written beside the target and renamed over it when whole and checked: a corrupt member never replaces a
    // good file of the same name with a half-written one.
    QString tempPath;
    try {
        tempPath = MakeTempFileName(QFileInfo(target).absolutePath());
    } catch (const Error&) {
        throw cannotOpen(target);
    }
    tempfiles::TempFileGuard guard(tempPath);
    QFile out(tempPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw cannotOpen(target);
    std::uint32_t crc = 0;
    if (e.UnpackedSize >= kThreadedOutputFrom) {
        ThreadedFileOutput output(out, checkCrc_, target);
        streamMember(archive, number, output);
        output.finish();
        crc = output.crc();
    } else {
        PlainFileOutput output(out, checkCrc_, target);
        streamMember(archive, number, output);
        crc = output.crc;
    }
    if (checkCrc_ && crc != e.CRC)
        throw memberCorrupt(number);
    if (!out.flush())
        throw cannotOpen(target);
    // A file put over one that was there (`archive extract` over the user's files) must survive a power cut
    // whole, old or new; a new file in a scratch folder is not worth the wait.
    const bool replacing = QFileInfo::exists(target);
    if (replacing && !durable::syncFile(out))
        throw cannotOpen(target);
    out.close();
    if (!durable::replaceFile(tempPath, target))
        throw cannotOpen(target);
    if (replacing)
        durable::syncFolder(QFileInfo(target).absolutePath());
    guard.release();
}

void ZlbArchive::ExtractAll(const QString& targetFolder)
{
    requireOpen();
    QFile archive(fileName_);
    if (!archive.open(QIODevice::ReadOnly))
        throw cannotOpen(fileName_);
    if (targetFolder.isEmpty())
        throw Error(kFolderNotMade);

    for (size_t i = 0; i < entries_.size(); ++i) {
        const int number = static_cast<int>(i);
        const QString folder = extractFolderFor(targetFolder, number, extractWithPath_);
        QDir().mkpath(folder);
        if (!QFileInfo(folder).isDir())
            throw Error(kFolderNotMade);
        const QString target = joinPath(folder, entries_[i].fileName());
        const QFileInfo targetInfo(target);
        if (targetInfo.exists() && OnReplaceFile) {
            bool replace = false;
            OnReplaceFile(target, replace);
            if (!replace)
                continue;
        }
        extractMember(archive, number, target);
        if (OnFileExtracted)
            OnFileExtracted(target);
    }
    archive.close();
    progressIdle();
}

void ZlbArchive::ExtractFile(int index, const QString& targetFolder)
{
    requireOpen();
    if (index < 0 || static_cast<size_t>(index) >= entries_.size())
        throw Error(kNoSuchMember);
    if (targetFolder.isEmpty() || !QFileInfo(targetFolder).isDir())
        throw Error(kFolderNotMade);
    QFile archive(fileName_);
    if (!archive.open(QIODevice::ReadOnly))
        throw cannotOpen(fileName_);
    const QString folder = extractFolderFor(targetFolder, index, false);
    extractMember(archive, index, joinPath(folder, entries_[static_cast<size_t>(index)].fileName()));
    archive.close();
    progressIdle();
}

} // namespace vestrum
