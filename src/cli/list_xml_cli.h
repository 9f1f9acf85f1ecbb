#pragma once

#include "datafile/scratch_folders.h"
#include "lists/journal_identification.h"
#include "storage/engine.h"

#include <QString>
#include <QStringList>

class QTextStream;

namespace vestrum {

// dane/lista_czasopism.mdb of the data folder of the executable's program folder (program/data_home.h), where
// the program keeps its journal list.
QString programJournalListPath();

// The journal list a headless command identifies against: the one at `path`, or, where there is no such file
// yet, one built in a scratch folder from the list the program carries.
class HeadlessJournalList {
public:
    explicit HeadlessJournalList(const QString& path);
    // The list's records are freed on a thread of their own (the command is done with them and ends soon).
    ~HeadlessJournalList() { journals_.closeFreeingInBackground(); }
    HeadlessJournalList(const HeadlessJournalList&) = delete;
    HeadlessJournalList& operator=(const HeadlessJournalList&) = delete;
    lists::JournalList& journals() { return journals_; }

private:
    tempfiles::ScratchFolder scratch_;
    db::Connection connection_;
    lists::JournalList journals_;
};

// `vestrum-cli list export ZBIÓR RODZAJ PLIK.xml` and `vestrum-cli list import ZBIÓR RODZAJ PLIK.xml
// [--save]`; `args` are the words after "list".
//
// export: writes the stored list of the kind, in the order the list editor shows it, to the XML file
// (an existing file is replaced). An empty list prints "W wykazie brak danych do eksportu." and
// writes nothing.
// import: reads the XML file as the list editor's import does (journals of kinds 3 to 6 identified on
// the journal list at `journalListPath`, or on the list built into the program when there is no such
// file) and prints the rows as `list show` prints a list, header row first.
// With --save the rows replace the kind's stored rows in one transaction, as "zapisz zmiany" does;
// a list holding two identical rows is refused. A data file (.naj) gets its rebuilt database only
// once the database has been written whole.
//
// Returns 0 on success, 1 when the command failed (the Polish message goes to `err` and nothing is
// written), 2 for a wrong command line.
int runListXmlCommand(const QStringList& args, QTextStream& out, QTextStream& err,
    const QString& journalListPath = programJournalListPath());

// Whether `args` (the words after "list") name one of these commands.
bool isListXmlCommand(const QStringList& args);

} // namespace vestrum
