#include "cli/list_identify_cli.h"

#include "cli/cli_support.h"

#include "base/error.h"
#include "base/number_format.h"
#include "base/short_run_heap.h"
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
#include <future>
#include <optional>
#include <thread>
#include <tuple>

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

// Appends a text as one field of a line: the fields are separated by tabs, the parts of a suggestion by "|".
void appendField(QString& line, QStringView text)
{
    const qsizetype from = line.size();
    line.append(text);
    for (QChar* ch = line.data() + from; ch != line.data() + line.size(); ++ch)
        if (*ch == u'\t' || *ch == u'|' || *ch == u'\n' || *ch == u'\r')
            *ch = u' ';
}

void appendLine(QString& line, const lists::UnmatchedTitle& title, const lists::JournalMatcher& matcher)
{
    appendField(line, title.title);
    line.append(u'\t').append(QString::number(title.rows));
    for (size_t i = 0; i < title.suggestions.size() && i < lists::JournalMatcher::kSuggestionCount; ++i) {
        const lists::ListedJournal& journal = matcher.journal(title.suggestions[i].journal);
        line.append(u'\t');
        appendField(line, journal.name);
        line.append(u'|');
        appendField(line, journal.points);
        line.append(u'|').append(lists::partLetter(journal.part)).append(u'|');
        // The ISSN tells apart journals of one title.
        appendField(line, journal.issn.isEmpty() ? journal.eissn : journal.issn);
    }
    line.append(u'\n');
}

// The journal list read and its matcher built on a thread of its own, while the survey is read: the two need
// nothing of each other, and each takes a good part of the command. The thread then makes the matcher's index of
// suggestions while the rows are checked and their titles grouped, which need only the matcher's look-ups. A
// failure is kept for `take`, so that a wrong ZBIÓR is still told before anything about the list.
class JournalListReading {
public:
    explicit JournalListReading(const QString& path)
        : reader_([this, path] {
              heap::PrepareThreadForShortRun();
              try {
                  list_.emplace(path);
                  list_->journals().matcher();
              } catch (...) {
                  listRead_.set_exception(std::current_exception());
                  return;
              }
              listRead_.set_value();
              try {
                  list_->journals().matcher().prepareSuggestions();
              } catch (...) {
                  indexFailure_ = std::current_exception();
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

    // The list with its matcher; its index of suggestions may still be in the making.
    lists::JournalList& take()
    {
        listReadFuture_.get();
        return list_->journals();
    }

    // The list with its index of suggestions made.
    lists::JournalList& takeWithSuggestions()
    {
        lists::JournalList& journals = take();
        reader_.join();
        if (indexFailure_)
            std::rethrow_exception(indexFailure_);
        return journals;
    }

private:
    std::optional<HeadlessJournalList> list_;
    std::promise<void> listRead_;
    std::shared_future<void> listReadFuture_ = listRead_.get_future().share();
    std::exception_ptr indexFailure_;
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
    std::vector<lists::UnmatchedTitle> titles = lists::groupUnmatchedTitles(rows);
    lists::suggestForTitles(reading.takeWithSuggestions().matcher(), titles);

    if (write && changed) {
        grid.setRows(std::move(rows));
        write->saveList(request.kind, grid);
        write->commit();
    }
    int unmatchedRows = 0;
    QString line; // one buffer for every line
    for (const lists::UnmatchedTitle& title : titles) {
        line.clear();
        appendLine(line, title, journals.matcher());
        out << line;
        unmatchedRows += title.rows;
    }
    out << lists::pointsChangeLine(check) << '\n';
    out << "zidentyfikowano " << check.identified << ", bez dopasowania " << unmatchedRows << '\n';
    heap::FreeInBackground(std::make_tuple(std::move(grid), std::move(rows), std::move(titles)));
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
