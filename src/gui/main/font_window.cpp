#include "gui/main/font_window.h"

#include "gui/common/user_font.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace vestrum {
namespace {

// Marks a list as worked by the user: only his clicks and keys choose an entry. A list getting the
// focus with nothing selected moves to its first entry by itself, which must not change the font.
constexpr char kUserChoosing[] = "userChoosing";

class UserChoiceWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)
            parent()->setProperty(kUserChoosing, true);
        return QObject::eventFilter(watched, event);
    }
};

// Selects the entry reading `text` without copying it anywhere; with no such entry nothing stays
// selected.
void selectEntry(QListWidget* list, const QString& text)
{
    list->setProperty(kUserChoosing, false);
    const QSignalBlocker blocker(list);
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchFixedString);
    if (found.isEmpty()) {
        list->setCurrentRow(-1);
        list->clearSelection();
        return;
    }
    list->setCurrentItem(found.first());
    list->scrollToItem(found.first(), QAbstractItemView::PositionAtCenter);
}

// A list entry chosen by the user is copied into its field; losing the selection keeps the field.
void copyChoiceInto(QListWidget* list, QLineEdit* field)
{
    auto* watcher = new UserChoiceWatcher(list);
    list->installEventFilter(watcher);
    list->viewport()->installEventFilter(watcher);
    QObject::connect(list, &QListWidget::currentTextChanged, field, [list, field](const QString& text) {
        if (!text.isEmpty() && list->property(kUserChoosing).toBool())
            field->setText(text);
    });
}

// The installed family a font name stands for: the name itself, or the font the system puts in
// its place when no font of that name is installed ("Arial" shown in Liberation Sans).
QString installedFamily(const QString& name)
{
    if (QFontDatabase::families().contains(name, Qt::CaseInsensitive))
        return name;
    return QFontInfo(QFont(name)).family();
}

} // namespace

FontWindow::FontWindow(UserFontSpec& userFont, QWidget* parent)
    : QDialog(parent), userFont_(&userFont), fonts_(new QListWidget(this)), sizes_(new QListWidget(this)),
      name_(new QLineEdit(this)), size_(new QLineEdit(this)),
      apply_(new QPushButton(QStringLiteral("zastosuj"), this)), back_(new QPushButton(QStringLiteral("wróć"), this))
{
    setObjectName(QStringLiteral("f_setfont"));
    setWindowTitle(QStringLiteral("Wybierz czcionkę"));
    fonts_->addItems(QFontDatabase::families());
    for (int size = 8; size <= 16; ++size)
        sizes_->addItem(QString::number(size));
    name_->setReadOnly(true);
    size_->setReadOnly(true);
    copyChoiceInto(fonts_, name_);
    copyChoiceInto(sizes_, size_);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Czcionka:"), this), 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Rozmiar:"), this), 0, 2);
    grid->addWidget(name_, 1, 0, 1, 2);
    grid->addWidget(size_, 1, 2);
    grid->addWidget(fonts_, 2, 0, 1, 2);
    grid->addWidget(sizes_, 2, 2);
    // Equal halves put the buttons 4 pixels left and right of the middle.
    auto* buttons = new QGridLayout;
    buttons->setHorizontalSpacing(8);
    buttons->addWidget(apply_, 0, 0, Qt::AlignRight);
    buttons->addWidget(back_, 0, 1, Qt::AlignLeft);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(2, 1);
    resize(460, 360);

    apply_->setDefault(true);
    connect(apply_, &QPushButton::clicked, this, &FontWindow::applyChoice);
    connect(back_, &QPushButton::clicked, this, &QDialog::reject);
}

bool FontWindow::chooseFont()
{
    return exec() == QDialog::Accepted;
}

void FontWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, *userFont_);
    RelayoutWindow(this);
    showUserFont();
    QDialog::showEvent(event);
}

void FontWindow::showUserFont()
{
    name_->setText(userFont_->name);
    size_->setText(QString::number(userFont_->size));
    selectEntry(fonts_, installedFamily(userFont_->name));
    selectEntry(sizes_, size_->text());
    // Every size in view, "8" included, whatever the font.
    sizes_->setMinimumHeight(sizes_->count() * sizes_->sizeHintForRow(0) + 2 * sizes_->frameWidth() + 2);
    sizes_->scrollToTop();
    if (sizes_->currentItem())
        sizes_->scrollToItem(sizes_->currentItem());
    resize(size().expandedTo(sizeHint()));
}

// Without a usable name and size the window stays open and the font stays as it was.
void FontWindow::applyChoice()
{
    bool ok = false;
    const int size = size_->text().trimmed().toInt(&ok);
    if (!ok || size <= 0 || name_->text().trimmed().isEmpty())
        return;
    *userFont_ = {name_->text().trimmed(), size};
    accept();
}

} // namespace vestrum
