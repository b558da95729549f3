#!/usr/bin/env python3
"""Copies a little-endian ELF file and inverts a few bytes in the middle of one section.

Usage: damage_section.py INPUT SECTION OUTPUT
"""
import struct
import sys


def section_span(data, wanted):
    is64 = data[4] == 2
    if data[:4] != b"\x7fELF" or data[5] != 1:
        sys.exit("damage_section.py: not a little-endian ELF file")
    if is64:
        shoff, = struct.unpack_from("<Q", data, 0x28)
        shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3a)
        fields = lambda o: struct.unpack_from("<IIQQQQ", data, o)  # name, type, flags, addr, offset, size
    else:
        shoff, = struct.unpack_from("<I", data, 0x20)
        shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x2e)
        fields = lambda o: struct.unpack_from("<IIIIII", data, o)
    headers = [fields(shoff + i * shentsize) for i in range(shnum)]
    names_at = headers[shstrndx][4]
    for name, _, _, _, offset, size in headers:
        end = data.index(b"\0", names_at + name)
        if data[names_at + name:end].decode() == wanted:
            return offset, size
    sys.exit(f"damage_section.py: no section {wanted}")


def main(argv):
    if len(argv) != 4:
        sys.exit("usage: damage_section.py INPUT SECTION OUTPUT")
    data = bytearray(open(argv[1], "rb").read())
    offset, size = section_span(data, argv[2])
    middle = offset + size // 2
    for i in range(middle, min(middle + 4, offset + size)):
        data[i] ^= 0xff
    with open(argv[3], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv)
