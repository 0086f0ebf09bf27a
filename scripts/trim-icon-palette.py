#!/usr/bin/env python3
"""Shrinks the palettes of an icon file's 8-bit images to the colours they use.

An 8-bit image keeps its depth (the shell still picks it as the 256-colour image), but its
palette holds only as many entries as its pixels index (biClrUsed), instead of 256. The
uninstaller ships once per product, and the full palettes were a fifth of its resources.
Usage: trim-icon-palette.py FILE.ico (rewritten in place).
"""
import struct
import sys


def row_bytes(width, bits):
    return ((width * bits + 31) // 32) * 4


def trim_image(image):
    (size, width, height, planes, bits, compression, _, _, _, used, important) = struct.unpack_from(
        "<IiiHHIIiiII", image)
    if bits != 8 or compression != 0:
        return image
    colours = used or 256
    palette = image[size:size + 4 * colours]
    pixels_at = size + 4 * colours
    rows = height // 2  # colour rows; the mask follows
    stride = row_bytes(width, 8)
    pixels = image[pixels_at:pixels_at + stride * rows]
    highest = max(pixels[r * stride + c] for r in range(rows) for c in range(width))
    keep = highest + 1
    header = bytearray(image[:size])
    struct.pack_into("<I", header, 32, keep)
    struct.pack_into("<I", header, 36, min(important, keep))
    return bytes(header) + palette[:4 * keep] + image[pixels_at:]


def main(path):
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data)
    entries = [list(struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)) for i in range(count)]
    images = [trim_image(data[e[7]:e[7] + e[6]]) for e in entries]
    offset = 6 + 16 * count
    out = bytearray(struct.pack("<HHH", reserved, kind, count))
    for entry, image in zip(entries, images):
        entry[6], entry[7] = len(image), offset
        offset += len(image)
        out += struct.pack("<BBBBHHII", *entry)
    for image in images:
        out += image
    open(path, "wb").write(bytes(out))


if __name__ == "__main__":
    main(sys.argv[1])
