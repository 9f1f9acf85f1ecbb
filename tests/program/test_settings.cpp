#include "program/settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace vestrum;

namespace {

struct SettingsFolder {
    QTemporaryDir dir;
    RunState state;
    SettingsFolder() { state.ProgramFolder = dir.path() + QLatin1Char('/'); }

    void writeIni(const QByteArray& bytes)
    {
        QFile f(state.settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString readIni() const
    {
        QFile f(state.settingsPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

} // namespace

TEST(Settings, MissingFileGivesDefaults)
{
    SettingsFolder folder;
    folder.state.CurrentDataFile = QStringLiteral("stale.naj");
    ReadSettings(folder.state);

    const RunState& s = folder.state;
    EXPECT_TRUE(s.CurrentDataFile.isEmpty());
    EXPECT_EQ(s.UserFont, (UserFontSpec{QStringLiteral("Arial"), 12}));
    for (const WindowMemory& w : s.Windows)
        EXPECT_EQ(w, (WindowMemory{400, 600, 0, 0, false}));
    EXPECT_TRUE(s.PopupPanels.isEmpty());
    EXPECT_EQ(s.Flags, MessageFlags());
    EXPECT_EQ(s.ComponentVersions.value(QStringLiteral("pomoc")), QStringLiteral("0.0.0.0"));
}

TEST(Settings, WrittenSettingsReadBack)
{
    SettingsFolder folder;
    RunState& s = folder.state;
    s.CurrentDataFile = QStringLiteral("/home/ewa/Sprawozdanie łódzkie.naj");
    s.UserFont = {QStringLiteral("DejaVu Sans"), 20};
    s.Windows[1] = {500, 700, 30, 40, true};
    s.Windows[7] = {300, 350, -5, 12, false};
    s.PopupPanels = QStringLiteral("p1=40;p12=120;");
    for (int n = 1; n <= 26; ++n)
        s.Flags.setFlag(n, n % 3);
    s.ComponentVersions.insert(QStringLiteral("pomoc"), QStringLiteral("1.0.0.3"));
    s.ComponentVersions.insert(QStringLiteral("wzory"), QStringLiteral("2.1.0.0"));
    s.ComponentFiles.insert(QStringLiteral("wzory"), QStringLiteral("/opt/vestrum/wzory/wzory.doc"));
    WriteSettings(s);

    const QString text = folder.readIni();
    EXPECT_TRUE(text.contains(QStringLiteral("visible=12012012012012012012012012\n"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("Left=30\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("State=wsMaximized\n")));

    RunState back;
    back.ProgramFolder = s.ProgramFolder;
    ReadSettings(back);
    EXPECT_EQ(back.CurrentDataFile, s.CurrentDataFile);
    EXPECT_EQ(back.UserFont, s.UserFont);
    EXPECT_EQ(back.Windows, s.Windows);
    EXPECT_EQ(back.PopupPanels, s.PopupPanels);
    EXPECT_EQ(back.Flags, s.Flags); // all 26 digits, the 26th included
    EXPECT_EQ(back.ComponentVersions, s.ComponentVersions);
    EXPECT_EQ(back.ComponentFiles, s.ComponentFiles);
}

TEST(Settings, NamesMatchWithoutRegardToCaseAndOtherEntriesSurvive)
{
    SettingsFolder folder;
    folder.writeIni("; reczne uwagi\n"
                    "[DANE]\nobiekt=C:\\dane\\a.naj\n"
                    "[F_WYKAZY]\nLEFT=17\nstate=WSMAXIMIZED\n"
                    "[messages]\nVISIBLE=12\n"
                    "[Lista_czasopism]\nWersja=3.0.0.1\n"
                    "[inne]\nklucz=wartosc\n");
    ReadSettings(folder.state);
    const RunState& s = folder.state;
    EXPECT_EQ(s.CurrentDataFile, QStringLiteral("C:\\dane\\a.naj"));
    EXPECT_EQ(s.Windows[1].left, 17);
    EXPECT_TRUE(s.Windows[1].maximized);
    // "12": message 2 answers Tak silently, the others are shown.
    EXPECT_EQ(s.Flags.flag(1), 1);
    EXPECT_EQ(s.Flags.flag(2), 2);
    for (int n = 3; n <= 26; ++n)
        EXPECT_EQ(s.Flags.flag(n), 1) << n;
    EXPECT_EQ(s.ComponentVersions.value(QStringLiteral("Lista_czasopism")), QStringLiteral("3.0.0.1"));
    EXPECT_FALSE(s.ComponentVersions.contains(QStringLiteral("inne")));
    EXPECT_FALSE(s.ComponentVersions.contains(QStringLiteral("DANE")));

    WriteSettings(s);
    const QString text = folder.readIni();
    // Existing spellings are kept rather than duplicated; unknown entries stay.
    EXPECT_EQ(text.count(QStringLiteral("[messages]"), Qt::CaseInsensitive), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("VISIBLE=12111111111111111111111111\n"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("LEFT=17\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("[inne]\nklucz=wartosc\n")));
}

TEST(Settings, DamagedValuesFallBackWithoutStoppingTheStart)
{
    SettingsFolder folder;
    folder.writeIni("[Dane]\nObiekt=/tmp/x.naj\n"
                    "[Font]\nName=Liberation Serif\nSize=duzy\n"
                    "[f_popupy]\nHeight=abc\nWidth=640\n"
                    "[Messages]\nVisible=02x2\n");
    ReadSettings(folder.state);
    const RunState& s = folder.state;
    EXPECT_EQ(s.CurrentDataFile, QStringLiteral("/tmp/x.naj"));
    EXPECT_EQ(s.UserFont, (UserFontSpec{QStringLiteral("Liberation Serif"), 12}));
    EXPECT_EQ(s.Windows[0].height, 400);
    EXPECT_EQ(s.Windows[0].width, 640);
    EXPECT_EQ(s.Flags.flag(1), 0);
    EXPECT_EQ(s.Flags.flag(2), 2);
    EXPECT_EQ(s.Flags.flag(3), 1); // the bad digit keeps its message shown
    EXPECT_EQ(s.Flags.flag(4), 2);
}

TEST(Settings, TheFirstOfTwoEqualKeysWinsAndAFontOfNoSizeIsRefused)
{
    SettingsFolder folder;
    folder.writeIni("[Dane]\nObiekt=/tmp/pierwszy.naj\nobiekt=/tmp/drugi.naj\n"
                    "[Font]\nName=Liberation Serif\nSize=0\nSize=14\n");
    ReadSettings(folder.state);
    EXPECT_EQ(folder.state.CurrentDataFile, QStringLiteral("/tmp/pierwszy.naj"));
    EXPECT_EQ(folder.state.UserFont, (UserFontSpec{QStringLiteral("Liberation Serif"), 12}));
}

TEST(Settings, FileOfTheEarlierReleaseInTheWindowsCodePage)
{
    SettingsFolder folder;
    // "Łódź" in Windows-1250 is not valid UTF-8.
    folder.writeIni(QByteArray("[Dane]\r\nObiekt=C:\\") + QByteArray("\xA3\xF3\x64\x9F", 4) + ".naj\r\n");
    ReadSettings(folder.state);
    EXPECT_EQ(folder.state.CurrentDataFile, QStringLiteral("C:\\Łódź.naj"));
}

TEST(Settings, PanelsRoundTripAndSkipBrokenItems)
{
    const QList<QPair<QString, int>> panels = {{QStringLiteral("Panel12"), 120}, {QStringLiteral("Panel3"), 44}};
    EXPECT_EQ(formatPanels(panels), QStringLiteral("p12=120;p3=44;"));
    EXPECT_EQ(parsePanels(formatPanels(panels)), panels);
    EXPECT_EQ(parsePanels(QStringLiteral("p1=x;=5;p2=30;p4")),
              (QList<QPair<QString, int>>{{QStringLiteral("Panel2"), 30}}));
}

TEST(Settings, StoreComponentVersionWritesAtOnce)
{
    SettingsFolder folder;
    folder.writeIni("[Font]\nName=Arial\n");
    StoreComponentVersion(folder.state, QStringLiteral("pomoc"), QStringLiteral("1.2.3.4"));
    IniFile ini;
    ASSERT_TRUE(ini.load(folder.state.settingsPath()));
    EXPECT_EQ(ini.value(QStringLiteral("POMOC"), QStringLiteral("Wersja")), QStringLiteral("1.2.3.4"));
    EXPECT_EQ(ini.value(QStringLiteral("font"), QStringLiteral("name")), QStringLiteral("Arial"));
}

TEST(Settings, UnsavedChangesAreRecordedAtOnceAndOnlyOnChange)
{
    SettingsFolder folder;
    folder.writeIni("[Dane]\nObiekt=/dane/a.naj\n[Font]\nName=Tahoma\n");
    ReadSettings(folder.state);
    EXPECT_TRUE(folder.state.DataSaved);
    EXPECT_FALSE(folder.state.DataSaved.unsavedRecorded());

    // The first edit records it before anything else can fail; the rest of the file stays.
    EXPECT_TRUE(SetDataSaved(folder.state, false));
    EXPECT_FALSE(folder.state.DataSaved);
    EXPECT_TRUE(folder.readIni().contains(QStringLiteral("Niezapisane=1")));
    EXPECT_TRUE(folder.readIni().contains(QStringLiteral("Name=Tahoma")));

    // A crash now: the next run reads the record back.
    RunState next;
    next.ProgramFolder = folder.state.ProgramFolder;
    ReadSettings(next);
    EXPECT_TRUE(next.DataSaved.unsavedRecorded());
    EXPECT_FALSE(next.DataSaved);

    // Further edits do not touch the file; a save clears the record at once.
    QFile::remove(folder.state.settingsPath());
    SetDataSaved(folder.state, false);
    EXPECT_FALSE(QFile::exists(folder.state.settingsPath()));
    SetDataSaved(folder.state, true);
    EXPECT_TRUE(folder.readIni().contains(QStringLiteral("Niezapisane=0")));
    EXPECT_FALSE(folder.state.DataSaved.unsavedRecorded());
}

TEST(Settings, UnsavedRecordThatCannotBeWrittenIsTriedAgain)
{
    SettingsFolder folder;
    const QString blocker = folder.state.settingsPath();
    ASSERT_TRUE(QDir().mkpath(blocker)); // a folder where the file should be: every write fails
    EXPECT_FALSE(SetDataSaved(folder.state, false));
    EXPECT_FALSE(folder.state.DataSaved);
    EXPECT_FALSE(folder.state.DataSaved.unsavedRecorded());
    ASSERT_TRUE(QDir(blocker).removeRecursively());
    EXPECT_TRUE(SetDataSaved(folder.state, false));
    EXPECT_TRUE(folder.readIni().contains(QStringLiteral("Niezapisane=1")));
}
