#include "TestImages.h"

#include <QtEndian>

#include <QFile>
#include <QMap>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace testimg {

QByteArray EncodeJpeg(const QImage& source, const JpegOptions& options)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    if (options.grayscale) {
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
    } else if (options.cmykInverted) {
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_CMYK;
    } else {
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (!options.grayscale && !options.cmykInverted) {
        // No chroma subsampling, so colours survive exactly enough to compare.
        for (int i = 0; i < cinfo.num_components; ++i)
            cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    }
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(image.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uchar* src = image.constScanLine(int(cinfo.next_scanline));
        for (int x = 0; x < image.width(); ++x) {
            const int r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
            if (options.grayscale) {
                row[std::size_t(x)] = JSAMPLE(r);
            } else if (options.cmykInverted) {
                // Ink c = 255 - r etc. with no black; stored inverted: 255 - ink.
                row[4 * std::size_t(x)] = JSAMPLE(r);
                row[4 * std::size_t(x) + 1] = JSAMPLE(g);
                row[4 * std::size_t(x) + 2] = JSAMPLE(b);
                row[4 * std::size_t(x) + 3] = 255;
            } else {
                row[3 * std::size_t(x)] = JSAMPLE(r);
                row[3 * std::size_t(x) + 1] = JSAMPLE(g);
                row[3 * std::size_t(x) + 2] = JSAMPLE(b);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray out(reinterpret_cast<const char*>(buffer), qsizetype(size));
    free(buffer);
    return out;
}

namespace {
void PngWrite(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), qsizetype(length));
}
void PngFlush(png_structp) {}
} // namespace

QByteArray EncodePng(const QImage& source, const PngOptions& options)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        throw std::runtime_error("png encode failed");
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    const int w = image.width(), h = image.height();
    const int interlace = options.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;
    std::vector<std::vector<png_byte>> rows(static_cast<std::size_t>(h));
    switch (options.kind) {
    case PngOptions::Rgba:
    case PngOptions::Rgb: {
        const bool alpha = options.kind == PngOptions::Rgba;
        png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                     interlace, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        for (int y = 0; y < h; ++y) {
            const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                rows[std::size_t(y)].push_back(png_byte(qRed(src[x])));
                rows[std::size_t(y)].push_back(png_byte(qGreen(src[x])));
                rows[std::size_t(y)].push_back(png_byte(qBlue(src[x])));
                if (alpha)
                    rows[std::size_t(y)].push_back(png_byte(qAlpha(src[x])));
            }
        }
        break;
    }
    case PngOptions::Palette: {
        QMap<QRgb, int> index;
        std::vector<png_color> colors;
        std::vector<png_byte> alphas;
        for (int y = 0; y < h; ++y) {
            const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                if (!index.contains(src[x])) {
                    index.insert(src[x], int(colors.size()));
                    colors.push_back({png_byte(qRed(src[x])), png_byte(qGreen(src[x])), png_byte(qBlue(src[x]))});
                    alphas.push_back(png_byte(qAlpha(src[x])));
                }
                rows[std::size_t(y)].push_back(png_byte(index.value(src[x])));
            }
        }
        png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_PALETTE, interlace,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, info, colors.data(), int(colors.size()));
        png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
        break;
    }
    case PngOptions::Gray16: {
        png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 16, PNG_COLOR_TYPE_GRAY, interlace,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        for (int y = 0; y < h; ++y) {
            const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                rows[std::size_t(y)].push_back(png_byte(qRed(src[x])));
                rows[std::size_t(y)].push_back(0x5A);
            }
        }
        break;
    }
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (auto& r : rows)
        pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

namespace {
int GifWrite(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

ColorMapObject* MakeMap(const std::vector<QRgb>& colors)
{
    if (colors.empty())
        return nullptr;
    int size = 2;
    while (size < int(colors.size()))
        size *= 2;
    std::vector<GifColorType> c(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < colors.size(); ++i)
        c[i] = {GifByteType(qRed(colors[i])), GifByteType(qGreen(colors[i])), GifByteType(qBlue(colors[i]))};
    return GifMakeMapObject(size, c.data());
}
} // namespace

QByteArray EncodeGif(int screenWidth, int screenHeight, const std::vector<QRgb>& globalColors, int transparentIndex,
                     const std::vector<GifFrame>& frames)
{
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &error);
    if (!gif)
        throw std::runtime_error("EGifOpen failed");
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = MakeMap(globalColors);
    EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, global);
    if (transparentIndex >= 0) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        gcb.TransparentColor = transparentIndex;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    }
    for (const GifFrame& f : frames) {
        ColorMapObject* local = MakeMap(f.localColors);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, local);
        std::vector<GifPixelType> line(static_cast<std::size_t>(f.width));
        auto putRow = [&](int row) {
            for (int x = 0; x < f.width; ++x)
                line[std::size_t(x)] = f.indices[std::size_t(row * f.width + x)];
            EGifPutLine(gif, line.data(), f.width);
        };
        if (f.interlace) {
            static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int row = start[pass]; row < f.height; row += step[pass])
                    putRow(row);
        } else {
            for (int row = 0; row < f.height; ++row)
                putRow(row);
        }
        GifFreeMapObject(local);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    return out;
}

QByteArray InfoHeader(int width, int height, int bitCount, std::uint32_t compression, std::uint32_t colorsUsed,
                      std::uint32_t sizeImage)
{
    Bytes b;
    b.u32(40).s32(width).s32(height).u16(1).u16(unsigned(bitCount)).u32(compression).u32(sizeImage);
    b.s32(3780).s32(3780).u32(colorsUsed).u32(0);
    return b.data;
}

QByteArray BmpFile(const QByteArray& headerBlock, const QByteArray& bits)
{
    Bytes b;
    b.u8('B').u8('M').u32(std::uint32_t(14 + headerBlock.size() + bits.size())).u32(0);
    b.u32(std::uint32_t(14 + headerBlock.size()));
    b.raw(headerBlock).raw(bits);
    return b.data;
}

QByteArray Palette(std::initializer_list<QRgb> colors)
{
    Bytes b;
    for (QRgb c : colors)
        b.u8(unsigned(qBlue(c))).u8(unsigned(qGreen(c))).u8(unsigned(qRed(c))).u8(0);
    return b.data;
}

QByteArray PadRows(const std::vector<QByteArray>& rows)
{
    QByteArray out;
    for (const QByteArray& r : rows) {
        out += r;
        out += QByteArray((4 - r.size() % 4) % 4, '\0');
    }
    return out;
}

QByteArray IconFile(int type, const std::vector<QByteArray>& payloads)
{
    Bytes b;
    b.u16(0).u16(unsigned(type)).u16(unsigned(payloads.size()));
    std::uint32_t offset = std::uint32_t(6 + 16 * payloads.size());
    for (const QByteArray& p : payloads) {
        int w = 0, h = 0, bits = 0;
        if (p.startsWith("\x89PNG")) {
            w = (uchar(p[18]) << 8) | uchar(p[19]);
            h = (uchar(p[22]) << 8) | uchar(p[23]);
            bits = 32;
        } else {
            w = uchar(p[4]) | (uchar(p[5]) << 8);
            h = (uchar(p[8]) | (uchar(p[9]) << 8)) / 2;
            bits = uchar(p[14]);
        }
        b.u8(unsigned(w >= 256 ? 0 : w)).u8(unsigned(h >= 256 ? 0 : h)).u8(0).u8(0);
        b.u16(type == 2 ? 0 : 1).u16(type == 2 ? 0 : unsigned(bits));
        b.u32(std::uint32_t(p.size())).u32(offset);
        offset += std::uint32_t(p.size());
    }
    for (const QByteArray& p : payloads)
        b.raw(p);
    return b.data;
}

QByteArray IconDib32(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    Bytes b;
    b.raw(InfoHeader(image.width(), image.height() * 2, 32));
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            b.u8(unsigned(qBlue(row[x])))
                .u8(unsigned(qGreen(row[x])))
                .u8(unsigned(qRed(row[x])))
                .u8(unsigned(qAlpha(row[x])));
    }
    const int maskStride = (image.width() + 31) / 32 * 4;
    b.zeros(maskStride * image.height());
    return b.data;
}

QByteArray IconDib24WithMask(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    Bytes b;
    b.raw(InfoHeader(image.width(), image.height() * 2, 24));
    std::vector<QByteArray> rows, maskRows;
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        Bytes r;
        QByteArray m((image.width() + 7) / 8, '\0');
        for (int x = 0; x < image.width(); ++x) {
            r.u8(unsigned(qBlue(row[x]))).u8(unsigned(qGreen(row[x]))).u8(unsigned(qRed(row[x])));
            if (qAlpha(row[x]) < 128)
                m[x / 8] = char(uchar(m[x / 8]) | (0x80 >> (x % 8)));
        }
        rows.push_back(r.data);
        maskRows.push_back(m);
    }
    b.raw(PadRows(rows));
    b.raw(PadRows(maskRows));
    return b.data;
}

Wmf& Wmf::rec(unsigned function, std::initializer_list<int> words)
{
    Bytes p;
    for (int w : words)
        p.s16(w);
    return recBytes(function, p.data);
}

Wmf& Wmf::recBytes(unsigned function, const QByteArray& params)
{
    QByteArray padded = params;
    if (padded.size() % 2)
        padded.append('\0');
    records.u32(std::uint32_t(3 + padded.size() / 2)).u16(function).raw(padded);
    return *this;
}

QByteArray Wmf::finish(int left, int top, int right, int bottom, int inch) const
{
    Bytes body;
    body.raw(records.data).u32(3).u16(0);
    Bytes b;
    b.u32(0x9AC6CDD7).u16(0).s16(left).s16(top).s16(right).s16(bottom).u16(unsigned(inch)).u32(0).u16(0);
    b.u16(1).u16(9).u16(0x300).u32(std::uint32_t((18 + body.size()) / 2)).u16(16).u32(64).u16(0);
    b.raw(body.data);
    return b.data;
}

Emf& Emf::rec(std::uint32_t type, const QByteArray& body)
{
    QByteArray padded = body;
    while (padded.size() % 4)
        padded.append('\0');
    records.u32(type).u32(std::uint32_t(8 + padded.size())).raw(padded);
    ++count;
    return *this;
}

Emf& Emf::rec(std::uint32_t type, std::initializer_list<std::int32_t> values)
{
    Bytes b;
    for (std::int32_t v : values)
        b.s32(v);
    return rec(type, b.data);
}

QByteArray Emf::finish(int frameLeft, int frameTop, int frameRight, int frameBottom) const
{
    Bytes body;
    body.raw(records.data);
    body.u32(14).u32(20).u32(0).u32(16).u32(20);
    Bytes b;
    const std::uint32_t headerSize = 88;
    b.u32(1).u32(headerSize);
    b.s32(0).s32(0).s32(100).s32(100); // bounds
    b.s32(frameLeft).s32(frameTop).s32(frameRight).s32(frameBottom);
    b.u32(0x464D4520).u32(0x10000).u32(std::uint32_t(headerSize + body.size())).u32(std::uint32_t(count + 2));
    b.u16(16).u16(0).u32(0).u32(0).u32(0);
    b.s32(960).s32(960).s32(254).s32(254); // 96 dpi reference device
    b.raw(body.data);
    return b.data;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
    return path;
}

QImage BlockImage(int width, int height)
{
    static const QRgb colors[] = {qRgb(255, 0, 0),  qRgb(0, 160, 0),   qRgb(0, 0, 255),   qRgb(250, 250, 250),
                                  qRgb(20, 20, 20), qRgb(255, 200, 0), qRgb(128, 0, 128), qRgb(0, 200, 200)};
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colors[(x / 8 + 3 * (y / 8)) % 8]);
    return image;
}

// Where the upright picture's pixel (x, y) is found in the stored one of
// width w and height h, straight from the Exif tag's definitions.
namespace {

QPoint StoredPosition(int orientation, int x, int y, int w, int h)
{
    switch (orientation) {
    case 2:
        return {w - 1 - x, y};
    case 3:
        return {w - 1 - x, h - 1 - y};
    case 4:
        return {x, h - 1 - y};
    case 5:
        return {y, x};
    case 6:
        return {y, h - 1 - x};
    case 7:
        return {w - 1 - y, h - 1 - x};
    case 8:
        return {w - 1 - y, x};
    default:
        return {x, y};
    }
}

} // namespace

QImage UprightReference(const QImage& stored, int orientation)
{
    const bool swaps = orientation >= 5;
    const int w = stored.width(), h = stored.height();
    QImage out(swaps ? h : w, swaps ? w : h, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, stored.pixel(StoredPosition(orientation, x, y, w, h)));
    return out;
}

QImage Asymmetric(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 255 / (w - 1), y * 255 / (h - 1), (x * 7 + y * 3) % 256));
    return image;
}

// An Exif block (TIFF structure) with one Orientation entry.
namespace {

QByteArray ExifBlock(int orientation, bool bigEndian)
{
    QByteArray b(bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4));
    auto u16 = [&](quint16 v) {
        char p[2];
        bigEndian ? qToBigEndian(v, p) : qToLittleEndian(v, p);
        b.append(p, 2);
    };
    auto u32 = [&](quint32 v) {
        char p[4];
        bigEndian ? qToBigEndian(v, p) : qToLittleEndian(v, p);
        b.append(p, 4);
    };
    u32(8);
    u16(2);
    u16(0x010F); // Make, ASCII, in the entry itself
    u16(2);
    u32(4);
    b.append("Cam\0", 4);
    u16(0x0112);
    u16(3);
    u32(1);
    u16(quint16(orientation));
    u16(0);
    u32(0);
    return b;
}

} // namespace

// A JPEG with an APP1 Exif segment after a comment segment.
QByteArray JpegWithOrientation(const QImage& image, int orientation, bool bigEndian)
{
    QByteArray jpeg = EncodeJpeg(image);
    const QByteArray exif = QByteArray("Exif\0\0", 6) + ExifBlock(orientation, bigEndian);
    QByteArray segments("\xFF\xFE\x00\x06note", 8);
    segments += QByteArray("\xFF\xE1", 2);
    segments.append(char((exif.size() + 2) >> 8));
    segments.append(char((exif.size() + 2) & 0xFF));
    segments += exif;
    jpeg.insert(2, segments);
    return jpeg;
}

} // namespace testimg
