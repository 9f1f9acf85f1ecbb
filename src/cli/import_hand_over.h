#pragma once

#include "datafile/save.h"
#include "datafile/scratch_folders.h"
#include "import/import_text.h"
#include "storage/engine.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QTextStream;

namespace vestrum {

// The survey a headless import works on: with --save it is opened through the one save path
// (refused, locked and unpacked there), otherwise read from a private copy.
class ImportTarget {
public:
    ImportTarget(const QString& surveyPath, bool save);

    db::Connection& survey() { return write_ ? write_->survey() : readOnly_; }
    bool saving() const { return write_.has_value(); }
    // The reporting year as the main window takes it from the survey.
    int reportingYear();

    // The end every row import shares: the rows are checked as the import window checks them (the
    // findings go to `out`, 1 is returned and nothing changes); probable duplicates of publications
    // already in the survey or brought twice go to `err`, one line each, and are left out with
    // `skipDuplicates`; with --save the rows are appended to the list and the survey written back;
    // the rows handed over are printed as `list show` prints a list. An empty import is one empty
    // row for the checks, and refused with --save.
    // A text import passes where its quotes carried a field over line breaks, so that a refusal says so.
    int handOver(int kind, std::vector<QStringList> preview, bool skipDuplicates, QTextStream& out, QTextStream& err,
        const std::vector<importing::QuotedBreak>& quotedBreaks = {});

private:
    tempfiles::ScratchFolder scratch_;
    db::Connection readOnly_;
    std::optional<datafiles::SurveyFileWrite> write_;
};

// The probable duplicates `rows` would bring into list `kind` of `survey` (after its rows, or in
// their place when `replacesList`), each as a line on `err`; returns the rows to add: all of them,
// or without the duplicates when `skip`.
std::vector<QStringList> ReportProbableDuplicates(db::Connection& survey, int kind, const std::vector<QStringList>& rows,
    bool replacesList, bool skip, QTextStream& err);

} // namespace vestrum
