#include "gui/files/load_data_window.h"

#include "gui/common/keyboard_rules.h"
#include "program/volumes.h"

#include "program/program.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"

#include <QEvent>
#include <QMouseEvent>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QVBoxLayout>

namespace vestrum {
namespace {

bool readableFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

constexpr int kPathRole = Qt::UserRole;

} // namespace

// ------------------------------------------------------------------------------------------------------------
// DataFileBrowser

DataFileBrowser::DataFileBrowser(QWidget* parent)
    : QWidget(parent), drives_(new QComboBox(this)), path_(new QLabel(this)), folders_(new QListWidget(this)),
      files_(new QListWidget(this))
{
    drives_->setObjectName(QStringLiteral("DriveComboBox"));
    InstallKeyboardRules();
    folders_->setObjectName(QStringLiteral("DirectoryListBox"));
    files_->setObjectName(QStringLiteral("FileListBox"));
    path_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(drives_);
    layout->addWidget(path_);
    layout->addWidget(folders_, 1);
    layout->addWidget(files_, 1);

    QObject::connect(drives_, &QComboBox::activated, this, [this](int index) { chooseDrive(index); });
    // A folder opens on a single click, as in the file picker's tree (see eventFilter), or on Enter.
    QObject::connect(folders_, &QListWidget::itemActivated, this,
                     [this](QListWidgetItem* item) { folderActivated(item); });
    folders_->viewport()->installEventFilter(this);
    QObject::connect(files_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (onFileClicked)
            onFileClicked(item->text());
    });
    QObject::connect(files_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (onFileActivated)
            onFileActivated(QDir(folder_).filePath(item->text()));
    });
    // The drives and the folder are read when the browser is first shown or given a folder, not while the
    // program starts: the data windows are made at start, and reading for each held up the main window.
    folder_ = QDir::cleanPath(QDir::homePath());
}

void DataFileBrowser::showEvent(QShowEvent* event)
{
    if (!filled_)
        setFolder(folder_);
    QWidget::showEvent(event);
}

void DataFileBrowser::refreshDrives()
{
    drivesFilled_ = true;
    const QSignalBlocker block(drives_);
    drives_->clear();
    for (const Place& place : UserPlaces()) {
        const auto icon = place.home ? QStyle::SP_DirHomeIcon : QStyle::SP_DriveHDIcon;
        drives_->addItem(style()->standardIcon(icon), place.label, place.root);
    }
    selectDriveOfFolder();
}

void DataFileBrowser::setMask(const QString& mask)
{
    mask_ = mask;
    if (filled_)
        fillFiles();
}

void DataFileBrowser::setFolder(const QString& path)
{
    if (!drivesFilled_)
        refreshDrives();
    filled_ = true;
    QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    if (clean.isEmpty() || !readableFolder(clean))
        clean = QDir::homePath();
    folder_ = clean;
    path_->setText(QDir::toNativeSeparators(folder_));
    fillFolders();
    fillFiles();
    selectDriveOfFolder();
}

QString DataFileBrowser::folder() const
{
    return folder_;
}

QString DataFileBrowser::selectedFile() const
{
    const QListWidgetItem* item = files_->currentItem();
    if (item == nullptr || !item->isSelected())
        return QString();
    return QDir(folder_).filePath(item->text());
}

void DataFileBrowser::chooseDrive(int index)
{
    const QString root = drives_->itemData(index).toString();
    if (!readableFolder(root)) {
        if (onDriveUnavailable)
            onDriveUnavailable();
        selectDriveOfFolder();
        return;
    }
    if (index != drives_->currentIndex()) {
        const QSignalBlocker block(drives_);
        drives_->setCurrentIndex(index);
    }
    setFolder(root);
}

void DataFileBrowser::selectDriveOfFolder()
{
    // The place whose root holds the folder in view, the deepest one when several do.
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < drives_->count(); ++i) {
        const QString root = drives_->itemData(i).toString();
        if (isInsideFolder(folder_, root) && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QSignalBlocker block(drives_);
    drives_->setCurrentIndex(best);
}

void DataFileBrowser::fillFolders()
{
    folders_->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The way down from the root, one step of indentation per level, then the subfolders one step further.
    QStringList chain;
    for (QDir dir(folder_);;) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& step : chain) {
        const QString name = QDir(step).isRoot() ? QDir::toNativeSeparators(step) : QFileInfo(step).fileName();
        auto* item = new QListWidgetItem(open, QString(QString(depth * 3, u' ') + name), folders_);
        item->setData(kPathRole, step);
        ++depth;
    }
    folders_->setCurrentRow(folders_->count() - 1);
    const QDir dir(folder_);
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto* item = new QListWidgetItem(closed, QString(QString(depth * 3, u' ') + sub), folders_);
        item->setData(kPathRole, dir.filePath(sub));
    }
}

void DataFileBrowser::fillFiles()
{
    files_->clear();
    const QStringList masks = mask_.split(u';', Qt::SkipEmptyParts);
    for (const QString& name : QDir(folder_).entryList(masks, QDir::Files, QDir::Name | QDir::IgnoreCase))
        files_->addItem(name);
    files_->setCurrentRow(-1);
}

// Opening the folder in view again reads it again: a file added meanwhile shows.
void DataFileBrowser::folderActivated(QListWidgetItem* item)
{
    if (item)
        setFolder(item->data(kPathRole).toString());
}

// The left button opens the folder under it as it goes down. The list is refilled at once, so the
// rest of that click, and the second click of a habitual double click, would land on another
// folder: they are swallowed.
bool DataFileBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != folders_->viewport())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonDblClick)
        return true;
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        folders_->setFocus(Qt::MouseFocusReason);
        folderActivated(folders_->itemAt(mouse->position().toPoint()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ------------------------------------------------------------------------------------------------------------
// LoadDataWindow

LoadDataWindow::LoadDataWindow(Program& program, QWidget* parent)
    : QDialog(parent), program_(program), browser_(new DataFileBrowser(this)),
      load_(new QPushButton(QStringLiteral("wczytaj"), this)), back_(new QPushButton(QStringLiteral("wróć"), this))
{
    setObjectName(QStringLiteral("f_import"));
    setWindowTitle(QStringLiteral("Wczytaj dane za rok"));
    setModal(true);

    auto* text = new QLabel(
        QStringLiteral("Wybierz położenie wczytywanych danych (skompresowane zbiory o rozszerzeniu .naj)"), this);
    text->setWordWrap(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(load_);
    buttons->addWidget(back_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(browser_, 1);
    layout->addLayout(buttons);
    resize(440, 520);

    browser_->onDriveUnavailable = [this] { program_.notify(QStringLiteral("Dysk jest niedostępny"), 0, MessageKind::Error); };
    browser_->onFileActivated = [this](const QString&) { wczytaj(); };
    connect(load_, &QPushButton::clicked, this, &LoadDataWindow::wczytaj);
    connect(back_, &QPushButton::clicked, this, &QDialog::reject);
}

void LoadDataWindow::setMask(const QString& mask)
{
    browser_->setMask(mask);
}

bool LoadDataWindow::run()
{
    const QString current = program_.state.CurrentDataFile;
    if (!current.isEmpty())
        browser_->setFolder(QFileInfo(current).absolutePath());
    else
        browser_->setFolder(browser_->folder());
    return exec() == QDialog::Accepted;
}

void LoadDataWindow::wczytaj()
{
    const QString path = browser_->selectedFile();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        program_.notify(QStringLiteral("Dane nie mogą zostać wczytane - nie wskazano skompresowanego zbioru z danymi "
                                       "lub zbiór nie istnieje."),
                        0, MessageKind::Warning);
        return;
    }
    if (load)
        load(path);
    accept();
}

void LoadDataWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    centreOnOwner(this); // every time, never where the window manager put it last
    QDialog::showEvent(event);
}

} // namespace vestrum
