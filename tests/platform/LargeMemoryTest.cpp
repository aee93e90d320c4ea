// Large blocks kept for reuse, and whole files read into them.
#include "platform/Files.h"
#include "platform/LargeMemory.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using platform::LargeBlock;

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;

struct FreshPool {
    FreshPool() { platform::DropSpareLargeBlocks(); }
    ~FreshPool() { platform::DropSpareLargeBlocks(); }
};

} // namespace

TEST(LargeMemory, ReturnedBlocksAreReusedForLikeSizesOnly)
{
    FreshPool fresh;
    char* first = nullptr;
    {
        LargeBlock block(6 * kMiB + 123);
        ASSERT_FALSE(block.empty());
        EXPECT_GE(block.size(), 6 * kMiB + 123);
        std::memset(block.data(), 0x5A, block.size()); // all of it is usable
        first = block.data();
    }
    EXPECT_GE(platform::SpareLargeBlockBytes(), 6 * kMiB);

    // Much smaller: taking the spare block would keep its extra pages
    // resident for nothing.
    LargeBlock small(2 * kMiB);
    EXPECT_NE(small.data(), first);
    // Slightly smaller: the spare block serves it, with its own size.
    LargeBlock again(6 * kMiB);
    EXPECT_EQ(again.data(), first);
    EXPECT_GE(again.size(), 6 * kMiB + 123);
    EXPECT_EQ(again.data()[6 * kMiB - 1], 0x5A) << "a reused block keeps what was there";
    EXPECT_EQ(platform::SpareLargeBlockBytes(), 0u);
}

TEST(LargeMemory, MovedReleasedAndReturnedBlocksGoBackOnceAndSpareStaysBounded)
{
    FreshPool fresh;
    {
        LargeBlock a(3 * kMiB);
        LargeBlock b(std::move(a));
        EXPECT_TRUE(a.empty());
        LargeBlock c;
        c = std::move(b);
        EXPECT_TRUE(b.empty());
        ASSERT_FALSE(c.empty());
        const std::size_t size = c.size();
        char* released = c.release();
        EXPECT_TRUE(c.empty());
        EXPECT_EQ(platform::SpareLargeBlockBytes(), 0u);
        platform::ReturnLargeBlock(released, size);
        EXPECT_EQ(platform::SpareLargeBlockBytes(), size); // once, not three times
    }
    EXPECT_EQ(platform::SpareLargeBlockBytes(), 3 * kMiB);

    // Far more returned than is kept: the oldest go back to the system.
    std::vector<LargeBlock> many;
    for (int i = 0; i < 12; ++i)
        many.emplace_back(7 * kMiB + std::size_t(i) * kMiB);
    many.clear();
    EXPECT_LE(platform::SpareLargeBlockBytes(), platform::kSpareLargeBlockBytes);
    EXPECT_GE(platform::SpareLargeBlockBytes(), platform::kSpareLargeBlockBytes - 19 * kMiB);
    // A block larger than all that is kept is never kept.
    {
        LargeBlock huge(platform::kSpareLargeBlockBytes + kMiB);
    }
    EXPECT_LE(platform::SpareLargeBlockBytes(), platform::kSpareLargeBlockBytes);
    EXPECT_TRUE(LargeBlock(0).empty());

    // Small blocks (a small file read whole) are never kept.
    const std::size_t spare = platform::SpareLargeBlockBytes();
    {
        LargeBlock small(5000);
        ASSERT_FALSE(small.empty());
        std::memset(small.data(), 1, 5000);
    }
    EXPECT_EQ(platform::SpareLargeBlockBytes(), spare);
}

TEST(LargeMemory, ThreadsTakingAndReturningBlocksNeverShareOne)
{
    FreshPool fresh;
    std::atomic<int> corrupted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &corrupted] {
            for (int round = 0; round < 40; ++round) {
                LargeBlock block((1 + std::size_t((t + round) % 3)) * kMiB);
                if (block.empty()) {
                    ++corrupted;
                    return;
                }
                const char mark = char('A' + t);
                std::memset(block.data(), mark, block.size());
                std::this_thread::yield();
                for (std::size_t i = 0; i < block.size(); i += 4096)
                    if (block.data()[i] != mark)
                        ++corrupted;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(corrupted.load(), 0);
}

TEST(LargeMemory, WholeFileReadIntoABlock)
{
    FreshPool fresh;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("写真.jpg"));
    QByteArray bytes(3 * int(kMiB) + 17, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + (i >> 12));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    LargeBlock block;
    qint64 size = -1;
    ASSERT_EQ(platform::ReadWholeFile(path, qint64(1) << 30, &block, &size), platform::ReadStatus::Ok);
    ASSERT_EQ(size, bytes.size());
    EXPECT_EQ(std::memcmp(block.data(), bytes.constData(), std::size_t(size)), 0);

    EXPECT_EQ(platform::ReadWholeFile(path, bytes.size() - 1, &block, &size), platform::ReadStatus::TooLarge);
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(platform::ReadWholeFile(dir.filePath(QStringLiteral("無い.jpg")), 1 << 30, &block, &size),
              platform::ReadStatus::CannotOpen);
    EXPECT_EQ(platform::ReadWholeFile(dir.path(), 1 << 30, &block, &size), platform::ReadStatus::CannotOpen);

    const QString empty = dir.filePath(QStringLiteral("empty.jpg"));
    QFile(empty).open(QIODevice::WriteOnly);
    ASSERT_EQ(platform::ReadWholeFile(empty, 1 << 30, &block, &size), platform::ReadStatus::Ok);
    EXPECT_EQ(size, 0);
}

TEST(LargeMemory, FileLongerThanItsMeasuredSizeIsReadToItsEndWithinTheLimit)
{
    // A pipe measures 0 bytes and then delivers far more: the block grows
    // as the reading goes on, and the limit still holds.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::size_t total = 5 * kMiB + 3;
    auto writeInto = [&](const QString& path) {
        return std::thread([path, total] {
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly))
                return;
            std::vector<char> chunk(64 * 1024);
            for (std::size_t done = 0; done < total;) {
                const std::size_t n = std::min(chunk.size(), total - done);
                for (std::size_t i = 0; i < n; ++i)
                    chunk[i] = char((done + i) % 251);
                if (out.write(chunk.data(), qint64(n)) != qint64(n))
                    return; // the reader stopped early
                done += n;
            }
        });
    };
    LargeBlock block;
    qint64 size = 0;
    std::thread writer = writeInto(fifo);
    ASSERT_EQ(platform::ReadWholeFile(fifo, qint64(1) << 30, &block, &size), platform::ReadStatus::Ok);
    writer.join();
    ASSERT_EQ(size, qint64(total));
    for (std::size_t i = 0; i < total; i += 4099)
        ASSERT_EQ(block.data()[i], char(i % 251)) << i;

    // The writer finds the pipe closed once the reader has had enough.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    writer = writeInto(fifo);
    EXPECT_EQ(platform::ReadWholeFile(fifo, qint64(2 * kMiB), &block, &size), platform::ReadStatus::TooLarge);
    EXPECT_TRUE(block.empty());
    writer.join();
    ::sigaction(SIGPIPE, &previous, nullptr);
}
