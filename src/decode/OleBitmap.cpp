#include "OleBitmap.h"

#include "Dib.h"
#include "DisplayInfo.h"
#include "GifDecoder.h"
#include "IconGraphic.h"
#include "JpegGraphic.h"
#include "MetafileGraphic.h"

#include <QPainter>

const TGraphicClassInfo TOleBITMAP::ClassInfo = {"TOleBITMAP",
                                                 [] { return std::unique_ptr<TGraphic>(new TOleBITMAP); }};

TOleBITMAP::Content TOleBITMAP::Classify(std::uint32_t a, std::uint32_t b)
{
    // The exact values first.
    switch (a) {
    case 0x00000001:
        return Content::EnhancedMetafile;
    case 0x9AC6CDD7:
        return Content::PlaceableMetafile;
    case 0x00010000:
        return Content::Icon;
    case 0x00020000:
        return b == 0x20200001 ? Content::Cursor32 : Content::IconLike;
    case 0x00010100:
    case 0x00030000:
        return Content::IconLike;
    case 0x38464947:
        return Content::Gif;
    case 0xE0FFD8FF:
    case 0xE1FFD8FF:
        return Content::Jpeg;
    case 0x46464952: // "RIFF"
    case 0x6776733C: // "<svg"
        return Content::Other;
    default:
        break;
    }
    if ((a & 0x00FFFFFF) == 0x00535746) // "FWS"
        return Content::Other;
    if ((a & 0xFFFF) == 0x4D42) // "BM"
        return Content::Bmp;
    if ((a & 0xFFFF) == 0xDA78)
        return Content::Other;
    return Content::Unknown;
}

void TOleBITMAP::LoadFromStream(const QByteArray& data)
{
    using namespace decode;
    const ByteView bytes(data);
    if (bytes.size() < 8)
        Fail(QStringLiteral("画像のデータが短すぎます (%1 バイト)").arg(bytes.size()));
    const Content content = Classify(bytes.U32(0), bytes.U32(4));

    // The decoded picture, its size in HIMETRIC units, and whether undrawn
    // pixels keep the key colour.
    QImage picture;
    decode::Metafile metafile;
    bool keyed = false;
    switch (content) {
    case Content::EnhancedMetafile:
    case Content::PlaceableMetafile:
        metafile = decode::Metafile(data);
        keyed = true;
        break;
    case Content::Icon:
    case Content::Cursor32:
        picture = DecodeIconData(bytes);
        keyed = true;
        break;
    case Content::Gif:
        // Decoded straight onto the key colour, 24 bits.
        picture = DecodeGifData(bytes, ColorRefToRgb(kKeyColor));
        keyed = true;
        break;
    case Content::Jpeg:
        picture = DecodeJpegData(bytes, false);
        break;
    case Content::Bmp:
        picture = DecodeBmpFile(bytes);
        break;
    case Content::IconLike:
    case Content::Other:
    case Content::Unknown:
        Fail(QStringLiteral("この画像形式は処理できません"));
    }

    const int himetricW = metafile.IsNull() ? PixelsToHimetric(picture.width()) : metafile.HimetricWidth();
    const int himetricH = metafile.IsNull() ? PixelsToHimetric(picture.height()) : metafile.HimetricHeight();
    const int width = HimetricToPixels(himetricW);
    const int height = HimetricToPixels(himetricH);
    CheckImageSize(width, height);

    QImage bitmap;
    if (!metafile.IsNull()) {
        // Played onto the key colour so that undrawn pixels keep it.
        bitmap = AllocateImage(width, height, QImage::Format_RGB888);
        bitmap.fill(ColorRefToRgb(kKeyColor));
        QPainter painter(&bitmap);
        metafile.Play(painter, QRectF(0, 0, width, height));
    } else {
        if (picture.size() != QSize(width, height))
            picture = picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (keyed && picture.hasAlphaChannel()) {
            bitmap = AllocateImage(width, height, QImage::Format_RGB888);
            bitmap.fill(ColorRefToRgb(kKeyColor));
            QPainter painter(&bitmap);
            painter.drawImage(0, 0, picture);
        } else {
            bitmap = picture.format() == QImage::Format_RGB888 ? std::move(picture)
                                                               : picture.convertToFormat(QImage::Format_RGB888);
        }
    }
    if (bitmap.isNull())
        Fail(QStringLiteral("画像のメモリを確保できません"));
    m_himetricWidth = himetricW;
    m_himetricHeight = himetricH;
    SetBitmap(std::move(bitmap), keyed, keyed ? kKeyColor : 0xFFFFFF);
}
