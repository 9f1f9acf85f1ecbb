#include "update/external_updater.h"

#include "base/error.h"
#include "archive/staged_files.h"
#include "archive/zlb_archive.h"
#include "program/startup.h"
#include "update/component_files.h"
#include "update/names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <filesystem>

namespace vestrum::update {
namespace {

QString memberNamed(const QStringList& members, const QString& name)
{
    for (const QString& m : members) {
        if (m.compare(name, Qt::CaseInsensitive) == 0)
            return m;
    }
    return {};
}

// The program's member: named like the executable, or the only one besides a new updater.
QString chooseMember(QStringList members, const QString& executableName)
{
    const QString named = memberNamed(members, executableName);
    if (!named.isEmpty())
        return named;
    members.removeAll(memberNamed(members, UpdaterFileName()));
    return members.size() == 1 ? members.first() : QString();
}

bool makeExecutable(const QString& path)
{
    const auto mode0755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    return QFile::setPermissions(path, mode0755);
}

// A second name for the old executable, so that it can come back after the rename has replaced it.
bool keepAside(const QString& path, const QString& aside)
{
    std::error_code ec;
    std::filesystem::create_hard_link(
        QFile::encodeName(path).toStdString(), QFile::encodeName(aside).toStdString(), ec);
    return !ec || QFile::copy(path, aside);
}

} // namespace

QString UpdaterFileName()
{
    return QStringLiteral("aktualizuj");
}

ProgramReplacement ReplaceProgram(
    const QString& executable, const QString& package, const QString& backup, const SignatureVerifier& verifier)
{
    const QFileInfo program(executable);
    const QString folder = program.absolutePath() + u'/';
    if (!program.isFile() || !IsInsideProgramFolder(folder, package) || !IsInsideProgramFolder(folder, backup))
        return ProgramReplacement::BadArguments;
    if (!QFileInfo(package).isFile())
        return ProgramReplacement::PackageRefused;
    // The program checked the package before it handed it over; the updater checks again with its own keys,
    // as it cannot know what the program that started it was.
    if (!verifier.checkFileFor(package, QFileInfo(package).fileName()).good())
        return ProgramReplacement::SignatureRefused;

    QString member;
    QString updaterMember;
    try {
        const QStringList members = CheckPackage(package);
        member = chooseMember(members, program.fileName());
        updaterMember = memberNamed(members, UpdaterFileName());
    } catch (const Error&) {
        return ProgramReplacement::PackageRefused;
    }
    if (member.isEmpty() || member == updaterMember)
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
    const QString freshUpdater = updaterMember.isEmpty() ? QString() : QDir(staging.path()).filePath(updaterMember);
    const QString oldProgram = QDir(staging.path()).filePath(QStringLiteral("poprzedni-program"));
    if (!makeExecutable(fresh) || (!freshUpdater.isEmpty() && !makeExecutable(freshUpdater)))
        return ProgramReplacement::WriteFailed;
    if (!freshUpdater.isEmpty() && !keepAside(program.absoluteFilePath(), oldProgram))
        return ProgramReplacement::WriteFailed;
    if (!ReplaceByRename(fresh, program.absoluteFilePath()))
        return ProgramReplacement::WriteFailed;
    // The new updater goes in after the program; program and updater change together or not at all.
    if (!freshUpdater.isEmpty() && !ReplaceByRename(freshUpdater, folder + UpdaterFileName())) {
        ReplaceByRename(oldProgram, program.absoluteFilePath());
        return ProgramReplacement::WriteFailed;
    }
    return ProgramReplacement::Replaced;
}

int RunExternalUpdater(const QStringList& arguments, int waitMs, const PublicKeys& keys)
{
    if (arguments.size() != 4)
        return static_cast<int>(ProgramReplacement::BadArguments);
    const QString executable = arguments[1];
    ProgramReplacement result = ProgramReplacement::ProgramStillRunning;
    {
        // Held while the file is replaced, so that the program cannot start half way through.
        QLockFile lock(startup::singleInstanceLockPath());
        if (lock.tryLock(waitMs))
            result = ReplaceProgram(executable, arguments[2], arguments[3], SignatureVerifier(keys));
    }
    QProcess::startDetached(executable, {}, QFileInfo(executable).absolutePath());
    return static_cast<int>(result);
}

} // namespace vestrum::update
