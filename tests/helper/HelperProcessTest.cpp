// The helper client against the real helper program and real plug-ins
// (the test-format plug-in and the misbehaving ones): crashes, hangs,
// memory eaters, progress, cancelling, restarts and blocks in shared memory.
#include "decode/susie/SusieAbi.h"
#include "helper/HelperClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString HostilePlugin(const char* name)
{
    return QStringLiteral(HOSTILE_SPI_DIR "/%1.spi").arg(QLatin1String(name));
}

QString TestFormatPlugin()
{
    return QStringLiteral(SUSIE_FIXTURE_DIR "/testformat.spi");
}

// The fixture's test format: "TSPI", mode, width, height, RGB triples.
QByteArray TestPicture(int width, int height)
{
    QByteArray data("TSPI");
    data.append(char(0)).append(char(width)).append(char(height));
    for (int i = 0; i < width * height; ++i)
        data.append(char(i * 7)).append(char(i * 13)).append(char(i * 29));
    return data;
}

class HelperProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
        m_client.SetSilenceLimitMs(1500);
        m_client.SetAbortGraceMs(500);
    }

    QString Write(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    helper::CallOutcome GetPicture(const QString& plugin, const QString& file, helper::Message& reply,
                                   const helper::HelperClient::ProgressHook& hook = {})
    {
        helper::MessageBuilder request(ORV_MSG_SPI_GET_PICTURE, 0);
        request.Text(ORV_F_PATH, plugin.toStdString())
            .Int(ORV_F_INPUT_KIND, ORV_INPUT_FILE)
            .Text(ORV_F_NAME, file.toStdString())
            .Int(ORV_F_OFFSET, 0);
        return m_client.Call(request, reply, hook);
    }

    // A call that must succeed: the test-format plug-in on a small picture.
    void ExpectHealthy()
    {
        helper::Message reply;
        ASSERT_EQ(GetPicture(TestFormatPlugin(), Write(QStringLiteral("ok.tsp"), TestPicture(3, 2)), reply),
                  helper::CallOutcome::Replied);
        EXPECT_EQ(reply.IntOr(ORV_F_STATUS, -1), ORV_STATUS_OK);
        EXPECT_EQ(reply.IntOr(ORV_F_RESULT, -1), 0);
    }

    QTemporaryDir m_dir;
    helper::HelperClient m_client{"test"};
};

TEST_F(HelperProcessTest, LoadReportsEntriesAndInformationOfThePlugin)
{
    helper::MessageBuilder request(ORV_MSG_SPI_LOAD, 0);
    request.Text(ORV_F_PATH, TestFormatPlugin().toStdString());
    helper::Message reply;
    ASSERT_EQ(m_client.Call(request, reply), helper::CallOutcome::Replied);
    EXPECT_EQ(reply.IntOr(ORV_F_STATUS, -1), ORV_STATUS_OK);
    EXPECT_EQ(reply.Text(ORV_F_API_VERSION), "00IN");
    EXPECT_EQ(reply.Text(ORV_F_PATTERN), "*.tsp");
    const std::int64_t mask = reply.IntOr(ORV_F_ENTRY_MASK, 0);
    EXPECT_TRUE(mask & (1 << ORV_SPI_ENTRY_GET_PICTURE));
    EXPECT_TRUE(mask & (1 << ORV_SPI_ENTRY_GET_PREVIEW));
    EXPECT_FALSE(mask & (1 << ORV_SPI_ENTRY_GET_FILE));

    // A file that is no plug-in is refused with a reason, the helper lives on.
    helper::MessageBuilder bad(ORV_MSG_SPI_LOAD, 0);
    bad.Text(ORV_F_PATH, Write(QStringLiteral("fake.spi"), "not an ELF object").toStdString());
    ASSERT_EQ(m_client.Call(bad, reply), helper::CallOutcome::Replied);
    EXPECT_EQ(reply.IntOr(ORV_F_STATUS, -1), ORV_STATUS_LOAD_FAILED);
    EXPECT_FALSE(reply.Text(ORV_F_TEXT).empty());
    EXPECT_EQ(m_client.StartCount(), 1);
}

TEST_F(HelperProcessTest, LargeBlocksComeThroughSharedMemoryUnchanged)
{
    ASSERT_TRUE(m_client.AcceptsDescriptors());
    // 255 × 255 pixels: about 190 KB of pixel rows, above the inline size.
    const QByteArray picture = TestPicture(255, 255);
    helper::MessageBuilder request(ORV_MSG_SPI_GET_PICTURE, 0);
    const int data = helper::SharedCopy(picture.constData(), static_cast<std::size_t>(picture.size()));
    ASSERT_GE(data, 0);
    request.Text(ORV_F_PATH, TestFormatPlugin().toStdString())
        .Int(ORV_F_INPUT_KIND, ORV_INPUT_MEMORY)
        .Shm(ORV_F_DATA_SHM, data, static_cast<std::uint64_t>(picture.size()));
    helper::Message reply;
    ASSERT_EQ(m_client.Call(request, reply), helper::CallOutcome::Replied);
    platform::CloseDescriptor(data);
    ASSERT_EQ(reply.IntOr(ORV_F_RESULT, -1), 0);
    EXPECT_EQ(reply.Find(ORV_F_BITMAP_BITS), nullptr);
    platform::SharedMapping bits;
    ASSERT_TRUE(reply.MapShm(ORV_F_BITMAP_BITS_SHM, bits));
    // Rows are bottom-up BGR, padded to four bytes (255 × 3 + 3 = 768).
    ASSERT_GE(bits.Size(), 768u * 255u);
    const auto* rows = static_cast<const unsigned char*>(bits.Data());
    const int topLeft = 254 * 768; // the top row is stored last
    EXPECT_EQ(rows[topLeft + 2], static_cast<unsigned char>(picture[7]));
    EXPECT_EQ(rows[topLeft + 1], static_cast<unsigned char>(picture[8]));
    EXPECT_EQ(rows[topLeft + 0], static_cast<unsigned char>(picture[9]));
    const int last = 254 * 255 + 254; // bottom-right pixel
    EXPECT_EQ(rows[254 * 3 + 2], static_cast<unsigned char>(picture[7 + last * 3]));
}

TEST_F(HelperProcessTest, CrashingPluginEndsTheHelperAndTheNextCallStartsAnother)
{
    ExpectHealthy();
    const int firstPid = m_client.ProcessId();
    helper::Message reply;
    EXPECT_EQ(GetPicture(HostilePlugin("crashpicture"), Write(QStringLiteral("x.crp"), "CRSH"), reply),
              helper::CallOutcome::Crashed);
    EXPECT_EQ(m_client.LastFailure(), QStringLiteral("SIGSEGV"));
    EXPECT_EQ(m_client.ProcessId(), -1);
    ExpectHealthy();
    EXPECT_NE(m_client.ProcessId(), firstPid);
    EXPECT_EQ(m_client.StartCount(), 2);
}

TEST_F(HelperProcessTest, SilentPluginIsEndedAfterTheSilenceLimit)
{
    QElapsedTimer timer;
    timer.start();
    helper::Message reply;
    EXPECT_EQ(GetPicture(HostilePlugin("hangpicture"), Write(QStringLiteral("x.hng"), "HANG"), reply),
              helper::CallOutcome::Silent);
    EXPECT_GE(timer.elapsed(), 1400);
    EXPECT_LT(timer.elapsed(), 6000);
    ExpectHealthy();
}

TEST_F(HelperProcessTest, MemoryEaterMeetsTheAddressSpaceLimit)
{
    platform::ChildLimits limits;
    limits.addressSpaceBytes = 384ull << 20;
    limits.cpuSeconds = 60;
    m_client.SetLimits(limits);
    // Taking memory page by page is slow on a busy machine: the silence
    // limit must not be what ends it.
    m_client.SetSilenceLimitMs(60000);
    helper::Message reply;
    EXPECT_EQ(GetPicture(HostilePlugin("eatmemory"), Write(QStringLiteral("x.eat"), "EATM"), reply),
              helper::CallOutcome::Crashed);
    EXPECT_EQ(m_client.LastFailure(), QStringLiteral("SIGSEGV"));
    ExpectHealthy();
}

TEST_F(HelperProcessTest, ProgressKeepsASlowPluginAliveAndCanStopIt)
{
    // 40 × 100 ms of work with progress every 50 ms: longer than the
    // silence limit, but never silent.
    int reports = 0;
    helper::Message reply;
    const QString slow = Write(QStringLiteral("slow.slw"), QByteArray("SLOW") + char(40));
    ASSERT_EQ(GetPicture(HostilePlugin("slowpicture"), slow, reply,
                         [&](std::int64_t, std::int64_t total) {
                             ++reports;
                             EXPECT_EQ(total, 80);
                             return false;
                         }),
              helper::CallOutcome::Replied);
    EXPECT_EQ(reply.IntOr(ORV_F_RESULT, -1), 0);
    EXPECT_GT(reports, 10);

    // The progress hook asks it to stop: the plug-in returns "aborted".
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(GetPicture(HostilePlugin("slowpicture"), slow, reply,
                         [&](std::int64_t current, std::int64_t) { return current >= 4; }),
              helper::CallOutcome::Replied);
    EXPECT_EQ(reply.IntOr(ORV_F_RESULT, -1), SUSIE_ABORTED);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(m_client.StartCount(), 1);
}

TEST_F(HelperProcessTest, CancelFromAnotherThreadEndsAHungCall)
{
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    QElapsedTimer timer;
    timer.start();
    helper::CallOutcome outcome;
    {
        helper::CancelScope scope(&cancel);
        helper::Message reply;
        outcome = GetPicture(HostilePlugin("hangpicture"), Write(QStringLiteral("x.hng"), "HANG"), reply);
    }
    canceller.join();
    EXPECT_EQ(outcome, helper::CallOutcome::Cancelled);
    EXPECT_LT(timer.elapsed(), 1400); // before the silence limit
    ExpectHealthy();

    // CancelAll reaches a call on another thread.
    std::thread worker([&] {
        helper::Message reply;
        outcome = GetPicture(HostilePlugin("hangpicture"), Write(QStringLiteral("y.hng"), "HANG"), reply);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    helper::CancelAll();
    worker.join();
    EXPECT_EQ(outcome, helper::CallOutcome::Cancelled);
}

TEST_F(HelperProcessTest, CallsFromSeveralThreadsAreServedInTurn)
{
    const QString file = Write(QStringLiteral("ok.tsp"), TestPicture(4, 4));
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                helper::Message reply;
                const helper::CallOutcome outcome = GetPicture(TestFormatPlugin(), file, reply);
                if (outcome == helper::CallOutcome::Replied && reply.IntOr(ORV_F_RESULT, -1) == 0
                    && reply.Find(ORV_F_BITMAP_INFO))
                    ++good;
                else
                    ADD_FAILURE() << int(outcome) << " " << m_client.LastFailure().toStdString();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good.load(), 40);
    EXPECT_EQ(m_client.StartCount(), 1) << m_client.LastFailure().toStdString();
}

TEST_F(HelperProcessTest, MissingHelperProgramMakesCallsUnavailable)
{
    helper::SetHelperProgram(m_dir.filePath(QStringLiteral("no-such-helper")));
    helper::Message reply;
    EXPECT_EQ(GetPicture(TestFormatPlugin(), Write(QStringLiteral("ok.tsp"), TestPicture(1, 1)), reply),
              helper::CallOutcome::Unavailable);
    EXPECT_FALSE(m_client.LastFailure().isEmpty());
}

TEST(SharedMemoryTest, SealedObjectsAreSharedUntilWrittenOthersCopiedIn)
{
    constexpr std::size_t kSize = 3 * 4096;
    for (const bool sealed : {false, true}) {
        const int fd = platform::CreateSharedMemory("orvanto-test", kSize);
        ASSERT_GE(fd, 0);
        platform::SharedMapping sender;
        ASSERT_TRUE(sender.Map(fd, kSize, true));
        std::memset(sender.Data(), 'a', kSize);
        if (sealed)
            ASSERT_TRUE(platform::SealSharedMemorySize(fd));
        EXPECT_EQ(platform::SharedMemorySizeSealed(fd), sealed);

        platform::SharedMapping receiver;
        ASSERT_TRUE(receiver.MapPrivate(fd, kSize));
        auto* bytes = static_cast<char*>(receiver.Data());
        EXPECT_EQ(bytes[kSize - 1], 'a');
        bytes[0] = 'b'; // the receiver's changes stay its own
        EXPECT_EQ(static_cast<const char*>(sender.Data())[0], 'a');
        // Only a sealed object is sure to keep its pages under the mapping.
        sender.Unmap();
        if (sealed) {
            EXPECT_NE(::ftruncate(fd, 0), 0);
            EXPECT_EQ(bytes[kSize - 1], 'a');
            EXPECT_EQ(bytes[0], 'b');
        }

        // A frame's shared memory is mapped only when sealed.
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        helper::MessageBuilder frame(ORV_MSG_REPLY, 1);
        frame.Shm(ORV_F_BITMAP_BITS_SHM, fd, kSize);
        ASSERT_TRUE(frame.Send(pair[0]));
        helper::Message received;
        std::string why;
        ASSERT_TRUE(received.Receive(pair[1], why));
        platform::SharedMapping mapped;
        EXPECT_EQ(received.MapShm(ORV_F_BITMAP_BITS_SHM, mapped, true), sealed);
        EXPECT_EQ(received.MapShm(ORV_F_BITMAP_BITS_SHM, mapped), sealed);
        platform::CloseDescriptor(pair[0]);
        platform::CloseDescriptor(pair[1]);
        platform::CloseDescriptor(fd);
    }
}

TEST(FaultNoticesTest, EachSubjectIsToldOncePerSession)
{
    helper::FaultNotices::ResetForTesting();
    QStringList told;
    helper::FaultNotices::SetSink([&](const QString& text) { told << text; });
    EXPECT_TRUE(helper::FaultNotices::Report(QStringLiteral("spi:/a.spi"), QStringLiteral("a failed")));
    EXPECT_FALSE(helper::FaultNotices::Report(QStringLiteral("spi:/a.spi"), QStringLiteral("a failed again")));
    EXPECT_TRUE(helper::FaultNotices::Report(QStringLiteral("arc:/b.cab"), QStringLiteral("b damaged")));
    EXPECT_EQ(told, (QStringList{QStringLiteral("a failed"), QStringLiteral("b damaged")}));
    helper::FaultNotices::SetSink({});
    helper::FaultNotices::ResetForTesting();
}

} // namespace
