// Special folders from the XDG user folders of a home made for the test.
#include "platform/SpecialFolders.h"

#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testfiles;

namespace {

class SpecialFoldersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        home = dir.path() + "/home";
        ASSERT_TRUE(QDir().mkpath(home + "/.config"));
        guards.push_back(std::make_unique<EnvGuard>("HOME", home));
        guards.push_back(std::make_unique<EnvGuard>("XDG_CONFIG_HOME", std::nullopt));
        guards.push_back(std::make_unique<EnvGuard>("XDG_DATA_HOME", std::nullopt));
    }
    void writeUserDirs(const QByteArray& text) { ASSERT_TRUE(writeFile(home + "/.config/user-dirs.dirs", text)); }

    QTemporaryDir dir;
    QString home;
    std::vector<std::unique_ptr<EnvGuard>> guards;
};

} // namespace

TEST_F(SpecialFoldersTest, MapsToTheUsersXdgFolders)
{
    writeUserDirs("# written by xdg-user-dirs-update\n"
                  "XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n"
                  "XDG_DOCUMENTS_DIR=\"$HOME/文書\"\n"
                  "XDG_TEMPLATES_DIR=\"$HOME/テンプレート\"\n");
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_DESKTOP), home + "/デスクトップ");
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_DESKTOPDIRECTORY), home + "/デスクトップ");
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_PERSONAL), home + "/文書");
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_TEMPLATES), home + "/テンプレート");
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_PROGRAMS), home + "/.local/share/applications");
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_STARTMENU), home + "/.local/share/applications");
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_DRIVES), "/");
}

TEST_F(SpecialFoldersTest, OthersAreTheHomeFolderAndUnknownNumbersNothing)
{
    for (int csidl :
         {platform::CSIDL_CONTROLS, platform::CSIDL_PRINTERS, platform::CSIDL_FAVORITES, platform::CSIDL_STARTUP,
          platform::CSIDL_RECENT, platform::CSIDL_SENDTO, platform::CSIDL_BITBUCKET, platform::CSIDL_NETWORK,
          platform::CSIDL_NETHOOD, platform::CSIDL_FONTS, platform::CSIDL_APPDATA, platform::CSIDL_PRINTHOOD})
        EXPECT_EQ(platform::SpecialFolderPath(csidl), home) << csidl;
    EXPECT_EQ(platform::SpecialFolderPath(0x01), QString());
    EXPECT_EQ(platform::SpecialFolderPath(0x99), QString());
    EXPECT_EQ(platform::SpecialFolderPath(-1), QString());
}

TEST_F(SpecialFoldersTest, UnconfiguredFoldersUseTheXdgDefaults)
{
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_DESKTOP), home + "/Desktop");
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_TEMPLATES), home);

    guards.push_back(std::make_unique<EnvGuard>("XDG_DATA_HOME", dir.path() + "/data"));
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_PROGRAMS), dir.path() + "/data/applications");

    // The config folder can move; absolute values are taken as they are.
    guards.push_back(std::make_unique<EnvGuard>("XDG_CONFIG_HOME", dir.path() + "/cfg"));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/cfg"));
    ASSERT_TRUE(writeFile(dir.path() + "/cfg/user-dirs.dirs", "XDG_TEMPLATES_DIR=\"/srv/templates/\"\n"));
    EXPECT_EQ(platform::SpecialFolderPath(platform::CSIDL_TEMPLATES), "/srv/templates");
}
