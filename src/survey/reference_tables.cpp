#include "survey/reference_tables.h"

#include "base/core_resources.h"
#include "base/error.h"

#include <QFile>
#include <QMap>
#include <QTextStream>

namespace vestrum {
namespace {

QVector<CodeName> readTsv(const QString& resource)
{
    initCoreResources();
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Brak danych programu: %1").arg(resource));
    QVector<CodeName> rows;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0)
            continue;
        rows.append({line.left(tab), line.mid(tab + 1)});
    }
    return rows;
}

QVector<CodeName> disciplines()
{
    static const char* const names[] = {
        "nauki filozoficzne", "nauki teologiczne", "nauki filologiczne", "nauki o sztukach pięknych", "psychologia",
        "pedagogika", "nauki historyczne", "socjologia", "nauki o polityce", "organizacja i zarządzanie",
        "nauki prawne", "ekonomia", "nauki wojskowe", "bibliotekoznawstwo i informacja naukowo-techniczna",
        "geografia", "geologia", "geofizyka", "oceanologia", "geodezja i kartografia", "biologia", "nauki medyczne",
        "nauki farmaceutyczne", "nauki weterynaryjne", "matematyka", "fizyka", "nauki chemiczne", "astronomia",
        "informatyka", "architektura i urbanistyka", "budownictwo", "automatyka i robotyka", "elektronika",
        "biocybernetyka i inżynieria biomedyczna", "elektrotechnika", "telekomunikacja",
        "górnictwo i geologia inżynierska", "inżynieria materiałowa", "metalurgia",
        "inżynieria i ochrona środowiska", "inżynieria chemiczna", "technologia chemiczna", "włókiennictwo",
        "mechanika", "budowa i eksploatacja maszyn", "transport", "technologia drewna", "towaroznawstwo",
        "agronomia", "technika rolnicza", "melioracje wodne", "ogrodnictwo", "rybactwo",
        "technologia żywności i żywienia", "zootechnika", "nauki leśne", "medycyna", "biologia medyczna",
        "pielęgniarstwo", "stomatologia", "nauki kultury fizycznej", "energetyka", "technika nawigacji",
        "kształtowanie środowiska", "interdyscyplinarne"};
    QVector<CodeName> rows;
    int code = 1;
    for (const char* name : names)
        rows.append({QStringLiteral("%1").arg(code++, 2, 10, QLatin1Char('0')), QString::fromUtf8(name)});
    return rows;
}

constexpr QChar kNoBreakSpace(0x00A0);

// The published 2007 table writes these five codes with a leading no-break space, and data files
// store them that way.
const char* const kSpacedPkd2007Codes[] = {"35.1", "56.10", "77.1", "91.0", "96.0"};

QVector<CodeName> pkd2007()
{
    QVector<CodeName> rows = readTsv(QStringLiteral(":/data/pkd2007.tsv"));
    for (CodeName& row : rows)
        for (const char* code : kSpacedPkd2007Codes)
            if (row.code == QLatin1String(code))
                row.code.prepend(kNoBreakSpace);
    return rows;
}

// The 2004 table ships its subclasses ("01.11.A") only. The divisions ("01"), groups ("01.1") and
// classes ("01.11") they imply are added, so that stored codes of those levels can be shown and
// chosen. Their names are not known: each is named by its level and code, except a class with a
// single subclass, which takes that subclass's name.
QVector<CodeName> pkd2004()
{
    const QVector<CodeName> subclasses = readTsv(QStringLiteral(":/data/pkd2004.tsv"));
    QMap<QString, QVector<const CodeName*>> subclassesOfClass;
    for (const CodeName& row : subclasses)
        subclassesOfClass[row.code.left(5)].append(&row);

    QMap<QString, QString> named; // code -> name; QMap keeps code order, which is hierarchy order
    for (const CodeName& row : subclasses) {
        const QString division = row.code.left(2);
        const QString group = row.code.left(4);
        const QString klass = row.code.left(5);
        named.insert(division, QStringLiteral("dział ") + division);
        named.insert(group, QStringLiteral("grupa ") + group);
        const auto& members = subclassesOfClass[klass];
        named.insert(klass, members.size() == 1 ? members.front()->name : QStringLiteral("klasa ") + klass);
        named.insert(row.code, row.name);
    }
    QVector<CodeName> rows;
    rows.reserve(named.size());
    for (auto it = named.cbegin(); it != named.cend(); ++it)
        rows.append({it.key(), it.value()});
    return rows;
}

// A code as compared: without the no-break space some codes of the 2007 table begin with, so
// that a code stored with or without it finds its row.
QStringView comparable(const QString& code)
{
    QStringView view(code);
    return view.startsWith(kNoBreakSpace) ? view.mid(1) : view;
}

} // namespace

const QVector<CodeName>& DisciplineTable()
{
    static const QVector<CodeName> rows = disciplines();
    return rows;
}

const QVector<CodeName>& Pkd2004Table()
{
    static const QVector<CodeName> rows = pkd2004();
    return rows;
}

const QVector<CodeName>& Pkd2007Table()
{
    static const QVector<CodeName> rows = pkd2007();
    return rows;
}

const QVector<CodeName>& PkdTable(int version)
{
    return version == 2007 ? Pkd2007Table() : Pkd2004Table();
}

const CodeName* findCode(const QVector<CodeName>& table, const QString& code)
{
    const QStringView wanted = comparable(code);
    for (const CodeName& row : table) {
        if (comparable(row.code).compare(wanted, Qt::CaseInsensitive) == 0)
            return &row;
    }
    return nullptr;
}

} // namespace vestrum
