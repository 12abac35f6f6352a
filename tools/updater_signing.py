#!/usr/bin/env python3
"""The updater's signing key and signatures, with libsodium (Ed25519).

    updater_signing.py keygen SECRET_FILE PUBLIC_FILE
        Makes a key pair: the secret key (64 bytes as hex, mode 0600, never
        overwritten) and the public key (32 bytes as hex, the form the build
        reads: packaging/updater-signing.pub).
    updater_signing.py sign SECRET_FILE UPDATER
        Writes UPDATER.sig, the 64-byte detached signature of UPDATER, which
        the server offers beside the updater.
    updater_signing.py verify PUBLIC_FILE UPDATER
        Checks UPDATER against UPDATER.sig as the editor does; exit 1 when it
        does not match.

Needs the libsodium runtime library (Debian: libsodium23) and nothing else.
"""

import ctypes
import ctypes.util
import os
import sys

PUBLIC_KEY_SIZE = 32
SECRET_KEY_SIZE = 64
SIGNATURE_SIZE = 64


def _sodium():
    name = ctypes.util.find_library("sodium") or "libsodium.so.23"
    lib = ctypes.CDLL(name)
    if lib.sodium_init() < 0:
        raise RuntimeError("libsodium could not be initialised")
    return lib


def keypair():
    """A new key pair: (public, secret) as bytes."""
    lib = _sodium()
    public = ctypes.create_string_buffer(PUBLIC_KEY_SIZE)
    secret = ctypes.create_string_buffer(SECRET_KEY_SIZE)
    if lib.crypto_sign_keypair(public, secret) != 0:
        raise RuntimeError("crypto_sign_keypair failed")
    return public.raw, secret.raw


def sign(secret, data):
    """The detached signature of data."""
    if len(secret) != SECRET_KEY_SIZE:
        raise ValueError("a secret key is %d bytes" % SECRET_KEY_SIZE)
    lib = _sodium()
    signature = ctypes.create_string_buffer(SIGNATURE_SIZE)
    if lib.crypto_sign_detached(signature, None, data, ctypes.c_ulonglong(len(data)), secret) != 0:
        raise RuntimeError("crypto_sign_detached failed")
    return signature.raw


def verify(public, data, signature):
    if len(public) != PUBLIC_KEY_SIZE or len(signature) != SIGNATURE_SIZE:
        return False
    lib = _sodium()
    return lib.crypto_sign_verify_detached(signature, data, ctypes.c_ulonglong(len(data)), public) == 0


def read_hex_key(path, size):
    """A key file: hex digits, blanks and lines starting with # ignored."""
    with open(path, encoding="ascii") as f:
        text = "".join(line for line in f if not line.lstrip().startswith("#"))
    key = bytes.fromhex("".join(text.split()))
    if len(key) != size:
        raise ValueError("%s: expected %d bytes of hex, found %d" % (path, size, len(key)))
    return key


def main(argv):
    if len(argv) == 4 and argv[1] == "keygen":
        public, secret = keypair()
        fd = os.open(argv[2], os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "w") as f:
            f.write(secret.hex() + "\n")
        with open(argv[3], "w", encoding="ascii") as f:
            f.write("# The public half of the key the maker signs the editor's updater with\n"
                    "# (Ed25519, hex). See tools/updater_signing.py.\n")
            f.write(public.hex() + "\n")
        return 0
    if len(argv) == 4 and argv[1] == "sign":
        secret = read_hex_key(argv[2], SECRET_KEY_SIZE)
        with open(argv[3], "rb") as f:
            data = f.read()
        with open(argv[3] + ".sig", "wb") as f:
            f.write(sign(secret, data))
        return 0
    if len(argv) == 4 and argv[1] == "verify":
        public = read_hex_key(argv[2], PUBLIC_KEY_SIZE)
        with open(argv[3], "rb") as f:
            data = f.read()
        try:
            with open(argv[3] + ".sig", "rb") as f:
                signature = f.read()
        except FileNotFoundError:
            print("no signature beside %s" % argv[3], file=sys.stderr)
            return 1
        if not verify(public, data, signature):
            print("%s does not match its signature" % argv[3], file=sys.stderr)
            return 1
        print("%s: signature ok" % argv[3])
        return 0
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
