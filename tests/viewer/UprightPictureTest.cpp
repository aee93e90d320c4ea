// A photo whose Exif data says "turned a quarter clockwise" reaches every
// part of the viewer upright: the fit, the clipboard and full screen; with
// [Option] AutoRotate=0 it stays as stored.
#include "TestImages.h"

#include "decode/BuiltInFormats.h"
#include "decode/Orientation.h"
#include "fullscreen/FullScreenWindow.h"
#include "viewer/common/ImageControl.h"
#include "viewer/MainWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class UprightPictureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        ASSERT_TRUE(dir.isValid());
        QImage stored(120, 60, QImage::Format_RGB32);
        stored.fill(Qt::blue);
        QFile file(dir.filePath(QStringLiteral("photo.jpg")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(testimg::JpegWithOrientation(stored, 6));
    }
    void TearDown() override { decode::SetAutoRotate(true); }

    std::unique_ptr<TfMain> start(const QString& iniText)
    {
        const QString ini = settings.filePath(QStringLiteral("orvanto.ini"));
        QFile file(ini);
        if (file.open(QIODevice::WriteOnly))
            file.write(iniText.toUtf8());
        file.close();
        auto main = std::make_unique<TfMain>(QStringList{dir.path()}, nullptr,
                                             [ini](TfMain& m) { m.Session().SetIniPath(ini); });
        main->resize(504, 356);
        main->show();
        QApplication::processEvents();
        settle(*main);
        return main;
    }

    // Pictures are decoded off the window thread (also the clipboard's whole
    // picture): waits until they have arrived.
    static void settle(TfMain& main)
    {
        main.Pipeline().WaitForIdle();
        QApplication::processEvents();
    }

    QTemporaryDir dir;
    QTemporaryDir settings;
};

} // namespace

TEST_F(UprightPictureTest, FitClipboardAndFullScreenSeeTheUprightPicture)
{
    auto main = start(QString());
    ASSERT_EQ(main->Session().Images().Count(), 1);
    EXPECT_EQ(main->ImageAt(0)->size(), QSize(60, 120)); // natural size, upright
    main->CopyToClipboard();
    settle(*main);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(60, 120));
    main->ToggleFullScreen();
    ASSERT_NE(main->FullScreenWindow(), nullptr);
    QApplication::processEvents();
    settle(*main);
    ASSERT_NE(main->FullScreenWindow()->ImageAt(0)->Graphic(), nullptr);
    EXPECT_EQ(main->FullScreenWindow()->ImageAt(0)->Graphic()->Width(), 60);
    main->CopyToClipboard();
    settle(*main);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(60, 120));
    main->FullScreenWindow()->close();
    QApplication::processEvents();
}

TEST_F(UprightPictureTest, AutoRotateOffShowsThePictureAsStored)
{
    auto main = start(QStringLiteral("[Option]\nAutoRotate=0\n"));
    EXPECT_FALSE(main->Session().Config().Option.AutoRotate);
    ASSERT_EQ(main->Session().Images().Count(), 1);
    EXPECT_EQ(main->ImageAt(0)->size(), QSize(120, 60));
    main->CopyToClipboard();
    settle(*main);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(120, 60));
}
