#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

namespace vestrum {

// Rows of a grid without its header row; each row holds one text per column.
using GridRows = QVector<QStringList>;

// A snapshot of a page's controls keyed by control name (e.g. "me311"): the main window collects
// its controls into it and applies one back; section loading and saving read and write these maps,
// and the report builder reads them too.
struct FieldValues {
    QMap<QString, QString> text;      // text and number fields, chosen drop-down item text, list-button captions
    QMap<QString, QStringList> lines; // chooser lists: the chosen lines ("code - name")
    QMap<QString, GridRows> grids;    // grids of a page
    QMap<QString, bool> checked;      // radio buttons
    QMap<QString, int> maxLength;     // input limits from the declared field widths (0 = none)

    bool operator==(const FieldValues&) const = default;
};

} // namespace vestrum
