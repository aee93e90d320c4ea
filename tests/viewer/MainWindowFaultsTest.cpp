// The main window on Qt's offscreen platform: starts in full screen and
// with a slideshow, the status bar's texts (the slideshow's, and why a
// picture cannot be shown), the picture without a tooltip, wheel steps,
// Home and End, archives chosen in the open dialog, and archives that
// reproduce themselves.
#include "FindAction.h"
#include "viewer/MainWindow.h"
#include "viewer/UndecodableReason.h"
#include "viewer/common/ImageControl.h"
#include "fullscreen/FullScreenWindow.h"
#include "decode/BuiltInFormats.h"
#include "decode/Picture.h"
#include "helper/HelperClient.h"
#include "platform/Desktop.h"
#include "platform/DynamicLibrary.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QWindow>
#include <QTemporaryDir>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class MainWindowFaultsTest : public ::testing::Test {
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
        platform::SetBeepHandlerForTesting([] {});
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandlerForTesting({});
        platform::SetBeepHandlerForTesting({});
    }

    std::unique_ptr<TfMain> start(const QStringList& args, const std::function<void(TfMain&)>& attach = {})
    {
        auto main = std::make_unique<TfMain>(args, nullptr, [&](TfMain& m) {
            m.Session().SetIniPath(ini);
            if (attach)
                attach(m);
        });
        main->resize(504, 356);
        main->ShowAtStart(); // as the program does
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

    QString picture(const QString& name, QColor color = Qt::red)
    {
        QImage image(QSize(40, 30), QImage::Format_RGB32);
        image.fill(color);
        const QString path = dir.filePath(name);
        image.save(path, "PNG");
        return path;
    }
    QString file(const QString& name, const QByteArray& data)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(data);
        return path;
    }
    static void key(TfMain& main, int k)
    {
        QKeyEvent event(QEvent::KeyPress, k, Qt::NoModifier);
        main.HandleKey(&event);
        settle(main);
    }

    QTemporaryDir dir;
    QString ini;
    QStringList messages;
};

} // namespace

TEST_F(MainWindowFaultsTest, FullScreenStartLeavesTheMainWindowHiddenAndStoresOneList)
{
    picture(QStringLiteral("f1.png"));
    picture(QStringLiteral("f2.png"));
    // A toolbox opens at the start, as with [Tool] Show=1.
    QPointer<QWidget> toolbox;
    auto main = start({dir.path(), QStringLiteral("/Full=on")}, [&](TfMain& m) {
        m.Session().Config().Tool.Show = true;
        m.ToggleToolboxHandler = [&](TfMain& owner) {
            toolbox = new QWidget(&owner, Qt::Tool);
            toolbox->resize(122, 400);
            toolbox->show();
            owner.Session().SetToolboxOpen(true);
        };
    });
    QApplication::processEvents();
    ASSERT_NE(main->FullScreenWindow(), nullptr);
    EXPECT_TRUE(main->FullScreenWindow()->isVisible());
    EXPECT_FALSE(main->isVisible());
    EXPECT_FALSE(main->windowHandle() && main->windowHandle()->isVisible());
    EXPECT_EQ(main->Session().History().Count(), 1);
    // Leaving full screen brings the main window back, still with one list.
    FindAction(*main, "Max1")->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->Session().History().Count(), 1);
}

TEST_F(MainWindowFaultsTest, AutoStartDisablesTheOrganizingControlsAsF2Does)
{
    picture(QStringLiteral("a1.png"));
    const QStringList organizing = {"fNameChange1", "Transfer1"};
    auto attach = [](TfMain& m) {
        m.RenameHandler = [](TfMain&) {};
        m.TransferToggleHandler = [](TfMain&) {};
    };
    auto main = start({dir.path(), QStringLiteral("/Time=30"), QStringLiteral("/Auto=on")}, attach);
    ASSERT_TRUE(main->Session().SlideshowOn());
    QMap<QString, bool> atStart;
    for (const QString& name : organizing)
        atStart[name] = FindAction(*main, name)->isEnabled();
    // F2 off and on again: the state a slideshow started by hand has.
    FindAction(*main, "slideshow1")->trigger();
    FindAction(*main, "slideshow1")->trigger();
    ASSERT_TRUE(main->Session().SlideshowOn());
    for (const QString& name : organizing) {
        EXPECT_FALSE(FindAction(*main, name)->isEnabled()) << name.toStdString() << " after F2";
        EXPECT_EQ(atStart[name], FindAction(*main, name)->isEnabled()) << name.toStdString();
    }
}

TEST_F(MainWindowFaultsTest, SlideshowTextStaysWhenTheMenusSendStatusTips)
{
    picture(QStringLiteral("s1.png"));
    auto main = start({dir.path(), QStringLiteral("/Time=30"), QStringLiteral("/Auto=on")});
    const QString text = QStringLiteral("SlideShow ON - 30秒");
    ASSERT_EQ(main->StatusText(), text);
    // What a menu entry under the pointer sends to its window.
    QStatusTipEvent tip{QString()};
    QApplication::sendEvent(main.get(), &tip);
    EXPECT_EQ(main->StatusText(), text);
    EXPECT_EQ(main->statusBar()->currentMessage(), text);
}

TEST_F(MainWindowFaultsTest, NoPathTooltipOverThePicture)
{
    const QString path = picture(QStringLiteral("t1.png"));
    auto main = start({path});
    auto* image = main->findChild<TImageControl*>(QStringLiteral("Image1"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Hint(), path); // kept for dragging the file out
    EXPECT_TRUE(image->toolTip().isEmpty());
}

TEST_F(MainWindowFaultsTest, WheelStepsOnePicturePerNotchAndHomeEndGoToTheEnds)
{
    for (const char* name : {"w1.png", "w2.png", "w3.png", "w4.png"})
        picture(QString::fromLatin1(name));
    auto main = start({dir.path()});
    ViewerSession& s = main->Session();
    ASSERT_EQ(s.State().CurrentIndex, 0);
    // A touchpad: a notch in eight turns of 15.
    for (int i = 0; i < 8; ++i)
        main->HandleWheel(15);
    EXPECT_EQ(s.State().CurrentIndex, 1);
    main->HandleWheel(120); // a classic notch
    EXPECT_EQ(s.State().CurrentIndex, 2);
    main->HandleWheel(-60);
    main->HandleWheel(-60);
    EXPECT_EQ(s.State().CurrentIndex, 1);
    key(*main, Qt::Key_End);
    EXPECT_EQ(s.State().CurrentIndex, 3);
    EXPECT_TRUE(main->windowTitle().endsWith(QStringLiteral("[4/4] ") + dir.filePath(QStringLiteral("w4.png"))));
    key(*main, Qt::Key_Home);
    EXPECT_EQ(s.State().CurrentIndex, 0);
    EXPECT_TRUE(main->windowTitle().contains(QStringLiteral("[1/4] ")));
}

TEST_F(MainWindowFaultsTest, OpenDialogUnpacksAnArchiveAsADropDoes)
{
    if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty())
        GTEST_SKIP() << "zip is not installed";
    platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
    QDir(dir.path()).mkdir(QStringLiteral("in"));
    picture(QStringLiteral("in/z1.png"));
    picture(QStringLiteral("in/z2.png"));
    const QString zip = dir.filePath(QStringLiteral("album.zip"));
    QProcess tool;
    tool.setWorkingDirectory(dir.filePath(QStringLiteral("in")));
    tool.start(QStringLiteral("zip"), {QStringLiteral("-q"), zip, QStringLiteral("z1.png"), QStringLiteral("z2.png")});
    ASSERT_TRUE(tool.waitForFinished(20000));
    ASSERT_EQ(tool.exitCode(), 0);
    const QString loose = picture(QStringLiteral("loose.png"));

    auto main = start({}, [&](TfMain& m) { m.OpenFilesDialog = [&](TfMain&) { return QStringList{zip, loose}; }; });
    FindAction(*main, "fileopen1")->trigger();
    const ImageList& images = main->Session().Images();
    ASSERT_EQ(images.Count(), 3) << images.ToStringList().join(' ').toStdString();
    const QString unpacked = main->Session().WorkFolder() + QStringLiteral("/album_zip/");
    EXPECT_TRUE(images.ToStringList().contains(unpacked + QStringLiteral("z1.png")));
    EXPECT_TRUE(images.ToStringList().contains(unpacked + QStringLiteral("z2.png")));
    EXPECT_TRUE(images.ToStringList().contains(loose));
    EXPECT_FALSE(images.ToStringList().contains(zip));
    EXPECT_TRUE(main->Session().State().Viewing);
}

// A folder holding a gzip file that decompresses to itself and a gzipped
// tar archive that holds itself, between two pictures, opened with the
// archiver libraries in the helper as the program runs them: each archive
// is named in one message, the archive holding itself is unpacked down to
// the depth limit and no further, no partial file is left in the work
// folder, and both pictures show.
TEST_F(MainWindowFaultsTest, ArchivesThatReproduceThemselvesCostOnlyThemselves)
{
    platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
    helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
    helper::SetIsolation(true);
    helper::FaultNotices::ResetForTesting();
    QDir(dir.path()).mkdir(QStringLiteral("in"));
    const QString first = picture(QStringLiteral("in/a1.png"), Qt::red);
    const QString second = picture(QStringLiteral("in/z2.png"), Qt::blue);
    for (const char* name : {"gzip-quine.gz", "tar-quine.tar.gz"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORVANTO_TEST_DATA "/archives/") + QLatin1String(name),
                                dir.filePath(QStringLiteral("in/") + QLatin1String(name))));

    auto main = start({dir.filePath(QStringLiteral("in"))});
    ViewerSession& s = main->Session();
    EXPECT_EQ(s.Images().ToStringList(), (QStringList{first, second}));
    EXPECT_EQ(s.CurrentPath(), first);
    EXPECT_EQ(main->StatusText(), QStringLiteral("SlideShow OFF")) << "the picture shows";
    key(*main, Qt::Key_Right);
    EXPECT_EQ(s.CurrentPath(), second);
    EXPECT_EQ(main->StatusText(), QStringLiteral("SlideShow OFF"));

    const QStringList told = helper::FaultNotices::ReportedKeys();
    EXPECT_EQ(told.size(), 2) << told.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(told.contains(QStringLiteral("arc:") + dir.filePath(QStringLiteral("in/gzip-quine.gz"))))
        << told.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(told.filter(QStringLiteral("arc-depth:")).size(), 1);
    EXPECT_TRUE(told.filter(QStringLiteral("arc-depth:")).value(0).endsWith(QStringLiteral("/tar-quine.tar.gz")));

    // In the work folder: the eight levels of the archive holding itself,
    // each one whole file in a folder of its own, and nothing else (no
    // empty folder for the archives that were refused).
    QFile original(QStringLiteral(ORVANTO_TEST_DATA "/archives/tar-quine.tar.gz"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray whole = original.readAll();
    QStringList entries;
    QDirIterator it(s.WorkFolder(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries << path;
        if (it.fileInfo().isDir()) {
            EXPECT_EQ(QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      QStringList{QStringLiteral("tar-quine.tar.gz")})
                << path.toStdString();
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), whole) << path.toStdString();
        }
    }
    EXPECT_EQ(entries.size(), 2 * 8) << entries.join(QLatin1Char(' ')).toStdString();
    main->close();
    helper::SetIsolation(false);
}

TEST_F(MainWindowFaultsTest, StatusBarSaysWhyAPictureCannotBeShownUntilTheNext)
{
    picture(QStringLiteral("p1.png"));
    file(QStringLiteral("p2.png"), QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(40, 'x')); // damaged
    file(QStringLiteral("p3.bmp"), QByteArray("BM") + QByteArray(60, '\0')); // damaged
    auto main = start({dir.path()});
    ViewerSession& s = main->Session();
    EXPECT_EQ(main->StatusText(), QStringLiteral("SlideShow OFF"));
    key(*main, Qt::Key_Right);
    EXPECT_EQ(s.CurrentPath(), dir.filePath(QStringLiteral("p2.png")));
    EXPECT_EQ(main->StatusText(), QStringLiteral("表示できません: 画像データが壊れています (p2.png)"));
    key(*main, Qt::Key_Right);
    EXPECT_EQ(main->StatusText(), QStringLiteral("表示できません: 画像データが壊れています (p3.bmp)"));
    // The next picture that shows puts the slideshow's text back.
    key(*main, Qt::Key_Right);
    EXPECT_EQ(s.CurrentPath(), dir.filePath(QStringLiteral("p1.png")));
    EXPECT_EQ(main->StatusText(), QStringLiteral("SlideShow OFF"));
}

TEST(UndecodableReasonTest, EachReasonIsToldApart)
{
    RegisterBuiltInFormats();
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& data) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(data);
        return dir.filePath(name);
    };
    TPicture picture;
    // An extension no decoder takes (the open dialog lets any file through).
    EXPECT_EQ(LoadPictureWithReason(write(QStringLiteral("notes.txt"), "text"), picture),
              UndecodableReason::UnknownFormat);
    EXPECT_EQ(LoadPictureWithReason(write(QStringLiteral("cut.jpg"), "\xFF\xD8\xFF"), picture),
              UndecodableReason::DamagedData);
    EXPECT_EQ(LoadPictureWithReason(dir.filePath(QStringLiteral("gone.png")), picture), UndecodableReason::Unreadable);
    // A BMP header claiming 100000 x 100000 pixels.
    QByteArray bmp(54, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    put32(10, 54);
    put32(14, 40);
    put32(18, 100000);
    put32(22, 100000);
    bmp[26] = 1;
    bmp[28] = 24;
    EXPECT_EQ(LoadPictureWithReason(write(QStringLiteral("huge.bmp"), bmp), picture), UndecodableReason::TooLarge);
    const QString good = dir.filePath(QStringLiteral("ok.png"));
    QImage(4, 4, QImage::Format_RGB32).save(good, "PNG");
    EXPECT_EQ(LoadPictureWithReason(good, picture), std::nullopt);
    EXPECT_EQ(picture.Width(), 4);
    EXPECT_EQ(UndecodableStatusText(UndecodableReason::PluginFailed, QStringLiteral("/x/a.pic")),
              QStringLiteral("表示できません: プラグインが画像を読めませんでした (a.pic)"));
    EXPECT_EQ(UndecodableStatusText(UndecodableReason::TooLarge, QStringLiteral("/x/b.bmp")),
              QStringLiteral("表示できません: 画像が大きすぎます (b.bmp)"));
}
