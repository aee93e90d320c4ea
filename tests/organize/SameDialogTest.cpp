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

#include <algorithm>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

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
    EXPECT_EQ(SameSizeLine(640, 480, 1234567), "640 x 480 - Size: 1,234,567 byte");
    EXPECT_EQ(SameNameLine("a.jpg"), "[ a.jpg ]");
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
        const QRect heading2 = same.Label2()->geometry();
        const QRect arrow = same.Label3()->geometry();
        const QRect heading1 = same.Label1()->geometry();
        if (size.width() >= 500) {
            EXPECT_EQ(heading2.x(), (W - heading2.width() - heading1.width()) / 4);
            EXPECT_EQ(heading1.x(), 3 * heading2.x() + heading2.width());
            EXPECT_EQ(arrow.x(), (W - arrow.width()) / 2);
        }
        // The headings and the arrow between them never overlap.
        EXPECT_LT(heading2.right(), arrow.left()) << size.width();
        EXPECT_LT(arrow.right(), heading1.left()) << size.width();
        EXPECT_LT(heading1.right(), cw) << size.width();
        EXPECT_EQ(same.LeftText()->geometry(), QRect(10, 35, same.LeftPanel()->width() - 20, 16));
        EXPECT_EQ(same.RightText()->x(), same.LeftPanel()->width() + 10);
        EXPECT_EQ(same.RightText()->width(), same.LeftText()->width());
        // The name lines lie under the size lines, above the pictures.
        EXPECT_EQ(same.LeftName()->geometry(), QRect(10, 53, same.LeftText()->width(), 16));
        EXPECT_EQ(same.RightName()->geometry(), QRect(same.RightText()->x(), 53, same.LeftText()->width(), 16));
        EXPECT_EQ(same.LeftPanel()->y(), 75);
        EXPECT_EQ(same.RightPanel()->y(), 75);
        EXPECT_EQ(same.LeftPanel()->height(), size.height() - 75 - 62);
        // The 800 x 200 source is fitted by width into its panel.
        const QRect left = same.LeftImage()->geometry();
        EXPECT_EQ(left.width(), same.LeftPanel()->width());
        EXPECT_EQ(left.height(), RoundHalfEven(200.0 * same.LeftPanel()->width() / 800));
        // The small destination keeps its natural size, centred vertically.
        EXPECT_EQ(same.RightImage()->size(), QSize(30, 60));
    }
    // Wide enough for the whole lines (narrower ones shorten the names).
    same.resize(900, 400);
    QApplication::processEvents();
    const QString sourceSize = GroupThousands(QFileInfo(source).size());
    EXPECT_EQ(same.LeftText()->text(), QString("800 x 200 - Size: %1 byte").arg(sourceSize));
    EXPECT_EQ(same.LeftName()->text(), "[ src.png ]");
    EXPECT_EQ(same.RightText()->text(),
              QString("30 x 60 - Size: %1 byte").arg(GroupThousands(QFileInfo(destination).size())));
    EXPECT_EQ(same.RightName()->text(), "[ dst.png ]");
    EXPECT_EQ(same.LeftText()->toolTip(), QString("800 x 200 - Size: %1 byte - [ src.png ]").arg(sourceSize));
    EXPECT_FALSE(same.LeftLabel()->isVisibleTo(&same));
}

TEST_F(SameDialogTest, UndecodableSideShowsTheLabelAndAnEmptyLine)
{
    ASSERT_TRUE(writeFile(destination, "garbage"));
    TfSame same(source, destination, QRect(0, 0, 500, 300));
    EXPECT_TRUE(same.RightLabel()->isVisibleTo(&same));
    EXPECT_EQ(same.RightLabel()->text(), "表示不可");
    EXPECT_EQ(same.RightText()->text(), "");
    EXPECT_EQ(same.RightName()->text(), "");
    EXPECT_EQ(same.RightName()->toolTip(), "");
    EXPECT_EQ(same.RightImage()->Graphic(), nullptr);
    const QFrame* panel = same.RightPanel();
    EXPECT_EQ(same.RightLabel()->x(), (panel->width() - same.RightLabel()->width()) / 2);
    EXPECT_EQ(same.RightLabel()->y(), (panel->height() - same.RightLabel()->height()) / 2);
    EXPECT_FALSE(same.LeftText()->text().isEmpty());

    TfSame missing(dir.filePath("gone.png"), destination, QRect(0, 0, 500, 300));
    EXPECT_TRUE(missing.LeftLabel()->isVisibleTo(&missing));
    EXPECT_EQ(missing.LeftText()->text(), "");
    EXPECT_EQ(missing.LeftName()->text(), "");
}

TEST_F(SameDialogTest, EachButtonGivesItsResultAndClosingIsCancel)
{
    const struct {
        QPushButton* (TfSame::*button)() const;
        int result;
    } cases[] = {
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

TEST_F(SameDialogTest, LongNamesAreShortenedInTheMiddleAndShownWholeAsTip)
{
    const QString longName = QString("とても長い名前の写真").repeated(6) + "_最後まで読める.png";
    const QString longSource = dir.filePath(longName);
    ASSERT_TRUE(QFile::copy(source, longSource));
    TfSame same(longSource, destination, QRect(10, 20, 500, 300));
    same.show();
    QApplication::processEvents();
    for (QSize size : {QSize(500, 300), QSize(900, 400)}) {
        same.resize(size);
        QApplication::processEvents();
        const QLabel* text = same.LeftName();
        EXPECT_LE(text->fontMetrics().horizontalAdvance(text->text()), text->contentsRect().width())
            << size.width() << " " << text->text().toStdString();
        EXPECT_TRUE(text->text().startsWith("[ とても")) << text->text().toStdString();
        EXPECT_TRUE(text->text().contains(QChar(0x2026))) << "shortened in the middle";
        EXPECT_TRUE(text->text().endsWith("読める.png ]")) << text->text().toStdString();
        EXPECT_EQ(text->toolTip(), longName);
        EXPECT_TRUE(same.LeftText()->text().startsWith("800 x 200 - Size: ")) << "the size line stays whole";
        EXPECT_FALSE(same.LeftText()->text().contains(QChar(0x2026)));
    }
    // A name that fits is left whole.
    same.resize(900, 400);
    QApplication::processEvents();
    EXPECT_EQ(same.RightName()->text(), "[ dst.png ]");
    const QFontMetrics metrics(same.LeftName()->font());
    EXPECT_EQ(FittedSameNameLine(metrics, 10000, longName), SameNameLine(longName));
    // A size line too wide for the smallest dialog is cut at its end and
    // shown whole as the tip.
    same.resize(350, 250);
    QApplication::processEvents();
    const QLabel* sizeLine = same.LeftText();
    EXPECT_TRUE(sizeLine->text().startsWith("800 x 200 - ")) << sizeLine->text().toStdString();
    EXPECT_LE(sizeLine->fontMetrics().horizontalAdvance(sizeLine->text()), sizeLine->contentsRect().width())
        << sizeLine->text().toStdString();
    EXPECT_EQ(sizeLine->toolTip(), SameInfoLine(800, 200, QFileInfo(longSource).size(), longName));
}

namespace {

// How many characters of `name` the shown text keeps at its start and at its
// end (a shortened name keeps both ends around the "…").
std::pair<qsizetype, qsizetype> KeptEnds(const QString& shown, const QString& name)
{
    const QString inner = shown.startsWith("[ ") && shown.endsWith(" ]") ? shown.mid(2, shown.size() - 4) : shown;
    qsizetype start = 0;
    while (start < std::min(inner.size(), name.size()) && inner[start] == name[start])
        ++start;
    qsizetype end = 0;
    while (end < std::min(inner.size(), name.size()) && inner[inner.size() - 1 - end] == name[name.size() - 1 - end])
        ++end;
    return {start, end};
}

QRect RectIn(const QWidget* widget, const QWidget* window)
{
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

} // namespace

TEST_F(SameDialogTest, LongNamesKeepBothEndsAtTheDefaultAndTheSmallestSize)
{
    const QString latinName = "Start_of_a_rather_long_picture_name_from_a_camera_0123_e.png";
    const QString japaneseName = QString("とても長い名前の写真").repeated(6) + "_最後まで読める.png";
    ASSERT_EQ(latinName.size(), 60);
    for (const QString& name : {latinName, japaneseName}) {
        const QString longSource = dir.filePath(name);
        ASSERT_TRUE(QFile::copy(source, longSource));
        const QString longDestination = dir.filePath("dst_" + name);
        ASSERT_TRUE(QFile::copy(destination, longDestination));
        TfSame same(longSource, longDestination, QRect(10, 20, 500, 300));
        same.show();
        for (QSize size : {QSize(500, 300), QSize(350, 250)}) {
            same.resize(size);
            QApplication::processEvents();
            ASSERT_EQ(same.size(), size);
            // Each side has a line whose tip is the whole name; it shows
            // the name's start and its end (with the extension).
            const struct {
                const QWidget* panel;
                QString name;
            } sides[] = {{same.LeftPanel(), name}, {same.RightPanel(), "dst_" + name}};
            QList<const QLabel*> lines;
            for (const auto& side : sides) {
                const QLabel* line = nullptr;
                for (const QLabel* label : same.findChildren<QLabel*>())
                    if (label->toolTip() == side.name && label->isVisibleTo(&same))
                        line = label;
                ASSERT_NE(line, nullptr) << "no line has the whole name as its tip";
                const QString shown = line->text();
                const auto [start, end] = KeptEnds(shown, side.name);
                const qsizetype least = size.width() >= 500 ? 8 : 5;
                EXPECT_GE(start, least) << size.width() << " " << shown.toStdString();
                EXPECT_GE(end, least) << size.width() << " " << shown.toStdString();
                EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
                EXPECT_LE(line->fontMetrics().horizontalAdvance(shown), line->contentsRect().width())
                    << shown.toStdString();
                // Above its own side's picture.
                const QRect rect = RectIn(line, &same);
                const QRect panel = RectIn(side.panel, &same);
                EXPECT_GE(rect.left(), panel.left());
                EXPECT_LE(rect.right(), panel.right());
                EXPECT_LE(rect.bottom(), panel.top()) << "the line is not over the picture";
                lines << line;
            }
            // All lines of the top stay inside the dialog and apart.
            QList<const QLabel*> texts = {same.LeftText(), same.RightText()};
            for (const QLabel* line : lines)
                if (!texts.contains(line))
                    texts << line;
            for (const QLabel* text : texts) {
                const QRect rect = RectIn(text, &same);
                EXPECT_TRUE(same.rect().contains(rect)) << text->objectName().toStdString();
                EXPECT_GE(rect.top(), RectIn(same.Label1(), &same).bottom()) << "below the headings";
                EXPECT_LE(text->fontMetrics().horizontalAdvance(text->text()), text->contentsRect().width())
                    << size.width() << " " << text->text().toStdString();
                for (const QLabel* other : texts)
                    if (other != text) {
                        EXPECT_FALSE(rect.intersects(RectIn(other, &same)))
                            << text->objectName().toStdString() << " " << other->objectName().toStdString();
                    }
            }
        }
    }
}
