#include "cli/list_import_bib_cli.h"

#include "base/number_format.h"
#include "cli/cli_support.h"
#include "cli/import_hand_over.h"
#include "import/bibliography.h"
#include "import/import_text.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"

#include <QTextStream>

namespace vestrum {
namespace {

using cli::S;

struct BibRequest {
    QString surveyPath;
    int kind = -1;
    QString path;
    bool save = false;
    bool skipDuplicates = false;
};

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem,
                            "Użycie:\n"
                            "  vestrum-cli list import-bib ZBIÓR RODZAJ PLIK [--save] [--skip-duplicates]\n"
                            "PLIK to bibliografia BibTeX (.bib), RIS (.ris) albo CSL JSON (.json), rozpoznawana po treści.\n"
                            "RODZAJ: 3-6 (artykuły w czasopismach) albo 8-11 (monografie i rozdziały).\n");
}

QString readRequest(const QStringList& args, BibRequest& request)
{
    QStringList positional;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--save"))
            request.save = true;
        else if (arg == QLatin1String("--skip-duplicates"))
            request.skipDuplicates = true;
        else if (arg.startsWith(QLatin1String("--")))
            return S("Nieznana opcja: %1").arg(arg);
        else
            positional << arg;
    }
    if (positional.size() != 3)
        return S("Trzeba podać ZBIÓR, RODZAJ i PLIK.");
    const std::optional<int> kind = numbers::ParseInteger(positional[1]);
    if (!kind || !lists::isListKind(*kind))
        return S("Nieznany rodzaj wykazu: %1.").arg(positional[1]);
    if (!importing::TakesBibliography(*kind))
        return S("Wykaz %1 nie przyjmuje bibliografii: tylko rodzaje 3-6 i 8-11.").arg(*kind);
    request.surveyPath = positional[0];
    request.kind = *kind;
    request.path = positional[2];
    return {};
}

int importBibliography(const BibRequest& request, QTextStream& out, QTextStream& err, const QString& journalListPath)
{
    ImportTarget target(request.surveyPath, request.save);
    const importing::Bibliography bibliography = importing::ReadBibliographyFile(request.path);
    err << "format: " << importing::FormatName(bibliography.format) << '\n';

    std::optional<HeadlessJournalList> journalList;
    if (importing::IdentifiesJournals(request.kind))
        journalList.emplace(journalListPath);
    const importing::BibliographyRows read = importing::BibliographyToRows(
        request.kind, bibliography, journalList ? &journalList->journals() : nullptr);
    for (const QString& line : read.skipped)
        err << line << '\n';
    err.flush();
    return target.handOver(request.kind, read.rows, request.skipDuplicates, out, err);
}

} // namespace

int runListImportBib(const QStringList& args, QTextStream& out, QTextStream& err, const QString& journalListPath)
{
    BibRequest request;
    if (const QString problem = readRequest(args, request); !problem.isEmpty())
        return usage(err, problem);
    return cli::RunReportingErrors(
        out, err, [&] { return importBibliography(request, out, err, journalListPath); });
}

} // namespace vestrum
