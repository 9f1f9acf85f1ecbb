#pragma once

#include <QDate>
#include <QString>
#include <vector>

namespace vestrum::db {
class Connection;
}

namespace vestrum::journals {

// Version of the shipped journal list (the ministry's list of 31 July 2019).
QString shippedListVersion();

// Creates dane/lista_czasopism.mdb from the journal list compiled into the program.
void createJournalListDatabase(const QString& path);

// One journal as the list's table holds it. `name2`, `issn2` and `eissn2` are the ministry's second
// title and its ISSN pair; lists made before the program read the ministry's files lack them.
struct ListRecord {
    QString name;
    double points = 0;
    int part = 1;
    QString abbreviation;
    QString issn;
    QString eissn;
    QString name2;
    QString issn2;
    QString eissn2;
};

// The version a list read on `day` carries: "RRRR.M.D.0", so that a list the maker offers later is
// newer only when it was made later.
QString versionOfDay(const QDate& day);

// Writes a new journal-list database at `path` (which must not exist yet), with the second-title
// fields, the name of the ministry file it was read from and the day, whose version it carries.
// Throws vestrum::Error.
void writeJournalListDatabase(const QString& path, const std::vector<ListRecord>& records, const QDate& readOn,
                              const QString& sourceFile);

// Every record of a list database, in the table's order; the fields a list lacks stay empty.
std::vector<ListRecord> readListRecords(db::Connection& connection);

// What `journals show` tells about a list: its version, the ministry file and the day it was read
// (both empty for the shipped list and one installed by an update) and how many journals it holds.
struct ListEdition {
    QString version;
    QString sourceFile;
    QString readOn; // "RRRR-MM-DD"
    int journals = 0;
};
ListEdition readListEdition(db::Connection& connection);

// Where the list a new edition replaced is kept: "<list>.poprzednia".
QString previousListPath(const QString& listPath);

} // namespace vestrum::journals
