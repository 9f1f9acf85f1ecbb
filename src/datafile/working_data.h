#pragma once

// Changes of the working data as a whole that are neither a load nor a save.

#include <QString>

namespace vestrum {

class Program;

namespace datafiles {

// Writes the reporting year into Rok_sprawozdawczy of dane_szczegolowe and clears DataSaved.
void StoreReportingYear(Program& program, const QString& year);

// "Nowa jednostka": empties every table but `wersja` and puts one record with id -1 into dane_podstawowe (into a
// new database when the working one is damaged: SetDamagedWorkingDataAside).
void ClearForNewUnit(Program& program);

} // namespace datafiles
} // namespace vestrum
