#pragma once
// Builders of test pictures: real encoders (libjpeg, libpng, giflib) and
// hand-made BMP, ICO, WMF and EMF byte streams.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace testimg {

// Little-endian byte writer.
struct Bytes {
    QByteArray data;
    Bytes& u8(unsigned v)
    {
        data.append(char(v & 0xFF));
        return *this;
    }
    Bytes& u16(unsigned v)
    {
        u8(v);
        return u8(v >> 8);
    }
    Bytes& u32(std::uint32_t v)
    {
        u16(v & 0xFFFF);
        return u16(v >> 16);
    }
    Bytes& s16(int v) { return u16(unsigned(v) & 0xFFFF); }
    Bytes& s32(std::int32_t v) { return u32(std::uint32_t(v)); }
    Bytes& raw(const QByteArray& b)
    {
        data.append(b);
        return *this;
    }
    Bytes& zeros(int n)
    {
        data.append(QByteArray(n, '\0'));
        return *this;
    }
    int size() const { return int(data.size()); }
};

struct JpegOptions {
    int quality = 100;
    bool progressive = false;
    bool grayscale = false;
    bool cmykInverted = false; // four components with an Adobe marker, stored inverted
};
QByteArray EncodeJpeg(const QImage& image, const JpegOptions& options = {});

struct PngOptions {
    enum Kind { Rgba, Rgb, Palette, Gray16 } kind = Rgba;
    bool interlace = false;
};
// Palette: every distinct colour of the image (at most 256) with its alpha
// in tRNS. Gray16: the red channel as the high byte, 0x5A as the low byte.
QByteArray EncodePng(const QImage& image, const PngOptions& options = {});

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> indices; // width*height
    std::vector<QRgb> localColors; // empty: use the global table
    bool interlace = false;
};
// A GIF89a with a global table (may be empty), an optional graphic control
// extension (transparent index, -1 for none) and the frames.
QByteArray EncodeGif(int screenWidth, int screenHeight, const std::vector<QRgb>& globalColors, int transparentIndex,
                     const std::vector<GifFrame>& frames);

// A BITMAPINFOHEADER (40 bytes) for the given fields.
QByteArray InfoHeader(int width, int height, int bitCount, std::uint32_t compression = 0, std::uint32_t colorsUsed = 0,
                      std::uint32_t sizeImage = 0);
// A BMP file: file header + header block (header, masks, colour table) + bits.
QByteArray BmpFile(const QByteArray& headerBlock, const QByteArray& bits);
QByteArray Palette(std::initializer_list<QRgb> colors); // RGBQUADs
// Rows of a bottom-up or top-down DIB, each row padded to 4 bytes.
QByteArray PadRows(const std::vector<QByteArray>& rows);

// An icon or cursor file from (payload) entries; the directory's width and
// height bytes come from the payloads when they can be read.
QByteArray IconFile(int type, const std::vector<QByteArray>& payloads);
// A DIB for an icon: 32-bit colour (alpha kept) or 24-bit with an AND mask.
QByteArray IconDib32(const QImage& image);
QByteArray IconDib24WithMask(const QImage& image); // alpha < 128 becomes a set mask bit

// Metafile builders.
struct Wmf {
    Bytes records;
    Wmf& rec(unsigned function, std::initializer_list<int> words);
    Wmf& recBytes(unsigned function, const QByteArray& params);
    // Placeable header with the box and units per inch, METAHEADER, records, EOF.
    QByteArray finish(int left, int top, int right, int bottom, int inch) const;
};
struct Emf {
    Bytes records;
    int count = 0;
    Emf& rec(std::uint32_t type, const QByteArray& body);
    Emf& rec(std::uint32_t type, std::initializer_list<std::int32_t> values);
    // Header with the frame (0.01 mm) and a 96 dpi reference device, records, EOF.
    QByteArray finish(int frameLeft, int frameTop, int frameRight, int frameBottom) const;
};

// Writes the bytes to dir/name and returns the path.
QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);

// A test picture: distinct colours in 8x8 blocks (kind to JPEG).
QImage BlockImage(int width, int height);

// The stored picture turned upright as an Exif orientation (1..8) says,
// pixel by pixel from the tag's definitions.
QImage UprightReference(const QImage& stored, int orientation);
// A picture with no two pixels alike and no symmetry.
QImage Asymmetric(int width, int height);

// A JPEG of the picture (libjpeg) with a comment segment and an Exif
// segment whose Orientation entry has the value.
QByteArray JpegWithOrientation(const QImage& image, int orientation, bool bigEndian = false);

} // namespace testimg
