#include "lists/xml_exchange.h"

#include "base/error.h"
#include "base/file_modes.h"
#include "lists/list_grid.h"
#include "lists/xml_exchange_scan.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <optional>

namespace vestrum::lists {
namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

QString shownPath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Whether XML 1.0 can hold the character (surrogate pairs are checked by the caller).
bool isXmlCharacter(char16_t c)
{
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r';
    return c != 0xFFFE && c != 0xFFFF;
}

// The cell as it stands between "<![CDATA[" and "]]>": its own line breaks as they are (the reader
// turns CR LF into LF), characters XML cannot hold dropped, and "]]>" (also one that dropping made)
// closing one section and opening the next.
QString cellForFile(const QString& cell)
{
    QString text;
    text.reserve(cell.size());
    const qsizetype size = cell.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = cell[i];
        if (c.isHighSurrogate()) {
            if (i + 1 < size && cell[i + 1].isLowSurrogate()) {
                text += c;
                text += cell[++i];
            }
        } else if (!c.isLowSurrogate() && isXmlCharacter(c.unicode())) {
            text += c;
        }
    }
    text.replace(QLatin1String("]]>"), QLatin1String("]]]]><![CDATA[>"));
    return text;
}

void appendColumn(QByteArray& out, int number, const QString& cell)
{
    const QByteArray n = QByteArray::number(number);
    out += " <kolumna_" + n + "><![CDATA[";
    out += cellForFile(cell).toUtf8();
    out += "]]></kolumna_" + n + ">" + kLineEnd;
}

// The column a column element names: the whole number after the first "_" of its name (blanks
// removed), nothing when there is none. A namespace prefix is no part of the name.
std::optional<int> columnNumberOf(const QString& qualifiedName)
{
    const QString elementName = qualifiedName.mid(qualifiedName.lastIndexOf(QLatin1Char(':')) + 1);
    QString number = elementName.mid(elementName.indexOf(QLatin1Char('_')) + 1);
    number.remove(QLatin1Char(' '));
    bool ok = false;
    const int n = number.toInt(&ok, 10);
    return ok ? std::optional<int>(n) : std::nullopt;
}

// Walks the document once, keeping only what the rows need; a fault anywhere throws before the
// caller sees a single row, so a list is never filled from half a file. The parser reads the file
// through the start-tag scanner, so an element too large for any list never reaches it.
class ListReader {
public:
    ListReader(QIODevice& device, int columnCount, QString source, ReadMonitor* monitor)
        : scanned_(device, monitor)
        , xml_(&scanned_)
        , columns_(columnCount)
        , source_(std::move(source))
    {
        xml_.setNamespaceProcessing(false);
    }

    std::vector<QStringList> read()
    {
        while (!xml_.atEnd()) {
            switch (xml_.readNext()) {
            case QXmlStreamReader::DTD:
                // Entities are declared only in a DTD; refusing it means none is ever expanded or fetched.
                throw Error(QStringLiteral("%1 zawiera deklarację typu dokumentu (DOCTYPE). Program nie wczytuje "
                                           "takich plików.")
                                .arg(source_));
            case QXmlStreamReader::StartElement:
                startElement();
                break;
            case QXmlStreamReader::EndElement:
                endElement();
                break;
            case QXmlStreamReader::Characters:
                if (depth_ == kColumnDepth && column_ >= 0)
                    text_ += xml_.text();
                break;
            case QXmlStreamReader::EntityReference:
                if (depth_ > kRecordDepth)
                    nested_ = true;
                break;
            default:
                break;
            }
        }
        // The scanner ends the data at a fault of its own; the parser then sees a file cut short.
        switch (scanned_.failure()) {
        case ScannedDevice::Failure::TooLarge:
            throw Error(QStringLiteral("%1 nie jest plikiem wykazu: element w wierszu %2 jest zbyt duży.")
                            .arg(source_)
                            .arg(scanned_.tooLargeLine()));
        case ScannedDevice::Failure::Stopped:
            throw ReadStopped();
        case ScannedDevice::Failure::ReadError:
            throw Error(QStringLiteral("%1 nie może zostać odczytany.").arg(source_));
        case ScannedDevice::Failure::None:
            break;
        }
        if (xml_.hasError())
            throw Error(QStringLiteral("%1 nie jest prawidłowym dokumentem XML: błąd w wierszu %2, w kolumnie %3.")
                            .arg(source_)
                            .arg(xml_.lineNumber())
                            .arg(xml_.columnNumber()));
        return std::move(rows_);
    }

private:
    static constexpr int kRecordDepth = 2;
    static constexpr int kColumnDepth = 3;

    void startElement()
    {
        ++depth_;
        if (depth_ == kRecordDepth) {
            QStringList row;
            row.resize(columns_);
            rows_.push_back(std::move(row));
            recordStopped_ = false;
        } else if (depth_ == kColumnDepth) {
            startColumn();
        } else if (depth_ > kColumnDepth) {
            nested_ = true;
        }
    }

    void startColumn()
    {
        column_ = -1;
        if (recordStopped_)
            return;
        const std::optional<int> number = columnNumberOf(xml_.qualifiedName().toString());
        if (!number) {
            recordStopped_ = true; // not a number: the rest of this record is skipped
            return;
        }
        if (*number >= 1 && *number <= columns_) {
            column_ = *number - 1;
            text_.clear();
            nested_ = false;
        }
    }

    void endElement()
    {
        if (depth_ == kColumnDepth && column_ >= 0) {
            rows_.back()[column_] = nested_ ? QString() : text_;
            column_ = -1;
        }
        --depth_;
    }

    ScannedDevice scanned_;
    QXmlStreamReader xml_;
    int columns_;
    QString source_;
    std::vector<QStringList> rows_;
    int depth_ = 0;
    bool recordStopped_ = false;
    int column_ = -1; // cell the open column element fills, -1 when none
    QString text_;
    bool nested_ = false;
};

} // namespace

QByteArray listXml(const std::vector<QStringList>& rows)
{
    QByteArray out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + kLineEnd;
    out += "<eksport>" + kLineEnd;
    for (const QStringList& row : rows) {
        out += "<rekord>" + kLineEnd;
        for (qsizetype c = 0; c < row.size(); ++c)
            appendColumn(out, static_cast<int>(c) + 1, row[c]);
        out += "</rekord>" + kLineEnd;
    }
    out += "</eksport>" + kLineEnd;
    return out;
}

void writeListXml(const QString& path, const ListGrid& grid)
{
    // Decided by the mode, not by a failed open: the rename below would replace the file whoever runs it.
    if (isReadOnlyTarget(path))
        throw Error(readOnlyTargetMessage());
    std::vector<QStringList> rows;
    rows.reserve(static_cast<size_t>(grid.rowCount()));
    for (const QStringList& row : grid.rows()) {
        QStringList cells = row;
        cells.resize(grid.columnCount());
        rows.push_back(std::move(cells));
    }
    const QByteArray bytes = listXml(rows);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Error(QStringLiteral("Nie można zapisać pliku %1. Eksport nie został wykonany.").arg(shownPath(path)));
}

QString exportFilePath(const QString& folder, const QString& typedName)
{
    QString path = typedName;
    if (!path.contains(folder))
        path.prepend(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
    if (!path.contains(QLatin1String(".xml"))) {
        const qsizetype namePart = path.lastIndexOf(QLatin1Char('/')) + 1;
        const qsizetype dot = path.indexOf(QLatin1Char('.'), namePart);
        if (dot >= 0)
            path.truncate(dot);
        path += QLatin1String(".xml");
    }
    return path;
}

std::vector<QStringList> readListXml(QIODevice& device, int columnCount, ReadMonitor* monitor)
{
    return ListReader(device, columnCount, QStringLiteral("Plik"), monitor).read();
}

std::vector<QStringList> readListXml(const QString& path, int columnCount, ReadMonitor* monitor)
{
    refuseSpecialFile(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Nie można otworzyć pliku %1.").arg(shownPath(path)));
    return ListReader(file, columnCount, QStringLiteral("Plik %1").arg(shownPath(path)), monitor).read();
}

QString identificationNotice()
{
    return QStringLiteral("Uwaga!\nPrzeprowadzona została automatyczna identyfikacja czasopism z list ministerstwa. "
                          "Ponieważ jednak wymaga ona, aby nazwa czasopisma była W PEŁNI ZGODNA z zapisem na liście, "
                          "identyfikacja może być niekompletna.");
}

QString importFinishedNotice()
{
    return QStringLiteral("Import został zakończony.\nPonieważ program nie kontroluje poprawności importu, pzed "
                          "zapisaniem danych proszę upewnić się, że zostały one wczytane prawidłowo.");
}

QString exportFinishedNotice()
{
    return QStringLiteral("Eksport został zakończony");
}

QString emptyExportNotice()
{
    return QStringLiteral("W wykazie brak danych do eksportu.");
}

} // namespace vestrum::lists
