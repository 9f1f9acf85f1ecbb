#include "update/signature.h"

#include "base/error.h"

#include <QFile>
#include <QStringDecoder>

#include <sodium.h>

#include <algorithm>

namespace vestrum::update {
namespace {

// The layout of minisign's files: two-letter algorithm names, then fixed-size fields.
constexpr char kKeyAlgorithm[] = "Ed"; // public and secret keys
constexpr char kPrehashed[] = "ED"; // signatures over the BLAKE2b-512 hash of the file
constexpr qsizetype kAlgorithmBytes = 2;
constexpr qsizetype kPublicKeyRecord = kAlgorithmBytes + kKeyIdBytes + kPublicKeyBytes; // 42
constexpr qsizetype kSignatureRecord = kAlgorithmBytes + kKeyIdBytes + kSignatureBytes; // 74
constexpr qsizetype kHashBytes = crypto_generichash_BYTES_MAX; // 64: BLAKE2b-512
constexpr qsizetype kChecksumBytes = crypto_generichash_BYTES; // 32
// sig_alg, kdf_alg, chk_alg, salt, opslimit, memlimit, then key id, secret key and checksum.
constexpr qsizetype kSecretHeader = 3 * kAlgorithmBytes + 32 + 8 + 8;
constexpr qsizetype kSecretRecord = kSecretHeader + kKeyIdBytes + kSecretKeyBytes + kChecksumBytes; // 158

constexpr char kUntrustedPrefix[] = "untrusted comment:";
constexpr char kTrustedPrefix[] = "trusted comment: ";
constexpr char kFilePrefix[] = "plik:";
constexpr char kVersionPrefix[] = " wersja:";

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

unsigned char* bytes(QByteArray& data)
{
    return reinterpret_cast<unsigned char*>(data.data());
}

// Exactly `size` bytes of strict base64, or nothing.
std::optional<QByteArray> decodeExactly(QByteArrayView text, qsizetype size)
{
    const auto decoded = QByteArray::fromBase64Encoding(
        text.trimmed().toByteArray(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size)
        return std::nullopt;
    return decoded.decoded;
}

// Lines without their line break (and a CR before it); a final line break makes no empty last line.
QList<QByteArray> linesOf(const QByteArray& data)
{
    QList<QByteArray> lines = data.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The key lines of a file: the line after the untrusted comment, or the only line.
std::optional<QByteArray> keyLineOf(const QByteArray& data)
{
    const QList<QByteArray> lines = linesOf(data);
    if (lines.size() == 1)
        return lines.first();
    if (lines.size() == 2 && lines.first().startsWith(kUntrustedPrefix))
        return lines[1];
    return std::nullopt;
}

QByteArray hashOfBytes(const QByteArray& content)
{
    QByteArray hash(kHashBytes, '\0');
    crypto_generichash(bytes(hash), hash.size(), bytes(content), content.size(), nullptr, 0);
    return hash;
}

// The BLAKE2b-512 hash of a file of any size, read in blocks; nothing when it cannot be read.
std::optional<QByteArray> hashOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, kHashBytes);
    QByteArray block(1 << 16, '\0');
    for (;;) {
        const qint64 got = file.read(block.data(), block.size());
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        crypto_generichash_update(&state, bytes(block), static_cast<unsigned long long>(got));
    }
    QByteArray hash(kHashBytes, '\0');
    crypto_generichash_final(&state, bytes(hash), hash.size());
    return hash;
}

QByteArray sign(const QByteArray& message, const QByteArray& secretKey)
{
    QByteArray signature(kSignatureBytes, '\0');
    crypto_sign_detached(bytes(signature), nullptr, bytes(message), message.size(), bytes(secretKey));
    return signature;
}

bool verify(const QByteArray& signature, const QByteArray& message, const QByteArray& publicKey)
{
    return crypto_sign_verify_detached(bytes(signature), bytes(message), message.size(), bytes(publicKey)) == 0;
}

} // namespace

QString SignaturePathOf(const QString& path)
{
    return path + QStringLiteral(".minisig");
}

std::optional<PublicKey> ParsePublicKey(QByteArrayView line)
{
    const auto record = decodeExactly(line, kPublicKeyRecord);
    if (!record || !record->startsWith(kKeyAlgorithm))
        return std::nullopt;
    return PublicKey { record->mid(kAlgorithmBytes, kKeyIdBytes), record->mid(kAlgorithmBytes + kKeyIdBytes) };
}

std::optional<PublicKey> ParsePublicKeyFile(const QByteArray& bytes)
{
    if (bytes.size() > kMaxSignatureFileBytes)
        return std::nullopt;
    const auto line = keyLineOf(bytes);
    return line ? ParsePublicKey(*line) : std::nullopt;
}

std::optional<PublicKeys> ParsePublicKeyList(const QString& text)
{
    PublicKeys keys;
    QString separated = text;
    separated.replace(u',', u';');
    for (const QString& item : separated.split(u';', Qt::SkipEmptyParts)) {
        if (item.trimmed().isEmpty())
            continue;
        const auto key = ParsePublicKey(item.toLatin1());
        if (!key || std::any_of(item.cbegin(), item.cend(), [](QChar c) { return c.unicode() > 0x7f; }))
            return std::nullopt;
        if (!keys.contains(*key))
            keys.append(*key);
    }
    return keys;
}

QString NoUpdateKeyNotice()
{
    return QStringLiteral("Aktualizacje programu są wyłączone: ta kopia programu nie ma wbudowanego klucza "
                          "do sprawdzania podpisów aktualizacji.");
}

std::optional<SignatureFile> ParseSignatureFile(const QByteArray& data)
{
    if (data.size() > kMaxSignatureFileBytes)
        return std::nullopt;
    const QList<QByteArray> lines = linesOf(data);
    if (lines.size() != 4 || !lines[0].startsWith(kUntrustedPrefix) || !lines[2].startsWith(kTrustedPrefix))
        return std::nullopt;
    const auto record = decodeExactly(lines[1], kSignatureRecord);
    const auto global = decodeExactly(lines[3], kSignatureBytes);
    // Only the prehashed kind: a legacy "Ed" signature would need the whole file in memory.
    if (!record || !global || !record->startsWith(kPrehashed))
        return std::nullopt;
    return SignatureFile { record->mid(kAlgorithmBytes, kKeyIdBytes), record->mid(kAlgorithmBytes + kKeyIdBytes),
        lines[2].mid(qsizetype(sizeof kTrustedPrefix) - 1), *global };
}

PublicKey SecretKey::publicKey() const
{
    return PublicKey { keyId, key.mid(kSecretKeyBytes - kPublicKeyBytes) };
}

SecretKey ParseSecretKeyFile(const QByteArray& data)
{
    const QString notAKey = QStringLiteral("plik nie jest kluczem tajnym w formacie minisign");
    if (data.size() > kMaxSignatureFileBytes)
        throw Error(notAKey);
    const auto line = keyLineOf(data);
    const auto record = line ? decodeExactly(*line, kSecretRecord) : std::nullopt;
    if (!record || !record->startsWith(kKeyAlgorithm) || record->mid(2 * kAlgorithmBytes, kAlgorithmBytes) != "B2")
        throw Error(notAKey);
    // Whether the key is encrypted shows in its key-derivation bytes; the comment says "encrypted" either way.
    const QByteArray derivation = record->mid(kAlgorithmBytes, kAlgorithmBytes);
    if (derivation == "Sc")
        throw Error(QStringLiteral("klucz jest zaszyfrowany hasłem; podpisywać można tylko kluczem "
                                   "zapisanym bez hasła (minisign -G -W)"));
    if (derivation != QByteArray(2, '\0'))
        throw Error(notAKey);

    SecretKey key { record->mid(kSecretHeader, kKeyIdBytes),
        record->mid(kSecretHeader + kKeyIdBytes, kSecretKeyBytes) };
    const QByteArray checksum = record->mid(kSecretHeader + kKeyIdBytes + kSecretKeyBytes);
    if (!sodiumReady())
        throw Error(QStringLiteral("biblioteka kryptograficzna nie działa"));
    // minisign -W leaves the checksum zero; a checksum that is there must match.
    if (checksum != QByteArray(kChecksumBytes, '\0')) {
        crypto_generichash_state state;
        crypto_generichash_init(&state, nullptr, 0, kChecksumBytes);
        crypto_generichash_update(&state, bytes(*record), kAlgorithmBytes);
        crypto_generichash_update(&state, bytes(key.keyId), key.keyId.size());
        crypto_generichash_update(&state, bytes(key.key), key.key.size());
        QByteArray computed(kChecksumBytes, '\0');
        crypto_generichash_final(&state, bytes(computed), computed.size());
        if (computed != checksum)
            throw Error(QStringLiteral("klucz jest uszkodzony (suma kontrolna się nie zgadza)"));
    }
    // The key holds its seed and its public half: they must belong together, or every signature is bad.
    QByteArray publicHalf(kPublicKeyBytes, '\0');
    QByteArray expanded(kSecretKeyBytes, '\0');
    crypto_sign_seed_keypair(bytes(publicHalf), bytes(expanded), bytes(key.key));
    const bool whole = expanded == key.key;
    sodium_memzero(expanded.data(), expanded.size());
    if (!whole)
        throw Error(QStringLiteral("klucz jest uszkodzony"));
    return key;
}

std::optional<SignedFacts> ParseTrustedComment(const QByteArray& comment)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(comment);
    if (utf8.hasError() || !text.startsWith(QLatin1String(kFilePrefix)))
        return std::nullopt;
    SignedFacts facts;
    const QString rest = text.mid(qsizetype(sizeof kFilePrefix) - 1);
    const qsizetype at = rest.lastIndexOf(QLatin1String(kVersionPrefix));
    facts.fileName = at < 0 ? rest : rest.left(at);
    if (at >= 0) {
        facts.version = ParseVersion(rest.mid(at + qsizetype(sizeof kVersionPrefix) - 1));
        if (!facts.version)
            return std::nullopt;
    }
    if (facts.fileName.isEmpty())
        return std::nullopt;
    return facts;
}

QByteArray TrustedCommentFor(const QString& fileName, const QString& versionText)
{
    QByteArray comment = kFilePrefix + fileName.toUtf8();
    if (!versionText.isEmpty())
        comment += kVersionPrefix + versionText.toUtf8();
    return comment;
}

QByteArray SignFile(const QString& path, const SecretKey& key, const QByteArray& trustedComment)
{
    if (trustedComment.contains('\n') || trustedComment.contains('\r'))
        throw Error(QStringLiteral("Komentarz podpisu nie może mieć kilku wierszy."));
    const auto hash = sodiumReady() ? hashOfFile(path) : std::nullopt;
    if (!hash)
        throw Error(QStringLiteral("Nie można odczytać pliku %1.").arg(path));
    const QByteArray signature = sign(*hash, key.key);
    const QByteArray global = sign(signature + trustedComment, key.key);
    return QByteArray("untrusted comment: podpis aktualizacji programu Vestrum\n")
        + QByteArray(kPrehashed + key.keyId + signature).toBase64() + '\n' + kTrustedPrefix + trustedComment + '\n'
        + global.toBase64() + '\n';
}

QString FaultReason(const SignatureCheck& check)
{
    switch (check.fault) {
    case SignatureFault::None:
        return {};
    case SignatureFault::Missing:
        return QStringLiteral("brak podpisu");
    case SignatureFault::Bad:
        return QStringLiteral("podpis jest nieprawidłowy");
    case SignatureFault::UnknownKey:
        return QStringLiteral("podpis złożono nieznanym kluczem");
    case SignatureFault::NotTheSignedFile:
        return QStringLiteral("podpisano inny plik lub inną wersję (%1)").arg(QString::fromUtf8(check.trustedComment));
    }
    return {};
}

SignatureVerifier::SignatureVerifier(PublicKeys keys)
    : keys_(std::move(keys))
{
}

SignatureCheck SignatureVerifier::checkHash(const QByteArray& hash, const std::optional<QByteArray>& signature) const
{
    SignatureCheck check;
    if (!signature)
        return check; // Missing
    check.fault = SignatureFault::Bad;
    const auto parsed = ParseSignatureFile(*signature);
    if (!parsed || !sodiumReady())
        return check;
    const auto key
        = std::find_if(keys_.cbegin(), keys_.cend(), [&](const PublicKey& k) { return k.keyId == parsed->keyId; });
    if (key == keys_.cend()) {
        check.fault = SignatureFault::UnknownKey;
        return check;
    }
    if (!verify(parsed->signature, hash, key->key)
        || !verify(parsed->globalSignature, parsed->signature + parsed->trustedComment, key->key))
        return check;
    check.fault = SignatureFault::None;
    check.trustedComment = parsed->trustedComment;
    check.facts = ParseTrustedComment(parsed->trustedComment);
    return check;
}

SignatureCheck SignatureVerifier::checkBytes(
    const QByteArray& content, const std::optional<QByteArray>& signature) const
{
    if (!sodiumReady())
        return SignatureCheck { SignatureFault::Bad, {}, {} };
    return checkHash(hashOfBytes(content), signature);
}

SignatureCheck SignatureVerifier::checkFile(const QString& path) const
{
    QFile signatureFile(SignaturePathOf(path));
    if (!signatureFile.open(QIODevice::ReadOnly))
        return SignatureCheck {};
    const QByteArray signature = signatureFile.read(kMaxSignatureFileBytes + 1);
    const auto hash = sodiumReady() ? hashOfFile(path) : std::nullopt;
    if (!hash)
        return SignatureCheck { SignatureFault::Bad, {}, {} };
    return checkHash(*hash, signature);
}

SignatureCheck SignatureVerifier::checkFileFor(
    const QString& path, const QString& fileName, const std::optional<VersionNumber>& version) const
{
    SignatureCheck check = checkFile(path);
    RequireSignedFor(check, fileName, version);
    return check;
}

SignatureCheck SignatureVerifier::checkBytesFor(
    const QByteArray& content, const std::optional<QByteArray>& signature, const QString& fileName) const
{
    SignatureCheck check = checkBytes(content, signature);
    RequireSignedFor(check, fileName, std::nullopt);
    return check;
}

void RequireSignedFor(SignatureCheck& check, const QString& fileName, const std::optional<VersionNumber>& version)
{
    if (!check.good())
        return;
    const bool sameFile = check.facts && check.facts->fileName == fileName;
    const bool sameVersion = !version || (check.facts && check.facts->version == version);
    if (!sameFile || !sameVersion)
        check.fault = SignatureFault::NotTheSignedFile;
}

} // namespace vestrum::update
