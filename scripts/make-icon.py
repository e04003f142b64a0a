#!/usr/bin/env python3
"""Draws the application icon: a 32 x 32 picture in 16 colours, written as an indexed PNG."""
import struct
import sys
import zlib

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, GREY, YELLOW, WHITE, CYAN, BLACK = 4, 8, 11, 15, 14, 0

# A navy tile with a grey frame, cyan braces on both sides and a yellow V between them.
ART = """
................................
.GGGGGGGGGGGGGGGGGGGGGGGGGGGGGG.
.GNNNNNNNNNNNNNNNNNNNNNNNNNNNNG.
.GNNNNNNNNNNNNNNNNNNNNNNNNNNNNG.
.GNNNNCCNNNNNNNNNNNNNNNNNCCNNNG.
.GNNNCNNNNNNNNNNNNNNNNNNNNNCNNG.
.GNNNCNNNNNNNNNNNNNNNNNNNNNCNNG.
.GNNNCNNNNNNNNNNNNNNNNNNNNNCNNG.
.GNNNCNNNYYNNNNNNNNNNYYNNNNCNNG.
.GNNNCNNNYYNNNNNNNNNNYYNNNNCNNG.
.GNNNCNNNNYYNNNNNNNNYYNNNNNCNNG.
.GNNNCNNNNYYNNNNNNNNYYNNNNNCNNG.
.GNNNCNNNNNYYNNNNNNYYNNNNNNCNNG.
.GNNCNNNNNNYYNNNNNNYYNNNNNNNCNG.
.GNCNNNNNNNNYYNNNNYYNNNNNNNNNCG.
.GNNCNNNNNNNYYNNNNYYNNNNNNNNCNG.
.GNNNCNNNNNNNYYNNYYNNNNNNNNCNNG.
.GNNNCNNNNNNNYYNNYYNNNNNNNNCNNG.
.GNNNCNNNNNNNNYYYYNNNNNNNNNCNNG.
.GNNNCNNNNNNNNYYYYNNNNNNNNNCNNG.
.GNNNCNNNNNNNNNYYNNNNNNNNNNCNNG.
.GNNNCNNNNNNNNNYYNNNNNNNNNNCNNG.
.GNNNCNNNNNNNNNNNNNNNNNNNNNCNNG.
.GNNNCNNNNNNNNNNNNNNNNNNNNNCNNG.
.GNNNCNNNNNNNNNNNNNNNNNNNNNCNNG.
.GNNNNCCNNNNNNNNNNNNNNNNNCCNNNG.
.GNNNNNNNNNNNNNNNNNNNNNNNNNNNNG.
.GNNNNNWWWWWWWWWWWWWWWWWWNNNNNG.
.GNNNNNNNNNNNNNNNNNNNNNNNNNNNNG.
.GNNNNNNNNNNNNNNNNNNNNNNNNNNNNG.
.GGGGGGGGGGGGGGGGGGGGGGGGGGGGGG.
................................
"""
CODES = {".": BLACK, "G": GREY, "N": NAVY, "C": CYAN, "Y": YELLOW, "W": WHITE}


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def main(path):
    rows = [line for line in ART.strip().splitlines()]
    assert len(rows) == 32 and all(len(r) == 32 for r in rows)
    raw = b""
    for row in rows:
        pixels = [CODES[c] for c in row]
        raw += b"\0" + bytes((pixels[i] << 4) | pixels[i + 1] for i in range(0, 32, 2))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", 32, 32, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "data/vornex-ide.png")
