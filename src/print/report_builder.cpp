#include "print/report_builder.h"

#include "lists/list_data.h"
#include "survey/form_catalogue.h"
#include "survey/section_data.h"

#include <QStringList>

namespace vestrum::report {
namespace {

const QString kBreak = QStringLiteral("\r\n");

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

bool isBlank(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > u' ')
            return false;
    return true;
}

// Appends runs, joining neighbours of one style so the document stays small, and marks where
// entries begin and which paragraphs stay with the next line.
class Writer {
public:
    explicit Writer(ReportDocument& document) : document_(document) {}

    void write(const QString& text, RunStyle style)
    {
        if (text.isEmpty())
            return;
        std::vector<Run>& runs = document_.runs;
        if (!runs.empty() && runs.back().style == style)
            runs.back().text += text;
        else
            runs.push_back({text, style});
        length_ += text.size();
    }
    void heading(const QString& text) { keptLine(text, RunStyle::Bold); }
    void subHeading(const QString& text) { keptLine(text, RunStyle::BoldItalic); }
    void lineBreak(RunStyle style = RunStyle::BoldItalic) { write(kBreak, style); }
    // A blank line between a heading and what it heads: it goes with them to the next page.
    void headingBreak(RunStyle style) { keptLine(QString(), style); }
    void startEntry(int entry) { document_.entryStarts.push_back({entry, length_}); }

private:
    void keptLine(const QString& text, RunStyle style)
    {
        document_.keptWithNext.push_back(length_);
        write(text + kBreak, style);
    }

    ReportDocument& document_;
    qsizetype length_ = 0;
};

// Builds one report over one source.
class Builder {
public:
    Builder(const ReportSource& source, Writer& out) : source_(source), out_(out) {}

    void entryBody(const ReportEntry& entry)
    {
        const form::Page& page = pageOf(entry);
        const FieldValues values = source_.page ? source_.page(entry.sectionIndex, entry.pageIndex) : FieldValues{};
        switch (entry.body) {
        case Body::FieldRows:
            fieldRows(page, values);
            break;
        case Body::Grid:
            gridOfPage(page, values);
            break;
        case Body::ListBox:
            listBox(page, values);
            break;
        case Body::MultiLine:
            multiLineOfPage(page, values);
            break;
        case Body::Nothing:
            break;
        }
    }

private:
    static const form::Page& pageOf(const ReportEntry& entry)
    {
        const form::Section& section = form::FormCatalogue().at(static_cast<size_t>(entry.sectionIndex));
        return section.pages.at(static_cast<size_t>(entry.pageIndex));
    }

    // The rows of a form page in input order.
    void fieldRows(const form::Page& page, const FieldValues& values)
    {
        for (const form::Row& row : page.rows) {
            if (row.marker == form::NoteRow)
                continue;
            if (row.marker == form::ColumnCaptionRow || !row.captions.isEmpty()) {
                captionRow(row);
                continue;
            }
            if (row.controls.empty()) {
                out_.write(row.label + S(": "), RunStyle::BoldItalic);
                out_.lineBreak();
                continue;
            }
            const form::Control& first = row.controls.front();
            if (first.kind == form::ControlKind::ListButton) {
                out_.write(row.label + S(": "), RunStyle::BoldItalic);
                list(first.listKind >= 0 ? first.listKind : form::ListKindForButtonTag(first.buttonTag));
                continue;
            }
            valueRow(row, values);
        }
    }

    void captionRow(const form::Row& row)
    {
        out_.write(S("/ "), RunStyle::Italic);
        for (qsizetype i = 0; i < row.captions.size(); ++i) {
            const bool last = i + 1 == row.captions.size();
            out_.write(row.captions.at(i) + (last ? S(" /") : S("; ")), RunStyle::Regular);
        }
        out_.lineBreak(RunStyle::Regular);
    }

    void valueRow(const form::Row& row, const FieldValues& values)
    {
        out_.write(row.label + S(": "), RunStyle::Italic);
        const form::Control& first = row.controls.front();
        switch (first.kind) {
        case form::ControlKind::DropDown: {
            const QString chosen = values.text.value(first.name);
            if (first.items.isEmpty() || chosen != first.items.front())
                out_.write(chosen, RunStyle::Regular);
            break;
        }
        case form::ControlKind::MultiLine:
            out_.lineBreak();
            multiLine(values.text.value(first.name));
            break;
        default:
            if (first.isTextInput())
                out_.write(values.text.value(first.name), RunStyle::Regular);
            break;
        }
        const size_t inputs = std::min<size_t>(row.controls.size(), 4);
        for (size_t i = 1; i < inputs; ++i) {
            const form::Control& further = row.controls[i];
            if (further.kind == form::ControlKind::MultiLine || !further.isTextInput())
                continue;
            out_.write(S("; ") + values.text.value(further.name), RunStyle::Regular);
        }
        out_.lineBreak(RunStyle::Regular);
    }

    // A list button's list, loaded as its editor shows it.
    void list(int listKind)
    {
        const lists::ListGrid grid = source_.list ? source_.list(listKind) : lists::ListGrid();
        out_.write(S("\r\nLiczba: "), RunStyle::Italic);
        bool empty = grid.rowCount() == 1;
        for (const QString& cell : grid.row(0))
            empty = empty && isBlank(cell);
        if (empty) {
            out_.write(S("0\r\n"), RunStyle::Regular);
            out_.write(S("Wykaz: "), RunStyle::Italic);
            captionLine(grid.headers());
            return;
        }
        out_.write(QString::number(grid.rowCount()) + kBreak, RunStyle::Regular);
        out_.write(S("Wykaz: "), RunStyle::Italic);
        gridLines(grid.headers(), GridRows(grid.rows().begin(), grid.rows().end()));
    }

    void gridOfPage(const form::Page& page, const FieldValues& values)
    {
        for (const form::Row& row : page.rows)
            for (const form::Control& control : row.controls) {
                if (control.kind != form::ControlKind::Grid)
                    continue;
                QStringList headers;
                for (const form::GridColumn& column : control.columns)
                    headers.append(column.header);
                GridRows rows = values.grids.value(control.name);
                if (rows.isEmpty())
                    rows.append(QStringList());
                gridLines(headers, rows);
                return;
            }
    }

    void captionLine(const QStringList& headers)
    {
        QStringList captions;
        for (const QString& header : headers)
            captions.append(header.startsWith(u'*') ? header.mid(2) : header);
        out_.write(S("/ ") + captions.join(S("; ")) + S(" /\r\n"), RunStyle::Italic);
    }

    void gridLines(const QStringList& headers, const GridRows& rows)
    {
        captionLine(headers);
        if (rows.size() == 1) {
            bool allEmpty = true;
            for (const QString& cell : rows.front())
                allEmpty = allEmpty && cell.isEmpty();
            if (allEmpty)
                return;
        }
        for (const QStringList& row : rows) {
            out_.write(S(" - "), RunStyle::Italic);
            QStringList cells = row;
            while (cells.size() < headers.size())
                cells.append(QString());
            out_.write(cells.join(S("; ")), RunStyle::Regular);
            out_.write(kBreak, RunStyle::Italic);
        }
    }

    void listBox(const form::Page& page, const FieldValues& values)
    {
        for (const form::Row& row : page.rows)
            for (const form::Control& control : row.controls)
                if (control.kind == form::ControlKind::ChosenList) {
                    chosenLines(values.lines.value(control.name));
                    return;
                }
    }

    // No codes chosen is said as an empty list says it, so that the sub-heading above has a line
    // to stay with at a page foot.
    void chosenLines(const QStringList& chosen)
    {
        if (chosen.isEmpty()) {
            out_.write(S("Liczba: "), RunStyle::Italic);
            out_.write(S("0"), RunStyle::Regular);
        } else {
            out_.write(chosen.join(S(", ")), RunStyle::Regular);
        }
        out_.lineBreak(RunStyle::Regular);
    }

    void multiLineOfPage(const form::Page& page, const FieldValues& values)
    {
        for (const form::Row& row : page.rows)
            for (const form::Control& control : row.controls)
                if (control.kind == form::ControlKind::MultiLine) {
                    multiLine(values.text.value(control.name));
                    return;
                }
    }

    // The lines as typed: hard line breaks only.
    void multiLine(QString text)
    {
        if (text.isEmpty())
            return;
        text.replace(S("\r\n"), S("\n")).replace(u'\r', u'\n');
        for (const QString& line : text.split(u'\n'))
            out_.write(line + kBreak, RunStyle::Regular);
    }

    const ReportSource& source_;
    Writer& out_;
};

QString capitalisedPartText(const QString& text)
{
    QString rest = text.mid(4);
    if (!rest.isEmpty())
        rest[0] = rest[0].toUpper();
    return rest;
}

constexpr int kPatentsParent = 22;

int firstTickedPartOf(const TickedEntries& ticked, int parent)
{
    for (int part : PartsOf(parent))
        if (ticked.test(static_cast<size_t>(part)))
            return part;
    return -1;
}

int lastTickedPartOf(const TickedEntries& ticked, int parent)
{
    int last = -1;
    for (int part : PartsOf(parent))
        if (ticked.test(static_cast<size_t>(part)))
            last = part;
    return last;
}

void writeHeading(Writer& out, const ReportEntry& entry, const ReportEntry* parent, bool firstTickedPart)
{
    switch (entry.heading) {
    case HeadingForm::Heading:
        out.heading(entry.text);
        break;
    case HeadingForm::PageCaption: {
        // Section 1: its heading and one more line break before the first part, then the page caption.
        if (firstTickedPart) {
            out.heading(parent->text);
            out.headingBreak(RunStyle::Bold);
        }
        const form::Section& section = form::FormCatalogue().at(static_cast<size_t>(entry.sectionIndex));
        out.subHeading(section.pages.at(static_cast<size_t>(entry.pageIndex)).title + QStringLiteral(":"));
        break;
    }
    case HeadingForm::None:
        if (firstTickedPart) {
            out.heading(parent->text);
            out.headingBreak(RunStyle::BoldItalic);
        }
        break;
    case HeadingForm::ParentText:
        out.heading(parent->text);
        break;
    case HeadingForm::OwnTextCapitalised:
        out.subHeading(capitalisedPartText(entry.text));
        break;
    }
}

// The unit's full name as the unit-data page of section 1 shows it.
QString unitName(const ReportSource& source)
{
    constexpr int kUnitDataEntry = 1;
    const ReportEntry& unitData = ReportEntries().at(kUnitDataEntry);
    if (!source.page)
        return {};
    return source.page(unitData.sectionIndex, unitData.pageIndex).text.value(QStringLiteral("e001")).simplified();
}

} // namespace

QString ReportDocument::plainText() const
{
    QString text;
    for (const Run& run : runs)
        text += run.text;
    return text;
}

ReportDocument BuildReport(const TickedEntries& ticked, const ReportSource& source, const QString& reportingYear,
                           const ReportProgress& progress)
{
    ReportDocument document;
    document.setup.headerText = S("Vestrum za rok ") + reportingYear;
    document.reportingYear = reportingYear;
    document.unitName = unitName(source);
    Writer out(document);
    Builder builder(source, out);
    const std::vector<ReportEntry>& entries = ReportEntries();
    const int total = static_cast<int>(ticked.count());
    int step = 0;

    for (const ReportEntry& entry : entries) {
        if (!ticked.test(static_cast<size_t>(entry.index)))
            continue;
        const ReportEntry* parent = entry.parent >= 0 ? &entries.at(static_cast<size_t>(entry.parent)) : nullptr;
        if (progress)
            progress(++step, total, parent ? parent->text : entry.text);
        if (entry.body == Body::Nothing)
            continue; // a parent prints through its parts
        const bool firstTickedPart = parent && firstTickedPartOf(ticked, parent->index) == entry.index;
        if (firstTickedPart)
            out.startEntry(parent->index);
        out.startEntry(entry.index);
        writeHeading(out, entry, parent, firstTickedPart);
        builder.entryBody(entry);
        // Section 15 closes all its parts with one line break; every other entry closes its own.
        if (!parent || parent->index != kPatentsParent)
            out.lineBreak();
        else if (lastTickedPartOf(ticked, parent->index) == entry.index)
            out.lineBreak();
    }
    return document;
}

ReportSource StoredSurvey(Program& program)
{
    ReportSource source;
    source.page = [&program](int sectionIndex, int pageIndex) {
        const form::Section& section = form::FormCatalogue().at(static_cast<size_t>(sectionIndex));
        return LoadPage(program, section.pages.at(static_cast<size_t>(pageIndex)));
    };
    source.list = [&program](int listKind) {
        lists::ListGrid grid = lists::LoadList(program, listKind).grid;
        grid.sortBy(0);
        return grid;
    };
    return source;
}

void SetEntry(TickedEntries& ticked, int entry, bool on)
{
    if (entry < 0 || entry >= kEntryCount)
        return;
    ticked.set(static_cast<size_t>(entry), on);
    for (int part : PartsOf(entry))
        ticked.set(static_cast<size_t>(part), on);
}

bool ParseEntryList(const QString& text, TickedEntries& ticked)
{
    ticked.reset();
    if (text.trimmed().isEmpty())
        return true;
    for (const QString& item : text.split(u',')) {
        bool ok = false;
        const int entry = item.trimmed().toInt(&ok);
        if (!ok || entry < 0 || entry >= kEntryCount) {
            ticked.reset();
            return false;
        }
        SetEntry(ticked, entry, true);
    }
    return true;
}

} // namespace vestrum::report
