// The picture pipeline and its cache on real files decoded by the real
// decoders: prefetching, a file changed on disk, skipping ahead,
// cancellation and the memory bound.
#include "../decode/TestImages.h"

#include "viewer/PictureCache.h"
#include "viewer/PicturePipeline.h"
#include "decode/BuiltInFormats.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace {

QImage Filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    // A diagonal so that a reduced decode has something to reduce.
    for (int i = 0; i < std::min(size.width(), size.height()); ++i)
        image.setPixel(i, i, qRgb(255 - colour.red(), 255 - colour.green(), 255 - colour.blue()));
    return image;
}

class PicturePipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        RegisterBuiltInFormats();
    }

    QString Jpeg(const QString& name, QSize size, QColor colour = Qt::blue)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(testimg::EncodeJpeg(Filled(size, colour), {.quality = 85}));
        return path;
    }

    static PictureRequest Request(const QString& path, QSize area = QSize(400, 300))
    {
        PictureRequest request;
        request.path = path;
        request.fit.areaWidth = area.width();
        request.fit.areaHeight = area.height();
        return request;
    }

    // Runs the event loop until the condition holds (bounded, so that a
    // fault fails the test instead of hanging it).
    static bool WaitFor(const std::function<bool()>& condition)
    {
        QDeadlineTimer deadline(30000);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(1);
        }
        return true;
    }

    QTemporaryDir dir;
};

TEST_F(PicturePipelineTest, ShownFirstThenPrefetchedIntoTheCache)
{
    const QString a = Jpeg(QStringLiteral("a.jpg"), QSize(1600, 1200), Qt::red);
    const QString b = Jpeg(QStringLiteral("b.jpg"), QSize(800, 600), Qt::green);
    const QString c = Jpeg(QStringLiteral("c.jpg"), QSize(200, 100), Qt::blue);
    PicturePipeline pipeline;
    std::vector<DecodedPicturePtr> ready;
    QObject::connect(&pipeline, &PicturePipeline::pictureReady,
                     [&](const DecodedPicturePtr& picture) { ready.push_back(picture); });
    EXPECT_EQ(pipeline.Ready(Request(a)), nullptr);
    pipeline.Want({Request(a)}, {Request(b), Request(c)});
    ASSERT_TRUE(WaitFor([&] { return ready.size() == 3; }));
    EXPECT_EQ(pipeline.DecodesStarted(), 3);

    const DecodedPicturePtr shown = pipeline.Ready(Request(a));
    ASSERT_NE(shown, nullptr);
    ASSERT_TRUE(shown->Ok());
    // Full size for fitting, reduced pixels covering the 400 x 300 fit, and
    // the picture already shrunk to the size it is shown at.
    EXPECT_EQ(shown->graphic->Width(), 1600);
    EXPECT_EQ(shown->graphic->Height(), 1200);
    EXPECT_EQ(shown->pixelSize, QSize(400, 300));
    EXPECT_TRUE(shown->display.isNull()); // 400 x 300 is the fitted size itself
    const DecodedPicturePtr next = pipeline.Ready(Request(b));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->pixelSize, QSize(400, 300));
    const DecodedPicturePtr small = pipeline.Ready(Request(c));
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->pixelSize, QSize(200, 100)); // fits: full size, not shrunk
    EXPECT_TRUE(small->display.isNull());
    EXPECT_GT(qBlue(small->graphic->ToImage().pixel(60, 50)), 245);
    EXPECT_LT(qRed(small->graphic->ToImage().pixel(60, 50)), 10);

    // Asking again decodes nothing: everything comes from the cache.
    pipeline.Want({Request(b)}, {Request(c), Request(a)});
    EXPECT_EQ(pipeline.Pending(), 0);
    // A larger area than the reduced picture covers is decoded again.
    EXPECT_EQ(pipeline.Ready(Request(a, QSize(1000, 900))), nullptr);
    EXPECT_NE(pipeline.Ready(Request(a, QSize(300, 300))), nullptr);
}

TEST_F(PicturePipelineTest, ShrunkCopyMatchesTheFittedSize)
{
    const QString a = Jpeg(QStringLiteral("wide.jpg"), QSize(1000, 400));
    PictureRequest request = Request(a, QSize(700, 500));
    const DecodedPicturePtr picture = DecodeForDisplay(request, [] { return false; });
    ASSERT_TRUE(picture->Ok());
    FitInput fit = request.fit;
    fit.pictureWidth = 1000;
    fit.pictureHeight = 400;
    EXPECT_EQ(picture->display.size(), FitPictureRect(fit).size());
    EXPECT_EQ(picture->display.size(), QSize(700, 280));
}

TEST_F(PicturePipelineTest, FileChangedOnDiskIsDecodedAgain)
{
    const QString a = Jpeg(QStringLiteral("a.jpg"), QSize(300, 200), Qt::red);
    PicturePipeline pipeline;
    int readyCount = 0;
    QObject::connect(&pipeline, &PicturePipeline::pictureReady, [&] { ++readyCount; });
    pipeline.Want({Request(a)}, {});
    ASSERT_TRUE(WaitFor([&] { return readyCount == 1; }));
    const DecodedPicturePtr before = pipeline.Ready(Request(a));
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(before->graphic->Width(), 300);

    // Same name, other content, other size and a later modification time.
    QThread::msleep(20);
    Jpeg(QStringLiteral("a.jpg"), QSize(320, 200), Qt::green);
    EXPECT_EQ(pipeline.Ready(Request(a)), nullptr);
    EXPECT_FALSE(pipeline.Cache().Contains(a)); // the stale picture is dropped
    pipeline.Want({Request(a)}, {});
    ASSERT_TRUE(WaitFor([&] { return readyCount == 2; }));
    const DecodedPicturePtr after = pipeline.Ready(Request(a));
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->graphic->Width(), 320);
    EXPECT_EQ(QColor(after->graphic->ToImage().pixel(100, 50)).green(), 255);
    EXPECT_EQ(pipeline.DecodesStarted(), 2);

    // Only the time changes (same size): decoded again as well.
    QThread::msleep(20);
    QFile file(a);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    file.close();
    EXPECT_EQ(pipeline.Ready(Request(a)), nullptr);

    // A file that is gone is not served from the cache either.
    QFile::remove(a);
    EXPECT_EQ(pipeline.Ready(Request(a)), nullptr);
}

TEST_F(PicturePipelineTest, SkippingAheadDecodesOnlyWhereItStops)
{
    QStringList paths;
    for (int i = 0; i < 30; ++i)
        paths << Jpeg(QStringLiteral("%1.jpg").arg(i, 2, 10, QLatin1Char('0')), QSize(2400, 1800),
                      QColor::fromHsv(i * 12, 200, 200));
    PicturePipeline pipeline(nullptr, 2);
    QStringList readyPaths;
    QObject::connect(&pipeline, &PicturePipeline::pictureReady,
                     [&](const DecodedPicturePtr& picture) { readyPaths << picture->path; });
    // Thirty steps forward in a row, each wanting its picture, the next two
    // and the previous one, faster than one picture decodes.
    const QSize area(640, 480);
    for (int i = 0; i < 30; ++i) {
        std::vector<PictureRequest> ahead;
        for (int k : {i + 1, i + 2, i - 1})
            if (k >= 0 && k < 30)
                ahead.push_back(Request(paths[k], area));
        pipeline.Want({Request(paths[i], area)}, ahead);
    }
    ASSERT_TRUE(WaitFor([&] { return pipeline.Pending() == 0; }));
    pipeline.WaitForIdle();
    EXPECT_TRUE(readyPaths.contains(paths[29]));
    EXPECT_NE(pipeline.Ready(Request(paths[29], area)), nullptr);
    EXPECT_NE(pipeline.Ready(Request(paths[28], area)), nullptr); // the previous one, prefetched
    // The pictures passed over were not decoded: at most the ones the two
    // workers had begun when the steps started, and the last four.
    EXPECT_LE(pipeline.DecodesStarted(), 8);
    for (int i = 5; i < 27; ++i)
        EXPECT_FALSE(pipeline.Cache().Contains(paths[i])) << i;
    EXPECT_GE(pipeline.DecodesCancelled(), 20);
}

TEST_F(PicturePipelineTest, UnwantedWorkIsCancelledAndNeverDelivered)
{
    const QString big = Jpeg(QStringLiteral("big.jpg"), QSize(4000, 3000));
    const QString other = Jpeg(QStringLiteral("other.jpg"), QSize(100, 100));
    PicturePipeline pipeline(nullptr, 1);
    QStringList readyPaths;
    QObject::connect(&pipeline, &PicturePipeline::pictureReady,
                     [&](const DecodedPicturePtr& picture) { readyPaths << picture->path; });
    pipeline.Want({Request(big, QSize())}, {}); // full size: the longest decode
    ASSERT_TRUE(WaitFor([&] { return pipeline.DecodesStarted() == 1; }));
    pipeline.Want({Request(other)}, {});
    ASSERT_TRUE(WaitFor([&] { return readyPaths.contains(other); }));
    pipeline.WaitForIdle();
    EXPECT_EQ(pipeline.DecodesCancelled(), 1);
    // Stopped early, the big picture is neither delivered nor kept.
    EXPECT_FALSE(readyPaths.contains(big));
    EXPECT_FALSE(pipeline.Cache().Contains(big));

    // A cancel before the decode starts: nothing reaches the decoder.
    PicturePipeline idle(nullptr, 1);
    idle.Want({Request(big, QSize())}, {Request(other)});
    idle.CancelAll();
    idle.WaitForIdle();
    EXPECT_LE(idle.DecodesStarted(), 1);
    EXPECT_EQ(idle.Pending(), 0);
    EXPECT_FALSE(idle.Cache().Contains(other));
}

TEST_F(PicturePipelineTest, FullSizeOnDemandAfterAReducedDecode)
{
    const QString a = Jpeg(QStringLiteral("a.jpg"), QSize(1600, 1200));
    PicturePipeline pipeline;
    int readyCount = 0;
    QObject::connect(&pipeline, &PicturePipeline::pictureReady, [&] { ++readyCount; });
    pipeline.Want({Request(a)}, {});
    ASSERT_TRUE(WaitFor([&] { return readyCount == 1; }));
    DecodedPicturePtr full;
    pipeline.DecodeFull(a, [&](const DecodedPicturePtr& picture) { full = picture; });
    ASSERT_TRUE(WaitFor([&] { return full != nullptr; }));
    EXPECT_EQ(full->pixelSize, QSize(1600, 1200));
    EXPECT_FALSE(full->graphic->IsReduced());
    EXPECT_EQ(full->graphic->ToImage().size(), QSize(1600, 1200));
    // The full picture now serves every area without a new decode.
    EXPECT_NE(pipeline.Ready(Request(a, QSize(1500, 1100))), nullptr);
    bool again = false;
    pipeline.DecodeFull(a, [&](const DecodedPicturePtr& picture) { again = picture == full; });
    EXPECT_TRUE(again);
    EXPECT_EQ(pipeline.DecodesStarted(), 2);
}

TEST_F(PicturePipelineTest, FailuresAreDeliveredWithTheirReason)
{
    QFile junk(dir.filePath(QStringLiteral("junk.jpg")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a jpeg file at all");
    junk.close();
    const QString unknown = dir.filePath(QStringLiteral("x.unknownformat"));
    QFile(unknown).open(QIODevice::WriteOnly);
    PicturePipeline pipeline;
    std::vector<DecodedPicturePtr> ready;
    QObject::connect(&pipeline, &PicturePipeline::pictureReady,
                     [&](const DecodedPicturePtr& picture) { ready.push_back(picture); });
    pipeline.Want({Request(junk.fileName()), Request(unknown)}, {});
    ASSERT_TRUE(WaitFor([&] { return ready.size() == 2; }));
    for (const DecodedPicturePtr& picture : ready) {
        EXPECT_FALSE(picture->Ok());
        EXPECT_EQ(picture->failure,
                  picture->path == unknown ? TDecodeFailure::UnknownFormat : TDecodeFailure::DamagedData);
    }
    // A failure is remembered too: showing it again decodes nothing.
    pipeline.Want({Request(junk.fileName())}, {});
    EXPECT_EQ(pipeline.Pending(), 0);
}

TEST_F(PicturePipelineTest, CacheStaysWithinItsMemoryBound)
{
    EXPECT_EQ(PictureCache::DefaultLimit(), std::min<qint64>(qint64(512) << 20, platform::PhysicalMemoryBytes() / 4));

    std::vector<DecodedPicturePtr> pictures;
    for (int i = 0; i < 6; ++i) {
        const QString path = Jpeg(QStringLiteral("m%1.jpg").arg(i), QSize(512, 512));
        pictures.push_back(DecodeForDisplay(Request(path, QSize()), [] { return false; }));
        ASSERT_TRUE(pictures.back()->Ok());
    }
    const qint64 one = pictures[0]->Bytes();
    EXPECT_GE(one, 512 * 512 * 3);
    PictureCache cache(one * 3 + one / 2); // room for three
    for (int i = 0; i < 4; ++i)
        cache.Insert(pictures[i]);
    EXPECT_EQ(cache.Count(), 3);
    EXPECT_LE(cache.Bytes(), cache.Limit());
    EXPECT_FALSE(cache.Contains(pictures[0]->path)); // used longest ago
    // Using a picture keeps it: the next one to go is the one after it.
    const QString kept = pictures[1]->path;
    EXPECT_NE(cache.Find(kept, StampOf(kept), QSize()), nullptr);
    cache.Insert(pictures[4]);
    EXPECT_TRUE(cache.Contains(kept));
    EXPECT_FALSE(cache.Contains(pictures[2]->path));
    EXPECT_LE(cache.Bytes(), cache.Limit());
    // Lowering the limit gives memory back at once.
    cache.SetLimit(one + one / 2);
    EXPECT_EQ(cache.Count(), 1);
    EXPECT_TRUE(cache.Contains(pictures[4]->path));
    // A picture larger than the whole limit is not kept.
    cache.SetLimit(one / 2);
    cache.Insert(pictures[5]);
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_EQ(cache.Bytes(), 0);

    // The same through the pipeline: many pictures, never above the bound.
    PicturePipeline pipeline(nullptr, 2);
    pipeline.Cache().SetLimit(one * 2 + one / 2);
    int readyCount = 0;
    QObject::connect(&pipeline, &PicturePipeline::pictureReady, [&] {
        ++readyCount;
        EXPECT_LE(pipeline.Cache().Bytes(), pipeline.Cache().Limit());
    });
    for (int i = 0; i < 6; ++i) {
        pipeline.Want({Request(pictures[i]->path, QSize())}, {});
        ASSERT_TRUE(WaitFor([&] { return readyCount == i + 1; }));
    }
    EXPECT_EQ(pipeline.Cache().Count(), 2);
}

} // namespace
