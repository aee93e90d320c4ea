// The same-name dialog on its own: layout on every size, both previews,
// the info lines and the four results.
#include "organize/SameDialog.h"
#include "organize/TransferEngine.h"
#include "decode/BuiltInFormats.h"
#include "viewer/FitPicture.h"
#include "viewer/common/ImageControl.h"

#include "../platform/TestFiles.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace testfiles;

namespace {

class SameDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        ASSERT_TRUE(dir.isValid());
        source = dir.filePath("src.png");
        destination = dir.filePath("dst.png");
        QImage a(800, 200, QImage::Format_RGB32);
        a.fill(Qt::red);
        ASSERT_TRUE(a.save(source, "PNG"));
        QImage b(30, 60, QImage::Format_RGB32);
        b.fill(Qt::green);
        ASSERT_TRUE(b.save(destination, "PNG"));
    }
    QTemporaryDir dir;
    QString source, destination;
};

} // namespace

TEST(SameInfoLineTest, GroupsTheSizeByThousands)
{
    EXPECT_EQ(SameInfoLine(640, 480, 1234567, "a.jpg"), "640 x 480 - Size: 1,234,567 byte - [ a.jpg ]");
    EXPECT_EQ(SameInfoLine(1, 1, 999, "x"), "1 x 1 - Size: 999 byte - [ x ]");
    EXPECT_EQ(GroupThousands(1000), "1,000");
    EXPECT_EQ(GroupThousands(0), "0");
    EXPECT_EQ(GroupThousands(5368709120LL), "5,368,709,120") << "sizes beyond 4 GB";
}

TEST_F(SameDialogTest, LaysOutEveryControlOnEachResize)
{
    TfSame same(source, destination, QRect(10, 20, 500, 300));
    EXPECT_EQ(same.windowTitle(), "ファイル名が同じです。ファイル名を変更しますか。");
    EXPECT_EQ(same.minimumSize(), QSize(350, 250));
    EXPECT_EQ(same.geometry(), QRect(10, 20, 500, 300));
    EXPECT_EQ(same.BitBtn1()->text(), "変更後、実行");
    EXPECT_EQ(same.BitBtn3()->text(), "元の画像を削除して中止");
    EXPECT_EQ(same.BitBtn4()->text(), "先の画像を削除して実行");
    EXPECT_TRUE(same.BitBtn1()->isDefault());
    EXPECT_EQ(same.Label2()->text(), "移動・複写元の画像");
    EXPECT_EQ(same.Label1()->text(), "移動・複写先の画像");
    EXPECT_EQ(same.Label3()->text(), "---→");
    same.show();
    for (QSize size : {QSize(500, 300), QSize(731, 457), QSize(350, 250)}) {
        same.resize(size);
        QApplication::processEvents();
        ASSERT_EQ(same.size(), size);
        const int W = same.frameGeometry().width();
        const int cw = same.width();
        EXPECT_EQ(same.RightPanel()->width(), cw / 2);
        EXPECT_EQ(same.LeftPanel()->width(), cw - cw / 2);
        EXPECT_EQ(same.BitBtn1()->x(), (W - 100 - 160 - 25) / 2);
        EXPECT_EQ(same.BitBtn3()->x(), same.BitBtn1()->x() + 125);
        EXPECT_EQ(same.BitBtn2()->x(), (W - 100 - 160 - 25) / 2);
        EXPECT_EQ(same.BitBtn4()->x(), same.BitBtn2()->x() + 125);
        EXPECT_EQ(same.BitBtn1()->y(), 5);
        EXPECT_EQ(same.BitBtn2()->y(), 34);
        EXPECT_EQ(same.Label2()->x(), (W - same.Label2()->width() - same.Label1()->width()) / 4);
        EXPECT_EQ(same.Label1()->x(), 3 * same.Label2()->x() + same.Label2()->width());
        EXPECT_EQ(same.Label3()->x(), (W - same.Label3()->width()) / 2);
        EXPECT_EQ(same.LeftText()->geometry(), QRect(10, 35, same.LeftPanel()->width() - 20, 16));
        EXPECT_EQ(same.RightText()->x(), same.LeftPanel()->width() + 10);
        EXPECT_EQ(same.RightText()->width(), same.LeftText()->width());
        // The 800 x 200 source is fitted by width into its panel.
        const QRect left = same.LeftImage()->geometry();
        EXPECT_EQ(left.width(), same.LeftPanel()->width());
        EXPECT_EQ(left.height(), RoundHalfEven(200.0 * same.LeftPanel()->width() / 800));
        // The small destination keeps its natural size, centred vertically.
        EXPECT_EQ(same.RightImage()->size(), QSize(30, 60));
    }
    EXPECT_EQ(same.LeftText()->text(),
              QString("800 x 200 - Size: %1 byte - [ src.png ]").arg(GroupThousands(QFileInfo(source).size())));
    EXPECT_EQ(same.RightText()->text(),
              QString("30 x 60 - Size: %1 byte - [ dst.png ]").arg(GroupThousands(QFileInfo(destination).size())));
    EXPECT_FALSE(same.LeftLabel()->isVisibleTo(&same));
}

TEST_F(SameDialogTest, UndecodableSideShowsTheLabelAndAnEmptyLine)
{
    ASSERT_TRUE(writeFile(destination, "garbage"));
    TfSame same(source, destination, QRect(0, 0, 500, 300));
    EXPECT_TRUE(same.RightLabel()->isVisibleTo(&same));
    EXPECT_EQ(same.RightLabel()->text(), "表示不可");
    EXPECT_EQ(same.RightText()->text(), "");
    EXPECT_EQ(same.RightImage()->Graphic(), nullptr);
    const QFrame* panel = same.RightPanel();
    EXPECT_EQ(same.RightLabel()->x(), (panel->width() - same.RightLabel()->width()) / 2);
    EXPECT_EQ(same.RightLabel()->y(), (panel->height() - same.RightLabel()->height()) / 2);
    EXPECT_FALSE(same.LeftText()->text().isEmpty());

    TfSame missing(dir.filePath("gone.png"), destination, QRect(0, 0, 500, 300));
    EXPECT_TRUE(missing.LeftLabel()->isVisibleTo(&missing));
    EXPECT_EQ(missing.LeftText()->text(), "");
}

TEST_F(SameDialogTest, EachButtonGivesItsResultAndClosingIsCancel)
{
    const struct { QPushButton* (TfSame::*button)() const; int result; } cases[] = {
        {&TfSame::BitBtn1, srRename},
        {&TfSame::BitBtn2, srCancel},
        {&TfSame::BitBtn3, srDeleteSource},
        {&TfSame::BitBtn4, srDeleteExisting},
    };
    for (const auto& c : cases) {
        TfSame same(source, destination, QRect(0, 0, 500, 300));
        QTimer::singleShot(0, &same, [&] { (same.*c.button)()->click(); });
        EXPECT_EQ(same.Ask(), c.result);
    }
    TfSame same(source, destination, QRect(0, 0, 500, 300));
    QTimer::singleShot(0, &same, [&] { same.close(); });
    EXPECT_EQ(same.Ask(), srCancel);
}
