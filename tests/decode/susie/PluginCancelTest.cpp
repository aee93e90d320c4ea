// Stopping a plug-in's decode through its progress callback, and plug-in
// decodes from several threads at once, with the project's real plug-ins.
#include "SusieTestSupport.h"

#include "decode/Picture.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"

#include <atomic>
#include <thread>

namespace {

class PluginCancelTest : public SusieFolderTest {
protected:
    void SetUp() override
    {
        SusieFolderTest::SetUp();
        m_spis = std::make_unique<TSPIs>();
        ConfigureViewerSPIs(*m_spis);
        SearchViewerPlugins(*m_spis, ORVANTO_BIN_DIR "/plugins");
        ASSERT_GE(m_spis->Count(), 3);
        // 1600 rows: the plug-in reports its progress every 16 rows.
        m_path = PathOf(QStringLiteral("tall.ppm"));
        ASSERT_TRUE(WriteFile(m_path, MakePpm(Sample(300, 1600))));
    }
    void TearDown() override
    {
        m_spis.reset();
        SusieFolderTest::TearDown();
    }
    std::unique_ptr<TSPIs> m_spis;
    QString m_path;
};

TEST_F(PluginCancelTest, ProgressCallbackStopsThePlugin)
{
    int askedUncancelled = 0;
    {
        TPicture picture;
        picture.SetCancelHook([&] {
            ++askedUncancelled;
            return false;
        });
        ASSERT_TRUE(LoadPictureReporting(m_path, picture).ok());
        EXPECT_EQ(picture.Height(), 1600);
    }
    ASSERT_GT(askedUncancelled, 100); // one question per progress report

    int asked = 0;
    TPicture picture;
    // Given up once the plug-in is decoding (the first reports come from
    // the adapter choosing the plug-in).
    picture.SetCancelHook([&] { return ++asked >= 5; });
    const TPictureLoadResult result = LoadPictureReporting(m_path, picture);
    EXPECT_EQ(result.failure, TDecodeFailure::Cancelled);
    EXPECT_TRUE(picture.Empty());
    // The plug-in stopped at the callback instead of decoding to the end.
    EXPECT_LT(asked, askedUncancelled / 4);
}

TEST_F(PluginCancelTest, DecodesFromSeveralThreadsAllSucceed)
{
    QStringList paths;
    for (int i = 0; i < 8; ++i) {
        const QString path = PathOf(QStringLiteral("p%1.ppm").arg(i));
        ASSERT_TRUE(WriteFile(path, MakePpm(Sample(64 + i, 40))));
        paths << path;
    }
    std::atomic<int> good = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                for (int i = 0; i < paths.size(); ++i) {
                    TPicture picture;
                    if (LoadPictureSafe(paths[(i + t) % paths.size()], picture)
                        && picture.Width() == 64 + (i + t) % paths.size())
                        ++good;
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(good.load(), 4 * 5 * paths.size());
}

} // namespace
