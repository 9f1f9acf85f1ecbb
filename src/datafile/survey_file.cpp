#include "datafile/survey_file.h"

#include "base/error.h"
#include "archive/zlb_archive.h"
#include "program/data_folder_lock.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace vestrum {
namespace {

QString unpackSurvey(const QString& path, QTemporaryDir& scratch)
{
    if (!scratch.isValid())
        throw Error(QStringLiteral("Nie można utworzyć katalogu tymczasowego."));
    return UnpackSurvey(path, scratch.path());
}

} // namespace

bool IsSurveyArchive(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("naj") || suffix == QLatin1String("nar");
}

QString UnpackSurvey(const QString& path, const QString& folder)
{
    return UnpackSurvey(path, folder, QStringLiteral("W pliku skompresowanym nie istnieje taki zbiór"));
}

QString UnpackSurvey(const QString& path, const QString& folder, const QString& noSurveyMessage)
{
    ZlbArchive archive;
    // A member whose bytes no longer match their CRC is refused ("Plik (0) jest uszkodzony") before anything reads
    // it, so no save ever writes its damage back under a fresh CRC.
    archive.SetCheckCRC(true);
    archive.OpenArchive(path);
    const int index = archive.FindFile(QStringLiteral("ankieta.mdb"));
    if (index < 0)
        throw Error(noSurveyMessage);
    archive.ExtractFile(index, folder);
    // Files written on Windows may spell the member in capitals.
    const QString extracted = QDir(folder).filePath(archive.GetFileEntry(index).fileName());
    archive.CloseArchive();
    return extracted;
}

void OpenSurveyFile(db::Connection& connection, const QString& path, QTemporaryDir& scratch)
{
    RefuseDataFolderInUse(path);
    if (!QFileInfo(path).isFile())
        throw Error(QStringLiteral("Nie znaleziono pliku %1").arg(QDir::toNativeSeparators(path)));
    const QString database = IsSurveyArchive(path) ? unpackSurvey(path, scratch) : path;
    try {
        connection.open(database, schema::databasePassword());
    } catch (const Error&) {
        try {
            connection.open(database, schema::legacyDatabasePassword());
        } catch (const Error&) {
            throw Error(QStringLiteral("Zbiór danych nie może być wczytany - nieprawidłowy format bazy danych."));
        }
    }
}

} // namespace vestrum
