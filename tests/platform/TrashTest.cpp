// Sending files to the trash, with the question answered by the test.
#include "platform/Desktop.h"
#include "platform/Trash.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
