#include "import/bibliography.h"

#include "base/error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>

// CSL JSON, the format citation processors and most repositories exchange: an array of items, each
// with its "type", its titles, its people (family and given, or one literal name) and "issued"
// date parts. Numbers may come as numbers or texts; Qt's parser refuses nesting deeper than it can
// take, so a hostile file is an error, never a crash.
namespace vestrum::importing {
namespace {

QString textOf(const QJsonValue& value)
{
    if (value.isString())
        return value.toString().simplified();
    if (value.isDouble()) {
        const double number = value.toDouble();
        const auto whole = static_cast<qint64>(number);
        return static_cast<double>(whole) == number ? QString::number(whole) : QString::number(number);
    }
    if (value.isArray())
        return textOf(value.toArray().first());
    return {};
}

BibPerson personOf(const QJsonObject& name)
{
    if (name.contains(QLatin1String("literal")))
        return { textOf(name.value(QLatin1String("literal"))), QString(), true };
    QString family = textOf(name.value(QLatin1String("family")));
    const QString particle = textOf(name.value(QLatin1String("non-dropping-particle")));
    if (!particle.isEmpty())
        family = particle + u' ' + family;
    return { family, textOf(name.value(QLatin1String("given"))), false };
}

QString yearOf(const QJsonValue& issued)
{
    const QJsonObject date = issued.toObject();
    const QJsonArray parts = date.value(QLatin1String("date-parts")).toArray();
    QString year = textOf(parts.first().toArray().first());
    if (year.isEmpty())
        year = textOf(date.value(QLatin1String("raw")));
    if (year.isEmpty())
        year = textOf(date.value(QLatin1String("literal")));
    if (year.isEmpty() && issued.isString())
        year = issued.toString();
    for (qsizetype i = 0; i + 4 <= year.size(); ++i) {
        const QStringView four = QStringView(year).sliced(i, 4);
        if (std::all_of(four.begin(), four.end(), [](QChar c) { return c.isDigit(); }))
            return four.toString();
    }
    return {};
}

BibEntry entryOf(const QJsonObject& item)
{
    auto field = [&item](const char* name) { return textOf(item.value(QLatin1String(name))); };
    BibEntry entry;
    const QString type = field("type");
    entry.typeLabel = type.isEmpty() ? QStringLiteral("?") : type;
    if (type == QLatin1String("article-journal"))
        entry.kind = EntryKind::Article;
    else if (type == QLatin1String("book"))
        entry.kind = EntryKind::Book;
    else if (type == QLatin1String("chapter"))
        entry.kind = EntryKind::Chapter;
    entry.title = field("title");
    if (entry.kind == EntryKind::Article)
        entry.journal = field("container-title");
    else if (entry.kind == EntryKind::Chapter)
        entry.bookTitle = field("container-title");
    for (const QJsonValue& name : item.value(QLatin1String("author")).toArray()) {
        BibPerson person = personOf(name.toObject());
        if (!person.family.isEmpty())
            entry.authors.push_back(std::move(person));
    }
    entry.year = yearOf(item.value(QLatin1String("issued")));
    entry.volume = field("volume");
    entry.issue = field("issue");
    entry.pages = field("page").replace(QChar(0x2013), u'-');
    entry.issn = field("ISSN");
    entry.publisher = field("publisher");
    entry.place = field("publisher-place");
    return entry;
}

} // namespace

Bibliography ReadCslJson(const QByteArray& utf8)
{
    QByteArray bytes = utf8;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw Error(QString::fromUtf8("Zbiór nie jest poprawnym plikiem CSL JSON (%1, znak %2).")
                        .arg(error.errorString())
                        .arg(error.offset + 1));
    QJsonArray items = document.array();
    if (document.isObject()) {
        // One item alone, or an export that wraps its items.
        const QJsonObject object = document.object();
        items = object.contains(QLatin1String("items")) ? object.value(QLatin1String("items")).toArray()
                                                        : QJsonArray { object };
    }
    Bibliography out;
    out.format = BibliographyFormat::CslJson;
    for (const QJsonValue& item : items)
        if (item.isObject())
            out.entries.push_back(entryOf(item.toObject()));
    return out;
}

} // namespace vestrum::importing
