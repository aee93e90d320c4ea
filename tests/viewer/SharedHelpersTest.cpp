// The viewer's shared helpers, on real files and real widgets.
#include "viewer/common/SharedHelpers.h"

#include "platform/Desktop.h"
#include "platform/SpecialFolders.h"
#include "platform/Trash.h"

#include "../platform/TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testfiles;

namespace {

bool makeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

QString storedValue(const QString& file, const QString& key)
{
    for (const QString& line : QString::fromUtf8(readFile(file)).split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return QStringLiteral("<missing>");
}

} // namespace

TEST(PathText, IncludeBackslashAndLastPathPart)
{
    EXPECT_EQ(IncludeBackslash(""), "");
    EXPECT_EQ(IncludeBackslash("/"), "/");
    EXPECT_EQ(IncludeBackslash("/home/me"), "/home/me/");
    EXPECT_EQ(IncludeBackslash("/home/me/"), "/home/me/");
    EXPECT_EQ(IncludeBackslash("写真"), "写真/");

    EXPECT_EQ(LastPathPart("/a/b/"), "b");
    EXPECT_EQ(LastPathPart("/a/b"), "b");
    EXPECT_EQ(LastPathPart("/a/b//"), "") << "only one trailing separator is dropped";
    EXPECT_EQ(LastPathPart("name"), "name");
    EXPECT_EQ(LastPathPart("/"), "");
    EXPECT_EQ(LastPathPart(""), "");
    EXPECT_EQ(LastPathPart("/転送先/画像"), "画像");
}

TEST(PathText, ReplaceCharAndNumberSuffix)
{
    EXPECT_EQ(ReplaceChar("a.b.c.zip", '.', '_'), "a_b_c_zip");
    EXPECT_EQ(ReplaceChar("写真.集.lzh", '.', '_'), "写真_集_lzh");
    EXPECT_EQ(ReplaceChar("", '.', '_'), "");

    EXPECT_EQ(NumberSuffix(0), "[000]");
    EXPECT_EQ(NumberSuffix(7), "[007]");
    EXPECT_EQ(NumberSuffix(42), "[042]");
    EXPECT_EQ(NumberSuffix(999), "[999]");
    EXPECT_EQ(NumberSuffix(1000), "[1000]");
    EXPECT_EQ(NumberSuffix(1234), "[1234]");
    EXPECT_EQ(NumberSuffix(Q_INT64_C(12345678901)), "[12345678901]");
}

TEST(Files, FileSizeOfCountsBytesAndNeverFails)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(writeFile(dir.filePath("a.jpg"), QByteArray(1234, 'x')));
    EXPECT_EQ(FileSizeOf(dir.filePath("a.jpg")), 1234);
    EXPECT_EQ(FileSizeOf(dir.filePath("missing.jpg")), 0);
    EXPECT_EQ(FileSizeOf(dir.path()), 0);
    EXPECT_EQ(FileSizeOf(QString()), 0);

    QFile big(dir.filePath("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(Q_INT64_C(3) << 30)); // sparse: past 2 GiB, no space taken
    big.close();
    EXPECT_EQ(FileSizeOf(dir.filePath("big.bin")), Q_INT64_C(3) << 30);
}

class DeleteFolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("outside/kept"));
        ASSERT_TRUE(writeFile(dir.filePath("outside/kept/precious.jpg"), "precious"));
        ASSERT_TRUE(writeFile(dir.filePath("outside/file.jpg"), "file"));
    }
    QTemporaryDir dir;
};

TEST_F(DeleteFolderTreeTest, DeletesEverythingButNeverEntersLinks)
{
    const QString tree = dir.filePath("picture");
    ASSERT_TRUE(QDir(dir.path()).mkpath("picture/a_zip/sub/.hidden"));
    ASSERT_TRUE(writeFile(tree + "/1.jpg", "1"));
    ASSERT_TRUE(writeFile(tree + "/.dot", "2"));
    ASSERT_TRUE(writeFile(tree + "/a_zip/写真.png", "3"));
    ASSERT_TRUE(writeFile(tree + "/a_zip/sub/.hidden/x", "4"));
    ASSERT_TRUE(makeLink(dir.filePath("outside"), tree + "/a_zip/linkToFolder"));
    ASSERT_TRUE(makeLink(dir.filePath("outside/file.jpg"), tree + "/linkToFile"));
    ASSERT_TRUE(makeLink(dir.filePath("nowhere"), tree + "/a_zip/sub/dangling"));

    DeleteFolderTree(tree + "/");
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_EQ(readFile(dir.filePath("outside/kept/precious.jpg")), "precious");
    EXPECT_EQ(readFile(dir.filePath("outside/file.jpg")), "file");
}

TEST_F(DeleteFolderTreeTest, ALinkGivenAsTheFolderIsRemovedAsALink)
{
    ASSERT_TRUE(makeLink(dir.filePath("outside"), dir.filePath("picture")));
    DeleteFolderTree(dir.filePath("picture"));
    EXPECT_FALSE(QFileInfo(dir.filePath("picture")).isSymLink());
    EXPECT_EQ(readFile(dir.filePath("outside/kept/precious.jpg")), "precious");
    EXPECT_EQ(readFile(dir.filePath("outside/file.jpg")), "file");
}

TEST_F(DeleteFolderTreeTest, NothingToDeleteIsQuiet)
{
    DeleteFolderTree(dir.filePath("missing"));
    DeleteFolderTree(QString());
    // A plain file is not a folder: it stays.
    DeleteFolderTree(dir.filePath("outside/file.jpg"));
    EXPECT_EQ(readFile(dir.filePath("outside/file.jpg")), "file");
}

TEST_F(DeleteFolderTreeTest, WhatCannotBeDeletedStays)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root ignores folder permissions";
    const QString tree = dir.filePath("picture");
    ASSERT_TRUE(QDir(dir.path()).mkpath("picture/locked"));
    ASSERT_TRUE(writeFile(tree + "/locked/stuck.jpg", "stuck"));
    ASSERT_TRUE(writeFile(tree + "/free.jpg", "free"));
    ASSERT_EQ(::chmod(QFile::encodeName(tree + "/locked").constData(), 0555), 0);
    DeleteFolderTree(tree);
    ::chmod(QFile::encodeName(tree + "/locked").constData(), 0755);
    EXPECT_FALSE(QFileInfo::exists(tree + "/free.jpg"));
    EXPECT_EQ(readFile(tree + "/locked/stuck.jpg"), "stuck");
}

TEST(Windows, KeepOnDesktopRectRules)
{
    const QRect desktop(0, 0, 1920, 1080);
    // Too wide: shrunk to the desktop and put at its left edge.
    EXPECT_EQ(KeepOnDesktopRect(QRect(100, 50, 3000, 400), desktop), QRect(0, 50, 1920, 400));
    // Beyond the right and bottom edges: moved back in.
    EXPECT_EQ(KeepOnDesktopRect(QRect(1800, 1000, 300, 200), desktop), QRect(1620, 880, 300, 200));
    // Exactly touching the edges is fine.
    EXPECT_EQ(KeepOnDesktopRect(QRect(1620, 880, 300, 200), desktop), QRect(1620, 880, 300, 200));
    // Left of and above the desktop.
    EXPECT_EQ(KeepOnDesktopRect(QRect(-50, -20, 300, 200), desktop), QRect(0, 0, 300, 200));
    // Taller than the desktop.
    EXPECT_EQ(KeepOnDesktopRect(QRect(10, 10, 300, 5000), desktop), QRect(10, 0, 300, 1080));

    // A desktop whose origin is not 0, 0 (a screen left of the primary one).
    const QRect wide(-1280, 0, 3200, 1080);
    EXPECT_EQ(KeepOnDesktopRect(QRect(-2000, 100, 500, 300), wide), QRect(-1280, 100, 500, 300));
    EXPECT_EQ(KeepOnDesktopRect(QRect(1800, 100, 500, 300), wide), QRect(1420, 100, 500, 300));
    EXPECT_EQ(KeepOnDesktopRect(QRect(0, 0, 4000, 300), wide), QRect(-1280, 0, 3200, 300));
}

TEST(Windows, KeepOnDesktopMovesARealWindow)
{
    const QRect desktop = platform::DesktopRect();
    ASSERT_FALSE(desktop.isEmpty());
    QWidget window;
    window.setGeometry(desktop.right() - 50, desktop.bottom() - 50, 200, 150);
    window.show();
    KeepOnDesktop(&window);
    EXPECT_TRUE(desktop.contains(window.frameGeometry())) << "inside the desktop now";
    EXPECT_EQ(window.size(), QSize(200, 150));

    window.resize(desktop.width() + 400, 100);
    KeepOnDesktop(&window);
    EXPECT_LE(window.frameGeometry().width(), desktop.width());
    EXPECT_EQ(window.frameGeometry().left(), desktop.left());
    KeepOnDesktop(nullptr);
}

TEST(Windows, SetDropTargetsSwitchesRegisteredWindows)
{
    QWidget main;
    QWidget toolbox;
    auto* fullScreen = new QWidget;
    QWidget unrelated;
    RegisterDropTarget(&main);
    RegisterDropTarget(&toolbox);
    RegisterDropTarget(&toolbox); // twice is once
    RegisterDropTarget(fullScreen);

    SetDropTargets(true);
    EXPECT_TRUE(main.acceptDrops());
    EXPECT_TRUE(toolbox.acceptDrops());
    EXPECT_TRUE(fullScreen->acceptDrops());
    EXPECT_FALSE(unrelated.acceptDrops());

    delete fullScreen; // a closed window is simply forgotten
    SetDropTargets(false);
    EXPECT_FALSE(main.acceptDrops());
    EXPECT_FALSE(toolbox.acceptDrops());

    UnregisterDropTarget(&toolbox);
    SetDropTargets(true);
    EXPECT_TRUE(main.acceptDrops());
    EXPECT_FALSE(toolbox.acceptDrops());
    UnregisterDropTarget(&main);
}

TEST(Shortcuts, MakeShortcutFileWritesADesktopEntry)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = "/opt/orvanto/bin/orvanto";
    const bool failed =
        MakeShortcutFile(dir.filePath("ミレット.lnk"), target, "\"/home/me/my pics\" /Time=2 /Auto=On /Repeat=Exit", "",
                         "ミレットのショートカット作成");
    EXPECT_FALSE(failed);
    const QString file = dir.filePath("ミレット.desktop");
    ASSERT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(namesIn(dir.path()), QStringList{"ミレット.desktop"});
    EXPECT_EQ(platform::ParseDesktopExec(storedValue(file, "Exec")),
              (QStringList{target, "/home/me/my pics", "/Time=2", "/Auto=On", "/Repeat=Exit"}));
    EXPECT_EQ(storedValue(file, "Path"), "/opt/orvanto/bin") << "empty working folder: the target's";
    EXPECT_EQ(storedValue(file, "Comment"), "ミレットのショートカット作成");
    EXPECT_EQ(storedValue(file, "Name"), "ミレット");

    EXPECT_FALSE(MakeShortcutFile(dir.filePath("x.lnk"), target, QStringList{"a"}, "/work", ""));
    EXPECT_EQ(storedValue(dir.filePath("x.desktop"), "Path"), "/work");
}

TEST(Shortcuts, NamesAndFailures)
{
    EXPECT_EQ(ShortcutFileName("/d/a.lnk"), "/d/a.desktop");
    EXPECT_EQ(ShortcutFileName("/d/a.LNK"), "/d/a.desktop");
    EXPECT_EQ(ShortcutFileName("/d/a.lnk.lnk"), "/d/a.lnk.desktop");
    EXPECT_EQ(ShortcutFileName("/d/a.desktop"), "/d/a.desktop");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_TRUE(MakeShortcutFile(dir.filePath("missing/a.lnk"), "/bin/true", QString(), "", ""));
    EXPECT_TRUE(namesIn(dir.path()).isEmpty());
}

TEST(Shell, OpenUrlAndSendMailTo)
{
    QList<QUrl> opened;
    platform::SetOpenUrlHandlerForTesting([&](const QUrl& url) {
        opened.append(url);
        return url.scheme() != "bad";
    });
    EXPECT_TRUE(OpenUrl("http://example.com/"));
    EXPECT_FALSE(OpenUrl("bad://x"));
    SendMailTo("mailto:maker@example.com?");
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[2].scheme(), "mailto");
    EXPECT_EQ(opened[2].path(), "maker@example.com");
    EXPECT_EQ(opened[2].query(QUrl::FullyDecoded), "subject=『ミレット』について&body= &");
    platform::SetOpenUrlHandlerForTesting({});

    EXPECT_EQ(SpecialFolderPath(platform::CSIDL_DRIVES), "/");
    EXPECT_EQ(SpecialFolderPath(0x77), "");
}

TEST(Shell, RecycleFileUsesTheOwnerAndReportsAborts)
{
    QTemporaryDir dir;
    QTemporaryDir data;
    ASSERT_TRUE(dir.isValid() && data.isValid());
    EnvGuard dataHome("XDG_DATA_HOME", data.path());
    const QString file = dir.filePath("捨てる.jpg");
    ASSERT_TRUE(writeFile(file, "x"));

    auto* main = new QWidget;
    SetHelperOwnerWindow(main);
    EXPECT_EQ(HelperOwnerWindow(), main);

    platform::SetRecycleConfirmHandlerForTesting([](const QString&) { return false; });
    EXPECT_TRUE(RecycleFile(file)) << "refused: aborted";
    EXPECT_TRUE(QFileInfo::exists(file));

    platform::SetRecycleConfirmHandlerForTesting([](const QString&) { return true; });
    EXPECT_FALSE(RecycleFile(file));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(namesIn(data.path() + "/Trash/files"), QStringList{"捨てる.jpg"});
    platform::SetRecycleConfirmHandlerForTesting({});

    delete main;
    EXPECT_EQ(HelperOwnerWindow(), nullptr) << "a destroyed owner is forgotten";
}
