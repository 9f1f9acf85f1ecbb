#include "update/signature.h"

// The public keys update files must be signed with: minisign key lines joined by ";" (passed to the compiler
// with "," between them). A build without any offers no update.
#ifndef VESTRUM_UPDATE_PUBLIC_KEYS
#define VESTRUM_UPDATE_PUBLIC_KEYS ""
#endif

namespace vestrum::update {

PublicKeys BuiltInPublicKeys()
{
    // The build refuses a malformed setting, so nothing is lost here; should one slip through, no key is
    // trusted rather than a part of the list.
    return ParsePublicKeyList(QStringLiteral(VESTRUM_UPDATE_PUBLIC_KEYS)).value_or(PublicKeys {});
}

} // namespace vestrum::update
