// Archives that reproduce themselves (tests/data/archives, written by
// scripts/make_gzip_quine.py), opened as the program opens archives, through
// the archiver helper:
// - a gzip file that decompresses to itself, on its own under the names of
//   the tar family and inside tar and ZIP archives, where it is found as an
//   archive one level down. The reading library takes the output of each
//   gzip layer for one more gzip stream and must give up; the opening costs
//   only this file: no files, one message naming it, the helper alive, the
//   budget untouched, the files beside it unpacked;
// - a gzipped tar archive holding itself, which unpacks again at every level
//   until the depth limit, and one holding itself ten times, which grows
//   tenfold a level until the shared budget: each limit told once.
#include "archive/ArchiveOpening.h"
#include "archive/ArchiverAbi.h"
#include "helper/HelperClient.h"
#include "platform/DynamicLibrary.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString kQuine = QStringLiteral(ORVANTO_TEST_DATA "/archives/gzip-quine.gz");
// A gzipped tar archive whose one entry, tar-quine.tar.gz, is the archive
// itself: archives inside archives without end.
const QString kTarQuine = QStringLiteral(ORVANTO_TEST_DATA "/archives/tar-quine.tar.gz");
// One that holds itself ten times, under ten names: 10^8 files eight levels
// down.
const QString kTarQuineX10 = QStringLiteral(ORVANTO_TEST_DATA "/archives/tar-quine-x10.tar.gz");

// Inflates one gzip member with zlib, which checks the CRC-32 and the size
// in the trailer; empty when the stream or its trailer is wrong.
QByteArray Gunzip(const QByteArray& data)
{
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK)
        return {};
    QByteArray out;
    char buffer[4096];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    int rc;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, int(sizeof buffer - z.avail_out));
    } while (rc == Z_OK && out.size() < (1 << 20));
    const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return whole ? out : QByteArray();
}

// Files and folders below a folder (relative path -> content, "" for a
// folder), hidden ones included.
QMap<QString, QByteArray> EntriesBelow(const QString& folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries.insert(QDir(folder).relativeFilePath(it.filePath()),
                       it.fileInfo().isDir() ? QByteArray() : ReadAll(it.filePath()));
    }
    return entries;
}

class ArchiveQuineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_quine = ReadAll(kQuine);
        ASSERT_FALSE(m_quine.isEmpty()) << kQuine.toStdString();
        helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
        helper::SetIsolation(true);
        platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
        helper::FaultNotices::ResetForTesting();
        helper::FaultNotices::SetSink([this](const QString& text) { m_told << text; });
    }
    void TearDown() override
    {
        helper::FaultNotices::SetSink({});
        helper::SetIsolation(false);
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Folder(const QString& name) const
    {
        QDir().mkpath(Path(name));
        return Path(name);
    }
    QString Write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    // Runs a tool in a folder; false when it fails.
    static bool Run(const QString& tool, const QStringList& args, const QString& folder)
    {
        QProcess process;
        process.setWorkingDirectory(folder);
        process.start(tool, args);
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }
    static bool Have(const char* tool) { return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(); }

    // The quine opened on its own is refused: nothing written, one message
    // naming it, the helper that read it still the same process.
    void ExpectRefused(TArchiveOpening& opening, const QString& archive, int depth)
    {
        helper::HelperClient& client = helper::HelperClient::Archivers();
        const int starts = client.StartCount();
        const int running = client.ProcessId(); // -1: started by this call
        const std::uint64_t bytes = opening.BytesLeft();
        const std::uint64_t files = opening.FilesLeft();
        const QString out = Folder(QStringLiteral("out-%1-%2").arg(depth).arg(QFileInfo(archive).fileName()));
        const int toldBefore = m_told.size();
        const auto result = opening.Unpack(archive, out, depth, 0);
        const std::string name = archive.toStdString();
        EXPECT_NE(result.code, 0) << name;
        EXPECT_NE(result.code, ARC_ERROR_HELPER_FAILED) << name << ": the library gives up by itself";
        EXPECT_FALSE(result.unpacked) << name;
        EXPECT_TRUE(EntriesBelow(out).isEmpty()) << name;
        ASSERT_EQ(m_told.size(), toldBefore + 1) << name;
        EXPECT_TRUE(m_told.last().contains(QFileInfo(archive).fileName())) << m_told.last().toStdString();
        EXPECT_EQ(result.message, m_told.last());
        EXPECT_EQ(client.StartCount(), starts + (running > 0 ? 0 : 1)) << name << ": the helper was not ended";
        if (running > 0) {
            EXPECT_EQ(client.ProcessId(), running);
        }
        EXPECT_EQ(opening.BytesLeft(), bytes);
        EXPECT_EQ(opening.FilesLeft(), files);
    }

    QTemporaryDir m_dir;
    QByteArray m_quine;
    QStringList m_told;
};

TEST_F(ArchiveQuineTest, TheRegressionFileDecompressesToItself)
{
    // zlib checks the CRC-32 and the size in the trailer.
    EXPECT_EQ(Gunzip(m_quine), m_quine);
    EXPECT_EQ(Gunzip(Gunzip(Gunzip(m_quine))), m_quine);
    // The tar one: a ustar header naming the entry and giving its size, the
    // file itself, zeros to the end.
    const QByteArray tarQuine = ReadAll(kTarQuine);
    const QByteArray tar = Gunzip(tarQuine);
    ASSERT_GT(tar.size(), 512 + tarQuine.size());
    EXPECT_EQ(tar.left(17), QByteArray("tar-quine.tar.gz", 17)); // with its NUL
    EXPECT_EQ(tar.mid(257, 6), QByteArray("ustar\0", 6));
    EXPECT_EQ(tar.mid(124, 11).toInt(nullptr, 8), tarQuine.size());
    EXPECT_EQ(tar.mid(512, tarQuine.size()), tarQuine);
    EXPECT_EQ(tar.mid(512 + tarQuine.size()), QByteArray(tar.size() - 512 - tarQuine.size(), '\0'));

    // The script in the repository writes the same files.
    if (!Have("python3"))
        GTEST_SKIP() << "python3 is not installed";
    const QString script = QStringLiteral(ORVANTO_SOURCE_DIR "/scripts/make_gzip_quine.py");
    ASSERT_TRUE(Run(QStringLiteral("python3"), {script, Path(QStringLiteral("new.gz"))}, m_dir.path()));
    EXPECT_EQ(ReadAll(Path(QStringLiteral("new.gz"))), m_quine);
    ASSERT_TRUE(
        Run(QStringLiteral("python3"),
            {script, QStringLiteral("--tar"), QStringLiteral("tar-quine.tar.gz"), Path(QStringLiteral("new.tar.gz"))},
            m_dir.path()));
    EXPECT_EQ(ReadAll(Path(QStringLiteral("new.tar.gz"))), tarQuine);
    ASSERT_TRUE(Run(QStringLiteral("python3"),
                    {script, QStringLiteral("--tar"), QStringLiteral("tar-quine-x10.tar.gz"),
                     QStringLiteral("--copies"), QStringLiteral("10"), Path(QStringLiteral("x10.tar.gz"))},
                    m_dir.path()));
    EXPECT_EQ(ReadAll(Path(QStringLiteral("x10.tar.gz"))), ReadAll(kTarQuineX10));
}

TEST_F(ArchiveQuineTest, QuineOpenedAsAnArchiveIsRefusedAndNamedOnce)
{
    // Under every name that reaches the tar library (.gz, .tgz, .tar.gz, .z),
    // a name for the 7z library (which reads gzip too) and one whose content
    // chooses the library.
    for (const char* name : {"q.gz", "q.tgz", "q.tar.gz", "q.z", "q.7z", "q.cbt"}) {
        const QString archive = Write(QString::fromLatin1(name), m_quine);
        TArchiveOpening opening;
        ExpectRefused(opening, archive, 0);
        // Once a session.
        TArchiveOpening again;
        const auto result = again.Unpack(archive, Folder(QStringLiteral("again")), 0, 0);
        EXPECT_NE(result.code, 0);
    }
    EXPECT_EQ(m_told.size(), 6);
    // The helper goes on with the next archive.
    if (!Have("tar"))
        return;
    Write(QStringLiteral("p.txt"), "after");
    ASSERT_TRUE(Run(QStringLiteral("tar"),
                    {QStringLiteral("-czf"), QStringLiteral("ok.tar.gz"), QStringLiteral("p.txt")}, m_dir.path()));
    TArchiveOpening next;
    EXPECT_EQ(next.Unpack(Path(QStringLiteral("ok.tar.gz")), Folder(QStringLiteral("ok")), 0, 0).code, 0);
    EXPECT_EQ(EntriesBelow(Path(QStringLiteral("ok"))).value(QStringLiteral("p.txt")), QByteArray("after"));
}

TEST_F(ArchiveQuineTest, QuineInsideArchivesCostsOnlyItselfOneLevelDown)
{
    // tar, gzipped tar and ZIP archives made by the real tools, each holding
    // the quine beside a small file.
    const QString in = Folder(QStringLiteral("in"));
    Write(QStringLiteral("in/q.gz"), m_quine);
    Write(QStringLiteral("in/p.txt"), "beside");
    QStringList archives;
    if (Have("tar")) {
        ASSERT_TRUE(
            Run(QStringLiteral("tar"),
                {QStringLiteral("-cf"), Path(QStringLiteral("w.tar")), QStringLiteral("q.gz"), QStringLiteral("p.txt")},
                in));
        ASSERT_TRUE(Run(
            QStringLiteral("tar"),
            {QStringLiteral("-czf"), Path(QStringLiteral("w.tar.gz")), QStringLiteral("q.gz"), QStringLiteral("p.txt")},
            in));
        archives << Path(QStringLiteral("w.tar")) << Path(QStringLiteral("w.tar.gz"));
    }
    if (Have("zip")) {
        ASSERT_TRUE(
            Run(QStringLiteral("zip"),
                {QStringLiteral("-q"), Path(QStringLiteral("w.zip")), QStringLiteral("q.gz"), QStringLiteral("p.txt")},
                in));
        archives << Path(QStringLiteral("w.zip"));
    }
    if (archives.isEmpty())
        GTEST_SKIP() << "neither tar nor zip is installed";
    for (const QString& archive : archives) {
        // As the program opens it: the archive, then each archive found in
        // what it unpacked, one level deeper, in one opening.
        m_told.clear();
        helper::FaultNotices::ResetForTesting();
        TArchiveOpening opening;
        const QString out = Folder(QStringLiteral("work/") + QFileInfo(archive).fileName());
        const auto outer = opening.Unpack(archive, out, 0, 0);
        EXPECT_EQ(outer.code, 0) << archive.toStdString() << outer.output.toStdString();
        EXPECT_TRUE(outer.unpacked);
        const auto unpacked = EntriesBelow(out);
        ASSERT_EQ(unpacked.size(), 2) << archive.toStdString();
        EXPECT_EQ(unpacked.value(QStringLiteral("q.gz")), m_quine);
        EXPECT_EQ(unpacked.value(QStringLiteral("p.txt")), QByteArray("beside"));
        EXPECT_EQ(opening.FilesLeft(), TArchiveOpening::FileBudget - 2);
        EXPECT_TRUE(m_told.isEmpty());

        ExpectRefused(opening, out + QStringLiteral("/q.gz"), 1);
        EXPECT_EQ(EntriesBelow(out), unpacked) << "the files beside it stay as they were";
    }
}

TEST_F(ArchiveQuineTest, ArchiveHoldingItselfStopsAtTheDepthLimit)
{
    // As the program opens it: each level unpacks the same archive again,
    // one level deeper, all in one opening.
    const QByteArray tarQuine = ReadAll(kTarQuine);
    TArchiveOpening opening;
    QString archive = kTarQuine;
    int levels = 0;
    for (int depth = 0; depth < 3 * TArchiveOpening::MaxDepth; ++depth) {
        const QString out = Folder(QStringLiteral("work/%1").arg(depth));
        const auto result = opening.Unpack(archive, out, depth, 0);
        if (!result.unpacked) {
            EXPECT_EQ(depth, TArchiveOpening::MaxDepth);
            EXPECT_NE(result.code, 0);
            EXPECT_TRUE(EntriesBelow(out).isEmpty());
            break;
        }
        EXPECT_EQ(result.code, 0) << result.output.toStdString();
        const auto unpacked = EntriesBelow(out);
        EXPECT_EQ(unpacked.keys(), QStringList{QStringLiteral("tar-quine.tar.gz")});
        EXPECT_EQ(unpacked.value(QStringLiteral("tar-quine.tar.gz")), tarQuine);
        archive = out + QStringLiteral("/tar-quine.tar.gz");
        ++levels;
    }
    EXPECT_EQ(levels, TArchiveOpening::MaxDepth);
    // One message, naming the archive and the limit.
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("tar-quine.tar.gz"))) << m_told.at(0).toStdString();
    EXPECT_TRUE(m_told.at(0).contains(QString::number(TArchiveOpening::MaxDepth))) << m_told.at(0).toStdString();
    // The levels shared one budget: one file each.
    EXPECT_EQ(opening.FilesLeft(), TArchiveOpening::FileBudget - TArchiveOpening::MaxDepth);
    EXPECT_EQ(opening.BytesLeft(), TArchiveOpening::ByteBudget - TArchiveOpening::MaxDepth * tarQuine.size());

    // With a budget of five files the sixth level is refused instead.
    m_told.clear();
    helper::FaultNotices::ResetForTesting();
    TArchiveOpening small(1 << 20, 5);
    archive = kTarQuine;
    levels = 0;
    for (int depth = 0; depth < TArchiveOpening::MaxDepth; ++depth) {
        const QString out = Folder(QStringLiteral("small/%1").arg(depth));
        const auto result = small.Unpack(archive, out, depth, 0);
        if (!result.unpacked) {
            EXPECT_EQ(result.code, ARC_ERROR_SIZE_BUDGET);
            break;
        }
        archive = out + QStringLiteral("/tar-quine.tar.gz");
        ++levels;
    }
    EXPECT_EQ(levels, 5);
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("tar-quine.tar.gz")));
}

TEST_F(ArchiveQuineTest, ArchivesMultiplyingThemselvesAreToldOncePerOpening)
{
    // As the program opens an archive: every archive found in an unpacked
    // folder is unpacked one level deeper, all in one opening.
    struct Count {
        int unpacked = 0;
        std::vector<std::int32_t> refused; // the codes
    };
    int folders = 0;
    auto open = [&](TArchiveOpening& opening, const QString& archive) {
        Count count;
        std::vector<std::pair<QString, int>> queue{{archive, 0}};
        for (std::size_t next = 0; next < queue.size(); ++next) {
            const auto [path, depth] = queue[next];
            const QString out = Folder(QStringLiteral("work/%1").arg(folders++));
            const auto result = opening.Unpack(path, out, depth, 0);
            if (!result.unpacked) {
                EXPECT_TRUE(EntriesBelow(out).isEmpty());
                count.refused.push_back(result.code);
                continue;
            }
            EXPECT_EQ(result.code, 0) << result.output.toStdString();
            ++count.unpacked;
            const auto entries = EntriesBelow(out);
            for (auto it = entries.begin(); it != entries.end(); ++it)
                queue.push_back({out + QLatin1Char('/') + it.key(), depth + 1});
        }
        return count;
    };

    // Ten copies of itself: the budget (here 1,000 files) ends it. 10 + 100
    // files, then 89 archives of the third level fill it; the other 11 and
    // the 890 archives found in what was unpacked are refused.
    const QByteArray x10 = ReadAll(kTarQuineX10);
    {
        TArchiveOpening opening(4ull << 30, 1000);
        const Count count = open(opening, kTarQuineX10);
        EXPECT_EQ(count.unpacked, 1 + 10 + 89);
        EXPECT_EQ(count.refused.size(), 11u + 890u);
        EXPECT_EQ(std::count(count.refused.begin(), count.refused.end(), ARC_ERROR_SIZE_BUDGET),
                  std::ptrdiff_t(count.refused.size()));
        EXPECT_EQ(opening.FilesLeft(), 0u);
        EXPECT_EQ(opening.BytesLeft(), (4ull << 30) - 1000 * x10.size());
        // One message for the opening, not one for each archive refused.
        ASSERT_EQ(m_told.size(), 1) << m_told.join(QLatin1Char('\n')).left(300).toStdString();
        EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("tar-quine-x10-"))) << m_told.at(0).toStdString();
        EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("10,000"))) << "the program's budget is named";
    }

    // Two copies of the archive holding itself in one tar: two chains
    // stopped at the depth limit, one message.
    if (!Have("tar"))
        return;
    const QString in = Folder(QStringLiteral("in"));
    ASSERT_TRUE(QFile::copy(kTarQuine, in + QStringLiteral("/a.tar.gz")));
    ASSERT_TRUE(QFile::copy(kTarQuine, in + QStringLiteral("/b.tar.gz")));
    ASSERT_TRUE(Run(QStringLiteral("tar"),
                    {QStringLiteral("-cf"), Path(QStringLiteral("two.tar")), QStringLiteral("a.tar.gz"),
                     QStringLiteral("b.tar.gz")},
                    in));
    m_told.clear();
    TArchiveOpening opening;
    const Count count = open(opening, Path(QStringLiteral("two.tar")));
    EXPECT_EQ(count.unpacked, 1 + 2 * (TArchiveOpening::MaxDepth - 1));
    EXPECT_EQ(count.refused, (std::vector<std::int32_t>{ARC_ERROR_NOT_SUPPORT, ARC_ERROR_NOT_SUPPORT}));
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("tar-quine.tar.gz"))) << m_told.at(0).toStdString();
}

} // namespace
