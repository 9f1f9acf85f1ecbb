#pragma once

#include <QString>

namespace vestrum::journals {

// Version of the shipped journal list (the ministry's list of 31 July 2019).
QString shippedListVersion();

// Creates dane/lista_czasopism.mdb from the journal list compiled into the program.
void createJournalListDatabase(const QString& path);

} // namespace vestrum::journals
