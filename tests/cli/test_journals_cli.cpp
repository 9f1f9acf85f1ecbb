#include "cli/journals_cli.h"

#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

using namespace vestrum;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

struct DataFolder {
    QTemporaryDir dir;
    QString list = dir.filePath(QStringLiteral("dane/lista_czasopism.mdb"));

    DataFolder()
    {
        QDir().mkpath(dir.filePath(QStringLiteral("dane")));
        journals::ListRecord old;
        old.name = S("Gamma");
        old.points = 70;
        old.issn = S("2222-2222");
        journals::ListRecord removed;
        removed.name = S("Usunięte");
        removed.points = 20;
        journals::writeJournalListDatabase(list, {old, removed}, QDate(2019, 7, 31), S("stary.csv"));
    }

    CliRun run(const QStringList& args) const
    {
        CliRun r;
        QTextStream out(&r.out), err(&r.err);
        r.status = runJournalsCommand(args, out, err, list, QDate(2025, 3, 4));
        return r;
    }

    QString write(const char* name, const QString& text) const
    {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
        return path;
    }

    QByteArray listBytes() const
    {
        QFile file(list);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
};

const char* const kEdition = "Wykaz czasopism naukowych,,,,,,,,\n"
                             ",,,,,,,,archeologia\n"
                             "Lp.,Tytuł 1,issn,e-issn,Tytuł 2,issn,e-issn,Punkty,101\n"
                             "1,Gamma,2222-2222,,,,,100,x\n"
                             "2,\"Nowe, czasopismo\",,,,,,40,\n"
                             "3,Bez punktów,,,,,,,\n";

} // namespace

TEST(JournalsCli, ImportShowsTheChangesAndReplacesTheListOnlyWithSave)
{
    DataFolder data;
    const QString file = data.write("wykaz.csv", S(kEdition));
    const QByteArray before = data.listBytes();
    const QString changes = S("dodane: 1\n  Nowe, czasopismo (40 pkt)\nusunięte: 1\n  Usunięte (20 pkt)\n"
                              "zmienione punkty: 1\n  Gamma (70 -> 100 pkt)\npominięte wiersze: 1\n"
                              "  Lp. 3: brak punktów\n");

    CliRun r = data.run({S("import"), file});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, changes);
    EXPECT_EQ(data.listBytes(), before);

    r = data.run({S("import"), file, S("--save")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, changes + S("zapisano wykaz: 2 czasopism, wersja 2025.3.4.0\n"));
    EXPECT_TRUE(QFile::exists(journals::previousListPath(data.list)));

    r = data.run({S("show")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, S("plik: %1\nwczytany z: wykaz.csv\ndzień wczytania: 2025-03-04\nwersja: 2025.3.4.0\n"
                       "czasopism: 2\n")
                         .arg(QDir::toNativeSeparators(data.list)));
}

TEST(JournalsCli, AFileWithoutPointsIsRefusedAndChangesNothing)
{
    DataFolder data;
    const QByteArray before = data.listBytes();
    const QString file = data.write("bez_punktow.csv", S(kEdition).replace(S("Punkty"), S("Uwagi")));
    const CliRun r = data.run({S("import"), file, S("--save")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(S("nie jest wykazem czasopism ministerstwa"))) << r.err.toStdString();
    EXPECT_EQ(data.listBytes(), before);
    EXPECT_FALSE(QFile::exists(journals::previousListPath(data.list)));

    EXPECT_EQ(data.run({S("import")}).status, 2);
    EXPECT_EQ(data.run({S("import"), file, S("--zapisz")}).status, 2);
    EXPECT_EQ(data.run({S("pokaz")}).status, 2);
}
