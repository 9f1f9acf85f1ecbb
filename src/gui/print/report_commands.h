#pragma once

#include "print/report_builder.h"

#include <memory>

namespace vestrum {

class MainWindow;
class Program;
class ReportChoiceWindow;
class ReportWindow;

// The three commands of "Drukowanie": the visible section, a chosen part of the survey, or the
// whole of it, built into the report window's document from the pages the main window shows and
// the lists as their editor loads them, then shown in the report window.
class ReportCommands {
public:
    ReportCommands(Program& program, MainWindow& main);
    ~ReportCommands();

    // Gives the menu entries their commands (the main window runs ConfirmPendingEdit first).
    void connectMenu();

    void printVisible();   // "Widoczny zakres danych"
    void chooseAndPrint(); // "Wybraną część ankiety"
    void printWhole();     // "Całą ankietę"

    // Builds the report of these entries into the report window and shows it modally.
    void print(const report::TickedEntries& ticked);
    // Builds the report of these entries with the progress window "Przygotowanie danych".
    report::ReportDocument build(const report::TickedEntries& ticked);

    // The entry "Widoczny zakres danych" ticks for the page shown now, or -1.
    int visibleEntry() const;

    ReportWindow& reportWindow();
    ReportChoiceWindow& choiceWindow();

private:
    report::ReportSource source();

    Program& program_;
    MainWindow& main_;
    std::unique_ptr<ReportWindow> report_;
    std::unique_ptr<ReportChoiceWindow> choice_;
};

} // namespace vestrum
