#include "gui/common/file_picker.h"

#include "base/file_modes.h"
#include "gui/common/keyboard_rules.h"
#include "program/volumes.h"

#include "program/program.h"
#include "gui/common/user_font.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

namespace vestrum {

FilePicker::FilePicker(Program& program, QWidget* parent)
    : QDialog(parent), program_(&program), folderModel_(new QFileSystemModel(this)),
      fileModel_(new QFileSystemModel(this)), places_(new QComboBox(this)),
      splitter_(new QSplitter(Qt::Vertical, this)), tree_(new QTreeView(splitter_)),
      files_(new QListView(splitter_)), nameLabel_(new QLabel(QStringLiteral("Zbiór:"), this)),
      name_(new QLineEdit(QStringLiteral("*.*"), this)),
      action_(new QPushButton(QStringLiteral("wczytaj"), this)), back_(new QPushButton(QStringLiteral("wróć"), this))
{
    setObjectName(QStringLiteral("f_otworz"));
    InstallKeyboardRules();
    setWindowTitle(QStringLiteral("Wskaż zbiór"));

    folderModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    // In the order of their names, so the arrows go through them as a person reads them.
    folderModel_->sort(0, Qt::AscendingOrder);
    tree_->setModel(folderModel_);
    for (int column = 1; column < folderModel_->columnCount(); ++column)
        tree_->hideColumn(column);
    tree_->header()->hide();

    fileModel_->setFilter(QDir::Files);
    fileModel_->sort(0, Qt::AscendingOrder);
    fileModel_->setNameFilterDisables(false); // files not matching the mask are left out, not greyed
    files_->setModel(fileModel_);
    splitter_->setChildrenCollapsible(false);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(places_);
    layout->addWidget(splitter_, 1);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(nameLabel_);
    nameRow->addWidget(name_, 1);
    layout->addLayout(nameRow);
    // Equal halves put the buttons 4 pixels left and right of the middle.
    auto* buttons = new QGridLayout;
    buttons->setHorizontalSpacing(8);
    buttons->addWidget(action_, 0, 0, Qt::AlignRight);
    buttons->addWidget(back_, 0, 1, Qt::AlignLeft);
    layout->addLayout(buttons);
    resize(520, 560);

    connect(places_, &QComboBox::activated, this, &FilePicker::placeChosen);
    connect(tree_, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { openFolder(folderModel_->filePath(index)); });
    // A folder reached by the arrows or by typing its name shows its files at once.
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (index.isValid() && folderModel_->filePath(index) != folder_)
            showFolder(folderModel_->filePath(index));
    });
    tree_->installEventFilter(this);
    files_->installEventFilter(this);
    name_->installEventFilter(this);
    connect(files_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (index.isValid())
            name_->setText(fileModel_->fileName(index));
    });
    connect(files_, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && !refusedSpecialFile())
            accept();
    });
    connect(action_, &QPushButton::clicked, this, &FilePicker::confirm);
    connect(back_, &QPushButton::clicked, this, &QDialog::reject);
    // The places and the home folder are read when the window is first wanted, not while the program starts:
    // several windows keep a picker, and reading the drives and the home folder for each held up the first
    // picture of the main window.
}

void FilePicker::fillPlaces()
{
    placesFilled_ = true;
    places_->clear();
    for (const Place& place : UserPlaces())
        places_->addItem(place.label, place.root);
}

void FilePicker::placeChosen(int index)
{
    // The place already shown keeps its folder; any other one is opened at its root, even when it
    // holds the folder shown (the whole file system holds the home folder).
    const QString root = places_->itemData(index).toString();
    if (!root.isEmpty() && index != placeIndex_)
        setFolder(root);
    else
        setFolder(folder_);
}

void FilePicker::configure(const QString& caption, const QString& mask, const QString& actionCaption,
                          bool showNameRow, const QString& fileName)
{
    setWindowTitle(caption);
    setMask(mask);
    setActionCaption(actionCaption);
    setNameRowVisible(showNameRow);
    setFileName(fileName);
}

void FilePicker::setMask(const QString& mask)
{
    QStringList masks = mask.split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts);
    if (masks.isEmpty())
        masks = {QStringLiteral("*")};
    fileModel_->setNameFilters(masks);
}

void FilePicker::setActionCaption(const QString& caption)
{
    action_->setText(caption);
}

void FilePicker::setNameRowVisible(bool visible)
{
    nameLabel_->setVisible(visible);
    name_->setVisible(visible);
}

void FilePicker::setFileName(const QString& name)
{
    name_->setText(name);
}

// The place chooser follows the folder: the innermost place holding it is selected.
void FilePicker::setFolder(const QString& path)
{
    if (!placesFilled_)
        fillPlaces();
    QString target = QDir::cleanPath(QDir(path).absolutePath());
    if (!QDir(target).exists())
        target = QDir::homePath();
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < places_->count(); ++i) {
        const QString root = places_->itemData(i).toString();
        if (isInsideFolder(target, root) && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QString root = best >= 0 ? places_->itemData(best).toString() : QDir::rootPath();
    {
        const QSignalBlocker blocker(places_);
        places_->setCurrentIndex(best);
    }
    placeIndex_ = best;
    folderModel_->setRootPath(root);
    tree_->setRootIndex(folderModel_->index(root));
    showFolder(target);
}

void FilePicker::showFolder(const QString& path)
{
    folder_ = path;
    const QModelIndex index = folderModel_->index(path);
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    files_->setRootIndex(fileModel_->setRootPath(path));
    files_->clearSelection();
    files_->setCurrentIndex({});
}

void FilePicker::openFolder(const QString& path)
{
    showFolder(path);
    tree_->expand(folderModel_->index(path));
}

void FilePicker::goUp()
{
    QDir dir(folder_);
    if (dir.cdUp())
        setFolder(dir.absolutePath());
}

// Keys on the folder tree or the file list. Enter on them is theirs: the action button, which Enter
// would otherwise press, asks for a file name only in the name row.
bool FilePicker::keyOnList(QAbstractItemView* list, const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const QModelIndex current = list->currentIndex();
    const bool enter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier;
    if (list == tree_ && current.isValid()
        && (enter || (key->key() == Qt::Key_Right && mods == Qt::NoModifier && !tree_->isExpanded(current)))) {
        openFolder(folderModel_->filePath(current));
        return true;
    }
    if (list == files_ && enter) {
        if (current.isValid())
            files_->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
        confirm();
        return true;
    }
    if (key->key() == Qt::Key_Backspace && mods == Qt::NoModifier) {
        goUp();
        return true;
    }
    if (key->text().startsWith(u'/') || key->text().startsWith(u'~')) {
        startTypedPath(key->text());
        return true;
    }
    return false;
}

void FilePicker::startTypedPath(const QString& typed)
{
    if (name_->isHidden()) {
        nameRowForPath_ = true;
        setNameRowVisible(true);
    }
    name_->setFocus(Qt::OtherFocusReason);
    name_->setText(typed);
    name_->deselect();
}

// A path typed in the name row: a folder opens, an existing file is chosen; a new file's name in
// an existing folder is left for the action button. True when the path was dealt with here.
bool FilePicker::openTypedPath()
{
    QString path = name_->text().trimmed();
    if (path.isEmpty() || path.contains(u'*'))
        return false;
    if (path == u'~' || path.startsWith(QStringLiteral("~/")))
        path = QDir::homePath() + path.mid(1);
    const QFileInfo info(QDir(folder_).absoluteFilePath(path));
    if (info.isDir()) {
        setFolder(info.absoluteFilePath());
        name_->clear();
        if (nameRowForPath_) {
            nameRowForPath_ = false;
            setNameRowVisible(false);
            files_->setFocus(Qt::OtherFocusReason);
        }
        return true;
    }
    if (info.exists() || (!nameRowForPath_ && info.dir().exists() && path.contains(u'/'))) {
        setFolder(info.absolutePath());
        name_->setText(info.fileName());
        if (!info.exists())
            return false; // a new file to be written there
        typedFile_ = info.absoluteFilePath();
        accept();
        return true;
    }
    if (!nameRowForPath_)
        return false;
    program_->ProgramMessage(QStringLiteral("Nie ma takiego zbioru ani folderu: %1").arg(path), MessageKind::Warning);
    return true;
}

bool FilePicker::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == tree_ || watched == files_)
        return keyOnList(static_cast<QAbstractItemView*>(watched), key) || QDialog::eventFilter(watched, event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (watched == name_ && enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!openTypedPath())
            confirm();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool FilePicker::choose()
{
    return exec() == QDialog::Accepted;
}

QString FilePicker::folder() const
{
    return folder_.isEmpty() ? homeFolder() : folder_;
}

QString FilePicker::homeFolder()
{
    return QDir::cleanPath(QDir(QDir::homePath()).absolutePath());
}

QString FilePicker::fileName() const
{
    return name_->text();
}

QString FilePicker::selectedFile() const
{
    if (!typedFile_.isEmpty())
        return typedFile_;
    const QModelIndex index = files_->currentIndex();
    if (!index.isValid() || !files_->selectionModel()->isSelected(index))
        return {};
    return fileModel_->filePath(index);
}

void FilePicker::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_->state.UserFont);
    RelayoutWindow(this);
    const int half = std::max(splitter_->height() / 2, 1);
    splitter_->setSizes({half, half});
    if (folder_.isEmpty())
        setFolder(homeFolder()); // opened for the first time without a folder of its caller's
    showFolder(folder_); // the folder may have changed since the window was last open
    typedFile_.clear();
    if (nameRowForPath_) {
        nameRowForPath_ = false;
        setNameRowVisible(false);
    }
    QDialog::showEvent(event);
}

// A name with "*" is still the mask, not a file the caller could write or read. Without the name
// row the file is the one chosen in the list.
void FilePicker::confirm()
{
    const bool namedInRow = !name_->isHidden() && !nameRowForPath_;
    if (namedInRow && name_->text().contains(QLatin1Char('*'))) {
        program_->ProgramMessage(
            QStringLiteral("Eksport nie jest możliwy - nie podano prawidłowej nazwy pliku wynikowego"),
            MessageKind::Warning);
        return;
    }
    if (!namedInRow && selectedFile().isEmpty()) {
        program_->ProgramMessage(QStringLiteral("Nie wskazano zbioru - wybierz go z listy zbiorów."),
                                 MessageKind::Warning);
        return;
    }
    if (refusedSpecialFile())
        return;
    accept();
}

// A FIFO or a device would keep whoever opens it waiting: only regular files (and links to them) are handed over.
bool FilePicker::refusedSpecialFile()
{
    const QString typed = name_->text().trimmed();
    for (const QString& path : {selectedFile(), typed.isEmpty() ? QString() : QDir(folder_).filePath(typed)}) {
        if (isSpecialFile(path)) {
            program_->ProgramMessage(specialFileMessage(path), MessageKind::Error);
            return true;
        }
    }
    return false;
}

} // namespace vestrum
