#include "gui/lists/duplicate_choice_window.h"

#include "base/error.h"
#include "gui/common/user_font.h"
#include "gui/lists/list_editor.h"
#include "lists/list_catalogue.h"
#include "program/program.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vestrum {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QTableWidgetItem* textItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QString placeText(const lists::PublicationPlace& place)
{
    return S("%1, wiersz %2").arg(lists::PublicationListName(place.kind)).arg(place.row + 1);
}

} // namespace

DuplicateChoiceWindow::DuplicateChoiceWindow(Program& program, QWidget* parent)
    : QDialog(parent)
    , program_(program)
    , notice_(new QLabel(this))
    , table_(new QTableWidget(this))
    , add_(new QPushButton(S("dodaj"), this))
    , cancel_(new QPushButton(S("anuluj"), this))
{
    setObjectName(QStringLiteral("f_duplikaty"));
    setWindowTitle(S("Możliwe duplikaty publikacji"));
    notice_->setWordWrap(true);
    notice_->setText(S("Te pozycje mogą powtarzać publikacje, które już są w ankiecie (albo siebie nawzajem) - "
                       "każda byłaby liczona dwa razy. Zaznaczone pozycje zostaną pominięte, "
                       "pozostałe zostaną dodane."));
    table_->setColumnCount(5);
    table_->setHorizontalHeaderLabels(
        { S("pomiń"), S("Tytuł"), S("Rok"), S("dodawana jako"), S("ta sama publikacja w") });
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    add_->setDefault(true);
    connect(add_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(add_);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(notice_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
}

std::optional<std::vector<lists::ProbableDuplicate>> DuplicateChoiceWindow::choose(
    const std::vector<lists::ProbableDuplicate>& found)
{
    shown_ = found;
    table_->setRowCount(static_cast<int>(found.size()));
    for (int r = 0; r < static_cast<int>(found.size()); ++r) {
        const lists::ProbableDuplicate& d = found[static_cast<size_t>(r)];
        auto* tick = new QTableWidgetItem();
        tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        tick->setCheckState(Qt::Checked);
        table_->setItem(r, 0, tick);
        table_->setItem(r, 1, textItem(d.title));
        table_->setItem(r, 2, textItem(d.year));
        table_->setItem(r, 3, textItem(placeText(d.later)));
        table_->setItem(r, 4, textItem(placeText(d.earlier)));
    }
    table_->setCurrentCell(0, 0);
    table_->setFocus();
    // A merge asks while its caller shows the busy pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = exec();
    QApplication::restoreOverrideCursor();
    if (result != QDialog::Accepted)
        return std::nullopt;
    std::vector<lists::ProbableDuplicate> leftOut;
    for (int r = 0; r < table_->rowCount(); ++r)
        if (table_->item(r, 0)->checkState() == Qt::Checked)
            leftOut.push_back(shown_[static_cast<size_t>(r)]);
    return leftOut;
}

void DuplicateChoiceWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    QDialog::showEvent(event);
    const QFontMetrics metrics(font());
    resize(std::max(width(), metrics.averageCharWidth() * 110),
        std::max(height(), metrics.height() * (std::min(table_->rowCount(), 12) + 9)));
}

lists::PublicationLists EditorPublications(Program& program, const ListEditor& editor)
{
    lists::PublicationLists publications;
    if (program.survey.isOpen())
        publications = lists::ReadPublicationLists(program.survey);
    publications[editor.kind()] = editor.list().rows();
    return publications;
}

std::optional<std::vector<QStringList>> RowsAfterDuplicateChoice(
    Program& program, ListEditor& editor, const std::vector<QStringList>& rows, bool replacesList)
{
    if (!lists::IsPublicationKind(editor.kind()))
        return rows;
    std::vector<lists::ProbableDuplicate> found;
    try {
        found = lists::FindIncomingDuplicates(EditorPublications(program, editor), editor.kind(), rows, replacesList);
    } catch (const Error& e) {
        program.notify(e.message(), 0, MessageKind::Error);
        return std::nullopt;
    }
    if (found.empty())
        return rows;
    DuplicateChoiceWindow window(program, &editor);
    const std::optional<std::vector<lists::ProbableDuplicate>> leftOut = window.choose(found);
    if (!leftOut)
        return std::nullopt;
    return lists::WithoutDuplicates(rows, *leftOut);
}

} // namespace vestrum
