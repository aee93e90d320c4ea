#!/usr/bin/env python3
"""Writes a RAR 4 archive of stored (uncompressed) members: no RAR writer is
packaged in Debian, and the stored form is simple enough to build here.
    make_rar4.py OUT.rar FILE...   (members named by their base names)"""
import os
import struct
import sys
import time
import zlib


def block(head_type, flags, body):
    """A block header: CRC (low 16 bits of CRC-32 of the rest), type, flags,
    size, then the fields that follow."""
    rest = struct.pack("<BHH", head_type, flags, 7 + len(body)) + body
    return struct.pack("<H", zlib.crc32(rest) & 0xFFFF) + rest


def dos_time(seconds):
    t = time.localtime(seconds)
    return ((t.tm_year - 1980) << 25) | (t.tm_mon << 21) | (t.tm_mday << 16) | \
        (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2)


out = bytearray(b"Rar!\x1a\x07\x00")
out += block(0x73, 0, struct.pack("<HI", 0, 0))  # archive header
for path in sys.argv[2:]:
    data = open(path, "rb").read()
    name = os.path.basename(path).encode("utf-8")
    fields = struct.pack("<IIBIIBBHI", len(data), len(data), 2, zlib.crc32(data) & 0xFFFFFFFF,
                         dos_time(os.path.getmtime(path)), 20, 0x30, len(name), 0x20) + name
    out += block(0x74, 0x8000, fields) + data
out += block(0x7B, 0x4000, b"")  # end of archive
with open(sys.argv[1], "wb") as f:
    f.write(out)
