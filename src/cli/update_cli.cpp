#include "cli/update_cli.h"

#include "cli/cli_support.h"

#include "base/error.h"
#include "program/data_home.h"
#include "update/names.h"
#include "update/version.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>
#include <QTextStream>

#include <optional>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::kUsage;

const char* const kUsageText = "Użycie:\n"
                               "  vestrum-cli update sign --key KLUCZ PLIK [--version W]\n"
                               "  vestrum-cli update verify PLIK [--klucz-publiczny PLIK.pub]\n";

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem, kUsageText);
}

// Options with a value ("--key K" or "--key=K") and the remaining words; nothing for an unknown option or an
// option given twice or without its value.
struct Words {
    QMap<QString, QString> options;
    QStringList plain;
};

std::optional<Words> splitWords(const QStringList& args, const QStringList& knownOptions)
{
    Words words;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        if (!word.startsWith(QLatin1String("--"))) {
            words.plain.append(word);
            continue;
        }
        const qsizetype equals = word.indexOf(u'=');
        const QString name = equals < 0 ? word : word.left(equals);
        if (!knownOptions.contains(name) || words.options.contains(name))
            return std::nullopt;
        if (equals >= 0)
            words.options.insert(name, word.mid(equals + 1));
        else if (i + 1 < args.size())
            words.options.insert(name, args[++i]);
        else
            return std::nullopt;
    }
    return words;
}

QByteArray readSmallFile(const QString& path, const QString& what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Nie można odczytać pliku %1 (%2).").arg(path, what));
    return file.read(update::kMaxSignatureFileBytes + 1);
}

// A secret key lying in the program's folder, its data folder or the user's own data folder would travel with every
// copy of the program, every backup of the data and every folder taken over from another computer.
bool isInsideProgramOrDataFolder(const QString& programFolder, const QString& path)
{
    for (const QString& folder : {programFolder, DataFolderOf(programFolder), userDataFolder()}) {
        if (update::IsInsideProgramFolder(folder, path))
            return true;
    }
    return false;
}

int sign(const QString& programFolder, const Words& words, QTextStream& out)
{
    const QString keyPath = words.options.value(QStringLiteral("--key"));
    const QString filePath = words.plain.first();
    const QString version = words.options.value(QStringLiteral("--version"));
    if (isInsideProgramOrDataFolder(programFolder, QFileInfo(keyPath).absoluteFilePath()))
        throw Error(QStringLiteral("Klucz tajny %1 leży w folderze programu lub jego danych.\n"
                                   "Przenieś go w bezpieczne miejsce poza folderem programu.")
                        .arg(keyPath));
    if (!QFileInfo(filePath).isFile())
        throw Error(QStringLiteral("Plik %1 nie istnieje.").arg(filePath));
    update::SecretKey key;
    try {
        key = update::ParseSecretKeyFile(readSmallFile(keyPath, QStringLiteral("klucz tajny")));
    } catch (const Error& e) {
        throw Error(QStringLiteral("Nie można podpisać pliku kluczem %1: %2.").arg(keyPath, e.message()));
    }
    const QByteArray comment = update::TrustedCommentFor(QFileInfo(filePath).fileName(), version);
    const QByteArray signature = update::SignFile(filePath, key, comment);
    const QString signaturePath = update::SignaturePathOf(filePath);
    QSaveFile target(signaturePath);
    if (!target.open(QIODevice::WriteOnly) || target.write(signature) != signature.size() || !target.commit())
        throw Error(QStringLiteral("Nie można zapisać pliku %1.").arg(signaturePath));
    out << signaturePath << '\t' << QString::fromUtf8(comment) << '\n';
    return kOk;
}

int verify(const update::PublicKeys& builtInKeys, const Words& words, QTextStream& out, QTextStream& err)
{
    const QString filePath = words.plain.first();
    update::PublicKeys keys = builtInKeys;
    if (words.options.contains(QStringLiteral("--klucz-publiczny"))) {
        const QString keyPath = words.options.value(QStringLiteral("--klucz-publiczny"));
        const auto key = update::ParsePublicKeyFile(readSmallFile(keyPath, QStringLiteral("klucz publiczny")));
        if (!key)
            throw Error(QStringLiteral("Plik %1 nie jest kluczem publicznym w formacie minisign.").arg(keyPath));
        keys = { *key };
    }
    if (keys.isEmpty())
        throw Error(update::NoUpdateKeyNotice() + QStringLiteral("\nPodaj klucz: --klucz-publiczny PLIK.pub"));
    if (!QFileInfo(filePath).isFile())
        throw Error(QStringLiteral("Plik %1 nie istnieje.").arg(filePath));
    const QString name = QFileInfo(filePath).fileName();
    const update::SignatureCheck check = update::SignatureVerifier(keys).checkFileFor(filePath, name);
    if (!check.good()) {
        err << QStringLiteral("Podpis pliku %1 odrzucony: %2.").arg(filePath, update::FaultReason(check)) << '\n';
        return kFailed;
    }
    out << QString::fromUtf8(check.trustedComment) << '\n';
    return kOk;
}

} // namespace

int runUpdateCommandIn(const QString& programFolder, const update::PublicKeys& builtInKeys, const QStringList& args,
    QTextStream& out, QTextStream& err)
{
    if (args.isEmpty())
        return usage(err);
    const QString command = args.first();
    if (command == QLatin1String("sign")) {
        const auto words = splitWords(args.mid(1), { QStringLiteral("--key"), QStringLiteral("--version") });
        if (!words || words->plain.size() != 1 || !words->options.contains(QStringLiteral("--key")))
            return usage(err);
        const QString version = words->options.value(QStringLiteral("--version"));
        if (words->options.contains(QStringLiteral("--version")) && !update::ParseVersion(version))
            return usage(err, QStringLiteral("Wersja %1 nie ma postaci a.b.c.d.").arg(version));
        return cli::RunReportingErrors(out, err, [&] { return sign(programFolder, *words, out); });
    }
    if (command == QLatin1String("verify")) {
        const auto words = splitWords(args.mid(1), { QStringLiteral("--klucz-publiczny") });
        if (!words || words->plain.size() != 1)
            return usage(err);
        return cli::RunReportingErrors(out, err, [&] { return verify(builtInKeys, *words, out, err); });
    }
    return usage(err);
}

int runUpdateCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    return runUpdateCommandIn(QCoreApplication::applicationDirPath(), update::BuiltInPublicKeys(), args, out, err);
}

} // namespace vestrum
