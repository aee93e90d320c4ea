#pragma once
// The plain bitmap picture (BMP files), with the transparency properties that
// the OLE picture bitmap uses.
#include "RasterGraphic.h"

#include <cstdint>

class TBitmapGraphic : public TRasterGraphic {
public:
    // Decodes BMP data (every header version, 1 to 32 bits, RLE, bit fields,
    // top-down rows).
    void LoadFromStream(const QByteArray& data) override;

    // Bits per pixel of the held bitmap (0 when empty).
    int PixelFormatBits() const;
    // When transparent, pixels of the transparent colour are not drawn.
    bool Transparent() const { return m_transparent; }
    // The transparent colour as a colour value in 0x00BBGGRR order.
    std::uint32_t TransparentColor() const { return m_transparentColor; }

    // The picture as drawn: for a transparent bitmap, the pixels of the
    // transparent colour have alpha 0. Bitmap() gives the pixels as held.
    QImage ToImage() const override;
    const QImage& Bitmap() const { return Image(); }

    static const TGraphicClassInfo ClassInfo;

protected:
    void SetBitmap(QImage image, bool transparent, std::uint32_t transparentColor);

private:
    bool m_transparent = false;
    std::uint32_t m_transparentColor = 0xFFFFFF;
    mutable QImage m_drawn; // cache of ToImage() for transparent bitmaps
};

// 0x00BBGGRR colour values to and from Qt colours.
inline QRgb ColorRefToRgb(std::uint32_t c)
{
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
