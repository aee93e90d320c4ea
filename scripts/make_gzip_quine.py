#!/usr/bin/env python3
"""Writes a gzip file that decompresses to itself, byte for byte (header,
DEFLATE data and a trailer whose CRC-32 and size are those of the file).

    scripts/make_gzip_quine.py OUT.gz

The DEFLATE data is a little program of two instructions, every one 5 bytes
long and starting on a byte boundary:

  L n   a stored block of n bytes: "print the next n bytes as they are"
        (header byte 00, LEN, NLEN, then the n bytes);
  R     a fixed-Huffman block holding two back-references of 10 bytes at
        distance 20: "repeat the last 20 bytes" (exactly 40 bits);
  Rf    the final block, a fixed-Huffman block of two back-references
        (3 and 10 bytes) at distance 20: "repeat 13 bytes from 20 back".

With H the gzip header (15 bytes, so that H and one L make 20) and S the
trailer (8 bytes), the file is

  H  L20 [H L20]  R  L20 [R L20 R L20]  R  L20 [Rf S 7 bytes]  Rf  S

and while it is inflated the output always equals the file so far:
  - the first L20 prints H and its own header; R repeats those 20 bytes;
  - the second L20 prints R L20 R L20, which is also what the file holds from
    the first R on; the R after it repeats the last 20 bytes, which runs
    10 bytes past the R itself: it prints itself and the header of the next
    L20 before they are read;
  - that L20 therefore prints its own content, which is free: it holds Rf and
    S, and Rf, the last block, repeats them as the end of the file.

S holds the CRC-32 of the whole file, which contains S twice. CRC-32 is
affine over GF(2) in the message bits, so CRC(file(c)) = M c + b for a
32x32 bit matrix M; the value is the solution of (M + I) c = b.
"""
import struct
import sys
import zlib


class Bits:
    """DEFLATE bit order: fields least significant bit first, Huffman codes
    most significant bit first."""

    def __init__(self):
        self.bits = []

    def field(self, value, count):
        self.bits += [(value >> i) & 1 for i in range(count)]

    def code(self, value, count):
        self.bits += [(value >> (count - 1 - i)) & 1 for i in range(count)]

    def bytes(self):
        assert len(self.bits) % 8 == 0, len(self.bits)
        return bytes(sum(self.bits[i + j] << j for j in range(8)) for i in range(0, len(self.bits), 8))


def length_code(length):
    """Fixed-Huffman length symbol (7-bit codes 257..264) for 3..10 bytes."""
    assert 3 <= length <= 10
    return 257 + length - 3


def repeat_block(final, lengths, distance):
    """A fixed-Huffman block of back-references, each `distance` back."""
    assert 17 <= distance <= 24  # distance code 8, three extra bits
    bits = Bits()
    bits.field(1 if final else 0, 1)
    bits.field(1, 2)  # fixed Huffman codes
    for length in lengths:
        bits.code(length_code(length) - 256, 7)
        bits.code(8, 5)
        bits.field(distance - 17, 3)
    bits.code(0, 7)  # end of block
    return bits.bytes()


def stored_header(length):
    """A stored block that is not the last, starting on a byte boundary."""
    return bytes([0]) + struct.pack("<HH", length, length ^ 0xFFFF)


def build(trailer):
    header = bytes([0x1F, 0x8B, 8, 0x08, 0, 0, 0, 0, 0, 3]) + b"q.gz\0"  # FNAME
    L20 = stored_header(20)
    R = repeat_block(False, [10, 10], 20)
    Rf = repeat_block(True, [3, 10], 20)
    assert len(header) + len(L20) == 20 and len(R) == 5 and len(Rf) == 5
    free = Rf + trailer + b"QUINE!!"
    assert len(free) == 20
    return header + L20 + header + L20 + R + L20 + R + L20 + R + L20 + R + L20 + free + Rf + trailer


def trailer(crc, size):
    return struct.pack("<II", crc, size)


def solve_crc():
    size = len(build(trailer(0, 0)))
    base = zlib.crc32(build(trailer(0, size)))
    # Column j of M: how bit j of the stored CRC changes the file's CRC.
    columns = []
    for j in range(32):
        columns.append(zlib.crc32(build(trailer(1 << j, size))) ^ base)
    # Solve (M + I) c = base over GF(2): rows are bits of the result.
    rows = []
    for i in range(32):
        row = 0
        for j in range(32):
            bit = ((columns[j] >> i) & 1) ^ (1 if i == j else 0)
            row |= bit << j
        rows.append([row, (base >> i) & 1])
    pivot_row = 0
    pivots = []
    for col in range(32):
        found = next((r for r in range(pivot_row, 32) if (rows[r][0] >> col) & 1), None)
        if found is None:
            continue
        rows[pivot_row], rows[found] = rows[found], rows[pivot_row]
        for r in range(32):
            if r != pivot_row and (rows[r][0] >> col) & 1:
                rows[r][0] ^= rows[pivot_row][0]
                rows[r][1] ^= rows[pivot_row][1]
        pivots.append(col)
        pivot_row += 1
    if any(row == 0 and value for row, value in rows):
        sys.exit("no CRC value fits this file; change the free bytes")
    crc = 0
    for r, col in enumerate(pivots):
        crc |= rows[r][1] << col
    return crc, size


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_gzip_quine.py OUT.gz")
    crc, size = solve_crc()
    data = build(trailer(crc, size))
    assert zlib.crc32(data) == crc
    assert zlib.decompress(data, 16 + zlib.MAX_WBITS) == data, "not a quine"
    with open(sys.argv[1], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
