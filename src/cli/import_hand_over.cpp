#include "cli/import_hand_over.h"

#include "base/number_format.h"
#include "cli/cli_support.h"
#include "cli/list_cli.h"
#include "datafile/survey_file.h"
#include "import/import_rules.h"
#include "import/import_text.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/publication_duplicates.h"
#include "survey/form_catalogue.h"

#include <QTextStream>

namespace vestrum {

ImportTarget::ImportTarget(const QString& surveyPath, bool save)
{
    if (save)
        write_.emplace(surveyPath);
    else
        OpenSurveyFile(readOnly_, surveyPath, scratch_);
}

// The stored year when the year list offers it, otherwise the list's first year.
int ImportTarget::reportingYear()
{
    const form::Control* yearList = form::FindControl(QStringLiteral("c000"));
    const QStringList years = yearList != nullptr ? yearList->items : QStringList {};
    db::Table details(survey(), QStringLiteral("dane_szczegolowe"));
    details.first();
    const QString stored
        = details.eof() ? QString() : numbers::TrimBlanks(details.asString(QStringLiteral("Rok_sprawozdawczy")));
    const QString year = years.contains(stored) ? stored : years.value(0, QStringLiteral("2008"));
    return year.toInt();
}

int ImportTarget::handOver(int kind, std::vector<QStringList> preview, bool skipDuplicates, QTextStream& out,
    QTextStream& err, const std::vector<importing::QuotedBreak>& quotedBreaks)
{
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    const importing::CheckContext context = importing::SurveyCheckContext(survey(), kind, reportingYear());
    if (write_)
        datafiles::RefuseEmptyImport(preview);
    if (preview.empty())
        preview.emplace_back(static_cast<qsizetype>(info.columns.size()));

    std::vector<QStringList> handOver;
    auto findings = importing::CheckRows(kind, preview, context, &handOver);
    importing::AddQuoteNotes(findings, preview, quotedBreaks);
    if (!findings.empty()) {
        for (const importing::ImportFinding& finding : findings)
            out << finding.message << '\n';
        return cli::kFailed;
    }
    // The ISSN an import read beside the list's columns still takes part in the comparison.
    handOver = ReportProbableDuplicates(survey(), kind, handOver, false, skipDuplicates, err);
    importing::DropImportOnlyCells(kind, handOver);
    if (write_) {
        lists::ListGrid grid = lists::EditorGrid(survey(), kind);
        std::vector<QStringList> listRows = grid.rows();
        importing::AppendImportedRows(listRows, handOver);
        grid.setRows(std::move(listRows));
        write_->saveList(kind, grid);
        write_->commit();
    }
    writeListRow(out, info.headers());
    for (const QStringList& row : handOver)
        writeListRow(out, row);
    return cli::kOk;
}

std::vector<QStringList> ReportProbableDuplicates(db::Connection& survey, int kind, const std::vector<QStringList>& rows,
    bool replacesList, bool skip, QTextStream& err)
{
    if (!lists::IsPublicationKind(kind))
        return rows;
    const std::vector<lists::ProbableDuplicate> duplicates
        = lists::FindIncomingDuplicates(lists::ReadPublicationLists(survey), kind, rows, replacesList);
    for (const lists::ProbableDuplicate& duplicate : duplicates)
        err << lists::DuplicateLine(duplicate) << '\n';
    err.flush();
    return skip ? lists::WithoutDuplicates(rows, duplicates) : rows;
}

} // namespace vestrum
