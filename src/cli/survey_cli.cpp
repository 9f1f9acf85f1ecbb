#include "cli/survey_cli.h"

#include "cli/cli_support.h"

#include "cli/list_xml_cli.h"
#include "cli/merge_cli.h"

#include "base/clock.h"
#include "base/error.h"
#include "survey/form_catalogue.h"
#include "program/messages.h"
#include "program/program.h"
#include "datafile/survey_file.h"
#include "datafile/scratch_folders.h"
#include "storage/schema.h"
#include "survey/section_data.h"
#include "check/survey_check.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::kUsage;
constexpr int kErrorsFound = 3; // survey check: the survey has errors

using cli::SilentMessages;

int usage(QTextStream& err)
{
    err << QStringLiteral("Użycie: vestrum-cli survey show PLIK (plik danych .naj lub baza ankieta.mdb)\n"
                          "       vestrum-cli survey merge ZBIÓR INNY.naj [--items 1,2,…|--all]\n"
                          "       vestrum-cli survey check ZBIÓR\n");
    err.flush();
    return kUsage;
}

QString badFormat()
{
    return QString::fromUtf8("Zbiór danych nie może być wczytany - nieprawidłowy format bazy danych.");
}

QString escaped(QString value)
{
    value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    value.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    value.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return value;
}

void print(const std::vector<LoadedPage>& pages, QTextStream& out)
{
    const QChar tab = QLatin1Char('\t');
    const QString bar = QStringLiteral(" | ");
    for (const LoadedPage& loaded : pages) {
        const FieldValues& v = loaded.values;
        form::ForEachControl(*loaded.page, [&](const form::Row&, const form::Control& c) {
            switch (c.kind) {
            case form::ControlKind::Grid: {
                const GridRows rows = v.grids.value(c.name);
                for (qsizetype r = 0; r < rows.size(); ++r) {
                    QStringList cells;
                    for (const QString& cell : rows[r])
                        cells << escaped(cell);
                    out << c.name << '[' << (r + 1) << ']' << tab << cells.join(bar) << '\n';
                }
                break;
            }
            case form::ControlKind::ChosenList: {
                QStringList lines;
                for (const QString& line : v.lines.value(c.name))
                    lines << escaped(line);
                out << c.name << tab << lines.join(bar) << '\n';
                break;
            }
            case form::ControlKind::Radio:
                out << c.name << tab << (v.checked.value(c.name) ? '1' : '0') << '\n';
                break;
            case form::ControlKind::SearchField:
            case form::ControlKind::Button:
            case form::ControlKind::CatalogueList:
                break; // tools of the chooser, no answer of their own
            default:
                out << c.name << tab << escaped(v.text.value(c.name)) << '\n';
                break;
            }
        });
    }
}

int show(const QString& file, QTextStream& out)
{
    tempfiles::ScratchFolder folder;
    SilentMessages messages;
    SystemClock clock;
    Program program(messages, clock);
    OpenSurveyFile(program.survey, file, folder);
    std::vector<LoadedPage> pages;
    try {
        pages = LoadAllSections(program);
    } catch (const Error&) {
        // A database of another shape (an older version's, or a foreign one) cannot be shown.
        throw Error(badFormat());
    }
    program.survey.close();
    print(pages, out);
    return kOk;
}

// The whole-survey check: one finding per line; errors found give their own status.
int checkSurvey(const QString& file, QTextStream& out)
{
    tempfiles::ScratchFolder folder;
    SilentMessages messages;
    SystemClock clock;
    Program program(messages, clock);
    OpenSurveyFile(program.survey, file, folder);
    // The program's journal list, when it can be read, lets a publication without a journal be told its
    // nearest one; without it the check goes on all the same.
    try {
        if (QFileInfo(programJournalListPath()).isFile())
            program.journals.open(programJournalListPath(), schema::databasePassword());
    } catch (const Error&) {
    }
    check::StoredSurvey survey;
    try {
        survey = check::ReadSurvey(program);
    } catch (const Error&) {
        throw Error(badFormat());
    }
    program.survey.close();
    const std::vector<check::Finding> findings = check::CheckSurvey(survey);
    for (const check::Finding& finding : findings)
        out << check::FindingLine(finding) << '\n';
    return check::ErrorCount(findings) > 0 ? kErrorsFound : kOk;
}

} // namespace

int runSurveyCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (!args.isEmpty() && args[0] == QLatin1String("merge"))
        return runSurveyMergeCommand(args.mid(1), out, err);
    const bool showing = args.size() == 2 && args[0] == QLatin1String("show");
    const bool checking = args.size() == 2 && args[0] == QLatin1String("check");
    if (!showing && !checking)
        return usage(err);
    return cli::RunReportingErrors(out, err,
                                   [&] { return showing ? show(args[1], out) : checkSurvey(args[1], out); });
}

} // namespace vestrum
