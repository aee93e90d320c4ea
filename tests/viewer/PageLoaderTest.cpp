// The main window with the picture pipeline on Qt's offscreen platform, on
// real JPEG files: one decode per showing, keys taken while decoding,
// skipping ahead, the busy cursor, and the full picture on the clipboard.
#include "../decode/TestImages.h"

#include "viewer/common/ImageControl.h"
#include "viewer/MainWindow.h"
#include "viewer/PageLoader.h"
#include "decode/BuiltInFormats.h"
#include "decode/FormatRegistry.h"
#include "platform/Desktop.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <mutex>
#include <shared_mutex>

namespace {

class PageLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("pictures"))));
        ini = dir.filePath(QStringLiteral("orvanto.ini"));
        platform::SetMessageBoxHandlerForTesting(
            [](const QString&, platform::MsgIcon, int) { return int(platform::MsgOk); });
    }
    void TearDown() override { platform::SetMessageBoxHandlerForTesting({}); }

    QString Jpeg(const QString& name, QSize size, QColor colour = Qt::darkCyan)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir.filePath(QStringLiteral("pictures/") + name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(testimg::EncodeJpeg(image, {.quality = 80}));
        return path;
    }

    std::unique_ptr<TfMain> Start(const QStringList& args)
    {
        auto main = std::make_unique<TfMain>(args, nullptr, [this](TfMain& m) { m.Session().SetIniPath(ini); });
        main->resize(504, 356);
        main->show();
        QApplication::processEvents();
        return main;
    }

    static void Settle(TfMain& main)
    {
        main.Pipeline().WaitForIdle();
        QApplication::processEvents();
    }

    static void Key(TfMain& main, int k)
    {
        QKeyEvent event(QEvent::KeyPress, k, Qt::NoModifier);
        main.HandleKey(&event);
    }

    static bool WaitFor(const std::function<bool()>& condition)
    {
        QDeadlineTimer deadline(30000);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(2);
        }
        return true;
    }

    QString Folder() const { return dir.filePath(QStringLiteral("pictures")); }

    QTemporaryDir dir;
    QString ini;
};

TEST_F(PageLoaderTest, EachPictureIsDecodedOncePerShowing)
{
    const QString only = Jpeg(QStringLiteral("only.jpg"), QSize(900, 600));
    auto main = Start({Folder()});
    Settle(*main);
    // Start-up shows the list several times over (play order, placement,
    // first show): one decode all the same.
    EXPECT_EQ(main->Pipeline().DecodesStarted(), 1);
    EXPECT_EQ(main->ImageAt(0)->Hint(), only);
    ASSERT_NE(main->ShownPicture(0), nullptr);

    // Opening a list (files, a drop) decodes its first picture once.
    QTemporaryDir other;
    const QString second = other.filePath(QStringLiteral("second.jpg"));
    QFile::copy(only, second);
    main->Session().OpenFiles({second});
    Settle(*main);
    EXPECT_EQ(main->Pipeline().DecodesStarted(), 2);
    EXPECT_EQ(main->ImageAt(0)->Hint(), second);
    main->Session().DropPaths({only});
    Settle(*main);
    // The first file is still in the cache: shown without a decode.
    EXPECT_EQ(main->Pipeline().DecodesStarted(), 2);
    EXPECT_EQ(main->ImageAt(0)->Hint(), only);
}

TEST_F(PageLoaderTest, KeysAreTakenWhileAPictureDecodesAndInBetweenPicturesAreSkipped)
{
    QStringList paths;
    for (int i = 0; i < 20; ++i)
        paths << Jpeg(QStringLiteral("%1.jpg").arg(i, 2, 10, QLatin1Char('0')), QSize(1200, 900),
                      QColor::fromHsv(i * 15, 180, 200));
    auto main = Start({Folder()});
    Settle(*main);
    const int atStart = main->Pipeline().DecodesStarted();
    {
        // No decode can finish while the decoders are held: the window must
        // still take every key, moving index and caption.
        std::unique_lock<std::shared_mutex> held(DecoderUseLock());
        for (int i = 0; i < 15; ++i)
            Key(*main, Qt::Key_Right);
        QApplication::processEvents();
        EXPECT_EQ(main->Session().State().CurrentIndex, 15);
        EXPECT_EQ(main->windowTitle(), QStringLiteral("ミレット -- [16/20] ") + paths[15]);
        EXPECT_TRUE(main->Pages().Waiting());
    }
    Settle(*main);
    EXPECT_EQ(main->ImageAt(0)->Hint(), paths[15]);
    EXPECT_FALSE(main->Pages().Waiting());
    // Picture 16, the next two and the one before; the ones passed over
    // were not decoded (at most the two workers had taken one each).
    EXPECT_LE(main->Pipeline().DecodesStarted() - atStart, 6);
    for (int i = 4; i < 14; ++i)
        EXPECT_FALSE(main->Pipeline().Cache().Contains(paths[i])) << i;
    EXPECT_TRUE(main->Pipeline().Cache().Contains(paths[16]));
    EXPECT_TRUE(main->Pipeline().Cache().Contains(paths[17]));
    EXPECT_TRUE(main->Pipeline().Cache().Contains(paths[14]));
}

TEST_F(PageLoaderTest, BusyCursorAfterTheDelayUntilThePictureArrives)
{
    Jpeg(QStringLiteral("a.jpg"), QSize(800, 600));
    const QString b = Jpeg(QStringLiteral("b.jpg"), QSize(800, 600), Qt::darkRed);
    Jpeg(QStringLiteral("c.jpg"), QSize(800, 600), Qt::darkGreen);
    auto main = Start({Folder()});
    Settle(*main);
    QWidget* display = main->centralWidget();
    EXPECT_NE(display->cursor().shape(), Qt::BusyCursor);
    main->Pipeline().Cache().Clear(); // b must be decoded when shown
    std::vector<bool> changes;
    QObject::connect(&main->Pages(), &PageLoader::busyChanged, [&](bool busy) { changes.push_back(busy); });
    {
        std::unique_lock<std::shared_mutex> held(DecoderUseLock());
        Key(*main, Qt::Key_Right);
        QApplication::processEvents();
        EXPECT_TRUE(changes.empty()); // not at once
        ASSERT_TRUE(WaitFor([&] { return !changes.empty(); }));
        EXPECT_EQ(changes, std::vector<bool>{true});
        EXPECT_EQ(display->cursor().shape(), Qt::BusyCursor);
    }
    ASSERT_TRUE(WaitFor([&] { return changes.size() == 2; }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_NE(display->cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(main->ImageAt(0)->Hint(), b);
}

TEST_F(PageLoaderTest, ClipboardGetsTheFullPictureOfAReducedDecode)
{
    const QString big = Jpeg(QStringLiteral("big.jpg"), QSize(2000, 1500), Qt::darkBlue);
    auto main = Start({Folder()});
    Settle(*main);
    const TGraphic* shown = main->ImageAt(0)->Graphic();
    ASSERT_NE(shown, nullptr);
    ASSERT_TRUE(shown->IsReduced()); // the window is far smaller than the picture
    EXPECT_EQ(shown->Width(), 2000);
    EXPECT_LT(shown->ToImage().width(), 2000);
    QGuiApplication::clipboard()->clear();
    main->CopyToClipboard();
    ASSERT_TRUE(WaitFor([] { return !QGuiApplication::clipboard()->image().isNull(); }));
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(2000, 1500));
    EXPECT_EQ(main->ImageAt(0)->Hint(), big);
}

TEST_F(PageLoaderTest, FailedPictureReportsItsReason)
{
    QFile broken(dir.filePath(QStringLiteral("pictures/broken.jpg")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(testimg::EncodeJpeg(QImage(64, 64, QImage::Format_RGB32)).left(200));
    broken.close();
    auto main = Start({Folder()});
    Settle(*main);
    EXPECT_EQ(main->ShownPicture(0), nullptr);
    EXPECT_EQ(main->ImageAt(0)->Graphic(), nullptr);
    const DecodedPicturePtr failed = main->Pipeline().Cache().Find(broken.fileName(), StampOf(broken.fileName()),
                                                                   QSize(main->AreaWidth(), main->AreaHeight()));
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->failure, TDecodeFailure::DamagedData);
}

} // namespace
