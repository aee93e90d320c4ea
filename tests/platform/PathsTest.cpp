// Canonical paths and the program's folders.
#include "platform/Paths.h"
#include "platform/ProgramLocation.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

namespace {

bool makeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

class CurrentFolder {
public:
    explicit CurrentFolder(const QString& folder) : old_(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~CurrentFolder() { QDir::setCurrent(old_); }

private:
    QString old_;
};

class PathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // The temporary folder itself may sit behind a link.
        root = QFileInfo(dir.path()).canonicalFilePath();
    }
    QTemporaryDir dir;
    QString root;
};

} // namespace

TEST_F(PathsTest, CanonicalPathRemovesDotsAndMakesAbsolute)
{
    ASSERT_TRUE(QDir(root).mkpath("a/b"));
    EXPECT_EQ(platform::CanonicalPath(root + "/a/./b/../b/file.jpg"), root + "/a/b/file.jpg");
    EXPECT_EQ(platform::CanonicalPath(root + "//a///b/"), root + "/a/b");
    EXPECT_EQ(platform::CanonicalPath(root + "/a/b/.."), root + "/a");
    EXPECT_EQ(platform::CanonicalPath(root + "/a/b/."), root + "/a/b");
    EXPECT_EQ(platform::CanonicalPath("/"), "/");
    EXPECT_EQ(platform::CanonicalPath("/.."), "/");
    EXPECT_EQ(platform::CanonicalPath(QString()), QString());

    CurrentFolder here(root + "/a");
    EXPECT_EQ(platform::CanonicalPath("b/x.png"), root + "/a/b/x.png");
    EXPECT_EQ(platform::CanonicalPath("../a/b"), root + "/a/b");
    EXPECT_EQ(platform::CanonicalPath("."), root + "/a");
}

TEST_F(PathsTest, CanonicalPathResolvesLinksInTheFolderPartOnly)
{
    ASSERT_TRUE(QDir(root).mkpath("real/deep"));
    ASSERT_TRUE(writeFile(root + "/real/deep/pic.jpg", "x"));
    ASSERT_TRUE(makeLink(root + "/real/deep", root + "/shortcut"));
    ASSERT_TRUE(makeLink(root + "/real/deep/pic.jpg", root + "/real/deep/alias.jpg"));

    EXPECT_EQ(platform::CanonicalPath(root + "/shortcut/pic.jpg"), root + "/real/deep/pic.jpg");
    // The last component is kept even when it is a link.
    EXPECT_EQ(platform::CanonicalPath(root + "/shortcut/alias.jpg"), root + "/real/deep/alias.jpg");
    EXPECT_EQ(platform::CanonicalPath(root + "/shortcut"), root + "/shortcut");
    // ".." after a link leads to the parent of the link's target.
    EXPECT_EQ(platform::CanonicalPath(root + "/shortcut/../other.jpg"), root + "/real/other.jpg");
}

TEST_F(PathsTest, CanonicalPathKeepsMissingNamesAsGiven)
{
    EXPECT_EQ(platform::CanonicalPath(root + "/missing/写真.JPG"), root + "/missing/写真.JPG");
    EXPECT_EQ(platform::CanonicalPath(root + "/missing/x/../y"), root + "/missing/y");
    ASSERT_TRUE(makeLink(root + "/nowhere", root + "/dangling"));
    EXPECT_EQ(platform::CanonicalPath(root + "/dangling/a.jpg"), root + "/dangling/a.jpg");
}

TEST_F(PathsTest, TempFolderFollowsTmpdir)
{
    EnvGuard tmp("TMPDIR", root + "/");
    EXPECT_EQ(platform::TempFolder(), root);
}

TEST_F(PathsTest, SettingsFolderIsTheProgramFolderWhenWritable)
{
    const QString programDir = platform::ProgramDir();
    ASSERT_FALSE(programDir.isEmpty());
    if (::access(QFile::encodeName(programDir).constData(), W_OK) != 0)
        GTEST_SKIP() << "the test's own folder is not writable";
    EXPECT_EQ(platform::SettingsFolder(), programDir);
}

TEST_F(PathsTest, WorkFolderIsMadeInTheRuntimeFolder)
{
    EnvGuard runtime("XDG_RUNTIME_DIR", root);
    const auto folder = platform::PrivateWorkFolder();
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(*folder, root + "/orvanto");
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(*folder).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());

    // Asking again finds it; looser modes of our own folder are tightened.
    ASSERT_EQ(::chmod(QFile::encodeName(*folder).constData(), 0755), 0);
    EXPECT_EQ(platform::PrivateWorkFolder(), folder);
    ASSERT_EQ(::lstat(QFile::encodeName(*folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(PathsTest, WorkFolderFallsBackToTheTemporaryFolder)
{
    ASSERT_TRUE(writeFile(root + "/notAFolder", ""));
    EnvGuard tmp("TMPDIR", root);
    for (const std::optional<QString>& runtime :
         {std::optional<QString>(), std::optional<QString>(root + "/notAFolder"),
          std::optional<QString>(root + "/missing"), std::optional<QString>(QString())}) {
        EnvGuard env("XDG_RUNTIME_DIR", runtime);
        const auto folder = platform::PrivateWorkFolder();
        ASSERT_TRUE(folder.has_value());
        EXPECT_EQ(*folder, root + QStringLiteral("/orvanto-%1").arg(::geteuid()));
    }
}

TEST_F(PathsTest, WorkFolderRefusesLinksFilesAndForeignFolders)
{
    EnvGuard runtime("XDG_RUNTIME_DIR", root);
    ASSERT_TRUE(QDir(root).mkdir("elsewhere"));
    ASSERT_TRUE(makeLink(root + "/elsewhere", root + "/orvanto"));
    EXPECT_FALSE(platform::PrivateWorkFolder().has_value()) << "a link is refused";
    EXPECT_TRUE(namesIn(root + "/elsewhere").isEmpty());

    ASSERT_TRUE(QFile::remove(root + "/orvanto"));
    ASSERT_TRUE(writeFile(root + "/orvanto", "file"));
    EXPECT_FALSE(platform::PrivateWorkFolder().has_value()) << "a file is refused";
    ASSERT_TRUE(QFile::remove(root + "/orvanto"));

    if (!runningAsRoot())
        return; // only root can give a folder to someone else
    ASSERT_TRUE(QDir(root).mkdir("orvanto"));
    ASSERT_EQ(::chown(QFile::encodeName(root + "/orvanto").constData(), 65534, 65534), 0);
    EXPECT_FALSE(platform::PrivateWorkFolder().has_value()) << "another user's folder is refused";
}

TEST_F(PathsTest, WorkFolderFailsWhenItCannotBeMade)
{
    EnvGuard runtime("XDG_RUNTIME_DIR", std::nullopt);
    EnvGuard tmp("TMPDIR", root + "/missing/deeper");
    EXPECT_FALSE(platform::PrivateWorkFolder().has_value());
}

TEST_F(PathsTest, ProgramLayoutTellsPortableFromInstalled)
{
    // A portable folder: everything beside the program, even one named "bin"
    // whose parent holds a "lib" folder of other things (a build tree).
    ASSERT_TRUE(QDir().mkpath(root + "/build/bin/plugins"));
    ASSERT_TRUE(QDir().mkpath(root + "/build/lib"));
    EXPECT_FALSE(platform::IsInstalledLayout(root + "/build/bin"));
    EXPECT_EQ(platform::LibraryDirFor(root + "/build/bin"), root + "/build/bin");
    EXPECT_EQ(platform::DataDirFor(root + "/build/bin"), root + "/build/bin");

    // An installed tree: PREFIX/bin with PREFIX/lib/orvanto.
    ASSERT_TRUE(QDir().mkpath(root + "/usr/bin"));
    ASSERT_TRUE(QDir().mkpath(root + "/usr/lib/orvanto/plugins"));
    EXPECT_TRUE(platform::IsInstalledLayout(root + "/usr/bin"));
    EXPECT_EQ(platform::LibraryDirFor(root + "/usr/bin"), root + "/usr/lib/orvanto");
    EXPECT_EQ(platform::DataDirFor(root + "/usr/bin"), root + "/usr/share/orvanto");

    // The library folder beside a folder not called "bin" does not count,
    // nor a file in its place.
    ASSERT_TRUE(QDir().mkpath(root + "/usr/games"));
    EXPECT_FALSE(platform::IsInstalledLayout(root + "/usr/games"));
    ASSERT_TRUE(QDir().mkpath(root + "/opt/bin"));
    ASSERT_TRUE(QDir().mkpath(root + "/opt/lib"));
    writeFile(root + "/opt/lib/orvanto", "x");
    EXPECT_FALSE(platform::IsInstalledLayout(root + "/opt/bin"));
    EXPECT_FALSE(platform::IsInstalledLayout(QString()));

    // The test program itself runs from build/tests: portable.
    EXPECT_FALSE(platform::IsInstalledProgram());
    EXPECT_EQ(platform::ProgramLibraryDir(), platform::ProgramDir());
    EXPECT_EQ(platform::ProgramDataDir(), platform::ProgramDir());
}
