#include "survey/field_checks.h"

#include "survey/form_catalogue.h"
#include "base/number_format.h"
#include "program/program.h"

#include <vector>

namespace vestrum::checks {
namespace {

using form::Control;
using form::ControlKind;
using form::Conversion;

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

// Where the label quoted for a rule comes from: the total's own row, or the heading above it
// (the "ogółem" rows are labelled by the heading of their group).
enum class LabelFrom { OwnRow, Heading };

struct SumRule {
    const char* total;
    std::vector<const char*> parts;
    bool tolerance;   // the total may be 0,01 short of the parts
    LabelFrom label;
    bool withOgolem;  // the message says "ogółem nie może byc…" rather than "nie może byc…"
};

// The label of a control's row, or of the nearest heading above it, on its page.
QString labelFor(const QString& control, LabelFrom from)
{
    const form::PageRef ref = form::PageOfControl(control);
    if (!ref.page)
        return {};
    QString heading;
    for (const form::Row& row : ref.page->rows) {
        if (row.controls.empty() && row.layout == form::RowLayout::Heading && row.marker != form::NoteRow)
            heading = row.label;
        for (const Control& c : row.controls)
            if (c.name == control)
                return from == LabelFrom::OwnRow ? row.label : heading;
    }
    return {};
}

qint64 centsOf(const FieldValues& values, const char* control)
{
    return numbers::ToCents(numbers::DecimalOrZero(values.text.value(QString::fromLatin1(control))));
}

PageCheck checkSums(const FieldValues& values, const std::vector<SumRule>& rules)
{
    PageCheck result;
    QStringList lines;
    for (const SumRule& rule : rules) {
        qint64 parts = 0;
        for (const char* part : rule.parts)
            parts += centsOf(values, part);
        const qint64 total = centsOf(values, rule.total) + (rule.tolerance ? 1 : 0);
        if (total >= parts)
            continue;
        const QString control = QString::fromLatin1(rule.total);
        lines << QStringLiteral("Pole: \"%1\" %2")
                     .arg(labelFor(control, rule.label),
                          rule.withOgolem ? S("ogółem nie może byc mniejsze od sumy pól składowych")
                                          : S("nie może byc mniejsze od sumy pól składowych"));
        result.fields << control;
        if (result.ok) {
            result.ok = false;
            result.focus = control;
        }
    }
    result.message = lines.join(QLatin1Char('\n'));
    result.lines = lines;
    return result;
}

bool isStaffField(const QString& name)
{
    return name.size() == 5 && name.startsWith(QLatin1String("me3")) && name.at(3) >= QLatin1Char('1')
        && name.at(3) <= QLatin1Char('6') && name.at(4) >= QLatin1Char('1') && name.at(4) <= QLatin1Char('4');
}

} // namespace

QString RefusalMessage()
{
    return S("Podana wartość jest nieprawidłowa");
}

FieldClass ClassOf(const QString& name)
{
    if (name == QLatin1String("e004"))
        return FieldClass::Date;
    if (name == QLatin1String("e011"))
        return FieldClass::PostalCode;
    const Control* control = form::FindControl(name);
    if (!control)
        return FieldClass::Unchecked;
    if (control->kind == ControlKind::WholeNumber)
        return control->binding.conversion == Conversion::StrictInteger ? FieldClass::StaffCount
                                                                         : FieldClass::WholeNumberOrEmpty;
    if (control->kind == ControlKind::Amount)
        return isStaffField(name) ? FieldClass::StaffAmount : FieldClass::Amount;
    return FieldClass::Unchecked;
}

QString StaffField(int row, int column)
{
    return QStringLiteral("me3%1%2").arg(row).arg(column);
}

void RecomputeStaffColumn(FieldValues& values, int column)
{
    const bool counts = column <= 2;
    qint64 count = 0;
    double amount = 0.0;
    for (int row = 1; row <= 5; ++row) {
        QString& text = values.text[StaffField(row, column)];
        if (counts) {
            const int v = numbers::ParseInteger(text).value_or(0);
            text = numbers::FormatInteger(v);
            count += v;
        } else {
            const double v = numbers::ParseDecimal(text).value_or(0.0);
            text = numbers::FormatAmount(v);
            amount += v;
        }
    }
    values.text[StaffField(6, column)] = counts ? numbers::FormatInteger(count) : numbers::FormatAmount(amount);
}

bool CheckFieldExit(const QString& control, FieldValues& values)
{
    const QString text = values.text.value(control);
    switch (ClassOf(control)) {
    case FieldClass::Unchecked:
        return true;
    case FieldClass::WholeNumberOrEmpty:
        return text.isEmpty() || numbers::ParseInteger(text).has_value();
    case FieldClass::Amount: {
        const auto value = numbers::ParseDecimal(text);
        if (!value)
            return false;
        values.text[control] = numbers::FormatAmount(*value);
        return true;
    }
    case FieldClass::StaffCount:
    case FieldClass::StaffAmount: {
        const bool counts = ClassOf(control) == FieldClass::StaffCount;
        if (counts ? !numbers::ParseInteger(text) : !numbers::ParseDecimal(text))
            return false;
        RecomputeStaffColumn(values, control.at(4).digitValue());
        return true;
    }
    case FieldClass::Date: {
        if (text.isEmpty())
            return true;
        const auto date = numbers::NormaliseDate(text);
        if (!date)
            return false;
        values.text[control] = *date;
        return true;
    }
    case FieldClass::PostalCode: {
        if (text.isEmpty())
            return true;
        const auto code = numbers::NormalisePostalCode(text);
        if (!code)
            return false;
        values.text[control] = *code;
        return true;
    }
    }
    return true;
}

PageCheck CheckSection17(const FieldValues& values)
{
    static const std::vector<SumRule> rules = {
        {"me1801", {"me1802", "me1806"}, true, LabelFrom::OwnRow, true},
        {"me1802", {"me1803", "me1804", "me1805"}, true, LabelFrom::Heading, true},
        {"me1806", {"me1807", "me1808"}, true, LabelFrom::Heading, true},
        {"me1813", {"me1809", "me1810"}, true, LabelFrom::Heading, true},
        {"me1810", {"me1811", "me1812"}, true, LabelFrom::OwnRow, true},
    };
    return checkSums(values, rules);
}

PageCheck CheckSection18(const FieldValues& values)
{
    static const std::vector<SumRule> rules = {
        {"me1901", {"me1902", "me1907", "me1908"}, true, LabelFrom::Heading, true},
        {"me1902", {"me1903", "me1904", "me1905", "me1906"}, true, LabelFrom::OwnRow, false},
        {"me1908", {"me1909"}, false, LabelFrom::OwnRow, false},
        {"me1910", {"me1911"}, false, LabelFrom::OwnRow, false},
        {"me1912", {"me1913"}, false, LabelFrom::Heading, true},
    };
    return checkSums(values, rules);
}

PageCheck PrepareSave(Program& program, int tag, FieldValues& values)
{
    PageCheck check;
    if (tag == 18)
        check = CheckSection17(values);
    else if (tag == 19)
        check = CheckSection18(values);
    else if (tag == 3) {
        // The head counts are written by strict conversion, so every column is put in its
        // standard form first. A first field that cannot be read at all is refused here, with
        // the field's own message, rather than by a conversion error half-way through the save.
        for (int column = 1; column <= 4; ++column) {
            const QString first = StaffField(1, column);
            const QString text = values.text.value(first);
            const bool readable = column <= 2 ? numbers::ParseInteger(text).has_value()
                                              : numbers::ParseDecimal(text).has_value();
            if (!readable) {
                check.ok = false;
                check.focus = first;
                check.message = RefusalMessage();
                break;
            }
            RecomputeStaffColumn(values, column);
        }
    }
    if (!check.ok)
        program.notify(check.message, 0, MessageKind::Warning);
    return check;
}

bool IsValidRegon(const QString& text)
{
    static const std::vector<int> nine = {8, 9, 2, 3, 4, 5, 6, 7};
    static const std::vector<int> fourteen = {2, 4, 8, 5, 0, 9, 7, 3, 6, 1, 2, 4, 8};
    if (text.size() != 9 && text.size() != 14)
        return false;
    const std::vector<int>& weights = text.size() == 9 ? nine : fourteen;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    int sum = 0;
    for (size_t i = 0; i < weights.size(); ++i)
        sum += weights[i] * text.at(static_cast<qsizetype>(i)).digitValue();
    return sum % 11 % 10 == text.back().digitValue();
}

int CaptionCount(const QString& caption)
{
    // Both captions ("liczba=" + N + " -> wykaz" and "wykaz (" + N + " pozycji)") have a
    // seven-character prefix before the number.
    QString rest = caption.mid(7).trimmed();
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    if (blank >= 0)
        rest.truncate(blank);
    return numbers::ParseInteger(rest).value_or(0);
}

void SumPublicationLists(FieldValues& values)
{
    int sum = 0;
    for (const char* button : {"bb801", "bb802", "bb803", "bb804"})
        sum += CaptionCount(values.text.value(QString::fromLatin1(button)));
    values.text[QStringLiteral("me8")] = numbers::FormatInteger(sum);
}

void SumProjectLists(FieldValues& values)
{
    int sum = 0;
    for (const char* button : {"bb1501", "bb1502"})
        sum += CaptionCount(values.text.value(QString::fromLatin1(button)));
    values.text[QStringLiteral("me1501")] = numbers::FormatInteger(sum);
}

void SwitchPkdVersion(FieldValues& values, int version)
{
    values.lines[QStringLiteral("lb032")].clear();
    values.checked[QStringLiteral("rb031")] = version != 2007;
    values.checked[QStringLiteral("rb032")] = version == 2007;
}

} // namespace vestrum::checks
