#!/usr/bin/env python3
"""Draws the editor's icon: a pedal seen from above (body, two knobs, a
footswitch and a lamp) with a falling octave arrow. Writes the same shapes
as SVG and as a PNG (rasterised here, 4x4 samples a pixel), so the two never
drift apart. Same input, same bytes.

    tools/make_icon.py OUTDIR [SIZE]
"""

import math
import os
import struct
import sys
import zlib

# Shapes on a 256 x 256 canvas, painted in order.
BODY = ("rrect", 40, 16, 176, 224, 28, "#1d4e5f")
FACE = ("rrect", 52, 28, 152, 200, 20, "#2c6e80")
SHAPES = [
    BODY,
    FACE,
    ("circle", 92, 76, 26, "#e8e2d0"),
    ("line", 92, 76, 92, 56, 6, "#1d4e5f"),
    ("circle", 164, 76, 26, "#e8e2d0"),
    ("line", 164, 76, 180, 62, 6, "#1d4e5f"),
    ("circle", 128, 120, 7, "#ff6b3d"),
    # the octave-down arrow
    ("line", 128, 138, 128, 172, 8, "#e8e2d0"),
    ("poly", [(110, 166), (146, 166), (128, 186)], "#e8e2d0"),
    ("circle", 128, 206, 16, "#9fb8bf"),
    ("circle", 128, 206, 10, "#d9e4e6"),
]


def rgb(color):
    return tuple(int(color[i:i + 2], 16) for i in (1, 3, 5))


def svg():
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">']
    for s in SHAPES:
        kind = s[0]
        if kind == "rrect":
            _, x, y, w, h, r, c = s
            out.append('  <rect x="%d" y="%d" width="%d" height="%d" rx="%d" fill="%s"/>' % (x, y, w, h, r, c))
        elif kind == "circle":
            _, x, y, r, c = s
            out.append('  <circle cx="%d" cy="%d" r="%d" fill="%s"/>' % (x, y, r, c))
        elif kind == "line":
            _, x1, y1, x2, y2, wd, c = s
            out.append('  <line x1="%d" y1="%d" x2="%d" y2="%d" stroke="%s" stroke-width="%d" stroke-linecap="round"/>'
                       % (x1, y1, x2, y2, c, wd))
        elif kind == "poly":
            _, pts, c = s
            out.append('  <polygon points="%s" fill="%s"/>' % (" ".join("%d,%d" % p for p in pts), c))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def inside(s, x, y):
    kind = s[0]
    if kind == "rrect":
        _, rx, ry, w, h, r, _c = s
        if not (rx <= x <= rx + w and ry <= y <= ry + h):
            return False
        cx = min(max(x, rx + r), rx + w - r)
        cy = min(max(y, ry + r), ry + h - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == "circle":
        _, cx, cy, r, _c = s
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == "line":
        _, x1, y1, x2, y2, wd, _c = s
        dx, dy = x2 - x1, y2 - y1
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / float(dx * dx + dy * dy)))
        px, py = x1 + t * dx, y1 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (wd / 2.0) ** 2
    if kind == "poly":
        pts = s[1]
        sign = None
        for i in range(len(pts)):
            (ax, ay), (bx, by) = pts[i], pts[(i + 1) % len(pts)]
            cross = (bx - ax) * (y - ay) - (by - ay) * (x - ax)
            if cross != 0:
                if sign is None:
                    sign = cross > 0
                elif sign != (cross > 0):
                    return False
        return True
    return False


def png(size):
    scale = 256.0 / size
    n = 4
    rows = []
    for py in range(size):
        row = bytearray([0])
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) * scale
                    y = (py + (sy + 0.5) / n) * scale
                    color = None
                    for s in SHAPES:
                        if inside(s, x, y):
                            color = s[-1]
                    if color:
                        r, g, b = rgb(color)
                        acc[0] += r
                        acc[1] += g
                        acc[2] += b
                        acc[3] += 1
            k = n * n
            if acc[3]:
                row += bytes([round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]),
                              round(255 * acc[3] / k)])
            else:
                row += bytes(4)
        rows.append(bytes(row))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
            + chunk(b"IEND", b""))


def main():
    outdir = sys.argv[1]
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 128
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "tharnvik-editor.svg"), "w") as f:
        f.write(svg())
    with open(os.path.join(outdir, "tharnvik-editor.png"), "wb") as f:
        f.write(png(size))


if __name__ == "__main__":
    main()
