#!/usr/bin/env python3
"""Writes the check's icon: the program's main icon without its largest images (48 px in 32-bit colour and
256 px), which the check, a small tool kept within its own size budget, does without; Windows scales
the 32 px image where a larger one is asked for.

    resources/small_icon.py MainIcon.ico OUT.ico"""
import struct
import sys


def main():
    data = open(sys.argv[1], "rb").read()
    count = struct.unpack_from("<HHH", data)[2]
    kept = []
    for i in range(count):
        entry = data[6 + 16 * i:22 + 16 * i]
        width, height, _, _, _, bits, size, offset = struct.unpack("<BBBBHHII", entry)
        large = width == 0 or (width >= 48 and bits == 32)
        if not large:
            kept.append((entry[:12], data[offset:offset + size]))
    out = bytearray(struct.pack("<HHH", 0, 1, len(kept)))
    offset = 6 + 16 * len(kept)
    for head, image in kept:
        out += head + struct.pack("<I", offset)
        offset += len(image)
    for _, image in kept:
        out += image
    open(sys.argv[2], "wb").write(out)


if __name__ == "__main__":
    main()
