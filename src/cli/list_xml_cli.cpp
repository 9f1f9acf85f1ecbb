#include "cli/list_xml_cli.h"

#include "cli/cli_support.h"

#include "base/error.h"
#include "cli/import_hand_over.h"
#include "cli/list_cli.h"
#include "datafile/save.h"
#include "datafile/survey_file.h"
#include "datafile/scratch_folders.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/xml_exchange.h"
#include "program/data_home.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <optional>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;

const QString kExport = QStringLiteral("export");
const QString kImport = QStringLiteral("import");
const QString kSave = QStringLiteral("--save");

struct XmlCommand {
    QString verb;
    QString survey;
    int kind = -1;
    QString file;
    bool save = false;
    bool skipDuplicates = false;
};

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem,
                            "Użycie:\n"
                            "  vestrum-cli list export ZBIÓR RODZAJ PLIK.xml\n"
                            "  vestrum-cli list import ZBIÓR RODZAJ PLIK.xml [--save] [--skip-duplicates]\n"
                            "ZBIÓR to plik danych (.naj) albo baza ankieta.mdb, RODZAJ to numer wykazu od 0 do 50.\n");
}

int exportList(const XmlCommand& command, QTextStream& err)
{
    tempfiles::ScratchFolder scratch;
    db::Connection survey;
    OpenSurveyFile(survey, command.survey, scratch);
    const lists::ListGrid grid = lists::EditorGrid(survey, command.kind);
    survey.close();
    if (grid.isEmpty()) {
        err << lists::emptyExportNotice() << '\n';
        return kFailed;
    }
    lists::writeListXml(command.file, grid);
    return kOk;
}

void identifyJournals(std::vector<QStringList>& rows, const QString& journalListPath)
{
    HeadlessJournalList list(journalListPath);
    lists::identifyImportedJournals(list.journals(), rows);
}

int importList(const XmlCommand& command, QTextStream& out, QTextStream& err, const QString& journalListPath)
{
    // The survey is opened first, so that a wrong ZBIÓR is told before anything is printed. A survey to be
    // changed is opened through the one save path: refused, locked and unpacked there.
    tempfiles::ScratchFolder scratch;
    db::Connection readOnly;
    std::optional<datafiles::SurveyFileWrite> write;
    if (command.save)
        write.emplace(command.survey);
    else
        OpenSurveyFile(readOnly, command.survey, scratch);

    const lists::ListKindInfo& info = lists::ListKindInfoOf(command.kind);
    lists::ListGrid grid(info.headers());
    std::vector<QStringList> rows
        = lists::readListXml(command.file, lists::xmlColumnsToRead(command.kind, grid.columnCount()));
    if (lists::identifiesJournals(command.kind))
        identifyJournals(rows, journalListPath);
    // The file's rows take the list's place: they meet the other lists and one another.
    rows = ReportProbableDuplicates(write ? write->survey() : readOnly, command.kind, rows, true,
        command.skipDuplicates, err);
    grid.setRows(std::move(rows));
    printListGrid(grid, out);
    if (!write)
        return kOk;
    // The editor takes a file without records as one blank row for the user to fill; a command would only
    // empty the list.
    datafiles::RefuseEmptyImport(grid.rows());
    write->saveList(command.kind, grid);
    write->commit();
    return kOk;
}

} // namespace

HeadlessJournalList::HeadlessJournalList(const QString& path) : journals_(connection_)
{
    QString listPath = path;
    if (!QFileInfo(listPath).isFile()) {
        if (!scratch_.isValid())
            throw Error(QStringLiteral("Nie można utworzyć katalogu tymczasowego."));
        listPath = scratch_.filePath(QStringLiteral("lista_czasopism.mdb"));
        journals::createJournalListDatabase(listPath);
    }
    connection_.open(listPath, schema::databasePassword());
    journals_.open();
}

QString programJournalListPath()
{
    return DataFolderOf(QCoreApplication::applicationDirPath()) + QStringLiteral("dane/lista_czasopism.mdb");
}

bool isListXmlCommand(const QStringList& args)
{
    return !args.isEmpty() && (args.first() == kExport || args.first() == kImport);
}

int runListXmlCommand(const QStringList& args, QTextStream& out, QTextStream& err, const QString& journalListPath)
{
    XmlCommand command;
    command.verb = args.value(0);
    for (const QString& option : args.mid(4)) {
        if (option == kSave && command.verb == kImport && !command.save)
            command.save = true;
        else if (option == QLatin1String("--skip-duplicates") && command.verb == kImport && !command.skipDuplicates)
            command.skipDuplicates = true;
        else
            return usage(err);
    }
    if (!isListXmlCommand(args) || args.size() < 4)
        return usage(err);
    command.survey = args[1];
    command.file = args[3];
    bool ok = false;
    command.kind = args[2].toInt(&ok);
    if (!ok || !lists::isListKind(command.kind))
        return usage(err, QStringLiteral("Nieznany rodzaj wykazu: %1.").arg(args[2]));

    return cli::RunReportingErrors(out, err, [&] {
        return command.verb == kExport ? exportList(command, err) : importList(command, out, err, journalListPath);
    });
}

} // namespace vestrum
