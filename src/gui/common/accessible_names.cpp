#include "gui/common/accessible_names.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QBoxLayout>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace vestrum {
namespace {

// Marks a name this routine gave, so that a later showing may give a better one.
constexpr char kGivenNameProperty[] = "vestrumGivenAccessibleName";

// The point a command belongs to, for SpeakWithPoint.
constexpr char kSpokenPointProperty[] = "vestrumSpokenPoint";

// A drop-down as a listener needs it: its name is its label, its value what it shows; the opened
// list (and an editable one's line) are its children, as in Qt's own view of it.
class NamedComboBox final : public QAccessibleWidget {
public:
    explicit NamedComboBox(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && !combo()->accessibleName().isEmpty())
            return combo()->accessibleName();
        if (t == QAccessible::Name || t == QAccessible::Value)
            return combo()->isEditable() && combo()->lineEdit() ? combo()->lineEdit()->text() : combo()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return combo()->isEditable() && combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && combo()->isEditable())
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        if (child->object() == combo()->view())
            return 0;
        return combo()->isEditable() && child->object() == combo()->lineEdit() ? 1 : -1;
    }
    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << showMenuAction(); }
    void doAction(const QString& action) override
    {
        if (action == showMenuAction() || action == pressAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
};

class PointButton final : public QAccessibleWidget {
public:
    explicit PointButton(QPushButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return button()->property(kSpokenPointProperty).toString() + QStringLiteral(": ")
                + SpokenLabelText(button()->text());
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }
    void doAction(const QString& action) override
    {
        if (action == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QPushButton* button() const { return static_cast<QPushButton*>(widget()); }
};

QAccessibleInterface* programInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String("QComboBox"))
        return new NamedComboBox(static_cast<QComboBox*>(object));
    if (className == QLatin1String("QPushButton") && object->property(kSpokenPointProperty).isValid())
        return new PointButton(static_cast<QPushButton*>(object));
    return nullptr;
}

// How far up from the control a caption is looked for: its row, the panel of the row, the page.
constexpr int kPanelLevels = 3;

QString qtName(QWidget* control)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
    return face ? face->text(QAccessible::Name) : QString();
}

bool isSayable(const QString& name) { return !name.trimmed().isEmpty() && !name.contains(u'&'); }

QLabel* shownLabel(QWidget* w)
{
    auto* label = qobject_cast<QLabel*>(w);
    return label && !label->isHidden() && !label->text().trimmed().isEmpty() ? label : nullptr;
}

// A label, or a panel holding only labels (a heading row): its last label.
QLabel* captionIn(QLayoutItem* item)
{
    QWidget* w = item ? item->widget() : nullptr;
    if (!w || w->isHidden())
        return nullptr;
    if (QLabel* label = shownLabel(w))
        return label;
    QLabel* last = nullptr;
    for (QWidget* child : w->findChildren<QWidget*>()) {
        if (child->focusPolicy() != Qt::NoFocus && !qobject_cast<QLabel*>(child))
            return nullptr; // a panel with controls of its own captions those
        if (QLabel* label = shownLabel(child))
            last = label;
    }
    return last;
}

QLabel* captionInGrid(QGridLayout* grid, int index)
{
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    for (int c = column - 1; c >= 0; --c) {
        QLayoutItem* item = grid->itemAtPosition(row, c);
        if (!item)
            continue;
        if (QLabel* label = captionIn(item))
            return label;
        if (item->widget())
            break;
    }
    // Above: the caption heading the column, past the controls under it (a field and its list).
    for (int r = row - 1; r >= 0; --r) {
        QLayoutItem* item = grid->itemAtPosition(r, column);
        if (!item)
            continue;
        if (QLabel* label = captionIn(item))
            return label;
        if (!item->widget() || item->widget()->focusPolicy() == Qt::NoFocus)
            break;
    }
    return nullptr;
}

// The caption of the item at `index` of a layout: left of it in its row (past the other controls
// of the row), or right above it.
QLabel* captionBefore(QLayout* layout, int index)
{
    if (auto* form = qobject_cast<QFormLayout*>(layout)) {
        int row = 0;
        QFormLayout::ItemRole role = QFormLayout::LabelRole;
        form->getItemPosition(index, &row, &role);
        return role == QFormLayout::FieldRole ? captionIn(form->itemAt(row, QFormLayout::LabelRole)) : nullptr;
    }
    if (auto* grid = qobject_cast<QGridLayout*>(layout))
        return captionInGrid(grid, index);
    auto* box = qobject_cast<QBoxLayout*>(layout);
    if (!box)
        return nullptr;
    const bool row = box->direction() == QBoxLayout::LeftToRight || box->direction() == QBoxLayout::RightToLeft;
    for (int i = index - 1; i >= 0; --i) {
        QLayoutItem* item = box->itemAt(i);
        if (QLabel* label = captionIn(item))
            return label;
        if (item->spacerItem() || (item->widget() && item->widget()->isHidden()))
            continue;
        if (!row)
            return nullptr;
    }
    return nullptr;
}

// The innermost layout under `layout` holding `w`, with its index there.
QLayout* layoutHolding(QLayout* layout, QWidget* w, int& index)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w) {
            index = i;
            return layout;
        }
        if (QLayout* nested = item->layout())
            if (QLayout* found = layoutHolding(nested, w, index))
                return found;
    }
    return nullptr;
}

// The caption of `w` in its parent's layout, from its own layout out to the parent's top one.
QLabel* captionInParent(QWidget* w)
{
    QWidget* parent = w->parentWidget();
    if (!parent || !parent->layout())
        return nullptr;
    int index = -1;
    QLayout* layout = layoutHolding(parent->layout(), w, index);
    while (layout) {
        if (QLabel* label = captionBefore(layout, index))
            return label;
        auto* outer = qobject_cast<QLayout*>(layout->parent());
        if (!outer)
            break;
        index = outer->indexOf(layout);
        layout = outer;
    }
    return nullptr;
}

QLabel* captionOf(QWidget* control)
{
    QWidget* w = control;
    for (int level = 0; level < kPanelLevels && w && !w->isWindow(); ++level, w = w->parentWidget())
        if (QLabel* label = captionInParent(w))
            return label;
    return nullptr;
}

std::vector<QWidget*> shownChildren(QWidget* panel, bool controls)
{
    std::vector<QWidget*> found;
    for (QWidget* child : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden())
            continue;
        if (controls ? child->focusPolicy() != Qt::NoFocus && !qobject_cast<QLabel*>(child) : shownLabel(child) != nullptr)
            found.push_back(child);
    }
    return found;
}

// A field of a row of several fields under a row of column captions (a table of fields) is told by
// its column as well: the row of captions is the nearest row above holding only labels, one per
// field; the rows between are further rows of the same table.
QString columnCaption(QWidget* control)
{
    QWidget* row = control->parentWidget();
    auto* box = row ? qobject_cast<QBoxLayout*>(row->layout()) : nullptr;
    if (!box || box->direction() != QBoxLayout::LeftToRight || !row->parentWidget() || !row->parentWidget()->layout())
        return {};
    const std::vector<QWidget*> fields = shownChildren(row, true);
    const auto column = std::find(fields.begin(), fields.end(), control);
    if (fields.size() < 2 || column == fields.end())
        return {};
    int index = -1;
    auto* rows = qobject_cast<QBoxLayout*>(layoutHolding(row->parentWidget()->layout(), row, index));
    if (!rows || rows->direction() != QBoxLayout::TopToBottom)
        return {};
    for (int i = index - 1; i >= 0; --i) {
        QWidget* above = rows->itemAt(i)->widget();
        if (!above || above->isHidden())
            continue;
        if (!shownChildren(above, true).empty()) {
            if (shownChildren(above, true).size() == fields.size())
                continue;
            return {};
        }
        const std::vector<QWidget*> captions = shownChildren(above, false);
        if (captions.size() != fields.size())
            return {};
        return static_cast<QLabel*>(captions[size_t(column - fields.begin())])->text();
    }
    return {};
}

// A control with no caption of its own takes the name of what it sits in: a group, a tab, a page
// the program named, or at last the window.
QString containerName(QWidget* control)
{
    for (QWidget* p = control->parentWidget(); p && !p->isWindow(); p = p->parentWidget()) {
        if (auto* group = qobject_cast<QGroupBox*>(p); group && !group->title().isEmpty())
            return group->title();
        if (!p->accessibleName().isEmpty() && !p->property(kGivenNameProperty).toBool())
            return p->accessibleName();
        auto* stack = qobject_cast<QStackedWidget*>(p->parentWidget());
        if (auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr) {
            const int tab = tabs->indexOf(p);
            if (tab >= 0 && !tabs->tabText(tab).isEmpty())
                return tabs->tabText(tab);
        }
    }
    return control->window()->windowTitle().remove(QStringLiteral("[*]"));
}

QString labelText(const QLabel* label)
{
    const bool rich = label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    return rich ? QTextDocumentFragment::fromHtml(label->text()).toPlainText() : label->text();
}

} // namespace

void SpeakWithPoint(QPushButton* button, const QString& pointLabel)
{
    button->setProperty(kSpokenPointProperty, SpokenLabelText(pointLabel));
    // Qt made the button's view when its caption was first set; the next look makes it anew.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(button); made && !dynamic_cast<PointButton*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void InstallAccessibleInterfaces()
{
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(programInterface);
    installed = true;
}

QString SpokenLabelText(const QString& labelText)
{
    QString spoken;
    spoken.reserve(labelText.size());
    for (qsizetype i = 0; i < labelText.size(); ++i) {
        if (labelText[i] == u'&') {
            if (i + 1 < labelText.size() && labelText[i + 1] == u'&')
                spoken += u'&', ++i;
            continue;
        }
        spoken += labelText[i];
    }
    return spoken.simplified();
}

void GiveAccessibleName(QWidget* control)
{
    if (!control || control->isWindow() || control->focusPolicy() == Qt::NoFocus || control->focusProxy())
        return;
    const bool givenBefore = control->property(kGivenNameProperty).toBool();
    if (!control->accessibleName().isEmpty() && !givenBefore)
        return; // the program's own name
    if (givenBefore)
        control->setAccessibleName(QString());

    // A button without a caption of its own is told by its hint rather than by the row it sits in.
    const bool button = qobject_cast<QAbstractButton*>(control) != nullptr;
    QLabel* label = captionOf(control);
    // A caption beside a field in its panel is its buddy: a screen reader then also hears which
    // label belongs to which field. A caption with "&" would start showing its mnemonic, so not it.
    if (label && !button && !label->buddy() && label->parentWidget() == control->parentWidget()
        && !label->text().contains(u'&'))
        label->setBuddy(control);
    const QString columnText = label ? SpokenLabelText(columnCaption(control)) : QString();
    // A drop-down's own name is the value it shows, which tells a listener nothing of what it is for.
    const bool namedByValue = qobject_cast<QComboBox*>(control) != nullptr;
    if (columnText.isEmpty() && !namedByValue && isSayable(qtName(control)))
        return;

    QString name;
    if (control->objectName() == QLatin1String("qt_toolbar_ext_button"))
        name = QStringLiteral("Pozostałe polecenia"); // the "››" of a tool row too narrow for its commands
    if (name.isEmpty() && button)
        name = SpokenLabelText(control->toolTip());
    if (name.isEmpty() && label)
        name = SpokenLabelText(labelText(label));
    if (!columnText.isEmpty())
        name += QStringLiteral(", ") + columnText;
    if (name.isEmpty())
        name = SpokenLabelText(control->toolTip());
    if (name.isEmpty())
        name = SpokenLabelText(containerName(control));
    control->setAccessibleName(name);
    control->setProperty(kGivenNameProperty, true);
}

namespace {

std::function<void(QObject*, int)>& announcementListener()
{
    static std::function<void(QObject*, int)> listener;
    return listener;
}

} // namespace

void AnnounceFocus(QObject* control, int child)
{
    if (announcementListener())
        announcementListener()(control, child);
    QAccessibleEvent focus(control, QAccessible::Focus);
    focus.setChild(child);
    QAccessible::updateAccessibility(&focus);
}

void ListenToAnnouncements(std::function<void(QObject* control, int child)> listener)
{
    announcementListener() = std::move(listener);
}

} // namespace vestrum
