#include "base/clock.h"
#include "program/program.h"
#include "gui/common/long_text_window.h"
#include "gui/common/file_picker.h"
#include "gui/main/help_window.h"
#include "gui/main/font_window.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "typing.h"
#include "support/fifo.h"

#include <QFontInfo>
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTreeView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QScreen>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

using namespace vestrum;
using vestrum::testing::typeKeys;

namespace {

class RecordingMessages : public Messages {
public:
    QStringList texts;
    MessageResponse present(const MessageRequest& request) override
    {
        texts.append(request.text);
        return {MessageAnswer::Yes, false};
    }
};

struct TestProgram {
    RecordingMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 1), QTime(10, 0))};
    Program program{messages, clock};
};

void writeFile(const QString& path, const QByteArray& bytes = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Closes the modal window that is about to open, once its event loop runs.
void whenShown(QWidget* context, std::function<void()> action)
{
    QTimer::singleShot(0, context, std::move(action));
}

} // namespace

TEST(UserFont, AppliesNameAndSizeAndSizesControls)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* heading = new QLabel(QStringLiteral("Nagłówek"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* symbol = new QLabel(QStringLiteral("§"));
    symbol->setFont(QFont(QStringLiteral("DejaVu Serif"), 20));
    symbol->setProperty(kTagProperty, kKeepFontTag);
    auto* panel = new QWidget; // a container tagged -1 is still walked
    panel->setProperty(kTagProperty, kKeepFontTag);
    auto* inner = new QLabel(QStringLiteral("w panelu"), panel);
    auto* button = new QPushButton(QStringLiteral("zapisz zmiany"));
    auto* radio = new QRadioButton(QStringLiteral("tak"));
    auto* amount = new QLineEdit;
    amount->setProperty(kNumberFieldProperty, true);
    auto* combo = new QComboBox;
    for (QWidget* w : {static_cast<QWidget*>(heading), static_cast<QWidget*>(symbol), panel,
                       static_cast<QWidget*>(button), static_cast<QWidget*>(radio), static_cast<QWidget*>(amount),
                       static_cast<QWidget*>(combo)})
        layout->addWidget(w);

    ApplyUserFont(&window, {QStringLiteral("Liberation Serif"), 14});
    RelayoutWindow(&window);

    const QFont applied(QStringLiteral("Liberation Serif"), 14);
    const QFontMetrics fm(applied);
    EXPECT_EQ(heading->font().family(), QStringLiteral("Liberation Serif"));
    EXPECT_EQ(heading->font().pointSize(), 14);
    EXPECT_TRUE(heading->font().bold()); // style stays
    EXPECT_EQ(symbol->font().family(), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(symbol->font().pointSize(), 20);
    EXPECT_EQ(inner->font().pointSize(), 14);
    EXPECT_EQ(button->size(), QSize(fm.horizontalAdvance(button->text()) + 16, tjHeight(applied) + 8));
    EXPECT_EQ(radio->size(), QSize(fm.horizontalAdvance(radio->text()) + 32, tjHeight(applied) + 10));
    EXPECT_GE(amount->width(), fm.horizontalAdvance(QStringLiteral("999999999,99")));
    EXPECT_EQ(combo->height(), tjHeight(applied) + 9);
}

TEST(WindowMemory, AppliedWhenShownAndCapturedWhenClosed)
{
    QWidget window;
    WindowMemory memory{300, 420, 40, 30, false};
    new WindowMemoryKeeper(&window, memory);

    window.show();
    EXPECT_EQ(window.geometry(), QRect(40, 30, 420, 300));
    window.setGeometry(50, 60, 500, 350);
    window.close();
    EXPECT_EQ(memory, (WindowMemory{350, 500, 50, 60, false}));

    // A maximized window stores its flag and the normal bounds it returns to.
    window.show();
    window.setWindowState(Qt::WindowMaximized);
    QTest::qWait(20);
    window.close();
    EXPECT_TRUE(memory.maximized);
    EXPECT_EQ(QSize(memory.width, memory.height), QSize(500, 350));
    EXPECT_FALSE(window.isMaximized());
    window.show();
    EXPECT_TRUE(window.isMaximized());
    window.close();

    // Bounds off every screen are pulled back.
    memory = {200, 300, 90000, 90000, false};
    window.show();
    EXPECT_LT(window.x(), 10000);
    window.close();
}

// One placement rule: the first opening is centred on the owner at a size that shows every row of
// its list and its command; a remembered place off the screen is pulled whole onto it, title bar
// included; a window closed maximized opens maximized.
TEST(WindowMemory, FirstOpeningCentresOnTheOwnerAndEveryOpeningStaysWholeOnTheScreen)
{
    QWidget owner;
    owner.setGeometry(60, 80, 500, 400);
    owner.show();
    QDialog window(&owner);
    auto* list = new QListWidget(&window);
    for (int i = 1; i <= 12; ++i)
        list->addItem(QStringLiteral("Pozycja wydruku %1").arg(i));
    auto* command = new QPushButton(QStringLiteral("drukuj"), &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(list, 1);
    layout->addWidget(command);
    window.resize(200, 120);
    WindowMemory memory; // never opened
    new WindowMemoryKeeper(&window, memory);

    window.show();
    QApplication::processEvents();
    const QRect area = window.screen()->availableGeometry();
    EXPECT_LE((window.geometry().center() - owner.geometry().center()).manhattanLength(), 2);
    EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(list->item(11)))) << "every row in view";
    window.close();

    memory = WindowMemory{area.height() * 2, 300, area.left() - 100, area.top() - 200, false};
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(area.contains(window.frameGeometry())) << "the title bar and the frame stay on the screen";
    window.showMaximized();
    QTest::qWait(20);
    window.close();
    window.show();
    EXPECT_TRUE(window.isMaximized());

    // The help window, which remembers nothing between runs, follows the same rule.
    RunState state;
    HelpWindow help(state, &owner);
    owner.setGeometry(area.left() + 5, area.top() + 40, 100, 80); // centred on it, the help would leave the screen
    help.showHelp();
    QApplication::processEvents();
    EXPECT_TRUE(area.contains(help.frameGeometry()));
    EXPECT_GE(help.frameGeometry().width(), std::min(760, area.width()));
}

TEST(FontWindow, ShowsTheUserFontAndAppliesTheChoice)
{
    UserFontSpec font{QStringLiteral("Arial"), 20};
    FontWindow window(font);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Wybierz czcionkę"));
    EXPECT_EQ(window.sizeList()->count(), 9);
    EXPECT_EQ(window.sizeList()->item(0)->text(), QStringLiteral("8"));
    EXPECT_EQ(window.sizeList()->item(8)->text(), QStringLiteral("16"));
    EXPECT_TRUE(window.fontList()->count() > 0);

    // Size 20 is shown in the field but selects nothing; "wróć" changes nothing.
    whenShown(&window, [&] {
        EXPECT_EQ(window.sizeField()->text(), QStringLiteral("20"));
        EXPECT_TRUE(window.sizeList()->selectedItems().isEmpty());
        EXPECT_EQ(window.nameField()->text(), QStringLiteral("Arial"));
        window.sizeList()->setCurrentRow(2);
        window.backButton()->click();
    });
    EXPECT_FALSE(window.chooseFont());
    EXPECT_EQ(font, (UserFontSpec{QStringLiteral("Arial"), 20}));

    // Opened on the user's font: "Arial", not installed under that name, stays in the field and
    // the list selects the font it resolves to; the lists taking the focus change nothing, so
    // "zastosuj" without a choice keeps the font.
    whenShown(&window, [&] {
        ASSERT_NE(window.fontList()->currentItem(), nullptr);
        EXPECT_EQ(window.fontList()->currentItem()->text(), QFontInfo(QFont(QStringLiteral("Arial"))).family());
        window.fontList()->setFocus();
        window.sizeList()->setFocus();
        EXPECT_EQ(window.nameField()->text(), QStringLiteral("Arial"));
        EXPECT_EQ(window.sizeField()->text(), QStringLiteral("20"));
        EXPECT_TRUE(window.sizeList()->visualItemRect(window.sizeList()->item(0)).intersects(
            window.sizeList()->viewport()->rect()));
        window.applyButton()->click();
    });
    EXPECT_TRUE(window.chooseFont());
    EXPECT_EQ(font, (UserFontSpec{QStringLiteral("Arial"), 20}));

    // Clicking an entry copies it into its field.
    auto click = [](QListWidget* list, int row) {
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    };
    const QString family = window.fontList()->item(0)->text();
    whenShown(&window, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        click(window.fontList(), 0);
        click(window.sizeList(), 3);
        EXPECT_EQ(window.nameField()->text(), family);
        EXPECT_EQ(window.sizeField()->text(), QStringLiteral("11"));
        window.applyButton()->click();
    });
    EXPECT_TRUE(window.chooseFont());
    EXPECT_EQ(font, (UserFontSpec{family, 11}));
}

TEST(LongTextWindow, EditsOneParagraphWithinItsLimit)
{
    RunState state;
    state.Windows[7] = {320, 480, 20, 20, false};
    LongTextWindow window(state);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Edycja"));
    window.setHeading(QStringLiteral("Tytuł publikacji"));
    window.setText(QStringLiteral("Zażółć"));
    window.setMaxLength(10);

    whenShown(&window, [&] {
        EXPECT_EQ(window.size(), QSize(480, 320));
        QPlainTextEdit* field = window.textField();
        QTest::keyClick(field, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Return);
        typeKeys(field, QStringLiteral(" gęślą jaźń"));
        // Full, it takes nothing more wherever the caret stands, rather than losing its end.
        QTest::keyClick(field, Qt::Key_Home, Qt::ControlModifier);
        typeKeys(field, QStringLiteral("X"));
        window.saveButton()->click();
    });
    EXPECT_TRUE(window.editText());
    EXPECT_EQ(window.text(), QStringLiteral("Zażółć gęś"));
    EXPECT_TRUE(window.headingLabel()->font().bold());

    // A character of two units that does not fit goes whole: no half of it is left behind.
    window.setMaxLength(5);
    window.setText(QStringLiteral("abc"));
    whenShown(&window, [&] {
        QTest::keyClick(window.textField(), Qt::Key_End, Qt::ControlModifier);
        typeKeys(window.textField(), QStringLiteral("x") + QString::fromUtf8("\xF0\x9F\x98\x80"));
        window.saveButton()->click();
    });
    EXPECT_TRUE(window.editText());
    EXPECT_EQ(window.text(), QStringLiteral("abcx"));

    // Hints are read only, without buttons; afterwards the window edits again.
    whenShown(&window, [&] {
        EXPECT_TRUE(window.textField()->isReadOnly());
        EXPECT_FALSE(window.saveButton()->isVisible());
        window.reject();
    });
    window.showReadOnly(QStringLiteral("Podpowiedzi i wyjaśnienia"), QStringLiteral("Wskazówka"), QColor(255, 255, 225));
    EXPECT_FALSE(window.textField()->isReadOnly());
    EXPECT_FALSE(window.saveButton()->isHidden());
}

TEST(FilePicker, ListsMatchingFilesAndRefusesTheMaskAsAName)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("wykaz.xml")));
    writeFile(dir.filePath(QStringLiteral("notatki.txt")));
    TestProgram test;
    FilePicker picker(test.program);
    EXPECT_EQ(picker.windowTitle(), QStringLiteral("Wskaż zbiór"));
    EXPECT_EQ(picker.nameField()->text(), QStringLiteral("*.*"));
    EXPECT_EQ(picker.folder(), QDir::homePath());

    picker.configure(QStringLiteral("Wskaż zbiór do eksportu"), QStringLiteral("*.xml"), QStringLiteral("eksportuj"),
                     true, QStringLiteral("*.xml"));
    picker.setFolder(dir.path());
    // The places are read with the first folder, the home folder first.
    EXPECT_GE(picker.placeChooser()->count(), 1);
    EXPECT_EQ(picker.placeChooser()->itemData(0).toString(), QDir::homePath());
    EXPECT_EQ(QFileInfo(picker.folder()).canonicalFilePath(), QFileInfo(dir.path()).canonicalFilePath());
    QListView* list = picker.fileList();
    auto* model = qobject_cast<QFileSystemModel*>(list->model());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(list->rootIndex()) == 1; }, 3000));
    EXPECT_TRUE(picker.selectedFile().isEmpty());

    whenShown(&picker, [&] {
        picker.actionButton()->click(); // the name still holds "*": refused, the window stays
        EXPECT_TRUE(picker.isVisible());
        const QModelIndex first = model->index(0, 0, list->rootIndex());
        list->setCurrentIndex(first);
        EXPECT_EQ(picker.nameField()->text(), QStringLiteral("wykaz.xml"));
        picker.actionButton()->click();
    });
    EXPECT_TRUE(picker.choose());
    EXPECT_EQ(test.messages.texts,
              QStringList{QStringLiteral("Eksport nie jest możliwy - nie podano prawidłowej nazwy pliku wynikowego")});
    EXPECT_EQ(picker.actionButton()->text(), QStringLiteral("eksportuj"));
    EXPECT_EQ(QFileInfo(picker.selectedFile()).fileName(), QStringLiteral("wykaz.xml"));
    EXPECT_TRUE(QFileInfo(picker.selectedFile()).isAbsolute());

    picker.setNameRowVisible(false);
    EXPECT_TRUE(picker.nameField()->isHidden());
}

// A FIFO or a device named in the picker would keep the window that opens it waiting: it is refused on the spot.
TEST(FilePicker, RefusesAFifoOrADeviceAndTakesALinkToAFile)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("wykaz.xml")));
    vestrum::testing::Fifo fifo(dir.filePath(QStringLiteral("potok.xml")));
    ASSERT_TRUE(fifo.made());
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("wykaz.xml")), dir.filePath(QStringLiteral("skrot.xml"))));
    TestProgram test;
    FilePicker picker(test.program);
    picker.configure(QStringLiteral("Wskaż zbiór do importu"), QStringLiteral("*.xml"), QStringLiteral("wczytaj"), true);
    picker.setFolder(dir.path());
    const QString refusal = QStringLiteral("Plik %1 nie jest zwykłym plikiem.");
    whenShown(&picker, [&] {
        for (const QString& special : { QStringLiteral("potok.xml"), QStringLiteral("/dev/null") }) {
            vestrum::testing::typeOver(picker.nameField(), special);
            QTest::keyClick(picker.nameField(), Qt::Key_Tab);
            picker.actionButton()->setFocus();
            QTest::keyClick(picker.actionButton(), Qt::Key_Space);
            EXPECT_TRUE(picker.isVisible());
        }
        vestrum::testing::typeOver(picker.nameField(), QStringLiteral("skrot.xml"));
        picker.actionButton()->setFocus();
        QTest::keyClick(picker.actionButton(), Qt::Key_Space);
    });
    EXPECT_TRUE(picker.choose());
    EXPECT_EQ(test.messages.texts, (QStringList { refusal.arg(QDir(picker.folder()).filePath(QStringLiteral("potok.xml"))),
                                       refusal.arg(QStringLiteral("/dev/null")) }));
    EXPECT_EQ(picker.fileName(), QStringLiteral("skrot.xml"));
    EXPECT_FALSE(fifo.rescued());
}

// Every place the chooser lists can be shown, the whole file system too, although it holds the
// home folder the picker starts in.
TEST(FilePicker, EveryPlaceOfTheChooserCanBeReachedFromTheKeyboard)
{
    TestProgram test;
    FilePicker picker(test.program);
    picker.show();
    picker.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&picker));
    QComboBox* places = picker.placeChooser();
    picker.setFolder(QDir::homePath());
    places->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), places);
    for (int i = places->currentIndex(); i + 1 < places->count(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(places->currentIndex(), i + 1);
        EXPECT_EQ(picker.folder(), places->itemData(i + 1).toString());
    }
    for (int i = places->currentIndex(); i > 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        EXPECT_EQ(picker.folder(), places->itemData(i - 1).toString());
    }
}

namespace {

// Types `text` a key at a time on whatever has the focus then, as the focus may move while typing.
void typeOnFocused(const QString& text)
{
    for (const QChar ch : text)
        typeKeys(QApplication::focusWidget(), QString(ch));
}

// A folder outside the home folder with data files to import, and an empty one beside.
struct PickerFolders {
    QTemporaryDir dir;
    QString data = dir.filePath(QStringLiteral("dane"));
    QString empty = dir.filePath(QStringLiteral("pusty"));
    PickerFolders()
    {
        QDir().mkpath(data);
        QDir().mkpath(empty);
        writeFile(data + QStringLiteral("/wykaz.xml"));
        writeFile(data + QStringLiteral("/notatki.txt"));
    }
};

QString canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

} // namespace

// Keys only: a path typed on the tree opens its folder, letters pick the file in the list with the
// focus, Enter on it chooses it.
TEST(FilePicker, AFileOutsideTheHomeFolderIsChosenWithKeysAlone)
{
    PickerFolders folders;
    TestProgram test;
    FilePicker picker(test.program);
    picker.configure(QStringLiteral("Wskaż zbiór do importu"), QStringLiteral("*.xml"), QStringLiteral("importuj"),
                     false, QString());
    picker.show();
    ASSERT_TRUE(vestrum::testing::bringToFront(&picker));
    ASSERT_GT(vestrum::testing::tabUntil(picker.folderTree()), 0);
    typeOnFocused(folders.data.left(1));
    EXPECT_EQ(QApplication::focusWidget(), picker.nameField()) << "the path is typed in the name row";
    EXPECT_TRUE(picker.nameField()->isVisible());
    typeOnFocused(folders.data.mid(1));
    vestrum::testing::pressKey(Qt::Key_Return);
    EXPECT_EQ(canonical(picker.folder()), canonical(folders.data));
    EXPECT_FALSE(picker.nameField()->isVisible()) << "shown for the path only";
    EXPECT_EQ(QApplication::focusWidget(), picker.fileList());
    auto* model = picker.fileList()->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(picker.fileList()->rootIndex()) == 1; }, 3000));
    typeOnFocused(QStringLiteral("wy"));
    vestrum::testing::pressKey(Qt::Key_Return);
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_EQ(canonical(picker.selectedFile()), canonical(folders.data + QStringLiteral("/wykaz.xml")));
    EXPECT_TRUE(test.messages.texts.isEmpty()) << test.messages.texts.join(u'|').toStdString();
}

// The folder tree: Right opens a folder, the arrows show the folder they reach, Backspace goes up,
// Enter opens; Enter with no file chosen for an import says so, not the export's refusal.
TEST(FilePicker, FoldersOpenAndCloseByKeysAndAnImportWithoutAFileSaysSo)
{
    PickerFolders folders;
    TestProgram test;
    FilePicker picker(test.program);
    picker.configure(QStringLiteral("Wskaż zbiór do importu"), QStringLiteral("*.xml"), QStringLiteral("importuj"),
                     false, QString());
    picker.setFolder(folders.dir.path());
    picker.show();
    ASSERT_TRUE(vestrum::testing::bringToFront(&picker));
    QTreeView* tree = picker.folderTree();
    ASSERT_GT(vestrum::testing::tabUntil(tree), 0);
    vestrum::testing::pressKey(Qt::Key_Right);
    EXPECT_TRUE(tree->isExpanded(tree->currentIndex()));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QModelIndex folder = tree->currentIndex();
        return tree->model()->rowCount(folder) == 2
            && tree->model()->index(0, 0, folder).data().toString() == QStringLiteral("dane");
    }, 3000)) << "the folders are listed by name";
    vestrum::testing::pressKey(Qt::Key_Down);
    EXPECT_EQ(canonical(picker.folder()), canonical(folders.data)) << "the folder reached shows its files";
    EXPECT_FALSE(tree->isExpanded(tree->currentIndex())) << "walking past a folder does not open it";
    vestrum::testing::pressKey(Qt::Key_Backspace);
    EXPECT_EQ(canonical(picker.folder()), canonical(folders.dir.path()));
    EXPECT_EQ(QApplication::focusWidget(), tree);
    vestrum::testing::pressKey(Qt::Key_Down);
    vestrum::testing::pressKey(Qt::Key_Down);
    EXPECT_EQ(canonical(picker.folder()), canonical(folders.empty));
    vestrum::testing::pressKey(Qt::Key_Return);
    EXPECT_TRUE(picker.isVisible()) << "Enter on a folder opens it and chooses nothing";
    EXPECT_TRUE(test.messages.texts.isEmpty()) << test.messages.texts.join(u'|').toStdString();

    ASSERT_GT(vestrum::testing::tabUntil(picker.actionButton()), 0);
    vestrum::testing::pressKey(Qt::Key_Return);
    EXPECT_TRUE(picker.isVisible());
    EXPECT_EQ(test.messages.texts, QStringList{QStringLiteral("Nie wskazano zbioru - wybierz go z listy zbiorów.")});
}

TEST(HelpWindow, EscClosesIt)
{
    QTemporaryDir dir;
    RunState state;
    state.ProgramFolder = dir.path() + QLatin1Char('/');
    HelpWindow help(state);
    help.showHelp();
    ASSERT_TRUE(vestrum::testing::bringToFront(&help));
    vestrum::testing::pressKey(Qt::Key_Escape);
    EXPECT_FALSE(help.isVisible());
}

TEST(HelpWindow, OpensTheStartPageAndSaysSoWhenItIsMissing)
{
    QTemporaryDir dir;
    RunState state;
    state.ProgramFolder = dir.path() + QLatin1Char('/');
    HelpWindow help(state);
    help.showHelp();
    EXPECT_TRUE(help.isVisible());
    EXPECT_TRUE(help.browser()->toPlainText().contains(QStringLiteral("Nie odnaleziono stron pomocy")));

    QDir(dir.path()).mkdir(QStringLiteral("pomoc"));
    writeFile(state.ProgramFolder + QStringLiteral("pomoc/index.html"),
              QStringLiteral("<html><body><p>Spis treści</p><a href=\"druga.html\">dalej</a></body></html>").toUtf8());
    writeFile(state.ProgramFolder + QStringLiteral("pomoc/druga.html"), "<html><body><p>Druga strona</p></body></html>");
    help.showHelp();
    EXPECT_TRUE(help.browser()->toPlainText().contains(QStringLiteral("Spis treści")));
    help.browser()->setSource(QUrl(QStringLiteral("druga.html")));
    EXPECT_TRUE(help.browser()->toPlainText().contains(QStringLiteral("Druga strona")));
    EXPECT_TRUE(help.backwardButton()->isEnabled());

    help.closeHelp();
    EXPECT_FALSE(help.isVisible());
}

// Every page of the program's help is reachable: links between the pages name files that exist.
TEST(HelpWindow, PagesOfTheProgramLinkToExistingPages)
{
    const QDir pomoc(QStringLiteral(VESTRUM_FIXTURES "/../../pomoc"));
    ASSERT_TRUE(pomoc.exists(QStringLiteral("index.html")));
    const QRegularExpression href(QStringLiteral("href=\"([^\"#:]+)(#[^\"]*)?\""));
    int links = 0;
    for (const QString& page : pomoc.entryList({QStringLiteral("*.html")})) {
        QFile f(pomoc.filePath(page));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        EXPECT_TRUE(html.contains(QStringLiteral("charset=\"utf-8\""), Qt::CaseInsensitive)
                    || html.contains(QStringLiteral("charset=utf-8"), Qt::CaseInsensitive))
            << qPrintable(page);
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(pomoc.exists(target)) << qPrintable(page + QStringLiteral(" -> ") + target);
            ++links;
        }
    }
    EXPECT_GT(links, 5);
}
