#include "cli/list_import_cli.h"

#include "cli/cli_support.h"
#include "cli/import_hand_over.h"

#include "base/error.h"
#include "base/number_format.h"
#include "cli/list_cli.h"
#include "cli/list_xml_cli.h"
#include "datafile/data_file.h"
#include "datafile/survey_file.h"
#include "archive/staged_files.h"
#include "import/import_rules.h"
#include "import/import_text.h"
#include "import/spreadsheet_reader.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "survey/form_catalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <optional>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::S;

struct Request {
    QString surveyPath;
    int kind = -1;
    QString textPath;
    importing::ImportStructure structure;
    bool save = false;
    bool spreadsheet = false; // .xlsx or .ods: cells, not text
    std::optional<importing::TextEncoding> encoding; // --encoding, otherwise detected
    std::optional<int> sheet; // --sheet, from 0; without it the first sheet shown
    bool skipDuplicates = false;
};

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem,
                            "Użycie:\n"
                            "  vestrum-cli list import-text ZBIÓR RODZAJ PLIK (--separator=S | --lines=N) --map=K1,K2,... [--save]\n"
                            "      [--skip-duplicates] [--header] [--no-quotes] [--encoding=utf-8|utf-16le|utf-16be|windows-1250|iso-8859-2]\n"
                            "  vestrum-cli list import-text ZBIÓR RODZAJ ARKUSZ.xlsx|ARKUSZ.ods --map=K1,K2,... [--sheet=N] [--header] "
                            "[--save] [--skip-duplicates]\n"
                            "K1..K12 to numery kolumn wykazu (od 1) dla kolejnych pól opisu (kolumn arkusza), 0 pomija pole.\n"
                            "W wykazach rodzajów 3-6 kolumna 7 to ISSN: identyfikuje czasopismo i jest zapisywany z publikacją.\n"
                            "--separator=tab (albo tabulator) oznacza znak tabulacji.\n"
                            "--header pomija pierwszy wiersz (nazwy kolumn); --no-quotes wyłącza pola w cudzysłowie.\n"
                            "--sheet=N liczy wszystkie arkusze w kolejności skoroszytu, także ukryte; bez tej opcji czytany jest\n"
                            "pierwszy widoczny arkusz.\n");
}

// "--map=2,0,1": positions 1.. get the columns 2, none, 1. Refusals are the messages for the user.
QString readMap(const QString& text, int columns, importing::ImportStructure& structure)
{
    const QStringList entries = text.split(QLatin1Char(','));
    if (entries.size() > importing::kMapPositions)
        return S("Mapa pól może mieć najwyżej %1 pozycji.").arg(importing::kMapPositions);
    for (int n = 0; n < entries.size(); ++n) {
        const std::optional<int> column = numbers::ParseInteger(numbers::TrimBlanks(entries[n]));
        if (!column || *column < 0 || *column > columns)
            return S("Pozycja %1 mapy pól: \"%2\" nie jest numerem kolumny wykazu (od 0 do %3).")
                .arg(n + 1)
                .arg(entries[n])
                .arg(columns);
        structure.map[static_cast<size_t>(n)] = *column - 1;
    }
    return {};
}

// Reads the command line into `request`; returns the refusal, or empty.
QString readRequest(const QStringList& args, Request& request)
{
    QStringList positional;
    std::optional<QString> separator, lines, map, encoding, sheet;
    for (const QString& arg : args) {
        if (arg.startsWith(QLatin1String("--separator=")))
            separator = arg.mid(12);
        else if (arg.startsWith(QLatin1String("--lines=")))
            lines = arg.mid(8);
        else if (arg.startsWith(QLatin1String("--map=")))
            map = arg.mid(6);
        else if (arg.startsWith(QLatin1String("--encoding=")))
            encoding = arg.mid(11);
        else if (arg.startsWith(QLatin1String("--sheet=")))
            sheet = arg.mid(8);
        else if (arg == QLatin1String("--header"))
            request.structure.header = true;
        else if (arg == QLatin1String("--no-quotes"))
            request.structure.quotes = false;
        else if (arg == QLatin1String("--save"))
            request.save = true;
        else if (arg == QLatin1String("--skip-duplicates"))
            request.skipDuplicates = true;
        else if (arg.startsWith(QLatin1String("--")))
            return S("Nieznana opcja: %1").arg(arg);
        else
            positional << arg;
    }
    if (positional.size() != 3 || !map)
        return S("Trzeba podać ZBIÓR, RODZAJ, PLIK, jedną z opcji --separator albo --lines oraz --map.");
    request.spreadsheet = importing::IsSpreadsheetFile(positional[2]);
    if (request.spreadsheet) {
        // A workbook has its cells: there is nothing to separate or decode.
        if (separator || lines)
            return S("Arkusz .xlsx/.ods nie przyjmuje opcji --separator ani --lines.");
        if (encoding)
            return S("Arkusz .xlsx/.ods nie przyjmuje opcji --encoding.");
        if (sheet) {
            const std::optional<int> number = numbers::ParseInteger(*sheet);
            if (!number || *number < 1)
                return S("--sheet: \"%1\" nie jest numerem arkusza (od 1).").arg(*sheet);
            request.sheet = *number - 1;
        }
        separator = QStringLiteral(";"); // the map is checked as for text; cells need no separator
    } else {
        if (separator.has_value() == lines.has_value())
            return S("Trzeba podać ZBIÓR, RODZAJ, PLIK, jedną z opcji --separator albo --lines oraz --map.");
        if (sheet)
            return S("Opcja --sheet dotyczy tylko arkuszy .xlsx/.ods.");
        if (encoding) {
            request.encoding = importing::EncodingFromOption(*encoding);
            if (!request.encoding)
                return S("Nieznane kodowanie: %1 (utf-8, utf-16le, utf-16be, windows-1250, iso-8859-2).")
                    .arg(*encoding);
        }
    }
    request.surveyPath = positional[0];
    request.textPath = positional[2];
    const std::optional<int> kind = numbers::ParseInteger(positional[1]);
    if (!kind || !lists::isListKind(*kind))
        return S("Nieznany rodzaj wykazu: %1.").arg(positional[1]);
    request.kind = *kind;

    importing::ImportStructure& structure = request.structure;
    if (separator) {
        structure.mode = importing::SeparatorMode::Characters;
        structure.separator = importing::SeparatorFromText(*separator);
    } else {
        structure.mode = importing::SeparatorMode::LineEnds;
        if (const QString problem = importing::LineCountProblem(*lines); !problem.isEmpty())
            return problem;
        structure.linesPerRecord = numbers::ParseInteger(numbers::TrimBlanks(*lines)).value_or(1);
    }
    // Publications also take the ISSN as column 7, after the list's columns.
    const QStringList headers = importing::ImportHeaders(request.kind);
    if (const QString problem = readMap(*map, static_cast<int>(headers.size()), structure); !problem.isEmpty())
        return problem;
    return importing::StructureProblem(structure, lines.value_or(QString()), headers);
}

int importText(const Request& request, QTextStream& out, QTextStream& err, const QString& journalListPath)
{
    ImportTarget target(request.surveyPath, request.save);
    const int reportingYear = target.reportingYear();

    // The source: a workbook's sheet, or the text in its encoding (detected unless given).
    std::optional<importing::Spreadsheet> sheet;
    importing::DecodedText decoded;
    if (request.spreadsheet) {
        sheet = importing::ReadSpreadsheet(request.textPath, request.sheet);
        err << "kodowanie: arkusz\n";
    } else {
        decoded = importing::ReadImportFile(request.textPath, request.encoding);
        err << "kodowanie: " << importing::EncodingName(decoded.encoding) << '\n';
    }
    err.flush();

    // Publications are identified on the program's journal list, or on the list built into the program where
    // the user's data folder has none yet.
    db::Connection noDatabase;
    lists::JournalList noJournals(noDatabase);
    std::optional<HeadlessJournalList> journalList;
    if (importing::IdentifiesJournals(request.kind))
        journalList.emplace(journalListPath);
    lists::JournalList& journals = journalList ? journalList->journals() : noJournals;

    // Never guessed here, so a row of captions given as data is refused rather than stored.
    if (!request.structure.header) {
        const QStringList first = sheet ? importing::FirstSheetRecord(sheet->rows)
                                        : importing::FirstRecordFields(decoded.text, request.structure);
        if (importing::LooksLikeHeader(request.kind, first, request.structure, reportingYear))
            throw Error(importing::HeaderRecordProblem(request.textPath));
    }

    importing::ImportedRows read = sheet
        ? importing::ReadSheetRecords(request.kind, sheet->rows, request.structure, &journals)
        : importing::ReadRecords(request.kind, decoded.text, request.structure, &journals);
    return target.handOver(request.kind, std::move(read.rows), request.skipDuplicates, out, err, read.quotedBreaks);
}

} // namespace

int runListImportText(const QStringList& args, QTextStream& out, QTextStream& err, const QString& journalListPath)
{
    Request request;
    if (const QString problem = readRequest(args, request); !problem.isEmpty())
        return usage(err, problem);
    try {
        const int status = importText(request, out, err, journalListPath);
        out.flush();
        return status;
    } catch (const Error& e) {
        out.flush();
        err << e.message() << '\n';
        err.flush();
        return kFailed;
    }
}

} // namespace vestrum
