// Extraction of archives made by the real tools (zip, jlha, arj, gcab, tar,
// 7z) through the archive component and the project's archiver libraries in
// the program folder.
#include "QStringPrinter.h"
#include "archive/ArchiveFile.h"
#include "archive/ArchiverErrors.h"
#include "archive/Zip32.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

QString Q(const char* s)
{
    return QString::fromUtf8(s);
}

using Files = std::map<QString, QByteArray>;

int Shell(const QString& folder, const QString& command)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(Q("/bin/sh"), {Q("-c"), command});
    if (!p.waitForFinished(60000))
        return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// A command the shell cannot find (exit status 127: a tool not installed)
// skips the test with that reason.
#define ASSERT_SHELL_OK(folder, command)                                                                               \
    do {                                                                                                               \
        const QString command_ = (command);                                                                            \
        const int status_ = Shell((folder), command_);                                                                 \
        if (status_ == 127)                                                                                            \
            GTEST_SKIP() << "a tool this test needs is not installed: " << command_.toStdString();                     \
        ASSERT_EQ(status_, 0) << command_.toStdString();                                                               \
    } while (0)

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(data);
}

// Every file below folder by its path relative to it.
Files FilesBelow(const QString& folder)
{
    Files files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            files[QDir(folder).relativeFilePath(path)] = f.readAll();
    }
    return files;
}

QByteArray Bytes(int n, int seed)
{
    QByteArray data;
    data.reserve(n);
    unsigned v = unsigned(seed) * 2654435761u + 1;
    for (int k = 0; k < n; ++k) {
        v = v * 1103515245u + 12345u;
        data.append(char(v >> 24));
    }
    return data;
}

// The repository's own test data (tests/data).
QString TestData()
{
    return QStringLiteral(ORVANTO_TEST_DATA);
}

class Integration : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(Q("src/sub")));
        m_a = Bytes(5000, 1);
        m_b = Bytes(70000, 2);
        m_c = QByteArray(20000, 'c'); // compresses well
        WriteFile(Src(Q("a.jpg")), m_a);
        WriteFile(Src(Q("sub/b.png")), m_b);
        WriteFile(Src(Q("写真.gif")), m_c);
    }

    QString Src(const QString& name) const { return m_dir.filePath(Q("src/") + name); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // Extracts as the viewer does, into a fresh folder.
    Files ViewerExtract(const QString& archive, const QString& folderName, std::int32_t* rc = nullptr)
    {
        const QString dest = Path(folderName);
        EXPECT_TRUE(QDir().mkpath(dest));
        TArchiveFile af;
        af.SetFileName(archive);
        af.Options().x = 0;
        af.Options().c = 1;
        af.Options().jse = 1;
        af.Options().jso = 1;
        const std::int32_t result = af.Extract(0, nullptr, dest, TFileList{TWideTextArray{nullptr}});
        if (rc)
            *rc = result;
        else
            EXPECT_EQ(result, 0) << af.CommandLine().toStdString();
        return FilesBelow(dest);
    }

    Files Flat(bool withJapanese) const
    {
        Files f{{Q("a.jpg"), m_a}, {Q("b.png"), m_b}};
        if (withJapanese)
            f[Q("写真.gif")] = m_c;
        return f;
    }

    QTemporaryDir m_dir;
    QByteArray m_a, m_b, m_c;
};

TEST_F(Integration, EveryFormatMadeByItsToolExtractsFlat)
{
    struct Case {
        const char* archive;
        const char* make;
        TArchiverType type;
        bool japanese;
    } cases[] = {
        {"x.zip", "zip -qr ../x.zip a.jpg sub 写真.gif", atZip, true},
        {"x.lzh", "jlha ao5 ../x.lzh a.jpg sub/b.png", atLha, false},
        {"x.arj", "arj a -m1 -y ../x.arj a.jpg sub/b.png", atArj, false},
        {"x.cab", "gcab -c -z ../x.cab a.jpg sub/b.png", atCab, false},
        {"x.tar", "tar cf ../x.tar a.jpg sub 写真.gif", atTar, true},
        {"x.tgz", "tar czf ../x.tgz a.jpg sub 写真.gif", atTgz, true},
        {"x.tar.bz2", "tar cjf ../x.tar.bz2 a.jpg sub 写真.gif", atBZ2, true},
        {"x.7z", "7z a -bd ../x.7z a.jpg sub 写真.gif > /dev/null", at7z, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        ASSERT_SHELL_OK(Path(Q("src")), Q(c.make));
        const QString archive = Path(Q(c.archive));
        EXPECT_EQ(DetectArchiverType(archive), c.type);
        QString folder = Q(c.archive);
        folder.replace(QLatin1Char('.'), QLatin1Char('_'));
        EXPECT_EQ(ViewerExtract(archive, folder), Flat(c.japanese));
    }
}

TEST_F(Integration, RarWithJapaneseNames)
{
    const QString rar = TestData() + Q("/archives/rar4-japanese-names.rar");
    ASSERT_TRUE(QFile::exists(rar));
    EXPECT_EQ(DetectArchiverType(rar), atRar);
    const Files files = ViewerExtract(rar, Q("rar_out"));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at(Q("新規テキスト ドキュメント.txt")), QByteArray());
    EXPECT_EQ(files.at(Q("漢字長いファイル名long-filename-in-漢字.txt")).size(), 5);

    // A RAR 5 archive holding a ZIP archive is read as RAR.
    const QString rar5 = TestData() + Q("/archives/rar5-zip-inside.rar");
    EXPECT_EQ(DetectArchiverType(rar5), atRar);
    const Files outer = ViewerExtract(rar5, Q("rar5_out"));
    ASSERT_EQ(outer.size(), 2u);
    EXPECT_EQ(outer.at(Q("real_after.txt")), QByteArray("i am a real rar entry"));
    EXPECT_EQ(outer.at(Q("inner.zip")).size(), 165);
}

TEST_F(Integration, SecondExtractionOverwritesAndAnEmptyListMeansEverything)
{
    ASSERT_SHELL_OK(Path(Q("src")), Q("zip -qr ../x.zip a.jpg sub"));
    EXPECT_EQ(ViewerExtract(Path(Q("x.zip")), Q("out")), Flat(false));
    WriteFile(Path(Q("out/a.jpg")), "changed");
    EXPECT_EQ(ViewerExtract(Path(Q("x.zip")), Q("out")), Flat(false));

    // With the folder structure kept and a named file only.
    TArchiveFile af;
    af.SetFileName(Path(Q("x.zip")));
    af.Options().c = 1;
    const QString dest = Path(Q("tree"));
    ASSERT_TRUE(QDir().mkpath(dest));
    EXPECT_EQ(af.Extract(0, nullptr, dest, TFileList{Q("sub/b.png")}), 0) << af.CommandLine().toStdString();
    EXPECT_EQ(FilesBelow(dest), (Files{{Q("sub/b.png"), m_b}}));
}

TEST_F(Integration, SelfExtractingExecutablesAreRecognisedByContents)
{
    ASSERT_SHELL_OK(Path(Q("src")), Q("zip -qr ../x.zip a.jpg sub && jlha ao5 ../x.lzh a.jpg sub/b.png"));
    const QByteArray stubBytes = QByteArray("MZ") + Bytes(3000, 9);
    auto makeExe = [&](const char* name, const char* archive) {
        QFile in(Path(Q(archive)));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        WriteFile(Path(Q(name)), stubBytes + in.readAll());
        return Path(Q(name));
    };
    const QString zipExe = makeExe("zipsfx.exe", "x.zip");
    EXPECT_EQ(DetectArchiverType(zipExe), atZip);
    EXPECT_EQ(ViewerExtract(zipExe, Q("zipsfx_exe")), Flat(false));

    const QString lhaExe = makeExe("lhasfx.EXE", "x.lzh");
    EXPECT_EQ(DetectArchiverType(lhaExe), atLha);
    EXPECT_EQ(ViewerExtract(lhaExe, Q("lhasfx_exe")), Flat(false));

    WriteFile(Path(Q("plain.exe")), stubBytes);
    EXPECT_EQ(DetectArchiverType(Path(Q("plain.exe"))), atNone);
    TArchiveFile af;
    af.SetFileName(Path(Q("plain.exe")));
    EXPECT_THROW(af.Extract(0, nullptr, Path(Q("none")), TFileList{}), EArchiver);
}

TEST_F(Integration, ListingAndMemoryExtractionThroughTheZipHandler)
{
    ASSERT_SHELL_OK(Path(Q("src")), Q("zip -qr ../x.zip a.jpg sub"));
    TZip32 zip;
    const TArchiveHandle arc = zip.OpenArc(0, Path(Q("x.zip")), 0);
    ASSERT_NE(arc, 0u);
    std::map<QString, std::uint64_t> sizes;
    TEntryInfo e;
    for (int rc = zip.FindFirst(arc, e, Q("*")); rc == 0; rc = zip.FindNext(arc, e)) {
        sizes[QString::fromUtf8(e.Info.fileName)] = e.OriginalSize64;
        EXPECT_NE(e.LastWriteTime, 0u);
    }
    zip.CloseArc(arc);
    EXPECT_EQ(sizes[Q("a.jpg")], std::uint64_t(m_a.size()));
    EXPECT_EQ(sizes[Q("sub/b.png")], std::uint64_t(m_b.size()));

    TArchiverOptions o;
    QByteArray buffer(m_a.size() + 10, '\0');
    std::uint32_t written = 0;
    EXPECT_EQ(zip.ExtractMem(0, Path(Q("x.zip")), o, Q("a.jpg"), reinterpret_cast<unsigned char*>(buffer.data()),
                             std::uint32_t(buffer.size()), written),
              0)
        << zip.CommandLine.toStdString();
    EXPECT_EQ(buffer.left(int(written)), m_a);
}

TEST_F(Integration, ExtractionWithAProgressWindowAsOwner)
{
    ASSERT_SHELL_OK(Path(Q("src")), Q("zip -qr ../x.zip a.jpg sub && jlha ao5 ../x.lzh a.jpg sub/b.png && "
                                      "tar czf ../x.tgz a.jpg sub && arj a -m1 -y ../x.arj a.jpg sub/b.png"));
    for (const char* name : {"x.zip", "x.lzh", "x.tgz", "x.arj"}) {
        SCOPED_TRACE(name);
        TArchiveFile af;
        af.SetFileName(Path(Q(name)));
        af.Options().x = 0;
        af.Options().c = 1;
        af.Options().jse = 1;
        af.Options().jso = 1;
        af.OnProgress = [](TArchiveFile*, std::int32_t, void*, bool&) {};
        const QString dest = Path(Q("progress_") + Q(name).replace(QLatin1Char('.'), QLatin1Char('_')));
        ASSERT_TRUE(QDir().mkpath(dest));
        EXPECT_EQ(af.Extract(0, nullptr, dest, TFileList{}), 0) << af.CommandLine().toStdString();
        EXPECT_NE(af.ProgressWindow(), 0u);
        EXPECT_FALSE(af.Archiver()->HasOwnerWindow());
        // The library took the window: the builders asked for no dialogs.
        const QString owned = Q(name) == Q("x.zip") ? Q(" --i ") : Q(name) == Q("x.tgz") ? Q(" -z ") : Q(" -n1 ");
        EXPECT_TRUE(af.CommandLine().contains(owned)) << af.CommandLine().toStdString();
        EXPECT_EQ(FilesBelow(dest), Flat(false));
    }
}

TEST_F(Integration, BrokenArchiveGivesAReturnCodeNotAnException)
{
    WriteFile(Path(Q("broken.zip")), "PK\x03\x04 this is not really a zip archive");
    std::int32_t rc = 0;
    const Files files = ViewerExtract(Path(Q("broken.zip")), Q("broken_zip"), &rc);
    EXPECT_NE(rc, 0);
    EXPECT_TRUE(files.empty());
}

} // namespace
