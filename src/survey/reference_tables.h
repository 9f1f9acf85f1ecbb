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
const QVector<CodeName>& Pkd2004Table();
const QVector<CodeName>& Pkd2007Table();
// The classification of a stored version: 2007, anything else 2004.
const QVector<CodeName>& PkdTable(int version);

// The row whose code equals `code` without regard to case, or nullptr.
const CodeName* findCode(const QVector<CodeName>& table, const QString& code);

} // namespace vestrum
