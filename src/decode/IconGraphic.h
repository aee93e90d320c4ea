#pragma once
// Icon and cursor pictures (ICO, CUR).
#include "DecodeLimits.h"
#include "RasterGraphic.h"

namespace decode {
// Decodes an icon or cursor file: the largest image (then the deepest) of
// the directory, a DIB with its AND mask or a PNG-compressed entry, into
// QImage::Format_ARGB32 (or the PNG decoder's format).
QImage DecodeIconData(ByteView data);
} // namespace decode

class TIconGraphic : public TRasterGraphic {
public:
    void LoadFromStream(const QByteArray& data) override;
    static const TGraphicClassInfo ClassInfo;
};
