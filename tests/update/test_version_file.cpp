#include "update/names.h"
#include "update/version.h"
#include "update/version_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vestrum::update;

TEST(UpdateVersion, WeightsAreThousandsHundredsTensAndUnits)
{
    EXPECT_EQ(ParseVersion(QStringLiteral("2.2.1.2")), 2212);
    EXPECT_EQ(ParseVersion(QStringLiteral("2.2.10.0")), ParseVersion(QStringLiteral("2.3.0.0")));
    EXPECT_EQ(VersionText(2300), QStringLiteral("2.3.0.0"));
    EXPECT_EQ(VersionText(*ParseVersion(QStringLiteral("2.2.1.3"))), QStringLiteral("2.2.1.3"));
    EXPECT_GT(*ParseVersion(QStringLiteral("2.2.1.3")), *ParseVersion(QStringLiteral("2.2.1.2")));
    // Parts above nine read back through the weights, not as typed.
    EXPECT_EQ(VersionText(*ParseVersion(QStringLiteral("0.0.0.12"))), QStringLiteral("0.0.1.2"));
}

TEST(UpdateVersion, OnlyFourPartsOfDigitsAreAVersion)
{
    for (const char* bad : { "", "2.2.1", "2.2.1.2.0", "2.2.-1.2", "2.2.+1.2", "2.2. 1.2", "2..1.2", "a.b.c.d",
             "2.2.1.2x", "1234567890.0.0.0", "2,2,1,2" })
        EXPECT_FALSE(ParseVersion(QString::fromUtf8(bad))) << bad;
    // The largest parts still fit: 999999999 of each weight.
    EXPECT_EQ(ParseVersion(QStringLiteral("999999999.999999999.999999999.999999999")), 999999999LL * 1111);
    EXPECT_EQ(InstalledVersion(QStringLiteral("nieczytelne")), 0);
    EXPECT_EQ(InstalledVersion(QStringLiteral(" 1.0.0.0 ")), 1000);
}

TEST(UpdateNames, PlainFileNamesOnly)
{
    for (const char* good : { "program", "dane_2008.dat", "Lista czasopism.zlb" })
        EXPECT_TRUE(IsPlainFileName(QString::fromUtf8(good))) << good;
    for (const char* bad : { "", ".", "..", "../x", "a/b", "a\\b", "c:x", "a..b", "[dane]", "x\ty" })
        EXPECT_FALSE(IsPlainFileName(QString::fromUtf8(bad))) << bad;
    EXPECT_FALSE(IsPlainFileName(QStringLiteral("a") + QChar(0) + QStringLiteral("b")));
}

TEST(UpdateNames, FoldersAndPathsStayInsideTheProgramFolder)
{
    QTemporaryDir root;
    const QString program = root.filePath(QStringLiteral("program")) + u'/';
    QDir().mkpath(program);
    EXPECT_EQ(FolderInsideProgramFolder(program, QString()), program);
    EXPECT_EQ(FolderInsideProgramFolder(program, QStringLiteral("pomoc\\obrazki")),
        program + QStringLiteral("pomoc/obrazki/"));
    EXPECT_EQ(FolderInsideProgramFolder(program, QStringLiteral("a/../b")), program + QStringLiteral("b/"));
    for (const char* bad : { "..", "../program2", "a/../../x", "/etc", "c:\\windows" })
        EXPECT_TRUE(FolderInsideProgramFolder(program, QString::fromUtf8(bad)).isEmpty()) << bad;

    EXPECT_TRUE(IsInsideProgramFolder(program, program + QStringLiteral("pomoc/x.html")));
    EXPECT_FALSE(IsInsideProgramFolder(program, root.filePath(QStringLiteral("program2/x"))));
    EXPECT_FALSE(IsInsideProgramFolder(program, QStringLiteral("pomoc/x.html")));
    // A link inside the folder that points out of it does not count as inside.
    ASSERT_TRUE(QFile::link(root.path(), program + QStringLiteral("wyjscie")));
    EXPECT_FALSE(IsInsideProgramFolder(program, program + QStringLiteral("wyjscie/x")));
    EXPECT_TRUE(FolderInsideProgramFolder(program, QStringLiteral("wyjscie")).isEmpty());
}

TEST(UpdateNames, SpecialPagesAreWebAddressesOnly)
{
    EXPECT_TRUE(WebAddress(QStringLiteral("https://www.example.com/opis.html")));
    EXPECT_TRUE(WebAddress(QStringLiteral("http://example.com")));
    for (const char* bad :
        { "file:///etc/passwd", "javascript:alert(1)", "www.example.com", "https://", "ftp://x.org" })
        EXPECT_FALSE(WebAddress(QString::fromUtf8(bad))) << bad;
}

TEST(UpdateVersionFile, ComponentLinesInFileOrder)
{
    const QString text = QStringLiteral(
        "[Vestrum]\r\n"
        "program:2.2.1.3;typ: 0;pakiet: program.zlb;strona:;folder:;\r\n"
        "\r\n"
        "dane:2.2.0.1;typ:3;pakiet:dane.zlb;strona:;folder:dane;\n"
        "Instrukcja:1.0.0.0;typ:1;pakiet:instrukcja.zlb;strona: https://example.com/a:b?c=d;folder:pomoc\\pdf;\n");
    const auto entries = ParseVersionFile(text);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 3);
    EXPECT_EQ((*entries)[0].name, QStringLiteral("program"));
    EXPECT_EQ((*entries)[0].available, 2213);
    EXPECT_EQ((*entries)[0].kind, ComponentKind::Program);
    EXPECT_EQ((*entries)[0].package, QStringLiteral("program.zlb"));
    EXPECT_EQ((*entries)[1].kind, ComponentKind::SurveyDatabase);
    EXPECT_EQ((*entries)[1].folder, QStringLiteral("dane"));
    EXPECT_EQ((*entries)[2].specialPage, QStringLiteral("https://example.com/a:b?c=d"));
    EXPECT_EQ((*entries)[2].folder, QStringLiteral("pomoc/pdf"));
    EXPECT_FALSE((*entries)[2].upToDate);

    const auto onlyHeader = ParseVersionFile(QStringLiteral("pierwsza linia\n"));
    ASSERT_TRUE(onlyHeader);
    EXPECT_TRUE(onlyHeader->isEmpty());
}

TEST(UpdateVersionFile, OneBadLineRefusesTheWholeFile)
{
    const QString good = QStringLiteral("x\ndane:2.2.0.1;t:3;p:dane.zlb;s:;f:;\n");
    ASSERT_TRUE(ParseVersionFile(good));
    for (const char* bad : {
             "dane:2.2.0;t:3;p:dane.zlb;s:;f:;", // three parts
             "dane:99999999999999999999.0.0.0;t:3;p:d.zlb;s:;f:;", // overflow
             "nowy:2.2.0.1;t:5;p:nowy.zlb;s:;f:;", // kind, on a name no other rule refuses
             "dane:2.2.0.1;t:-1;p:dane.zlb;s:;f:;",
             "dane:2.2.0.1;t:3;p:../dane.zlb;s:;f:;", // package leaving tmp/
             "dane:2.2.0.1;t:3;p:sub/dane.zlb;s:;f:;",
             "../../etc:2.2.0.1;t:1;p:x.zlb;s:;f:;", // component name as a folder
             "dane:2.2.0.1;t:1;p:x.zlb;s:;f:../..;", // folder leaving the program folder
             "dane:2.2.0.1;t:1;p:x.zlb;s:;f:/etc;",
             "dane:2.2.0.1;t:1;p:x.zlb;s:file:///etc/passwd;f:;", // special page not a web address
             "dane:2.2.0.1;t:1;p:;s:;f:;", // no package and no page
             "dane:2.2.0.1;t:3;p:dane.zlb;s:;f:", // no closing ";"
             "dane:2.2.0.1;t:3;p:dane.zlb;s:;f:;extra:1;",
             "dane 2.2.0.1;t:3;p:dane.zlb;s:;f:;",
         }) {
        EXPECT_FALSE(ParseVersionFile(good + QString::fromUtf8(bad))) << bad;
    }
    // A component with its special page needs no package.
    EXPECT_TRUE(ParseVersionFile(QStringLiteral("x\nnowy:1.0.0.0;t:1;p:;s:https://example.com/;f:;")));
}
