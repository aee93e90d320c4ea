// The archive component running the archiver libraries in the helper: the
// same files as in the program, a library that crashes, hangs or eats memory
// costing only its archive (no partial files, one message), and one opening
// of nested archives sharing one budget and a limited depth.
#include "archive/ArchiveOpening.h"
#include "archive/ArchiverAbi.h"
#include "helper/HelperClient.h"
#include "platform/DynamicLibrary.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>

namespace {

bool HaveZip()
{
    return !QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty();
}

// Files below a folder (relative path -> content), hidden ones included.
QMap<QString, QByteArray> FilesBelow(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        QFile file(it.filePath());
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(folder).relativeFilePath(it.filePath()), file.readAll());
    }
    return files;
}

// gzip of data fed in pieces; the pieces need not be in memory at once.
class GzipWriter {
public:
    GzipWriter() { deflateInit2(&m_z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY); }
    ~GzipWriter() { deflateEnd(&m_z); }
    void Add(const QByteArray& data) { Run(data, Z_NO_FLUSH); }
    QByteArray Finish()
    {
        Run(QByteArray(), Z_FINISH);
        return m_out;
    }

private:
    void Run(const QByteArray& data, int flush)
    {
        m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
        m_z.avail_in = uInt(data.size());
        char buffer[65536];
        int rc;
        do {
            m_z.next_out = reinterpret_cast<Bytef*>(buffer);
            m_z.avail_out = sizeof buffer;
            rc = deflate(&m_z, flush);
            m_out.append(buffer, int(sizeof buffer - m_z.avail_out));
        } while (m_z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    }

    z_stream m_z{};
    QByteArray m_out;
};

QByteArray Gzip(const QByteArray& data)
{
    GzipWriter writer;
    writer.Add(data);
    return writer.Finish();
}

// A gzip file of a few kilobytes that unpacks to `mebibytes` MiB of one
// letter (zeros would read as an empty tar): a gzip member of 1 MiB of it,
// repeated (gzip readers go on through members written one after another),
// gzipped twice more. The reading library undoes all three layers in one
// stream.
QByteArray GzipBomb(int mebibytes)
{
    const QByteArray member = Gzip(QByteArray(1 << 20, 'Z'));
    GzipWriter second;
    QByteArray run;
    for (int i = 0; i < 64; ++i)
        run += member;
    for (int i = 0; i < mebibytes / 64; ++i)
        second.Add(run);
    return Gzip(second.Finish());
}

// A ustar header of a hard link entry (links are never extracted).
QByteArray HardLinkHeader(const QByteArray& name, const QByteArray& target)
{
    QByteArray header(512, '\0');
    auto put = [&header](int at, const QByteArray& field) { header.replace(at, field.size(), field); };
    put(0, name);
    put(100, "0000644");
    put(108, "0000000");
    put(116, "0000000");
    put(124, "00000000000");
    put(136, "14707000000");
    put(148, "        ");
    header[156] = '1';
    put(157, target);
    put(257, QByteArray("ustar\0"
                        "00",
                        8));
    unsigned sum = 0;
    for (char c : header)
        sum += static_cast<unsigned char>(c);
    put(148, QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
    return header;
}

// A .tar.gz of a few kilobytes: a hard link entry, then 64 GiB of one
// letter and no other header. The reading library searches the blocks for
// the next header, inflating gigabytes without writing or reading a file
// (a tar reader skips damaged headers and goes on), and shows no sign of
// life while it does.
QByteArray TarGzSearchingForAHeader()
{
    const qint64 mebibyte = 1 << 20;
    const QByteArray member = Gzip(QByteArray(mebibyte, 'Z'));
    GzipWriter second;
    second.Add(Gzip(HardLinkHeader("link", "target") + QByteArray(mebibyte - 512, 'Z')));
    QByteArray run;
    for (int i = 0; i < 64; ++i)
        run += member;
    for (int i = 0; i < 1024; ++i)
        second.Add(run);
    return Gzip(second.Finish());
}

class ArchiveIsolationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
        helper::SetIsolation(true);
        // The misbehaving library stands in for the BGA library; the real
        // ones are found in the program folder after it. Anything else in
        // its folder would shadow a real library.
        ASSERT_EQ(QDir(QStringLiteral(HOSTILE_ARC_DIR)).entryList(QDir::Files).join(QLatin1Char(' ')).toStdString(),
                  "libbga32.so");
        platform::AddLibrarySearchFolder(QStringLiteral(HOSTILE_ARC_DIR));
        platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
        helper::FaultNotices::ResetForTesting();
        helper::FaultNotices::SetSink([this](const QString& text) { m_told << text; });
        helper::HelperClient::Archivers().SetSilenceLimitMs(1500);
    }
    void TearDown() override
    {
        if (m_lowered)
            helper::HelperClient::Archivers().SetLimits(m_savedLimits);
        helper::HelperClient::Archivers().SetSilenceLimitMs(ORV_HELPER_SILENCE_LIMIT_SECONDS * 1000);
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
    // Runs zip in the folder: zip <archive> <names...>.
    bool Zip(const QString& archive, const QStringList& names, const QString& folder) const
    {
        QProcess zip;
        zip.setWorkingDirectory(folder);
        zip.start(QStringLiteral("zip"), QStringList{QStringLiteral("-q"), archive} + names);
        return zip.waitForFinished(30000) && zip.exitCode() == 0;
    }

    // Lower resource limits for the archiver helper, until the test ends.
    void LowerLimits(const std::function<void(platform::ChildLimits&)>& change)
    {
        helper::HelperClient& client = helper::HelperClient::Archivers();
        if (!m_lowered)
            m_savedLimits = client.Limits();
        m_lowered = true;
        platform::ChildLimits limits = m_savedLimits;
        change(limits);
        client.SetLimits(limits);
    }

    QTemporaryDir m_dir;
    QStringList m_told;
    bool m_lowered = false;
    platform::ChildLimits m_savedLimits;
};

TEST_F(ArchiveIsolationTest, ArchivesUnpackThroughTheHelperAsInTheProgram)
{
    if (!HaveZip())
        GTEST_SKIP() << "zip is not installed";
    const QString in = Folder(QStringLiteral("in"));
    Write(QStringLiteral("in/a.txt"), "alpha");
    Write(QStringLiteral("in/b.bin"), QByteArray(200000, 'b'));
    ASSERT_TRUE(Zip(Path(QStringLiteral("x.zip")), {QStringLiteral("a.txt"), QStringLiteral("b.bin")}, in));

    TArchiveOpening opening;
    const auto result = opening.Unpack(Path(QStringLiteral("x.zip")), Folder(QStringLiteral("out")), 0, 0);
    EXPECT_EQ(result.code, 0) << result.message.toStdString();
    EXPECT_TRUE(result.unpacked);
    const auto files = FilesBelow(Path(QStringLiteral("out")));
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files.value(QStringLiteral("a.txt")), QByteArray("alpha"));
    EXPECT_EQ(files.value(QStringLiteral("b.bin")), QByteArray(200000, 'b'));
    EXPECT_GT(helper::HelperClient::Archivers().ProcessId(), 0);
    EXPECT_TRUE(m_told.isEmpty());
    EXPECT_EQ(opening.FilesLeft(), TArchiveOpening::FileBudget - 2);
}

TEST_F(ArchiveIsolationTest, CrashingHangingAndEatingLibrariesCostOnlyTheirArchive)
{
    struct Case {
        const char* name;
        const char* mark;
        const char* reasons; // what the message may say happened, '|' between
    };
    for (const Case& c : {Case{"crash.gza", "CRSH", "SIGSEGV"}, Case{"hang.gza", "HANG", "応答がない"},
                          Case{"eat.gza", "EATM", "SIG|応答がない"}}) {
        const QString archive = Write(QString::fromLatin1(c.name), QByteArray(c.mark) + QByteArray(60, 'x'));
        const QString out = Folder(QStringLiteral("out-") + QString::fromLatin1(c.name));
        TArchiveOpening opening;
        const auto result = opening.Unpack(archive, out, 0, 0);
        EXPECT_EQ(result.code, ARC_ERROR_HELPER_FAILED) << c.name;
        EXPECT_FALSE(result.unpacked) << c.name;
        // The crashing one wrote a partial file before it died: removed.
        EXPECT_TRUE(FilesBelow(out).isEmpty()) << c.name;
        EXPECT_TRUE(result.message.contains(QString::fromLatin1(c.name))) << result.message.toStdString();
        // The message says what happened to the helper (the eater is ended
        // by the memory limit, or by the watchdog while it fills memory).
        const QStringList reasons = QString::fromUtf8(c.reasons).split(QLatin1Char('|'));
        EXPECT_TRUE(std::any_of(reasons.begin(), reasons.end(), [&](const QString& reason) {
            return result.message.contains(reason);
        })) << result.message.toStdString();
    }
    EXPECT_EQ(m_told.size(), 3);
    // The same archive again: no second message.
    TArchiveOpening again;
    again.Unpack(Path(QStringLiteral("crash.gza")), Folder(QStringLiteral("again")), 0, 0);
    EXPECT_EQ(m_told.size(), 3);

    // The helper is started anew for the next archive, which unpacks.
    if (!HaveZip())
        return;
    Write(QStringLiteral("p.txt"), "after");
    ASSERT_TRUE(Zip(Path(QStringLiteral("ok.zip")), {QStringLiteral("p.txt")}, m_dir.path()));
    TArchiveOpening opening;
    EXPECT_EQ(opening.Unpack(Path(QStringLiteral("ok.zip")), Folder(QStringLiteral("ok")), 0, 0).code, 0);
    EXPECT_EQ(FilesBelow(Path(QStringLiteral("ok"))).value(QStringLiteral("p.txt")), QByteArray("after"));
}

TEST_F(ArchiveIsolationTest, GzipThatGrowsWithoutBoundIsStoppedAndLeavesNothing)
{
    // 64 GiB from a file of a few kilobytes.
    const QString archive = Write(QStringLiteral("zeros.gz"), GzipBomb(64 << 10));
    ASSERT_LT(QFileInfo(archive).size(), 4096);

    // The opening's budget stops the library: told once, no partial file.
    {
        TArchiveOpening opening(32 << 20, 100);
        const QString out = Folder(QStringLiteral("budget"));
        const auto result = opening.Unpack(archive, out, 0, 0);
        EXPECT_EQ(result.code, ARC_ERROR_SIZE_BUDGET) << result.output.toStdString();
        EXPECT_FALSE(result.unpacked);
        EXPECT_TRUE(FilesBelow(out).isEmpty());
        ASSERT_EQ(m_told.size(), 1);
        EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("zeros.gz"))) << m_told.at(0).toStdString();
    }

    // Past the library's own count, the helper's file size limit ends it;
    // the program goes on and the next archive unpacks.
    m_told.clear();
    helper::HelperClient& client = helper::HelperClient::Archivers();
    LowerLimits([](platform::ChildLimits& limits) { limits.fileSizeBytes = 16 << 20; });
    const int starts = client.StartCount();
    {
        TArchiveOpening opening;
        const QString out = Folder(QStringLiteral("limit"));
        const auto result = opening.Unpack(archive, out, 0, 0);
        EXPECT_EQ(result.code, ARC_ERROR_HELPER_FAILED) << result.output.toStdString();
        EXPECT_FALSE(result.unpacked);
        EXPECT_TRUE(FilesBelow(out).isEmpty());
        ASSERT_EQ(m_told.size(), 1);
        EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("zeros.gz")));
        EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("SIGXFSZ"))) << m_told.at(0).toStdString();
    }
    if (!HaveZip())
        return;
    Write(QStringLiteral("p.txt"), "after");
    ASSERT_TRUE(Zip(Path(QStringLiteral("ok.zip")), {QStringLiteral("p.txt")}, m_dir.path()));
    TArchiveOpening next;
    EXPECT_EQ(next.Unpack(Path(QStringLiteral("ok.zip")), Folder(QStringLiteral("ok")), 0, 0).code, 0);
    EXPECT_EQ(FilesBelow(Path(QStringLiteral("ok"))).value(QStringLiteral("p.txt")), QByteArray("after"));
    EXPECT_GT(client.StartCount(), starts + 1) << "a new helper serves the next archive";
}

TEST_F(ArchiveIsolationTest, LibrarySpinningOnATinyArchiveIsEndedByTheWatchdog)
{
    const QString archive = Write(QStringLiteral("links.tar.gz"), TarGzSearchingForAHeader());
    ASSERT_LT(QFileInfo(archive).size(), 64 * 1024);
    const QString out = Folder(QStringLiteral("out"));
    helper::HelperClient& client = helper::HelperClient::Archivers();
    const int starts = client.StartCount();
    TArchiveOpening opening;
    const auto result = opening.Unpack(archive, out, 0, 0);
    EXPECT_EQ(result.code, ARC_ERROR_HELPER_FAILED) << result.output.toStdString();
    EXPECT_FALSE(result.unpacked);
    EXPECT_TRUE(FilesBelow(out).isEmpty());
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("links.tar.gz")));
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("応答がない"))) << m_told.at(0).toStdString();
    // The whole budget is still there, and the next archive unpacks in a
    // new helper.
    EXPECT_EQ(opening.BytesLeft(), TArchiveOpening::ByteBudget);
    if (!HaveZip())
        return;
    Write(QStringLiteral("p.txt"), "after");
    ASSERT_TRUE(Zip(Path(QStringLiteral("ok.zip")), {QStringLiteral("p.txt")}, m_dir.path()));
    EXPECT_EQ(opening.Unpack(Path(QStringLiteral("ok.zip")), Folder(QStringLiteral("ok")), 1, 0).code, 0);
    EXPECT_EQ(FilesBelow(Path(QStringLiteral("ok"))).value(QStringLiteral("p.txt")), QByteArray("after"));
    EXPECT_GT(client.StartCount(), starts + 1);
}

// A 162-byte RAR 5 file (tests/data/make_rar5_shrinking_dictionary.py) on
// which Debian 12's libarchive never returns from archive_read_data: the
// real RAR library in the helper is ended by the watchdog, nothing of the
// entry is left, one message names the archive, and a picture in the next
// archive unpacks whole.
TEST_F(ArchiveIsolationTest, RarOnWhichTheReadingLibraryNeverReturnsIsEndedByTheWatchdog)
{
    QFile sample(QStringLiteral(ORVANTO_TEST_DATA "/archives/rar5-dictionary-shrinks-mid-file.rar"));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    const QString archive = Write(QStringLiteral("spin.rar"), sample.readAll());
    ASSERT_LT(QFileInfo(archive).size(), 200);
    // The library spins without end at full CPU; a CPU limit far above the
    // watchdog's 1.5 s of silence keeps the run short should the watchdog
    // miss it (the message would then name SIGXCPU).
    LowerLimits([](platform::ChildLimits& limits) { limits.cpuSeconds = 20; });
    helper::HelperClient& client = helper::HelperClient::Archivers();
    const int starts = client.StartCount();
    const QString out = Folder(QStringLiteral("out"));
    TArchiveOpening opening;
    const auto result = opening.Unpack(archive, out, 0, 0);
    EXPECT_EQ(result.code, ARC_ERROR_HELPER_FAILED) << result.output.toStdString();
    EXPECT_FALSE(result.unpacked);
    EXPECT_TRUE(FilesBelow(out).isEmpty()) << FilesBelow(out).keys().join(QLatin1Char(' ')).toStdString();
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("spin.rar")));
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("応答がない"))) << m_told.at(0).toStdString();

    if (!HaveZip())
        return;
    const QString in = Folder(QStringLiteral("in"));
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 90));
    ASSERT_TRUE(picture.save(in + QStringLiteral("/next.png")));
    ASSERT_TRUE(Zip(Path(QStringLiteral("next.zip")), {QStringLiteral("next.png")}, in));
    const auto next = opening.Unpack(Path(QStringLiteral("next.zip")), Folder(QStringLiteral("next")), 0, 0);
    EXPECT_EQ(next.code, 0) << next.message.toStdString();
    const QImage shown(Path(QStringLiteral("next/next.png")));
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), picture.size());
    EXPECT_EQ(shown.pixel(10, 10), picture.pixel(10, 10));
    EXPECT_GT(client.StartCount(), starts + 1) << "a new helper serves the next archive";
    EXPECT_EQ(m_told.size(), 1);
}

TEST_F(ArchiveIsolationTest, DamagedArchiveIsNamedInAMessage)
{
    // A CAB cut short in its data, made by the real tool.
    if (QStandardPaths::findExecutable(QStringLiteral("gcab")).isEmpty())
        GTEST_SKIP() << "gcab is not installed";
    const QString in = Folder(QStringLiteral("in"));
    QByteArray noise;
    for (int i = 0; i < 30000; ++i)
        noise.append(char((i * 7919) >> 3));
    Write(QStringLiteral("in/a.bin"), noise);
    QProcess gcab;
    gcab.setWorkingDirectory(in);
    gcab.start(QStringLiteral("gcab"),
               {QStringLiteral("-c"), QStringLiteral("-z"), Path(QStringLiteral("d.cab")), QStringLiteral("a.bin")});
    ASSERT_TRUE(gcab.waitForFinished(30000) && gcab.exitCode() == 0);
    QFile cab(Path(QStringLiteral("d.cab")));
    ASSERT_TRUE(cab.open(QIODevice::ReadWrite));
    const QByteArray whole = cab.readAll();
    ASSERT_TRUE(cab.resize(whole.size() / 2));
    cab.close();

    TArchiveOpening opening;
    const auto result = opening.Unpack(Path(QStringLiteral("d.cab")), Folder(QStringLiteral("out")), 0, 0);
    EXPECT_NE(result.code, 0) << result.output.toStdString();
    EXPECT_TRUE(FilesBelow(Path(QStringLiteral("out"))).isEmpty());
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("d.cab")));
}

TEST_F(ArchiveIsolationTest, NestedArchivesShareOneBudgetAndStopAtTheDepthLimit)
{
    if (!HaveZip())
        GTEST_SKIP() << "zip is not installed";
    // level0.zip holds level1.zip, which holds level2.zip ... down to 11.
    const QString build = Folder(QStringLiteral("build"));
    QString inner;
    for (int level = 11; level >= 0; --level) {
        const QString name = QStringLiteral("level%1.zip").arg(level);
        const QString picture = QStringLiteral("p%1.txt").arg(level);
        Write(QStringLiteral("build/") + picture, QByteArray::number(level));
        QStringList names{picture};
        if (!inner.isEmpty())
            names << inner;
        ASSERT_TRUE(Zip(build + QLatin1Char('/') + name, names, build));
        inner = name;
    }
    // Opening as the program does: each archive found in an unpacked folder
    // is unpacked one level deeper, all in one opening.
    TArchiveOpening opening;
    QString archive = build + QStringLiteral("/level0.zip");
    int unpackedLevels = 0;
    for (int depth = 0; depth < 20; ++depth) {
        const QString out = Folder(QStringLiteral("work/%1").arg(depth));
        const auto result = opening.Unpack(archive, out, depth, 0);
        if (!result.unpacked)
            break;
        ++unpackedLevels;
        archive = out + QStringLiteral("/level%1.zip").arg(depth + 1);
    }
    EXPECT_EQ(unpackedLevels, TArchiveOpening::MaxDepth);
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("level8.zip")));

    // A small budget shared by the levels: the third archive uses the last
    // of it and the fourth is refused, told once.
    m_told.clear();
    TArchiveOpening small(1 << 20, 5);
    EXPECT_EQ(small.Unpack(build + QStringLiteral("/level11.zip"), Folder(QStringLiteral("s/0")), 0, 0).code, 0);
    EXPECT_EQ(small.Unpack(build + QStringLiteral("/level10.zip"), Folder(QStringLiteral("s/1")), 1, 0).code, 0);
    EXPECT_EQ(small.FilesLeft(), 2u);
    const auto third = small.Unpack(build + QStringLiteral("/level9.zip"), Folder(QStringLiteral("s/2")), 2, 0);
    EXPECT_EQ(third.code, 0) << "two files fit exactly";
    const auto fourth = small.Unpack(build + QStringLiteral("/level8.zip"), Folder(QStringLiteral("s/3")), 3, 0);
    EXPECT_EQ(fourth.code, ARC_ERROR_SIZE_BUDGET);
    EXPECT_FALSE(fourth.unpacked);
    EXPECT_EQ(m_told.size(), 1);

    // More files than are left: cut short with a message.
    m_told.clear();
    TArchiveOpening tight(1 << 20, 1);
    const auto cut = tight.Unpack(build + QStringLiteral("/level0.zip"), Folder(QStringLiteral("t")), 0, 0);
    EXPECT_EQ(cut.code, ARC_ERROR_TOO_MANY_FILES);
    EXPECT_LE(FilesBelow(Path(QStringLiteral("t"))).size(), 1);
    ASSERT_EQ(m_told.size(), 1);
    EXPECT_TRUE(m_told.at(0).contains(QStringLiteral("level0.zip")));
}

} // namespace
