#pragma once

#include "survey/field_values.h"

#include <QString>
#include <QVariantList>
#include <functional>
#include <vector>

namespace vestrum {
class Program;
namespace db {
class Connection;
}
namespace form {
struct Page;
}

// Moving answers between the survey database and the main window's pages. Loading and saving
// walk the form catalogue's bindings: one routine for the scalar fields of a page, one for the
// main-window grids and one for the two code choosers of section 1, whatever the section.
//
// A load gives the page's FieldValues (texts, chosen drop-down items, chooser lines, grid rows,
// radio buttons, list-button captions, derived totals and the input limits of its text fields);
// a save takes them back. Each save runs in one transaction: all of it is stored or none of it.

// Reads one page (any page of the catalogue, with or without a section tag).
FieldValues LoadPage(Program& program, const form::Page& page);

// "pomiń zmiany": reads the page with this section tag again. Section 1's year page also sets
// the program's ReportingYear. Throws vestrum::Error for an unknown tag.
FieldValues LoadSection(Program& program, int tag);

// "zapisz zmiany": writes the page with this section tag and clears DataSaved. The checks that
// may refuse the save (checks::PrepareSave) are the caller's to run first. A text that its
// integer or number column cannot take throws vestrum::Error and nothing of the page is written.
void SaveSection(Program& program, int tag, const FieldValues& values);

// Writes the reporting year ("2007" or "2008") into dane_szczegolowe; the data-file commands
// run it before they write a data file.
void StoreReportingYear(Program& program, const QString& year);
void StoreReportingYear(Program& program); // the program's ReportingYear

struct LoadedPage {
    int sectionIndex = 0; // 0..23
    int pageIndex = 0;
    const form::Page* page = nullptr;
    FieldValues values;
};

// Called before each of the 24 sections is read: step 1..24 and the section's chooser text.
using LoadProgress = std::function<void(int step, int total, const QString& label)>;

// Reads every page of every section, in section order. List buttons get their summary captions
// from count queries; no list is read row by row. Stops at the first database error (thrown).
std::vector<LoadedPage> LoadAllSections(Program& program, const LoadProgress& progress = {});

// The number a list button of this list kind shows: rows of the kind, except for the degree
// rights (kinds 1 and 2), where each row counts its fields of science (the ";" in `zakres`, or 1).
// -1 for a list kind without a button of its own.
int ListCount(db::Connection& connection, int listKind);

// The select statement ListCount runs for a list kind, with its parameters; empty for a kind
// without a button of its own. Support tools and the benchmark run the same statements.
struct CountQuery {
    QString sql;
    QVariantList parameters;
};
CountQuery ListCountQuery(int listKind);

// The three licence band statements of CountLicences, lowest band first.
QStringList LicenceCountQueries();

// The three licence counts of section 15 by fee band, into me1519_1 (below 500 000),
// me1519_2 (500 000 to 1 000 000, both ends included) and me1519_3 (above 1 000 000).
void CountLicences(db::Connection& connection, FieldValues& values);

// Unit identifier and code of dane_podstawowe, which no page shows (0 and "" when empty).
struct UnitIdentity {
    int id = 0;
    QString kod;
};
UnitIdentity LoadUnitIdentity(db::Connection& connection);

} // namespace vestrum
