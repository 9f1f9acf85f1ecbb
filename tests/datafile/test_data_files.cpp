#include "base/error.h"
#include "datafile/save.h"
#include "datafile/load.h"
#include "datafile/working_data.h"
#include "datafile/restore_points.h"
#include "program/data_folder_lock.h"
#include "program/settings.h"
#include "program/startup.h"
#include "support/archive_reader.h"
#include "support/legacy_data_file.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <iostream>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

[[maybe_unused]] void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}


// A survey with something in every kind of table: the single records, a section table and two lists.
void fillSurvey(db::Connection& c, const QString& unitName)
{
    c.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, kod, nazwa) VALUES (17, 'IF', ?)"), {unitName});
    QStringList fields;
    for (const db::FieldInfo& f : c.tableFields(QStringLiteral("dane_szczegolowe")))
        fields.append(QStringLiteral("\"%1\"").arg(f.name));
    // Every field of dane_szczegolowe gets its position + 1, so a test can tell which ones arrived.
    QStringList values;
    for (int i = 0; i < fields.size(); ++i)
        values.append(QString::number(i + 1));
    c.execute(QStringLiteral("INSERT INTO dane_szczegolowe (%1) VALUES (%2)").arg(fields.join(u','), values.join(u',')));
    c.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko, Stanowisko) VALUES ('Żółkiewska Ёлка', 'dyrektor')"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer, tytul) VALUES (1, 'P.123', 'Sposób')"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer, tytul) VALUES (2, 'P.124', 'Urządzenie')"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Czasopismo, Tytul) VALUES (1, 'Fizyka', 'Kwarki')"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_uprawnien (rodzaj, nazwa_stopnia) VALUES ('dr', 'doktor')"));
}



datafiles::NoProgress quiet;

} // namespace

TEST(DataFilePath, RefusesTheMaskAndAlwaysEndsInNaj)
{
    EXPECT_TRUE(datafiles::dataFilePath(QStringLiteral("/dane"), QStringLiteral("*.naj")).isEmpty());
    EXPECT_TRUE(datafiles::dataFilePath(QStringLiteral("/dane"), QStringLiteral("wyniki*")).isEmpty());
    EXPECT_EQ(datafiles::dataFilePath(QStringLiteral("/dane"), QStringLiteral("wyniki")), QStringLiteral("/dane/wyniki.naj"));
    EXPECT_EQ(datafiles::dataFilePath(QStringLiteral("/dane/"), QStringLiteral("wyniki.txt")),
              QStringLiteral("/dane/wyniki.naj"));
    EXPECT_EQ(datafiles::dataFilePath(QStringLiteral("/dane"), QStringLiteral("rok.2008.naj")),
              QStringLiteral("/dane/rok.2008.naj"));
    EXPECT_EQ(datafiles::dataFilePath(QStringLiteral("/"), QStringLiteral("a")), QStringLiteral("/a.naj"));
}

TEST(DataFiles, ASavedFileLoadsBackEveryTableAndFieldInOneStep)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("Instytut Fizyki"));
    const QString before = dump(t.survey());
    const QString file = t.path(QStringLiteral("wyniki.naj"));

    datafiles::WriteDataFile(t.program, file);
    EXPECT_EQ(t.program.state.CurrentDataFile, file);
    EXPECT_TRUE(t.program.state.DataSaved);
    ASSERT_TRUE(t.survey().isOpen());

    t.survey().execute(QStringLiteral("DELETE FROM dane_wykaz_patentow"));
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa='inna'"));
    t.program.state.CurrentDataFile.clear();
    SetDataSaved(t.program.state, false);

    RecordingProgress progress;
    EXPECT_EQ(datafiles::LoadDataFile(t.program, file, progress), datafiles::LoadOutcome::Loaded);
    EXPECT_EQ(dump(t.survey()), before);
    EXPECT_EQ(t.program.state.CurrentDataFile, file);
    EXPECT_TRUE(t.program.state.DataSaved);
    EXPECT_TRUE(t.messages.shown.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(datafiles::temporaryFolder(t.program.state.ProgramFolder)));

    // The file is laid out as the working database, so it takes that database's place in one step.
    EXPECT_EQ(progress.caption, QStringLiteral("Kopiowanie danych"));
    EXPECT_EQ(progress.maximum, 1);
    EXPECT_EQ(progress.labels, QStringList{QStringLiteral("ankieta.mdb")});
    EXPECT_TRUE(progress.finished);
}

TEST(DataFiles, ALargeSurveySavedOnEveryCoreLoadsInTheProgramAndInAnotherReader)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("Instytut Fizyki"));
    {
        db::Transaction transaction(t.survey());
        for (int i = 0; i < 20000; ++i)
            t.survey().execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Czasopismo, Tytul) VALUES (1, ?, ?)"),
                               {QStringLiteral("Czasopismo %1").arg(i % 300),
                                QStringLiteral("Wpływ %1 na właściwości stopu nr %2").arg(i * 7919 % 10007).arg(i)});
        transaction.commit();
    }
    const QString before = dump(t.survey());
    const QString database = t.program.state.DatabasePath;
    ASSERT_GT(QFileInfo(database).size(), 1024 * 1024) << "large enough to be deflated in blocks";
    const QString file = t.path(QStringLiteral("duzy.naj"));
    datafiles::WriteDataFile(t.program, file);

    t.survey().close();
    QFile saved(database);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QFile archive(file);
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    EXPECT_EQ(ReadArchiveIndependently(archive.readAll()).at("ankieta.mdb"), saved.readAll());

    t.survey().open(database, schema::databasePassword());
    t.survey().execute(QStringLiteral("DELETE FROM dane_wykaz_publikacji"));
    EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::Loaded);
    EXPECT_EQ(dump(t.survey()), before);
}

TEST(DataFiles, FileOfThe2005VersionIsConvertedAfterTheQuestion)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("stara"));
    const QString version = t.survey().scalar(QStringLiteral("SELECT wersja FROM wersja")).toString();
    const QString file = t.path(QStringLiteral("2005.naj"));
    writeLegacyDataFile(file);
    SetDataSaved(t.program.state, true);

    t.messages.answer(MessageAnswer::Yes);
    EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::LoadedEarlierVersion);
    ASSERT_EQ(t.messages.shown.size(), 1);
    EXPECT_EQ(t.messages.shown.front(),
              QStringLiteral("Uwaga!\nWczytywany plik danych pochodzi z wcześniejszej wersji programu - dane mogą "
                             "zostać wczytane nieprawidłowo.\nCzy chcesz kontynuować?"));
    EXPECT_FALSE(t.program.state.DataSaved);
    EXPECT_EQ(t.program.state.CurrentDataFile, file);

    db::Table mono(t.survey(), QStringLiteral("dane_wykaz_monografii"));
    ASSERT_EQ(mono.recordCount(), 2);
    mono.first();
    EXPECT_EQ(mono.asUnicode(QStringLiteral("Wydawca")), QStringLiteral("Wydawnictwo Naukowe PWN"));
    EXPECT_EQ(mono.asUnicode(QStringLiteral("Miejsce_rok_tom_str")), QStringLiteral("Warszawa 2005, s. 320"));
    EXPECT_EQ(mono.asInteger(QStringLiteral("grupa")), 1);
    mono.next();
    EXPECT_EQ(mono.asUnicode(QStringLiteral("Tytul")), QStringLiteral("Dzieje Śląska"));
    EXPECT_EQ(mono.asInteger(QStringLiteral("grupa")), 2);

    db::Table pub(t.survey(), QStringLiteral("dane_wykaz_publikacji"));
    ASSERT_EQ(pub.recordCount(), 2);
    pub.first();
    EXPECT_EQ(pub.asUnicode(QStringLiteral("Czasopismo")), QStringLiteral("Acta Physica Polonica B"));
    EXPECT_EQ(pub.asUnicode(QStringLiteral("Rok_tom_str")), QStringLiteral("2005, 36, 101-118"));
    EXPECT_EQ(pub.asUnicode(QStringLiteral("Autorzy")), QStringLiteral("Nowak A., Wiśniewska B."));
    pub.next();
    EXPECT_EQ(pub.asInteger(QStringLiteral("grupa")), 3);

    // Fields go by name: what the old survey had arrives, what it lacked stays empty, its extra field is dropped.
    db::Table details(t.survey(), QStringLiteral("dane_szczegolowe"));
    ASSERT_EQ(details.recordCount(), 1);
    EXPECT_EQ(details.asInteger(QStringLiteral("Zatr_BR_hab_N")), 12);
    EXPECT_EQ(details.asInteger(QStringLiteral("Liczba_ksiazek")), 15000);
    EXPECT_EQ(details.asString(QStringLiteral("Rok_sprawozdawczy")), QStringLiteral("2005"));
    EXPECT_TRUE(details.isNull(QStringLiteral("Zatr_BR_dr_N")));
    EXPECT_FALSE(details.hasField(QStringLiteral("Liczba_projektow_2005")));

    // Tables the old file did not have end up empty; `wersja` is never touched.
    EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_patentow")), 0);
    EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_uprawnien")), 0);
    EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT wersja FROM wersja")).toString(), version);
    EXPECT_FALSE(t.survey().hasTable(QStringLiteral("dane_wykaz_pub_mono")));
}

TEST(DataFiles, RefusingTheEarlierVersionQuestionChangesNothing)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("moja"));
    const QString before = dump(t.survey());
    const QString file = t.path(QStringLiteral("2005.naj"));
    writeLegacyDataFile(file);
    t.program.state.CurrentDataFile = QStringLiteral("/x/poprzedni.naj");
    SetDataSaved(t.program.state, false);

    t.messages.answer(MessageAnswer::No);
    EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::Declined);
    EXPECT_EQ(dump(t.survey()), before);
    EXPECT_EQ(t.program.state.CurrentDataFile, QStringLiteral("/x/poprzedni.naj"));
    EXPECT_FALSE(t.program.state.DataSaved);
}

TEST(DataFiles, FieldsAreMatchedByNameAndPassThroughTheCodePage)
{
    TestProgram t;
    const QString file = t.path(QStringLiteral("inne.naj"));
    makeDataFile(file, [](db::Connection& c) {
        // Another field order, an extra field, a missing one, a Unicode field where ours is code-page text.
        c.execute(QStringLiteral("DROP TABLE dane_kierownictwo"));
        c.execute(QStringLiteral("CREATE TABLE dane_kierownictwo (Email NVARCHAR(80), Dodatkowe NVARCHAR(20), "
                                 "Stanowisko NVARCHAR(100), NAZWISKO NVARCHAR(100))"));
        c.execute(QStringLiteral("INSERT INTO dane_kierownictwo VALUES ('a@b.pl', 'x', 'директор', 'Żak Ёж')"));
        // An auto-numbered key is never copied: the working table numbers its own records.
        c.execute(QStringLiteral("CREATE TABLE dane_numerowane (id INTEGER PRIMARY KEY AUTOINCREMENT, nazwa NVARCHAR(20))"));
        c.execute(QStringLiteral("INSERT INTO dane_numerowane (id, nazwa) VALUES (500, 'pierwszy'), (900, 'drugi')"));
        // Table names are matched without regard to case: "Wersja" still marks a current file.
        c.execute(QStringLiteral("ALTER TABLE wersja RENAME TO wersja_stara"));
        c.execute(QStringLiteral("CREATE TABLE Wersja AS SELECT * FROM wersja_stara"));
        c.execute(QStringLiteral("DROP TABLE wersja_stara"));
    });
    t.survey().execute(QStringLiteral("CREATE TABLE dane_numerowane (id INTEGER PRIMARY KEY AUTOINCREMENT, nazwa NVARCHAR(20))"));
    t.survey().execute(QStringLiteral("INSERT INTO dane_numerowane (nazwa) VALUES ('stary')"));

    EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::Loaded);
    EXPECT_TRUE(t.messages.shown.isEmpty()) << "a current file was taken for an earlier version";

    db::Table board(t.survey(), QStringLiteral("dane_kierownictwo"));
    ASSERT_EQ(board.recordCount(), 1);
    EXPECT_EQ(board.asUnicode(QStringLiteral("Nazwisko")), QStringLiteral("Żak Ёж"));
    EXPECT_EQ(board.asUnicode(QStringLiteral("Stanowisko")), QStringLiteral("????????"));
    EXPECT_EQ(board.asUnicode(QStringLiteral("Email")), QStringLiteral("a@b.pl"));
    EXPECT_TRUE(board.isNull(QStringLiteral("Telefon")));

    db::Query numbered(t.survey(), QStringLiteral("SELECT id, nazwa FROM dane_numerowane ORDER BY id"));
    ASSERT_EQ(numbered.recordCount(), 2);
    EXPECT_EQ(numbered.asUnicode(QStringLiteral("nazwa")), QStringLiteral("pierwszy"));
    EXPECT_EQ(numbered.asInteger(QStringLiteral("id")), 2);
}

TEST(DataFiles, StartingDataKeepTheLastingResourcesOnly)
{
    TestProgram t;
    const QString file = makeDataFile(t.path(QStringLiteral("2007.naj")),
                                      [](db::Connection& c) { fillSurvey(c, QStringLiteral("Instytut 2007")); });
    t.program.state.StartingDataMode = true;
    t.program.state.CurrentDataFile.clear();

    datafiles::LoadDataFile(t.program, file, quiet);

    for (const QString& table : datafiles::listTablesOmittedFromStartingData())
        EXPECT_EQ(rowCount(t.survey(), table), 0) << table.toStdString();
    // Tables outside the 21 list tables come whole.
    EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_kierownictwo")), 1);
    EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_uprawnien")), 1);

    db::Table details(t.survey(), QStringLiteral("dane_szczegolowe"));
    ASSERT_EQ(details.recordCount(), 1);
    const auto& fields = details.fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        if (static_cast<int>(i) < schema::LastingResourceFieldCount)
            EXPECT_EQ(details.value(static_cast<int>(i)).toInt(), static_cast<int>(i) + 1) << fields[i].name.toStdString();
        else
            EXPECT_TRUE(details.value(static_cast<int>(i)).isNull()) << fields[i].name.toStdString();
    }
    ASSERT_GT(fields.size(), 40u);
    EXPECT_EQ(fields[0].name, QStringLiteral("Zatr_BR_prof_N"));
    EXPECT_EQ(fields[40].name, QStringLiteral("Wypelniajacy_email"));
}

TEST(DataFiles, LoadThatFailsHalfwayLeavesTheWorkingDatabaseAsItWas)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("nasza"));
    // An index of the file's own sends it through the table-by-table copy.
    const QString file = makeDataFile(t.path(QStringLiteral("obcy.naj")), [](db::Connection& c) {
        fillSurvey(c, QStringLiteral("obca"));
        c.execute(QStringLiteral("CREATE INDEX obcy_indeks ON dane_wykaz_patentow (numer)"));
    });
    const QString before = dump(t.survey());
    t.program.state.CurrentDataFile = QStringLiteral("/x/nasz.naj");
    SetDataSaved(t.program.state, false);
    // Tables before it in the list have been replaced by the time this one refuses its records.
    t.survey().execute(QStringLiteral("CREATE TEMP TRIGGER odmowa BEFORE INSERT ON main.dane_wykaz_patentow "
                                      "BEGIN SELECT RAISE(ABORT, 'dysk pełny'); END"));

    RecordingProgress progress;
    EXPECT_FALSE(errorOf([&] { datafiles::LoadDataFile(t.program, file, progress); }).isEmpty());
    EXPECT_TRUE(progress.labels.contains(QStringLiteral("dane_wykaz_patentow")));
    EXPECT_TRUE(progress.finished);
    t.survey().execute(QStringLiteral("DROP TRIGGER odmowa"));

    EXPECT_EQ(dump(t.survey()), before);
    EXPECT_FALSE(t.survey().inTransaction());
    EXPECT_EQ(t.program.state.CurrentDataFile, QStringLiteral("/x/nasz.naj"));
    EXPECT_FALSE(t.program.state.DataSaved);

    // The connection is left fit for the next load.
    datafiles::LoadDataFile(t.program, file, quiet);
    EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString(), QStringLiteral("obca"));
}

TEST(DataFiles, UnreadableFilesLeaveTheWorkingDatabaseAlone)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("nasza"));
    const QString before = dump(t.survey());

    EXPECT_EQ(errorOf([&] { datafiles::LoadDataFile(t.program, t.path(QStringLiteral("brak.naj")), quiet); }),
              QStringLiteral("Nie można odnaleźć wskazanego zbioru"));

    const QString notArchive = t.path(QStringLiteral("tekst.naj"));
    QFile f(notArchive);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(200, 'x'));
    f.close();
    EXPECT_EQ(errorOf([&] { datafiles::LoadDataFile(t.program, notArchive, quiet); }),
              QStringLiteral("Skompresowany zbiór jest uszkodzony"));

    // An archive whose member is no database, and one whose database carries a third password.
    const QString garbage = t.path(QStringLiteral("ankieta.mdb"));
    QFile g(garbage);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write(QByteArray(4096, 'z'));
    g.close();
    archiveDatabase(garbage, t.path(QStringLiteral("smieci.naj")));
    const QString stranger = t.path(QStringLiteral("obce.mdb"));
    db::Connection::create(stranger, QStringLiteral("haslo1"));
    archiveDatabase(stranger, t.path(QStringLiteral("obce.naj")));
    for (const char* name : {"smieci.naj", "obce.naj"}) {
        EXPECT_EQ(errorOf([&] { datafiles::LoadDataFile(t.program, t.path(QString::fromLatin1(name)), quiet); }),
                  QStringLiteral("Zbiór danych nie może być wczytany - nieprawidłowy format bazy danych."));
    }
    EXPECT_EQ(dump(t.survey()), before);
}

TEST(DataFiles, SaveDataReplacesTheMemberOfTheCurrentFile)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("pierwsza"));
    const QString file = t.path(QStringLiteral("biezacy.naj"));
    datafiles::WriteDataFile(t.program, file);

    // A replaced file keeps the permissions the user gave it, saved in place or written anew under its name.
    const QFile::Permissions shared = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    const auto modeOf = [](const QString& path) {
        return QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    };
    ASSERT_TRUE(QFile::setPermissions(file, shared));
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa='druga'"));
    datafiles::StoreReportingYear(t.program, QStringLiteral("2008"));
    EXPECT_FALSE(t.program.state.DataSaved);
    datafiles::SaveToCurrentDataFile(t.program);
    EXPECT_TRUE(t.program.state.DataSaved);
    EXPECT_EQ(modeOf(file), shared);
    datafiles::WriteDataFile(t.program, file);
    EXPECT_EQ(modeOf(file), shared);
    ASSERT_TRUE(t.survey().isOpen());

    t.survey().execute(QStringLiteral("DELETE FROM dane_podstawowe"));
    datafiles::LoadDataFile(t.program, file, quiet);
    EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString(), QStringLiteral("druga"));
    EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT Rok_sprawozdawczy FROM dane_szczegolowe")).toString(),
              QStringLiteral("2008"));

    // A file whose first member is something else is refused with the archive's message, and kept.
    const QString other = t.path(QStringLiteral("inny.naj"));
    const QString notes = t.path(QStringLiteral("notatki.txt"));
    QFile n(notes);
    ASSERT_TRUE(n.open(QIODevice::WriteOnly));
    n.write("notatki");
    n.close();
    QFile(other).open(QIODevice::WriteOnly);
    {
        ZlbArchive a;
        a.OpenArchive(other);
        a.AddFile(notes);
    }
    const QByteArray hash = fileHash(other);
    t.program.state.CurrentDataFile = other;
    SetDataSaved(t.program.state, false);
    EXPECT_EQ(errorOf([&] { datafiles::SaveToCurrentDataFile(t.program); }),
              QStringLiteral("W pliku skompresowanym nie istnieje taki zbiór"));
    EXPECT_EQ(fileHash(other), hash);
    EXPECT_FALSE(t.program.state.DataSaved);
    EXPECT_TRUE(t.survey().isOpen());
}

namespace {

// Spoils the rebuilt archive just before it would take the old one's place, as a failing disk would.
class SpoilingArchive final : public datafiles::CheckedArchive {
protected:
    void BeforeReplace(const QString& tempFileName) override
    {
        QFile f(tempFileName);
        if (f.open(QIODevice::ReadWrite)) {
            f.seek(10);
            f.write("\xff\xfe\xfd");
            f.close();
        }
        CheckedArchive::BeforeReplace(tempFileName);
    }
};

const QString kSaveFailed = QStringLiteral("Uwaga! Z jakiegoś powodu zbiór nie został zapisany.\n"
                                           "Prosze spróbować zapisać go w innym miejscu lub na innym nośniku.");

} // namespace

TEST(DataFiles, DataFileIsNeverReplacedByADamagedOrEmptyOne)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("zapisana"));
    const QString file = t.path(QStringLiteral("cenny.naj"));
    datafiles::WriteDataFile(t.program, file);
    const QByteArray hash = fileHash(file);
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa='nowa'"));
    SetDataSaved(t.program.state, false);

    SpoilingArchive spoiling;
    EXPECT_EQ(errorOf([&] { datafiles::SaveToCurrentDataFile(t.program, spoiling); }), kSaveFailed);
    EXPECT_EQ(fileHash(file), hash);
    EXPECT_EQ(errorOf([&] { datafiles::WriteDataFile(t.program, file, spoiling); }), kSaveFailed);
    EXPECT_EQ(fileHash(file), hash);
    EXPECT_FALSE(t.program.state.DataSaved);
    EXPECT_TRUE(t.survey().isOpen());

    // A working database that is not a survey database is not packed over the user's file either.
    t.survey().close();
    const QString database = t.program.state.DatabasePath;
    QFile::rename(database, database + QStringLiteral(".bak"));
    QFile empty(database);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(errorOf([&] { datafiles::SaveToCurrentDataFile(t.program); }), kSaveFailed);
    EXPECT_EQ(errorOf([&] { datafiles::WriteDataFile(t.program, file); }), kSaveFailed);
    EXPECT_EQ(fileHash(file), hash);
    // Nothing but the data file (and the program's settings) is left in its folder.
    EXPECT_EQ(QDir(t.dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("ankieta.ini"), QStringLiteral("cenny.naj")}));
}

// Run only as the child of the next test: saves into the data file and stops for good at the last moment
// before the new file replaces the old one, so the parent can kill it there.
TEST(DataFileChild, DISABLED_SaveUntilKilled)
{
    const QString folder = qEnvironmentVariable("VESTRUM_CHILD_PROGRAM_FOLDER");
    if (folder.isEmpty())
        GTEST_SKIP();
    ChildProgram child(folder);
    Program& program = child.program;
    program.state.CurrentDataFile = qEnvironmentVariable("VESTRUM_CHILD_DATA_FILE");

    class Stalling final : public datafiles::CheckedArchive {
    protected:
        void BeforeReplace(const QString& tempFileName) override
        {
            CheckedArchive::BeforeReplace(tempFileName);
            std::cout << "GOTOWE" << std::endl;
            QThread::sleep(60);
        }
    } stalling;
    datafiles::SaveToCurrentDataFile(program, stalling);
}

TEST(DataFiles, ProcessKilledWhileSavingLeavesTheOldDataFileWhole)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("stara treść"));
    const QString file = t.path(QStringLiteral("zbior.naj"));
    datafiles::WriteDataFile(t.program, file);
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa='nowa treść'"));

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VESTRUM_CHILD_PROGRAM_FOLDER"), t.program.state.ProgramFolder);
    env.insert(QStringLiteral("VESTRUM_CHILD_DATA_FILE"), file);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=DataFileChild.DISABLED_SaveUntilKilled")});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray output;
    while (!output.contains("GOTOWE") && child.waitForReadyRead(20000))
        output += child.readAllStandardOutput();
    ASSERT_TRUE(output.contains("GOTOWE")) << output.toStdString();
    child.kill();
    child.waitForFinished();

    datafiles::LoadDataFile(t.program, file, quiet);
    EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString(),
              QStringLiteral("stara treść"));
}

TEST(DataFiles, NewUnitLeavesOnlyTheUnitRecordAndTheVersion)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("dawna"));
    const QString version = t.survey().scalar(QStringLiteral("SELECT wersja FROM wersja")).toString();

    datafiles::ClearForNewUnit(t.program);

    for (const QString& table : t.survey().userTables()) {
        const int expected = table == QStringLiteral("wersja") || table == QStringLiteral("dane_podstawowe") ? 1 : 0;
        EXPECT_EQ(rowCount(t.survey(), table), expected) << table.toStdString();
    }
    EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT id FROM dane_podstawowe")).toInt(), -1);
    EXPECT_TRUE(t.survey().scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).isNull());
    EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT wersja FROM wersja")).toString(), version);
}

// An installed program works in the user's own folder: the start's lock and databases, a load, a restore point
// and the settings leave the program folder as the package put it (root, who could write there, included).
TEST(InstalledProgram, WritesNothingIntoTheProgramFolder)
{
    PrivateUserDataHome home;
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("pomoc"));
    QFile ini(folder.filePath(QStringLiteral("vestrum.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Instalacja]\nDane=uzytkownik\n");
    ini.close();
    const QStringList before = folderListing(folder.path());

    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    Program program(messages, clock);
    startup::setProgramFolder(program.state, folder.path());
    DataFolderLock lock;
    ASSERT_TRUE(startup::lockDataFolder(program, lock));
    startup::openDatabases(program);
    const QString file = makeDataFile(home.base.filePath(QStringLiteral("rok 2008.naj")),
                                      [](db::Connection& c) { fillSurvey(c, QStringLiteral("z pliku")); });
    datafiles::NoProgress quiet;
    EXPECT_EQ(datafiles::LoadDataFile(program, file, quiet), datafiles::LoadOutcome::Loaded);
    EXPECT_TRUE(restorepoints::MakeRestorePoint(program));
    WriteSettings(program.state);
    EXPECT_TRUE(SetDataSaved(program.state, false));

    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    EXPECT_EQ(folderListing(folder.path()), before);
    for (const char* made : {"dane/ankieta.mdb", "dane/lista_czasopism.mdb", "ankieta.ini"})
        EXPECT_TRUE(QFileInfo::exists(home.folder() + QLatin1String(made))) << made;
    EXPECT_EQ(QDir(home.folder() + QStringLiteral("archiwum")).entryList({QStringLiteral("*.nar")}).size(), 1);
}
