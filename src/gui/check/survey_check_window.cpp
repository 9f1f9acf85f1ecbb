#include "gui/check/survey_check_window.h"

#include "base/error.h"
#include "gui/common/user_font.h"
#include "gui/lists/list_editor.h"
#include "gui/main/main_window.h"
#include "gui/main/section_page.h"
#include "lists/list_catalogue.h"
#include "program/program.h"
#include "survey/form_catalogue.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vestrum {
namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

constexpr int kFindingRole = Qt::UserRole; // index into the findings, -1 on a section row

enum Column { SeverityColumn, PlaceColumn, RowColumn, FieldColumn, MessageColumn, ColumnCount };

QString countsText(int errors, int warnings)
{
    return S("błędy: %1, ostrzeżenia: %2").arg(errors).arg(warnings);
}

// A long caption cut to `length` characters, so the counts after it stay in view.
QString shortened(const QString& text, int length)
{
    const QString trimmed = text.simplified();
    return trimmed.size() <= length ? trimmed : trimmed.left(length - 1).trimmed() + QChar(0x2026);
}

// Where in its section a finding is: the list's point, or the sub-page of a field.
QString placeInSection(const check::Finding& finding)
{
    if (finding.listKind >= 0) {
        const lists::ListKindInfo& info = lists::ListKindInfoOf(finding.listKind);
        if (!info.point.isEmpty())
            return S("wykaz ") + info.point;
        return S("wykaz: ") + shortened(lists::ListTitle(finding.listKind), 40);
    }
    const form::PageRef ref = form::PageOfControl(finding.control);
    return ref.page && !ref.page->title.isEmpty() ? ref.page->title : S("strona sekcji");
}

// The catalogue page of the list button or the grid that opens a list kind.
form::PageRef pageOfList(int kind)
{
    for (const form::Section& section : form::FormCatalogue())
        for (const form::Page& page : section.pages)
            for (const form::Row& row : page.rows)
                for (const form::Control& control : row.controls)
                    if (control.listKind == kind
                        && (control.kind == form::ControlKind::ListButton || control.kind == form::ControlKind::Grid))
                        return form::PageOfControl(control.name);
    return {};
}

} // namespace

SurveyCheckWindow::SurveyCheckWindow(Program& program, QWidget* parent)
    : QDialog(parent)
    , program_(program)
    , summary_(new QLabel(this))
    , tree_(new QTreeWidget(this))
    , again_(new QPushButton(S("sprawdź ponownie"), this))
    , close_(new QPushButton(S("zamknij"), this))
{
    setObjectName(QStringLiteral("f_sprawdz_ankiete"));
    setWindowTitle(S("Sprawdzenie ankiety"));
    setModal(false);

    summary_->setWordWrap(true);
    auto* hint = new QLabel(S("Dwukrotne kliknięcie otwiera miejsce, które trzeba poprawić."), this);
    tree_->setColumnCount(ColumnCount);
    tree_->setHeaderLabels({ S("rodzaj"), S("miejsce"), S("wiersz"), S("pole"), S("opis") });
    tree_->setRootIsDecorated(true);
    tree_->setUniformRowHeights(true);
    tree_->setAlternatingRowColors(true);
    tree_->header()->setStretchLastSection(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(again_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(tree_, 1);
    layout->addWidget(hint);
    layout->addLayout(buttons);
    resize(1100, 560);

    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { open(item); });
    connect(again_, &QPushButton::clicked, this, &SurveyCheckWindow::checkAgain);
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
}

void SurveyCheckWindow::setFindings(std::vector<check::Finding> findings)
{
    findings_ = std::move(findings);
    fill();
}

void SurveyCheckWindow::fill()
{
    tree_->clear();
    const int errors = check::ErrorCount(findings_);
    const int warnings = check::WarningCount(findings_);
    summary_->setText(findings_.empty() ? S("Nie znaleziono błędów ani ostrzeżeń.")
                                        : S("Znalezione w ankiecie - ") + countsText(errors, warnings)
                + S(". Błędy trzeba poprawić przed wysłaniem ankiety."));
    const QStringList chooser = form::SectionChooserItems();
    QTreeWidgetItem* group = nullptr;
    int groupSection = -1;
    int groupErrors = 0;
    int groupWarnings = 0;
    auto closeGroup = [&] {
        if (group)
            group->setText(0,
                shortened(chooser.value(groupSection - 1), 70) + S("   (") + countsText(groupErrors, groupWarnings)
                    + QLatin1Char(')'));
        if (group)
            group->setToolTip(0, chooser.value(groupSection - 1).trimmed());
    };
    for (size_t i = 0; i < findings_.size(); ++i) {
        const check::Finding& f = findings_[i];
        if (f.section != groupSection) {
            closeGroup();
            group = new QTreeWidgetItem(tree_);
            group->setData(0, kFindingRole, -1);
            group->setFirstColumnSpanned(true);
            QFont bold = group->font(0);
            bold.setBold(true);
            group->setFont(0, bold);
            group->setExpanded(true);
            groupSection = f.section;
            groupErrors = groupWarnings = 0;
        }
        (f.isError() ? groupErrors : groupWarnings) += 1;
        auto* item = new QTreeWidgetItem(group);
        item->setData(0, kFindingRole, static_cast<int>(i));
        item->setText(SeverityColumn, check::SeverityText(f.severity));
        item->setForeground(SeverityColumn, f.isError() ? QColor(170, 0, 0) : QColor(150, 100, 0));
        item->setText(PlaceColumn, placeInSection(f));
        if (f.listKind >= 0)
            item->setToolTip(PlaceColumn, lists::ListTitle(f.listKind));
        item->setText(RowColumn, f.row > 0 ? QString::number(f.row) : QString());
        item->setText(FieldColumn, f.field.simplified());
        item->setToolTip(FieldColumn, f.field);
        item->setText(MessageColumn, f.message.simplified());
        item->setToolTip(MessageColumn, f.message);
    }
    closeGroup();
    tree_->expandAll();
    for (int c = 0; c < MessageColumn; ++c) {
        tree_->resizeColumnToContents(c);
        tree_->setColumnWidth(c, std::min(tree_->columnWidth(c), 260));
    }
}

void SurveyCheckWindow::checkAgain()
{
    if (!runCheck)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        setFindings(runCheck());
    } catch (const Error& error) {
        QApplication::restoreOverrideCursor();
        program_.notify(error.message(), 0, MessageKind::Error);
        return;
    }
    QApplication::restoreOverrideCursor();
}

void SurveyCheckWindow::open(QTreeWidgetItem* item)
{
    const int index = item ? item->data(0, kFindingRole).toInt() : -1;
    if (index < 0 || index >= static_cast<int>(findings_.size()) || !openPlace)
        return;
    openPlace(findings_[static_cast<size_t>(index)]);
}

void SurveyCheckWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    RelayoutWindow(this);
    QDialog::showEvent(event);
}

// --- from the menu to the place of a finding ----------------------------------------------------

SurveyCheckCommands::SurveyCheckCommands(Program& program, MainWindow& mainWindow,
                                         std::function<ListEditor&()> listEditor)
    : QObject(&mainWindow)
    , program_(program)
    , main_(mainWindow)
    , listEditor_(std::move(listEditor))
    , window_(new SurveyCheckWindow(program, &mainWindow))
{
    window_->runCheck = [this] { return check::CheckSurvey(check::ReadSurvey(program_)); };
    window_->openPlace = [this](const check::Finding& finding) { openPlace(finding); };
    // The entry ends a pending edit first, so the check sees what the user sees.
    main_.setMenuCommand(S("Sprawdź ankietę"), [this] {
        window_->checkAgain();
        window_->show();
        window_->raise();
        window_->activateWindow();
    });
}

void SurveyCheckCommands::openPlace(const check::Finding& finding)
{
    try {
        if (finding.listKind >= 0)
            openListRow(finding.listKind, finding.row - 1);
        else
            openField(finding.control);
    } catch (const Error& error) {
        program_.notify(error.message(), 0, MessageKind::Error);
    }
}

// The field's page, in edit mode, with the field focused and its text selected.
void SurveyCheckCommands::openField(const QString& control)
{
    const form::PageRef ref = form::PageOfControl(control);
    if (!ref.page)
        return;
    main_.chooseSection(ref.sectionIndex);
    main_.chooseSubPage(ref.sectionIndex, ref.pageIndex);
    SectionPageWidget* page = main_.page(ref.sectionIndex, ref.pageIndex);
    if (page && ref.page->editable() && ref.page->kind == form::PageKind::Form && main_.editingPage() != page)
        main_.EnterEditMode(page);
    main_.activateWindow();
    QWidget* field = main_.control(control);
    if (!field)
        return;
    for (QWidget* w = field->parentWidget(); w; w = w->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(w)) {
            scroll->ensureWidgetVisible(field);
            break;
        }
    field->setFocus(Qt::OtherFocusReason);
    if (auto* line = qobject_cast<QLineEdit*>(field))
        line->selectAll();
}

// The list's page, then its editor as the list button (or the grid's edit button) opens it, on the row.
void SurveyCheckCommands::openListRow(int kind, int row)
{
    const form::PageRef ref = pageOfList(kind);
    if (!ref.page)
        return;
    main_.chooseSection(ref.sectionIndex);
    main_.chooseSubPage(ref.sectionIndex, ref.pageIndex);
    SectionPageWidget* page = main_.page(ref.sectionIndex, ref.pageIndex);
    if (!page)
        return;
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    listEditor_().selectOnOpen(row);
    if (info.mainWindowGrid) {
        main_.EnterEditMode(page);
    } else {
        for (QPushButton* button : page->findChildren<QPushButton*>())
            if (button->property("buttonTag").toInt() == info.buttonTag) {
                button->click();
                break;
            }
    }
    listEditor_().selectOnOpen(-1); // in case the editor did not open
    // The list may have been fixed: the findings follow, once the double click has been handled.
    QTimer::singleShot(0, window_, [this] { window_->checkAgain(); });
}

} // namespace vestrum
