#pragma once
// JPEG pictures, decoded by libjpeg.
#include "DecodeLimits.h"
#include "RasterGraphic.h"

namespace decode {
// Decodes JPEG data at full size with the accurate integer DCT: into 24-bit
// RGB (QImage::Format_RGB888), or with `palette8` into an 8-bit palette
// picture (QImage::Format_Indexed8, at most 256 colours). Truncated or
// damaged data raises EGraphicError. `progress`, when given, receives the
// percentage of rows done.
QImage DecodeJpegData(ByteView data, bool palette8, const std::function<void(int)>& progress = {});
} // namespace decode

// The JPEG codec picture: 24-bit colour, or an 8-bit palette picture when
// the screen has 8 bits per pixel or fewer.
class TJpegGraphic : public TRasterGraphic {
public:
    void LoadFromStream(const QByteArray& data) override;
    static const TGraphicClassInfo ClassInfo;
};
