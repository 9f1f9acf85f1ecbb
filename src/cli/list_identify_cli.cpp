#include "cli/list_identify_cli.h"

#include "cli/cli_support.h"

#include "base/error.h"
#include "base/number_format.h"
#include "datafile/save.h"
#include "datafile/survey_file.h"
#include "datafile/scratch_folders.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QFileInfo>
#include <QTextStream>

#include <exception>
#include <optional>
#include <thread>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::S;

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem,
                            "Użycie:\n"
                            "  vestrum-cli list identify ZBIÓR RODZAJ [--save]\n"
                            "RODZAJ to numer wykazu publikacji, od 3 do 6.\n");
}

struct Request {
    QString surveyPath;
    int kind = -1;
    bool save = false;
};

QString readRequest(const QStringList& args, Request& request)
{
    QStringList positional;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--save"))
            request.save = true;
        else if (arg.startsWith(QLatin1String("--")))
            return S("Nieznana opcja: %1").arg(arg);
        else
            positional << arg;
    }
    if (positional.size() != 2)
        return S("Trzeba podać ZBIÓR i RODZAJ.");
    request.surveyPath = positional[0];
    const std::optional<int> kind = numbers::ParseInteger(positional[1]);
    if (!kind || *kind < 3 || *kind > 6)
        return S("Czasopisma identyfikuje się tylko w wykazach publikacji (rodzaje od 3 do 6), nie w wykazie %1.")
            .arg(positional[1]);
    request.kind = *kind;
    return {};
}

// A text in one field of a line: the fields are separated by tabs, the parts of a suggestion by "|".
QString field(QString text)
{
    for (QChar& ch : text)
        if (ch == u'\t' || ch == u'|' || ch == u'\n' || ch == u'\r')
            ch = u' ';
    return text;
}

QString lineOf(const lists::UnmatchedTitle& title, const lists::JournalMatcher& matcher)
{
    QStringList fields{field(title.title), QString::number(title.rows)};
    for (size_t i = 0; i < title.suggestions.size() && i < lists::JournalMatcher::kSuggestionCount; ++i) {
        const lists::ListedJournal& journal = matcher.journal(title.suggestions[i].journal);
        // The ISSN tells apart journals of one title.
        fields.append(field(journal.name) + u'|' + field(journal.points) + u'|' + lists::partLetter(journal.part) +
                      u'|' + field(journal.issn.isEmpty() ? journal.eissn : journal.issn));
    }
    return fields.join(u'\t');
}

// The journal list read and its matcher built on a thread of its own, while the survey is read: the two need
// nothing of each other, and each takes a good part of the command. A failure is kept for `take`, so that a
// wrong ZBIÓR is still told before anything about the list.
class JournalListReading {
public:
    explicit JournalListReading(const QString& path)
        : reader_([this, path] {
              try {
                  list_.emplace(path);
                  list_->journals().matcher();
              } catch (...) {
                  failure_ = std::current_exception();
              }
          })
    {
    }
    ~JournalListReading()
    {
        if (reader_.joinable())
            reader_.join();
    }
    JournalListReading(const JournalListReading&) = delete;
    JournalListReading& operator=(const JournalListReading&) = delete;

    lists::JournalList& take()
    {
        reader_.join();
        if (failure_)
            std::rethrow_exception(failure_);
        return list_->journals();
    }

private:
    std::optional<HeadlessJournalList> list_;
    std::exception_ptr failure_;
    std::thread reader_; // last: started once the members it fills exist
};

int identify(const Request& request, QTextStream& out, const QString& journalListPath)
{
    JournalListReading reading(journalListPath);
    // A survey to be changed is opened through the one save path: refused, locked and unpacked there.
    tempfiles::ScratchFolder scratch;
    db::Connection readOnly;
    std::optional<datafiles::SurveyFileWrite> write;
    if (request.save)
        write.emplace(request.surveyPath);
    else
        OpenSurveyFile(readOnly, request.surveyPath, scratch);
    db::Connection& survey = write ? write->survey() : readOnly;
    lists::ListGrid grid = lists::EditorGrid(survey, request.kind);

    lists::JournalList& journals = reading.take();

    std::vector<QStringList> rows = grid.rows();
    const lists::ListCheck check = lists::checkRowsAgainstList(journals, rows);
    const bool changed = rows != grid.rows();
    const std::vector<lists::UnmatchedTitle> titles = lists::unmatchedTitles(journals.matcher(), rows);

    if (write && changed) {
        grid.setRows(std::move(rows));
        write->saveList(request.kind, grid);
        write->commit();
    }
    int unmatchedRows = 0;
    for (const lists::UnmatchedTitle& title : titles) {
        out << lineOf(title, journals.matcher()) << '\n';
        unmatchedRows += title.rows;
    }
    out << lists::pointsChangeLine(check) << '\n';
    out << "zidentyfikowano " << check.identified << ", bez dopasowania " << unmatchedRows << '\n';
    return kOk;
}

} // namespace

int runListIdentify(const QStringList& args, QTextStream& out, QTextStream& err, const QString& journalListPath)
{
    Request request;
    if (const QString problem = readRequest(args, request); !problem.isEmpty())
        return usage(err, problem);
    return cli::RunReportingErrors(out, err, [&] { return identify(request, out, journalListPath); });
}

} // namespace vestrum
