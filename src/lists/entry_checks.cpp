#include "lists/entry_checks.h"

#include "base/number_format.h"
#include "storage/engine.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_grid.h"

#include <QSet>

#include <algorithm>

namespace vestrum::lists {
namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

ScienceDomain domain(int code, const char* name, std::initializer_list<const char*> disciplines)
{
    ScienceDomain d;
    d.code = code;
    d.name = S(name);
    for (const char* n : disciplines)
        d.disciplines << S(n);
    return d;
}

std::vector<ScienceDomain> buildDomains()
{
    return {
        domain(0, "nauk chemicznych", {"chemii", "biochemii", "technologii chemicznej", "biotechnologii"}),
        domain(1, "nauk ekonomicznych", {"ekonomii", "nauk o zarządzaniu", "towaroznawstwa"}),
        domain(2, "nauk farmaceutycznych", {}),
        domain(3, "nauk fizycznych", {"astronomii", "fizyki", "biofizyki", "geofizyki"}),
        domain(4, "nauk humanistycznych",
               {"archeologii", "bibliologii", "filozofii", "historii", "językoznawstwa", "literaturoznawstwa",
                "nauk o polityce", "pedagogiki", "psychologii", "socjologii", "etnologii",
                "nauk o poznaniu i komunikacji społecznej", "nauk o sztuce", "nauk o zarządzaniu", "religioznawstwa",
                "historii sztuki", "kulturoznawstwa"}),
        domain(5, "nauk leśnych", {"leśnictwa", "drzewnictwa"}),
        domain(6, "nauk matematycznych", {"informatyki", "matematyki"}),
        domain(7, "nauk medycznych", {"biologia medycznej", "medycyny", "stomatologii"}),
        domain(8, "nauk o kulturze fizycznej", {}),
        domain(9, "nauk prawnych", {"nauk o administracji", "prawa", "prawa kanonicznego"}),
        domain(11, "nauk rolniczych",
               {"agronomii", "ogrodnictwa", "rybactwa", "inżynierii rolniczej", "technologii żywności i żywienia",
                "zootechniki", "kształtowania środowiska"}),
        domain(12, "nauk technicznych",
               {"architektury i urbanistyki", "automatyki i robotyki", "biocybernetyki i inżynierii biomedycznej",
                "budowy i eksploatacji maszyn", "budownictwa", "elektroniki", "elektrotechniki",
                "geodezji i kartografii", "informatyki", "inżynierii chemicznej", "inżynierii materiałowej",
                "inżynierii środowiska", "mechaniki", "metalurgii", "włókiennictwa", "technologii chemicznej",
                "telekomunikacji", "transportu", "górnictwa i geologii inżynierskiej", "biotechnologii"}),
        domain(13, "nauk weterynaryjnych", {}),
        domain(14, "nauk wojskowych", {}),
        domain(15, "nauk teologicznych", {}),
        domain(16, "nauk o Ziemi", {"geofizyki", "geografii", "geologii", "oceanologii"}),
        domain(17, "nauk biologicznych",
               {"biochemii", "biologii", "biotechnologii", "ekologii", "biofizyki", "mikrobiologii"}),
        domain(18, "sztuk filmowych", {}),
        domain(19, "sztuk muzycznych",
               {"dyrygentury", "instrumentalistyki", "kompozycji i teorii muzyki", "reżyserii dźwięku",
                "rytmiki i tańca", "wokalistyki"}),
        domain(20, "sztuk plastycznych", {"sztuk pięknych", "sztuk użytkowych"}),
        domain(21, "sztuk teatralnych", {}),
    };
}

bool sameText(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// The item equal to the text: exactly first, then without regard to case; -1 when none.
int itemIndex(const QStringList& items, const QString& text)
{
    const int exact = static_cast<int>(items.indexOf(text));
    if (exact >= 0)
        return exact;
    for (int i = 0; i < items.size(); ++i)
        if (sameText(items[i], text))
            return i;
    return -1;
}

ExitCheck refused(const QString& text, const QString& message = InvalidValueMessage()) { return {false, message, text}; }

ExitCheck checkYear(const QString& text, int from, int to)
{
    const auto year = numbers::ParseInteger(numbers::TrimBlanks(text));
    if (!year || *year < from || *year > to)
        return refused(text);
    return {true, {}, numbers::TrimBlanks(text)}; // the year alone, so it fits its four characters
}

} // namespace

// --- degree-granting rights ---------------------------------------------------------------

const std::vector<ScienceDomain>& ScienceDomains()
{
    static const std::vector<ScienceDomain> domains = buildDomains();
    return domains;
}

int FindScienceDomain(const QString& name)
{
    const QString wanted = numbers::TrimBlanks(name);
    const auto& domains = ScienceDomains();
    for (size_t i = 0; i < domains.size(); ++i)
        if (sameText(domains[i].name, wanted))
            return static_cast<int>(i);
    return -1;
}

QString JoinDisciplines(const QStringList& names)
{
    QString scope;
    QSet<QString> seen;
    for (const QString& name : names) {
        if (seen.contains(name.toLower()))
            continue;
        seen.insert(name.toLower());
        scope += name + QLatin1Char(';');
    }
    return scope;
}

QStringList SplitDisciplines(const QString& scope)
{
    QStringList names;
    for (const QString& piece : scope.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = numbers::TrimBlanks(piece);
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

// --- checks on leaving a field ------------------------------------------------------------

QString InvalidValueMessage() { return S("Podana wartość jest nieprawidłowa"); }
QString ApparatusMinimumMessage() { return S("Podana wartość zakupu aparatury nie przekracza wymaganego minimum - 500.000 PLN"); }
QString ContractMinimumMessage() { return S("Podana wartość umowy nie przekracza wymaganego minimum - 10.000 PLN"); }

ExitCheck CheckOnExit(EntryCheck check, const QString& text, int reportingYear)
{
    if (check == EntryCheck::None || numbers::IsBlank(text))
        return {true, {}, text};
    switch (check) {
    case EntryCheck::None:
        break;
    case EntryCheck::Integer:
        if (!numbers::ParseInteger(numbers::TrimBlanks(text)))
            return refused(text);
        return {true, {}, numbers::TrimBlanks(text)};
    case EntryCheck::ElectionYear:
        return checkYear(text, 1930, reportingYear);
    case EntryCheck::ProductionYear:
        return checkYear(text, 1950, reportingYear);
    case EntryCheck::Date: {
        const auto date = numbers::NormaliseDate(numbers::TrimBlanks(text));
        if (!date)
            return refused(text);
        return {true, {}, *date};
    }
    case EntryCheck::Amount:
    case EntryCheck::ContractValue:
    case EntryCheck::ApparatusValue: {
        const auto amount = numbers::ParseDecimal(numbers::TrimBlanks(text));
        if (!amount)
            return refused(text);
        // Compared in whole hundredths, so 499999,99 stays below the minimum whatever the rounding.
        if (check == EntryCheck::ApparatusValue && numbers::ToCents(*amount) < 50000000)
            return refused(text, ApparatusMinimumMessage());
        if (check == EntryCheck::ContractValue && numbers::ToCents(*amount) < 1000000)
            return refused(text, ContractMinimumMessage());
        return {true, {}, numbers::FormatAmount(*amount)};
    }
    }
    return {true, {}, text};
}

QString EmptyFieldLine(const QString& caption)
{
    return S("Pole \"") + caption + S("\" nie może być puste");
}

QString UnsetChoiceLine(const QString& caption)
{
    return S("Pole \"") + caption + S("\" nie może pozostać nieokreślone");
}

QString TooLongLine(const QString& caption, int width)
{
    const int lastTwo = width % 100;
    const int last = width % 10;
    const char* noun = width == 1                                          ? "znak"
                       : last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14) ? "znaki"
                                                                          : "znaków";
    return S("Pole \"") + caption + S("\" może zawierać najwyżej ") + QString::number(width) + QLatin1Char(' ')
        + S(noun);
}

QStringList StoredConferences(db::Connection& survey)
{
    db::Query query(survey, QStringLiteral("select nazwa from dane_wykaz_konferencji where rodzaj=? order by rowid"), {1});
    // Names that differ only in letter case are one conference: the first stored spelling stays.
    QSet<QString> seen;
    std::vector<QStringList> names;
    for (query.first(); !query.eof(); query.next()) {
        if (query.isNull(QStringLiteral("nazwa")))
            continue;
        const QString name = query.asUnicode(QStringLiteral("nazwa"));
        const QString folded = name.toCaseFolded();
        if (seen.contains(folded))
            continue;
        seen.insert(folded);
        names.push_back({name});
    }
    if (names.empty())
        return {};
    // The order of the list editor's grids (Polish, letter case ignored).
    ListGrid sorted(QStringList{QString()});
    sorted.setRows(std::move(names));
    sorted.sortBy(0);
    QStringList out;
    for (const QStringList& row : sorted.rows())
        out << row.front();
    return out;
}

// --- one entry ----------------------------------------------------------------------------

EntryForm::EntryForm(int kind, const QStringList& conferences) : kind_(kind), fields_(EntryFieldsFor(kind))
{
    values_.resize(fields_.size());
    for (EntryField& f : fields_)
        if (f.role == EntryRole::StoredConferences)
            f.items = QStringList{ChooseItem()} + conferences;
    clear();
}

int EntryForm::indexOfField(const QString& tableField) const
{
    for (int i = 0; i < count(); ++i)
        if (sameText(field(i).field, tableField))
            return i;
    return -1;
}

int EntryForm::indexOfRole(EntryRole role) const
{
    for (int i = 0; i < count(); ++i)
        if (field(i).role == role)
            return i;
    return -1;
}

void EntryForm::setItems(int i, QStringList items)
{
    Value& v = value(i);
    v.items = std::move(items);
    v.checked.assign(static_cast<size_t>(v.items.size()), false);
    v.chosen = v.items.isEmpty() ? -1 : 0;
    if (field(i).input == EntryInput::EditableChoice)
        v.text = v.items.value(0);
}

void EntryForm::clear()
{
    cells_.clear();
    for (int i = 0; i < count(); ++i) {
        const EntryField& f = field(i);
        Value& v = value(i);
        v = Value{};
        v.readOnly = f.need == EntryNeed::ReadOnly;
        v.optional = f.need != EntryNeed::Required;
        setItems(i, f.input == EntryInput::CheckList ? QStringList{} : f.items);
        if (f.role == EntryRole::JournalPoints)
            v.text = QStringLiteral("0");
        else if (f.role == EntryRole::FixedPoints)
            v.text = QString::number(ListKindInfoOf(kind_).fixedPoints);
        else if (f.role == EntryRole::ListedJournal)
            v.readOnly = true; // filled only from the ministry's list
    }
    for (int i = 0; i < count(); ++i)
        if (field(i).role == EntryRole::PurchaseSource)
            applyDependents(i);
}

void EntryForm::fill(const QStringList& cells)
{
    clear();
    cells_ = cells;
    for (int i = 0; i < count(); ++i) {
        const EntryField& f = field(i);
        if (f.column < 0 || f.role == EntryRole::FixedPoints)
            continue;
        const QString cell = cells.value(f.column);
        switch (f.input) {
        case EntryInput::Line:
        case EntryInput::Memo:
            value(i).text = cell;
            break;
        case EntryInput::EditableChoice:
            // A stored giver that is one of the items is selected; any other is shown as typed.
            value(i).text = cell;
            value(i).chosen = itemIndex(value(i).items, cell);
            break;
        case EntryInput::Choice: {
            value(i).chosen = std::max(0, itemIndex(value(i).items, numbers::TrimBlanks(cell)));
            // An opened award keeps the domestic givers whatever its origin: only the user's own
            // change of origin replaces them.
            if (f.role != EntryRole::AwardOrigin)
                applyDependents(i);
            break;
        }
        case EntryInput::CheckList:
            break;
        }
    }
    // A description stored beside a source other than "inne" is not kept.
    for (int i = 0; i < count(); ++i)
        if (field(i).role == EntryRole::PurchaseSource)
            applyDependents(i);
    // The disciplines named in "w zakresie" are checked once the domain has given the list.
    const int list = indexOfRole(EntryRole::Disciplines);
    if (list >= 0) {
        const QStringList named = SplitDisciplines(cells.value(field(list).column));
        Value& v = value(list);
        for (int k = 0; k < v.items.size(); ++k)
            for (const QString& name : named)
                if (sameText(v.items[k], name))
                    v.checked[static_cast<size_t>(k)] = true;
    }
}

QStringList EntryForm::row() const
{
    const int columns = static_cast<int>(ListKindInfoOf(kind_).columns.size());
    QStringList cells = cells_;
    while (cells.size() < columns)
        cells << QString();
    while (cells.size() > columns)
        cells.removeLast();
    for (int i = 0; i < count(); ++i)
        if (field(i).column >= 0 && field(i).column < columns)
            cells[field(i).column] = text(i);
    return cells;
}

QString EntryForm::text(int i) const
{
    const Value& v = value(i);
    switch (field(i).input) {
    case EntryInput::Choice:
        return v.chosen > 0 ? v.items.value(v.chosen) : QString();
    case EntryInput::CheckList:
        return JoinDisciplines(checkedItems(i));
    default:
        return v.text;
    }
}

void EntryForm::setText(int i, const QString& text)
{
    Value& v = value(i);
    switch (field(i).input) {
    case EntryInput::Choice:
        choose(i, std::max(0, itemIndex(v.items, text)));
        break;
    case EntryInput::EditableChoice:
        v.text = text;
        v.chosen = static_cast<int>(v.items.indexOf(text));
        break;
    case EntryInput::CheckList:
        for (int k = 0; k < v.items.size(); ++k)
            v.checked[static_cast<size_t>(k)] = false;
        for (const QString& name : SplitDisciplines(text)) {
            const int k = itemIndex(v.items, name);
            if (k >= 0)
                v.checked[static_cast<size_t>(k)] = true;
        }
        break;
    default:
        v.text = text;
        break;
    }
}

const QStringList& EntryForm::items(int i) const { return value(i).items; }
int EntryForm::chosen(int i) const { return value(i).chosen; }

void EntryForm::choose(int i, int item)
{
    Value& v = value(i);
    if (item < 0 || item >= v.items.size())
        return;
    v.chosen = item;
    if (field(i).input == EntryInput::EditableChoice)
        v.text = v.items[item];
    applyDependents(i);
}

void EntryForm::applyDependents(int i)
{
    const Value& v = value(i);
    switch (field(i).role) {
    case EntryRole::Domain: {
        const int list = indexOfRole(EntryRole::Disciplines);
        if (list >= 0)
            setItems(list, v.chosen > 0 ? ScienceDomains()[static_cast<size_t>(v.chosen - 1)].disciplines : QStringList{});
        break;
    }
    case EntryRole::AwardOrigin: {
        const int giver = indexOfRole(EntryRole::AwardGiver);
        if (giver < 0)
            break;
        // Only "krajowa" offers the domestic givers; any other origin, "- wybierz -" too, is typed.
        const bool domestic = v.items.value(v.chosen) == S("krajowa");
        setItems(giver, domestic ? DomesticAwardGivers(kind_) : QStringList{TypeItem()});
        break;
    }
    case EntryRole::PurchaseSource: {
        const int other = indexOfRole(EntryRole::OtherPurchaseSource);
        if (other < 0)
            break;
        const bool described = v.chosen > 0 && v.items.value(v.chosen) == OtherSourceItem();
        Value& o = value(other);
        o.readOnly = !described;
        o.optional = !described;
        if (!described)
            o.text.clear();
        break;
    }
    default:
        break;
    }
}

bool EntryForm::isChecked(int i, int item) const
{
    const Value& v = value(i);
    return item >= 0 && item < static_cast<int>(v.checked.size()) && v.checked[static_cast<size_t>(item)];
}

void EntryForm::setChecked(int i, int item, bool checked)
{
    Value& v = value(i);
    if (item >= 0 && item < static_cast<int>(v.checked.size()))
        v.checked[static_cast<size_t>(item)] = checked;
}

QStringList EntryForm::checkedItems(int i) const
{
    QStringList names;
    const Value& v = value(i);
    for (int k = 0; k < v.items.size(); ++k)
        if (v.checked[static_cast<size_t>(k)])
            names << v.items[k];
    return names;
}

bool EntryForm::isReadOnly(int i) const { return value(i).readOnly; }
bool EntryForm::isOptional(int i) const { return value(i).optional; }

ExitCheck EntryForm::leave(int i, int reportingYear)
{
    if (isReadOnly(i))
        return {true, {}, text(i)};
    ExitCheck result = CheckOnExit(field(i).check, value(i).text, reportingYear);
    if (result.ok)
        value(i).text = result.text;
    return result;
}

EntryForm::Acceptance EntryForm::checkWidths(const QMap<QString, int>& widths) const
{
    Acceptance acceptance;
    for (int i = 0; i < count(); ++i) {
        const EntryField& f = field(i);
        if (f.input == EntryInput::Choice || f.input == EntryInput::CheckList)
            continue;
        for (auto it = widths.cbegin(); it != widths.cend(); ++it) {
            if (!sameText(it.key(), f.field) || it.value() <= 0 || text(i).size() <= it.value())
                continue;
            if (acceptance.first < 0)
                acceptance.first = i;
            acceptance.lines << TooLongLine(f.caption, it.value());
            acceptance.rows.push_back(i);
            acceptance.widths.push_back(it.value());
        }
    }
    return acceptance;
}

EntryForm::Acceptance EntryForm::accept() const
{
    Acceptance acceptance;
    for (int i = 0; i < count(); ++i) {
        const EntryField& f = field(i);
        const Value& v = value(i);
        if (v.optional || v.readOnly)
            continue;
        QString line;
        switch (f.input) {
        case EntryInput::Line:
        case EntryInput::Memo:
            // A field of blanks only is as empty as an empty one.
            if (numbers::IsBlank(v.text))
                line = EmptyFieldLine(f.caption);
            break;
        case EntryInput::Choice:
            if (v.chosen <= 0)
                line = UnsetChoiceLine(f.caption);
            break;
        case EntryInput::EditableChoice:
            if (numbers::IsBlank(v.text) || sameText(numbers::TrimBlanks(v.text), v.items.value(0)))
                line = UnsetChoiceLine(f.caption);
            break;
        case EntryInput::CheckList:
            break; // no discipline needs to be checked
        }
        if (line.isEmpty())
            continue;
        if (acceptance.first < 0)
            acceptance.first = i;
        acceptance.lines << line;
        acceptance.rows.push_back(i);
    }
    return acceptance;
}

void EntryForm::setListedJournal(const Journal& journal)
{
    const int listed = indexOfRole(EntryRole::ListedJournal);
    const int points = indexOfRole(EntryRole::JournalPoints);
    if (listed >= 0)
        value(listed).text = journal.name;
    if (points >= 0)
        value(points).text = pointsCell(journal.points);
}

QStringList TooLongCells(int kind, const std::vector<QStringList>& rows, const QMap<QString, int>& widths, int limit)
{
    QStringList lines;
    if (widths.isEmpty())
        return lines;
    const QStringList headers = ListKindInfoOf(kind).headers();
    EntryForm form(kind);
    for (size_t r = 0; r < rows.size() && lines.size() < limit; ++r) {
        const QStringList& cells = rows[r];
        if (std::all_of(cells.begin(), cells.end(), [](const QString& cell) { return numbers::IsBlank(cell); }))
            continue;
        form.fill(cells);
        const EntryForm::Acceptance tooLong = form.checkWidths(widths);
        for (size_t k = 0; k < tooLong.rows.size() && lines.size() < limit; ++k) {
            const EntryField& f = form.field(tooLong.rows[k]);
            const QString header = f.column >= 0 ? headers.value(f.column, f.caption) : f.caption;
            lines << TooLongLine(header, tooLong.widths[k]) + S(" - wiersz ") + QString::number(r + 1);
        }
    }
    return lines;
}

} // namespace vestrum::lists
