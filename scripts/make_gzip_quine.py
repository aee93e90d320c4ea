#!/usr/bin/env python3
"""Writes gzip files that reproduce themselves.

    scripts/make_gzip_quine.py OUT.gz              decompresses to itself
    scripts/make_gzip_quine.py --tar NAME OUT.tar.gz
                                                   decompresses to a tar
                                                   archive holding itself
                                                   under NAME
    scripts/make_gzip_quine.py --tar NAME --copies N OUT.tar.gz
                                                   ... holding itself N times
                                                   (NAME with -00, -01 ...)

Both are real gzip files: header, DEFLATE data, and a trailer whose CRC-32
and size are those of what they decompress to (gzip -t passes).

The DEFLATE data is a little program of two instructions, each starting on
a byte boundary:

  L n   a stored block of n bytes: "print the next n bytes as they are"
        (header byte 00, LEN, NLEN: 5 bytes, then the n bytes);
  R n   a fixed-Huffman block of back-references that repeats the last n
        bytes (distance n), its copies split so that the block fills whole
        bytes (R19 and R20 take exactly 5 bytes).

While the file is inflated, what has been printed is always the file up to
some point behind the instruction being read (the lag). A literal prints
bytes of the file that lie behind it and then itself: L n with n equal to
the lag plus 5 prints everything read but not yet printed and its own
header; R n after it repeats those n bytes, which are the literal's own
content. Plain quine (H: gzip header of 15 bytes, S: trailer of 8 bytes):

  H  L20 [H L20]  R20  L30 [R20 L30 R20 L30 R20 L30]  R20  L30 [Rf S ...]  Rf  S

  - L20 prints H and its own header, R20 repeats those 20 bytes;
  - L30 prints what the file holds from R20 on, which repeats every 10
    bytes; the R20 after it runs 10 bytes past itself: it prints itself and
    the header of the next L30 before they are read;
  - that L30 therefore prints its own content, which is free: it holds Rf
    and S, and Rf, the last block, repeats them as the end of the file.

The tar form prints a tar header A first and ends with zeros Z (the tar
padding and end blocks), so that the output is A, the file, Z. With G the
plain gzip header (10 bytes):

  G  L512 [A]  L532 [G L512 A L532]  R532  L19 [R532 L19]  R19
  L5 [R19]  L5 [L5]  L20 [R19 L5 L5 L20]  R20  L30 [...]  R20  L30 [Rf S ...]  Rf  S

where L19 and R19 turn the 14-byte R532 into a 5-byte R19, and L5 L5 L20
R20 (literals printing the next instruction's header) turn any 5-byte R
into R20. Rf repeats Rf and S, then writes the zeros. With N copies Rf goes
on after the first entry's padding: every further entry is the one before
it, repeated, but for the name and checksum in its header.

S holds the CRC-32 of the output, which contains S. CRC-32 is affine over
GF(2) in the message bits, so CRC(output(c)) = M c + b for a 32x32 bit
matrix M; the value is the solution of (M + I) c = b.
"""
import struct
import sys
import tarfile
import zlib

# (first length, extra bits) of the length symbols 257..285.
LENGTHS = [(3, 0), (4, 0), (5, 0), (6, 0), (7, 0), (8, 0), (9, 0), (10, 0), (11, 1), (13, 1), (15, 1), (17, 1),
           (19, 2), (23, 2), (27, 2), (31, 2), (35, 3), (43, 3), (51, 3), (59, 3), (67, 4), (83, 4), (99, 4),
           (115, 4), (131, 5), (163, 5), (195, 5), (227, 5), (258, 0)]
# (first distance, extra bits) of the distance codes 0..29.
DISTANCES = [(1, 0), (2, 0), (3, 0), (4, 0), (5, 1), (7, 1), (9, 2), (13, 2), (17, 3), (25, 3), (33, 4), (49, 4),
             (65, 5), (97, 5), (129, 6), (193, 6), (257, 7), (385, 7), (513, 8), (769, 8), (1025, 9), (1537, 9),
             (2049, 10), (3073, 10), (4097, 11), (6145, 11), (8193, 12), (12289, 12), (16385, 13), (24577, 13)]


def find(table, value):
    for index in reversed(range(len(table))):
        first, extra = table[index]
        if first <= value < first + (1 << extra):
            return index, value - first, extra
    raise ValueError(value)


class Bits:
    """DEFLATE bit order: fields least significant bit first, Huffman codes
    most significant bit first."""

    def __init__(self):
        self.bits = []

    def field(self, value, count):
        self.bits += [(value >> i) & 1 for i in range(count)]

    def code(self, value, count):
        self.bits += [(value >> (count - 1 - i)) & 1 for i in range(count)]

    def literal(self, byte):
        assert byte <= 143
        self.code(0x30 + byte, 8)

    def copy(self, length, distance):
        index, extra_value, extra = find(LENGTHS, length)
        symbol = 257 + index
        if symbol <= 279:
            self.code(symbol - 256, 7)
        else:
            self.code(0xC0 + symbol - 280, 8)
        self.field(extra_value, extra)
        index, extra_value, extra = find(DISTANCES, distance)
        self.code(index, 5)
        self.field(extra_value, extra)

    def bytes(self, pad=False):
        if pad:
            self.bits += [0] * (-len(self.bits) % 8)
        assert len(self.bits) % 8 == 0, len(self.bits)
        return bytes(sum(self.bits[i + j] << j for j in range(8)) for i in range(0, len(self.bits), 8))


def repeat(lengths, distance, final=False, zeros=0):
    """A fixed-Huffman block copying `lengths` from `distance` back, then
    (the last block only) `zeros` zero bytes, padded to a whole byte."""
    bits = Bits()
    bits.field(1 if final else 0, 1)
    bits.field(1, 2)  # fixed Huffman codes
    for length in lengths:
        bits.copy(length, distance)
    if zeros:
        bits.literal(0)
        left = zeros - 1
        while left:
            run = min(258, left)
            if 0 < left - run < 3:
                run = left - 3
            bits.copy(run, 1)
            left -= run
    bits.code(0, 7)  # end of block
    return bits.bytes(pad=final)


def stored(length):
    """The header of a stored block that is not the last, on a byte boundary."""
    return bytes([0]) + struct.pack("<HH", length, length ^ 0xFFFF)


def trailer(crc, size):
    return struct.pack("<II", crc, size)


class Plain:
    """A gzip file that decompresses to itself."""

    head = bytes([0x1F, 0x8B, 8, 0x08, 0, 0, 0, 0, 0, 3]) + b"q.gz\0"  # with a name: 15 bytes

    def build(self, crc, size):
        S = trailer(crc, size)
        L20 = stored(20)
        R20 = repeat([10, 10], 20)
        Rf = repeat([3, 10], 20, final=True)
        assert len(self.head) + len(L20) == 20 and len(R20) == 5 and len(Rf) == 5
        free = Rf + S + b"QUINE!!"
        assert len(free) == 20
        data = self.head + L20 + self.head + L20 + R20 + L20 + (R20 + L20) * 2 + R20 + L20 + free + Rf + S
        return data, data


def copy_run(bits, length, distance):
    """Back-references for `length` bytes from `distance` back."""
    while length:
        run = min(258, length)
        if 0 < length - run < 3:
            run = length - 3
        bits.copy(run, distance)
        length -= run


def zero_run(bits, count):
    """`count` zero bytes: one literal, the rest repeating it."""
    if 0 < count < 4:
        for _ in range(count):
            bits.literal(0)
    elif count:
        bits.literal(0)
        copy_run(bits, count - 1, 1)


class Tar:
    """A gzip file that decompresses to a tar archive holding itself, once
    or under several names."""

    head = bytes([0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3])

    def __init__(self, name, copies=1):
        if copies == 1:
            self.names = [name]
        else:
            stem, dot, ext = name.partition(".")
            self.names = ["%s-%02d%s%s" % (stem, i, dot, ext) for i in range(copies)]
        self.size = 0  # of the file; build() settles it and the rest
        self.free = 30

    def tar_header(self, name, size):
        info = tarfile.TarInfo(name)
        info.size = size
        info.mode = 0o644
        info.mtime = 0
        header = info.tobuf(format=tarfile.USTAR_FORMAT)
        assert len(header) == 512
        return header

    def build(self, crc, size):
        for _ in range(10):
            data = self.program(crc, size)
            if len(data) == self.size:
                pad = bytes(-len(data) % 512)
                entries = [self.tar_header(name, len(data)) + data + pad for name in self.names]
                return data, b"".join(entries) + bytes(1024)
            self.size = len(data)
        raise RuntimeError("the sizes do not settle")

    def last_block(self, tail):
        """The final block: repeats the last `tail` bytes of the free literal
        (itself and the trailer), the tar padding, the other entries (each a
        copy of the one before but for its header's name and checksum) and the
        end blocks."""
        headers = [self.tar_header(name, self.size) for name in self.names]
        pad = -self.size % 512
        entry = 512 + self.size + pad
        bits = Bits()
        bits.field(1, 1)
        bits.field(1, 2)  # fixed Huffman codes
        copy_run(bits, tail, self.free)
        if len(headers) == 1:
            zero_run(bits, pad + 1024)
        else:
            zero_run(bits, pad)
            for before, header in zip(headers, headers[1:]):
                # The checksum's digits are written whether they changed or
                # not, so that the length of this block does not depend on
                # the size the headers hold.
                def same_as_before(at):
                    return at >= 512 or (before[at] == header[at] and not 148 <= at < 154)

                at = 0
                while at < entry:
                    same = at
                    while same < entry and same_as_before(same):
                        same += 1
                    if same - at >= 3:
                        copy_run(bits, same - at, entry)
                        at = same
                    else:
                        bits.literal(header[at])
                        at += 1
            zero_run(bits, 1024)
        bits.code(0, 7)  # end of block
        return bits.bytes(pad=True)

    def program(self, crc, size):
        S = trailer(crc, size)
        A = self.tar_header(self.names[0], self.size)
        L5, L19, L20, L512, L532 = stored(5), stored(19), stored(20), stored(512), stored(532)
        R532 = repeat([131, 141, 130, 130], 532)
        R19 = repeat([9, 10], 19)
        R20 = repeat([10, 10], 20)
        assert len(R532) == 14 and len(R19) == 5 and len(R20) == 5
        Rf = b""
        while len(self.last_block(len(Rf) + 8)) != len(Rf):
            Rf = self.last_block(len(Rf) + 8)
        # The free literal holds Rf and S: as long as they need, in tens.
        self.free = max(30, -(-(len(Rf) + 8) // 10) * 10)
        Rf = self.last_block(len(Rf) + 8)
        LM = stored(self.free)
        free = (Rf + S + b"QUINE!" * self.free)[:self.free]
        assert len(Rf) + len(S) <= self.free and self.free % 10 == 0 and self.free <= 30000
        return (self.head + L512 + A + L532 + self.head + L512 + A + L532 + R532 + L19 + R532 + L19 + R19 + L5 + R19 +
                L5 + L5 + L20 + R19 + L5 + L5 + L20 + R20 + LM + (R20 + LM) * (self.free // 10) + R20 + LM + free + Rf +
                S)


def solve_crc(kind):
    size = len(kind.build(0, 0)[1])
    base = zlib.crc32(kind.build(0, size)[1])
    # Column j of M: how bit j of the stored CRC changes the output's CRC.
    columns = [zlib.crc32(kind.build(1 << j, size)[1]) ^ base for j in range(32)]
    # Solve (M + I) c = base over GF(2): rows are bits of the result.
    rows = []
    for i in range(32):
        row = 0
        for j in range(32):
            row |= (((columns[j] >> i) & 1) ^ (1 if i == j else 0)) << j
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
        sys.exit("no CRC value fits this file; change its free bytes")
    crc = 0
    for r, col in enumerate(pivots):
        crc |= rows[r][1] << col
    return crc, size


def main():
    args = sys.argv[1:]
    if len(args) == 3 and args[0] == "--tar":
        kind = Tar(args[1])
    elif len(args) == 5 and args[0] == "--tar" and args[2] == "--copies":
        kind = Tar(args[1], int(args[3]))
    elif len(args) == 1:
        kind = Plain()
    else:
        sys.exit("usage: make_gzip_quine.py OUT.gz | make_gzip_quine.py --tar NAME [--copies N] OUT.tar.gz")
    crc, size = solve_crc(kind)
    data, output = kind.build(crc, size)
    assert zlib.crc32(output) == crc and len(output) == size
    assert zlib.decompress(data, 16 + zlib.MAX_WBITS) == output, "the program does not print what it should"
    if isinstance(kind, Tar):
        entry = 512 + len(data) + -len(data) % 512
        for i, name in enumerate(kind.names):
            assert output[i * entry:i * entry + 512] == kind.tar_header(name, len(data))
            assert output[i * entry + 512:i * entry + 512 + len(data)] == data
    else:
        assert output == data
    with open(args[-1], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
