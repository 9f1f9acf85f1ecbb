#include "lists/list_cli.h"

#include "app/error.h"
#include "archive/tzlbarchive.h"
#include "data/engine.h"
#include "data/schema.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

namespace vestrum {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

int usage(QTextStream& err, const QString& problem = QString())
{
    if (!problem.isEmpty())
        err << problem << '\n';
    err << "Użycie:\n"
           "  vestrum-cli list show PLIK RODZAJ\n"
           "PLIK to plik danych (.naj) albo baza ankieta.mdb, RODZAJ to numer wykazu od 0 do 50.\n";
    err.flush();
    return kUsage;
}

bool isDataFile(const QString& path) { return path.contains(QLatin1String(".naj"), Qt::CaseInsensitive); }

// Opens the survey held by `path`; a data file is first unpacked into `scratch`. Data files of
// the 2005 version carry the other password.
void openSurvey(db::Connection& connection, const QString& path, QTemporaryDir& scratch)
{
    if (!QFileInfo::exists(path))
        throw Error(QStringLiteral("Nie ma pliku \"%1\".").arg(QDir::toNativeSeparators(path)));
    QString database = path;
    if (isDataFile(path)) {
        if (!scratch.isValid())
            throw Error(QStringLiteral("Nie można utworzyć katalogu tymczasowego."));
        TZLBArchive archive;
        archive.OpenArchive(path);
        if (archive.FindFile(QStringLiteral("ankieta.mdb")) < 0)
            throw Error(QStringLiteral("Plik \"%1\" nie jest plikiem danych ankiety.").arg(QDir::toNativeSeparators(path)));
        archive.SetExtractWithPath(false);
        archive.ExtractAll(scratch.path());
        archive.CloseArchive();
        database = scratch.filePath(QStringLiteral("ankieta.mdb"));
    }
    try {
        connection.open(database, schema::databasePassword());
    } catch (const Error&) {
        connection.open(database, schema::legacyDatabasePassword());
    }
}

} // namespace

QString escapeListCell(const QString& cell)
{
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
    if (args.size() != 3 || args[0] != QLatin1String("show"))
        return usage(err);
    bool ok = false;
    const int kind = args[2].toInt(&ok);
    if (!ok || !lists::isListKind(kind))
        return usage(err, QStringLiteral("Nieznany rodzaj wykazu: %1.").arg(args[2]));

    try {
        QTemporaryDir scratch;
        db::Connection connection;
        openSurvey(connection, args[1], scratch);
        const lists::ListGrid grid = lists::EditorGrid(connection, kind);
        connection.close();

        auto writeLine = [&out](const QStringList& cells) {
            for (qsizetype c = 0; c < cells.size(); ++c) {
                if (c > 0)
                    out << '\t';
                out << escapeListCell(cells[c]);
            }
            out << '\n';
        };
        writeLine(grid.headers());
        for (const QStringList& row : grid.rows())
            writeLine(row);
        out.flush();
        return kOk;
    } catch (const Error& e) {
        err << e.message() << '\n';
        err.flush();
        return kFailed;
    }
}

} // namespace vestrum
