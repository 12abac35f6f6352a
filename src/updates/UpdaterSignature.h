#pragma once

#include <QByteArray>

// The updater is started only when it carries the maker's signature: a
// detached Ed25519 signature of the whole file, made with the maker's secret
// key, kept beside it as the updater's name + ".sig" (on the server and in the
// program folder alike).
namespace UpdaterSignature {

inline constexpr qsizetype kKeySize = 32;
inline constexpr qsizetype kSignatureSize = 64;
inline constexpr auto kSuffix = ".sig";

// The maker's public key, compiled into the program (the build option
// THARNVIK_UPDATER_PUBLIC_KEY, by default packaging/updater-signing.pub).
QByteArray makerKey();

// True when signature is the owner of publicKey's signature of content.
// False for a key or signature of the wrong size.
bool matches(const QByteArray &content, const QByteArray &signature, const QByteArray &publicKey);

} // namespace UpdaterSignature
