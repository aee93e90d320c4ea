// The picture-file dialog of Ctrl+O on the offscreen platform: the preview
// of real pictures decoded by the program's decoders, its texts, and the
// route from the main window's menu.
#include "DialogTestSupport.h"

#include "decode/BuiltInFormats.h"
#include "decode/FormatRegistry.h"
#include "app/AppDialogs.h"
#include "dialogs/PictureOpenDialog.h"
#include "viewer/MainWindow.h"
#include "viewer/ViewerSession.h"
#include "FindAction.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QFileSystemModel>
#include <QListView>
#include <gtest/gtest.h>

namespace {

void waitFor(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Moves to the file in the dialog's list as the arrow keys or a click do.
void pick(QFileDialog& dialog, const QString& path)
{
    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    auto* model = qobject_cast<QFileSystemModel*>(list->model());
    ASSERT_NE(model, nullptr);
    waitFor([&] { return model->index(path).isValid(); });
    list->setCurrentIndex(model->index(path));
}

class PictureOpenDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        ASSERT_TRUE(dir.isValid());
        QImage image(300, 200, QImage::Format_RGB32);
        image.fill(Qt::red);
        ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("wide.png")), "PNG"));
        image = QImage(40, 80, QImage::Format_RGB32);
        image.fill(Qt::green);
        ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("small.bmp")), "BMP"));
        QFile broken(dir.filePath(QStringLiteral("broken.jpg")));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("not a picture at all");
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(PictureOpenDialogTest, PreviewShowsTheSelectedPictureAndItsSize)
{
    TPictureOpenDialog dialog(nullptr, dir.path(), TFormatRegistry::Instance().GraphicFilter(), DecodeForPreview);
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("画像ファイルを開く"));
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
    EXPECT_TRUE(dialog.PreviewImage()->isVisible());
    // The registry's formats are the filter, each listed once; its first
    // entry holds them all.
    EXPECT_TRUE(dialog.nameFilters().first().endsWith(QStringLiteral("*.png *.bmp *.ico *.emf *.wmf)")));
    EXPECT_EQ(dialog.nameFilters().first().count(QStringLiteral("*.png")), 1);

    const QString wide = dir.filePath(QStringLiteral("wide.png"));
    pick(dialog, wide);
    waitFor([&] { return dialog.PreviewedFile() == wide; });
    ASSERT_EQ(dialog.PreviewedFile(), wide);
    EXPECT_EQ(dialog.PreviewSize()->text(), QStringLiteral("300 × 200"));
    // Shrunk into the panel keeping its shape; its colour is the picture's.
    const QImage shown = dialog.PreviewImage()->pixmap().toImage();
    EXPECT_LE(shown.width(), TPictureOpenDialog::kPreviewBox.width());
    EXPECT_NEAR(double(shown.width()) / shown.height(), 1.5, 0.02);
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::red));

    // A small picture is shown as it is; a damaged one says so.
    const QString small = dir.filePath(QStringLiteral("small.bmp"));
    pick(dialog, small);
    waitFor([&] { return dialog.PreviewedFile() == small; });
    EXPECT_EQ(dialog.PreviewSize()->text(), QStringLiteral("40 × 80"));
    EXPECT_EQ(dialog.PreviewImage()->pixmap().size(), QSize(40, 80));
    pick(dialog, dir.filePath(QStringLiteral("broken.jpg")));
    waitFor([&] { return dialog.PreviewSize()->text() != QStringLiteral("(なし)"); });
    EXPECT_EQ(dialog.PreviewSize()->text(), QStringLiteral("(表示できません)"));
    EXPECT_TRUE(dialog.PreviewedFile().isEmpty());
    EXPECT_TRUE(dialog.PreviewImage()->pixmap().isNull());
}

TEST_F(PictureOpenDialogTest, QuickChangesShowOnlyTheLastChoice)
{
    TPictureOpenDialog dialog(nullptr, dir.path(), TFormatRegistry::Instance().GraphicFilter(), DecodeForPreview);
    dialog.show();
    QApplication::processEvents();
    const QString wide = dir.filePath(QStringLiteral("wide.png"));
    const QString small = dir.filePath(QStringLiteral("small.bmp"));
    pick(dialog, wide);
    pick(dialog, small);
    waitFor([&] { return !dialog.PreviewedFile().isEmpty(); });
    QApplication::processEvents();
    EXPECT_EQ(dialog.PreviewedFile(), small);
    EXPECT_EQ(dialog.PreviewSize()->text(), QStringLiteral("40 × 80"));
}

TEST_F(PictureOpenDialogTest, CtrlOOpensThePictureDialogAndLoadsTheChoice)
{
    const QString wide = dir.filePath(QStringLiteral("wide.png"));
    auto main = std::make_unique<TfMain>(QStringList{}, nullptr, [this](TfMain& m) {
        m.Session().SetIniPath(dir.filePath(QStringLiteral("orvanto.ini")));
        AttachDialogs(m);
    });
    main->Session().Config().Window.LastDir = dir.path();
    main->show();
    QApplication::processEvents();
    QString folderShown;
    auto seen = WhenShown(QStringLiteral("PictureOpenDialog"), [&](QWidget* w) {
        auto* dialog = static_cast<TPictureOpenDialog*>(w);
        folderShown = dialog->directory().absolutePath();
        dialog->selectFile(wide);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    FindAction(*main, QStringLiteral("fileopen1"))->trigger();
    EXPECT_TRUE(*seen);
    EXPECT_EQ(folderShown, dir.path());
    ASSERT_EQ(main->Session().Images().Count(), 1);
    EXPECT_EQ(main->Session().Images().At(0), wide);
}
