#include "BmpGraphic.h"

#include "Dib.h"

const TGraphicClassInfo TBitmapGraphic::ClassInfo = {"TBitmap",
                                                     [] { return std::unique_ptr<TGraphic>(new TBitmapGraphic); }};

void TBitmapGraphic::LoadFromStream(const QByteArray& data)
{
    SetBitmap(decode::DecodeBmpFile(decode::ByteView(data)), false, 0xFFFFFF);
}

int TBitmapGraphic::PixelFormatBits() const
{
    const QImage& image = Image();
    if (image.isNull())
        return 0;
    return image.depth();
}

void TBitmapGraphic::SetBitmap(QImage image, bool transparent, std::uint32_t transparentColor)
{
    SetImage(std::move(image));
    m_transparent = transparent;
    m_transparentColor = transparentColor;
    m_drawn = QImage();
}

QImage TBitmapGraphic::ToImage() const
{
    const QImage& image = Image();
    if (!m_transparent || image.isNull())
        return image;
    if (m_drawn.isNull()) {
        QImage drawn = image.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = ColorRefToRgb(m_transparentColor) & 0x00FFFFFF;
        for (int y = 0; y < drawn.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(drawn.scanLine(y));
            for (int x = 0; x < drawn.width(); ++x) {
                if ((row[x] & 0x00FFFFFF) == key)
                    row[x] = 0;
            }
        }
        m_drawn = drawn;
    }
    return m_drawn;
}
