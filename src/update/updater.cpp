#include "update/updater.h"
#include "update/updater_internal.h"

#include "base/codepage.h"
#include "base/error.h"
#include "archive/zlb_archive.h"
#include "program/program.h"
#include "program/settings.h"
#include "program/startup.h"
#include "storage/schema.h"
#include "update/names.h"
#include "update/update_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

// The check: the signed version file from the server or an offline package, what is installed of each
// component, and the start step that runs the check and then the installation.
namespace vestrum::update {
namespace {

const QString kNoConnection
    = QStringLiteral("Nie można sprawdzić czy istnieją aktualizacje programu.\nBłąd połączenia z serwerem Marvo.");
constexpr int kNoConnectionNumber = 20;
const QString kNothingNewer
    = QStringLiteral("Pobrany pakiet nie zawiera elementów nowszych od zainstalowanych na tym komputerze.");
const QString kNotAnUpdate = QStringLiteral("Podany plik nie zawiera poprawnej aktualizacji programu \"Vestrum\"");
const QString kInvalidVersionFile = QStringLiteral("plik wersji otrzymany z serwera Marvo ma nieprawidłową treść");
const QString kVersionFileTooLong = QStringLiteral("plik wersji jest dłuższy niż 1 MiB");

const QString kVersionFileName = QStringLiteral("ankieta_version.conf");
const QString kResumeMarkerName = QStringLiteral("wznowienie");
constexpr qint64 kMaxVersionFileBytes = Fetcher::MaxTextBytes;

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

} // namespace

QString LocalSource()
{
    return QStringLiteral("lokalnie");
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
