#include "survey/reference_tables.h"

#include "base/core_resources.h"
#include "base/error.h"

#include <QFile>
#include <QHash>
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

} // namespace

const QVector<CodeName>& DisciplineTable()
{
    static const QVector<CodeName> rows = disciplines();
    return rows;
}

const QVector<CodeName>& Pkd2004Table()
{
    static const QVector<CodeName> rows = readTsv(QStringLiteral(":/data/pkd2004.tsv"));
    return rows;
}

const QVector<CodeName>& Pkd2007Table()
{
    static const QVector<CodeName> rows = readTsv(QStringLiteral(":/data/pkd2007.tsv"));
    return rows;
}

const QVector<CodeName>& PkdTable(int version)
{
    return version == 2007 ? Pkd2007Table() : Pkd2004Table();
}

const CodeName* findCode(const QVector<CodeName>& table, const QString& code)
{
    for (const CodeName& row : table) {
        if (row.code.compare(code, Qt::CaseInsensitive) == 0)
            return &row;
    }
    return nullptr;
}

} // namespace vestrum
