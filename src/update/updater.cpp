#include "update/updater.h"

#include "import/journal_list_import.h"

#include "base/codepage.h"
#include "base/error.h"
#include "datafile/restore_points.h"
#include "archive/zlb_archive.h"
#include "program/data_home.h"
#include "program/program.h"
#include "program/settings.h"
#include "program/startup.h"
#include "storage/schema.h"
#include "update/component_files.h"
#include "update/names.h"
#include "update/update_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTimer>

namespace vestrum::update {
namespace {

const QString kCaption = QStringLiteral("Aktualizacja programu");
const QString kNoConnection
    = QStringLiteral("Nie można sprawdzić czy istnieją aktualizacje programu.\nBłąd połączenia z serwerem Marvo.");
constexpr int kNoConnectionNumber = 20;
const QString kInstallQuestion
    = QStringLiteral("Program 'Vestrum' wykrył istnienie bardziej aktualnych wersji programu lub jego składników.\n"
                     "Czy chcesz, aby zostały one teraz zainstalowane?");
constexpr int kInstallQuestionNumber = 22;
const QString kNothingNewer
    = QStringLiteral("Pobrany pakiet nie zawiera elementów nowszych od zainstalowanych na tym komputerze.");
const QString kNotAnUpdate = QStringLiteral("Podany plik nie zawiera poprawnej aktualizacji programu \"Vestrum\"");
const QString kSpecialCase = QStringLiteral(
    "Niestandardowy przypadek aktualizacji. Za chwilę zostanie otwarta strona internetowa ze szczegółowym opisem "
    "jakie czynności należy wykonać.");
const QString kReadOnlyFolder
    = QStringLiteral("Folder programu %1 jest tylko do odczytu.\nAktualizacje programu nie zostaną zainstalowane.");
const QString kReadOnlyDataFolder
    = QStringLiteral("Folder danych %1 jest tylko do odczytu.\nAktualizacje programu nie zostaną zainstalowane.");
const QString kRefused = QStringLiteral("Aktualizacja składnika %1 odrzucona: %2.");
const QString kInvalidVersionFile = QStringLiteral("plik wersji otrzymany z serwera Marvo ma nieprawidłową treść");
const QString kVersionFileTooLong = QStringLiteral("plik wersji jest dłuższy niż 1 MiB");
const QString kProgramNotReplaced
    = QStringLiteral("Nie udało się zainstalować nowej wersji programu - program pracuje w dotychczasowej wersji %1.");

const QString kVersionFileName = QStringLiteral("ankieta_version.conf");
const QString kResumeMarkerName = QStringLiteral("wznowienie");
const QString kUpdaterName = QStringLiteral("aktualizuj");
constexpr qint64 kMaxVersionFileBytes = Fetcher::MaxTextBytes;

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath() + u'/';
}

// The server may send its version file in UTF-8 or in the Windows code page of the original program.
QString decodeVersionText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? codepage::fromWindows1250(bytes) : text;
}

QString databaseVersionOf(db::Connection& connection, const QString& path)
{
    if (connection.isOpen())
        return startup::databaseVersion(connection);
    if (!QFileInfo(path).isFile())
        return QStringLiteral("0.0.0.0");
    db::Connection opened;
    try {
        opened.open(path, schema::databasePassword());
    } catch (const Error&) {
        return QStringLiteral("0.0.0.0");
    }
    return startup::databaseVersion(opened);
}

// The key under which a map already holds a component, whatever its letter case.
QString mapKey(const QMap<QString, QString>& map, const QString& name)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.key();
    }
    return name;
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

// Keeps the data file the working data are tied to, and whether they are saved, across a load of other data:
// the carried-over data stay tied to the user's file, never to the backup they were read from.
class DataTiesKept {
public:
    explicit DataTiesKept(RunState& state)
        : state_(state)
        , file_(state.CurrentDataFile)
        , saved_(state.DataSaved)
        , startingData_(state.StartingDataMode)
    {
        state_.StartingDataMode = false;
    }
    ~DataTiesKept()
    {
        state_.CurrentDataFile = file_;
        SetDataSaved(state_, saved_);
        state_.StartingDataMode = startingData_;
    }
    DataTiesKept(const DataTiesKept&) = delete;
    DataTiesKept& operator=(const DataTiesKept&) = delete;

private:
    RunState& state_;
    QString file_;
    bool saved_;
    bool startingData_;
};

} // namespace

QString LocalSource()
{
    return QStringLiteral("lokalnie");
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

QString ProgramUpdateNote(const RunState& state)
{
    switch (state.DataHome) {
    case DataHomeKind::Installed:
        return QStringLiteral("Program jest aktualizowany przez menedżera pakietów systemu.");
    case DataHomeKind::ReadOnlyProgramFolder:
        return QStringLiteral("Folder programu jest tylko do odczytu: nowe wersje programu nie są w nim instalowane.");
    case DataHomeKind::ProgramFolder:
        break;
    }
    return {};
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
// Checking

Updater::Updater(Program& program, Fetcher& fetcher, UpdateHost& host, PublicKeys keys)
    : program_(program)
    , fetcher_(fetcher)
    , host_(host)
    , verifier_(std::move(keys))
    , executable_(QCoreApplication::applicationFilePath())
{
}

void Updater::setArguments(const QStringList& arguments)
{
    arguments_.clear();
    // A data file is what a double click passes: it must not install updates unasked.
    for (const QString& argument : arguments) {
        if (!startup::isDataFileArgument(argument))
            arguments_.append(argument);
    }
}

bool Updater::offered(const UpdateEntry& entry) const
{
    // The package manager owns the program folder of an installed program (and nobody may write a read-only
    // one): only the components that live in the user's data folder are installed there.
    return !program_.state.keepsOutOfProgramFolder() || entry.kind == ComponentKind::SurveyDatabase
        || entry.kind == ComponentKind::JournalList;
}

QString Updater::tmpFolder() const
{
    return program_.state.dataFolder() + QStringLiteral("tmp/");
}

QString Updater::versionFilePath() const
{
    return tmpFolder() + kVersionFileName;
}

QString Updater::resumeMarkerPath() const
{
    return tmpFolder() + kResumeMarkerName;
}

QString Updater::updaterPath() const
{
    return program_.state.ProgramFolder + kUpdaterName;
}

void Updater::prepareStart()
{
    resuming_ = false;
    markerVersion_.clear();
    const QFileInfo tmp(QDir::cleanPath(tmpFolder()));
    QFile marker(resumeMarkerPath());
    if (tmp.isDir() && !tmp.isSymLink() && marker.open(QIODevice::ReadOnly)) {
        markerVersion_ = QString::fromUtf8(marker.read(64)).trimmed();
        resuming_ = true;
        return;
    }
    // Whatever else lies in tmp/ was left by an update this run did not start: never used, never trusted.
    cleanUp();
}

void Updater::cleanUp()
{
    removeTree(tmpFolder());
}

void Updater::refuse(const QString& name, const SignatureCheck& check)
{
    program_.notify(kRefused.arg(name, FaultReason(check)), 0, MessageKind::Error);
}

// The version file once its signature checks; nothing when it could not be had or was refused (the user has
// been told). Nothing of it is parsed before that.
std::optional<QByteArray> Updater::signedVersionFile(const QString& source)
{
    QByteArray content;
    std::optional<QByteArray> signature;
    if (source != LocalSource() && !QFileInfo::exists(versionFilePath())) {
        host_.progress().start(kCaption, QStringLiteral("Sprawdzanie, czy są dostępne nowsze wersje programu..."), 0);
        const auto body = fetcher_.fetchText(QUrl(source));
        if (body && !body->isEmpty() && body->size() <= kMaxVersionFileBytes)
            signature = fetcher_.fetchText(QUrl(source + QStringLiteral(".minisig")));
        host_.progress().finish();
        if (!body || body->isEmpty()) {
            program_.notify(kNoConnection, kNoConnectionNumber);
            return std::nullopt;
        }
        content = *body;
    } else {
        QFile file(versionFilePath());
        if (file.open(QIODevice::ReadOnly))
            content = file.read(kMaxVersionFileBytes + 1);
        QFile signatureFile(SignaturePathOf(versionFilePath()));
        if (signatureFile.open(QIODevice::ReadOnly))
            signature = signatureFile.read(kMaxSignatureFileBytes + 1);
    }
    // Refused for what it is, whoever signed it: no version file is that long, and none is read whole to check it.
    if (content.size() > kMaxVersionFileBytes) {
        program_.notify(kRefused.arg(kVersionFileName, kVersionFileTooLong), 0, MessageKind::Error);
        return std::nullopt;
    }
    const SignatureCheck check = verifier_.checkBytesFor(content, signature, kVersionFileName);
    if (!check.good()) {
        refuse(kVersionFileName, check);
        return std::nullopt;
    }
    return content;
}

void Updater::findInstalled(UpdateEntry& entry)
{
    RunState& state = program_.state;
    QString version = QStringLiteral("0.0.0.0");
    entry.localPath.clear();
    if (entry.isNamed(QStringLiteral("program"))) {
        version = programVersion();
        entry.localPath = executable_;
    } else if (entry.isNamed(QStringLiteral("dane"))) {
        version = databaseVersionOf(program_.survey, state.DatabasePath);
        entry.localPath = state.DatabasePath;
    } else if (entry.isNamed(QStringLiteral("Lista_czasopism"))) {
        version = databaseVersionOf(program_.journals, state.journalListPath());
        entry.localPath = state.journalListPath();
    } else {
        IniFile ini;
        ini.load(state.settingsPath());
        version = ini.value(entry.name, QStringLiteral("wersja"), version);
        if (entry.isNamed(QStringLiteral("pomoc"))) {
            entry.localPath = state.HelpFile;
        } else {
            const QString object
                = QDir::fromNativeSeparators(ini.value(entry.name, QStringLiteral("Obiekt")).trimmed());
            // A path from the settings counts only inside the program folder.
            if (IsInsideProgramFolder(state.ProgramFolder, object))
                entry.localPath = object;
        }
    }
    entry.installed = InstalledVersion(version);
}

bool Updater::CheckForUpdates(const QString& source)
{
    const bool local = source == LocalSource();
    entries_.clear();
    checkFailed_ = true;
    if (!offersUpdates()) {
        program_.notify(NoUpdateKeyNotice(), 0, MessageKind::Error);
        return true;
    }
    const auto content = signedVersionFile(source);
    if (!content)
        return true;
    // The server answered, with a signed file: a content the reader refuses is no connection failure.
    const auto parsed = ParseVersionFile(decodeVersionText(*content));
    if (!parsed) {
        if (local)
            program_.notify(kNotAnUpdate, 0, MessageKind::Error);
        else
            program_.notify(kRefused.arg(kVersionFileName, kInvalidVersionFile), 0, MessageKind::Error);
        return true;
    }
    checkFailed_ = false;
    entries_ = *parsed;
    bool nothingNewer = true;
    for (UpdateEntry& entry : entries_) {
        findInstalled(entry);
        entry.upToDate = !entry.isNewer() || !offered(entry);
        nothingNewer = nothingNewer && entry.upToDate;
    }
    if (local && nothingNewer)
        program_.notify(kNothingNewer);
    return nothingNewer;
}

QVector<QPair<QString, QString>> Updater::versionRows() const
{
    QVector<QPair<QString, QString>> rows;
    for (auto it = entries_.crbegin(); it != entries_.crend(); ++it)
        rows.append({ QString(it->name).replace(u'_', u' '), VersionText(it->installed) });
    return rows;
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

QString Updater::makeRestorePoint()
{
    QString made;
    return restorepoints::MakeRestorePoint(program_, &made) ? made : QString();
}

void Updater::carryOverData(const QString& backup)
{
    DataTiesKept kept(program_.state);
    if (datafiles::LoadDataFile(program_, backup, host_.progress()) == datafiles::LoadOutcome::Declined)
        throw Error(QStringLiteral("Przeniesienie danych zostało przerwane."));
}

void Updater::installSurveyDatabase(UpdateEntry& entry, const QString& package, const QStringList& members)
{
    const QString path = program_.state.DatabasePath;
    const QString fileName = QFileInfo(path).fileName();
    requiredMember(members, fileName, package);
    const bool hadData = QFileInfo(path).isFile();
    const QString backup = backupOf(entry);
    QString restorePoint;
    if (hadData) {
        // The user's data are never put at risk without a restore point.
        restorePoint = makeRestorePoint();
        if (restorePoint.isEmpty())
            throw Error(QStringLiteral("Nie udało się utworzyć punktu przywracania danych.\n"
                                       "Baza danych ankiety nie zostanie zaktualizowana."));
    }
    const QString staging = stagePackage(entry, package, fileName);
    const bool wasOpen = program_.survey.isOpen();
    program_.survey.close();
    FileReplacement replacement(staging, folderOf(path), path);
    try {
        replacement.place();
        program_.survey.open(path, schema::databasePassword());
        if (hadData)
            carryOverData(backup);
        replacement.commit();
    } catch (const Error& error) {
        program_.survey.close();
        replacement.rollback();
        if (wasOpen)
            program_.survey.open(path, schema::databasePassword());
        throw Error(QStringLiteral("Nie udało się przenieść danych do nowej bazy danych ankiety.\n"
                                   "Program pracuje nadal na dotychczasowej bazie danych (wersja %1).\n"
                                   "Kopia poprzedniej bazy: %2\nPunkt przywracania danych: %3\n\n%4")
                        .arg(VersionText(entry.installed), QDir::toNativeSeparators(backup),
                            QDir::toNativeSeparators(restorePoint), error.message()));
    }
    if (!wasOpen)
        program_.survey.close();
    surveyReplaced_ = true;
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

// ------------------------------------------------------------------------------------------------------------
// Start and offline package

bool Updater::RunAtStart(const QString& server)
{
    closeRequested_ = false;
    if (!offersUpdates())
        return false; // the about box says why
    prepareStart();
    if (CheckForUpdates(VersionFileAddress(server).toString())) {
        // A resumed update with nothing left to do is finished; after a failed check it waits for the next start.
        if (resuming_ && !checkFailed_)
            cleanUp();
        return closeRequested_;
    }
    return InstallUpdates(DownloadBase(server)) || closeRequested_;
}

bool Updater::OfflineUpdate(const QString& packageFile)
{
    closeRequested_ = false;
    if (!offersUpdates()) {
        program_.notify(NoUpdateKeyNotice(), 0, MessageKind::Error);
        return false;
    }
    // The package is signed as a whole and checked before it is opened; a refusal leaves tmp/ as it was.
    const QString packageName = QFileInfo(packageFile).fileName();
    const SignatureCheck check = verifier_.checkFileFor(packageFile, packageName);
    if (!check.good()) {
        refuse(packageName, check);
        return false;
    }
    resuming_ = false;
    cleanUp();
    try {
        ZlbArchive archive;
        archive.OpenArchive(packageFile);
        archive.CheckMembers();
        if (!QDir().mkpath(tmpFolder()))
            throw Error(QStringLiteral("Nie można utworzyć folderu %1.").arg(QDir::toNativeSeparators(tmpFolder())));
        archive.ExtractAll(tmpFolder());
        archive.CloseArchive();
    } catch (const Error& error) {
        cleanUp();
        program_.notify(error.message(), 0, MessageKind::Error);
        return false;
    }
    // Only the version file itself counts, never a folder or link of that name.
    if (!QFileInfo(versionFilePath()).isFile() || QFileInfo(versionFilePath()).isSymLink()) {
        cleanUp();
        program_.notify(kNotAnUpdate, 0, MessageKind::Error);
        return false;
    }
    if (CheckForUpdates(LocalSource())) {
        cleanUp();
        return false;
    }
    return InstallUpdates(LocalSource());
}

} // namespace vestrum::update
