#pragma once
// The bitmap graphic registered for GIF files: it tells the content from the
// first eight bytes, decodes GIF, JPEG, BMP, icons, cursors and metafiles,
// and holds the result as a 24-bit bitmap. Pictures that can have
// transparent areas are rendered onto the key colour and the bitmap is
// marked transparent with it.
#include "BmpGraphic.h"

#include <cstdint>

class TOleBITMAP : public TBitmapGraphic {
public:
    // The key colour (0x00BBGGRR): red 127, green 1, blue 253.
    static constexpr std::uint32_t kKeyColor = 0xFD017F;

    enum class Content {
        EnhancedMetafile,
        PlaceableMetafile,
        Icon,
        Cursor32, // a cursor holding one 32 x 32 image
        IconLike, // other icon-like files: not loaded
        Gif,
        Jpeg,
        Bmp,
        Other, // RIFF, SVG, zlib, Flash: not loaded
        Unknown, // not loaded
    };
    // Classifies data by its first eight bytes, read as two 32-bit
    // little-endian values a and b.
    static Content Classify(std::uint32_t a, std::uint32_t b);

    // Loads the data as Classify() tells. Data shorter than 8 bytes, content
    // that is not loaded and data that cannot be decoded raise EGraphicError
    // and leave the bitmap as it was.
    void LoadFromStream(const QByteArray& data) override;

    // The picture's size in HIMETRIC units as the decoder reports it.
    int HimetricWidth() const { return m_himetricWidth; }
    int HimetricHeight() const { return m_himetricHeight; }

    static const TGraphicClassInfo ClassInfo;

private:
    int m_himetricWidth = 0;
    int m_himetricHeight = 0;
};
