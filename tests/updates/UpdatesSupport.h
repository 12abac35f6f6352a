#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>

#include <sodium.h>

// A Windows program's fixed file-info record (13 little-endian words) with
// the given file version, as the resource section carries it.
inline QByteArray versionRecord(int major, int minor, quint32 structVersion = 0x00010000)
{
    QByteArray r;
    auto word = [&r](quint32 v) {
        for (int i = 0; i < 4; ++i)
            r.append(char((v >> (8 * i)) & 0xFF));
    };
    word(0xFEEF04BD);
    word(structVersion);
    word(quint32(major) << 16 | quint32(minor)); // file version, most significant
    word(0x00050007);                            // file version, least significant
    for (int i = 0; i < 9; ++i)
        word(0);
    return r;
}

// A stand-in for the updater: a shell script that appends one line per run
// to record.txt beside itself ("<argc>|<working folder>|<arg>|<arg>..."),
// with a version record after its end (major < 0: none).
inline QByteArray recordingUpdater(int major, int minor)
{
    QByteArray script = "#!/bin/sh\n"
                        "line=\"$#|$PWD\"\n"
                        "for a in \"$@\"; do line=\"$line|$a\"; done\n"
                        "printf '%s\\n' \"$line\" >> \"$(dirname \"$0\")/record.txt\"\n"
                        "exit 0\n";
    if (major >= 0)
        script += "# " + versionRecord(major, minor) + "\n";
    return script;
}

inline bool writeFile(const QString &path, const QByteArray &bytes, bool executable = true)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An Ed25519 key pair of the test's own, made with libsodium, for signing
// stand-in updaters as the maker signs the real one.
class SigningKey {
public:
    SigningKey()
    {
        if (sodium_init() < 0 || crypto_sign_keypair(m_public, m_secret) != 0)
            std::abort();
    }
    QByteArray publicKey() const { return QByteArray(reinterpret_cast<const char *>(m_public), sizeof m_public); }
    // The detached signature of bytes (64 bytes).
    QByteArray sign(const QByteArray &bytes) const
    {
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char *>(bytes.constData()),
                             static_cast<unsigned long long>(bytes.size()), m_secret);
        return QByteArray(reinterpret_cast<const char *>(signature), sizeof signature);
    }

private:
    unsigned char m_public[crypto_sign_PUBLICKEYBYTES];
    unsigned char m_secret[crypto_sign_SECRETKEYBYTES];
};
