#pragma once

// Signing keys made at test time with libsodium, in the file formats of minisign, and signatures made with
// them for files and bytes.

#include "update/signature.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sodium.h>

namespace vestrum::testing {

struct TestKey {
    QByteArray keyId = QByteArray(update::kKeyIdBytes, '\0');
    QByteArray publicHalf = QByteArray(update::kPublicKeyBytes, '\0');
    QByteArray secret = QByteArray(update::kSecretKeyBytes, '\0');

    TestKey()
    {
        if (sodium_init() < 0)
            throw std::runtime_error("libsodium");
        randombytes_buf(keyId.data(), keyId.size());
        crypto_sign_keypair(
            reinterpret_cast<unsigned char*>(publicHalf.data()), reinterpret_cast<unsigned char*>(secret.data()));
    }
    update::PublicKey publicKey() const { return { keyId, publicHalf }; }
    update::SecretKey secretKey() const { return { keyId, secret }; }
    QByteArray publicKeyLine() const { return QByteArray(QByteArray("Ed") + keyId + publicHalf).toBase64(); }
    QByteArray publicKeyFile() const { return "untrusted comment: minisign public key\n" + publicKeyLine() + '\n'; }
    // As `minisign -G -W` writes it: no key derivation, zero salt and limits, checksum left zero.
    QByteArray secretKeyFile() const
    {
        const QByteArray record = QByteArray("Ed") + QByteArray(2, '\0') + QByteArray("B2") + QByteArray(48, '\0')
            + keyId + secret + QByteArray(32, '\0');
        return "untrusted comment: minisign encrypted secret key\n" + record.toBase64() + "\n";
    }

    // As `minisign -G` writes it with a password: scrypt named in the key-derivation bytes, the rest encrypted.
    QByteArray encryptedSecretKeyFile() const
    {
        QByteArray record = QByteArray("EdScB2") + QByteArray(48 + 8 + 64 + 32, '\0');
        randombytes_buf(record.data() + 6, record.size() - 6);
        return "untrusted comment: minisign encrypted secret key\n" + record.toBase64() + "\n";
    }

    // The signature file for `content` with the given trusted comment.
    QByteArray sign(const QByteArray& content, const QByteArray& trustedComment) const
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("plik")));
        file.open(QIODevice::WriteOnly);
        file.write(content);
        file.close();
        return update::SignFile(file.fileName(), secretKey(), trustedComment);
    }
    QByteArray signFor(const QByteArray& content, const QString& fileName, const QString& version = {}) const
    {
        return sign(content, update::TrustedCommentFor(fileName, version));
    }
};

// A signature file whose trusted comment was edited after signing: the signature of the file itself still checks,
// only the global signature over it and the comment no longer does.
inline QByteArray withTrustedComment(const QByteArray& signatureFile, const QByteArray& comment)
{
    QList<QByteArray> lines = signatureFile.split('\n');
    for (QByteArray& line : lines) {
        if (line.startsWith("trusted comment: "))
            line = "trusted comment: " + comment;
    }
    return lines.join('\n');
}

} // namespace vestrum::testing
