#include "UpdaterSignature.h"

#include "UpdaterMakerKey.h"

#include <sodium.h>

namespace UpdaterSignature {

static_assert(kKeySize == crypto_sign_PUBLICKEYBYTES && kSignatureSize == crypto_sign_BYTES);
static_assert(sizeof(kUpdaterMakerKey) == kKeySize);

QByteArray makerKey()
{
    return QByteArray(reinterpret_cast<const char *>(kUpdaterMakerKey), kKeySize);
}

bool matches(const QByteArray &content, const QByteArray &signature, const QByteArray &publicKey)
{
    if (signature.size() != kSignatureSize || publicKey.size() != kKeySize)
        return false;
    // Safe to call again and from any thread. Should it ever fail, nothing
    // is taken as signed.
    if (sodium_init() < 0)
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()),
                                       reinterpret_cast<const unsigned char *>(content.constData()),
                                       static_cast<unsigned long long>(content.size()),
                                       reinterpret_cast<const unsigned char *>(publicKey.constData()))
        == 0;
}

} // namespace UpdaterSignature
