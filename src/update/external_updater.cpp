#include "update/external_updater.h"

#include "base/error.h"
#include "files/temp_files.h"
#include "files/zlb_archive.h"
#include "program/startup.h"
#include "update/component_files.h"
#include "update/names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

namespace vestrum::update {
namespace {

QString chooseMember(const QStringList& members, const QString& executableName)
{
    for (const QString& m : members) {
        if (m.compare(executableName, Qt::CaseInsensitive) == 0)
            return m;
    }
    return members.size() == 1 ? members.first() : QString();
}

} // namespace

ProgramReplacement ReplaceProgram(const QString& executable, const QString& package, const QString& backup)
{
    const QFileInfo program(executable);
    const QString folder = program.absolutePath() + u'/';
    if (!program.isFile() || !IsInsideProgramFolder(folder, package) || !IsInsideProgramFolder(folder, backup))
        return ProgramReplacement::BadArguments;

    QString member;
    try {
        member = chooseMember(CheckPackage(package), program.fileName());
    } catch (const Error&) {
        return ProgramReplacement::PackageRefused;
    }
    if (member.isEmpty())
        return ProgramReplacement::PackageRefused;

    const QFileInfo backupInfo(backup);
    try {
        WriteBackup(executable, backupInfo.absolutePath(), backupInfo.completeBaseName());
    } catch (const Error&) {
        return ProgramReplacement::BackupFailed;
    }

    QTemporaryDir staging(folder + tempfiles::nameFor(QStringLiteral("XXXXXX")));
    if (!staging.isValid())
        return ProgramReplacement::WriteFailed;
    try {
        ZlbArchive archive;
        archive.SetCheckCRC(true);
        archive.OpenArchive(package);
        archive.ExtractAll(staging.path());
    } catch (const Error&) {
        return ProgramReplacement::WriteFailed;
    }
    const QString fresh = QDir(staging.path()).filePath(member);
    const auto mode0755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    if (!QFile::setPermissions(fresh, mode0755) || !ReplaceByRename(fresh, program.absoluteFilePath()))
        return ProgramReplacement::WriteFailed;
    return ProgramReplacement::Replaced;
}

int RunExternalUpdater(const QStringList& arguments, int waitMs)
{
    if (arguments.size() != 4)
        return static_cast<int>(ProgramReplacement::BadArguments);
    const QString executable = arguments[1];
    ProgramReplacement result = ProgramReplacement::ProgramStillRunning;
    {
        // Held while the file is replaced, so that the program cannot start half way through.
        QLockFile lock(startup::singleInstanceLockPath());
        if (lock.tryLock(waitMs))
            result = ReplaceProgram(executable, arguments[2], arguments[3]);
    }
    QProcess::startDetached(executable, {}, QFileInfo(executable).absolutePath());
    return static_cast<int>(result);
}

} // namespace vestrum::update
