#include "datafile/working_data.h"

#include "datafile/damaged.h"
#include "program/program.h"
#include "storage/engine.h"

namespace vestrum::datafiles {
namespace {

QString quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

} // namespace

void StoreReportingYear(Program& program, const QString& year)
{
    db::Table details(program.survey, QStringLiteral("dane_szczegolowe"), db::Table::Mode::ReadWrite);
    details.first();
    if (details.eof())
        details.append();
    else
        details.edit();
    details.setString(QStringLiteral("Rok_sprawozdawczy"), year);
    details.post();
    SetDataSaved(program.state, false);
}

void ClearForNewUnit(Program& program)
{
    SetDamagedWorkingDataAside(program);
    db::Connection& survey = program.survey;
    db::Transaction transaction(survey);
    for (const QString& table : survey.userTables()) {
        if (table.compare(QStringLiteral("wersja"), Qt::CaseInsensitive) != 0)
            survey.execute(QStringLiteral("DELETE FROM ") + quoted(table));
    }
    db::Table basic(survey, QStringLiteral("dane_podstawowe"), db::Table::Mode::ReadWrite);
    basic.append();
    basic.setInteger(QStringLiteral("id"), -1);
    basic.post();
    transaction.commit();
}

} // namespace vestrum::datafiles
