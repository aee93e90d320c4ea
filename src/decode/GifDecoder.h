#pragma once
// GIF decoding through giflib.
#include "DecodeLimits.h"

namespace decode {
// Decodes the first frame of a GIF onto its logical screen: the result is
// QImage::Format_ARGB32 of the screen's size, with alpha 0 where the frame
// draws nothing (transparent index, outside the frame). Raises
// EGraphicError for damaged or truncated data.
QImage DecodeGifData(ByteView data);
} // namespace decode
