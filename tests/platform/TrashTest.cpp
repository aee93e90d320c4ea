// Sending files to the trash, with the question answered by the test.
#include "platform/Desktop.h"
#include "platform/FileNames.h"
#include "platform/Trash.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QUrl>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

namespace {

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(files.isValid());
        ASSERT_TRUE(data.isValid());
        // A trash of our own, on the same file system as the files.
        dataHome = std::make_unique<EnvGuard>("XDG_DATA_HOME", data.path());
        platform::SetMessageBoxHandlerForTesting([this](const QString& text, platform::MsgIcon icon, int) {
            boxes.append({text, icon});
            return int(platform::MsgOk);
        });
        platform::ResetBeepCountForTesting();
        platform::SetBeepHandlerForTesting([] {});
    }
    void TearDown() override
    {
        platform::SetRecycleConfirmHandlerForTesting({});
        platform::SetMessageBoxHandlerForTesting({});
        platform::SetBeepHandlerForTesting({});
    }
    QStringList trashed() const { return namesIn(data.path() + "/Trash/files"); }

    QTemporaryDir files;
    QTemporaryDir data;
    std::unique_ptr<EnvGuard> dataHome;
    QList<std::pair<QString, platform::MsgIcon>> boxes;
};

} // namespace

TEST_F(TrashTest, CancelledQuestionKeepsTheFile)
{
    const QString file = files.filePath("写真.jpg");
    ASSERT_TRUE(writeFile(file, "picture"));
    QString asked;
    platform::SetRecycleConfirmHandlerForTesting([&](const QString& question) {
        asked = question;
        return false;
    });
    EXPECT_TRUE(platform::RecycleFile(file, nullptr)) << "cancel is aborted";
    EXPECT_EQ(asked, "このファイルをごみ箱に移動しますか？\n写真.jpg");
    EXPECT_EQ(readFile(file), "picture");
    EXPECT_TRUE(trashed().isEmpty());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(TrashTest, ConfirmedFileGoesToTheTrash)
{
    const QString file = files.filePath("a.jpg");
    ASSERT_TRUE(writeFile(file, "picture"));
    platform::SetRecycleConfirmHandlerForTesting([](const QString&) { return true; });
    EXPECT_FALSE(platform::RecycleFile(file, nullptr));
    EXPECT_FALSE(QFileInfo::exists(file));
    ASSERT_EQ(trashed(), QStringList{"a.jpg"});
    EXPECT_EQ(readFile(data.path() + "/Trash/files/a.jpg"), "picture");
    EXPECT_TRUE(QFileInfo::exists(data.path() + "/Trash/info/a.jpg.trashinfo"));
}

TEST_F(TrashTest, QuestionUsesTheMessageBoxWithoutAHook)
{
    const QString file = files.filePath("b.jpg");
    ASSERT_TRUE(writeFile(file, "picture"));
    platform::SetMessageBoxHandlerForTesting([this](const QString& text, platform::MsgIcon icon, int buttons) {
        boxes.append({text, icon});
        EXPECT_EQ(buttons, platform::MsgOk | platform::MsgCancel);
        return int(platform::MsgCancel);
    });
    EXPECT_TRUE(platform::RecycleFile(file, nullptr));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].first, "このファイルをごみ箱に移動しますか？\nb.jpg");
    EXPECT_EQ(boxes[0].second, platform::MsgIcon::Question);
    EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(TrashTest, MissingFileIsReportedAndAborted)
{
    bool asked = false;
    platform::SetRecycleConfirmHandlerForTesting([&](const QString&) { return asked = true; });
    EXPECT_TRUE(platform::RecycleFile(files.filePath("gone.jpg"), nullptr));
    EXPECT_FALSE(asked);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].second, platform::MsgIcon::Error);
    EXPECT_TRUE(boxes[0].first.contains("gone.jpg"));
    EXPECT_EQ(platform::BeepCountForTesting(), 1);
}

TEST_F(TrashTest, UntrashableFileIsKeptAndAborted)
{
    // A trash folder that cannot be made: "Trash" is a plain file.
    ASSERT_TRUE(writeFile(data.path() + "/Trash", "not a folder"));
    const QString file = files.filePath("c.jpg");
    ASSERT_TRUE(writeFile(file, "picture"));
    platform::SetRecycleConfirmHandlerForTesting([](const QString&) { return true; });
    EXPECT_TRUE(platform::RecycleFile(file, nullptr));
    EXPECT_EQ(readFile(file), "picture") << "never deleted for good";
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("files/c.jpg"))) << "nor moved elsewhere";
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].second, platform::MsgIcon::Error);
}

TEST_F(TrashTest, FreshAccountGetsItsTrashMadeAsTheDesktopExpects)
{
    // No ~/.local/share yet and no XDG_DATA_HOME: the data home, the trash
    // and its two folders are made, private to the user.
    const QString home = files.filePath("home");
    ASSERT_TRUE(QDir().mkpath(home));
    EnvGuard homeGuard("HOME", home);
    EnvGuard noDataHome("XDG_DATA_HOME", std::nullopt);
    const QString file = home + "/a.jpg";
    ASSERT_TRUE(writeFile(file, "picture"));
    platform::SetRecycleConfirmHandlerForTesting([](const QString&) { return true; });
    EXPECT_FALSE(platform::RecycleFile(file, nullptr));
    EXPECT_TRUE(boxes.isEmpty());
    const QString trash = home + "/.local/share/Trash";
    EXPECT_EQ(readFile(trash + "/files/a.jpg"), "picture");
    EXPECT_FALSE(QFileInfo::exists(file));
    for (const QString& folder : {home + "/.local", home + "/.local/share", trash, trash + "/files", trash + "/info"})
        EXPECT_EQ(QFileInfo(folder).permissions() & 0x7777, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                | QFileDevice::ExeOwner | QFileDevice::ReadUser
                                                                | QFileDevice::WriteUser | QFileDevice::ExeUser)
            << folder.toStdString();
    const QByteArray info = readFile(trash + "/info/a.jpg.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=" + QUrl::toPercentEncoding(file, "/") + "\nDeletionDate="))
        << info.toStdString();

    // A second file of the same name gets a name of its own; names that are
    // not UTF-8 are kept byte for byte in Path=.
    ASSERT_TRUE(writeFile(file, "second"));
    QString inTrash;
    ASSERT_TRUE(platform::MoveToTrash(file, &inTrash));
    EXPECT_EQ(inTrash, trash + "/files/a.2.jpg");
    EXPECT_EQ(readFile(inTrash), "second");
    EXPECT_TRUE(QFileInfo::exists(trash + "/info/a.2.jpg.trashinfo"));

    const QByteArray rawName = QFile::encodeName(home) + "/\x8E\xCA\x90\x5E.jpg";
    const int fd = ::open(rawName.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_TRUE(platform::MoveToTrash(platform::DecodeFileName(rawName), &inTrash));
    EXPECT_EQ(platform::EncodeFileName(inTrash), QFile::encodeName(trash) + "/files/\x8E\xCA\x90\x5E.jpg");
    const int infoFd =
        ::open((QFile::encodeName(trash) + "/info/\x8E\xCA\x90\x5E.jpg.trashinfo").constData(), O_RDONLY);
    ASSERT_GE(infoFd, 0);
    char buffer[512] = {};
    ASSERT_GT(::read(infoFd, buffer, sizeof buffer - 1), 0);
    ::close(infoFd);
    EXPECT_TRUE(QByteArray(buffer).contains("/%8E%CA%90%5E.jpg\n")) << buffer;
    removeTree(home);
}

TEST_F(TrashTest, FilesElsewhereGoToTheirFileSystemsTrash)
{
    // /dev/shm is usually a file system of its own: its trash is
    // "/dev/shm/.Trash-<uid>" (or below a shared, sticky ".Trash").
    QTemporaryDir shm(QStringLiteral("/dev/shm/orvanto-trash-XXXXXX"));
    struct stat a {
    }, b{};
    if (!shm.isValid() || ::stat("/dev/shm", &a) != 0 || ::stat(QFile::encodeName(data.path()).constData(), &b) != 0
        || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no separate writable file system at /dev/shm";
    const QString file = shm.filePath("far.jpg");
    ASSERT_TRUE(writeFile(file, "far"));
    QString inTrash;
    ASSERT_TRUE(platform::MoveToTrash(file, &inTrash));
    const QString own = QStringLiteral("/dev/shm/.Trash-%1").arg(::getuid());
    const bool shared = inTrash.startsWith(QStringLiteral("/dev/shm/.Trash/"));
    EXPECT_TRUE(inTrash == own + "/files/far.jpg" || shared) << inTrash.toStdString();
    EXPECT_EQ(readFile(inTrash), "far");
    const QString infoFile = QFileInfo(inTrash).dir().filePath("../info/far.jpg.trashinfo");
    // Path= is relative to the top of that file system.
    EXPECT_TRUE(readFile(infoFile).contains("\nPath=" + QFileInfo(shm.path()).fileName().toUtf8() + "/far.jpg\n"))
        << readFile(infoFile).toStdString();
    QFile::remove(inTrash);
    QFile::remove(infoFile);
}
