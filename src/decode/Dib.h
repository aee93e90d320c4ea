#pragma once
// Decoder of device-independent bitmaps: BMP files, the bitmaps inside icons
// and cursors, and the bitmaps of metafile records.
#include "DecodeLimits.h"

#include <QImage>

namespace decode {

enum class DibLayout {
    Separate, // the pixel bits are given apart from the header
    Packed, // the pixel bits follow the header and colour table
};

// Decodes a DIB from its header block (header, bit masks, colour table) and
// its pixel bits. With DibLayout::Packed, `bits` is ignored and the bits are
// taken from `info` after the colour table. With `iconMask`, the header's
// height counts the colour image and the AND mask that follows it: the mask
// becomes transparency (32-bit icons use their alpha channel when it has one).
// The result is Indexed8 for palette pictures, BGR888 for 24 bits, RGB32 or
// ARGB32 otherwise. Raises EGraphicError for anything it cannot decode.
QImage DecodeDib(ByteView info, ByteView bits, DibLayout layout, bool iconMask = false);

// Decodes a whole BMP file ("BM" file header followed by a DIB).
QImage DecodeBmpFile(ByteView file);

// The size a DIB header declares (width, and height without the icon's
// doubling); false when the header cannot be read.
bool DibHeaderSize(ByteView info, int& width, int& height);

} // namespace decode
