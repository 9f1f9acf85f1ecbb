#pragma once

#include <QString>

namespace vestrum::cli {

// The report needs Qt's painting classes, fonts and the PDF library; every other command does not, so
// `vestrum-cli report` is the work of a program of its own beside vestrum-cli, and vestrum-cli starts
// without those libraries.
inline constexpr char kReportProgramName[] = "vestrum-cli-report";

// The report program beside the running executable (its real place, a link such as /usr/bin/vestrum-cli
// followed), or an empty text when the running executable cannot be found.
QString ReportProgramPath();

// Replaces this process with the report program, given the same arguments, so that its output, messages
// and exit code are those of the command. Returns only when it could not be started, with the Polish
// message on stderr and exit code 1.
int HandOverToReportProgram(char** argv);

} // namespace vestrum::cli
