#include "base/error.h"
#include "datafile/save.h"
#include "datafile/restore_points.h"
#include "datafile/survey_file.h"
#include "program/data_folder_lock.h"
#include "program/data_home.h"
#include "program/settings.h"
#include "program/startup.h"
#include "storage/schema.h"
#include "support/legacy_data_file.h"
#include "support/temp_survey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vestrum;
using vestrum::testing::ScriptedMessages;

namespace {

const QString kMissingFileNotice = QStringLiteral(
    "Uwaga! Ostatnio zapisany plik jest niedostępny.\nProgram wczyta dane z tymczasowej bazy danych.");

struct StartFixture : ::testing::Test {
    QTemporaryDir folder;
    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    Program program{messages, clock};
    QStringList loaded;
    ShellSteps steps;

    StartFixture()
    {
        startup::setProgramFolder(program.state, folder.path());
        steps.loadDataFile = [this](const QString& path) { loaded << path; };
    }
    QString dataFile(const QString& name)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return path;
    }
};

} // namespace

TEST_F(StartFixture, FolderPathsEndWithSlashAndPointIntoTheProgramFolder)
{
    EXPECT_TRUE(program.state.ProgramFolder.endsWith(u'/'));
    EXPECT_EQ(program.state.DatabasePath, program.state.ProgramFolder + QStringLiteral("dane/ankieta.mdb"));
    EXPECT_EQ(program.state.journalListPath(), program.state.ProgramFolder + QStringLiteral("dane/lista_czasopism.mdb"));
}

namespace {

void writeText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// A folder whose mode denies its owner writing, as long as it lives (given back so it can be removed).
struct ReadOnlyFolder {
    explicit ReadOnlyFolder(const QString& path) : path_(path)
    {
        QFile::setPermissions(path_, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
    }
    ~ReadOnlyFolder() { QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); }
    QString path_;
};

QString unitName(const QString& databasePath)
{
    db::Connection connection;
    connection.open(databasePath, schema::databasePassword());
    return connection.scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString();
}

} // namespace

// Where the data live is decided from the program folder alone: beside the executables in a folder its user
// writes; in the user's own folder when the package's "vestrum.ini" says so, or when the folder cannot be written
// (a mode that denies the owner writing counts for root too). Help pages stay with the program.
TEST(DataHome, PortableInstalledOrUnwritableProgramFolder)
{
    vestrum::testing::PrivateUserDataHome home;
    QTemporaryDir portable;
    RunState beside;
    startup::setProgramFolder(beside, portable.path());
    EXPECT_EQ(beside.DataHome, DataHomeKind::ProgramFolder);
    EXPECT_EQ(beside.DatabasePath, beside.ProgramFolder + QStringLiteral("dane/ankieta.mdb"));
    EXPECT_EQ(beside.settingsPath(), beside.ProgramFolder + QStringLiteral("ankieta.ini"));

    QTemporaryDir installed;
    writeText(installed.filePath(QStringLiteral("vestrum.ini")), "; z pakietu\n[Instalacja]\nDane=Uzytkownik\n");
    RunState user;
    startup::setProgramFolder(user, installed.path());
    EXPECT_EQ(user.DataHome, DataHomeKind::Installed);
    EXPECT_EQ(user.DatabasePath, home.folder() + QStringLiteral("dane/ankieta.mdb"));
    EXPECT_EQ(user.journalListPath(), home.folder() + QStringLiteral("dane/lista_czasopism.mdb"));
    EXPECT_EQ(user.settingsPath(), home.folder() + QStringLiteral("ankieta.ini"));
    EXPECT_EQ(user.archiveFolder(), home.folder() + QStringLiteral("archiwum/"));
    EXPECT_EQ(user.HelpFile, user.ProgramFolder + QStringLiteral("pomoc/index.html"));
    EXPECT_EQ(DataFolderOf(installed.path()), home.folder());

    // The base-directory rules: a relative XDG_DATA_HOME counts as none.
    qputenv("XDG_DATA_HOME", "wzgledny/folder");
    EXPECT_EQ(userDataFolder(), QDir::homePath() + QStringLiteral("/.local/share/vestrum/"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.base.path()));

    QTemporaryDir locked;
    ReadOnlyFolder readOnly(locked.path());
    EXPECT_EQ(DecideDataHome(locked.path()).kind, DataHomeKind::ReadOnlyProgramFolder);
    EXPECT_EQ(DecideDataHome(locked.path()).dataFolder, home.folder());
}

// A program folder the user cannot write: its survey and settings are copied into the user's folder on the first
// start there, and the user is told once, naming both folders. The next start keeps the user's own work.
TEST(DataHome, UnwritableProgramFolderHandsItsDataOverOnce)
{
    vestrum::testing::PrivateUserDataHome home;
    QTemporaryDir folder;
    const QString programDatabase = folder.filePath(QStringLiteral("dane/ankieta.mdb"));
    schema::createSurveyDatabase(programDatabase);
    {
        db::Connection connection;
        connection.open(programDatabase, schema::databasePassword());
        connection.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, ?)"),
                           {QStringLiteral("Instytut Badań")});
    }
    IniFile settings;
    settings.setValue(QStringLiteral("Dane"), QStringLiteral("Obiekt"), QStringLiteral("/dane/zeszly rok.naj"));
    settings.save(folder.filePath(QStringLiteral("ankieta.ini")));
    const QStringList before = vestrum::testing::folderListing(folder.path());
    ReadOnlyFolder readOnly(folder.path());

    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    Program program(messages, clock);
    startup::setProgramFolder(program.state, folder.path());
    ASSERT_EQ(program.state.DataHome, DataHomeKind::ReadOnlyProgramFolder);
    EXPECT_EQ(AdoptProgramFolderData(program), (QStringList{QStringLiteral("dane/ankieta.mdb"), QStringLiteral("ankieta.ini")}));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QDir::toNativeSeparators(program.state.ProgramFolder)));
    EXPECT_TRUE(messages.shown[0].contains(QDir::toNativeSeparators(home.folder())));
    EXPECT_EQ(unitName(program.state.DatabasePath), QStringLiteral("Instytut Badań"));
    ReadSettings(program.state);
    EXPECT_EQ(program.state.CurrentDataFile, QStringLiteral("/dane/zeszly rok.naj"));
    EXPECT_TRUE(program.state.ComponentFiles.isEmpty()); // the remembered notice is no update component

    {
        db::Connection connection;
        connection.open(program.state.DatabasePath, schema::databasePassword());
        connection.execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = ?"), {QStringLiteral("Praca użytkownika")});
    }
    ScriptedMessages again;
    Program next(again, clock);
    startup::setProgramFolder(next.state, folder.path());
    EXPECT_TRUE(AdoptProgramFolderData(next).isEmpty());
    EXPECT_TRUE(again.shown.isEmpty());
    EXPECT_EQ(unitName(next.state.DatabasePath), QStringLiteral("Praca użytkownika"));
    EXPECT_EQ(vestrum::testing::folderListing(folder.path()), before);
}

// A user's folder that already holds a survey or settings of its own (from an installed copy, or put there by hand)
// takes nothing from the program folder: not over what it holds, nor beside it, for settings naming another
// survey's last data file would load that file over the user's work at the start.
TEST(DataHome, AFirstStartOnAnUnwritableProgramFolderKeepsTheUsersOwnSurvey)
{
    vestrum::testing::PrivateUserDataHome home;
    QTemporaryDir folder;
    const auto makeSurvey = [](const QString& path, const QString& unit) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        schema::createSurveyDatabase(path);
        db::Connection connection;
        connection.open(path, schema::databasePassword());
        connection.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, ?)"), {unit});
    };
    const auto makeSettings = [](const QString& path, const QString& lastFile) {
        IniFile settings;
        settings.setValue(QStringLiteral("Dane"), QStringLiteral("Obiekt"), lastFile);
        settings.save(path);
    };
    makeSurvey(folder.filePath(QStringLiteral("dane/ankieta.mdb")), QStringLiteral("Dane folderu programu"));
    writeText(folder.filePath(QStringLiteral("dane/ankieta.mdb-journal")), "dziennik bazy folderu programu");
    makeSettings(folder.filePath(QStringLiteral("ankieta.ini")), QStringLiteral("/dane/cudzy.naj"));
    ReadOnlyFolder readOnly(folder.path());

    const QString usersSurvey = home.folder() + QStringLiteral("dane/ankieta.mdb");
    const QString usersSettings = home.folder() + QStringLiteral("ankieta.ini");
    for (const auto& [hasSurvey, hasSettings] : {std::pair{true, true}, std::pair{true, false}, std::pair{false, true}}) {
        SCOPED_TRACE(::testing::Message() << "survey " << hasSurvey << ", settings " << hasSettings);
        QDir(home.folder()).removeRecursively();
        QDir().mkpath(home.folder());
        if (hasSurvey)
            makeSurvey(usersSurvey, QStringLiteral("Praca użytkownika"));
        if (hasSettings)
            makeSettings(usersSettings, QStringLiteral("/dane/moje.naj"));
        const QByteArray surveyBefore = hasSurvey ? vestrum::testing::folderListing(home.folder() + QStringLiteral("dane")).join(u'\n').toUtf8() : QByteArray();

        ScriptedMessages messages;
        FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
        Program program(messages, clock);
        startup::setProgramFolder(program.state, folder.path());
        ASSERT_EQ(program.state.DataHome, DataHomeKind::ReadOnlyProgramFolder);
        EXPECT_TRUE(AdoptProgramFolderData(program).isEmpty());
        EXPECT_EQ(messages.shown.size(), 1); // where the data live, still told once
        if (hasSurvey) {
            EXPECT_EQ(vestrum::testing::folderListing(home.folder() + QStringLiteral("dane")).join(u'\n').toUtf8(), surveyBefore);
            EXPECT_EQ(unitName(usersSurvey), QStringLiteral("Praca użytkownika"));
        } else {
            EXPECT_FALSE(QFileInfo::exists(usersSurvey));
        }
        EXPECT_FALSE(QFileInfo::exists(usersSurvey + QStringLiteral("-journal")));
        ReadSettings(program.state);
        EXPECT_EQ(program.state.CurrentDataFile, hasSettings ? QStringLiteral("/dane/moje.naj") : QString());
    }
}


namespace {

int modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// The start's steps that make files in the data folder, then a save of the settings, the unsaved record and a
// restore point.
void startAndWork(Program& program, DataFolderLock& lock)
{
    ASSERT_TRUE(startup::lockDataFolder(program, lock));
    KeepUserDataPrivate(program.state);
    AdoptProgramFolderData(program);
    startup::openDatabases(program);
    WriteSettings(program.state);
    SetDataSaved(program.state, false);
    ASSERT_TRUE(restorepoints::MakeRestorePoint(program));
}

// The umask for as long as it lives.
struct Umask {
    explicit Umask(mode_t mask) : old_(::umask(mask)) {}
    ~Umask() { ::umask(old_); }
    mode_t old_;
};

} // namespace

// Names and amounts of the survey are the user's alone in the user's own folder, whatever the umask; the users
// who share a portable folder share its data and its lock.
TEST(DataHome, TheUsersOwnDataFolderIsClosedToOthersAndAPortableOneKeepsItsModes)
{
    const Umask umask(022);
    enum class Kind { Installed, ReadOnlyProgramFolder, Portable };
    for (const Kind kind : {Kind::Installed, Kind::ReadOnlyProgramFolder, Kind::Portable}) {
        SCOPED_TRACE(static_cast<int>(kind));
        vestrum::testing::PrivateUserDataHome home;
        QTemporaryDir folder;
        if (kind == Kind::Installed)
            writeText(folder.filePath(QStringLiteral("vestrum.ini")), "[Instalacja]\nDane=uzytkownik\n");
        if (kind == Kind::Portable) // unpacked where the users who share it can reach it
            ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
        if (kind == Kind::ReadOnlyProgramFolder) {
            schema::createSurveyDatabase(folder.filePath(QStringLiteral("dane/ankieta.mdb")));
            writeText(folder.filePath(QStringLiteral("ankieta.ini")), "[Dane]\nNiezapisane=0\n");
        }
        std::optional<ReadOnlyFolder> readOnly;
        if (kind == Kind::ReadOnlyProgramFolder)
            readOnly.emplace(folder.path());

        ScriptedMessages messages;
        FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
        Program program(messages, clock);
        startup::setProgramFolder(program.state, folder.path());
        DataFolderLock lock;
        startAndWork(program, lock);
        const QString data = program.state.dataFolder();
        const bool own = kind != Kind::Portable;
        EXPECT_EQ(data, own ? home.folder() : program.state.ProgramFolder);

        const QStringList privateFolders = own ? QStringList{QString(), QStringLiteral("tmp")} : QStringList{};
        for (const QString& made : privateFolders)
            EXPECT_EQ(modeOf(data + made), 0700) << made.toStdString();
        for (const char* made : {"dane", "archiwum"})
            EXPECT_EQ(modeOf(data + QLatin1String(made)), own ? 0700 : 0755) << made;
        for (const char* made : {"ankieta.ini", "dane/ankieta.mdb", "dane/lista_czasopism.mdb"})
            EXPECT_EQ(modeOf(data + QLatin1String(made)), own ? 0600 : 0644) << made;
        EXPECT_EQ(modeOf(dataFolderLockPath(data + QStringLiteral("dane"))), own ? 0600 : 0666);

        // A data file saved elsewhere follows the umask wherever the data live.
        const QString saved = home.base.filePath(QStringLiteral("wyniki.naj"));
        datafiles::WriteDataFile(program, saved);
        EXPECT_EQ(modeOf(saved), 0644);
    }
}

// A data folder an earlier version made open to others is closed at the next start with everything of the program
// in it, once: what the user opens again afterwards stays open.
TEST(DataHome, AnOpenUserDataFolderIsNarrowedOnceWithoutAWord)
{
    const Umask umask(022);
    vestrum::testing::PrivateUserDataHome home;
    QTemporaryDir folder;
    writeText(folder.filePath(QStringLiteral("vestrum.ini")), "[Instalacja]\nDane=uzytkownik\n");
    const QString data = home.folder();
    writeText(data + QStringLiteral("ankieta.ini"), "[Dane]\nNiezapisane=0\n");
    schema::createSurveyDatabase(data + QStringLiteral("dane/ankieta.mdb"));
    writeText(data + QStringLiteral("archiwum/a_2025_01_02-10_00.nar"), "punkt");
    writeText(dataFolderLockPath(data + QStringLiteral("dane")), "");
    ::chmod(QFile::encodeName(dataFolderLockPath(data + QStringLiteral("dane"))).constData(), 0666);
    ASSERT_EQ(modeOf(data), 0755);
    ASSERT_EQ(modeOf(data + QStringLiteral("dane/ankieta.mdb")), 0644);

    const QStringList files{QStringLiteral("ankieta.ini"), QStringLiteral("dane/ankieta.mdb"),
                            QStringLiteral("archiwum/a_2025_01_02-10_00.nar"), QStringLiteral("dane/.vestrum-blokada")};
    for (int start = 1; start <= 2; ++start) {
        ScriptedMessages messages;
        FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
        Program program(messages, clock);
        startup::setProgramFolder(program.state, folder.path());
        DataFolderLock lock;
        startAndWork(program, lock);
        EXPECT_TRUE(messages.shown.isEmpty()) << start;
        EXPECT_EQ(modeOf(data), 0700);
        if (start == 1) {
            for (const QString& file : files)
                EXPECT_EQ(modeOf(data + file), 0600) << file.toStdString();
            for (const char* made : {"dane", "archiwum", "tmp"})
                EXPECT_EQ(modeOf(data + QLatin1String(made)), 0700) << made;
            // The user opens one file and one folder to the group on purpose.
            ::chmod(QFile::encodeName(data + QStringLiteral("ankieta.ini")).constData(), 0640);
            ::chmod(QFile::encodeName(data + QStringLiteral("archiwum")).constData(), 0750);
        } else {
            EXPECT_EQ(modeOf(data + QStringLiteral("ankieta.ini")), 0640);
            EXPECT_EQ(modeOf(data + QStringLiteral("archiwum")), 0750);
        }
    }
}

TEST_F(StartFixture, MissingDatabasesAreCreatedAndTheVersionTableFilled)
{
    startup::openDatabases(program);
    EXPECT_TRUE(program.survey.isOpen());
    EXPECT_TRUE(program.journals.isOpen());
    const auto rows = startup::versionTable(program);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], qMakePair(QStringLiteral("dane"), schema::surveyFormatVersion()));
    EXPECT_EQ(rows[1].first, QStringLiteral("lista czasopism"));
    EXPECT_EQ(rows[2], qMakePair(QStringLiteral("pomoc"), QStringLiteral("0.0.0.0")));
    EXPECT_EQ(rows[3], qMakePair(QStringLiteral("program"), QStringLiteral("2.2.1.2")));

    // A survey without its version table shows "0.0.0.0".
    program.survey.execute(QStringLiteral("DROP TABLE wersja"));
    EXPECT_EQ(startup::databaseVersion(program.survey), QStringLiteral("0.0.0.0"));
}

TEST_F(StartFixture, DamagedDatabaseIsNamedAndLeftUntouched)
{
    QDir().mkpath(folder.filePath(QStringLiteral("dane")));
    QFile damaged(program.state.DatabasePath);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    const QByteArray garbage(4096, 'x');
    damaged.write(garbage);
    damaged.close();

    try {
        startup::openDatabases(program);
        FAIL() << "a damaged survey must not open";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("ankieta.mdb")));
    }
    QFile check(program.state.DatabasePath);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), garbage);
}

// Only a file the settings name and that is gone is worth a notice: a fresh program, or data
// restored from a point, name none.
TEST_F(StartFixture, MissingFileNoticeOnlyForAFileTheSettingsName)
{
    const QString title = startup::chooseStartData(program, {}, steps);
    EXPECT_EQ(title, QStringLiteral("Vestrum"));
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_FALSE(program.state.DataSaved);
    EXPECT_TRUE(loaded.isEmpty());

    program.state.CurrentDataFile = folder.filePath(QStringLiteral("usuniety.naj"));
    EXPECT_EQ(startup::chooseStartData(program, {}, steps), QStringLiteral("Vestrum"));
    EXPECT_EQ(messages.shown, QStringList{kMissingFileNotice});
    EXPECT_TRUE(program.state.CurrentDataFile.isEmpty());
    EXPECT_TRUE(loaded.isEmpty());
}

TEST_F(StartFixture, CommandLineDataFileWinsAndNeedsNaj)
{
    program.state.CurrentDataFile = dataFile(QStringLiteral("zeszly.naj"));
    const QString argument = dataFile(QStringLiteral("biezacy.naj"));
    EXPECT_EQ(startup::chooseStartData(program, {argument}, steps), QStringLiteral("Vestrum - ") + QDir::toNativeSeparators(argument));
    EXPECT_EQ(loaded, QStringList{argument});
    EXPECT_TRUE(program.state.DataSaved);
    EXPECT_TRUE(messages.shown.isEmpty());

    // An argument without ".naj" is not a data file: the last one from the settings is used.
    loaded.clear();
    program.state.CurrentDataFile = dataFile(QStringLiteral("zeszly.naj"));
    startup::chooseStartData(program, {dataFile(QStringLiteral("notatki.txt"))}, steps);
    EXPECT_EQ(loaded, QStringList{program.state.CurrentDataFile});
}

// File managers pass names as they are on disk: "DANE.NAJ" is a data file as much as "dane.naj".
TEST_F(StartFixture, DataFileNamesIgnoreLetterCase)
{
    const QString argument = dataFile(QStringLiteral("DANE.NAJ"));
    EXPECT_EQ(startup::chooseStartData(program, {argument}, steps), QStringLiteral("Vestrum - ") + QDir::toNativeSeparators(argument));
    EXPECT_EQ(loaded, QStringList{argument});

    loaded.clear();
    program.state.CurrentDataFile = dataFile(QStringLiteral("Zeszly.Naj"));
    startup::chooseStartData(program, {}, steps);
    EXPECT_EQ(loaded, QStringList{program.state.CurrentDataFile});
}

TEST_F(StartFixture, DataFileThatFailsToLoadLeavesTheWorkingDatabase)
{
    program.state.CurrentDataFile = dataFile(QStringLiteral("zly.naj"));
    steps.loadDataFile = [](const QString&) { throw Error(QStringLiteral("Zbiór danych jest uszkodzony.")); };
    EXPECT_EQ(startup::chooseStartData(program, {}, steps), QStringLiteral("Vestrum"));
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("Zbiór danych jest uszkodzony.")});
    EXPECT_FALSE(program.state.DataSaved);
}

TEST_F(StartFixture, ClosingAnsweredNoKeepsRunningWithNothingSavedOrAsked)
{
    startup::openDatabases(program);
    int stepsRun = 0;
    steps.confirmPendingEdit = [&] { ++stepsRun; };
    steps.saveData = [&] { ++stepsRun; };
    steps.writeSettings = [&] { ++stepsRun; };
    steps.weeklyRestorePoint = [&] { ++stepsRun; };
    messages.answer(MessageAnswer::No);
    EXPECT_FALSE(startup::runClosingSequence(program, steps));
    EXPECT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(stepsRun, 0);
    EXPECT_TRUE(program.survey.isOpen());
}

TEST_F(StartFixture, ClosingAsksSaveAndBackupThenClosesConnections)
{
    startup::openDatabases(program);
    QStringList order;
    steps.confirmPendingEdit = [&] { order << QStringLiteral("pending"); };
    steps.saveData = [&] {
        order << QStringLiteral("save");
        SetDataSaved(program.state, true);
    };
    steps.backupCopy = [&] { order << QStringLiteral("backup"); };
    steps.writeSettings = [&] { order << QStringLiteral("settings"); };
    steps.weeklyRestorePoint = [&] {
        EXPECT_FALSE(program.survey.isOpen()) << "the restore point copies a closed database";
        order << QStringLiteral("weekly");
    };
    SetDataSaved(program.state, false);
    messages.answer(MessageAnswer::Yes);                 // close?
    messages.answer(MessageAnswer::Yes);                 // save the data?
    messages.answer(MessageAnswer::No);                  // backup copy?
    EXPECT_TRUE(startup::runClosingSequence(program, steps));
    EXPECT_EQ(order, (QStringList{QStringLiteral("pending"), QStringLiteral("save"), QStringLiteral("settings"),
                                  QStringLiteral("weekly")}));
    EXPECT_FALSE(program.journals.isOpen());
}

TEST_F(StartFixture, SilencedClosingQuestionGoesStraightOn)
{
    SetDataSaved(program.state, true);
    messages.answer(MessageAnswer::No, true); // "nie pokazuj więcej", answered Nie
    EXPECT_FALSE(startup::runClosingSequence(program, steps));
    EXPECT_EQ(program.state.Flags.flag(1), 2);
    messages.shown.clear();
    messages.answer(MessageAnswer::No); // only the backup question is left
    EXPECT_TRUE(startup::runClosingSequence(program, steps));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.first().startsWith(QStringLiteral("Przypominamy")));
}

TEST_F(StartFixture, ASaveThatFailsAtCloseAsksWhetherToCloseAnyway)
{
    startup::openDatabases(program);
    int settingsWritten = 0;
    steps.saveData = [] {}; // a full or removed disk: the data stay unsaved
    steps.writeSettings = [&] { ++settingsWritten; };
    SetDataSaved(program.state, false);
    const QString question = QStringLiteral("Uwaga! Dane nie zostały zapisane.\nCzy mimo to chcesz zamknąć program?");

    messages.answer(MessageAnswer::Yes); // close?
    messages.answer(MessageAnswer::Yes); // save the data?
    messages.answer(MessageAnswer::No);  // close anyway? no
    EXPECT_FALSE(startup::runClosingSequence(program, steps));
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(), question);
    EXPECT_EQ(settingsWritten, 0);
    EXPECT_TRUE(program.survey.isOpen());

    messages.shown.clear();
    messages.answer(MessageAnswer::Yes);
    messages.answer(MessageAnswer::Yes);
    messages.answer(MessageAnswer::Yes); // close anyway
    messages.answer(MessageAnswer::No);  // backup copy?
    EXPECT_TRUE(startup::runClosingSequence(program, steps));
    EXPECT_EQ(messages.shown.size(), 4);
    EXPECT_EQ(settingsWritten, 1);
}

// On a first start the journal list is made beside the building of the window; a list already
// there (even an unreadable one) is left for openDatabases to open or name.
TEST(JournalListPreparation, MakesAMissingListAndLeavesAnExistingOne)
{
    QTemporaryDir folder;
    const QString list = folder.filePath(QStringLiteral("dane/lista_czasopism.mdb"));
    {
        startup::JournalListPreparation preparation(list);
        preparation.wait();
        ASSERT_TRUE(QFile::exists(list));
    }
    db::Connection connection;
    connection.open(list, schema::databasePassword());
    EXPECT_GT(connection.scalar(QStringLiteral("select count(*) from lista_ministerstwa")).toInt(), 29000);
    connection.close();

    QFile damaged(list);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("to nie jest baza danych");
    damaged.close();
    { startup::JournalListPreparation preparation(list); } // waits when it goes
    ASSERT_TRUE(damaged.open(QIODevice::ReadOnly));
    EXPECT_EQ(damaged.readAll(), QByteArray("to nie jest baza danych"));
    EXPECT_FALSE(QFile::exists(list + QStringLiteral(".new")));
}

TEST(SingleInstance, TheLockLivesInAFolderOfTheUserAlone)
{
    const QFileInfo folder(QFileInfo(startup::singleInstanceLockPath()).absolutePath());
    EXPECT_EQ(QFileInfo(startup::singleInstanceLockPath()).fileName(), QStringLiteral("XQ_dziala"));
    EXPECT_NE(folder.absoluteFilePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    ASSERT_TRUE(folder.isDir());
    EXPECT_EQ(folder.ownerId(), QFileInfo(QDir::homePath()).ownerId());
    EXPECT_FALSE(folder.permissions() & (QFile::WriteGroup | QFile::WriteOther));
}

// Another program on the same data folder: a second process (another user's copy, another session) holds the
// folder's lock, as the running program does from its start to its end.
TEST_F(StartFixture, AnotherProgramOnTheSameDataKeepsTheStartAndTheCommandsOut)
{
    const QString dataFolder = folder.filePath(QStringLiteral("dane"));
    schema::createSurveyDatabase(program.state.DatabasePath);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        DataFolderLock lock;
        const char taken = lock.take(dataFolder) ? '1' : '0';
        (void)!::write(ready[1], &taken, 1);
        ::pause(); // until killed
        ::_exit(0);
    }
    char taken = 0;
    ASSERT_EQ(::read(ready[0], &taken, 1), 1);
    ASSERT_EQ(taken, '1');

    DataFolderLock lock;
    EXPECT_FALSE(startup::lockDataFolder(program, lock));
    EXPECT_EQ(messages.shown, QStringList { QStringLiteral("Program pracuje już na tych danych (inny użytkownik lub "
                                                           "inna sesja). Zamknij go i uruchom ponownie.") });
    EXPECT_FALSE(program.survey.isOpen());
    for (const QString& spelling : QStringList { program.state.DatabasePath, dataFolder + QStringLiteral("/../dane/ankieta.mdb") }) {
        db::Connection connection;
        QTemporaryDir scratch;
        EXPECT_EQ(vestrum::testing::errorOf([&] { OpenSurveyFile(connection, spelling, scratch); }), dataFolderInUseMessage());
        EXPECT_FALSE(connection.isOpen());
    }

    // Another data folder is free, for the program and for the commands alike.
    QTemporaryDir other;
    const QString otherDatabase = other.filePath(QStringLiteral("dane/ankieta.mdb"));
    schema::createSurveyDatabase(otherDatabase);
    DataFolderLock otherLock;
    EXPECT_TRUE(otherLock.take(other.filePath(QStringLiteral("dane"))));
    otherLock.release();
    db::Connection connection;
    QTemporaryDir scratch;
    OpenSurveyFile(connection, otherDatabase, scratch);
    EXPECT_TRUE(connection.isOpen());

    // However the holder ends, the lock goes with it; its file stays.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    connection.close();
    OpenSurveyFile(connection, program.state.DatabasePath, scratch);
    connection.close();
    EXPECT_TRUE(startup::lockDataFolder(program, lock));
    EXPECT_TRUE(QFileInfo::exists(dataFolderLockPath(dataFolder)));
}
