#include "program/data_home.h"

#include "base/error.h"
#include "base/file_modes.h"
#include "program/program.h"
#include "program/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

namespace vestrum {
namespace {

const QString kInstallation = QStringLiteral("Instalacja");
const QString kDataKey = QStringLiteral("Dane");
const QString kUserValue = QStringLiteral("uzytkownik");
// In the user's settings: the program folder whose data were taken over and whose notice was shown.
const QString kAdoptedKey = QStringLiteral("PrzejetoZFolderu");

const QString kSurveyDatabase = QStringLiteral("dane/ankieta.mdb");
const QString kSettingsFile = QStringLiteral("ankieta.ini");
// A database left with its rollback journal travels with it, or its last transaction would be lost.
const QString kJournalSuffix = QStringLiteral("-journal");

// Copies a file whole or not at all: a start killed half-way leaves no part of a database for the next start to
// take as the user's own.
void copyWhole(const QString& source, const QString& target)
{
    QFile in(source);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        throw Error(QStringLiteral("Nie można skopiować pliku %1 do %2.")
                        .arg(QDir::toNativeSeparators(source), QDir::toNativeSeparators(target)));
    while (!in.atEnd()) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty() && in.error() != QFileDevice::NoError)
            break;
        if (out.write(block) != block.size())
            break;
    }
    if (in.error() != QFileDevice::NoError || !out.commit())
        throw Error(QStringLiteral("Nie można skopiować pliku %1 do %2.\nSzczegóły: %3")
                        .arg(QDir::toNativeSeparators(source), QDir::toNativeSeparators(target),
                            in.error() != QFileDevice::NoError ? in.errorString() : out.errorString()));
}

// Copies `name` of the program folder into the data folder when the program folder has it: true when copied.
bool takeOver(const QString& programFolder, const QString& dataFolder, const QString& name)
{
    if (!QFileInfo(programFolder + name).isFile())
        return false;
    copyWhole(programFolder + name, dataFolder + name);
    closeToOthersLikeItsFolder(dataFolder + name);
    return true;
}

// Makes `folder` closed to others when it is missing (its parents as the umask says: they are not the program's).
void makePrivateFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(folder);
    if (QFileInfo(path).isDir())
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    ::mkdir(QFile::encodeName(path).constData(), 0700);
}

// Everything of the program's in a data folder that an earlier version left open to others.
void narrowDataFolder(const QString& dataFolder)
{
    const QDir data(dataFolder);
    closeToOthers(data.filePath(kSettingsFile));
    for (const QString& name : dataSubfolders()) {
        const QDir folder(data.filePath(name));
        for (const QString& file : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
            closeToOthers(folder.filePath(file));
        closeToOthers(folder.path());
    }
    closeToOthers(data.path()); // last: an interrupted start narrows again at the next one
}

} // namespace

QString installationSettingsName()
{
    return QStringLiteral("vestrum.ini");
}

QString userDataFolder()
{
    // The base-directory rules ignore a relative XDG_DATA_HOME.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return withTrailingSlash(QDir::cleanPath(base + QStringLiteral("/vestrum")));
}

bool isWritableFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir() || !(info.permissions() & QFileDevice::WriteOwner))
        return false;
    return ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK | X_OK) == 0;
}

DataHome DecideDataHome(const QString& programFolder)
{
    const QString folder = withTrailingSlash(QDir::fromNativeSeparators(programFolder));
    IniFile installation;
    if (installation.load(folder + installationSettingsName())
        && installation.value(kInstallation, kDataKey).trimmed().compare(kUserValue, Qt::CaseInsensitive) == 0)
        return { DataHomeKind::Installed, userDataFolder() };
    if (!isWritableFolder(folder))
        return { DataHomeKind::ReadOnlyProgramFolder, userDataFolder() };
    return { DataHomeKind::ProgramFolder, folder };
}

QString DataFolderOf(const QString& programFolder)
{
    return DecideDataHome(programFolder).dataFolder;
}

QStringList dataSubfolders()
{
    return {QStringLiteral("dane"), QStringLiteral("archiwum"), QStringLiteral("tmp")};
}

void KeepUserDataPrivate(const RunState& state)
{
    if (!state.keepsOutOfProgramFolder())
        return;
    const QString dataFolder = state.dataFolder();
    if (QFileInfo(dataFolder).isDir() && !isClosedToOthers(dataFolder))
        narrowDataFolder(dataFolder);
    makePrivateFolder(dataFolder);
    for (const QString& name : dataSubfolders())
        makePrivateFolder(dataFolder + name);
}

QString readOnlyProgramFolderNotice(const QString& programFolder, const QString& dataFolder, const QStringList& copied)
{
    QString text
        = QStringLiteral("Folder programu jest tylko do odczytu:\n%1\nDane są przechowywane w folderze "
                         "użytkownika:\n%2")
              .arg(QDir::toNativeSeparators(programFolder), QDir::toNativeSeparators(dataFolder));
    if (!copied.isEmpty()) {
        QStringList names;
        for (const QString& name : copied)
            names << QDir::toNativeSeparators(name);
        text += QStringLiteral("\nSkopiowano do niego z folderu programu:\n%1").arg(names.join(QStringLiteral(", ")));
    }
    return text;
}

QStringList AdoptProgramFolderData(Program& program)
{
    const RunState& state = program.state;
    if (state.DataHome != DataHomeKind::ReadOnlyProgramFolder)
        return {};
    IniFile settings;
    settings.load(state.settingsPath());
    if (settings.contains(kInstallation, kAdoptedKey))
        return {};

    const QString from = state.ProgramFolder;
    const QString to = state.dataFolder();
    QStringList copied;
    // The survey and its settings go together: the user's own survey stays, and settings naming another survey's
    // last data file would load that file over the user's work at the start.
    const bool usersOwn = QFileInfo::exists(to + kSurveyDatabase) || QFileInfo::exists(to + kSettingsFile);
    try {
        if (!usersOwn) {
            takeOver(from, to, kSurveyDatabase + kJournalSuffix);
            if (takeOver(from, to, kSurveyDatabase))
                copied << kSurveyDatabase;
            if (takeOver(from, to, kSettingsFile))
                copied << kSettingsFile;
        }
    } catch (const Error& error) {
        // The user works on new data of the user's folder and is told why; nothing is copied over them later.
        program.notify(error.message(), 0, MessageKind::Error);
        return copied;
    }

    settings.load(state.settingsPath()); // the copied settings, when they came from the program folder
    settings.setValue(kInstallation, kAdoptedKey, QDir::toNativeSeparators(from));
    try {
        settings.save(state.settingsPath());
    } catch (const Error&) {
        // Unwritable settings: the notice comes again at the next start, which is all that is lost.
    }
    program.notify(readOnlyProgramFolderNotice(from, to, copied), 0, MessageKind::Information);
    return copied;
}

} // namespace vestrum
