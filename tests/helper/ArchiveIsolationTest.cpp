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
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

class ArchiveIsolationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
        helper::SetIsolation(true);
        // The misbehaving library stands in for the BGA library; the real
        // ones are found in the program folder after it.
        platform::AddLibrarySearchFolder(QStringLiteral(HOSTILE_ARC_DIR));
        platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
        helper::FaultNotices::ResetForTesting();
        helper::FaultNotices::SetSink([this](const QString& text) { m_told << text; });
        helper::HelperClient::Archivers().SetSilenceLimitMs(1500);
    }
    void TearDown() override
    {
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

    QTemporaryDir m_dir;
    QStringList m_told;
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
    };
    for (const Case& c : {Case{"crash.gza", "CRSH"}, Case{"hang.gza", "HANG"}, Case{"eat.gza", "EATM"}}) {
        const QString archive = Write(QString::fromLatin1(c.name), QByteArray(c.mark) + QByteArray(60, 'x'));
        const QString out = Folder(QStringLiteral("out-") + QString::fromLatin1(c.name));
        TArchiveOpening opening;
        const auto result = opening.Unpack(archive, out, 0, 0);
        EXPECT_EQ(result.code, ARC_ERROR_HELPER_FAILED) << c.name;
        EXPECT_FALSE(result.unpacked) << c.name;
        // The crashing one wrote a partial file before it died: removed.
        EXPECT_TRUE(FilesBelow(out).isEmpty()) << c.name;
        EXPECT_TRUE(result.message.contains(QString::fromLatin1(c.name))) << result.message.toStdString();
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
    gcab.start(QStringLiteral("gcab"), {QStringLiteral("-c"), QStringLiteral("-z"), Path(QStringLiteral("d.cab")),
                                        QStringLiteral("a.bin")});
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
