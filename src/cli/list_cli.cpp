#include "cli/list_cli.h"
#include "cli/cli_support.h"
#include "cli/list_xml_cli.h"

#include "base/error.h"
#include "cli/list_import_cli.h"
#include "files/survey_file.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::kUsage;

int usage(QTextStream& err, const QString& problem = QString())
{
    if (!problem.isEmpty())
        err << problem << '\n';
    err << "Użycie:\n"
           "  vestrum-cli list show PLIK RODZAJ\n"
           "  vestrum-cli list export PLIK RODZAJ PLIK.xml\n"
           "  vestrum-cli list import PLIK RODZAJ PLIK.xml [--save]\n"
           "  vestrum-cli list import-text PLIK RODZAJ TEKST (--separator=S | --lines=N) --map=K1,K2,... [--save]\n"
           "PLIK to plik danych (.naj) albo baza ankieta.mdb, RODZAJ to numer wykazu od 0 do 50.\n";
    err.flush();
    return kUsage;
}

} // namespace

void writeListRow(QTextStream& out, const QStringList& cells)
{
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c > 0)
            out << '\t';
        out << escapeListCell(cells[c]);
    }
    out << '\n';
}

void printListGrid(const lists::ListGrid& grid, QTextStream& out)
{
    writeListRow(out, grid.headers());
    for (const QStringList& row : grid.rows())
        writeListRow(out, row);
    out.flush();
}

QString escapeListCell(const QString& cell)
{
    const auto needsEscape = [](QChar c) { return c == u'\\' || c == u'\t' || c == u'\n' || c == u'\r'; };
    if (std::none_of(cell.begin(), cell.end(), needsEscape))
        return cell;
    QString out;
    out.reserve(cell.size());
    for (QChar c : cell) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

int runListCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (isListXmlCommand(args))
        return runListXmlCommand(args, out, err);
    if (!args.isEmpty() && args[0] == QLatin1String("import-text"))
        return runListImportText(args.mid(1), out, err, QCoreApplication::applicationDirPath());
    if (args.size() != 3 || args[0] != QLatin1String("show"))
        return usage(err);
    bool ok = false;
    const int kind = args[2].toInt(&ok);
    if (!ok || !lists::isListKind(kind))
        return usage(err, QStringLiteral("Nieznany rodzaj wykazu: %1.").arg(args[2]));

    try {
        QTemporaryDir scratch;
        db::Connection connection;
        OpenSurveyFile(connection, args[1], scratch);
        const lists::ListGrid grid = lists::EditorGrid(connection, kind);
        connection.close();

        printListGrid(grid, out);
        return kOk;
    } catch (const Error& e) {
        err << e.message() << '\n';
        err.flush();
        return kFailed;
    }
}

} // namespace vestrum
