// libFuzzer target: arbitrary bytes are read as a signature file, a public-key file, a secret-key file and a
// trusted comment, as a hostile server, package or key file may hand them over. No reader may crash, hang or
// read past its input, and whatever one accepts must have its fields at their fixed sizes; a signature that
// parses is checked against a key, which must refuse it without a fault.
#include "base/error.h"
#include "update/signature.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vestrum::update;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const auto publicKey = ParsePublicKeyFile(bytes);
    if (publicKey && (publicKey->keyId.size() != kKeyIdBytes || publicKey->key.size() != kPublicKeyBytes))
        std::abort();
    if (const auto list = ParsePublicKeyList(QString::fromLatin1(bytes)); list && list->size() > bytes.size())
        std::abort();

    try {
        const SecretKey secret = ParseSecretKeyFile(bytes);
        if (secret.keyId.size() != kKeyIdBytes || secret.key.size() != kSecretKeyBytes)
            std::abort();
    } catch (const vestrum::Error&) {
    }

    if (const auto facts = ParseTrustedComment(bytes); facts && facts->fileName.isEmpty())
        std::abort();

    const auto signature = ParseSignatureFile(bytes);
    if (!signature)
        return 0;
    if (signature->keyId.size() != kKeyIdBytes || signature->signature.size() != kSignatureBytes
        || signature->globalSignature.size() != kSignatureBytes)
        std::abort();
    // The key named by the signature, with a key that cannot have made it: the check must fail cleanly.
    const PublicKey stranger { signature->keyId, QByteArray(kPublicKeyBytes, '\x01') };
    if (SignatureVerifier({ stranger }).checkBytes(bytes, bytes).good())
        std::abort();
    return 0;
}
