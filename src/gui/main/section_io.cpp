#include "gui/main/section_io.h"

#include "gui/common/user_font.h"
#include "gui/main/chooser.h"
#include "base/error.h"
#include "survey/field_checks.h"
#include "survey/form_catalogue.h"
#include "program/program.h"
#include "gui/common/progress_window.h"
#include "survey/reference_tables.h"
#include "survey/section_data.h"
#include "base/grid_rules.h"
#include "gui/common/list_grid_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHash>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <algorithm>

namespace vestrum {
namespace {

using form::Control;
using form::ControlKind;

// Every named widget under root, by name; the first one found wins.
QHash<QString, QWidget*> widgetsByName(QWidget* root)
{
    QHash<QString, QWidget*> byName;
    if (!root)
        return byName;
    if (!root->objectName().isEmpty())
        byName.insert(root->objectName(), root);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children)
        if (!w->objectName().isEmpty() && !byName.contains(w->objectName()))
            byName.insert(w->objectName(), w);
    return byName;
}

QWidget* findNamed(QWidget* root, const QString& name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    return root->findChild<QWidget*>(name);
}

// Set on a drop-down whose "- wybierz ... -" item is shown because nothing is stored.
constexpr char kEmptyShownProperty[] = "emptyShown";

bool hasChoosePrompt(const QComboBox* c) { return c->count() > 0 && c->itemText(0).startsWith(QStringLiteral("- wybierz")); }

QString widgetText(QWidget* w)
{
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w))
        return e->toPlainText();
    if (auto* e = qobject_cast<QTextEdit*>(w))
        return e->toPlainText();
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->currentIndex() == 0 && c->property(kEmptyShownProperty).toBool())
            return {}; // the "- wybierz ... -" item stands for the empty stored value
        return c->currentIndex() >= 0 ? c->itemText(c->currentIndex()) : QString();
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    return {};
}

void setWidgetText(QWidget* w, const QString& text)
{
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != text)
            e->setText(text);
    } else if (auto* e = qobject_cast<QPlainTextEdit*>(w)) {
        e->setPlainText(text);
    } else if (auto* e = qobject_cast<QTextEdit*>(w)) {
        e->setPlainText(text);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        // Nothing stored shows the drop-down's "- wybierz ... -" item; saved unchanged, it stays empty.
        const bool emptyShown = text.isEmpty() && hasChoosePrompt(c);
        c->setProperty(kEmptyShownProperty, emptyShown);
        if (emptyShown)
            c->setCurrentIndex(0);
        else
            c->setCurrentIndex(text.isEmpty() ? -1 : c->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        SetButtonCaption(b, text);
    }
}

GridRows gridRows(const ListGridView* grid)
{
    const std::vector<QStringList> rows = grid->dataRows();
    return GridRows(rows.begin(), rows.end());
}

void setGridRows(ListGridView* grid, const GridRows& rows)
{
    int width = grid->columnCount();
    for (const QStringList& row : rows)
        width = std::max(width, static_cast<int>(row.size()));
    // Headers stay; the first column becomes the sort column, as after every load.
    QStringList headers = grid->headers();
    while (headers.size() < width)
        headers << QString();
    grid::MarkSortColumn(headers, 0);
    lists::ListGrid list(headers);
    list.setRows(std::vector<QStringList>(rows.begin(), rows.end()));
    grid->setList(std::move(list));
}

CodeChooserWidget* chooserOf(QWidget* w)
{
    for (QWidget* p = w; p; p = p->parentWidget())
        if (auto* chooser = qobject_cast<CodeChooserWidget*>(p))
            return chooser;
    return nullptr;
}

// The classification catalogue shows the version's codes; it is refilled only when the
// version changes, since the 2004 table has well over a thousand rows.
void showPkdCatalogue(QWidget* root, int version)
{
    QWidget* catalogue = findNamed(root, QStringLiteral("lv031"));
    CodeChooserWidget* chooser = chooserOf(catalogue);
    if (!chooser)
        return;
    const char* property = "vestrumPkdVersion";
    if (chooser->property(property).toInt() == version)
        return;
    chooser->setCatalogue(PkdTable(version));
    chooser->setProperty(property, version);
}

QString buttonNameForTag(int tag)
{
    for (const form::Section& s : form::FormCatalogue())
        for (const form::Page& p : s.pages)
            for (const form::Row& r : p.rows)
                for (const Control& c : r.controls)
                    if (c.kind == ControlKind::ListButton && c.buttonTag == tag)
                        return c.name;
    return {};
}

// The user is sent to the field to type its value anew: what it holds is selected, as in every
// field reached by the keyboard, also when the focus arrives with the window coming back.
void focusControl(QWidget* root, const QString& name)
{
    QWidget* w = findNamed(root, name);
    if (!w)
        return;
    w->setFocus(Qt::OtherFocusReason);
    if (auto* line = qobject_cast<QLineEdit*>(w))
        line->selectAll();
}

// Runs the exit checks of the fields it watches.
class FieldCheckFilter : public QObject {
public:
    FieldCheckFilter(QWidget* root, Program& program) : QObject(root), root_(root), program_(program) {}

    void watch(QWidget* field) { field->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut)
            check(qobject_cast<QWidget*>(watched), static_cast<QFocusEvent*>(event)->reason());
        return QObject::eventFilter(watched, event);
    }

private:
    void check(QWidget* field, Qt::FocusReason reason)
    {
        // A context menu or another window taking the focus is not leaving the field; while a
        // refused field gets its focus back, the field that had it meanwhile is not tested.
        if (!field || busy_ || reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
            return;
        if (!field->isEnabled())
            return;
        if (auto* edit = qobject_cast<QLineEdit*>(field); edit && edit->isReadOnly())
            return;
        const QString name = field->objectName();
        const form::PageRef ref = form::PageOfControl(name);
        if (!ref.page)
            return;
        FieldValues values = collectFieldValues(root_, *ref.page);
        const FieldValues before = values;
        busy_ = true;
        if (checks::CheckFieldExit(name, values)) {
            FieldValues changed;
            for (auto it = values.text.cbegin(); it != values.text.cend(); ++it)
                if (before.text.value(it.key()) != it.value())
                    changed.text.insert(it.key(), it.value());
            applyFieldValues(root_, changed);
            busy_ = false;
            return;
        }
        program_.notify(checks::RefusalMessage(), 0, MessageKind::Warning);
        // The focus goes back once the focus change in progress has ended.
        QPointer<QWidget> target(field);
        QTimer::singleShot(0, this, [this, target] {
            if (target)
                target->setFocus(Qt::OtherFocusReason);
            busy_ = false;
        });
    }

    QWidget* root_;
    Program& program_;
    bool busy_ = false;
};

} // namespace

FieldValues collectFieldValues(QWidget* root, const form::Page& page)
{
    FieldValues values;
    const QHash<QString, QWidget*> widgets = widgetsByName(root);
    form::ForEachControl(page, [&](const form::Row&, const Control& c) {
        QWidget* w = widgets.value(c.name);
        if (!w)
            return;
        switch (c.kind) {
        case ControlKind::SearchField:
        case ControlKind::Button:
        case ControlKind::CatalogueList:
            break;
        case ControlKind::ChosenList:
            if (auto* list = qobject_cast<QListWidget*>(w)) {
                QStringList lines;
                for (int i = 0; i < list->count(); ++i)
                    lines << list->item(i)->text();
                values.lines[c.name] = lines;
            }
            break;
        case ControlKind::Grid:
            if (auto* grid = qobject_cast<ListGridView*>(w))
                values.grids[c.name] = gridRows(grid);
            break;
        case ControlKind::Radio:
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                values.checked[c.name] = b->isChecked();
            break;
        default:
            values.text[c.name] = widgetText(w);
            break;
        }
    });
    return values;
}

void applyFieldValues(QWidget* root, const FieldValues& values)
{
    const QHash<QString, QWidget*> widgets = widgetsByName(root);
    for (auto it = values.maxLength.cbegin(); it != values.maxLength.cend(); ++it)
        if (auto* edit = qobject_cast<QLineEdit*>(widgets.value(it.key())))
            edit->setMaxLength(it.value() > 0 ? it.value() : 32767);
    for (auto it = values.text.cbegin(); it != values.text.cend(); ++it)
        if (QWidget* w = widgets.value(it.key()))
            setWidgetText(w, it.value());
    for (auto it = values.grids.cbegin(); it != values.grids.cend(); ++it)
        if (auto* grid = qobject_cast<ListGridView*>(widgets.value(it.key())))
            setGridRows(grid, it.value());
    // Radio buttons: the checked one first, so a group never shows two or none by accident.
    for (bool pass : {true, false}) {
        for (auto it = values.checked.cbegin(); it != values.checked.cend(); ++it) {
            auto* b = qobject_cast<QAbstractButton*>(widgets.value(it.key()));
            if (!b || it.value() != pass)
                continue;
            if (!pass && b->autoExclusive())
                continue; // unchecked by its partner
            b->setChecked(pass);
        }
    }
    if (values.checked.contains(QStringLiteral("rb031")) || values.checked.contains(QStringLiteral("rb032")))
        showPkdCatalogue(root, values.checked.value(QStringLiteral("rb031")) ? 2004 : 2007);
    for (auto it = values.lines.cbegin(); it != values.lines.cend(); ++it) {
        if (auto* list = qobject_cast<QListWidget*>(widgets.value(it.key()))) {
            list->clear();
            list->addItems(it.value());
        }
    }
}

void installFieldChecks(QWidget* root, Program& program, const form::Page* page)
{
    auto* filter = new FieldCheckFilter(root, program);
    const QHash<QString, QWidget*> widgets = widgetsByName(root);
    auto hook = [&](const form::Page& p) {
        form::ForEachControl(p, [&](const form::Row&, const Control& c) {
            if (checks::ClassOf(c.name) == checks::FieldClass::Unchecked)
                return;
            if (QWidget* w = widgets.value(c.name))
                filter->watch(w);
        });
    };
    if (page) {
        hook(*page);
    } else {
        for (const form::Section& s : form::FormCatalogue())
            for (const form::Page& p : s.pages)
                hook(p);
    }
    // The year choice: ReportingYear follows the chosen item at once; the page's "zapisz
    // zmiany" stores it.
    if (auto* year = qobject_cast<QComboBox*>(widgets.value(QStringLiteral("c000")))) {
        Program* p = &program;
        QObject::connect(year, &QComboBox::currentIndexChanged, filter, [p, year](int index) {
            if (const int chosen = year->itemText(index).toInt(); chosen > 0)
                p->state.ReportingYear = chosen;
        });
    }
}

bool saveSectionPage(QWidget* root, Program& program, int tag)
{
    const form::PageRef ref = form::PageByTag(tag);
    if (!ref.page)
        return false;
    FieldValues values = collectFieldValues(root, *ref.page);
    const FieldValues before = values;
    const checks::PageCheck check = checks::PrepareSave(program, tag, values);
    if (values.text != before.text) {
        FieldValues shown;
        shown.text = values.text;
        applyFieldValues(root, shown);
    }
    if (!check.ok) {
        focusControl(root, check.focus);
        return false;
    }
    try {
        SaveSection(program, tag, values);
    } catch (const Error& e) {
        program.notify(e.message(), 0, MessageKind::Error);
        return false;
    }
    return true;
}

void loadSectionPage(QWidget* root, Program& program, int tag)
{
    const form::PageRef ref = form::PageByTag(tag);
    if (!ref.page)
        return;
    const FieldValues values = LoadSection(program, tag);
    applyFieldValues(root, values);
    for (auto it = values.grids.cbegin(); it != values.grids.cend(); ++it)
        if (auto* grid = qobject_cast<ListGridView*>(findNamed(root, it.key())))
            FitGridColumns(grid);
}

namespace {

// The pages with these tags, read in catalogue order; `step` is told each section before its pages are read.
std::vector<FieldValues> readPages(Program& program, const std::vector<int>& tags,
                                   const std::function<void(int step, const QString& label)>& step)
{
    std::vector<FieldValues> read;
    int done = 0;
    for (const form::Section& section : form::FormCatalogue()) {
        bool stepped = false;
        for (const form::Page& page : section.pages) {
            if (std::find(tags.begin(), tags.end(), page.tag) == tags.end())
                continue;
            if (!stepped && step)
                step(++done, section.chooserText);
            stepped = true;
            read.push_back(LoadPage(program, page));
        }
    }
    return read;
}

std::vector<int> everyPage()
{
    std::vector<int> tags;
    for (const form::Section& section : form::FormCatalogue())
        for (const form::Page& page : section.pages)
            tags.push_back(page.tag);
    return tags;
}

// Sections holding at least one of the pages: the steps of the progress window.
int sectionsOf(const std::vector<int>& tags)
{
    int count = 0;
    for (const form::Section& section : form::FormCatalogue())
        count += std::any_of(section.pages.begin(), section.pages.end(), [&tags](const form::Page& page) {
            return std::find(tags.begin(), tags.end(), page.tag) != tags.end();
        });
    return count;
}

} // namespace

void loadAllSectionsInto(QWidget* root, Program& program, ProgressWindow& progress)
{
    loadAllSectionsInto(root, program, progress, everyPage());
}

void loadAllSectionsInto(QWidget* root, Program& program, ProgressWindow& progress, const std::vector<int>& tags)
{
    struct Busy {
        ProgressWindow& progress;
        explicit Busy(ProgressWindow& p) : progress(p) { QApplication::setOverrideCursor(Qt::WaitCursor); }
        ~Busy()
        {
            progress.finish();
            QApplication::restoreOverrideCursor();
            QCoreApplication::processEvents();
        }
    } busy(progress);

    progress.start(QStringLiteral("Wczytywanie danych"), QString(), sectionsOf(tags), root ? root->font() : QFont());
    QCoreApplication::processEvents();
    const std::vector<FieldValues> pages = readPages(program, tags, [&](int step, const QString& label) {
        progress.setPosition(step);
        progress.setLabel(label);
        QCoreApplication::processEvents();
    });
    for (const FieldValues& values : pages)
        applyFieldValues(root, values);
}

void loadPagesInto(QWidget* root, Program& program, const std::vector<int>& tags)
{
    for (const FieldValues& values : readPages(program, tags, {}))
        applyFieldValues(root, values);
}

void applyPkdVersion(QWidget* root, int version)
{
    FieldValues values;
    checks::SwitchPkdVersion(values, version);
    applyFieldValues(root, values);
}

void setListCaption(QWidget* root, int buttonTag, int count)
{
    if (auto* button = qobject_cast<QAbstractButton*>(findNamed(root, buttonNameForTag(buttonTag))))
        SetButtonCaption(button, form::SummaryCaption(count));
}

void afterListEditor(QWidget* root, Program& program, int buttonTag, bool saved)
{
    FieldValues values;
    auto captions = [&](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const QString key = QString::fromLatin1(name);
            values.text[key] = widgetText(findNamed(root, key));
        }
    };
    if (buttonTag >= 25 && buttonTag <= 28) {
        captions({"bb801", "bb802", "bb803", "bb804"});
        checks::SumPublicationLists(values);
    } else if (buttonTag == 13 || buttonTag == 14) {
        captions({"bb1501", "bb1502"});
        checks::SumProjectLists(values);
    } else if (buttonTag == 169 && saved) {
        CountLicences(program.survey, values);
    }
    applyFieldValues(root, values);
}

} // namespace vestrum
