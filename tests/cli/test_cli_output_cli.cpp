// vestrum-cli ends at once when its command is done; these tests start the real executable with its output sent to
// files, as a script does, and hold that every line a command wrote is there when the process has ended.
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

struct FileRun {
    int status = -1;
    QString out;
    QString err;
};

QString contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Runs vestrum-cli with standard output and error going to files of `folder`, and reads them once it has ended.
FileRun runIntoFiles(const QTemporaryDir& folder, const QStringList& args)
{
    const QString out = folder.filePath(S("wyjscie.txt"));
    const QString err = folder.filePath(S("bledy.txt"));
    QProcess process;
    process.setStandardOutputFile(out);
    process.setStandardErrorFile(err);
    process.start(QStringLiteral(VESTRUM_CLI), args);
    FileRun result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = contentOf(out);
    result.err = contentOf(err);
    return result;
}

} // namespace

TEST(CliOutput, EveryLineACommandWroteIsInItsFilesWhenTheProgramHasEnded)
{
    vestrum::testing::TempSurvey survey;
    survey.connection.execute(S("INSERT INTO dane_wykaz_publikacji (grupa, Czasopismo, Tytul) VALUES (1, 'Fizyka', 'Kwarki')"));
    survey.connection.close();
    QTemporaryDir folder;
    const QString text = folder.filePath(S("publikacje.txt"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Acta Physica Polonica A;Tytuł;Kowalski J.;2008, 114, 1-10\n");
    file.close();

    // A short answer on both streams: nothing of it may wait in a buffer when the process ends.
    const FileRun imported = runIntoFiles(folder, {S("list"), S("import-text"), survey.path(), S("3"), text,
                                                   S("--separator=;"), S("--map=1,2,3,4")});
    EXPECT_EQ(imported.status, 0) << imported.err.toStdString();
    EXPECT_EQ(imported.err, S("kodowanie: UTF-8\n"));
    EXPECT_TRUE(imported.out.startsWith(S("Czasopismo\tTytuł\t"))) << imported.out.toStdString();
    EXPECT_TRUE(imported.out.contains(S("\nActa Physica Polonica A\tTytuł\tKowalski J.\t2008, 114, 1-10\t")))
        << imported.out.toStdString();
    EXPECT_TRUE(imported.out.endsWith(u'\n'));

    const FileRun shown = runIntoFiles(folder, {S("list"), S("show"), survey.path(), S("3")});
    EXPECT_EQ(shown.status, 0) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.contains(S("\nFizyka\tKwarki\t"))) << shown.out.toStdString();
    EXPECT_TRUE(shown.out.endsWith(u'\n'));

    // A refusal and a wrong command line are told whole, with their own exit codes.
    const QString missing = folder.filePath(S("brak.mdb"));
    const FileRun refused = runIntoFiles(folder, {S("list"), S("show"), missing, S("3")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(missing)) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.endsWith(u'\n'));
    const FileRun wrong = runIntoFiles(folder, {S("nieznane")});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_TRUE(wrong.err.startsWith(S("Użycie:\n"))) << wrong.err.toStdString();
    EXPECT_TRUE(wrong.err.endsWith(S("[--klucz-publiczny PLIK.pub]\n"))) << wrong.err.toStdString();
}
