// The plug-in decoding adapter with the project's real plug-ins.
#include "SusieTestSupport.h"

#include "decode/FormatRegistry.h"
#include "decode/Picture.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QtEndian>

namespace {

class SPIBmpTest : public SusieFolderTest {
protected:
    void SetUp() override
    {
        SusieFolderTest::SetUp();
        m_spis = std::make_unique<TSPIs>();
        ConfigureViewerSPIs(*m_spis);
        SearchViewerPlugins(*m_spis, ORVANTO_BIN_DIR "/plugins");
        ASSERT_EQ(m_spis->Count(), 8);
    }
    void TearDown() override
    {
        m_spis.reset();
        SusieFolderTest::TearDown();
    }
    // Adds the test-format plug-in under a name of its own.
    void AddTestFormat(const QString& name) { m_spis->Add(CreateSPI(CopyIn(FixturePlugin("testformat"), name))); }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = PathOf(name);
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }
    // Loads the way the viewer does; a null image when that fails.
    QImage LoadPicture(const QString& path)
    {
        TPicture picture;
        if (!LoadPictureSafe(path, picture))
            return {};
        EXPECT_NE(dynamic_cast<TSPIBitmap*>(picture.Graphic()), nullptr);
        return picture.Graphic()->ToImage();
    }

    std::unique_ptr<TSPIs> m_spis;
};

QImage Grey(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = (x * 31 + y * 17) & 0xFF;
            image.setPixel(x, y, qRgb(v, v, v));
        }
    return image;
}

QImage Mono(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, (x * y + x) % 3 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

// 16 bits per pixel keeps five bits of each channel.
QImage To555(const QImage& image)
{
    QImage out = image;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = out.pixel(x, y);
            auto c = [](int v) { return ((v >> 3) << 3) | (v >> 5); };
            out.setPixel(x, y, qRgb(c(qRed(p)), c(qGreen(p)), c(qBlue(p))));
        }
    return out;
}

const QVector<QRgb> kSixteen = {qRgb(0, 0, 0),     qRgb(255, 0, 0),   qRgb(0, 255, 0),     qRgb(0, 0, 255),
                                qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(255, 0, 255),   qRgb(255, 255, 255),
                                qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(0, 0, 128),     qRgb(128, 128, 0),
                                qRgb(0, 128, 128), qRgb(128, 0, 128), qRgb(192, 192, 192), qRgb(64, 64, 64)};

} // namespace

TEST_F(SPIBmpTest, DecodesPortableAnymaps)
{
    const QImage colour = Sample(13, 7);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("binary.ppm", MakePpm(colour))), colour));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("ascii.ppm", MakePpm(colour, true))), colour));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("UPPER.PPM", MakePpm(colour))), colour));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("wide.ppm", MakePpm(colour, false, 65535))), colour));
    const QImage grey = Grey(9, 5);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("grey.pgm", MakePgm(grey))), grey));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("grey16.pgm", MakePgm(grey, 1023))), grey));
    const QImage mono = Mono(19, 4);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("mono.pbm", MakePbm(mono))), mono));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("mono-ascii.pbm", MakePbm(mono, true))), mono));
}

TEST_F(SPIBmpTest, DecodesTargaVariants)
{
    const QImage colour = Sample(11, 6);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("plain.tga", MakeTga(colour, 2, 24, false))), colour));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("top.tga", MakeTga(colour, 2, 32, true))), colour));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("rle.tga", MakeTga(colour, 10, 24, false))), colour));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("rle-top.tga", MakeTga(colour, 10, 32, true))), colour));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("short.tga", MakeTga(colour, 2, 16, false))), To555(colour)));
    const QImage few = SampleFromPalette(10, 9, kSixteen);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("mapped.tga", MakeTga(few, 1, 8, false))), few));
    EXPECT_TRUE(SamePixels(LoadPicture(Write("mapped-rle.tga", MakeTga(few, 9, 8, true))), few));
    const QImage grey = Grey(8, 8);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("grey.tga", MakeTga(grey, 3, 8, false))), grey));

    // The top-down picture reaches the host as a top-down bitmap.
    TSPIGraphic graphic;
    graphic.LoadFromFile(PathOf("top.tga"));
    EXPECT_EQ(graphic.SignedHeight(), -6);
    EXPECT_EQ(graphic.Height(), 6);
    EXPECT_TRUE(SamePixels(graphic.ToImage(), colour));
    // The identification field comes back through the record's text handle.
    graphic.LoadFromStreamWithName(MakeTga(colour, 2, 24, false, "made by the test"), "id.tga");
    EXPECT_EQ(graphic.TextInfo(), QByteArray("made by the test"));
}

TEST_F(SPIBmpTest, DecodesPcxVariants)
{
    const QImage colour = Sample(21, 5);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("true.pcx", MakePcx(colour, 8, 3))), colour));
    const QImage many = SampleFromPalette(
        17, 6, {qRgb(1, 2, 3), qRgb(200, 100, 50), qRgb(9, 250, 9), qRgb(255, 255, 255), qRgb(0, 0, 0)});
    EXPECT_TRUE(SamePixels(LoadPicture(Write("palette.pcx", MakePcx(many, 8, 1))), many));

    // 16 colours in four planes: a 4-bit bitmap whose colour table becomes
    // the palette of the result.
    const QImage few = SampleFromPalette(13, 5, kSixteen);
    const QString planar = Write("planar.pcx", MakePcx(few, 1, 4));
    EXPECT_TRUE(SamePixels(LoadPicture(planar), few));
    TSPIGraphic graphic;
    graphic.LoadFromFile(planar);
    EXPECT_TRUE(graphic.FourBit());
    EXPECT_EQ(graphic.ColorCount(), 16);
    EXPECT_EQ(graphic.HeaderSize(), 40 + 4 * 16);
    EXPECT_EQ(graphic.PixelSize(), 8 * 5); // (4 × 13 + 31) div 32 × 4 = 8 bytes per row
    EXPECT_EQ(graphic.Palette(), kSixteen);
    TSPIBitmap bitmap;
    bitmap.Assign(graphic);
    EXPECT_FALSE(graphic.IsEmpty()); // a plain Assign keeps the source
    EXPECT_EQ(bitmap.ToImage().colorTable(), kSixteen);
    EXPECT_TRUE(SamePixels(bitmap.ToImage(), few));
}

TEST_F(SPIBmpTest, MacBinaryHeaderIsSkippedOnlyWhenEnabled)
{
    const QImage colour = Sample(6, 4);
    QByteArray macBinary(128, '\0');
    macBinary[1] = 9;
    macBinary.replace(2, 9, "photo.ppm");
    const QString path = Write("mac.ppm", macBinary + MakePpm(colour));

    EXPECT_TRUE(SamePixels(LoadPicture(path), colour));
    TSPIGraphic graphic;
    graphic.LoadFromFile(path);
    ASSERT_NE(graphic.PictureInfo(), nullptr); // GetPictureInfo was given the offset too
    EXPECT_EQ(graphic.PictureInfo()->width, 6);
    EXPECT_EQ(graphic.TextInfo(), QByteArray("made by the test"));
    TSPIGraphic fromStream;
    fromStream.LoadFromStreamWithName(ReadFile(path), "mac.ppm");
    EXPECT_TRUE(SamePixels(fromStream.ToImage(), colour));

    m_spis->MacBinary = false;
    EXPECT_TRUE(LoadPicture(path).isNull());
    EXPECT_THROW(graphic.LoadFromFile(path), EGraphicError);
    EXPECT_TRUE(graphic.IsEmpty());
}

TEST_F(SPIBmpTest, DamagedAndHostileFilesFailCleanly)
{
    const QImage colour = Sample(9, 9);
    const QImage few = SampleFromPalette(9, 9, kSixteen);
    const std::pair<const char*, QByteArray> files[] = {
        {"t.ppm", MakePpm(colour)},          {"t.pgm", MakePgm(Grey(9, 9), 1000)},
        {"a.ppm", MakePpm(colour, true)},    {"t.tga", MakeTga(colour, 10, 24, false)},
        {"m.tga", MakeTga(few, 9, 8, true)}, {"t.pcx", MakePcx(colour, 8, 3)},
        {"p.pcx", MakePcx(few, 1, 4)},       {"q.pcx", MakePcx(few, 8, 1)},
    };
    for (const auto& [name, bytes] : files) {
        ASSERT_FALSE(LoadPicture(Write(name, bytes)).isNull()) << name;
        // Every truncation fails without a crash, or decodes (a palette
        // lost at the end of a PCX file falls back to grey). Streams hand
        // the plug-ins exactly the bytes there are; some go through files.
        for (int length = 0; length < bytes.size(); ++length) {
            const QByteArray cut = bytes.left(length);
            TSPIBitmap bitmap;
            try {
                bitmap.LoadFromStreamWithName(cut, name);
                EXPECT_FALSE(bitmap.Empty()) << name << " cut at " << length;
            } catch (const EGraphicError&) {
            }
            if (length % 41 == 0) {
                TPicture picture;
                if (LoadPictureSafe(Write(QStringLiteral("cut%1-").arg(length) + name, cut), picture)) {
                    EXPECT_FALSE(picture.Empty());
                }
            }
        }
        // Random damage: decoded or refused, never a crash.
        QRandomGenerator random(static_cast<quint32>(bytes.size()));
        for (int round = 0; round < 150; ++round) {
            QByteArray damaged = bytes;
            for (int k = 0; k < 4; ++k)
                damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
            TSPIBitmap bitmap;
            try {
                bitmap.LoadFromStreamWithName(damaged, name);
            } catch (const EGraphicError&) {
            }
        }
    }

    // Headers promising enormous pictures are refused before any allocation
    // that large.
    EXPECT_TRUE(LoadPicture(Write("huge.ppm", "P6 65535 65535 255\n" + QByteArray(100, 'x'))).isNull());
    QByteArray tga = MakeTga(Sample(2, 2), 10, 24, false);
    tga[12] = tga[13] = tga[14] = tga[15] = char(0xFF);
    EXPECT_TRUE(LoadPicture(Write("huge.tga", tga)).isNull());
    QByteArray pcx = MakePcx(Sample(2, 2), 8, 3);
    pcx[8] = pcx[9] = pcx[10] = pcx[11] = char(0xFF);
    pcx[66] = pcx[67] = char(0xFF);
    EXPECT_TRUE(LoadPicture(Write("huge.pcx", pcx)).isNull());
    EXPECT_TRUE(LoadPicture(Write("empty.ppm", QByteArray())).isNull());
    EXPECT_TRUE(LoadPicture(PathOf("missing.ppm")).isNull());
    EXPECT_TRUE(LoadPicture(Write("text.tga", "just some text that is not a targa file")).isNull());
}

TEST_F(SPIBmpTest, InconsistentPluginResultsAreRefused)
{
    AddTestFormat("test.spi");
    const QImage colour = Sample(3, 2);
    // Mode 1: the header promises 4000 × 4000 pixels in a 4-byte block.
    // Mode 2: success without blocks. Mode 3: run-length compression.
    for (int mode : {1, 2, 3}) {
        const QString path = Write(QStringLiteral("m%1.tsp").arg(mode), MakeTestFormat(colour, mode));
        EXPECT_TRUE(LoadPicture(path).isNull()) << mode;
        TSPIGraphic graphic;
        try {
            graphic.LoadFromFile(path);
            ADD_FAILURE() << "mode " << mode << " was accepted";
        } catch (const EGraphicError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Susie Plugins could not decode"));
        }
        EXPECT_TRUE(graphic.IsEmpty());
    }
    EXPECT_TRUE(SamePixels(LoadPicture(Write("m0.tsp", MakeTestFormat(colour, 0))), colour));
    // Mode 4: a top-down bitmap keeps its negative height into the BMP stream.
    TSPIGraphic topDown;
    topDown.LoadFromFile(Write("m4.tsp", MakeTestFormat(colour, 4)));
    EXPECT_EQ(topDown.SignedHeight(), -2);
    const QByteArray bmp = topDown.SaveToBmp();
    EXPECT_EQ(static_cast<int32_t>(qFromLittleEndian<quint32>(bmp.constData() + 22)), -2);
    EXPECT_TRUE(SamePixels(LoadPicture(PathOf("m4.tsp")), colour));
}

TEST_F(SPIBmpTest, PluginOrderPreviewAndRecord)
{
    AddTestFormat("first.spi");
    AddTestFormat("second.spi");
    const QImage colour = Sample(4, 3);
    const QString path = Write("pic.tsp", MakeTestFormat(colour));

    TSPIGraphic graphic;
    graphic.LoadFromFile(path);
    EXPECT_EQ(QFileInfo(graphic.DecodedBy()).fileName(), "second.spi"); // declared, loaded last
    ASSERT_NE(graphic.PictureInfo(), nullptr);
    const SusiePictureInfo& info = *graphic.PictureInfo();
    EXPECT_EQ(info.left, 1);
    EXPECT_EQ(info.top, 2);
    EXPECT_EQ(info.width, 4);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.xDensity, 72);
    EXPECT_EQ(info.yDensity, 96);
    EXPECT_EQ(info.colorDepth, 24);
    EXPECT_EQ(graphic.TextInfo(), QByteArray("test comment"));

    // An extension nobody declares: every import plug-in in load order.
    graphic.LoadFromFile(Write("pic.dat", MakeTestFormat(colour)));
    EXPECT_EQ(QFileInfo(graphic.DecodedBy()).fileName(), "first.spi");
    // A nameless stream is offered to all of them as well.
    graphic.LoadFromStream(MakeTestFormat(colour));
    EXPECT_TRUE(SamePixels(graphic.ToImage(), colour));

    // With previews on, GetPreview answers first; a plug-in without it
    // still decodes through GetPicture.
    m_spis->GraphicPreview = true;
    EXPECT_EQ(LoadPicture(path).size(), QSize(1, 1));
    const QImage other = Sample(5, 5);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("pic.ppm", MakePpm(other))), other));

    // Without a host there is nobody to ask.
    m_spis.reset();
    EXPECT_TRUE(LoadPicture(path).isNull());
}

TEST_F(SPIBmpTest, ProgressReportsAndAbort)
{
    EXPECT_EQ(SusieProgressPercent(0, 10), 2);
    EXPECT_EQ(SusieProgressPercent(10, 10), 99);
    EXPECT_EQ(SusieProgressPercent(1, 3), 34); // 32.33 rounds to 32
    EXPECT_EQ(SusieProgressPercent(1, 2), 51); // 48.5 rounds up
    EXPECT_EQ(SusieProgressPercent(5, 0), 2); // no total
    EXPECT_EQ(SusieProgressPercent(20, 10), 99); // beyond the total
    EXPECT_EQ(SusieProgressPercent(-5, 10), 2);

    AddTestFormat("test.spi");
    const QString path = Write("rows.tsp", MakeTestFormat(Sample(3, 4)));
    std::vector<TSPIProgress> reports;
    TSPIGraphic graphic;
    graphic.SetOnProgress([&](const TSPIProgress& r) { reports.push_back(r); });
    graphic.LoadFromFile(path);
    ASSERT_GE(reports.size(), 4u);
    EXPECT_EQ(reports.front().stage, TProgressStage::psStarting);
    EXPECT_EQ(reports.front().message, "Loading Graphic by Susie Plugin");
    EXPECT_EQ(reports[1].message, "Seeking enabled Susie Plugins");
    EXPECT_EQ(reports[2].message, "Loading by [test.spi]");
    std::vector<int> fromPlugin;
    for (const TSPIProgress& r : reports)
        if (r.stage == TProgressStage::psRunning && r.message.isEmpty())
            fromPlugin.push_back(r.percent);
    EXPECT_EQ(fromPlugin, (std::vector<int>{26, 51, 75, 99})); // rows 1..4 of 4
    EXPECT_EQ(reports.back().stage, TProgressStage::psEnding);
    EXPECT_EQ(reports.back().percent, 100);
    EXPECT_TRUE(reports.back().redrawNow);
    EXPECT_EQ(reports.back().message, "Loaded Graphic by Susie Plugin");
    EXPECT_EQ(reports.back().sender, &graphic);

    // Aborting from the handler stops the plug-in; nobody else decodes it.
    graphic.SetOnProgress([](const TSPIProgress& r) {
        if (r.stage == TProgressStage::psRunning && r.percent > 2)
            throw ESPIAbort();
    });
    EXPECT_THROW(graphic.LoadFromFile(path), EGraphicError);

    // TSPIBitmap passes the inner reports on, except the inner end, and ends
    // with its own.
    reports.clear();
    TSPIBitmap bitmap;
    bitmap.SetOnProgress([&](const TSPIProgress& r) { reports.push_back(r); });
    bitmap.LoadFromFile(path);
    int endings = 0;
    for (const TSPIProgress& r : reports)
        endings += r.stage == TProgressStage::psEnding;
    EXPECT_EQ(endings, 1);
    EXPECT_EQ(reports.back().message, "Loaded Graphic");
    EXPECT_EQ(reports.back().rect, QRect(0, 0, 3, 4));
    EXPECT_EQ(reports.back().sender, &bitmap);

    // The end is reported after a failure too.
    reports.clear();
    EXPECT_THROW(bitmap.LoadFromFile(Write("bad.tsp", "TSPI")), EGraphicError);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().message, "Loaded Graphic");
}

TEST_F(SPIBmpTest, BitmapFirstRuleAndStreams)
{
    const QImage colour = Sample(7, 5);
    // A real BMP named .bmp is read by the plain bitmap reader.
    QByteArray bmpBytes;
    {
        QBuffer buffer(&bmpBytes);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(colour.save(&buffer, "BMP"));
    }
    TSPIBitmap bitmap;
    bitmap.LoadFromFile(Write("real.bmp", bmpBytes));
    EXPECT_TRUE(SamePixels(bitmap.ToImage(), colour));
    // Plug-in data named .bmp falls through to the plug-ins, and BMP data
    // named otherwise falls through to the plain reader.
    bitmap.LoadFromFile(Write("ppm-inside.bmp", MakePpm(colour)));
    EXPECT_TRUE(SamePixels(bitmap.ToImage(), colour));
    bitmap.LoadFromFile(Write("bmp-inside.ppm", bmpBytes));
    EXPECT_TRUE(SamePixels(bitmap.ToImage(), colour));

    bitmap.LoadFromStreamWithName(MakePcx(colour, 8, 3), "stream.pcx");
    EXPECT_TRUE(SamePixels(bitmap.ToImage(), colour));
    bitmap.LoadFromStream(MakeTga(colour, 2, 24, false)); // no name: content alone decides
    EXPECT_TRUE(SamePixels(bitmap.ToImage(), colour));
    try {
        bitmap.LoadFromStream(QByteArray("neither a picture nor a bitmap"));
        FAIL();
    } catch (const EGraphicError& e) {
        EXPECT_EQ(e.message(), "Susie Plugins could not decode");
    }
    // A stream shorter than the MacBinary offset.
    EXPECT_THROW(bitmap.LoadFromStreamWithName(QByteArray("P6"), "x.ppm"), EGraphicError);
    EXPECT_THROW(bitmap.Adopt(nullptr), EGraphicError);
}

TEST_F(SPIBmpTest, SaveConvertAndDraw)
{
    const QImage few = SampleFromPalette(4, 2, kSixteen);
    TSPIGraphic graphic;
    graphic.LoadFromFile(Write("four.pcx", MakePcx(few, 1, 4)));

    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    graphic.SaveToStream(stream);
    const QByteArray bmp = stream.data();
    ASSERT_EQ(bmp.size(), 14 + 40 + 64 + 8);
    EXPECT_TRUE(bmp.startsWith("BM"));
    EXPECT_EQ(qFromLittleEndian<quint32>(bmp.constData() + 2), quint32(bmp.size()));
    EXPECT_EQ(qFromLittleEndian<quint32>(bmp.constData() + 10), 14u + 40 + 64);
    EXPECT_EQ(qFromLittleEndian<quint16>(bmp.constData() + 28), 4); // bits per pixel

    std::unique_ptr<TGraphic> copy = graphic.Convert(TSPIBitmap::PlainBitmapClass(), false);
    EXPECT_TRUE(SamePixels(copy->ToImage(), few));
    EXPECT_FALSE(graphic.IsEmpty());

    // Drawing stretches without blending: each pixel becomes a 3 × 3 block.
    QImage canvas(12, 6, QImage::Format_RGB32);
    canvas.fill(Qt::gray);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        graphic.Draw(painter, QRect(0, 0, 12, 6));
        EXPECT_TRUE(painter.testRenderHint(QPainter::SmoothPixmapTransform)); // restored
    }
    EXPECT_TRUE(SamePixels(canvas, few.scaled(12, 6)));

    std::unique_ptr<TGraphic> moved = graphic.Convert(TSPIBitmap::PlainBitmapClass(), true);
    EXPECT_TRUE(graphic.IsEmpty());
    EXPECT_EQ(graphic.Width(), 0);
    EXPECT_TRUE(SamePixels(moved->ToImage(), few));
    EXPECT_THROW(graphic.Convert(TSPIBitmap::PlainBitmapClass(), false), EGraphicError);
}

TEST(SusiePluginFileName, UsableNamesOnly)
{
    EXPECT_EQ(SusiePluginFileName(""), QByteArray());
    EXPECT_EQ(SusiePluginFileName("/tmp/a.ppm"), QByteArray("/tmp/a.ppm"));
    EXPECT_EQ(SusiePluginFileName(QStringLiteral("/tmp/画像.ppm")), QStringLiteral("/tmp/画像.ppm").toUtf8());
    EXPECT_EQ(SusiePluginFileName(QString("/tmp/a") + QChar(0) + "b.ppm"), QByteArray());
    EXPECT_EQ(SusiePluginFileName(QString("/tmp/") + QChar(0xD800) + ".ppm"), QByteArray()); // lone surrogate
    const QString longName = "/tmp/" + QString(400, 'n') + ".ppm"; // no 260-byte limit here
    EXPECT_EQ(SusiePluginFileName(longName), longName.toUtf8());
}

TEST_F(SPIBmpTest, JapaneseFileNamesReachThePlugins)
{
    const QImage colour = Sample(3, 3);
    EXPECT_TRUE(SamePixels(LoadPicture(Write(QStringLiteral("写真.ppm"), MakePpm(colour))), colour));
}

namespace {

int g_plainLoads = 0;

// A plain bitmap class standing in for the program's own BMP decoder.
class CountingBitmap : public TGraphic {
public:
    void LoadFromStream(const QByteArray& data) override
    {
        ++g_plainLoads;
        m_inner = TSPIBitmap::DefaultPlainBitmapClass()->create();
        m_inner->LoadFromStream(data);
    }
    int Width() const override { return m_inner ? m_inner->Width() : 0; }
    int Height() const override { return m_inner ? m_inner->Height() : 0; }
    void Draw(QPainter& painter, const QRect& target) const override { m_inner->Draw(painter, target); }
    QImage ToImage() const override { return m_inner ? m_inner->ToImage() : QImage(); }

private:
    std::unique_ptr<TGraphic> m_inner;
};

const TGraphicClassInfo kCountingBitmap = {"CountingBitmap",
                                           [] { return std::unique_ptr<TGraphic>(new CountingBitmap); }};

} // namespace

TEST_F(SPIBmpTest, PlainBitmapClassCanBeTheProgramsOwn)
{
    TSPIBitmap::SetPlainBitmapClass(&kCountingBitmap);
    EXPECT_EQ(TSPIBitmap::PlainBitmapClass(), &kCountingBitmap);
    g_plainLoads = 0;
    const QImage colour = Sample(5, 4);
    EXPECT_TRUE(SamePixels(LoadPicture(Write("a.pcx", MakePcx(colour, 8, 3))), colour));
    EXPECT_EQ(g_plainLoads, 1); // the BMP stream made from the plug-in's bitmap
    TSPIBitmap bitmap;
    bitmap.OnLoadFromStreamWithName()(MakePpm(colour), "b.ppm");
    EXPECT_TRUE(SamePixels(bitmap.ToImage(), colour));
    EXPECT_EQ(g_plainLoads, 2);

    // Classes that would ask the plug-ins again are refused.
    TSPIBitmap::SetPlainBitmapClass(&TSPIBitmap::ClassInfo);
    EXPECT_EQ(TSPIBitmap::PlainBitmapClass(), TSPIBitmap::DefaultPlainBitmapClass());
    TSPIBitmap::SetPlainBitmapClass(&kCountingBitmap);
    TSPIBitmap::SetPlainBitmapClass(nullptr);
    EXPECT_EQ(TSPIBitmap::PlainBitmapClass(), TSPIBitmap::DefaultPlainBitmapClass());
}
