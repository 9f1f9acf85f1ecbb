#pragma once

#include <QString>
#include <QVector>

namespace vestrum {

// One row of a constant classification: the disciplines and the two PKD versions.
struct CodeName {
    QString code;
    QString name;
    // As the pickers show it: code, " - ", name.
    QString line() const { return code + QStringLiteral(" - ") + name; }
};

const QVector<CodeName>& DisciplineTable();
// The 2004 table: its subclasses and the divisions, groups and classes they imply, in code order.
// The 2007 table: five of its codes begin with a no-break space (U+00A0) and are stored that way.
const QVector<CodeName>& Pkd2004Table();
const QVector<CodeName>& Pkd2007Table();
// The classification of a stored version: 2007, anything else 2004.
const QVector<CodeName>& PkdTable(int version);

// The row whose code equals `code` without regard to case and to a leading no-break space, or
// nullptr.
const CodeName* findCode(const QVector<CodeName>& table, const QString& code);

} // namespace vestrum
