#include "PluginTestSupport.h"

#include "decode/Picture.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/ViewerPluginPolicy.h"

#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>

bool HaveTool(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

::testing::AssertionResult RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return ::testing::AssertionFailure() << program.toStdString() << " did not finish";
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return ::testing::AssertionFailure() << program.toStdString() << " " << arguments.join(' ').toStdString()
                                             << " failed: " << process.readAll().toStdString();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult NearPixels(const QImage& actual, const QImage& expected, int tolerance, bool withAlpha)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height() << ", expected "
                                             << expected.width() << "x" << expected.height();
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < e.height(); ++y)
        for (int x = 0; x < e.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = e.pixel(x, y);
            int worst =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            if (withAlpha) {
                if (qAlpha(q) == 0 && qAlpha(p) == 0)
                    continue; // the colour of a transparent pixel does not matter
                worst = std::max(worst, std::abs(qAlpha(p) - qAlpha(q)));
            }
            if (worst > tolerance)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << "," << y << ") is " << std::hex << p << ", expected " << q;
        }
    return ::testing::AssertionSuccess();
}

double MeanDifference(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size() || expected.isNull())
        return 1e9;
    double sum = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb p = actual.pixel(x, y), q = expected.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * expected.width() * expected.height());
}

QImage Gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb(x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1),
                                (x + y) * 255 / std::max(1, width + height - 2)));
    return image;
}

QImage WithAlpha(const QImage& colour)
{
    QImage image = colour.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int alpha = x < 2 && y < 2 ? 0 : 128 + (x * 7 + y * 13) % 128;
            image.setPixel(x, y, qRgba(qRed(p), qGreen(p), qBlue(p), alpha));
        }
    return image;
}

void PluginHostTest::SetUp()
{
    SusieFolderTest::SetUp();
    m_spis = std::make_unique<TSPIs>();
    ConfigureViewerSPIs(*m_spis);
    SearchViewerPlugins(*m_spis, ORVANTO_BIN_DIR "/plugins");
}

void PluginHostTest::TearDown()
{
    m_spis.reset();
    SusieFolderTest::TearDown();
}

QString PluginHostTest::Write(const QString& name, const QByteArray& bytes)
{
    const QString path = PathOf(name);
    EXPECT_TRUE(WriteFile(path, bytes));
    return path;
}

QString PluginHostTest::SavePng(const QString& name, const QImage& image)
{
    const QString path = PathOf(name);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

QImage PluginHostTest::LoadPicture(const QString& path)
{
    TPicture picture;
    if (!LoadPictureSafe(path, picture))
        return {};
    EXPECT_NE(dynamic_cast<TSPIBitmap*>(picture.Graphic()), nullptr);
    return picture.Graphic()->ToImage();
}

QImage PluginHostTest::LoadFromMemory(const QString& path)
{
    TSPIGraphic graphic;
    try {
        graphic.LoadFromStreamWithName(ReadFile(path), path);
    } catch (const std::exception&) {
        return {};
    }
    return graphic.ToImage();
}

bool PluginHostTest::AbortsOnFirstReport(const QString& path)
{
    TSPIGraphic graphic;
    bool reported = false;
    graphic.SetOnProgress([&](const TSPIProgress& r) {
        if (r.stage == TProgressStage::psRunning && r.message.isEmpty()) {
            reported = true;
            throw ESPIAbort();
        }
    });
    try {
        graphic.LoadFromFile(path);
    } catch (const EGraphicError&) {
        return reported;
    }
    return false;
}
