#!/usr/bin/env python3
"""Generate the payloads the editor carries into src/resources/payloads/.

Everything here is made up and deterministic: every byte comes from SHA-256 in
counter mode over a fixed seed, so two runs (on any machine, any Python 3)
give byte-identical files.

Files written:

  OCTAVE                 the effects list: "Tharnvik MK3 0015" CR LF (19 bytes).

  THARNVIK_MK3_0008..15  algorithm images as one line of upper-case hex, two
                         digits per byte, no line end.  Byte layout:
                           0-2    image length in bytes, 24-bit big-endian
                           3-46   22 big-endian 16-bit fields, field i at byte
                                  3 + 2*i (hex characters 7 + 4*i, 1-based):
                                   0 Dry            11 (unused)
                                   1 Sub Mix        12 Input Level
                                   2 -1 Oct         13 1st Harmonic Pitch
                                   3 -2 Oct         14 Wave Clip
                                   4 Wave           15 Dominant Notes Cut
                                   5 Low Pass       16 High Notes Cut
                                   6 High Pass      17 Dry HPF
                                   7 1st Harmonic   18 Limit Range UP
                                   8 Split          19 Noise Gate Status
                                   9 ALGORITHM NUMBER (chars 43-46, bytes 21-22)
                                  10 (unused)       20 Noise Gate Threshold
                                                    21 Attack
                           47-    made-up DSP code
                         Field 9 holds the algorithm number written the way the
                         pedal reports its algorithm version: its hex digits
                         read as the decimal number (0x0015 for algorithm 15,
                         0x0008 for algorithm 8).  Fields 10 and 11 are filler.
                         "Dry HPF" is 0x0000 in algorithms 8 and 9.

  FIRMWARE_5..16         raw flash images for 0x08000000.  They begin with a
                         Cortex-M vector table (SP 0x20005000, reset handler
                         0x08000221, 84 entries = 0x150 bytes, the longest
                         STM32F1 table).  At offset 0x200 a 20-byte header,
                         all words little-endian:
                           +0   b"THVK"
                           +4   uint32 firmware version (5..16)
                           +8   uint32 image length in bytes
                           +12  uint32 zlib.crc32 of the whole image computed
                                with these four bytes set to zero
                           +16  uint32 flags, bit 0 = placeholder image
                         The rest is made-up code bytes.

  INDEX                  one line per payload after '#' comment lines:
                         <name> <size> <yes|no placeholder> <sha256 hex>

With --real DIR, a file in DIR whose name matches a payload name (ignoring
case) is copied unchanged instead of generated and listed as placeholder "no".

Usage: tools/make_payloads.py [--out DIR] [--real DIR]
"""

import argparse
import hashlib
import struct
import sys
import zlib
from pathlib import Path

SEED = "tharnvik-payloads-1"

OCTAVE_TEXT = b"Tharnvik MK3 0015\r\n"

# Algorithm number -> image size in bytes (hex text is twice as long).
ALGORITHM_SIZES = {
    8: 4640, 9: 4672, 10: 4544, 11: 4544,
    12: 4512, 13: 4352, 14: 4352, 15: 4256,
}

# Firmware version -> image size in bytes.
FIRMWARE_SIZES = {
    5: 53840, 6: 53640, 7: 53700, 8: 50720, 9: 51152, 10: 51472,
    11: 52376, 12: 53136, 13: 53152, 14: 53400, 15: 53544, 16: 53880,
}

FIELD_COUNT = 22
FIELDS_OFFSET = 3
ALGORITHM_NUMBER_FIELD = 9
FILLER_FIELDS = (10, 11)
DRY_HPF_FIELD = 17
ADDRESS_FIELDS = [i for i in range(FIELD_COUNT) if i not in (9, 10, 11)]
DRY_HPF_UNMAPPED = (8, 9)   # the oldest algorithms have no Dry HPF address

# Addresses of the newest algorithm, in ADDRESS_FIELDS order.  Dry and Sub
# Mix sit at 0x0027 and 0x0007; the others fill the same small block.
ADDRESSES_0015 = [
    0x0027, 0x0007, 0x0009, 0x000B, 0x0031, 0x0042, 0x0044, 0x0029, 0x0050,
    0x0003, 0x002D, 0x0033, 0x0058, 0x005A, 0x0046, 0x005C, 0x0060, 0x0062,
    0x0066,
]

HEADER_OFFSET = 0x200
HEADER_MAGIC = b"THVK"
HEADER_FORMAT = "<4sIIII"
CRC_OFFSET = HEADER_OFFSET + 12
FLAG_PLACEHOLDER = 0x1

INITIAL_SP = 0x20005000
RESET_HANDLER = 0x08000221
DEFAULT_HANDLER = 0x08000291
HARDFAULT_HANDLER = 0x08000295
VECTOR_COUNT = 84
RESERVED_VECTORS = (7, 8, 9, 10, 13)


def random_bytes(label, count):
    """`count` pseudo-random bytes for `label`, fixed by SEED."""
    out = bytearray()
    block = 0
    while len(out) < count:
        out += hashlib.sha256(f"{SEED}/{label}/{block}".encode()).digest()
        block += 1
    return bytes(out[:count])


def algorithm_name(number):
    return f"THARNVIK_MK3_{number:04d}"


def firmware_name(version):
    return f"FIRMWARE_{version}"


def algorithm_addresses(number):
    """The 19 parameter addresses of an algorithm, in ADDRESS_FIELDS order."""
    if number == 15:
        addresses = list(ADDRESSES_0015)
    else:
        pool = random_bytes(f"addresses/{number}", 512)
        addresses = []
        for i in range(0, len(pool), 2):
            value = 1 + int.from_bytes(pool[i:i + 2], "big") % 0x1FF
            if value not in addresses:
                addresses.append(value)
            if len(addresses) == len(ADDRESS_FIELDS):
                break
    if number in DRY_HPF_UNMAPPED:
        addresses[ADDRESS_FIELDS.index(DRY_HPF_FIELD)] = 0x0000
    return addresses


def make_algorithm(number):
    size = ALGORITHM_SIZES[number]
    fields = [0] * FIELD_COUNT
    for field, address in zip(ADDRESS_FIELDS, algorithm_addresses(number)):
        fields[field] = address
    fields[ALGORITHM_NUMBER_FIELD] = int(f"{number:04d}", 16)
    filler = random_bytes(f"algorithm/{number}/filler", 2 * len(FILLER_FIELDS))
    for i, field in enumerate(FILLER_FIELDS):
        fields[field] = int.from_bytes(filler[2 * i:2 * i + 2], "big")

    head = size.to_bytes(3, "big") + b"".join(f.to_bytes(2, "big") for f in fields)
    body = random_bytes(f"algorithm/{number}/code", size - len(head))
    return (head + body).hex().upper().encode("ascii")


def make_firmware(version):
    size = FIRMWARE_SIZES[version]
    image = bytearray(random_bytes(f"firmware/{version}", size))

    vectors = [DEFAULT_HANDLER] * VECTOR_COUNT
    vectors[0] = INITIAL_SP
    vectors[1] = RESET_HANDLER
    vectors[3] = HARDFAULT_HANDLER
    for slot in RESERVED_VECTORS:
        vectors[slot] = 0
    image[0:4 * VECTOR_COUNT] = struct.pack(f"<{VECTOR_COUNT}I", *vectors)

    header = struct.pack(HEADER_FORMAT, HEADER_MAGIC, version, size, 0, FLAG_PLACEHOLDER)
    image[HEADER_OFFSET:HEADER_OFFSET + len(header)] = header
    crc = zlib.crc32(bytes(image))
    image[CRC_OFFSET:CRC_OFFSET + 4] = struct.pack("<I", crc)
    return bytes(image)


def payloads():
    """(name, expected size, generator) for every payload, in INDEX order."""
    items = [("OCTAVE", len(OCTAVE_TEXT), lambda: OCTAVE_TEXT)]
    items += [(algorithm_name(n), 2 * size, lambda n=n: make_algorithm(n))
              for n, size in ALGORITHM_SIZES.items()]
    items += [(firmware_name(v), size, lambda v=v: make_firmware(v))
              for v, size in FIRMWARE_SIZES.items()]
    return items


def find_real(real_dir, name):
    if real_dir is None:
        return None
    for path in sorted(real_dir.iterdir()):
        if path.is_file() and path.name.upper() == name:
            return path
    return None


INDEX_HEADER = f"""\
# <name> <size> <placeholder:yes|no> <sha256>
# Written by tools/make_payloads.py; regenerate instead of editing.
# Placeholder algorithm images: the field at hex characters 43-46 (bytes 21-22)
# holds the algorithm number as the pedal reports it (0015 for algorithm 15).
# Placeholder firmware images: header at offset 0x{HEADER_OFFSET:X}, little-endian:
# "THVK", version, length, CRC-32 (computed with this field zero), flags (bit 0 placeholder).
"""


def generate(out_dir, real_dir=None):
    out_dir.mkdir(parents=True, exist_ok=True)
    lines = []
    for name, size, make in payloads():
        real = find_real(real_dir, name)
        if real is not None:
            data = real.read_bytes()
            placeholder = "no"
            if len(data) != size:
                print(f"warning: {real} has {len(data)} bytes, expected {size}",
                      file=sys.stderr)
        else:
            data = make()
            placeholder = "no" if name == "OCTAVE" else "yes"
        (out_dir / name).write_bytes(data)
        digest = hashlib.sha256(data).hexdigest()
        lines.append(f"{name} {len(data)} {placeholder} {digest}\n")
    (out_dir / "INDEX").write_bytes((INDEX_HEADER + "".join(lines)).encode("ascii"))


def main(argv=None):
    default_out = Path(__file__).resolve().parent.parent / "src" / "resources" / "payloads"
    parser = argparse.ArgumentParser(description="Generate the editor's carried payloads.")
    parser.add_argument("--out", type=Path, default=default_out,
                        help="output folder (default: src/resources/payloads)")
    parser.add_argument("--real", type=Path, metavar="DIR",
                        help="folder of real payload files to copy instead of generating")
    args = parser.parse_args(argv)
    if args.real is not None and not args.real.is_dir():
        parser.error(f"--real: {args.real} is not a folder")
    generate(args.out, args.real)
    return 0


if __name__ == "__main__":
    sys.exit(main())
