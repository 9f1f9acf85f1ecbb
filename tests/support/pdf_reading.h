#pragma once

// A written PDF read back with the system's tools, as an archive's validator or a reader's viewer
// would meet it: its text per page (pdftotext), its objects (qpdf's JSON), its fonts (pdffonts) and
// its XMP. Each reader gives nothing when its tool is not installed.

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <optional>

namespace vestrum::testing {

inline std::optional<QByteArray> pdfToolOutput(const QString& name, const QStringList& arguments)
{
    const QString tool = QStandardPaths::findExecutable(name);
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, arguments);
    process.waitForFinished(120000);
    return process.readAllStandardOutput();
}

// The text of each page.
inline std::optional<QStringList> pdfPageTexts(const QString& path)
{
    const auto text = pdfToolOutput(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path,
                                                                  QStringLiteral("-")});
    if (!text)
        return std::nullopt;
    QStringList pages = QString::fromUtf8(*text).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// A PDF string or name as qpdf's JSON writes it ("u:text", "/Name"), without the mark.
inline QString pdfText(const QJsonValue& value)
{
    const QString text = value.toString();
    return text.startsWith(QStringLiteral("u:")) ? text.mid(2) : text;
}

// Every object of the file with its stream data decoded, and the trailer.
struct PdfObjects {
    QString version;
    QJsonObject objects; // "obj:N 0 R" -> {"value": …} or {"stream": {"dict", "data"}}
    QJsonObject trailer;

    QJsonObject value(const QJsonValue& reference) const
    {
        return objects.value(QStringLiteral("obj:") + reference.toString())[QStringLiteral("value")].toObject();
    }
    QJsonObject streamDictionary(const QJsonValue& reference) const
    {
        return objects.value(QStringLiteral("obj:") + reference.toString())[QStringLiteral("stream")][QStringLiteral("dict")]
            .toObject();
    }
    QByteArray streamData(const QJsonValue& reference) const
    {
        return QByteArray::fromBase64(objects.value(QStringLiteral("obj:") + reference.toString())[QStringLiteral("stream")]
                                          [QStringLiteral("data")]
                                              .toString()
                                              .toLatin1());
    }
    QJsonObject catalogue() const { return value(trailer.value(QStringLiteral("/Root"))); }
    QJsonObject info() const { return value(trailer.value(QStringLiteral("/Info"))); }
};

inline std::optional<PdfObjects> readPdfObjects(const QString& path)
{
    const auto json = pdfToolOutput(QStringLiteral("qpdf"), {QStringLiteral("--json"), QStringLiteral("--json-key=qpdf"),
                                                             QStringLiteral("--json-stream-data=inline"), path});
    if (!json)
        return std::nullopt;
    const QJsonArray parts = QJsonDocument::fromJson(*json).object().value(QStringLiteral("qpdf")).toArray();
    PdfObjects read;
    read.version = parts.at(0)[QStringLiteral("pdfversion")].toString();
    read.objects = parts.at(1).toObject();
    read.trailer = read.objects.value(QStringLiteral("trailer"))[QStringLiteral("value")].toObject();
    return read;
}

struct PdfFont {
    QString name;
    bool embedded = false;
};

inline std::optional<QList<PdfFont>> pdfFonts(const QString& path)
{
    const auto listing = pdfToolOutput(QStringLiteral("pdffonts"), {path});
    if (!listing)
        return std::nullopt;
    QList<PdfFont> fonts;
    // name, type words, encoding, then emb sub uni yes/no, object number and generation
    static const QRegularExpression row(QStringLiteral("^(\\S+)\\s.*\\s(yes|no)\\s+(?:yes|no)\\s+(?:yes|no)\\s+\\d+\\s+\\d+\\s*$"));
    for (const QString& line : QString::fromUtf8(*listing).split(u'\n'))
        if (const auto match = row.match(line); match.hasMatch())
            fonts.append({match.captured(1), match.captured(2) == QStringLiteral("yes")});
    return fonts;
}

// The XMP's properties by qualified name ("dc:title", "pdfaid:part"), whether written as elements
// (the items of an rdf:Alt or rdf:Seq joined) or as attributes of an rdf:Description.
inline QMap<QString, QString> xmpProperties(const QByteArray& xmp)
{
    QMap<QString, QString> properties;
    QXmlStreamReader reader(xmp);
    QStringList open;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            open.append(reader.qualifiedName().toString());
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                if (!attribute.qualifiedName().startsWith(QStringLiteral("rdf:"))
                    && !attribute.qualifiedName().startsWith(QStringLiteral("xml")))
                    properties.insert(attribute.qualifiedName().toString(), attribute.value().toString());
        } else if (reader.isEndElement()) {
            open.removeLast();
        } else if (reader.isCharacters() && !reader.isWhitespace()) {
            for (auto name = open.crbegin(); name != open.crend(); ++name)
                if (!name->startsWith(QStringLiteral("rdf:"))) {
                    properties[*name] += reader.text().toString();
                    break;
                }
        }
    }
    if (reader.hasError())
        properties.insert(QStringLiteral("error"), reader.errorString());
    return properties;
}

// "D:20080301110000Z", "D:20080301120000+01'00'" and "2008-03-01T11:00:00Z" as one moment.
inline QDateTime pdfDateTime(QString text)
{
    if (text.startsWith(QStringLiteral("D:"))) {
        static const QRegularExpression date(QStringLiteral("^D:(\\d{14})(Z|[+-]\\d\\d'\\d\\d'?)?"));
        const auto match = date.match(text);
        if (!match.hasMatch())
            return {};
        QString zone = match.captured(2);
        zone = zone.isEmpty() || zone == QStringLiteral("Z") ? QStringLiteral("Z") : zone.left(3) + u':' + zone.mid(4, 2);
        text = QDateTime::fromString(match.captured(1), QStringLiteral("yyyyMMddHHmmss")).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + zone;
    }
    return QDateTime::fromString(text, Qt::ISODate);
}

// The ligature letters of Unicode's Alphabetic Presentation Forms ("ﬀ" to "ﬆ") found in `text`.
inline QString ligaturesIn(const QString& text)
{
    QString found;
    for (QChar c : text)
        if (c.unicode() >= 0xFB00 && c.unicode() <= 0xFB06)
            found += c;
    return found;
}

} // namespace vestrum::testing
