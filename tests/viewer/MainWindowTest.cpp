// The main window on Qt's offscreen platform: the menu frame, the start-up
// sequence with its switches, display and navigation, and the exit sequence.
#include "FindAction.h"
#include "viewer/common/ImageControl.h"
#include "viewer/MainWindow.h"
#include "viewer/ViewerFiles.h"
#include "decode/BuiltInFormats.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/ProfileFile.h"
#include "platform/Trash.h"
#include "platform/Process.h"
#include "platform/DynamicLibrary.h"
#include <QProcess>
#include <QStandardPaths>
#include "viewer/HistoryStore.h"
#include "fullscreen/FullScreenWindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        ASSERT_TRUE(dir.isValid());
        ini = dir.filePath(QStringLiteral("orvanto.ini"));
        platform::SetMessageBoxHandlerForTesting([this](const QString& text, platform::MsgIcon, int) {
            messages << text;
            return int(platform::MsgOk);
        });
    }
    void TearDown() override { platform::SetMessageBoxHandlerForTesting({}); }

    std::unique_ptr<TfMain> start(const QStringList& args)
    {
        auto main = std::make_unique<TfMain>(args, nullptr, [this](TfMain& m) { m.Session().SetIniPath(ini); });
        main->resize(504, 356);
        main->show();
        QApplication::processEvents();
        settle(*main);
        return main;
    }

    // Pictures are decoded off the window thread: waits until the page's
    // pictures have arrived and are shown.
    static void settle(TfMain& main)
    {
        main.Pipeline().WaitForIdle();
        QApplication::processEvents();
    }

    QString picture(const QString& name, QSize size = QSize(40, 30), QColor color = Qt::red)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        const QString path = dir.filePath(name);
        image.save(path, "PNG");
        return path;
    }

    static void key(TfMain& main, int k, const QString& text = QString())
    {
        QKeyEvent event(QEvent::KeyPress, k, Qt::NoModifier, text);
        main.HandleKey(&event);
    }

    QTemporaryDir dir;
    QString ini;
    QStringList messages;
};

QStringList entriesOf(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

} // namespace

TEST_F(MainWindowTest, MenuFrameHasEveryEntryActionAndShortcut)
{
    auto main = start({});
    const QList<QAction*> top = main->menuBar()->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[0]->text(), QStringLiteral("ファイル(&F)"));
    EXPECT_EQ(top[1]->text(), QStringLiteral("編集(&E)"));
    EXPECT_EQ(top[2]->text(), QStringLiteral("ツール(&T)"));
    EXPECT_EQ(top[3]->text(), QStringLiteral("ヘルプ(&H)"));

    EXPECT_EQ(entriesOf(top[0]->menu()),
              (QStringList{"画像ファイルを開く(&O)...", "フォルダを開く(&F)...", "-", "スライドショー(&Z)",
                           "オプション(&S)...", "ショートカットファイルの作成(&Y)...", "-", "履歴(&B)",
                           "履歴のクリア(&D)", "-", "終了(&X)"}));
    EXPECT_EQ(entriesOf(top[1]->menu()), (QStringList{"１つ前の移動の取り消し(&Z)", "-", "ファイル名変更(&Y)", "-",
                                                      "クリップボードにコピー(&X)"}));
    const QStringList tools = entriesOf(top[2]->menu());
    ASSERT_GE(tools.size(), 9);
    EXPECT_EQ(tools.mid(0, 9), (QStringList{"ツールボックス(&Z)", "複写モード(&Y)", "移動モード(&X)",
                                            "転送切り替え(&W)", "-", "フルスクリーン(&V)", "-", "再生順序(&U)", "-"}));
    EXPECT_EQ(entriesOf(top[3]->menu()), (QStringList{"ヘルプ表示(&Z)", "バージョン情報(&Y)"}));

    const struct {
        const char* name;
        QKeySequence key;
    } shortcuts[] = {
        {"fileopen1", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"OpenFolder1", QKeySequence(Qt::CTRL | Qt::Key_F)},
        {"slideshow1", QKeySequence(Qt::Key_F2)},
        {"option1", QKeySequence(Qt::Key_F5)},
        {"exit1", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"MoveUndo1", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {"fNameChange1", QKeySequence(Qt::CTRL | Qt::Key_B)},
        {"clipcopy1", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {"ToolBox1", QKeySequence(Qt::Key_F3)},
        {"CopyMode1", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"MoveMode1", QKeySequence(Qt::CTRL | Qt::Key_M)},
        {"Transfer1", QKeySequence(Qt::CTRL | Qt::Key_T)},
        {"Max1", QKeySequence(Qt::Key_F4)},
        {"menu_random", QKeySequence(Qt::Key_F7)},
        {"menu_normal", QKeySequence(Qt::Key_F8)},
        {"menu_reverse", QKeySequence(Qt::Key_F9)},
        {"Help1", QKeySequence(Qt::Key_F1)},
        {"about1", QKeySequence()},
        {"ShortcutCreate", QKeySequence()},
        {"ListDel1", QKeySequence()},
    };
    for (const auto& s : shortcuts) {
        QAction* action = FindAction(*main, QString::fromLatin1(s.name));
        ASSERT_NE(action, nullptr) << s.name;
        EXPECT_EQ(action->shortcut(), s.key) << s.name;
    }
    for (int n = 1; n <= 6; ++n)
        ASSERT_NE(FindAction(*main, QStringLiteral("ov%1").arg(n)), nullptr);
}

TEST_F(MainWindowTest, EmptyStartShowsTheEmptyState)
{
    auto main = start({});
    EXPECT_TRUE(main->windowTitle().isEmpty());
    EXPECT_EQ(main->statusBar()->currentMessage(), QStringLiteral("SlideShow OFF"));
    EXPECT_FALSE(main->Session().State().Viewing);
    EXPECT_FALSE(FindAction(*main, "slideshow1")->isEnabled());
    EXPECT_FALSE(FindAction(*main, "MoveUndo1")->isEnabled());
    EXPECT_FALSE(FindAction(*main, "List1")->isEnabled());
    EXPECT_FALSE(FindAction(*main, "ListDel1")->isVisible());
    EXPECT_TRUE(FindAction(*main, "CopyMode1")->isChecked());
    EXPECT_EQ(main->Session().State().PlayOrder, 2);
    EXPECT_EQ(main->Session().Config().Option.nButton, 5);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindowTest, FolderArgumentIsListedSortedAndShown)
{
    const QString b = picture(QStringLiteral("b.PNG"));
    const QString a = picture(QStringLiteral("a.png"), QSize(100, 50));
    picture(QStringLiteral("c.png"));
    QFile(dir.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
    auto main = start({dir.path(), QStringLiteral("/Time=2.5")});
    ASSERT_EQ(main->Session().Images().Count(), 3);
    EXPECT_EQ(main->Session().Images().At(0), a);
    EXPECT_EQ(main->Session().Images().At(1), b);
    EXPECT_TRUE(main->Session().State().Viewing);
    EXPECT_EQ(main->windowTitle(), QStringLiteral("ミレット -- [1/3] ") + a);
    EXPECT_EQ(main->Session().Config().Option.Interval, 2);
    EXPECT_EQ(main->Session().Config().Option.IntervalM, 500);
    EXPECT_FALSE(main->Session().State().SwitchLaunch);
    // The picture is shown at its natural size in the middle of the area.
    TImageControl* image = main->ImageAt(0);
    EXPECT_EQ(image->size(), QSize(100, 50));
    EXPECT_EQ(image->Hint(), a);

    key(*main, Qt::Key_Left); // backward from the first wraps to the last
    EXPECT_EQ(main->Session().State().CurrentIndex, 2);
    key(*main, Qt::Key_PageDown);
    EXPECT_EQ(main->Session().State().CurrentIndex, 0);
    key(*main, Qt::Key_Right);
    EXPECT_EQ(main->windowTitle(), QStringLiteral("ミレット -- [2/3] ") + b);

    // A file removed behind the program's back is dropped when it would show.
    QFile::remove(b);
    main->Session().ShowPage();
    EXPECT_EQ(main->Session().Images().Count(), 2);
    EXPECT_EQ(main->windowTitle(), QStringLiteral("ミレット -- [2/2] ") + dir.filePath(QStringLiteral("c.png")));
}

TEST_F(MainWindowTest, SpreadShowsUndecodableLabelAndKeepsTheOtherPicture)
{
    picture(QStringLiteral("1.png"));
    QFile broken(dir.filePath(QStringLiteral("2.png")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a png at all");
    broken.close();
    auto main = start({dir.path()});
    main->Session().Config().Tool.State = 1; // spread, odd start
    main->Session().Config().Tool.Orient = 1; // right to left
    main->ApplyDisplayForm();
    settle(*main);
    // Item 0 on the right half, the undecodable item 1 on the left half.
    EXPECT_FALSE(main->LabelAt(1)->isVisible());
    EXPECT_TRUE(main->LabelAt(0)->isVisible());
    EXPECT_EQ(main->LabelAt(0)->text(), QStringLiteral("表示不可"));
    EXPECT_GE(main->ImageAt(1)->x(), main->AreaWidth());
}

TEST_F(MainWindowTest, LastImageGoneShowsTheNoImagesBox)
{
    const QString only = picture(QStringLiteral("only.png"));
    auto main = start({only});
    ASSERT_TRUE(main->Session().State().Viewing);
    QFile::remove(only);
    main->Session().Images().Clear();
    main->Session().ShowPage();
    EXPECT_EQ(messages, QStringList{QStringLiteral("表示する画像はありません。")});
    EXPECT_FALSE(main->Session().State().Viewing);
    EXPECT_TRUE(main->windowTitle().isEmpty());
}

TEST_F(MainWindowTest, ExitWritesSettingsUnlessStartedWithASwitch)
{
    {
        auto main = start({QStringLiteral("/Time=3.25")});
        main->close();
    }
    platform::ProfileFile written;
    ASSERT_TRUE(written.Load(ini));
    EXPECT_EQ(written.Value(QStringLiteral("Option"), QStringLiteral("Interval")).value_or(QString()),
              QStringLiteral("3"));
    EXPECT_EQ(written.Value(QStringLiteral("Option"), QStringLiteral("IntervalM")).value_or(QString()),
              QStringLiteral("250"));
    EXPECT_EQ(written.Value(QStringLiteral("Tool"), QStringLiteral("Show")).value_or(QString()), QStringLiteral("0"));

    QFile::remove(ini);
    {
        auto main = start({QStringLiteral("/Repeat=Exit"), QStringLiteral("/Zoom")});
        EXPECT_TRUE(main->Session().State().SwitchLaunch);
        EXPECT_EQ(main->Session().State().RepeatMode, -1);
        main->close();
    }
    EXPECT_FALSE(QFile::exists(ini));
}

TEST_F(MainWindowTest, TwoInstancesKeepEachOthersChangesAndAFailedSaveIsSaid)
{
    {
        // The first instance runs while a second one sets destination 2
        // and ends; the first one's exit keeps that destination.
        auto first = start({});
        auto second = start({});
        second->Session().Config().Option.Buttons[1] = {QStringLiteral("/pictures/kept"), QStringLiteral("kept"),
                                                        QString()};
        second->close();
        first->Session().Config().Option.Copy = false;
        first->close();
    }
    platform::ProfileFile written;
    ASSERT_TRUE(written.Load(ini));
    EXPECT_EQ(written.Value(QStringLiteral("Option"), QStringLiteral("Folder2")).value_or(QString()),
              QStringLiteral("/pictures/kept"));
    EXPECT_EQ(written.Value(QStringLiteral("Option"), QStringLiteral("Copy")).value_or(QString()), QStringLiteral("0"));
    EXPECT_TRUE(messages.isEmpty());

    // Settings that cannot be written: one message, in Japanese, naming
    // the places that were tried.
    ini = dir.filePath(QStringLiteral("a folder, not a file"));
    ASSERT_TRUE(QDir().mkpath(ini));
    {
        auto main = start({});
        main->close();
    }
    ASSERT_EQ(messages.size(), 1) << messages.join('|').toStdString();
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("設定を保存できません。"))) << messages[0].toStdString();
    for (const QString& folder : platform::SettingsFolderCandidates())
        EXPECT_TRUE(messages[0].contains(folder)) << folder.toStdString();
}

TEST_F(MainWindowTest, HistoryIsPushedWhenAListIsLoaded)
{
    picture(QStringLiteral("h1.png"));
    auto main = start({dir.path()});
    EXPECT_EQ(main->Session().History().Count(), 1);
    QAction* ov1 = FindAction(*main, "ov1");
    EXPECT_TRUE(ov1->isVisible());
    EXPECT_EQ(ov1->text(), dir.path() + QLatin1Char('/'));
    EXPECT_EQ(ov1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));
    EXPECT_TRUE(FindAction(*main, "List1")->isEnabled());
    EXPECT_TRUE(FindAction(*main, "ListDel1")->isVisible());
    main->ClearHistory();
    EXPECT_EQ(main->Session().History().Count(), 0);
    EXPECT_FALSE(FindAction(*main, "ListDel1")->isVisible());
}

TEST_F(MainWindowTest, SlideshowToggleAndEndOfListRule)
{
    picture(QStringLiteral("s1.png"));
    picture(QStringLiteral("s2.png"));
    auto main = start({dir.path(), QStringLiteral("/Repeat=Off")});
    main->Session().ToggleSlideshow();
    EXPECT_TRUE(FindAction(*main, "slideshow1")->isChecked());
    EXPECT_EQ(main->statusBar()->currentMessage(), QStringLiteral("SlideShow ON - 2秒"));
    main->Session().SlideshowTick();
    EXPECT_EQ(main->Session().State().CurrentIndex, 1);
    main->Session().SlideshowTick(); // past the end with /Repeat=Off: the show stops
    EXPECT_FALSE(FindAction(*main, "slideshow1")->isChecked());
    EXPECT_EQ(main->statusBar()->currentMessage(), QStringLiteral("SlideShow OFF"));
    EXPECT_TRUE(main->windowTitle().startsWith(QStringLiteral("ミレット -- [2/2] ")));
}

TEST_F(MainWindowTest, ClickRuleAndWheel)
{
    for (int i = 0; i < 3; ++i)
        picture(QStringLiteral("m%1.png").arg(i));
    auto main = start({dir.path()});
    main->HandleMousePress(QPoint(10, 10));
    main->HandleMouseRelease(QPoint(16, 14), Qt::LeftButton); // moved 10: a click
    EXPECT_EQ(main->Session().State().CurrentIndex, 1);
    main->HandleMousePress(QPoint(10, 10));
    main->HandleMouseRelease(QPoint(17, 14), Qt::LeftButton); // moved 11: nothing
    EXPECT_EQ(main->Session().State().CurrentIndex, 1);
    main->HandleMousePress(QPoint(0, 0));
    main->HandleMouseRelease(QPoint(0, 0), Qt::RightButton);
    EXPECT_EQ(main->Session().State().CurrentIndex, 0);
    main->HandleMouseRelease(QPoint(0, 0), Qt::MiddleButton);
    EXPECT_EQ(main->Session().State().CurrentIndex, 0);
    main->HandleWheel(-120); // wheel down: backward, wrapping
    EXPECT_EQ(main->Session().State().CurrentIndex, 2);
    main->HandleWheel(120);
    EXPECT_EQ(main->Session().State().CurrentIndex, 0);
}

TEST_F(MainWindowTest, PlayOrdersReverseAndShuffleTheSameWayEveryRun)
{
    for (const char* n : {"a.png", "b.png", "c.png", "d.png"})
        picture(QString::fromLatin1(n));
    auto main = start({dir.path()});
    main->Session().SelectPlayOrder(3);
    EXPECT_EQ(main->Session().Images().At(0), dir.filePath(QStringLiteral("d.png")));
    EXPECT_EQ(main->Session().Images().At(3), dir.filePath(QStringLiteral("a.png")));
    main->Session().SelectPlayOrder(1);
    const QStringList shuffled = main->Session().Images().ToStringList();
    main->Session().SelectPlayOrder(2);
    EXPECT_EQ(main->Session().Images().At(0), dir.filePath(QStringLiteral("a.png")));
    auto second = start({dir.path()});
    second->Session().SelectPlayOrder(3);
    second->Session().SelectPlayOrder(1);
    EXPECT_EQ(second->Session().Images().ToStringList(), shuffled);
}

TEST_F(MainWindowTest, DeleteSendsToTrashUnlessRefused)
{
    const QString a = picture(QStringLiteral("del-a.png"));
    const QString b = picture(QStringLiteral("del-b.png"));
    auto main = start({dir.path()});
    platform::SetRecycleConfirmHandlerForTesting([](const QString&) { return false; });
    key(*main, Qt::Key_Delete);
    EXPECT_TRUE(QFile::exists(a));
    EXPECT_EQ(main->Session().Images().Count(), 2);
    // While the slideshow runs, Delete does nothing at all.
    bool asked = false;
    platform::SetRecycleConfirmHandlerForTesting([&](const QString&) {
        asked = true;
        return false;
    });
    main->Session().ToggleSlideshow();
    key(*main, Qt::Key_Delete);
    EXPECT_FALSE(asked);
    main->Session().ToggleSlideshow();
    platform::SetRecycleConfirmHandlerForTesting({});
}

TEST_F(MainWindowTest, HistoryEntryReopensItsList)
{
    const QString first = picture(QStringLiteral("x1.png"));
    picture(QStringLiteral("x2.png"));
    auto main = start({dir.path()});
    ASSERT_EQ(main->Session().History().Count(), 1);
    main->Session().Images().Clear();
    main->Session().OpenHistory(1);
    EXPECT_EQ(main->Session().Images().Count(), 2);
    EXPECT_EQ(main->Session().Images().At(0), first);
    EXPECT_EQ(main->Session().History().Count(), 1); // taken out and pushed again

    // A stored list whose first picture is gone: the box, then the empty state.
    HistoryStore::WriteList(main->Session().History().HistoryFileName(1), {dir.filePath(QStringLiteral("gone.png"))});
    main->Session().OpenHistory(1);
    EXPECT_EQ(messages.last(), QStringLiteral("指定された場所に画像が存在しません。"));
    EXPECT_FALSE(main->Session().State().Viewing);
    EXPECT_TRUE(main->Session().Images().IsEmpty());

    // An empty history file opens as an empty list.
    main->Session().History().Push({first});
    HistoryStore::WriteList(main->Session().History().HistoryFileName(1), {});
    main->Session().OpenHistory(1);
    EXPECT_TRUE(main->Session().Images().IsEmpty());
    EXPECT_FALSE(main->Session().State().Viewing);
}

TEST_F(MainWindowTest, DropReplacesTheListAndSkipsWhatIsNotAPicture)
{
    const QString a = picture(QStringLiteral("drop-a.png"));
    const QString song = dir.filePath(QStringLiteral("song.mp3"));
    QFile(song).open(QIODevice::WriteOnly);
    const QString jp = dir.filePath(QStringLiteral("x.jp"));
    QFile(jp).open(QIODevice::WriteOnly);
    auto main = start({});
    main->Session().DropPaths({a, a, song, jp});
    // x.jp passes the image test: ".jp" occurs in "*.jpg" of the filter.
    EXPECT_EQ(main->Session().Images().ToStringList(), (QStringList{a, jp}));
    EXPECT_TRUE(main->Session().State().Viewing);
    EXPECT_EQ(main->StatusText(), QStringLiteral("SlideShow OFF"));
}

TEST_F(MainWindowTest, FullScreenShowsTheSamePicturesAndCanBeClosedBySystem)
{
    picture(QStringLiteral("f1.png"), QSize(100, 80));
    auto main = start({dir.path()});
    main->ToggleFullScreen();
    ASSERT_NE(main->FullScreenWindow(), nullptr);
    QApplication::processEvents();
    settle(*main);
    EXPECT_TRUE(main->Session().State().FullScreen);
    EXPECT_TRUE(FindAction(*main, "Max1")->isChecked());
    EXPECT_EQ(main->FullScreenWindow()->ImageAt(0)->Hint(), dir.filePath(QStringLiteral("f1.png")));
    EXPECT_FALSE(main->isVisible());
    // Closed by the system (Alt+F4): everything comes back in line.
    main->FullScreenWindow()->close();
    QApplication::processEvents();
    EXPECT_EQ(main->FullScreenWindow(), nullptr);
    EXPECT_FALSE(main->Session().State().FullScreen);
    EXPECT_FALSE(FindAction(*main, "Max1")->isChecked());
    EXPECT_TRUE(main->isVisible());
}

TEST_F(MainWindowTest, SiblingsSwitchListsTheFolderAndShowsTheNamedPictureFirst)
{
    const QString a = picture(QStringLiteral("a.png"));
    const QString b = picture(QStringLiteral("B.png"));
    const QString c = picture(QStringLiteral("c.png"));
    QFile(dir.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
    {
        auto main = start({QStringLiteral("/Siblings=On"), b});
        ASSERT_EQ(main->Session().Images().ToStringList(), (QStringList{a, b, c}));
        EXPECT_EQ(main->Session().State().CurrentIndex, 1);
        EXPECT_EQ(main->windowTitle(), QStringLiteral("ミレット -- [2/3] ") + b);
        EXPECT_FALSE(main->Session().State().SwitchLaunch);
        key(*main, Qt::Key_Right);
        EXPECT_EQ(main->windowTitle(), QStringLiteral("ミレット -- [3/3] ") + c);
        main->close();
    }
    {
        // Without the switch the one picture is the whole list.
        auto main = start({b});
        EXPECT_EQ(main->Session().Images().ToStringList(), QStringList{b});
        main->close();
    }
    {
        // Two pictures: the switch does not apply.
        auto main = start({QStringLiteral("/Siblings=On"), c, a});
        EXPECT_EQ(main->Session().Images().ToStringList(), (QStringList{a, c}));
        EXPECT_EQ(main->Session().State().CurrentIndex, 0);
        main->close();
    }
    {
        // Started full screen, the named picture is the first shown there too.
        auto full = std::make_unique<TfMain>(QStringList{c, QStringLiteral("/Siblings=on"), QStringLiteral("/Full=on")},
                                             nullptr, [this](TfMain& m) { m.Session().SetIniPath(ini); });
        QApplication::processEvents();
        ASSERT_NE(full->FullScreenWindow(), nullptr);
        EXPECT_EQ(full->Session().Images().Count(), 3);
        EXPECT_EQ(full->Session().State().CurrentIndex, 2);
        full->close();
    }
}

TEST_F(MainWindowTest, AutoSwitchStartsTheSlideshowAndFullSwitchStartsFullScreen)
{
    picture(QStringLiteral("auto.png"));
    auto main = start({dir.path(), QStringLiteral("/Auto=On"), QStringLiteral("/Time=1.5")});
    EXPECT_TRUE(main->Session().SlideshowRunning());
    EXPECT_FALSE(main->Session().State().SwitchLaunch);
    EXPECT_EQ(main->StatusText(), QStringLiteral("SlideShow ON - 2秒")); // /Auto came before /Time
    auto full = std::make_unique<TfMain>(QStringList{dir.path(), QStringLiteral("/Full=on")}, nullptr,
                                         [this](TfMain& m) { m.Session().SetIniPath(ini); });
    QApplication::processEvents();
    EXPECT_TRUE(full->Session().State().SwitchLaunch);
    ASSERT_NE(full->FullScreenWindow(), nullptr);
    EXPECT_FALSE(full->Session().State().StartFullScreen); // cleared by the first ShowImages
    EXPECT_TRUE(full->Session().State().Viewing);
}

TEST(MainWindowHelpers, StaleWorkFoldersAreRemovedLiveOnesKept)
{
    QTemporaryDir base;
    const QString mine = WorkFolderFor(base.path(), platform::CurrentProcessId());
    QDir().mkpath(mine + QStringLiteral("/a_zip"));
    QDir().mkpath(base.filePath(QStringLiteral("picture/old_zip")));
    QDir().mkpath(base.filePath(QStringLiteral("picture-999999999/x")));
    QDir().mkpath(base.filePath(QStringLiteral("unrelated")));
    RemoveStaleWorkFolders(base.path());
    EXPECT_TRUE(QFileInfo::exists(mine + QStringLiteral("/a_zip")));
    EXPECT_FALSE(QFileInfo::exists(base.filePath(QStringLiteral("picture"))));
    EXPECT_FALSE(QFileInfo::exists(base.filePath(QStringLiteral("picture-999999999"))));
    EXPECT_TRUE(QFileInfo::exists(base.filePath(QStringLiteral("unrelated"))));
}

TEST(MainWindowHelpers, ExtensionTestsAndApplicationNames)
{
    const QString filter = QStringLiteral("すべて (*.gif;*.jpg)|*.gif;*.jpg|compuserve graphic (*.gif)|*.gif");
    EXPECT_TRUE(IsImageName(QStringLiteral("/a/x.jp"), filter));
    EXPECT_TRUE(IsImageName(QStringLiteral("/a/X.JPG"), filter));
    EXPECT_FALSE(IsImageName(QStringLiteral("/a/noext"), filter));
    EXPECT_FALSE(IsImageName(QStringLiteral("/a.b/noext"), filter));
    EXPECT_TRUE(IsArchiveName(QStringLiteral("/a/p.GZ")));
    EXPECT_TRUE(IsArchiveName(QStringLiteral("/a/p.gza")));
    EXPECT_TRUE(IsArchiveName(QStringLiteral("/a/p.7z")));
    EXPECT_TRUE(IsArchiveName(QStringLiteral("/a/p.cbz")));
    EXPECT_TRUE(IsArchiveName(QStringLiteral("/a/p.CBR")));
    EXPECT_TRUE(IsExcludedName(QStringLiteral("/a/song.MP3")));
    EXPECT_EQ(ApplicationName(QStringLiteral("/opt/tools/Viewer.exe")), QStringLiteral("Viewer"));
    EXPECT_EQ(ApplicationName(QStringLiteral("/usr/bin/gimp")), QStringLiteral("gimp"));
    EXPECT_EQ(LaunchArguments(QStringLiteral("/x/gmask.exe"), QStringLiteral("/p/a b.jpg")),
              (QStringList{"/p/a", "b.jpg"}));
    EXPECT_EQ(LaunchArguments(QStringLiteral("/x/gimp"), QStringLiteral("/p/a b.jpg")), QStringList{"/p/a b.jpg"});

    QTemporaryDir work;
    EXPECT_EQ(UnpackFolderFor(work.path(), QStringLiteral("/x/photos.zip")),
              work.filePath(QStringLiteral("photos_zip")));
    QDir(work.path()).mkdir(QStringLiteral("photos_zip"));
    EXPECT_EQ(UnpackFolderFor(work.path(), QStringLiteral("/x/photos.zip")),
              work.filePath(QStringLiteral("photos_zip[001]")));
}

TEST_F(MainWindowTest, ArchiveOnTheCommandLineIsUnpackedIntoTheWorkFolder)
{
    platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
    QDir(dir.path()).mkdir(QStringLiteral("in"));
    picture(QStringLiteral("in/p2.png"));
    picture(QStringLiteral("in/p1.png"));
    const QString zip = dir.filePath(QStringLiteral("my.photos.zip"));
    if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty())
        GTEST_SKIP() << "zip is not installed";
    QProcess tool;
    tool.setWorkingDirectory(dir.filePath(QStringLiteral("in")));
    tool.start(QStringLiteral("zip"), {QStringLiteral("-q"), zip, QStringLiteral("p1.png"), QStringLiteral("p2.png")});
    ASSERT_TRUE(tool.waitForFinished(20000));
    ASSERT_EQ(tool.exitCode(), 0);

    auto main = start({zip});
    ASSERT_FALSE(main->Session().WorkFolder().isEmpty());
    ASSERT_EQ(main->Session().Images().Count(), 2) << main->Session().Images().ToStringList().join(' ').toStdString();
    const QString unpacked = main->Session().WorkFolder() + QStringLiteral("/my_photos_zip/");
    EXPECT_EQ(main->Session().Images().At(0), unpacked + QStringLiteral("p1.png"));
    EXPECT_EQ(main->Session().Images().At(1), unpacked + QStringLiteral("p2.png"));
    EXPECT_TRUE(main->Session().State().Viewing);
    // The same archive again goes to a numbered folder.
    main->Session().DropPaths({zip});
    ASSERT_EQ(main->Session().Images().Count(), 2);
    EXPECT_TRUE(main->Session().Images().At(0).startsWith(main->Session().WorkFolder()
                                                          + QStringLiteral("/my_photos_zip[001]/")));
    // The work folder goes away with the program.
    const QString work = main->Session().WorkFolder();
    main->close();
    EXPECT_FALSE(QFileInfo::exists(work));
}
