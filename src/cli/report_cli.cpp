#include "cli/report_cli.h"

#include "base/clock.h"
#include "base/error.h"
#include "cli/cli_support.h"
#include "datafile/survey_file.h"
#include "datafile/scratch_folders.h"
#include "print/paged_document.h"
#include "print/report_document.h"
#include "program/data_home.h"
#include "program/program.h"
#include "program/settings.h"
#include "survey/form_catalogue.h"
#include "survey/section_data.h"

#include <QCoreApplication>
#include <QTextDocument>
#include <QTextStream>

namespace vestrum {
namespace {

struct ReportArguments {
    QString source;
    QString pdf;
    report::TickedEntries ticked;
};

int usage(QTextStream& err)
{
    err << QStringLiteral("Użycie: vestrum-cli report ZBIÓR -o PLIK.pdf [--entries=0,5,11,…]\n");
    err.flush();
    return cli::kUsage;
}

bool parseArguments(const QStringList& args, ReportArguments& parsed)
{
    parsed.ticked.set(); // every entry unless --entries says otherwise
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("-o") && i + 1 < args.size())
            parsed.pdf = args.at(++i);
        else if (arg.startsWith(QLatin1String("--entries="))) {
            if (!report::ParseEntryList(arg.mid(10), parsed.ticked))
                return false;
        } else if (!arg.startsWith(u'-') && parsed.source.isEmpty())
            parsed.source = arg;
        else
            return false;
    }
    return !parsed.source.isEmpty() && !parsed.pdf.isEmpty();
}

// The year chosen on the first page of section 1, as the header shows it.
QString reportingYear(Program& program)
{
    const FieldValues yearPage = LoadPage(program, form::FormCatalogue().front().pages.front());
    return yearPage.text.value(QStringLiteral("c000"));
}

void writeReport(const ReportArguments& arguments, const QString& settingsPath)
{
    tempfiles::ScratchFolder scratch;
    cli::SilentMessages messages;
    SystemClock clock;
    Program program(messages, clock);
    OpenSurveyFile(program.survey, arguments.source, scratch);
    const report::ReportDocument built =
        report::BuildReport(arguments.ticked, report::StoredSurvey(program), reportingYear(program));
    program.survey.close();
    const auto document = report::ReportTextDocument(built, report::ReportBodyFont(ReadUserFont(settingsPath)));
    writePdf(*document, report::ReportPageLayout(built.setup), arguments.pdf);
}

} // namespace

QString programSettingsPath()
{
    return DataFolderOf(QCoreApplication::applicationDirPath()) + QStringLiteral("ankieta.ini");
}

int runReportCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    return runReportCommand(args, out, err, programSettingsPath());
}

int runReportCommand(const QStringList& args, QTextStream& out, QTextStream& err, const QString& settingsPath)
{
    ReportArguments arguments;
    if (!parseArguments(args, arguments))
        return usage(err);
    return cli::RunReportingErrors(out, err, [&] {
        writeReport(arguments, settingsPath);
        return cli::kOk;
    });
}

} // namespace vestrum
