#pragma once
// GIF decoding through giflib.
#include "DecodeLimits.h"

#include <optional>

namespace decode {
// Decodes the first frame of a GIF onto its logical screen. Without a
// background the result is QImage::Format_ARGB32 of the screen's size with
// alpha 0 where the frame draws nothing (transparent index, outside the
// frame); with one it is QImage::Format_RGB888 filled with the background
// there. Indices beyond a short colour table are black. Raises
// EGraphicError for damaged or truncated data.
QImage DecodeGifData(ByteView data, std::optional<QRgb> background = std::nullopt);
} // namespace decode
