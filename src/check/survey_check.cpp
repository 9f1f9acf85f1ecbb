#include "check/survey_check.h"

#include "base/error.h"
#include "base/number_format.h"
#include "lists/entry_checks.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/publication_duplicates.h"
#include "program/program.h"
#include "storage/engine.h"
#include "survey/field_checks.h"
#include "survey/form_catalogue.h"

#include <algorithm>
#include <tuple>

namespace vestrum::check {
namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString tooLongMessage(int length, int width)
{
    return S("Tekst ma %1 znaków, a pole mieści najwyżej %2").arg(length).arg(width);
}

// --- fields of the section pages -------------------------------------------------------------

class PageChecker {
public:
    PageChecker(const LoadedPage& loaded, const QMap<QString, QString>& storedChoices, std::vector<Finding>& findings)
        : loaded_(loaded)
        , values_(loaded.values)
        , storedChoices_(storedChoices)
        , findings_(findings)
        , section_(loaded.page ? form::FormCatalogue().at(static_cast<size_t>(loaded.sectionIndex)).number : 0)
    {
    }

    void run()
    {
        form::ForEachControl(
            *loaded_.page, [this](const form::Row& row, const form::Control& control) { checkField(row, control); });
        if (loaded_.page->tag == 18)
            addSums(checks::CheckSection17(values_));
        else if (loaded_.page->tag == 19)
            addSums(checks::CheckSection18(values_));
    }

private:
    void add(Severity severity, const form::Row& row, const QString& control, const QString& message)
    {
        Finding f;
        f.severity = severity;
        f.section = section_;
        f.control = control;
        f.field = row.label.isEmpty() ? control : row.label;
        f.message = message;
        findings_.push_back(std::move(f));
    }

    void checkField(const form::Row& row, const form::Control& control)
    {
        const QString& name = control.name;
        const QString text = values_.text.value(name);
        // The exit check of the field, run on a copy: a rewrite into the standard form is no fault.
        if (checks::ClassOf(name) != checks::FieldClass::Unchecked) {
            FieldValues copy = values_;
            if (!checks::CheckFieldExit(name, copy)) {
                add(Severity::Error, row, name, checks::RefusalMessage() + S(": ") + quoted(text));
                return;
            }
        }
        // Loading shows a drop-down unset when no item equals the stored text.
        const QString stored = storedChoices_.value(name);
        if (control.kind == form::ControlKind::DropDown && !numbers::IsBlank(stored) && text.isEmpty()) {
            add(Severity::Error, row, name,
                S("Wartość %1 nie należy do listy wyboru").arg(quoted(numbers::TrimBlanks(stored))));
            return;
        }
        const int width = values_.maxLength.value(name);
        if (width > 0 && text.size() > width) {
            add(Severity::Error, row, name, tooLongMessage(static_cast<int>(text.size()), width));
            return;
        }
        if ((name == QLatin1String("e003") || name == QLatin1String("e008")) && !numbers::IsBlank(text)
            && !checks::IsValidRegon(numbers::TrimBlanks(text)))
            add(Severity::Warning, row, name,
                S("Numer REGON %1 ma nieprawidłową cyfrę kontrolną lub długość").arg(quoted(text)));
    }

    // Each failing rule of a whole-page check is one finding, on the total it names.
    void addSums(const checks::PageCheck& check)
    {
        for (qsizetype i = 0; i < check.lines.size(); ++i) {
            const QString& control = check.fields.at(i);
            const form::PageRef ref = form::PageOfControl(control);
            form::Row row;
            if (ref.page)
                form::ForEachControl(*ref.page, [&](const form::Row& r, const form::Control& c) {
                    if (c.name == control)
                        row = r;
                });
            add(Severity::Error, row, control, check.lines.at(i));
        }
    }

    const LoadedPage& loaded_;
    const FieldValues& values_;
    const QMap<QString, QString>& storedChoices_;
    std::vector<Finding>& findings_;
    int section_;
};

// A main-window grid as the editor shows it, with the widths its fields declare.
void checkGrid(const LoadedPage& loaded, const form::Control& grid, const QStringList& conferences,
    const importing::CheckContext& context, std::vector<Finding>& findings)
{
    if (grid.listKind < 0)
        return;
    const lists::ListKindInfo& info = lists::ListKindInfoOf(grid.listKind);
    lists::ListGrid rows(info.headers());
    const GridRows stored = loaded.values.grids.value(grid.name);
    rows.setRows(std::vector<QStringList>(stored.begin(), stored.end()));
    QMap<QString, int> widths;
    const QString prefix = grid.name + QLatin1Char('.');
    for (auto it = loaded.values.maxLength.cbegin(); it != loaded.values.maxLength.cend(); ++it)
        if (it.key().startsWith(prefix))
            widths.insert(it.key().mid(prefix.size()), it.value());
    const std::vector<Finding> found = CheckListRows(grid.listKind, rows, widths, conferences, context);
    findings.insert(findings.end(), found.begin(), found.end());
}

// --- rows of a list ----------------------------------------------------------------------------

class RowChecker {
public:
    RowChecker(int kind, const QMap<QString, int>& widths, const QStringList& conferences,
        const importing::CheckContext& context, std::vector<Finding>& findings)
        : info_(lists::ListKindInfoOf(kind))
        , form_(kind, conferences)
        , widths_(widths)
        , context_(context)
        , findings_(findings)
    {
        // Where the dialog takes free text beside its items, an unlisted text is no fault.
        freeText_.assign(info_.columns.size() + 1, false);
        for (const lists::EntryField& f : form_.fields())
            if (f.input == lists::EntryInput::EditableChoice && f.column >= 0)
                freeText_[static_cast<size_t>(f.column)] = true;
    }

    void check(int row, const QStringList& cells)
    {
        row_ = row;
        flagged_.assign(info_.columns.size() + 1, false);
        form_.fill(cells);
        checkChoices(cells);
        checkRequired();
        checkWidths(); // before the exit checks rewrite any text
        checkExits();
        checkImportRules(cells);
        if (info_.kind >= 3 && info_.kind <= 6 && numbers::IsBlank(cells.value(lists::kListedJournalColumn)))
            add(Severity::Warning, lists::kJournalColumn,
                S("Publikacja nie ma przypisanego czasopisma z listy ministerstwa (%1)")
                        .arg(quoted(cells.value(lists::kJournalColumn)))
                    + bestJournalText(cells.value(lists::kJournalColumn)));
    }

    void setJournals(const lists::JournalMatcher* journals) { journals_ = journals; }

    void add(Severity severity, int column, const QString& message)
    {
        if (column >= 0 && column < static_cast<int>(info_.columns.size())) {
            if (flagged_[static_cast<size_t>(column)])
                return; // one finding per cell: the first rule that fails it
            flagged_[static_cast<size_t>(column)] = true;
        }
        Finding f;
        f.severity = severity;
        f.section = info_.section;
        f.listKind = info_.kind;
        f.row = row_ + 1;
        f.column = column;
        f.field = column >= 0 ? info_.columns.at(static_cast<size_t>(column)).header : QString();
        f.message = message;
        findings_.push_back(std::move(f));
    }

    void setRow(int row) { row_ = row; }

private:
    // A stored text that none of a drop-down's items equals: the dialog would show the drop-down
    // unset. For the degree rights, a discipline the row's domain does not have.
    void checkChoices(const QStringList& cells)
    {
        for (int i = 0; i < form_.count(); ++i) {
            const lists::EntryField& f = form_.field(i);
            const QString cell = cells.value(f.column);
            if (f.column < 0 || numbers::IsBlank(cell))
                continue;
            if (f.input == lists::EntryInput::Choice && form_.text(i).isEmpty())
                add(Severity::Error, f.column,
                    S("Wartość %1 pola %2 nie należy do listy wyboru").arg(quoted(cell), quoted(f.caption)));
            else if (f.input == lists::EntryInput::CheckList && !flaggedDomain())
                checkDisciplines(i, cell);
        }
    }

    bool flaggedDomain() const
    {
        const int domain = form_.indexOfRole(lists::EntryRole::Domain);
        const int column = domain >= 0 ? form_.field(domain).column : -1;
        return column >= 0 && flagged_[static_cast<size_t>(column)];
    }

    void checkDisciplines(int i, const QString& cell)
    {
        const QStringList checked = form_.checkedItems(i);
        for (const QString& name : lists::SplitDisciplines(cell)) {
            const bool known = std::any_of(checked.begin(), checked.end(),
                [&name](const QString& item) { return item.compare(name, Qt::CaseInsensitive) == 0; });
            if (!known) {
                add(Severity::Error, form_.field(i).column,
                    S("Dyscyplina %1 nie należy do wybranej dziedziny").arg(quoted(name)));
                return;
            }
        }
    }

    // "zapamiętaj zmiany" of the entry dialog: empty required fields and unset drop-downs.
    void checkRequired()
    {
        const lists::EntryForm::Acceptance acceptance = form_.accept();
        for (size_t k = 0; k < acceptance.rows.size(); ++k)
            add(Severity::Error, form_.field(acceptance.rows[k]).column,
                acceptance.lines.at(static_cast<qsizetype>(k)));
    }

    // The checks of the entry dialog's fields as the user leaves them.
    void checkExits()
    {
        for (int i = 0; i < form_.count(); ++i) {
            const QString typed = form_.text(i);
            const lists::ExitCheck exit = form_.leave(i, context_.reportingYear);
            if (!exit.ok)
                add(Severity::Error, form_.field(i).column, exit.message + S(": ") + quoted(typed));
        }
    }

    // The text import's rule table over the stored row. Emptiness stays the entry dialog's to judge
    // (it knows which fields are optional), so a blank cell is left to its acceptance check.
    void checkImportRules(const QStringList& cells)
    {
        const importing::RowCheck check = importing::CheckRowCells(info_.kind, cells, row_ + 1, context_);
        for (const importing::ImportFinding& f : check.findings) {
            const auto column = static_cast<size_t>(f.column);
            if (f.column >= 0 && (numbers::IsBlank(cells.value(f.column)) || freeText_.at(column)))
                continue;
            add(Severity::Error, f.column, f.message);
        }
    }

    // The entry dialog's refusal of a text longer than its field's declared width.
    void checkWidths()
    {
        const lists::EntryForm::Acceptance tooLong = form_.checkWidths(widths_);
        for (size_t k = 0; k < tooLong.rows.size(); ++k)
            add(Severity::Error, form_.field(tooLong.rows[k]).column, tooLong.lines.at(static_cast<qsizetype>(k)));
    }

    // "; najbliższe na liście: "Name" (70 pkt, część B)", or nothing without a list or a suggestion.
    // Titles repeat over a list's rows, so each is looked up once.
    QString bestJournalText(const QString& typed)
    {
        if (journals_ == nullptr || numbers::IsBlank(typed))
            return {};
        const QString key = lists::titleGroupKey(typed);
        const auto known = bestByTitle_.constFind(key);
        if (known != bestByTitle_.constEnd())
            return *known;
        QString text;
        const lists::JournalMatch match = journals_->match(typed);
        const std::vector<lists::Suggestion> suggestions = journals_->suggest(typed);
        if (match.kind == lists::MatchKind::Ambiguous) {
            // Several journals carry the title: the user must say which, none is taken for them.
            QStringList named;
            for (const int journal : match.journals) {
                const lists::ListedJournal& listed = journals_->journal(journal);
                named << S("%1 (%2 pkt)").arg(quoted(listed.name), listed.points);
            }
            text = S("; tytuł pasuje do kilku czasopism z listy: %1 - wybierz jedno w oknie \"Dane szczegółowe\" "
                     "lub w \"Nieprzypisane czasopisma\"")
                       .arg(named.join(QStringLiteral(", ")));
        } else if (!suggestions.empty()) {
            const lists::ListedJournal& best = journals_->journal(suggestions.front().journal);
            text = S("; najbliższe na liście: %1 (%2 pkt, część %3)")
                       .arg(quoted(best.name), best.points, lists::partLetter(best.part));
        }
        bestByTitle_.insert(key, text);
        return text;
    }

    const lists::ListKindInfo& info_;
    const lists::JournalMatcher* journals_ = nullptr;
    QHash<QString, QString> bestByTitle_;
    lists::EntryForm form_;
    const QMap<QString, int>& widths_;
    const importing::CheckContext& context_;
    std::vector<bool> freeText_;
    std::vector<Finding>& findings_;
    int row_ = 0;
    std::vector<bool> flagged_;
};

bool allBlank(const QStringList& row)
{
    return std::all_of(row.begin(), row.end(), [](const QString& cell) { return numbers::IsBlank(cell); });
}

// The kind's import context; a survey put together without one gets the schema's widths.
importing::CheckContext importContextOf(const StoredSurvey& survey, int kind)
{
    if (kind >= 0 && kind < static_cast<int>(survey.importContexts.size()))
        return survey.importContexts[static_cast<size_t>(kind)];
    importing::CheckContext context;
    context.reportingYear = survey.reportingYear;
    return context;
}

void sortFindings(std::vector<Finding>& findings)
{
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return std::tuple(a.section, a.listKind, a.row) < std::tuple(b.section, b.listKind, b.row);
    });
}

} // namespace

QString SeverityText(Severity severity)
{
    return severity == Severity::Error ? S("błąd") : S("ostrzeżenie");
}

QString PlaceText(const Finding& finding)
{
    return finding.listKind >= 0 ? S("wykaz %1").arg(finding.listKind) : S("sekcja %1").arg(finding.section);
}

QString FindingLine(const Finding& finding)
{
    auto plain = [](QString text) {
        for (QChar& c : text)
            if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                c = QLatin1Char(' ');
        return text;
    };
    const QStringList parts = { SeverityText(finding.severity), PlaceText(finding),
        finding.row > 0 ? QString::number(finding.row) : QString(), plain(finding.field), plain(finding.message) };
    return parts.join(QLatin1Char('\t'));
}

namespace {

// The stored texts behind the drop-downs of the pages (single-record tables), as stored.
QMap<QString, QString> readStoredChoices(db::Connection& survey)
{
    QMap<QString, QString> stored;
    for (const form::Section& section : form::FormCatalogue())
        for (const form::Page& page : section.pages)
            form::ForEachControl(page, [&](const form::Row&, const form::Control& control) {
                const form::Conversion conversion = control.binding.conversion;
                if (control.kind != form::ControlKind::DropDown
                    || (conversion != form::Conversion::Choice && conversion != form::Conversion::ChoiceExact))
                    return;
                db::Table table(survey, control.binding.table);
                table.first();
                if (!table.eof() && !table.isNull(control.binding.field))
                    stored.insert(control.name, table.asString(control.binding.field));
            });
    return stored;
}

// The program's journal list, read apart from the search window's view; none when it cannot be
// read (the check then only says that a publication has no journal).
std::shared_ptr<const lists::JournalMatcher> readJournalList(Program& program)
{
    if (!program.journals.isOpen())
        return nullptr;
    try {
        lists::JournalList list(program.journals);
        list.open();
        return list.sharedMatcher();
    } catch (const Error&) {
        return nullptr;
    }
}

// One publication counted twice: each repeat is named on its own row, with the row it repeats.
void addProbableDuplicates(const StoredSurvey& survey, std::vector<Finding>& findings)
{
    lists::PublicationLists publications;
    for (const StoredList& list : survey.lists)
        if (lists::IsPublicationKind(list.kind))
            publications[list.kind] = list.grid.rows();
    for (const lists::ProbableDuplicate& d : lists::FindProbableDuplicates(publications)) {
        const lists::ListKindInfo& info = lists::ListKindInfoOf(d.later.kind);
        Finding f;
        f.severity = Severity::Warning;
        f.section = info.section;
        f.listKind = d.later.kind;
        f.row = d.later.row + 1;
        f.message = S("Możliwy duplikat publikacji %1 (%2): ta sama publikacja jest w wykazie %3, wiersz %4")
                        .arg(quoted(d.title), d.year, lists::PublicationListName(d.earlier.kind))
                        .arg(d.earlier.row + 1);
        findings.push_back(std::move(f));
    }
}

} // namespace

StoredSurvey ReadSurvey(Program& program)
{
    StoredSurvey survey;
    survey.pages = LoadAllSections(program);
    survey.reportingYear = program.state.ReportingYear;
    survey.conferences = lists::StoredConferences(program.survey);
    survey.storedChoices = readStoredChoices(program.survey);
    for (const lists::ListKindInfo& info : lists::ListCatalogue())
        survey.importContexts.push_back(importing::SurveyCheckContext(program.survey, info.kind, survey.reportingYear));
    for (const lists::ListKindInfo& info : lists::ListCatalogue()) {
        if (info.mainWindowGrid)
            continue; // its rows came with the section page
        lists::LoadedList loaded = lists::LoadList(program.survey, info.kind);
        loaded.grid.sortBy(0); // the order the editor shows, so row numbers match
        survey.lists.push_back({ info.kind, std::move(loaded.grid), std::move(loaded.maxLengths) });
    }
    survey.journals = readJournalList(program);
    return survey;
}

std::vector<Finding> CheckListRows(int kind, const lists::ListGrid& grid, const QMap<QString, int>& widths,
    const QStringList& conferences, const importing::CheckContext& context, const lists::JournalMatcher* journals)
{
    std::vector<Finding> findings;
    if (grid.isEmpty())
        return findings;
    RowChecker checker(kind, widths, conferences, context, findings);
    checker.setJournals(journals);
    for (int r = 0; r < grid.rowCount(); ++r)
        if (!allBlank(grid.row(r)))
            checker.check(r, grid.row(r));
    // The test the editor makes before it saves the list.
    for (const auto& [row, first] : grid.duplicateRows()) {
        checker.setRow(row);
        checker.add(Severity::Error, -1,
            S("Pozycja identyczna z pozycją w wierszu %1 - wykazu nie można zapisać, dopóki jej się nie usunie")
                .arg(first + 1));
    }
    return findings;
}

std::vector<Finding> CheckSurvey(const StoredSurvey& survey)
{
    std::vector<Finding> findings;
    for (const LoadedPage& loaded : survey.pages) {
        if (!loaded.page)
            continue;
        PageChecker(loaded, survey.storedChoices, findings).run();
        form::ForEachControl(*loaded.page, [&](const form::Row&, const form::Control& control) {
            if (control.kind == form::ControlKind::Grid)
                checkGrid(loaded, control, survey.conferences, importContextOf(survey, control.listKind), findings);
        });
    }
    for (const StoredList& list : survey.lists) {
        const std::vector<Finding> found = CheckListRows(list.kind, list.grid, list.widths, survey.conferences,
            importContextOf(survey, list.kind), survey.journals.get());
        findings.insert(findings.end(), found.begin(), found.end());
    }
    addProbableDuplicates(survey, findings);
    sortFindings(findings);
    return findings;
}

int ErrorCount(const std::vector<Finding>& findings)
{
    return static_cast<int>(
        std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return f.isError(); }));
}

int WarningCount(const std::vector<Finding>& findings)
{
    return static_cast<int>(findings.size()) - ErrorCount(findings);
}

} // namespace vestrum::check
