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

// The size a picture takes when fitted into the area, rounded up: the
// smallest size a reduced decode must still cover. The picture's own size
// when it fits already.
QSize ReducedDecodeTarget(const QSize& picture, const QSize& area);

// Like DecodeJpegData, but with libjpeg's scaled IDCT (same accurate DCT) at
// the smallest scale M/8 whose output still covers the picture fitted into
// `area` (full size for an empty area or a picture that fits). fullSize,
// when given, receives the picture's own size.
QImage DecodeJpegReduced(ByteView data, bool palette8, const QSize& area, QSize* fullSize,
                         const std::function<void(int)>& progress = {});
} // namespace decode

// The JPEG codec picture: 24-bit colour, or an 8-bit palette picture when
// the screen has 8 bits per pixel or fewer.
class TJpegGraphic : public TRasterGraphic {
public:
    // The file's bytes are held only while they are decoded.
    void LoadFromFile(const QString& path) override;
    void LoadFromStream(const QByteArray& data) override;
    static const TGraphicClassInfo ClassInfo;

private:
    void Load(decode::ByteView data);
};
