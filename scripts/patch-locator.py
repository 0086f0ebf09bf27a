#!/usr/bin/env python3
"""Writes a program file's own length into the four bytes after its data locator's marker.

Fails when the marker does not occur exactly once: a writer that finds two could patch the
wrong one, and data appended to the file would then not be found.
"""
import struct
import sys

MARKER = b"wwgT)H"


def main(path: str) -> int:
    with open(path, "rb") as f:
        data = bytearray(f.read())
    first = data.find(MARKER)
    if first < 0 or data.find(MARKER, first + 1) >= 0:
        count = data.count(MARKER)
        print(f"patch-locator: {path}: marker found {count} times, expected once", file=sys.stderr)
        return 1
    if first + len(MARKER) + 4 > len(data):
        print(f"patch-locator: {path}: marker too close to the end", file=sys.stderr)
        return 1
    data[first + 6:first + 10] = struct.pack("<I", len(data))
    with open(path, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
