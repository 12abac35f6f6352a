#!/usr/bin/env python3
"""Check the carried payloads in src/resources/payloads/ (or --dir DIR).

Checks sizes, INDEX digests, algorithm length and address fields, firmware
vector tables and placeholder headers (magic, version, length, CRC), and that
a fresh run of make_payloads.py reproduces every generated file byte for byte.
The expected sizes are written out here again on purpose, so a slip in the
generator's tables does not pass unnoticed.  Exits 1 on any failure.
"""

import argparse
import filecmp
import hashlib
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

TOOLS = Path(__file__).resolve().parent
ALGORITHMS = {8: 4640, 9: 4672, 10: 4544, 11: 4544, 12: 4512, 13: 4352, 14: 4352, 15: 4256}
FIRMWARES = {5: 53840, 6: 53640, 7: 53700, 8: 50720, 9: 51152, 10: 51472,
             11: 52376, 12: 53136, 13: 53152, 14: 53400, 15: 53544, 16: 53880}
HEADER_OFFSET = 0x200
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


def check_algorithm(name, number, data, placeholder):
    check(len(data) == 2 * ALGORITHMS[number], f"{name}: {len(data)} characters")
    if not data or len(data) % 2 or any(c not in b"0123456789ABCDEF" for c in data):
        return check(False, f"{name}: not one line of upper-case hex")
    image = bytes.fromhex(data.decode("ascii", "replace"))
    check(int.from_bytes(image[0:3], "big") == len(image), f"{name}: length field")
    fields = [int.from_bytes(image[3 + 2 * i:5 + 2 * i], "big") for i in range(22)]
    if number == 15:
        check(image[:7] == bytes.fromhex("0010A000270007"), f"{name}: wrong first bytes")
    if not placeholder:
        return
    check(fields[9] == int(f"{number:04d}", 16), f"{name}: algorithm number field {fields[9]:04X}")
    addresses = [fields[i] for i in range(22) if i not in (9, 10, 11)]
    dry_hpf = fields[17]
    check(dry_hpf == 0 if number in (8, 9) else dry_hpf != 0, f"{name}: Dry HPF address {dry_hpf:04X}")
    used = [a for a in addresses if a != 0]
    check(len(used) == len(set(used)) == 19 - (number in (8, 9)), f"{name}: addresses not distinct")
    check(0xFFFF not in used, f"{name}: address FFFF")


def check_firmware(name, version, data, placeholder):
    check(len(data) == FIRMWARES[version], f"{name}: {len(data)} bytes")
    sp, reset = struct.unpack_from("<II", data, 0)
    # The editor refuses an image whose stack pointer is outside the 20 KiB of RAM.
    check(0x20000000 < sp <= 0x20005000 and sp % 8 == 0, f"{name}: initial SP {sp:08X}")
    check(reset & 1 and 0x08000000 <= reset < 0x08000000 + len(data), f"{name}: reset vector {reset:08X}")
    if not placeholder:
        return
    magic, ver, length, crc, flags = struct.unpack_from("<4sIIII", data, HEADER_OFFSET)
    check(magic == b"THVK", f"{name}: magic {magic!r}")
    check((ver, length, flags & 1) == (version, len(data), 1), f"{name}: header {ver} {length} {flags}")
    zeroed = bytearray(data)
    zeroed[HEADER_OFFSET + 12:HEADER_OFFSET + 16] = bytes(4)
    check(zlib.crc32(zeroed) == crc, f"{name}: CRC mismatch")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dir", type=Path, default=TOOLS.parent / "src" / "resources" / "payloads")
    folder = parser.parse_args().dir

    index = {}
    for line in (folder / "INDEX").read_text("ascii").splitlines():
        if line and not line.startswith("#"):
            name, size, placeholder, digest = line.split()
            index[name] = (int(size), placeholder, digest)
    expected = ["OCTAVE"] + [f"THARNVIK_MK3_{n:04d}" for n in ALGORITHMS] + [f"FIRMWARE_{v}" for v in FIRMWARES]
    check(list(index) == expected, f"INDEX lists {list(index)}")

    for name, (size, placeholder, digest) in index.items():
        data = (folder / name).read_bytes()
        check(len(data) == size and hashlib.sha256(data).hexdigest() == digest, f"{name}: INDEX size/digest")
        check(placeholder in ("yes", "no"), f"{name}: placeholder '{placeholder}'")
        if name == "OCTAVE":
            check(data == b"Tharnvik MK3 0015\r\n", "OCTAVE: content")
        elif name.startswith("THARNVIK_MK3_"):
            check_algorithm(name, int(name[-4:]), data, placeholder == "yes")
        else:
            check_firmware(name, int(name.split("_")[1]), data, placeholder == "yes")

    with tempfile.TemporaryDirectory() as temp:
        subprocess.run([sys.executable, str(TOOLS / "make_payloads.py"), "--out", temp], check=True)
        generated = [n for n, (_, p, _) in index.items() if p == "yes" or n == "OCTAVE"]
        if len(generated) == len(index):
            generated.append("INDEX")
        _, mismatch, errors = filecmp.cmpfiles(folder, temp, generated, shallow=False)
        check(not mismatch and not errors, f"regeneration differs: {mismatch + errors}")

    for message in failures:
        print("FAIL:", message, file=sys.stderr)
    print(f"{len(index)} payloads checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
