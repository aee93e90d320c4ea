// The plug-in host running its plug-ins in the helper: the same pictures as
// in the program, and misbehaving plug-ins that cost one picture (or leave
// the search) instead of the program.
#include "decode/FormatRegistry.h"
#include "decode/Picture.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "helper/HelperClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Ppm(const QImage& image)
{
    QByteArray data = QStringLiteral("P6\n%1 %2\n255\n").arg(image.width()).arg(image.height()).toLatin1();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            data.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
        }
    return data;
}

QImage Sample(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 37) & 255, (y * 11) & 255, (x + y) & 255));
    return image;
}

class PluginIsolationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_plugins.isValid() && m_pictures.isValid());
        helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
        helper::SetIsolation(true);
        helper::FaultNotices::ResetForTesting();
        helper::FaultNotices::SetSink([this](const QString& text) { m_told << text; });
        helper::HelperClient::Plugins().SetSilenceLimitMs(1500);
    }
    void TearDown() override
    {
        m_spis.reset();
        helper::HelperClient::Plugins().SetSilenceLimitMs(ORV_HELPER_SILENCE_LIMIT_SECONDS * 1000);
        helper::FaultNotices::SetSink({});
        helper::SetIsolation(false);
    }
    void AddPlugin(const QString& source, const QString& name)
    {
        ASSERT_TRUE(QFile::copy(source, m_plugins.filePath(name)));
    }
    void Search()
    {
        m_spis.reset(); // one plug-in host at a time
        m_spis = std::make_unique<TSPIs>();
        ConfigureViewerSPIs(*m_spis);
        SearchViewerPlugins(*m_spis, m_plugins.path());
    }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_pictures.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    static bool Load(const QString& path, QImage& image)
    {
        TPicture picture;
        if (!LoadPictureSafe(path, picture) || !picture.Graphic())
            return false;
        image = picture.Graphic()->ToImage();
        return true;
    }

    QTemporaryDir m_plugins;
    QTemporaryDir m_pictures;
    std::unique_ptr<TSPIs> m_spis;
    QStringList m_told;
};

TEST_F(PluginIsolationTest, PluginsRunInTheHelperAndGiveTheSamePictures)
{
    AddPlugin(QStringLiteral(ORVANTO_BIN_DIR "/plugins/pnm.spi"), QStringLiteral("pnm.spi"));
    Search();
    ASSERT_EQ(m_spis->Count(), 1);
    EXPECT_TRUE(m_spis->Items(0)->IsRemote());
    EXPECT_EQ(m_spis->Items(0)->APIVersion(), QByteArray("00IN"));
    // The plug-in is not loaded into this process.
    QFile maps(QStringLiteral("/proc/self/maps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_FALSE(maps.readAll().contains("pnm.spi"));

    // Large enough for the pixel rows to come through shared memory.
    const QImage expected = Sample(640, 480);
    QImage image;
    ASSERT_TRUE(Load(Write(QStringLiteral("big.ppm"), Ppm(expected)), image));
    ASSERT_EQ(image.size(), expected.size());
    for (int y = 0; y < expected.height(); y += 7)
        for (int x = 0; x < expected.width(); x += 5)
            ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, expected.pixel(x, y) & 0xFFFFFF) << x << "," << y;

    // Pixel rows of megabytes are the helper's shared blocks, handed over
    // as they are: a picture the program holds stays as it is while the
    // helper decodes the next ones into fresh blocks.
    const QImage first = Sample(1200, 700);
    QImage second = first.mirrored(true, false);
    QImage held;
    ASSERT_TRUE(Load(Write(QStringLiteral("first.ppm"), Ppm(first)), held));
    for (int round = 0; round < 3; ++round) {
        QImage next;
        ASSERT_TRUE(Load(Write(QStringLiteral("second.ppm"), Ppm(second)), next));
        ASSERT_EQ(next.pixel(0, 0) & 0xFFFFFF, second.pixel(0, 0) & 0xFFFFFF);
        next.setPixel(1, 1, qRgb(1, 2, 3)); // the program's own copy of the page
    }
    ASSERT_EQ(held.size(), first.size());
    for (int y = 0; y < first.height(); y += 13)
        for (int x = 0; x < first.width(); x += 11)
            ASSERT_EQ(held.pixel(x, y) & 0xFFFFFF, first.pixel(x, y) & 0xFFFFFF) << x << "," << y;

    // From memory as well (the adapter's stream source).
    TSPIGraphic graphic;
    graphic.LoadFromStreamWithName(Ppm(expected), QStringLiteral("mem.ppm"));
    EXPECT_EQ(graphic.Width(), 640);
    EXPECT_EQ(graphic.ToImage().pixel(3, 4) & 0xFFFFFF, expected.pixel(3, 4) & 0xFFFFFF);
    EXPECT_TRUE(m_told.isEmpty());
}

TEST_F(PluginIsolationTest, CrashingHangingAndEatingPluginsCostOnlyTheirPictures)
{
    AddPlugin(QStringLiteral(ORVANTO_BIN_DIR "/plugins/pnm.spi"), QStringLiteral("pnm.spi"));
    for (const char* name : {"crashpicture", "crashsupport", "hangpicture"})
        AddPlugin(QStringLiteral(HOSTILE_SPI_DIR "/%1.spi").arg(QLatin1String(name)),
                  QStringLiteral("%1.spi").arg(QLatin1String(name)));
    Search();
    ASSERT_EQ(m_spis->Count(), 4);
    const QImage expected = Sample(20, 10);
    const QString good = Write(QStringLiteral("good.ppm"), Ppm(expected));
    QImage image;

    // Each bad file fails alone; the good picture shows after each of them.
    const QStringList bad = {Write(QStringLiteral("a.crp"), "CRSH"), Write(QStringLiteral("b.crs"), "CRSS"),
                             Write(QStringLiteral("c.hng"), "HANG"), Write(QStringLiteral("d.crp"), "CRSH")};
    for (const QString& path : bad) {
        EXPECT_FALSE(Load(path, image)) << path.toStdString();
        ASSERT_TRUE(Load(good, image));
        EXPECT_EQ(image.pixel(5, 5) & 0xFFFFFF, expected.pixel(5, 5) & 0xFFFFFF);
    }
    // One message per plug-in, naming it, however often it failed.
    ASSERT_EQ(m_told.size(), 3) << m_told.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("crashpicture.spi")));
    EXPECT_TRUE(m_told.at(1).contains(QStringLiteral("crashsupport.spi")));
    EXPECT_TRUE(m_told.at(2).contains(QStringLiteral("hangpicture.spi")));
    EXPECT_TRUE(m_told.at(2).contains(QStringLiteral("応答がない")));
}

TEST_F(PluginIsolationTest, PluginsFailingInTheSearchAreLeftOutAndNamedInOneMessage)
{
    AddPlugin(QStringLiteral(ORVANTO_BIN_DIR "/plugins/pnm.spi"), QStringLiteral("pnm.spi"));
    AddPlugin(QStringLiteral(HOSTILE_SPI_DIR "/crashinfo.spi"), QStringLiteral("crashinfo.spi"));
    AddPlugin(QStringLiteral(HOSTILE_SPI_DIR "/hanginfo.spi"), QStringLiteral("hanginfo.spi"));
    Search();
    ASSERT_EQ(m_spis->Count(), 1);
    EXPECT_TRUE(m_spis->Items(0)->FileName().endsWith(QStringLiteral("pnm.spi")));
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("crashinfo.spi")));
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("hanginfo.spi")));
    QImage image;
    EXPECT_TRUE(Load(Write(QStringLiteral("ok.ppm"), Ppm(Sample(3, 3))), image));

    // A second search (the program searches again after an options change)
    // tells nothing new.
    Search();
    EXPECT_EQ(m_spis->Count(), 1);
    EXPECT_EQ(m_told.size(), 1);
}

} // namespace
