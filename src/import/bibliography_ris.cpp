#include "import/bibliography.h"

#include <algorithm>

#include "import/import_text.h"

#include <QHash>

// RIS as reference managers and repositories export it: one "XX  - value" line per field, a tag
// repeated for every author, records from "TY  - " to "ER  - ". A line without a tag continues the
// field before it (long abstracts are wrapped so). A last record without its "ER" is still taken.
namespace vestrum::importing {
namespace {

using Record = QHash<QString, QStringList>;

bool isTagLine(const QString& line)
{
    if (line.size() < 5)
        return false;
    const QChar a = line[0];
    const QChar b = line[1];
    return a.isUpper() && a.unicode() < 0x80 && (b.isUpper() || b.isDigit()) && b.unicode() < 0x80 && line[2] == u' '
        && line[3] == u' ' && line[4] == u'-' && (line.size() == 5 || line[5] == u' ');
}

QString first(const Record& record, std::initializer_list<const char*> tags)
{
    for (const char* tag : tags)
        for (const QString& value : record.value(QString::fromLatin1(tag)))
            if (!value.trimmed().isEmpty())
                return value.simplified();
    return {};
}

QString yearIn(const QString& text)
{
    for (qsizetype i = 0; i + 4 <= text.size(); ++i) {
        const QStringView four = QStringView(text).sliced(i, 4);
        if (std::all_of(four.begin(), four.end(), [](QChar c) { return c.isDigit(); }))
            return four.toString();
    }
    return {};
}

BibPerson personOf(const QString& written)
{
    const QString name = written.simplified();
    const qsizetype comma = name.indexOf(u',');
    // Without a comma a name is no "Last, First": an institution, kept as written.
    if (comma < 0)
        return { name, QString(), true };
    // "Last, First, Suffix": the suffix is no given name.
    const QStringList parts = name.split(u',');
    return { parts[0].trimmed(), parts.value(1).trimmed(), false };
}

BibEntry entryOf(const Record& record)
{
    BibEntry entry;
    const QString type = first(record, { "TY" }).toUpper();
    entry.typeLabel = type;
    if (type == QLatin1String("JOUR"))
        entry.kind = EntryKind::Article;
    else if (type == QLatin1String("BOOK"))
        entry.kind = EntryKind::Book;
    else if (type == QLatin1String("CHAP"))
        entry.kind = EntryKind::Chapter;
    entry.title = first(record, { "TI", "T1" });
    if (entry.kind == EntryKind::Article)
        entry.journal = first(record, { "T2", "JF", "JO", "JA" });
    if (entry.kind == EntryKind::Chapter)
        entry.bookTitle = first(record, { "T2", "BT" });
    if (entry.kind == EntryKind::Book && entry.title.isEmpty())
        entry.title = first(record, { "BT" });
    for (const char* tag : { "AU", "A1" })
        for (const QString& name : record.value(QString::fromLatin1(tag)))
            if (!name.trimmed().isEmpty())
                entry.authors.push_back(personOf(name));
    entry.year = yearIn(first(record, { "PY", "Y1", "DA" }));
    entry.volume = first(record, { "VL" });
    entry.issue = first(record, { "IS" });
    const QString start = first(record, { "SP" });
    const QString end = first(record, { "EP" });
    entry.pages = !start.isEmpty() && !end.isEmpty() && start != end ? start + u'-' + end : start;
    entry.issn = first(record, { "SN" });
    entry.publisher = first(record, { "PB" });
    entry.place = first(record, { "CY" });
    return entry;
}

} // namespace

Bibliography ReadRis(const QString& text)
{
    Bibliography out;
    out.format = BibliographyFormat::Ris;
    Record record;
    bool inRecord = false;
    QString lastTag;
    auto finish = [&] {
        if (inRecord)
            out.entries.push_back(entryOf(record));
        record.clear();
        inRecord = false;
        lastTag.clear();
    };
    for (const QString& line : SplitLines(text)) {
        if (!isTagLine(line)) {
            if (inRecord && !lastTag.isEmpty() && !line.trimmed().isEmpty()) {
                QString& value = record[lastTag].last();
                value += u' ';
                value += line.trimmed();
            }
            continue;
        }
        const QString tag = line.left(2);
        const QString value = line.mid(6).trimmed();
        if (tag == QLatin1String("TY")) {
            finish();
            inRecord = true;
        } else if (tag == QLatin1String("ER")) {
            finish();
            continue;
        }
        if (!inRecord)
            continue;
        record[tag].append(value);
        lastTag = tag;
    }
    finish();
    return out;
}

} // namespace vestrum::importing
