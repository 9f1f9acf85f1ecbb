#pragma once

// Signatures of update files in minisign's format. Only the prehashed kind is taken ("ED": Ed25519 over the
// file's BLAKE2b-512 hash, and a global signature over that signature followed by the trusted comment). Every
// file the update uses has its signature beside it as "<name>.minisig"; a file is read, unpacked or handed to
// the external updater only once its signature checks against one of the keys the program trusts.
//
// The trusted comment binds the signature to one file and one version: "plik:<file name> wersja:<a.b.c.d>"
// (the version file and an offline package name their file only), so a signed file cannot stand in for
// another file or an older version of itself.
//
// The cryptography is libsodium's; this module only reads and writes the file formats.

#include "update/version.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vestrum::update {

inline constexpr qsizetype kKeyIdBytes = 8;
inline constexpr qsizetype kPublicKeyBytes = 32;
inline constexpr qsizetype kSecretKeyBytes = 64;
inline constexpr qsizetype kSignatureBytes = 64;
// A signature file is a few hundred bytes; anything much larger is not one.
inline constexpr qsizetype kMaxSignatureFileBytes = 16 * 1024;

// The signature beside a file.
QString SignaturePathOf(const QString& path);

struct PublicKey {
    QByteArray keyId; // 8 bytes, as the signature names its key
    QByteArray key; // 32 bytes
    bool operator==(const PublicKey&) const = default;
};
using PublicKeys = QList<PublicKey>;

// One public-key line "RW..." (the base64 of "Ed", the key id and the key), blanks around it allowed.
std::optional<PublicKey> ParsePublicKey(QByteArrayView line);
// A public-key file as `minisign -G` writes it ("untrusted comment: ..." and the key line), or the key line
// alone.
std::optional<PublicKey> ParsePublicKeyFile(const QByteArray& bytes);
// Key lines separated by ";" (or ","): the form of the build setting. Nothing when any item is not a key.
std::optional<PublicKeys> ParsePublicKeyList(const QString& text);
// The keys built into this program (the build setting VESTRUM_UPDATE_PUBLIC_KEYS); empty in a build without
// a key, which then offers no update at all.
PublicKeys BuiltInPublicKeys();
// What a build without a key says about updates (about box, headless commands).
QString NoUpdateKeyNotice();

// A signature file, read but not yet checked.
struct SignatureFile {
    QByteArray keyId;
    QByteArray signature; // over the BLAKE2b-512 hash of the file
    QByteArray trustedComment; // the text after "trusted comment: "
    QByteArray globalSignature; // over signature + trusted comment
};
// Reads "untrusted comment: ...", the signature line, "trusted comment: ..." and the global signature line.
// Nothing for anything else, a legacy ("Ed") signature included.
std::optional<SignatureFile> ParseSignatureFile(const QByteArray& bytes);

// A secret key as `minisign -G -W` writes it. Throws vestrum::Error with the Polish reason for a key that
// is encrypted with a password, damaged, or not a minisign secret key.
struct SecretKey {
    QByteArray keyId;
    QByteArray key; // 64 bytes: seed and public key, as libsodium keeps it
    PublicKey publicKey() const;
};
SecretKey ParseSecretKeyFile(const QByteArray& bytes);

// The file name and version a trusted comment binds the signature to.
struct SignedFacts {
    QString fileName;
    std::optional<VersionNumber> version; // absent for the version file and an offline package
};
// "plik:<name>" optionally followed by " wersja:<a.b.c.d>"; nothing for any other comment.
std::optional<SignedFacts> ParseTrustedComment(const QByteArray& comment);
// `versionText` empty for a file that names no version.
QByteArray TrustedCommentFor(const QString& fileName, const QString& versionText);

// Writes the bytes of a signature file for the file at `path` (read in blocks, of any size). Throws
// vestrum::Error when the file cannot be read.
QByteArray SignFile(const QString& path, const SecretKey& key, const QByteArray& trustedComment);

// Why a signature is refused, in the order it is checked.
enum class SignatureFault {
    None,
    Missing, // no signature file beside the file
    Bad, // damaged, not of the prehashed kind, or the file or comment does not match it
    UnknownKey, // signed by a key the program does not trust
    NotTheSignedFile, // good, but for another file or another version
};

struct SignatureCheck {
    SignatureFault fault = SignatureFault::Missing;
    QByteArray trustedComment; // set once the signature checks
    std::optional<SignedFacts> facts;
    bool good() const { return fault == SignatureFault::None; }
};

// The Polish reason of a refusal, as it follows "Aktualizacja składnika X odrzucona: ".
QString FaultReason(const SignatureCheck& check);

// Checks signatures against the keys it was given (the program passes BuiltInPublicKeys(), tests their own).
class SignatureVerifier {
public:
    explicit SignatureVerifier(PublicKeys keys);
    bool hasKeys() const { return !keys_.isEmpty(); }

    // `signature` is the content of the signature file; nothing when there is none.
    SignatureCheck checkBytes(const QByteArray& content, const std::optional<QByteArray>& signature) const;
    // The file at `path` against "<path>.minisig".
    SignatureCheck checkFile(const QString& path) const;

    // The same, and the trusted comment must name `fileName` exactly and, when `version` is given, that
    // version; a good signature for anything else ends as NotTheSignedFile.
    SignatureCheck checkFileFor(
        const QString& path, const QString& fileName, const std::optional<VersionNumber>& version = std::nullopt) const;
    SignatureCheck checkBytesFor(
        const QByteArray& content, const std::optional<QByteArray>& signature, const QString& fileName) const;

private:
    SignatureCheck checkHash(const QByteArray& hash, const std::optional<QByteArray>& signature) const;

    PublicKeys keys_;
};

// Refuses the check unless it binds the signature to `fileName` (and `version`, when given).
void RequireSignedFor(SignatureCheck& check, const QString& fileName, const std::optional<VersionNumber>& version);

} // namespace vestrum::update
