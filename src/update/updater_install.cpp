#include "update/updater.h"
#include "update/updater_internal.h"

#include "import/journal_list_import.h"

#include "base/error.h"
#include "archive/zlb_archive.h"
#include "program/data_home.h"
#include "program/program.h"
#include "program/settings.h"
#include "program/startup.h"
#include "storage/schema.h"
#include "update/component_files.h"
#include "update/names.h"
#include "update/update_server.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTimer>

// The installation: each newer component fetched, checked against its signature, backed up and put in place
// whole or not at all; the program itself handed to the external updater; and at the start, the files an
// installation killed half-way left behind put back.
namespace vestrum::update {
namespace {

const QString kInstallQuestion
    = QStringLiteral("Program 'Vestrum' wykrył istnienie bardziej aktualnych wersji programu lub jego składników.\n"
                     "Czy chcesz, aby zostały one teraz zainstalowane?");
constexpr int kInstallQuestionNumber = 22;
const QString kSpecialCase = QStringLiteral(
    "Niestandardowy przypadek aktualizacji. Za chwilę zostanie otwarta strona internetowa ze szczegółowym opisem "
    "jakie czynności należy wykonać.");
const QString kReadOnlyFolder
    = QStringLiteral("Folder programu %1 jest tylko do odczytu.\nAktualizacje programu nie zostaną zainstalowane.");
const QString kReadOnlyDataFolder
    = QStringLiteral("Folder danych %1 jest tylko do odczytu.\nAktualizacje programu nie zostaną zainstalowane.");
const QString kProgramNotReplaced
    = QStringLiteral("Nie udało się zainstalować nowej wersji programu - program pracuje w dotychczasowej wersji %1.");

// The key under which a map already holds a component, whatever its letter case.
QString mapKey(const QMap<QString, QString>& map, const QString& name)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.key();
    }
    return name;
}

} // namespace

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath() + u'/';
}

void removeTree(const QString& folder)
{
    const QFileInfo info(QDir::cleanPath(folder));
    if (info.isSymLink())
        QFile::remove(info.filePath()); // the link only: nothing it points at is ours
    else if (info.isDir())
        QDir(info.filePath()).removeRecursively();
}

// The member of a package that becomes `wantedName` (letter case aside); the package is refused without it.
QString requiredMember(const QStringList& members, const QString& wantedName, const QString& package)
{
    for (const QString& m : members) {
        if (m.compare(wantedName, Qt::CaseInsensitive) == 0)
            return m;
    }
    throw Error(
        QStringLiteral("Pakiet aktualizacji %1 nie zawiera pliku %2.\nZainstalowany składnik pozostaje bez zmian.")
            .arg(QDir::toNativeSeparators(package), wantedName));
}

QString unfinishedUpdateMessage(const QString& component)
{
    return QStringLiteral("Poprzednia aktualizacja składnika %1 nie została dokończona - przywrócono jego poprzednią "
                          "wersję.")
        .arg(component);
}

namespace {

struct ComponentFile {
    QString name;
    QString path;
};

// The files the update replaces: the two databases and every file component the settings name, inside the
// program folder only (and none there when the program folder is never written).
QList<ComponentFile> componentFiles(const RunState& state)
{
    QList<ComponentFile> files { { QStringLiteral("dane"), state.DatabasePath },
        { QStringLiteral("Lista_czasopism"), state.journalListPath() } };
    if (state.keepsOutOfProgramFolder())
        return files;
    RunState settings = state;
    ReadSettings(settings);
    for (auto it = settings.ComponentFiles.cbegin(); it != settings.ComponentFiles.cend(); ++it) {
        const QString path = QDir::fromNativeSeparators(it.value().trimmed());
        if (!path.isEmpty() && IsInsideProgramFolder(state.ProgramFolder, path))
            files.append({ it.key(), path });
    }
    return files;
}

} // namespace

QStringList RestoreUnfinishedUpdates(Program& program)
{
    const QList<ComponentFile> files = componentFiles(program.state);
    QStringList scannedFolders;
    QStringList components;
    for (const ComponentFile& file : files) {
        const QString folder = QDir::cleanPath(QFileInfo(file.path).absolutePath());
        if (scannedFolders.contains(folder))
            continue;
        scannedFolders.append(folder);
        for (const QString& restored : RestoreFilesSetAside(folder)) {
            // A file put back is its own component's; any other file of the folder belongs to the component
            // whose folder it is (a package of several files).
            QString owner = file.name;
            for (const ComponentFile& other : files) {
                if (QDir::cleanPath(other.path) == QDir::cleanPath(restored))
                    owner = other.name;
            }
            if (!components.contains(owner))
                components.append(owner);
        }
    }
    for (const QString& component : components)
        program.notify(unfinishedUpdateMessage(QString(component).replace(u'_', u' ')), 0, MessageKind::Warning);
    return components;
}

// ------------------------------------------------------------------------------------------------------------
// Processes

bool ProcessHost::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath());
}

std::optional<int> ProcessHost::runAndWait(const QString& program, int timeLimitMs)
{
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(QFileInfo(program).absolutePath());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start();
    if (!process.waitForStarted())
        return std::nullopt;
    // The windows keep repainting while the component's program runs.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        process.kill();
    });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    limit.start(timeLimitMs);
    if (process.state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    process.waitForFinished(1000);
    if (timedOut || process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return process.exitCode();
}

// ------------------------------------------------------------------------------------------------------------
// Installing

bool Updater::mayInstall()
{
    // Decided without writing there: a probe file would land in the program folder, and root could write it.
    const RunState& state = program_.state;
    if (!isWritableFolder(state.dataFolder())) {
        const QString& text = state.keepsOutOfProgramFolder() ? kReadOnlyDataFolder : kReadOnlyFolder;
        program_.notify(text.arg(QDir::toNativeSeparators(state.dataFolder())), 0, MessageKind::Error);
        return false;
    }
    if (!arguments_.isEmpty() || resuming_ || QFileInfo::exists(versionFilePath()))
        return true;
    return program_.ask(kInstallQuestion, kInstallQuestionNumber);
}

void Updater::showProgress(int done, int count, const QString& label)
{
    progressDone_ = done;
    progressCount_ = count;
    progressLabel_ = label;
    datafiles::Progress& progress = host_.progress();
    progress.start(kCaption, label, count);
    for (int i = 0; i < done; ++i)
        progress.step(label);
}

bool Updater::InstallUpdates(const QString& source)
{
    handedOver_ = false;
    if (!mayInstall())
        return false;
    int count = 0;
    for (const UpdateEntry& entry : entries_)
        count += entry.isNewer() && offered(entry) ? 1 : 0;

    int done = 0;
    for (UpdateEntry& entry : entries_) {
        if (!entry.isNewer() || !offered(entry))
            continue;
        showProgress(done++, count, QStringLiteral("Instalowanie składnika: %1").arg(entry.name));
        if (!entry.specialPage.isEmpty()) {
            host_.progress().finish();
            program_.notify(kSpecialCase);
            if (const auto page = WebAddress(entry.specialPage))
                host_.openWebPage(*page);
            closeRequested_ = true;
            continue;
        }
        try {
            installEntry(entry, source);
        } catch (const Error& error) {
            host_.progress().finish();
            program_.notify(error.message(), 0, MessageKind::Error);
            continue;
        }
        if (handedOver_) {
            // tmp/ stays: the program carries on with it after the external updater has started it again.
            host_.progress().finish();
            closeRequested_ = true;
            host_.requestClose();
            return true;
        }
    }
    host_.progress().finish();
    cleanUp();
    if (closeRequested_)
        host_.requestClose();
    return false;
}

QString Updater::fetchPackage(const UpdateEntry& entry, const QString& source)
{
    const QString package = tmpFolder() + entry.package;
    // The signature first: without one the package is not worth its download. A signature that cannot be
    // fetched is refused as missing.
    const QString signature = SignaturePathOf(package);
    if (source != LocalSource() && !QFileInfo::exists(signature))
        fetcher_.fetchFile(PackageAddress(source, entry.package + QStringLiteral(".minisig")), signature);
    if (!QFileInfo::exists(signature))
        return package;
    if (source != LocalSource() && !QFileInfo::exists(package)) {
        const int done = progressDone_;
        const int count = progressCount_;
        const QString label = progressLabel_;
        showProgress(0, 0, QStringLiteral("Pobieranie pakietu: %1").arg(entry.package));
        const bool fetched = fetcher_.fetchFile(PackageAddress(source, entry.package), package);
        showProgress(done, count, label);
        if (!fetched)
            throw Error(QStringLiteral("Nie udało się pobrać pakietu aktualizacji %1 z serwera Marvo.\n"
                                       "Zainstalowany składnik %2 pozostaje bez zmian.")
                            .arg(entry.package, entry.name));
    }
    return package;
}

void Updater::installEntry(UpdateEntry& entry, const QString& source)
{
    if (entry.kind == ComponentKind::Program && resuming_ && markerVersion_ == programVersion())
        throw Error(kProgramNotReplaced.arg(programVersion()));
    // Read again: an earlier line of the version file, or another run since the check, may have brought this
    // version already, and it is not installed twice over the user's data.
    findInstalled(entry);
    const QString package = fetchPackage(entry, source);
    requireSigned(entry, package, source);
    const QStringList members = CheckPackage(package);
    switch (entry.kind) {
    case ComponentKind::Program:
        handOver(entry, package);
        return;
    case ComponentKind::File:
    case ComponentKind::RunOnce:
        installFile(entry, package, members);
        break;
    case ComponentKind::JournalList:
        installJournalList(entry, package, members);
        break;
    case ComponentKind::SurveyDatabase:
        installSurveyDatabase(entry, package, members);
        break;
    }
    entry.installed = entry.available;
    entry.upToDate = true;
}

// A package is opened only when signed for its own name and the version the version file offers, which must
// be newer than the installed one: no other package, and no older one, can take its place.
void Updater::requireSigned(const UpdateEntry& entry, const QString& package, const QString& source)
{
    SignatureCheck check; // missing until there is a signature
    if (QFileInfo(SignaturePathOf(package)).isFile()) {
        if (!QFileInfo(package).isFile())
            throw Error(QStringLiteral("Nie udało się pobrać pakietu aktualizacji %1.\n"
                                       "Zainstalowany składnik pozostaje bez zmian.")
                            .arg(QDir::toNativeSeparators(package)));
        check = verifier_.checkFileFor(package, entry.package, entry.available);
    }
    if (check.good() && entry.available <= entry.installed)
        check.fault = SignatureFault::NotTheSignedFile;
    if (check.good())
        return;
    if (source != LocalSource()) {
        // Fetched afresh next time, not taken again from tmp/.
        QFile::remove(package);
        QFile::remove(SignaturePathOf(package));
    }
    throw Error(kRefused.arg(entry.name, FaultReason(check)));
}

QString Updater::backupOf(const UpdateEntry& entry) const
{
    if (entry.localPath.trimmed().isEmpty() || !QFileInfo(entry.localPath).isFile())
        return {};
    return WriteBackup(entry.localPath, program_.state.archiveFolder() + entry.name, VersionText(entry.installed));
}

// Unpacks a checked package into a fresh folder of its own inside tmp/; `keptName` renames the member that
// must arrive under the installed file's exact name.
QString Updater::stagePackage(const UpdateEntry& entry, const QString& package, const QString& keptName)
{
    const QString staging = tmpFolder() + entry.name + QStringLiteral(".nowe");
    removeTree(staging);
    if (!QDir().mkpath(staging))
        throw Error(QStringLiteral("Nie można utworzyć folderu %1.").arg(QDir::toNativeSeparators(staging)));
    ZlbArchive archive;
    archive.SetCheckCRC(true);
    archive.OpenArchive(package);
    archive.ExtractAll(staging);
    archive.CloseArchive();
    if (!keptName.isEmpty()) {
        for (const QString& name : QDir(staging).entryList(QDir::Files)) {
            if (name != keptName && name.compare(keptName, Qt::CaseInsensitive) == 0)
                ReplaceByRename(QDir(staging).filePath(name), QDir(staging).filePath(keptName));
        }
    }
    return staging;
}

void Updater::handOver(const UpdateEntry& entry, const QString& package)
{
    const QString updater = updaterPath();
    if (!QFileInfo(updater).isExecutable())
        throw Error(
            QStringLiteral("Brak programu %1 w folderze programu.\nNowa wersja programu nie zostanie zainstalowana.")
                .arg(kUpdaterName));
    const QString backupFolder = program_.state.archiveFolder() + entry.name;
    QDir().mkpath(backupFolder);
    const QString backup = FreeBackupPath(backupFolder, VersionText(entry.installed));

    // The marker tells the next start that tmp/ holds an update this program began.
    QSaveFile marker(resumeMarkerPath());
    if (!marker.open(QIODevice::WriteOnly) || marker.write(programVersion().toUtf8()) < 0 || !marker.commit())
        throw Error(QStringLiteral("Nie można zapisać w folderze %1.").arg(QDir::toNativeSeparators(tmpFolder())));
    if (!host_.startDetached(updater, { executable_, package, backup })) {
        QFile::remove(resumeMarkerPath());
        throw Error(QStringLiteral("Nie można uruchomić programu %1.\nNowa wersja programu nie zostanie zainstalowana.")
                        .arg(kUpdaterName));
    }
    handedOver_ = true;
}

// Files a plain component must never replace: the program, its updater and settings, both databases (they
// change only with their restore point and carry-over), and whatever the program keeps in archiwum/ and tmp/.
bool Updater::isProgramOwnFile(const QString& path) const
{
    const RunState& state = program_.state;
    const QString target = QDir::cleanPath(path);
    const QStringList ownFiles
        = { executable_, updaterPath(), state.settingsPath(), state.DatabasePath, state.journalListPath() };
    for (const QString& own : ownFiles) {
        if (target.compare(QDir::cleanPath(own), Qt::CaseInsensitive) == 0)
            return true;
    }
    for (const QString& folder : { state.archiveFolder(), tmpFolder() }) {
        if (IsInsideProgramFolder(folder, target))
            return true;
    }
    return false;
}

void Updater::installFile(UpdateEntry& entry, const QString& package, const QStringList& members)
{
    const RunState& state = program_.state;
    const QString oldPath = entry.localPath.trimmed();
    const QString targetFolder
        = oldPath.isEmpty() ? FolderInsideProgramFolder(state.ProgramFolder, entry.folder) : folderOf(oldPath);
    if (targetFolder.isEmpty() || !IsInsideProgramFolder(state.ProgramFolder, targetFolder))
        throw Error(QStringLiteral("Folder składnika %1 leży poza folderem programu.").arg(entry.name));
    // The installed file keeps its name when the package brings it; otherwise the package's (first) member
    // becomes the component's file.
    QString installedName = members.first();
    for (const QString& m : members) {
        if (!oldPath.isEmpty() && m.compare(QFileInfo(oldPath).fileName(), Qt::CaseInsensitive) == 0)
            installedName = QFileInfo(oldPath).fileName();
    }
    for (const QString& m : members) {
        if (isProgramOwnFile(targetFolder + m) || (!oldPath.isEmpty() && isProgramOwnFile(oldPath)))
            throw Error(QStringLiteral("Pakiet składnika %1 zastąpiłby plik programu %2.\n"
                                       "Składnik nie zostanie zaktualizowany.")
                            .arg(entry.name, QDir::toNativeSeparators(targetFolder + m)));
    }
    backupOf(entry);
    const QString staging = stagePackage(entry, package, installedName);
    FileReplacement replacement(staging, targetFolder, oldPath);
    replacement.place();
    const QString newPath = targetFolder + installedName;
    if (entry.kind == ComponentKind::RunOnce) {
        QFile::setPermissions(
            newPath, QFile::permissions(newPath) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
        const auto exitCode = host_.runAndWait(newPath, runOnceLimitMs_);
        if (!exitCode || *exitCode != 0) {
            replacement.rollback();
            throw Error(QStringLiteral("Instalacja składnika %1 nie powiodła się (program %2 zakończył się błędem).\n"
                                       "Przywrócono poprzednią wersję składnika.")
                            .arg(entry.name, installedName));
        }
    }
    replacement.commit();
    entry.localPath = newPath;
    storeComponent(entry, newPath);
}

void Updater::installJournalList(UpdateEntry& entry, const QString& package, const QStringList& members)
{
    const QString path = program_.state.journalListPath();
    const QString fileName = QFileInfo(path).fileName();
    requiredMember(members, fileName, package);
    backupOf(entry);
    const QString staging = stagePackage(entry, package, fileName);
    // As after a list read from the ministry's file, the list replaced can be put back from the menu.
    importing::KeepPreviousJournalList(path);
    const bool wasOpen = program_.journals.isOpen();
    program_.journals.close();
    FileReplacement replacement(staging, folderOf(path), path);
    try {
        replacement.place();
        program_.journals.open(path, schema::databasePassword());
        replacement.commit();
    } catch (const Error& error) {
        program_.journals.close();
        replacement.rollback();
        if (wasOpen)
            program_.journals.open(path, schema::databasePassword());
        throw Error(QStringLiteral("Nie udało się zainstalować nowej listy czasopism; pozostaje dotychczasowa.\n%1")
                        .arg(error.message()));
    }
    if (!wasOpen)
        program_.journals.close();
    journalReplaced_ = true;
}

void Updater::storeComponent(const UpdateEntry& entry, const QString& localPath)
{
    RunState& state = program_.state;
    const QString version = VersionText(entry.available);
    IniFile ini;
    ini.load(state.settingsPath());
    ini.setValue(entry.name, QStringLiteral("wersja"), version);
    state.ComponentVersions.insert(mapKey(state.ComponentVersions, entry.name), version);
    if (!entry.isNamed(QStringLiteral("pomoc"))) {
        ini.setValue(entry.name, QStringLiteral("Obiekt"), QDir::toNativeSeparators(localPath));
        state.ComponentFiles.insert(mapKey(state.ComponentFiles, entry.name), QDir::toNativeSeparators(localPath));
    }
    ini.save(state.settingsPath());
}

} // namespace vestrum::update
