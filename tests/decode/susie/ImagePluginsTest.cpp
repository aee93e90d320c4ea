// The WebP, AVIF, HEIF and JPEG XL plug-ins with pictures made by the real
// encoders, loaded through the plug-in host the way the viewer loads them.
#include "PluginTestSupport.h"

#include "decode/BmpGraphic.h"
#include "decode/Dib.h"
#include "decode/FormatRegistry.h"
#include "decode/susie/SPIBmp.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

namespace {

class ImagePluginsTest : public PluginHostTest {
protected:
    // Encodes the picture with the tool: arguments with "IN" and "OUT"
    // replaced by the file names. An empty path when the tool is missing.
    QString Encode(const QString& tool, const QImage& image, const QString& outName, QStringList arguments)
    {
        const QString in = SavePng(outName + QStringLiteral(".png"), image);
        const QString out = PathOf(outName);
        for (QString& a : arguments) {
            if (a == QLatin1String("IN"))
                a = in;
            else if (a == QLatin1String("OUT"))
                a = out;
        }
        EXPECT_TRUE(RunTool(tool, arguments));
        return out;
    }
    // A cut copy and a copy with damaged content are refused, from the file
    // and from memory; random damage never takes the process down.
    void ExpectHostileCopiesRefused(const QString& path)
    {
        const QByteArray bytes = ReadFile(path);
        ASSERT_GT(bytes.size(), 64);
        const QString cut = Write(QStringLiteral("cut-") + QFileInfo(path).fileName(), bytes.left(bytes.size() / 2));
        EXPECT_TRUE(LoadPicture(cut).isNull()) << path.toStdString();
        EXPECT_TRUE(LoadFromMemory(cut).isNull()) << path.toStdString();
        QByteArray head = bytes.left(40);
        head.append(QByteArray(200, '\xEE'));
        EXPECT_TRUE(LoadPicture(Write(QStringLiteral("bad-") + QFileInfo(path).fileName(), head)).isNull());
        QRandomGenerator random(7);
        for (int round = 0; round < 40; ++round) {
            QByteArray damaged = bytes;
            for (int i = 0; i < 6; ++i)
                damaged[random.bounded(12, int(damaged.size()))] = char(random.bounded(256));
            LoadPicture(Write(QStringLiteral("damaged-") + QFileInfo(path).fileName(), damaged));
        }
    }
};

#define REQUIRE_TOOL(tool)                                                                                             \
    if (!HaveTool(QStringLiteral(tool)))                                                                               \
    GTEST_SKIP() << tool " is not installed"

} // namespace

TEST_F(ImagePluginsTest, AllProgramPluginsAreFound)
{
    EXPECT_EQ(m_spis->Count(), 8);
    for (const char* name : {"webp", "tif", "tiff", "avif", "heic", "heif", "jxl"})
        EXPECT_NE(TFormatRegistry::Instance().Find(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(ImagePluginsTest, AlphaSurvivesTheBmpStreamWithEitherBitmapReader)
{
    const QImage alpha = WithAlpha(Sample(9, 7));
    const QString tga = Write("alpha.tga", MakeTga(alpha, 2, 32, true));
    const QImage opaque = Sample(9, 7);
    const QString plain = Write("opaque.tga", MakeTga(opaque, 2, 32, false));
    for (TGraphicClass reader : {TSPIBitmap::DefaultPlainBitmapClass(), &TBitmapGraphic::ClassInfo}) {
        TSPIBitmap::SetPlainBitmapClass(reader);
        const QImage decoded = LoadPicture(tga);
        EXPECT_TRUE(decoded.hasAlphaChannel()) << reader->name;
        EXPECT_TRUE(NearPixels(decoded, alpha, 0, true)) << reader->name;
        // Alpha 255 everywhere stays a plain opaque picture.
        EXPECT_TRUE(SamePixels(LoadPicture(plain), opaque)) << reader->name;
    }
    TSPIBitmap::SetPlainBitmapClass(nullptr);
    // The BMP stream itself names the alpha mask.
    TSPIGraphic graphic;
    graphic.LoadFromFile(tga);
    const QByteArray bmp = graphic.SaveToBmp();
    ASSERT_GT(bmp.size(), 14 + 108);
    EXPECT_EQ(qFromLittleEndian<quint32>(bmp.constData() + 14), 108u);
    EXPECT_EQ(qFromLittleEndian<quint32>(bmp.constData() + 14 + 52), 0xFF000000u);
}

TEST_F(ImagePluginsTest, PictureFromTheBlocksIsTheBmpStreamsPicture)
{
    const QImage colour = Sample(9, 7);
    const QImage alpha = WithAlpha(colour);
    QImage clear = alpha;
    clear.fill(qRgba(0, 0, 0, 0)); // fourth bytes all zero: no alpha, an opaque black picture
    const QVector<QRgb> sixteen = {qRgb(0, 0, 0),     qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(0, 0, 255),
                                   qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(9, 9, 9)};
    const struct {
        const char* name;
        QByteArray data;
    } files[] = {
        {"alpha-down.tga", MakeTga(alpha, 2, 32, true)}, // top-down with alpha
        {"alpha-up.tga", MakeTga(alpha, 2, 32, false)}, // bottom-up with alpha
        {"clear-down.tga", MakeTga(clear, 2, 32, true)}, // top-down, fourth bytes zero
        {"colour-down.tga", MakeTga(colour, 2, 24, true)}, // top-down 24 bits
        {"colour.ppm", MakePpm(colour)},
        {"palette.pcx", MakePcx(SampleFromPalette(9, 7, sixteen), 1, 4)},
        {"grey.pgm", MakePgm(colour.convertToFormat(QImage::Format_Grayscale8))},
    };
    for (const auto& file : files) {
        const QString path = Write(QString::fromLatin1(file.name), file.data);
        TSPIGraphic graphic;
        graphic.LoadFromFile(path);
        ASSERT_FALSE(graphic.IsEmpty()) << file.name;
        const QImage viaStream = decode::DecodeBmpFile(decode::ByteView(graphic.SaveToBmp()));
        const QImage direct = graphic.DecodeImage();
        EXPECT_EQ(direct.format(), viaStream.format()) << file.name;
        EXPECT_TRUE(NearPixels(direct, viaStream, 0, true)) << file.name;
        EXPECT_FALSE(graphic.IsEmpty()) << file.name;

        QImage taken = graphic.TakeImage();
        EXPECT_TRUE(graphic.IsEmpty()) << file.name;
        EXPECT_EQ(taken.hasAlphaChannel(), viaStream.hasAlphaChannel()) << file.name;
        EXPECT_TRUE(NearPixels(taken, viaStream, 0, true)) << file.name;
        // The picture outlives the graphic and can be changed like any other.
        if (taken.depth() >= 24) {
            taken.setPixel(0, 0, qRgba(1, 2, 3, 255));
            EXPECT_EQ(taken.pixel(0, 0), qRgba(1, 2, 3, 255)) << file.name;
        }
        EXPECT_THROW(graphic.TakeImage(), EGraphicError);
        EXPECT_THROW(graphic.DecodeImage(), EGraphicError);
    }
}

// A PAM file of the picture: DEPTH samples per pixel of 8 or 16 bits.
QByteArray MakePam(const QImage& image, int depth, int maxValue, const char* tupleType)
{
    QByteArray out = "P7\n# made by the test\nWIDTH " + QByteArray::number(image.width()) + "\nHEIGHT "
                     + QByteArray::number(image.height()) + "\nDEPTH " + QByteArray::number(depth) + "\nMAXVAL "
                     + QByteArray::number(maxValue) + "\nTUPLTYPE " + tupleType + "\nENDHDR\n";
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            std::vector<int> samples;
            if (depth <= 2)
                samples = {qRed(p)};
            else
                samples = {qRed(p), qGreen(p), qBlue(p)};
            if (depth == 2 || depth == 4)
                samples.push_back(qAlpha(p));
            for (int v : samples) {
                const int scaled = v * maxValue / 255;
                if (maxValue > 255)
                    out.append(char(scaled >> 8));
                out.append(char(scaled & 0xFF));
            }
        }
    return out;
}

TEST_F(ImagePluginsTest, PamThroughThePnmPlugin)
{
    const QImage colour = Sample(13, 9);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("rgb.pam", MakePam(colour, 3, 255, "RGB"))), colour));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("rgb16.pam", MakePam(colour, 3, 65535, "RGB"))), colour));
    const QImage alpha = WithAlpha(colour);
    const QImage decoded = LoadPicture(Write("rgba.pam", MakePam(alpha, 4, 255, "RGB_ALPHA")));
    EXPECT_TRUE(decoded.hasAlphaChannel());
    EXPECT_TRUE(NearPixels(decoded, alpha, 0, true));
    QImage grey(7, 5, QImage::Format_ARGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            grey.setPixel(x, y, qRgba(x * 30 + y, x * 30 + y, x * 30 + y, 255 - x * 20));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("grey.pam", MakePam(grey, 1, 255, "GRAYSCALE"))), grey));
    EXPECT_TRUE(NearPixels(LoadPicture(Write("greya.pam", MakePam(grey, 2, 255, "GRAYSCALE_ALPHA"))), grey, 0, true));
    // Broken headers and cut data are refused.
    QByteArray cut = MakePam(colour, 3, 255, "RGB");
    EXPECT_TRUE(LoadPicture(Write("cut.pam", cut.left(cut.size() - 1))).isNull());
    EXPECT_TRUE(LoadPicture(Write("depth.pam", MakePam(colour, 3, 255, "RGB").replace("DEPTH 3", "DEPTH 9"))).isNull());
    EXPECT_TRUE(LoadPicture(Write("noend.pam", "P7\nWIDTH 2\nHEIGHT 2\nDEPTH 1\nMAXVAL 255\n")).isNull());
    EXPECT_TRUE(LoadPicture(Write("key.pam", "P7\nWIDTH 2\nBOGUS 1\nENDHDR\n")).isNull());
}

TEST_F(ImagePluginsTest, WebPLossyLosslessAlphaAndAnimation)
{
    REQUIRE_TOOL("cwebp");
    const QImage colour = Sample(37, 23);
    const QString lossless = Encode("cwebp", colour, "lossless.webp", {"-quiet", "-lossless", "IN", "-o", "OUT"});
    EXPECT_TRUE(SamePixels(LoadPicture(lossless), colour));
    EXPECT_TRUE(SamePixels(LoadFromMemory(lossless), colour));
    EXPECT_TRUE(AbortsOnFirstReport(lossless));

    const QImage smooth = Gradient(64, 48);
    const QString lossy = Encode("cwebp", smooth, "lossy.webp", {"-quiet", "-q", "95", "IN", "-o", "OUT"});
    EXPECT_LT(MeanDifference(LoadPicture(lossy), smooth), 3.0);

    const QImage alpha = WithAlpha(Sample(20, 11));
    const QString withAlpha =
        Encode("cwebp", alpha, "alpha.webp", {"-quiet", "-lossless", "-exact", "IN", "-o", "OUT"});
    const QImage decoded = LoadPicture(withAlpha);
    EXPECT_TRUE(decoded.hasAlphaChannel());
    EXPECT_TRUE(NearPixels(decoded, alpha, 0, true));

    if (HaveTool("img2webp")) {
        const QString first = SavePng("frame1.png", colour);
        const QString second = SavePng("frame2.png", Gradient(37, 23));
        const QString animated = PathOf("anim.webp");
        ASSERT_TRUE(RunTool("img2webp", {"-lossless", first, second, "-o", animated}));
        EXPECT_TRUE(SamePixels(LoadPicture(animated), colour));
    }
    ExpectHostileCopiesRefused(lossy);
    ExpectHostileCopiesRefused(lossless);
}

TEST_F(ImagePluginsTest, AvifEightTenTwelveBitsAndAlpha)
{
    REQUIRE_TOOL("avifenc");
    const QImage colour = Sample(33, 17);
    const QString lossless = Encode("avifenc", colour, "lossless.avif", {"-l", "-s", "10", "IN", "OUT"});
    EXPECT_TRUE(SamePixels(LoadPicture(lossless), colour));
    EXPECT_TRUE(SamePixels(LoadFromMemory(lossless), colour));
    EXPECT_TRUE(AbortsOnFirstReport(lossless));

    const QImage smooth = Gradient(64, 40);
    for (const char* depth : {"8", "10", "12"}) {
        const QString name = QStringLiteral("deep%1.avif").arg(depth);
        const QString path = Encode("avifenc", smooth.convertToFormat(QImage::Format_RGBA64), name,
                                    {"-d", depth, "-y", "444", "--min", "0", "--max", "4", "-s", "10", "IN", "OUT"});
        EXPECT_LT(MeanDifference(LoadPicture(path), smooth), 3.0) << depth;
    }

    const QImage alpha = WithAlpha(Sample(20, 12));
    const QString withAlpha = Encode("avifenc", alpha, "alpha.avif", {"-l", "-s", "10", "IN", "OUT"});
    const QImage decoded = LoadPicture(withAlpha);
    EXPECT_TRUE(decoded.hasAlphaChannel());
    EXPECT_TRUE(NearPixels(decoded, alpha, 0, true));
    ExpectHostileCopiesRefused(lossless);
}

TEST_F(ImagePluginsTest, HeifEightAndTenBitsAndAlpha)
{
    REQUIRE_TOOL("heif-enc");
    const QImage smooth = Gradient(64, 48);
    const QString eight = Encode("heif-enc", smooth, "eight.heic", {"-q", "95", "IN", "-o", "OUT"});
    EXPECT_LT(MeanDifference(LoadPicture(eight), smooth), 4.0);
    EXPECT_LT(MeanDifference(LoadFromMemory(eight), smooth), 4.0);
    EXPECT_TRUE(AbortsOnFirstReport(eight));

    const QString ten = Encode("heif-enc", smooth.convertToFormat(QImage::Format_RGBA64), "ten.heic",
                               {"-q", "95", "-b", "10", "IN", "-o", "OUT"});
    EXPECT_LT(MeanDifference(LoadPicture(ten), smooth), 4.0);
    const QString twelve = Encode("heif-enc", smooth.convertToFormat(QImage::Format_RGBA64), "twelve.heif",
                                  {"-q", "95", "-b", "12", "IN", "-o", "OUT"});
    EXPECT_LT(MeanDifference(LoadPicture(twelve), smooth), 4.0);

    QImage alpha = WithAlpha(smooth);
    const QString withAlpha = Encode("heif-enc", alpha, "alpha.heic", {"-q", "95", "IN", "-o", "OUT"});
    const QImage decoded = LoadPicture(withAlpha);
    ASSERT_TRUE(decoded.hasAlphaChannel());
    EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 0);
    EXPECT_GT(qAlpha(decoded.pixel(30, 30)), 100);
    ExpectHostileCopiesRefused(eight);

    // A grid built from an overlay built from the grid itself: the library
    // would follow it without end, the plug-in refuses it.
    const QString loop =
        QStringLiteral(ORVANTO_SOURCE_DIR "/tests/decode/data/fuzz-regressions/spi_heif-grid-of-itself.heic");
    EXPECT_TRUE(LoadPicture(loop).isNull());
}

TEST_F(ImagePluginsTest, JpegXlLosslessDeepAndAlpha)
{
    REQUIRE_TOOL("cjxl");
    const QImage colour = Sample(31, 19);
    const QString lossless = Encode("cjxl", colour, "lossless.jxl", {"IN", "OUT", "-d", "0", "--quiet"});
    EXPECT_TRUE(SamePixels(LoadPicture(lossless), colour));
    EXPECT_TRUE(SamePixels(LoadFromMemory(lossless), colour));
    EXPECT_TRUE(AbortsOnFirstReport(lossless));

    const QString deep =
        Encode("cjxl", colour.convertToFormat(QImage::Format_RGBA64), "deep.jxl", {"IN", "OUT", "-d", "0", "--quiet"});
    EXPECT_TRUE(NearPixels(LoadPicture(deep), colour, 0));

    const QImage smooth = Gradient(64, 48);
    const QString lossy = Encode("cjxl", smooth, "lossy.jxl", {"IN", "OUT", "-d", "0.5", "--quiet"});
    EXPECT_LT(MeanDifference(LoadPicture(lossy), smooth), 3.0);

    const QImage alpha = WithAlpha(Sample(21, 13));
    const QString withAlpha = Encode("cjxl", alpha, "alpha.jxl", {"IN", "OUT", "-d", "0", "--quiet"});
    const QImage decoded = LoadPicture(withAlpha);
    EXPECT_TRUE(decoded.hasAlphaChannel());
    EXPECT_TRUE(NearPixels(decoded, alpha, 0, true));
    ExpectHostileCopiesRefused(lossless);
    ExpectHostileCopiesRefused(lossy);
}
