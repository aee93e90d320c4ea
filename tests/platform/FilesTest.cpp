// File operations on real files in temporary folders.
#include "platform/Files.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

namespace {

struct InjectedMoveErrno {
    explicit InjectedMoveErrno(int err) { platform::SetInjectedMoveErrnoForTesting(err); }
    ~InjectedMoveErrno() { platform::SetInjectedMoveErrnoForTesting(0); }
};

mode_t modeOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

struct timespec mtimeOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mtim;
}

void setMtime(const QString& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

bool makeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

dev_t deviceOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_dev;
}

// Makes a folder refuse removals of its entries, even for root (the
// append-only attribute). Undone by the destructor.
class UndeletableEntries {
public:
    explicit UndeletableEntries(const QString& folder) : folder_(folder)
    {
        if (!runningAsRoot()) {
            active_ = ::chmod(QFile::encodeName(folder).constData(), 0555) == 0;
            return;
        }
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return;
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_APPEND_FL;
            active_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
    }
    ~UndeletableEntries()
    {
        if (!active_)
            return;
        if (!runningAsRoot()) {
            ::chmod(QFile::encodeName(folder_).constData(), 0755);
            return;
        }
        const int fd = ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_APPEND_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        if (fd >= 0)
            ::close(fd);
    }
    bool active() const { return active_; }

private:
    QString folder_;
    bool active_ = false;
};

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(FilesTest, ExistenceTellsFilesFoldersAndLinksApart)
{
    ASSERT_TRUE(writeFile(path("file.jpg"), "x"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    ASSERT_TRUE(makeLink(path("file.jpg"), path("toFile")));
    ASSERT_TRUE(makeLink(path("folder"), path("toFolder")));
    ASSERT_TRUE(makeLink(path("missing"), path("dangling")));

    EXPECT_TRUE(platform::FileExists(path("file.jpg")));
    EXPECT_FALSE(platform::DirectoryExists(path("file.jpg")));
    EXPECT_TRUE(platform::DirectoryExists(path("folder")));
    EXPECT_FALSE(platform::FileExists(path("folder")));
    EXPECT_TRUE(platform::FileExists(path("toFile")));
    EXPECT_TRUE(platform::DirectoryExists(path("toFolder")));
    EXPECT_FALSE(platform::FileExists(path("toFolder")));
    EXPECT_TRUE(platform::FileExists(path("dangling")));
    EXPECT_TRUE(platform::IsSymLink(path("dangling")));
    EXPECT_TRUE(platform::IsSymLink(path("toFolder")));
    EXPECT_FALSE(platform::IsSymLink(path("folder")));
    EXPECT_FALSE(platform::FileExists(path("missing")));
    EXPECT_FALSE(platform::DirectoryExists(path("missing")));
    EXPECT_FALSE(platform::FileExists(QString()));
    EXPECT_FALSE(platform::DirectoryExists(QString()));
}

TEST_F(FilesTest, FolderOperationsAndSizes)
{
    EXPECT_TRUE(platform::CreateDirectory(path("new")));
    EXPECT_FALSE(platform::CreateDirectory(path("new"))) << "exists already";
    EXPECT_FALSE(platform::CreateDirectory(path("no/such/parent")));
    ASSERT_TRUE(writeFile(path("new/inside"), "12345"));
    EXPECT_FALSE(platform::RemoveDirectory(path("new"))) << "not empty";
    EXPECT_FALSE(platform::DeleteFile(path("new"))) << "a folder is not a file";
    EXPECT_EQ(platform::FileSize(path("new/inside")), 5);
    EXPECT_EQ(platform::FileSize(path("new")), -1);
    EXPECT_EQ(platform::FileSize(path("missing")), -1);
    EXPECT_TRUE(platform::DeleteFile(path("new/inside")));
    EXPECT_FALSE(platform::DeleteFile(path("new/inside")));
    EXPECT_TRUE(platform::RemoveDirectory(path("new")));
    EXPECT_FALSE(platform::DirectoryExists(path("new")));

    // Sizes beyond 32 bits (a sparse file takes no space).
    QFile big(path("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    const qint64 fiveGiB = qint64(5) << 30;
    ASSERT_TRUE(big.resize(fiveGiB));
    big.close();
    EXPECT_EQ(platform::FileSize(path("big.bin")), fiveGiB);
}

TEST_F(FilesTest, DeleteFileRemovesLinksNotTargets)
{
    ASSERT_TRUE(writeFile(path("target"), "keep"));
    ASSERT_TRUE(makeLink(path("target"), path("link")));
    EXPECT_TRUE(platform::DeleteFile(path("link")));
    EXPECT_EQ(readFile(path("target")), "keep");
}

TEST_F(FilesTest, ListDirectoryReportsEveryEntryWithoutFollowingLinks)
{
    ASSERT_TRUE(writeFile(path("a.jpg"), "123"));
    ASSERT_TRUE(writeFile(path(".hidden"), "1234567"));
    ASSERT_TRUE(writeFile(path("日本語.png"), "12"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    ASSERT_TRUE(makeLink(path("sub"), path("linkToSub")));
    ASSERT_TRUE(makeLink(path("a.jpg"), path("linkToA")));
    ASSERT_TRUE(makeLink(path("gone"), path("dangling")));

    bool ok = false;
    const auto entries = platform::ListDirectory(dir.path(), &ok);
    EXPECT_TRUE(ok);
    std::map<QString, platform::DirEntry> byName;
    for (const auto& e : entries)
        byName[e.name] = e;
    ASSERT_EQ(byName.size(), 7u);
    EXPECT_FALSE(byName.count(".") || byName.count(".."));

    EXPECT_FALSE(byName["a.jpg"].isDir);
    EXPECT_FALSE(byName["a.jpg"].isSymLink);
    EXPECT_EQ(byName["a.jpg"].size, 3);
    EXPECT_EQ(byName[".hidden"].size, 7);
    EXPECT_EQ(byName["日本語.png"].size, 2);
    EXPECT_TRUE(byName["sub"].isDir);
    EXPECT_FALSE(byName["sub"].isSymLink);
    EXPECT_TRUE(byName["linkToSub"].isSymLink);
    EXPECT_FALSE(byName["linkToSub"].isDir);
    EXPECT_TRUE(byName["linkToA"].isSymLink);
    EXPECT_EQ(byName["linkToA"].size, 3);
    EXPECT_TRUE(byName["dangling"].isSymLink);
    EXPECT_EQ(byName["dangling"].size, 0);

    EXPECT_TRUE(platform::ListDirectory(path("sub"), &ok).empty());
    EXPECT_TRUE(ok) << "an empty folder is not an error";
    EXPECT_TRUE(platform::ListDirectory(path("missing"), &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(platform::ListDirectory(path("a.jpg"), &ok).empty());
    EXPECT_FALSE(ok);
}

// --- MoveFile -------------------------------------------------------------

TEST_F(FilesTest, MoveRenamesFilesAndFolders)
{
    ASSERT_TRUE(writeFile(path("a.jpg"), "picture"));
    QString error;
    EXPECT_TRUE(platform::MoveFile(path("a.jpg"), path("写真.jpg"), &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("a.jpg")));
    EXPECT_EQ(readFile(path("写真.jpg")), "picture");

    ASSERT_TRUE(QDir(dir.path()).mkpath("folder/inner"));
    EXPECT_TRUE(platform::MoveFile(path("folder"), path("renamed")));
    EXPECT_TRUE(QFileInfo(path("renamed/inner")).isDir());
}

TEST_F(FilesTest, MoveNeverReplacesAnExistingDestination)
{
    ASSERT_TRUE(writeFile(path("src.jpg"), "source"));
    ASSERT_TRUE(writeFile(path("dst.jpg"), "destination"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    QString error;
    EXPECT_FALSE(platform::MoveFile(path("src.jpg"), path("dst.jpg"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(path("src.jpg")), "source");
    EXPECT_EQ(readFile(path("dst.jpg")), "destination");

    // An existing folder or a dangling link count as existing too.
    EXPECT_FALSE(platform::MoveFile(path("src.jpg"), path("folder")));
    ASSERT_TRUE(makeLink(path("nowhere"), path("dangling")));
    EXPECT_FALSE(platform::MoveFile(path("src.jpg"), path("dangling")));
    EXPECT_TRUE(platform::IsSymLink(path("dangling")));
    EXPECT_EQ(readFile(path("src.jpg")), "source");
}

TEST_F(FilesTest, MoveFailuresLeaveTheSourceAlone)
{
    QString error;
    EXPECT_FALSE(platform::MoveFile(path("missing"), path("x"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path("x")));

    ASSERT_TRUE(writeFile(path("src.jpg"), "source"));
    EXPECT_FALSE(platform::MoveFile(path("src.jpg"), path("no/such/folder/x.jpg")));
    EXPECT_EQ(readFile(path("src.jpg")), "source");
    EXPECT_FALSE(platform::MoveFile(QString(), path("x")));
    EXPECT_FALSE(platform::MoveFile(path("src.jpg"), QString()));
    EXPECT_EQ(readFile(path("src.jpg")), "source");
}

TEST_F(FilesTest, MoveIntoReadOnlyFolderFails)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root ignores folder permissions";
    ASSERT_TRUE(writeFile(path("src.jpg"), "source"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    ASSERT_EQ(::chmod(QFile::encodeName(path("locked")).constData(), 0555), 0);
    EXPECT_FALSE(platform::MoveFile(path("src.jpg"), path("locked/src.jpg")));
    ::chmod(QFile::encodeName(path("locked")).constData(), 0755);
    EXPECT_EQ(readFile(path("src.jpg")), "source");
    EXPECT_TRUE(namesIn(path("locked")).isEmpty());
}

// Moves between file systems: for real into /dev/shm when it is a separate
// file system, else with the cross-device error injected.
class CrossDeviceMoveTest : public FilesTest {
protected:
    void SetUp() override
    {
        FilesTest::SetUp();
        if (QFileInfo(QStringLiteral("/dev/shm")).isDir() && QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
            other = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/orvanto-test-XXXXXX"));
            if (other->isValid() && deviceOf(other->path()) != deviceOf(dir.path()))
                return;
        }
        other = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(other->isValid());
        injected = std::make_unique<InjectedMoveErrno>(EXDEV);
    }
    QString far(const QString& name) const { return other->filePath(name); }

    std::unique_ptr<QTemporaryDir> other;
    std::unique_ptr<InjectedMoveErrno> injected;
};

TEST_F(CrossDeviceMoveTest, CopiesThenRemovesTheSource)
{
    QByteArray data(3 << 20, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 131 % 251);
    ASSERT_TRUE(writeFile(path("photo.jpg"), data));
    ASSERT_EQ(::chmod(QFile::encodeName(path("photo.jpg")).constData(), 0640), 0);
    setMtime(path("photo.jpg"), 1000000000);

    QString error;
    ASSERT_TRUE(platform::MoveFile(path("photo.jpg"), far("写真.jpg"), &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("photo.jpg")));
    EXPECT_EQ(readFile(far("写真.jpg")), data);
    EXPECT_EQ(modeOf(far("写真.jpg")), 0640u);
    EXPECT_EQ(mtimeOf(far("写真.jpg")).tv_sec, 1000000000);
    EXPECT_EQ(namesIn(other->path()), QStringList{"写真.jpg"}) << "no temporary file left";
}

TEST_F(CrossDeviceMoveTest, ExistingDestinationKeepsBothFiles)
{
    ASSERT_TRUE(writeFile(path("photo.jpg"), "source"));
    ASSERT_TRUE(writeFile(far("photo.jpg"), "destination"));
    EXPECT_FALSE(platform::MoveFile(path("photo.jpg"), far("photo.jpg")));
    EXPECT_EQ(readFile(path("photo.jpg")), "source");
    EXPECT_EQ(readFile(far("photo.jpg")), "destination");
    EXPECT_EQ(namesIn(other->path()), QStringList{"photo.jpg"});
}

TEST_F(CrossDeviceMoveTest, MissingDestinationFolderKeepsTheSource)
{
    ASSERT_TRUE(writeFile(path("photo.jpg"), "source"));
    EXPECT_FALSE(platform::MoveFile(path("photo.jpg"), far("missing/photo.jpg")));
    EXPECT_EQ(readFile(path("photo.jpg")), "source");
    EXPECT_TRUE(namesIn(other->path()).isEmpty());
}

TEST_F(CrossDeviceMoveTest, UndeletableSourceUndoesTheCopy)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("src"));
    ASSERT_TRUE(writeFile(path("src/photo.jpg"), "source"));
    UndeletableEntries guard(path("src"));
    if (!guard.active())
        GTEST_SKIP() << "cannot make a folder refuse deletions here";
    QString error;
    EXPECT_FALSE(platform::MoveFile(path("src/photo.jpg"), far("photo.jpg"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(path("src/photo.jpg")), "source");
    EXPECT_TRUE(namesIn(other->path()).isEmpty()) << "the move happens completely or not at all";
}

TEST_F(CrossDeviceMoveTest, LinksMoveAsLinksAndFoldersStay)
{
    ASSERT_TRUE(writeFile(path("target.jpg"), "t"));
    ASSERT_TRUE(makeLink(path("target.jpg"), path("link.jpg")));
    ASSERT_TRUE(platform::MoveFile(path("link.jpg"), far("link.jpg")));
    EXPECT_TRUE(QFileInfo(far("link.jpg")).isSymLink());
    EXPECT_EQ(QFileInfo(far("link.jpg")).symLinkTarget(), path("target.jpg"));
    EXPECT_FALSE(QFileInfo(path("link.jpg")).exists());

    ASSERT_TRUE(QDir(dir.path()).mkpath("folder/inner"));
    EXPECT_FALSE(platform::MoveFile(path("folder"), far("folder")));
    EXPECT_TRUE(QFileInfo(path("folder/inner")).isDir());
    EXPECT_EQ(namesIn(other->path()), QStringList{"link.jpg"});
}

// A link moved or copied elsewhere never dangles: a move keeps it pointing at
// the same file (a relative target is rewritten), a copy holds the contents.
void expectLinkKeptAndCopied(const QString& home, const QString& elsewhere)
{
    ASSERT_TRUE(QDir(home).mkpath("pics/sub"));
    ASSERT_TRUE(QDir(elsewhere).mkpath("dest/deeper"));
    ASSERT_TRUE(writeFile(home + "/pics/real.jpg", "picture"));
    ASSERT_TRUE(makeLink("real.jpg", home + "/pics/rel.jpg"));
    ASSERT_TRUE(makeLink("../real.jpg", home + "/pics/sub/up.jpg"));
    ASSERT_TRUE(makeLink(home + "/pics/real.jpg", home + "/pics/abs.jpg"));
    ASSERT_TRUE(makeLink("nowhere.jpg", home + "/pics/dangling.jpg"));

    const QString dest = elsewhere + "/dest";
    ASSERT_TRUE(platform::CopyFile(home + "/pics/rel.jpg", dest + "/copy.jpg", true));
    EXPECT_FALSE(QFileInfo(dest + "/copy.jpg").isSymLink()) << "a copy holds the contents";
    EXPECT_EQ(readFile(dest + "/copy.jpg"), "picture");

    for (const QString& name : {QString("pics/rel.jpg"), QString("pics/sub/up.jpg"), QString("pics/abs.jpg")}) {
        const QString moved = dest + "/deeper/" + QFileInfo(name).fileName();
        QString error;
        ASSERT_TRUE(platform::MoveFile(home + "/" + name, moved, &error)) << error.toStdString();
        EXPECT_TRUE(QFileInfo(moved).isSymLink()) << name.toStdString();
        EXPECT_EQ(readFile(moved), "picture") << name.toStdString();
        EXPECT_EQ(QFileInfo(moved).canonicalFilePath(), QFileInfo(home + "/pics/real.jpg").canonicalFilePath());
        EXPECT_FALSE(QFileInfo(home + "/" + name).isSymLink());
    }
    // A relative target stays relative, and moving back restores it.
    EXPECT_FALSE(QFileInfo(dest + "/deeper/rel.jpg").symLinkTarget().isEmpty());
    char target[4096] = {};
    ASSERT_GT(::readlink(QFile::encodeName(dest + "/deeper/rel.jpg").constData(), target, sizeof target - 1), 0);
    EXPECT_NE(target[0], '/') << target;
    ASSERT_TRUE(platform::MoveFile(dest + "/deeper/rel.jpg", home + "/pics/rel.jpg"));
    std::fill(std::begin(target), std::end(target), '\0');
    ASSERT_GT(::readlink(QFile::encodeName(home + "/pics/rel.jpg").constData(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "real.jpg");
    // A link that pointed nowhere still names the same place.
    ASSERT_TRUE(platform::MoveFile(home + "/pics/dangling.jpg", dest + "/dangling.jpg"));
    ASSERT_TRUE(writeFile(home + "/pics/nowhere.jpg", "late"));
    EXPECT_EQ(readFile(dest + "/dangling.jpg"), "late");
    // Within one folder a rename keeps the target text.
    ASSERT_TRUE(platform::MoveFile(home + "/pics/rel.jpg", home + "/pics/renamed.jpg"));
    EXPECT_EQ(QFileInfo(home + "/pics/renamed.jpg").symLinkTarget(),
              QFileInfo(home + "/pics/real.jpg").absoluteFilePath());
}

TEST_F(FilesTest, LinksStayLinkedWithinOneFileSystem)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("a"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("b"));
    expectLinkKeptAndCopied(path("a"), path("b"));
}

TEST_F(CrossDeviceMoveTest, LinksStayLinkedAcrossFileSystems)
{
    expectLinkKeptAndCopied(dir.path(), other->path());
}

// --- CopyFile -------------------------------------------------------------

TEST_F(FilesTest, CopyMakesAnIdenticalFile)
{
    QByteArray data(1 << 20, 'q');
    data.append("tail");
    ASSERT_TRUE(writeFile(path("a.jpg"), data));
    ASSERT_EQ(::chmod(QFile::encodeName(path("a.jpg")).constData(), 0604), 0);
    setMtime(path("a.jpg"), 1200000000);
    ASSERT_TRUE(QDir(dir.path()).mkdir("dest"));
    QString error;
    ASSERT_TRUE(platform::CopyFile(path("a.jpg"), path("dest/複写.jpg"), true, &error)) << error.toStdString();
    EXPECT_EQ(readFile(path("dest/複写.jpg")), data);
    EXPECT_EQ(readFile(path("a.jpg")), data);
    EXPECT_EQ(modeOf(path("dest/複写.jpg")), 0604u);
    EXPECT_EQ(mtimeOf(path("dest/複写.jpg")).tv_sec, 1200000000);
    EXPECT_EQ(namesIn(path("dest")), QStringList{"複写.jpg"});

    ASSERT_TRUE(writeFile(path("empty"), ""));
    EXPECT_TRUE(platform::CopyFile(path("empty"), path("dest/empty"), true));
    EXPECT_EQ(platform::FileSize(path("dest/empty")), 0);
}

TEST_F(FilesTest, CopyWithoutOverwriteKeepsBothFiles)
{
    ASSERT_TRUE(writeFile(path("src"), "source"));
    ASSERT_TRUE(writeFile(path("dst"), "destination"));
    QString error;
    EXPECT_FALSE(platform::CopyFile(path("src"), path("dst"), true, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(path("src")), "source");
    EXPECT_EQ(readFile(path("dst")), "destination");
    EXPECT_EQ(namesIn(dir.path()), (QStringList{"dst", "src"}));
}

TEST_F(FilesTest, CopyWithOverwriteReplacesInOneStep)
{
    ASSERT_TRUE(writeFile(path("src"), "new contents"));
    ASSERT_TRUE(writeFile(path("dst"), "old"));
    ASSERT_TRUE(platform::CopyFile(path("src"), path("dst"), false));
    EXPECT_EQ(readFile(path("dst")), "new contents");
    EXPECT_EQ(namesIn(dir.path()), (QStringList{"dst", "src"}));

    // A link at the destination is replaced by the copy; its target is untouched.
    ASSERT_TRUE(writeFile(path("linked"), "linked file"));
    ASSERT_TRUE(makeLink(path("linked"), path("link")));
    ASSERT_TRUE(platform::CopyFile(path("src"), path("link"), false));
    EXPECT_FALSE(platform::IsSymLink(path("link")));
    EXPECT_EQ(readFile(path("linked")), "linked file");
}

TEST_F(FilesTest, CopyFailuresLeaveNothingBehind)
{
    ASSERT_TRUE(writeFile(path("src"), "source"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    EXPECT_FALSE(platform::CopyFile(path("missing"), path("x"), false));
    EXPECT_FALSE(platform::CopyFile(path("folder"), path("x"), false)) << "folders are not copied";
    EXPECT_FALSE(platform::CopyFile(path("src"), path("folder"), false)) << "a folder is not replaced";
    EXPECT_FALSE(platform::CopyFile(path("src"), path("no/such/x"), false));
    EXPECT_EQ(namesIn(dir.path()), (QStringList{"folder", "src"}));
    EXPECT_TRUE(namesIn(path("folder")).isEmpty());
    EXPECT_EQ(readFile(path("src")), "source");
}

TEST_F(FilesTest, CopyIntoReadOnlyFolderFails)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root ignores folder permissions";
    ASSERT_TRUE(writeFile(path("src"), "source"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    ASSERT_EQ(::chmod(QFile::encodeName(path("locked")).constData(), 0555), 0);
    EXPECT_FALSE(platform::CopyFile(path("src"), path("locked/src"), false));
    ::chmod(QFile::encodeName(path("locked")).constData(), 0755);
    EXPECT_TRUE(namesIn(path("locked")).isEmpty());
}

// File systems without RENAME_NOREPLACE: link + unlink for files, a check
// before renaming for folders.
TEST_F(FilesTest, MoveWithoutNoReplaceSupportStillNeverReplaces)
{
    InjectedMoveErrno noNoReplace(EINVAL);
    ASSERT_TRUE(writeFile(path("src"), "source"));
    ASSERT_TRUE(writeFile(path("dst"), "destination"));
    EXPECT_FALSE(platform::MoveFile(path("src"), path("dst")));
    EXPECT_EQ(readFile(path("src")), "source");
    EXPECT_EQ(readFile(path("dst")), "destination");

    EXPECT_TRUE(platform::MoveFile(path("src"), path("moved")));
    EXPECT_FALSE(QFileInfo::exists(path("src")));
    EXPECT_EQ(readFile(path("moved")), "source");

    ASSERT_TRUE(QDir(dir.path()).mkpath("folder/inner"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("other"));
    EXPECT_FALSE(platform::MoveFile(path("folder"), path("other")));
    EXPECT_TRUE(QFileInfo(path("folder/inner")).isDir());
    EXPECT_TRUE(platform::MoveFile(path("folder"), path("folder2")));
    EXPECT_TRUE(QFileInfo(path("folder2/inner")).isDir());
}
