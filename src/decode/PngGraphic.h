#pragma once
// PNG pictures, decoded by libpng.
#include "DecodeLimits.h"
#include "RasterGraphic.h"

namespace decode {
// Decodes PNG data: pictures with an alpha channel or a transparent colour
// (tRNS) become QImage::Format_ARGB32, others QImage::Format_RGB32. 16-bit
// samples are reduced to 8. Damaged or truncated data raises EGraphicError.
QImage DecodePngData(ByteView data);
} // namespace decode

// The PNG codec picture.
class TPngGraphic : public TRasterGraphic {
public:
    void LoadFromStream(const QByteArray& data) override;
    static const TGraphicClassInfo ClassInfo;
};
