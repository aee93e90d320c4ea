// Pictures of the plug-in formats carrying each orientation, made by the
// real encoders (libjxl and libheif through their encoding interfaces,
// cwebp with webpmux, avifenc), loaded upright and, with turning off, as
// stored.
#include "PluginTestSupport.h"
#include "TestImages.h"

#include "decode/Orientation.h"

#include <QFile>

#include <jxl/encode.h>
#include <libheif/heif.h>

#include <vector>

namespace {

QByteArray ExifBlock(int orientation)
{
    testimg::Bytes b;
    b.raw(QByteArray("II*\0", 4)).u32(8).u16(1).u16(0x0112).u16(3).u32(1).u16(unsigned(orientation)).u16(0).u32(0);
    return b.data;
}

// A lossless JPEG XL code stream whose header carries the orientation.
QByteArray EncodeJxl(const QImage& image, int orientation)
{
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(image.width());
    info.ysize = uint32_t(image.height());
    info.bits_per_sample = 8;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = JxlOrientation(orientation);
    QByteArray out;
    if (JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS) {
        JxlColorEncoding colour;
        JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
        JxlEncoderSetColorEncoding(encoder, &colour);
        JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
        JxlEncoderSetFrameLossless(settings, JXL_TRUE);
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        std::vector<uint8_t> pixels;
        for (int y = 0; y < rgb.height(); ++y)
            pixels.insert(pixels.end(), rgb.constScanLine(y), rgb.constScanLine(y) + 3 * rgb.width());
        const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        if (JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size()) == JXL_ENC_SUCCESS) {
            JxlEncoderCloseInput(encoder);
            std::vector<uint8_t> buffer(1 << 16);
            JxlEncoderStatus status = JXL_ENC_NEED_MORE_OUTPUT;
            while (status == JXL_ENC_NEED_MORE_OUTPUT) {
                uint8_t* next = buffer.data();
                size_t avail = buffer.size();
                status = JxlEncoderProcessOutput(encoder, &next, &avail);
                out.append(reinterpret_cast<const char*>(buffer.data()), qsizetype(buffer.size() - avail));
            }
            if (status != JXL_ENC_SUCCESS)
                out.clear();
        }
    }
    JxlEncoderDestroy(encoder);
    return out;
}

// A HEIF file whose rotation and mirroring properties say the orientation.
bool EncodeHeif(const QImage& image, int orientation, const QString& path)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    bool ok = heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok;
    heif_image* picture = nullptr;
    if (ok) {
        heif_encoder_set_lossy_quality(encoder, 95);
        ok =
            heif_image_create(image.width(), image.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &picture)
                    .code
                == heif_error_Ok
            && heif_image_add_plane(picture, heif_channel_interleaved, image.width(), image.height(), 8).code
                   == heif_error_Ok;
    }
    if (ok) {
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(3 * rgb.width()));
        heif_encoding_options* options = heif_encoding_options_alloc();
        options->image_orientation = heif_orientation(orientation);
        ok = heif_context_encode_image(context, picture, encoder, options, nullptr).code == heif_error_Ok
             && heif_context_write_to_file(context, path.toLocal8Bit().constData()).code == heif_error_Ok;
        heif_encoding_options_free(options);
    }
    if (picture)
        heif_image_release(picture);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    return ok;
}

QImage RotateAnticlockwise(const QImage& image)
{
    QImage out(image.height(), image.width(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, image.pixel(image.width() - 1 - y, x));
    return out;
}

QImage MirrorLeftRight(const QImage& image)
{
    QImage out(image.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, image.pixel(image.width() - 1 - x, y));
    return out;
}

QImage MirrorTopBottom(const QImage& image)
{
    QImage out(image.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, image.pixel(x, image.height() - 1 - y));
    return out;
}

class PluginOrientationTest : public PluginHostTest {
protected:
    void TearDown() override
    {
        decode::SetAutoRotate(true);
        PluginHostTest::TearDown();
    }
    QImage Load(const QString& path, bool autoRotate)
    {
        decode::SetAutoRotate(autoRotate);
        const QImage image = LoadPicture(path);
        decode::SetAutoRotate(true);
        return image.convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

TEST_F(PluginOrientationTest, JpegXlHeaderOrientation)
{
    const QImage stored = testimg::Asymmetric(24, 16);
    for (int o = 1; o <= 8; ++o) {
        const QByteArray jxl = EncodeJxl(stored, o);
        ASSERT_FALSE(jxl.isEmpty()) << o;
        const QString path = Write(QStringLiteral("o%1.jxl").arg(o), jxl);
        EXPECT_EQ(Load(path, true), testimg::UprightReference(stored, o)) << o;
        EXPECT_EQ(Load(path, false), stored) << o;
    }
}

TEST_F(PluginOrientationTest, HeifRotationAndMirroringProperties)
{
    // Quarters of clearly different colours: a wrong turn moves them.
    const QImage stored = testimg::UprightReference(Gradient(64, 32), 1);
    for (int o = 1; o <= 8; ++o) {
        const QString path = PathOf(QStringLiteral("o%1.heic").arg(o));
        ASSERT_TRUE(EncodeHeif(stored, o, path)) << o;
        EXPECT_LT(MeanDifference(Load(path, true), testimg::UprightReference(stored, o)), 4.0) << o;
        EXPECT_LT(MeanDifference(Load(path, false), stored), 4.0) << o;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const decode::StoredOrientation read = decode::ReadOrientation(file);
        EXPECT_EQ(read.orientation, o);
        EXPECT_TRUE(read.appliedByDecoder);
    }
}

TEST_F(PluginOrientationTest, AvifRotationAndMirroringProperties)
{
    if (!HaveTool("avifenc"))
        GTEST_SKIP() << "avifenc is not installed";
    const QImage stored = testimg::Asymmetric(20, 12);
    const QString in = SavePng("in.png", stored);
    struct Case {
        int irot; // quarters anticlockwise, -1 for none
        int imir; // 0 top to bottom, 1 left to right, -1 for none
    };
    const Case cases[] = {{1, -1}, {2, -1}, {3, -1}, {-1, 0}, {-1, 1}, {1, 0}, {1, 1}, {0, -1}};
    for (const Case& c : cases) {
        QStringList arguments{"-l", "-s", "10"};
        QImage expected = stored;
        if (c.irot >= 0) {
            arguments << "--irot" << QString::number(c.irot);
            for (int q = 0; q < c.irot; ++q)
                expected = RotateAnticlockwise(expected);
        }
        if (c.imir >= 0) {
            arguments << "--imir" << QString::number(c.imir);
            expected = c.imir ? MirrorLeftRight(expected) : MirrorTopBottom(expected);
        }
        const QString out = PathOf(QStringLiteral("r%1m%2.avif").arg(c.irot).arg(c.imir));
        ASSERT_TRUE(RunTool("avifenc", arguments << in << out));
        EXPECT_EQ(Load(out, true), expected) << c.irot << " " << c.imir;
        EXPECT_EQ(Load(out, false), stored) << c.irot << " " << c.imir;
    }
}

TEST_F(PluginOrientationTest, WebPExifChunk)
{
    if (!HaveTool("cwebp") || !HaveTool("webpmux"))
        GTEST_SKIP() << "cwebp or webpmux is not installed";
    const QImage stored = testimg::Asymmetric(22, 14);
    const QString plain = PathOf("plain.webp");
    ASSERT_TRUE(RunTool("cwebp", {"-quiet", "-lossless", SavePng("in.png", stored), "-o", plain}));
    for (int o = 1; o <= 8; ++o) {
        const QString exif = Write(QStringLiteral("o%1.exif").arg(o), ExifBlock(o));
        const QString out = PathOf(QStringLiteral("o%1.webp").arg(o));
        ASSERT_TRUE(RunTool("webpmux", {"-set", "exif", exif, plain, "-o", out}));
        EXPECT_EQ(Load(out, true), testimg::UprightReference(stored, o)) << o;
        EXPECT_EQ(Load(out, false), stored) << o;
    }
}
