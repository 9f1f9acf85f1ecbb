#include "support/legacy_data_file.h"

namespace vestrum::testing {

QList<LegacyPublication> legacyPublications()
{
    // The earlier release stored the type in either case: the second row of each type is in small letters.
    return {
        {QStringLiteral("P"), 1, QStringLiteral("Acta Physica Polonica B"), QStringLiteral("O rozpadzie mezonów"),
         QStringLiteral("Nowak A., Wiśniewska B."), QStringLiteral("2005, 36, 101-118")},
        {QStringLiteral("M"), 1, QStringLiteral("Wydawnictwo Naukowe PWN"), QStringLiteral("Gleby Polski"),
         QStringLiteral("Kowalski J."), QStringLiteral("Warszawa 2005, s. 320")},
        {QStringLiteral("p"), 3, QStringLiteral("Przegląd Geofizyczny"), QStringLiteral("Pomiary grawimetryczne"),
         QStringLiteral("Zieliński K."), QStringLiteral("2005, 50, 7-19")},
        {QStringLiteral("m"), 2, QStringLiteral("Ossolineum"), QStringLiteral("Dzieje Śląska"),
         QStringLiteral("Lewandowska M."), QStringLiteral("Wrocław 2005, t. 2, s. 11-40")},
    };
}

void writeLegacyDatabase(const QString& path)
{
    db::Connection::create(path, schema::legacyDatabasePassword());
    db::Connection c;
    c.open(path, schema::legacyDatabasePassword());
    c.execute(QStringLiteral("CREATE TABLE dane_wykaz_pub_mono (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                             "typ VARCHAR(1), grupa INTEGER, Czasopismo_wydawca NVARCHAR(250), Tytul NVARCHAR(255), "
                             "Tytul_rozdzialu NVARCHAR(255), Autorzy NVARCHAR(255), Rok_tom_str NVARCHAR(255), "
                             "Liczba_punktow REAL)"));
    for (const LegacyPublication& p : legacyPublications()) {
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_pub_mono (typ, grupa, Czasopismo_wydawca, Tytul, Autorzy, "
                                 "Rok_tom_str, Liczba_punktow) VALUES (?,?,?,?,?,?,?)"),
                  {p.typ, p.grupa, p.czasopismoWydawca, p.tytul, p.autorzy, p.rokTomStr, 6.0});
    }
    // The 2005 survey asked fewer questions and named one of them differently.
    c.execute(QStringLiteral("CREATE TABLE dane_szczegolowe (Zatr_BR_prof_N INTEGER, Zatr_BR_hab_N INTEGER, "
                             "Liczba_ksiazek INTEGER, Rok_sprawozdawczy VARCHAR(4), Liczba_projektow_2005 INTEGER)"));
    c.execute(QStringLiteral("INSERT INTO dane_szczegolowe VALUES (7, 12, 15000, '2005', 3)"));
    c.execute(QStringLiteral("CREATE TABLE dane_podstawowe (id INTEGER, kod VARCHAR(50), nazwa NVARCHAR(250))"));
    c.execute(QStringLiteral("INSERT INTO dane_podstawowe VALUES (4411, 'IGF', 'Instytut Geofizyki')"));
    c.execute(QStringLiteral("CREATE TABLE dane_kierownictwo (Nazwisko NVARCHAR(100), Stanowisko VARCHAR(100))"));
    c.execute(QStringLiteral("INSERT INTO dane_kierownictwo VALUES ('Dąbrowski Piotr', 'dyrektor')"));
    c.close();
}

void writeLegacyDataFile(const QString& target)
{
    QTemporaryDir staging;
    const QString database = staging.filePath(QStringLiteral("legacy.mdb"));
    writeLegacyDatabase(database);
    archiveDatabase(database, target);
}

} // namespace vestrum::testing
