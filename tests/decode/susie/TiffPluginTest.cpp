// The TIFF plug-in with pictures written by libtiff itself: every page kind
// a scanner writes, in strips and tiles, and the first page of several.
#include "PluginTestSupport.h"
#include "TestImages.h"

#include "decode/Orientation.h"

#include <QtEndian>

#include <tiffio.h>

#include <array>

#include <functional>
#include <vector>

namespace {

enum class Kind { Rgb, RgbAlpha, Grey, Palette, Bilevel, Cmyk };

struct Page {
    QImage image;
    Kind kind = Kind::Rgb;
    int compression = COMPRESSION_NONE;
    int bits = 8;
    bool tiled = false;
    int orientation = ORIENTATION_TOPLEFT;
};

const QVector<QRgb> kPalette = {qRgb(0, 0, 0),     qRgb(250, 10, 10), qRgb(10, 250, 10),   qRgb(10, 10, 250),
                                qRgb(200, 200, 0), qRgb(0, 180, 180), qRgb(255, 255, 255), qRgb(90, 60, 30)};

// CMYK samples of a colour: full black where the colour is dark.
std::array<int, 4> CmykOf(QRgb p)
{
    const int k = 255 - std::max({qRed(p), qGreen(p), qBlue(p)});
    if (k == 255)
        return {0, 0, 0, 255};
    auto ink = [k](int v) { return (255 - v - k) * 255 / (255 - k); };
    return {ink(qRed(p)), ink(qGreen(p)), ink(qBlue(p)), k};
}

// The colour a reader makes of those samples.
QRgb ColourOfCmyk(const std::array<int, 4>& s)
{
    auto channel = [&](int c) { return (255 - s[c]) * (255 - s[3]) / 255; };
    return qRgb(channel(0), channel(1), channel(2));
}

// The samples of one pixel, as the page stores them.
std::vector<int> SamplesOf(const Page& page, QRgb p)
{
    switch (page.kind) {
    case Kind::Rgb:
        return {qRed(p), qGreen(p), qBlue(p)};
    case Kind::RgbAlpha:
        return {qRed(p), qGreen(p), qBlue(p), qAlpha(p)};
    case Kind::Grey:
        return {qRed(p)};
    case Kind::Palette:
        return {int(kPalette.indexOf(p | 0xFF000000u))};
    case Kind::Bilevel:
        return {qRed(p) < 128 ? 1 : 0}; // white is zero
    case Kind::Cmyk: {
        const auto s = CmykOf(p);
        return {s[0], s[1], s[2], s[3]};
    }
    }
    return {};
}

// Packs the rows y0..y0+rows of columns x0..x0+columns into the stored
// form (MSB first for 1 bit, native 16-bit words, 8-bit bytes).
QByteArray PackRows(const Page& page, int x0, int y0, int columns, int rows)
{
    QByteArray out;
    for (int y = y0; y < y0 + rows; ++y) {
        int bitCount = 0;
        unsigned char acc = 0;
        for (int x = x0; x < x0 + columns; ++x) {
            const bool inside = x < page.image.width() && y < page.image.height();
            const QRgb p = inside ? page.image.pixel(x, y) : qRgb(0, 0, 0);
            for (int v : SamplesOf(page, p)) {
                if (page.bits == 1) {
                    acc = static_cast<unsigned char>(acc | (v << (7 - bitCount)));
                    if (++bitCount == 8) {
                        out.append(char(acc));
                        acc = 0;
                        bitCount = 0;
                    }
                } else if (page.bits == 16) {
                    const uint16_t word = static_cast<uint16_t>(v * 257);
                    out.append(reinterpret_cast<const char*>(&word), 2);
                } else {
                    out.append(char(v));
                }
            }
        }
        if (bitCount)
            out.append(char(acc));
    }
    return out;
}

bool WriteTiff(const QString& path, const std::vector<Page>& pages)
{
    TIFF* tif = TIFFOpen(path.toLocal8Bit().constData(), "w");
    if (!tif)
        return false;
    bool ok = true;
    for (const Page& page : pages) {
        const int w = page.image.width(), h = page.image.height();
        const int samples = page.kind == Kind::Rgb ? 3 : page.kind == Kind::RgbAlpha || page.kind == Kind::Cmyk ? 4 : 1;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bits);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, page.orientation);
        switch (page.kind) {
        case Kind::Rgb:
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            break;
        case Kind::RgbAlpha: {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
            break;
        }
        case Kind::Grey:
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            break;
        case Kind::Palette: {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
            std::vector<uint16_t> r(256), g(256), b(256);
            for (int i = 0; i < kPalette.size(); ++i) {
                r[i] = uint16_t(qRed(kPalette[i]) * 257);
                g[i] = uint16_t(qGreen(kPalette[i]) * 257);
                b[i] = uint16_t(qBlue(kPalette[i]) * 257);
            }
            TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
            break;
        }
        case Kind::Bilevel:
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
            break;
        case Kind::Cmyk:
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
            TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
            break;
        }
        if (page.compression == COMPRESSION_JPEG)
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        if (page.tiled) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
            for (int y = 0; y < h && ok; y += 16)
                for (int x = 0; x < w && ok; x += 16) {
                    QByteArray tile = PackRows(page, x, y, 16, 16);
                    ok = TIFFWriteTile(tif, tile.data(), x, y, 0, 0) >= 0;
                }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, page.compression == COMPRESSION_JPEG ? 16 : 5);
            for (int y = 0; y < h && ok; ++y) {
                QByteArray row = PackRows(page, 0, y, w, 1);
                ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
            }
        }
        ok = ok && TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ok;
}

QImage GreyOf(const QImage& image)
{
    QImage out = image;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const int v = qGray(out.pixel(x, y));
            out.setPixel(x, y, qRgb(v, v, v));
        }
    return out;
}

QImage BlackAndWhite(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, (x / 3 + y / 2 + x * y) % 4 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

QImage CmykExpected(const QImage& image)
{
    QImage out = image;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, ColourOfCmyk(CmykOf(out.pixel(x, y))));
    return out;
}

class TiffPluginTest : public PluginHostTest {
protected:
    QString Make(const QString& name, const Page& page) { return Make(name, std::vector<Page>{page}); }
    QString Make(const QString& name, const std::vector<Page>& pages)
    {
        const QString path = PathOf(name);
        EXPECT_TRUE(WriteTiff(path, pages)) << name.toStdString();
        return path;
    }
};

} // namespace

TEST_F(TiffPluginTest, ColourGreyAndPalettePagesInStripsAndTiles)
{
    const QImage colour = Sample(37, 21);
    for (int compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE})
        for (bool tiled : {false, true}) {
            const QString name = QStringLiteral("rgb-%1-%2.tif").arg(compression).arg(tiled);
            const QString path = Make(name, Page{colour, Kind::Rgb, compression, 8, tiled});
            EXPECT_TRUE(SamePixels(LoadPicture(path), colour)) << name.toStdString();
            EXPECT_TRUE(SamePixels(LoadFromMemory(path), colour)) << name.toStdString();
        }
    EXPECT_TRUE(SamePixels(LoadPicture(Make("rgb16.tif", Page{colour, Kind::Rgb, COMPRESSION_LZW, 16})), colour));
    EXPECT_TRUE(
        SamePixels(LoadPicture(Make("rgb16-tiled.tiff", Page{colour, Kind::Rgb, COMPRESSION_NONE, 16, true})), colour));

    const QImage grey = GreyOf(colour);
    EXPECT_TRUE(SamePixels(LoadPicture(Make("grey.tif", Page{grey, Kind::Grey})), grey));
    EXPECT_TRUE(SamePixels(LoadPicture(Make("grey16.tif", Page{grey, Kind::Grey, COMPRESSION_LZW, 16})), grey));
    EXPECT_TRUE(
        SamePixels(LoadPicture(Make("grey-tiled.tif", Page{grey, Kind::Grey, COMPRESSION_NONE, 8, true})), grey));

    const QImage few = SampleFromPalette(23, 17, kPalette);
    EXPECT_TRUE(SamePixels(LoadPicture(Make("palette.tif", Page{few, Kind::Palette})), few));
    EXPECT_TRUE(
        SamePixels(LoadPicture(Make("palette-lzw.tif", Page{few, Kind::Palette, COMPRESSION_LZW, 8, true})), few));

    const QImage smooth = Gradient(64, 48);
    const QString jpeg = Make("jpeg.tif", Page{smooth, Kind::Rgb, COMPRESSION_JPEG});
    EXPECT_LT(MeanDifference(LoadPicture(jpeg), smooth), 3.0);
    EXPECT_TRUE(AbortsOnFirstReport(jpeg));
}

TEST_F(TiffPluginTest, FaxBilevelPages)
{
    const QImage mono = BlackAndWhite(45, 19);
    for (int compression : {COMPRESSION_NONE, COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4, COMPRESSION_CCITTRLE}) {
        const QString name = QStringLiteral("fax-%1.tif").arg(compression);
        EXPECT_TRUE(SamePixels(LoadPicture(Make(name, Page{mono, Kind::Bilevel, compression, 1})), mono))
            << name.toStdString();
    }
}

TEST_F(TiffPluginTest, CmykEightAndSixteenBitsAndAlpha)
{
    const QImage colour = Sample(29, 18);
    const QImage expected = CmykExpected(colour);
    EXPECT_TRUE(NearPixels(LoadPicture(Make("cmyk.tif", Page{colour, Kind::Cmyk})), expected, 1));
    EXPECT_TRUE(NearPixels(LoadPicture(Make("cmyk-lzw-tiled.tif", Page{colour, Kind::Cmyk, COMPRESSION_LZW, 8, true})),
                           expected, 1));
    const QString cmyk16 = Make("cmyk16.tif", Page{colour, Kind::Cmyk, COMPRESSION_NONE, 16});
    EXPECT_TRUE(NearPixels(LoadPicture(cmyk16), expected, 1));
    EXPECT_TRUE(
        NearPixels(LoadPicture(Make("cmyk16-tiled.tif", Page{colour, Kind::Cmyk, COMPRESSION_ADOBE_DEFLATE, 16, true})),
                   expected, 1));
    EXPECT_TRUE(AbortsOnFirstReport(cmyk16));

    const QImage alpha = WithAlpha(colour);
    const QImage decoded = LoadPicture(Make("alpha.tif", Page{alpha, Kind::RgbAlpha, COMPRESSION_LZW}));
    EXPECT_TRUE(decoded.hasAlphaChannel());
    // Colour goes through the library's multiplied form: alpha >= 128
    // keeps it within 2.
    EXPECT_TRUE(NearPixels(decoded, alpha, 2, true));
}

TEST_F(TiffPluginTest, FirstPageOfSeveral)
{
    const QImage first = Sample(19, 11);
    const QString path =
        Make("pages.tif", std::vector<Page>{Page{first, Kind::Rgb, COMPRESSION_LZW}, Page{Gradient(40, 30), Kind::Rgb},
                                            Page{GreyOf(first), Kind::Grey}});
    EXPECT_TRUE(SamePixels(LoadPicture(path), first));
}

TEST_F(TiffPluginTest, CutAndHostileFilesAreRefused)
{
    const QImage colour = Sample(64, 40);
    for (int compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_JPEG}) {
        const QString path =
            Make(QStringLiteral("whole-%1.tif").arg(compression), Page{colour, Kind::Rgb, compression});
        QByteArray bytes = ReadFile(path);
        // libtiff writes the directory after the pixels: cut the pixels out
        // and keep the directory where it says.
        const quint32 directory = qFromLittleEndian<quint32>(bytes.constData() + 4);
        ASSERT_GT(directory, 200u);
        QByteArray cut = bytes;
        cut.replace(8, int(directory) - 8 - 100, QByteArray()); // data gone, offsets now past the end
        EXPECT_TRUE(LoadPicture(Write(QStringLiteral("cut-%1.tif").arg(compression), cut)).isNull());
        EXPECT_TRUE(
            LoadPicture(Write(QStringLiteral("half-%1.tif").arg(compression), bytes.left(bytes.size() / 2))).isNull());
    }
    // A header claiming a huge picture, and one with no directory at all.
    QByteArray huge("II*\0\x08\0\0\0", 8);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        huge.append(reinterpret_cast<const char*>(&tag), 2);
        huge.append(reinterpret_cast<const char*>(&type), 2);
        const uint32_t one = 1;
        huge.append(reinterpret_cast<const char*>(&one), 4);
        huge.append(reinterpret_cast<const char*>(&value), 4);
    };
    const uint16_t count = 4;
    huge.append(reinterpret_cast<const char*>(&count), 2);
    entry(256, 4, 1000000);
    entry(257, 4, 1000000);
    entry(258, 3, 8);
    entry(273, 4, 8);
    huge.append(QByteArray(4, '\0'));
    EXPECT_TRUE(LoadPicture(Write("huge.tif", huge)).isNull());
    EXPECT_TRUE(LoadPicture(Write("empty.tif", QByteArray("II*\0\0\0\0\0", 8))).isNull());
}

TEST_F(TiffPluginTest, OrientationTagTurnsThePictureUnlessSwitchedOff)
{
    const QImage stored = testimg::Asymmetric(21, 13);
    for (int o = 1; o <= 8; ++o) {
        Page page{stored, Kind::Rgb, COMPRESSION_LZW};
        page.orientation = o;
        const QString path = Make(QStringLiteral("o%1.tif").arg(o), page);
        EXPECT_TRUE(SamePixels(LoadPicture(path), testimg::UprightReference(stored, o))) << o;
        decode::SetAutoRotate(false);
        EXPECT_TRUE(SamePixels(LoadPicture(path), stored)) << o;
        decode::SetAutoRotate(true);
    }
}

TEST_F(TiffPluginTest, TallSingleStripPageIsDecodedOnce)
{
    // A fuzzer's find: 59,904 rows of CCITT data in one strip took the
    // library's strip decoding once per band of rows (seconds); bands hold
    // whole strips now.
    const QString path =
        QStringLiteral(ORVANTO_SOURCE_DIR "/tests/decode/data/fuzz-regressions/spi_tiff-tall-single-strip.tif");
    EXPECT_EQ(LoadPicture(path).size(), QSize(13, 59904));
}
