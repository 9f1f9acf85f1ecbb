#pragma once

#include "storage/engine.h"

#include <QString>
#include <vector>

namespace vestrum::schema {

// Field types of the survey as the program treats them; each maps to one declared column type.
enum class Kind {
    Text,         // Unicode text, bounded          NVARCHAR(n)
    CodePageText, // Windows-1250 text, bounded      VARCHAR(n)
    DateText,     // dd/mm/rrrr kept as code-page text VARCHAR(10)
    LongText,     // Unicode long text              NTEXT
    LongTextCp,   // code-page long text            TEXT
    Integer,      //                                INTEGER
    Number,       // two-decimal number             REAL
};

struct ColumnDef {
    QString name;
    Kind kind;
    int width = 0; // declared width of a bounded text field; 0 takes the kind's default
};

struct TableDef {
    QString name;
    std::vector<ColumnDef> columns;
};

// The password both program databases carry, and the one of data files from the 2005 version.
QString databasePassword();
QString legacyDatabasePassword();

// Version of the data format written into `wersja` of a new survey and of the journal list.
QString surveyFormatVersion();

// Every table of ankieta.mdb, in creation order.
const std::vector<TableDef>& surveyTables();
const TableDef* findSurveyTable(const QString& name);

// How many leading fields of dane_szczegolowe describe the unit's lasting resources
// (employment, premises, library, fixed assets, quality systems, the person filling in):
// loading a data file as starting data keeps exactly these.
constexpr int LastingResourceFieldCount = 41;

QString columnDeclaration(const ColumnDef& column);

// Creates the tables in an open, empty database.
void createSurveyTables(db::Connection& connection);

// Adds to `table` the fields this version of the program declares and the database lacks (a survey of an
// earlier version has no "ISSN" of publications); returns how many were added.
int addMissingSurveyColumns(db::Connection& connection, const QString& table);

// Creates dane/ankieta.mdb with every table and its `wersja` record.
void createSurveyDatabase(const QString& path);

} // namespace vestrum::schema
