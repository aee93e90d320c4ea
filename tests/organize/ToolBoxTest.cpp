// The toolbox and the organizing commands of the real main window on Qt's
// offscreen platform, with real files; modal windows are answered by hooks.
#include "FindAction.h"
#include "organize/Organizer.h"
#include "organize/RenameDialog.h"
#include "organize/SameDialog.h"
#include "organize/ToolBox.h"
#include "decode/BuiltInFormats.h"
#include "platform/Desktop.h"
#include "viewer/common/ImageControl.h"
#include "viewer/MainWindow.h"

#include "../platform/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

using namespace testfiles;

namespace {

class ToolBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        ASSERT_TRUE(dir.isValid());
        src = dir.path() + "/pictures";
        dst = dir.path() + "/sorted";
        QDir().mkpath(src);
        QDir().mkpath(dst);
        platform::SetMessageBoxHandlerForTesting([this](const QString& text, platform::MsgIcon, int) {
            boxes << text;
            return int(platform::MsgOk);
        });
        platform::ResetBeepCountForTesting();
        platform::SetBeepHandlerForTesting([] {});
    }
    void TearDown() override
    {
        main.reset();
        platform::SetMessageBoxHandlerForTesting({});
        platform::SetBeepHandlerForTesting({});
        SetRenameDialogHandlerForTesting({});
    }

    void picture(const QString& name, QSize size = QSize(40, 30))
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::blue);
        ASSERT_TRUE(image.save(src + "/" + name, "PNG"));
    }

    // Starts the main window with these INI lines on the picture folder.
    void start(const QString& iniText, bool withFolder = true)
    {
        const QString ini = dir.path() + "/orvanto.ini";
        ASSERT_TRUE(writeFile(ini, iniText.toUtf8()));
        QStringList args;
        if (withFolder)
            args << src;
        main = std::make_unique<TfMain>(args, nullptr, [this, ini](TfMain& m) {
            m.Session().SetIniPath(ini);
            organizer = AttachOrganizing(m);
            organizer->MessageHandler = [this](const QString& text) { notices << text; };
            organizer->WaitHandler = [](int) {};
            organizer->SameDialogHandler = [this](TfSame&) {
                notices << "same-name dialog";
                return int(srCancel);
            };
        });
        main->show();
        QApplication::processEvents();
    }
    QString folderIni() const { return "[Option]\nFolder1=" + dst + "\nButton1=sorted\n"; }
    TToolBox* box() const { return organizer->Toolbox(); }
    void typeKey(QObject* target, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(target, &press);
    }

    QTemporaryDir dir;
    QString src, dst;
    std::unique_ptr<TfMain> main;
    TOrganizer* organizer = nullptr;
    QStringList boxes, notices;
};

} // namespace

TEST_F(ToolBoxTest, OpensAtStartWithEveryFixedControlInPlace)
{
    picture("a.png");
    picture("b.png");
    start(folderIni() + "[Tool]\nShow=1\nLeft=40\nTop=50\n");
    ASSERT_NE(box(), nullptr);
    EXPECT_TRUE(FindAction(*main, "ToolBox1")->isChecked());
    EXPECT_TRUE(main->Session().ToolboxOpen());
    EXPECT_EQ(organizer->Toolbox(), box());
    EXPECT_EQ(box()->windowTitle(), "Tool Box");
    EXPECT_TRUE(box()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(box()->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(box()->geometry().topLeft(), QPoint(40, 50));

    const struct {
        QWidget* w;
        QRect place;
        QString hint;
    } fixed[] = {
        {box()->BackBtn, {4, 3, 33, 33}, "前画像"},
        {box()->AutoBtn, {43, 7, 33, 25}, "スライド ショー"},
        {box()->FrontBtn, {82, 3, 33, 33}, "次画像"},
        {box()->TrackBar, {0, 40, 116, 41}, ""},
        {box()->rgState, {8, 120, 105, 69}, ""},
        {box()->rgOrient, {8, 189, 105, 53}, ""},
        {box()->Button1, {8, 248, 106, 25}, ""},
        {box()->NameChangeBtn, {8, 279, 105, 25}, ""},
        {box()->BtnDoor, {8, 309, 35, 20}, "転送ボタンの開閉"},
        {box()->DeleteBtn, {56, 307, 57, 25}, "ゴミ箱を利用したファイルの削除"},
        {box()->TurnbackBtn, {2, 343, 25, 25}, "復活"},
        {box()->FileCopy1, {28, 343, 25, 25}, "画像ファイルの複写"},
        {box()->BtnCopy, {54, 343, 30, 25}, ""},
        {box()->BtnMove, {84, 343, 30, 25}, ""},
    };
    for (const auto& f : fixed) {
        EXPECT_EQ(f.w->geometry(), f.place) << f.w->objectName().toStdString();
        EXPECT_EQ(f.w->toolTip(), f.hint) << f.w->objectName().toStdString();
    }
    EXPECT_EQ(box()->CheckBox1->pos(), QPoint(8, 82));
    EXPECT_EQ(box()->CheckBox1->text(), "自動拡大");
    EXPECT_EQ(box()->CheckBox2->pos(), QPoint(8, 98));
    EXPECT_EQ(box()->CheckBox2->text(), "フルスクリーン");
    EXPECT_EQ(box()->AutoBtn->text(), "Auto");
    EXPECT_EQ(box()->NameChangeBtn->text(), "ファイル名変更");
    EXPECT_EQ(box()->DeleteBtn->text(), "削除");
    EXPECT_EQ(box()->BtnCopy->text(), "複写");
    EXPECT_EQ(box()->BtnMove->text(), "移動");
    EXPECT_TRUE(box()->BtnCopy->font().bold());
    EXPECT_TRUE(box()->BtnCopy->isChecked()) << "Copy is on by default";
    EXPECT_EQ(box()->rgState->Item(1)->text(), "見開き(奇数)");
    EXPECT_EQ(box()->rgOrient->Item(1)->text(), "左←右");
    EXPECT_FALSE(box()->rgOrient->isEnabled());
    EXPECT_EQ(box()->Button1->text(), "正順");
    EXPECT_EQ(box()->TrackBar->pageStep(), 10);
    EXPECT_EQ(box()->TrackBar->tickPosition(), QSlider::TicksAbove);
    EXPECT_FALSE(box()->myEdit->isVisible());
    EXPECT_FALSE(box()->TurnbackBtn->isEnabled());
    QStringList orderItems, contextItems;
    for (QAction* a : box()->PopupMenu2->actions())
        orderItems << a->objectName() + ":" + a->text() + ":" + QString::number(a->data().toInt());
    EXPECT_EQ(orderItems, (QStringList{"sort_random:ランダム:1", "sort_normal:正順:2", "sort_reverse:逆順:3"}));
    for (QAction* a : box()->PopupMenu1->actions())
        contextItems << a->objectName() + ":" + a->text();
    EXPECT_EQ(contextItems, (QStringList{"N1:転送先", "N4:転送先→実行時選択", "N2:転送先 消去", "N3:表示名"}));

    // Transfer rows for nButton = 5: client height B + 159.
    EXPECT_EQ(box()->size(), QSize(122, 494));
    ASSERT_EQ(box()->TransferButtons.size(), 5u);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(box()->NumberLabels[n - 1]->text(), QString::number(n - 1) + ".");
        EXPECT_EQ(box()->NumberLabels[n - 1]->x(), 3);
        EXPECT_TRUE(box()->NumberLabels[n - 1]->font().bold());
        EXPECT_EQ(box()->NumberLabels[n - 1]->font().pointSize(), 12);
        EXPECT_EQ(box()->TransferButtons[n - 1]->geometry(), QRect(20, 335 + 12 + 24 * n, 100, 25));
    }
    EXPECT_EQ(box()->TransferButtons[0]->text(), "  sorted    ");
    EXPECT_EQ(box()->TransferButtons[0]->toolTip(), dst);
    EXPECT_EQ(box()->TransferButtons[1]->text(), "   none     ");
    EXPECT_EQ(box()->TransferButtons[1]->toolTip(), "") << "an unset destination has no folder to show";

    // F3 closes it and keeps its place; again opens it.
    box()->move(60, 70);
    const QPoint kept = box()->geometry().topLeft();
    FindAction(*main, "ToolBox1")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(box(), nullptr);
    EXPECT_FALSE(main->Session().ToolboxOpen());
    EXPECT_FALSE(FindAction(*main, "ToolBox1")->isChecked());
    EXPECT_EQ(QPoint(main->Session().Config().Tool.Left, main->Session().Config().Tool.Top), kept);
    FindAction(*main, "ToolBox1")->trigger();
    ASSERT_NE(box(), nullptr);
    EXPECT_TRUE(FindAction(*main, "ToolBox1")->isChecked());
    EXPECT_EQ(box()->geometry().topLeft(), kept);
}

TEST(TransferButtonTextTest, CutAndPadToTheFieldWidth)
{
    EXPECT_EQ(TransferButtonText("none", "none"), "   none     ");
    EXPECT_EQ(TransferButtonText("AnyWhere", "転送先 実行時選択"), "AnyWhere  ");
    EXPECT_EQ(TransferButtonText("abcdefghijklmn", "/x"), "abcdefghijk  ") << "14 characters: the first 11";
    EXPECT_EQ(TransferButtonText("abcdefghijklm", "/x"), "abcdefghijklm") << "13 characters: unpadded";
    EXPECT_EQ(TransferButtonText("", "/x"), "   none     ");
    EXPECT_EQ(TransferButtonText("pics", ""), "   none     ") << "an erased folder shows none";
    EXPECT_EQ(TransferButtonText("ab", "/x"), "    ab      ");
    EXPECT_EQ(CaptionForFolder("/home/user/very long folder name"), "very long fo");
    EXPECT_EQ(CaptionForFolder("/srv/pics/"), "pics");
    EXPECT_EQ(CaptionForFolder("/"), "/");
}

TEST(ToolboxPlacementTest, BesideTheMainWindowWithTheTitleBarOnTheDesktop)
{
    const QRect desktop(0, 0, 1280, 900);
    const QSize tool(124, 515);
    // Room at the right of the main window.
    EXPECT_EQ(PlaceBeside(QRect(388, 527, 506, 381), tool, desktop), QPoint(894, 385));
    EXPECT_EQ(PlaceBeside(QRect(100, 40, 500, 400), tool, desktop), QPoint(600, 40));
    // No room at the right: at the left.
    EXPECT_EQ(PlaceBeside(QRect(900, 40, 380, 400), tool, desktop), QPoint(776, 40));
    // No room either side: at the desktop's right edge, over the main window.
    EXPECT_EQ(PlaceBeside(QRect(60, 40, 1200, 400), tool, desktop), QPoint(1156, 40));
    // A main window placed above the top of the desktop: the title bar
    // stays reachable.
    EXPECT_EQ(PlaceBeside(QRect(0, -20, 500, 400), tool, desktop), QPoint(500, 0));
    // A second screen left of the first.
    EXPECT_EQ(PlaceBeside(QRect(-1000, 100, 500, 400), tool, QRect(-1280, 0, 2560, 900)), QPoint(-500, 100));
}

TEST_F(ToolBoxTest, ModalDialogsOfTheProgramStandAboveTheToolbox)
{
    picture("a.png");
    start(folderIni() + "[Tool]\nShow=1\nLeft=40\nTop=50\n");
    ASSERT_NE(box(), nullptr);
    ASSERT_NE(box()->windowHandle(), nullptr);
    EXPECT_TRUE(box()->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    {
        QDialog dialog(main.get());
        dialog.setModal(true);
        dialog.show();
        QApplication::processEvents();
        EXPECT_FALSE(box()->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
        dialog.close();
        QApplication::processEvents();
    }
    QApplication::processEvents();
    EXPECT_TRUE(box()->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
}

TEST_F(ToolBoxTest, DestinationMenuDropsAndButtonLooks)
{
    picture("a.png");
    start(folderIni());
    ASSERT_NE(box(), nullptr);
    QPushButton* b1 = box()->TransferButtons[1];
    EXPECT_EQ(b1->palette().color(QPalette::ButtonText), QColor(0, 0, 128));
    EXPECT_FALSE(b1->font().bold());
    EXPECT_EQ(b1->font().family(), "ＭＳ ゴシック");

    // 転送先: the folder dialog titled with the button number counted from 1.
    QStringList asked;
    QString answer;
    organizer->BrowseHandler = [&](const QString& caption, const QString& init, QString* chosen) {
        asked << caption + "|" + init;
        if (answer.isEmpty())
            return false;
        *chosen = answer;
        return true;
    };
    box()->SetPopupTarget(1);
    box()->ChoiceFolder();
    EXPECT_EQ(asked, QStringList{"画像転送先フォルダー指定 2|"});
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Folder, "none") << "cancel changes nothing";
    const QString longFolder = dir.path() + "/a folder with a long name";
    QDir().mkpath(longFolder);
    answer = longFolder;
    box()->ChoiceFolder();
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Folder, longFolder);
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Caption, "a folder wit");
    EXPECT_EQ(b1->text(), "a folder wit ");
    EXPECT_EQ(b1->toolTip(), longFolder);
    answer.clear();
    box()->ChoiceFolder();
    EXPECT_EQ(asked.last(), "画像転送先フォルダー指定 2|" + longFolder) << "opens at the entry's folder";

    // 転送先→実行時選択 and 転送先 消去.
    box()->RunChoiceClick();
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Folder, "転送先 実行時選択");
    EXPECT_EQ(b1->text(), "AnyWhere  ");
    EXPECT_TRUE(b1->font().bold());
    EXPECT_EQ(b1->palette().color(QPalette::ButtonText), QColor(128, 0, 128));
    box()->FolderErase();
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Folder, "");
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Caption, "none");
    EXPECT_EQ(b1->toolTip(), "");

    // A dropped file is refused; a folder lands on the button under it only.
    box()->FilesDropped({src + "/a.png"}, b1->geometry().center());
    EXPECT_EQ(boxes, QStringList{"ボタンに、フォルダをドラッグ＆ドロップしてください。"});
    EXPECT_EQ(platform::BeepCountForTesting(), 1);
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Folder, "");
    box()->FilesDropped({longFolder, dst}, box()->TransferButtons[2]->geometry().center());
    EXPECT_EQ(main->Session().Config().Option.Buttons[2].Folder, longFolder);
    EXPECT_EQ(main->Session().Config().Option.Buttons[2].Caption, "a folder wit");
    box()->FilesDropped({dst}, box()->NumberLabels[3]->geometry().center());
    box()->FilesDropped({dst}, box()->TrackBar->geometry().center());
    EXPECT_EQ(main->Session().Config().Option.Buttons[3].Folder, "none");
    EXPECT_EQ(main->Session().Config().Option.Buttons[2].Folder, longFolder);
}

TEST_F(ToolBoxTest, CaptionEditorKeepsItsKeysAndCutsTheCaption)
{
    picture("a.png");
    picture("b.png");
    start(folderIni());
    ASSERT_NE(box(), nullptr);
    box()->show();
    box()->SetPopupTarget(1);
    box()->ButtonNameClick();
    ASSERT_TRUE(box()->Editing());
    const QRect b = box()->TransferButtons[1]->geometry();
    EXPECT_EQ(box()->myEdit->geometry(), QRect(b.left() + 3, b.top() + 2, b.width() - 4, b.height() - 4));
    EXPECT_EQ(box()->myEdit->text(), "") << "none gives an empty editor";
    box()->myEdit->setFocus();
    // Digits typed into the editor edit the caption; nothing is transferred.
    typeKey(box()->myEdit, Qt::Key_0, "0");
    EXPECT_EQ(box()->myEdit->text(), "0");
    EXPECT_EQ(namesIn(dst), QStringList{});
    box()->myEdit->setText("abcdefghijklmnopq");
    const QString title = main->windowTitle();
    typeKey(box()->myEdit, Qt::Key_Return, "\r");
    // Enter ends the editing and does nothing else: the picture stays.
    EXPECT_EQ(main->windowTitle(), title);
    EXPECT_FALSE(box()->Editing());
    EXPECT_FALSE(box()->myEdit->isVisible());
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Caption, "abcdefghijkl");
    EXPECT_EQ(box()->TransferButtons[1]->text(), "abcdefghijkl ");

    // An emptied editor gives "none"; a speed button ends the editing too.
    box()->ButtonNameClick();
    EXPECT_EQ(box()->myEdit->text(), "abcdefghijkl");
    box()->myEdit->clear();
    box()->BtnCMCheck(1);
    EXPECT_FALSE(box()->Editing());
    EXPECT_EQ(main->Session().Config().Option.Buttons[1].Caption, "none");
}

TEST_F(ToolBoxTest, NavigationControlsFollowTheList)
{
    for (int k = 0; k < 45; ++k)
        picture(QString("p%1.png").arg(k, 2, 10, QLatin1Char('0')));
    start(folderIni());
    ASSERT_NE(box(), nullptr);
    EXPECT_TRUE(box()->BackBtn->isEnabled());
    EXPECT_EQ(box()->TrackBar->maximum(), 44);
    EXPECT_EQ(box()->TrackBar->tickInterval(), 10);
    box()->TrackBar->setValue(7);
    EXPECT_EQ(main->Session().State().CurrentIndex, 7);
    EXPECT_TRUE(main->windowTitle().contains("[8/45]"));
    box()->BtnClick(1);
    EXPECT_EQ(main->Session().State().CurrentIndex, 8);
    EXPECT_EQ(box()->TrackBar->value(), 8);
    // Keys typed in the toolbox go to the main window's key handling.
    typeKey(box(), Qt::Key_Right, QString());
    EXPECT_EQ(main->Session().State().CurrentIndex, 9);
    typeKey(box()->NameChangeBtn, Qt::Key_Left, QString());
    EXPECT_EQ(main->Session().State().CurrentIndex, 8);

    main->Session().Images().Clear();
    main->Session().Images().Add(src + "/p00.png");
    box()->RefreshNavControls();
    for (QWidget* w : std::initializer_list<QWidget*>{box()->BackBtn, box()->FrontBtn, box()->AutoBtn, box()->TrackBar})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(box()->DeleteBtn->isEnabled());
    EXPECT_TRUE(box()->NameChangeBtn->isEnabled());
    main->Session().Images().Clear();
    box()->RefreshNavControls();
    EXPECT_FALSE(box()->DeleteBtn->isEnabled());
    EXPECT_FALSE(FindAction(*main, "fNameChange1")->isEnabled());
}

TEST_F(ToolBoxTest, DoorAndDisplayFormOpenAndCloseTheTransferArea)
{
    picture("a.png");
    picture("b.png");
    start(folderIni());
    ASSERT_NE(box(), nullptr);
    box()->BtnDoor->click();
    EXPECT_FALSE(main->Session().Config().Option.Open);
    EXPECT_EQ(box()->height(), 335);
    EXPECT_TRUE(box()->TransferButtons.empty());
    EXPECT_EQ(FindAction(*main, "Transfer1")->text(), "転送不可");
    typeKey(box(), Qt::Key_0, "0");
    EXPECT_EQ(namesIn(dst), QStringList{}) << "closed area: no transfer";
    FindAction(*main, "Transfer1")->trigger();
    EXPECT_TRUE(main->Session().Config().Option.Open);
    EXPECT_EQ(box()->height(), 494);
    EXPECT_EQ(FindAction(*main, "Transfer1")->text(), "転送可能");

    // A spread form switches organizing off and closes the area for good.
    box()->rgState->Item(1)->click();
    EXPECT_EQ(main->Session().Config().Tool.State, 1);
    EXPECT_TRUE(box()->rgOrient->isEnabled());
    EXPECT_FALSE(main->Session().Config().Option.Open);
    EXPECT_FALSE(box()->BtnDoor->isEnabled());
    EXPECT_FALSE(box()->DeleteBtn->isEnabled());
    EXPECT_EQ(box()->height(), 335);
    typeKey(main.get(), Qt::Key_0, "0");
    EXPECT_EQ(namesIn(dst), QStringList{});
    box()->rgState->Item(0)->click();
    EXPECT_TRUE(box()->BtnDoor->isEnabled());
    EXPECT_FALSE(main->Session().Config().Option.Open);
    EXPECT_EQ(box()->height(), 335);

    // nButton changed elsewhere: the rows are built again.
    main->Session().Config().Option.Open = true;
    main->Session().Config().Option.nButton = 2;
    main->Session().NotifyTransferButtonsChanged();
    EXPECT_EQ(box()->height(), 335 + 15 + 24 * 3);
    EXPECT_EQ(box()->TransferButtons.size(), 2u);
}

TEST_F(ToolBoxTest, DigitKeysCopyMoveAndUndoWithTheToolboxOpenOrClosed)
{
    picture("a.png");
    picture("b.png");
    picture("c.png");
    start(folderIni() + "[Tool]\nShow=0\n");
    EXPECT_EQ(box(), nullptr);
    // Copy mode, toolbox closed: the digit still transfers.
    typeKey(main.get(), Qt::Key_0, "0");
    EXPECT_TRUE(QFileInfo::exists(dst + "/a.png"));
    EXPECT_TRUE(QFileInfo::exists(src + "/a.png"));
    EXPECT_EQ(notices, QStringList{"複写 完了！"});
    EXPECT_EQ(main->windowTitle(), "ミレット -- [2/3] " + src + "/b.png");
    EXPECT_FALSE(FindAction(*main, "MoveUndo1")->isEnabled());
    typeKey(main.get(), Qt::Key_7, "7");
    typeKey(main.get(), Qt::Key_1, "1"); // button 1 is still "none"
    EXPECT_EQ(boxes, QStringList{"複写・移動先のフォルダーがありません。\n\n\u3000\u3000複写・移動を中止しました。"});

    // Move mode from the toolbox, the digit typed in the toolbox.
    FindAction(*main, "ToolBox1")->trigger();
    ASSERT_NE(box(), nullptr);
    box()->BtnMove->click();
    EXPECT_FALSE(main->Session().Config().Option.Copy);
    EXPECT_TRUE(FindAction(*main, "MoveMode1")->isChecked());
    typeKey(box(), Qt::Key_0, "0");
    EXPECT_FALSE(QFileInfo::exists(src + "/b.png"));
    EXPECT_TRUE(QFileInfo::exists(dst + "/b.png"));
    EXPECT_EQ(notices.last(), "移動 完了 ！");
    EXPECT_EQ(main->windowTitle(), "ミレット -- [2/2] " + src + "/c.png");
    EXPECT_TRUE(FindAction(*main, "MoveUndo1")->isEnabled());
    EXPECT_TRUE(box()->TurnbackBtn->isEnabled());
    EXPECT_EQ(box()->TrackBar->maximum(), 1);

    // Ctrl+Z brings it back and shows the first image of the list.
    FindAction(*main, "MoveUndo1")->trigger();
    EXPECT_TRUE(QFileInfo::exists(src + "/b.png"));
    EXPECT_FALSE(QFileInfo::exists(dst + "/b.png"));
    EXPECT_EQ(notices.last(), "復活 完了 ！");
    EXPECT_EQ(main->windowTitle(), "ミレット -- [1/3] " + src + "/a.png");
    EXPECT_FALSE(FindAction(*main, "MoveUndo1")->isEnabled());
    EXPECT_FALSE(box()->TurnbackBtn->isEnabled());

    // The toolbox's transfer button does the same as the digit.
    ASSERT_TRUE(QFile::remove(dst + "/a.png"));
    box()->TransferButtons[0]->click();
    EXPECT_FALSE(QFileInfo::exists(src + "/a.png"));
    box()->TurnbackBtn->click();
    EXPECT_TRUE(QFileInfo::exists(src + "/a.png"));

    // Loading a list switches both undo controls off.
    typeKey(box(), Qt::Key_0, "0");
    EXPECT_TRUE(box()->TurnbackBtn->isEnabled());
    main->Session().ListLoaded();
    EXPECT_FALSE(FindAction(*main, "MoveUndo1")->isEnabled());
    EXPECT_FALSE(box()->TurnbackBtn->isEnabled());
}

TEST_F(ToolBoxTest, ConflictDialogShowsBothSidesAndKeepsItsGeometry)
{
    picture("a.png", QSize(1200, 900));
    start(folderIni() + "[SameBox]\nLeft=30\nTop=40\nWidth=600\nHeight=400\n");
    ASSERT_TRUE(writeFile(dst + "/a.png", "not a picture"));
    QString left, right;
    bool rightUndecodable = false;
    organizer->SameDialogHandler = [&](TfSame& same) {
        left = same.LeftText()->text() + " - " + same.LeftName()->text();
        right = same.RightText()->text() + same.RightName()->text();
        rightUndecodable = same.RightLabel()->isVisibleTo(&same);
        EXPECT_EQ(same.geometry(), QRect(30, 40, 600, 400));
        same.setGeometry(35, 45, 640, 420);
        return int(srCancel);
    };
    typeKey(main.get(), Qt::Key_0, "0");
    const qint64 size = QFileInfo(src + "/a.png").size();
    EXPECT_EQ(left, QString("1200 x 900 - Size: %1 byte - [ a.png ]").arg(GroupThousands(size)));
    EXPECT_EQ(right, "");
    EXPECT_TRUE(rightUndecodable);
    EXPECT_EQ(readFile(dst + "/a.png"), "not a picture");
    EXPECT_EQ(main->Session().Config().SameBox.Left, 35);
    EXPECT_EQ(main->Session().Config().SameBox.Top, 45);
    EXPECT_EQ(main->Session().Config().SameBox.Width, 640);
    EXPECT_EQ(main->Session().Config().SameBox.Height, 420);
}

TEST_F(ToolBoxTest, RenameCommandAndButtonAskWithTheDialog)
{
    picture("a.png");
    picture("b.png");
    start(folderIni());
    QString prompt, place;
    SetRenameDialogHandlerForTesting([&](TfRename& dialog) {
        prompt = dialog.Label1()->text();
        place = dialog.Label2()->text();
        EXPECT_EQ(dialog.Edit1()->text(), "a.png");
        EXPECT_EQ(dialog.windowTitle(), "画像ファイル名変更");
        EXPECT_EQ(dialog.Edit1()->geometry().topLeft(), QPoint(48, 56));
        dialog.Edit1()->setText("new name");
        return true;
    });
    FindAction(*main, "fNameChange1")->trigger();
    EXPECT_EQ(prompt, "\"a.png\" の新しいファイル名を入力してください。");
    EXPECT_EQ(place, "場所：  \"" + src + "/\"");
    EXPECT_TRUE(QFileInfo::exists(src + "/new name.png"));
    EXPECT_EQ(main->windowTitle(), "Mirett -- [1/2] " + src + "/new name.png");
    EXPECT_EQ(main->Session().Images().At(0), src + "/new name.png");

    SetRenameDialogHandlerForTesting([](TfRename& dialog) {
        dialog.Edit1()->setText("ignored");
        return false;
    });
    ASSERT_NE(box(), nullptr);
    box()->NameChangeBtn->click();
    EXPECT_TRUE(QFileInfo::exists(src + "/new name.png"));
}

TEST(RenamePromptTest, LongNamesFitTheDialogAndShowWholeAsTips)
{
    const struct {
        QString name, folder, nameStart, nameEnd, folderStart, folderEnd;
    } cases[] = {
        {QString("長い長いファイル名").repeated(12) + "_end.jpg", "/" + QString("深いフォルダ/").repeated(15),
         "長い長い", "_end.jpg", "/深いフォ", "フォルダ/"},
        // 60 characters, in a folder deep enough to be shortened too.
        {"Start_of_a_rather_long_picture_name_from_a_camera_0123_e.png",
         "/home/someone/Pictures/" + QString("holiday_2026_seaside/").repeated(6), "Start_of", "0123_e.png", "/home/so",
         "seaside/"},
    };
    for (const auto& c : cases) {
        bool seen = false;
        SetRenameDialogHandlerForTesting([&](TfRename& dialog) {
            seen = true;
            dialog.show();
            QApplication::processEvents();
            const QRect inside = dialog.rect();
            for (QLabel* label : {dialog.Label1(), dialog.Label2()}) {
                EXPECT_TRUE(inside.contains(label->geometry())) << label->text().toStdString();
                EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                    << label->text().toStdString();
                EXPECT_TRUE(label->text().contains(QChar(0x2026))) << label->text().toStdString();
                EXPECT_FALSE(label->geometry().intersects(dialog.Edit1()->geometry())) << label->text().toStdString();
            }
            EXPECT_FALSE(dialog.Label1()->geometry().intersects(dialog.Label2()->geometry()));
            // Both ends of the name and of the folder stay readable.
            EXPECT_TRUE(dialog.Label1()->text().startsWith("\"" + c.nameStart))
                << dialog.Label1()->text().toStdString();
            EXPECT_TRUE(dialog.Label1()->text().endsWith(c.nameEnd + "\" の新しいファイル名を入力してください。"))
                << dialog.Label1()->text().toStdString();
            EXPECT_TRUE(dialog.Label2()->text().startsWith("場所：  \"" + c.folderStart))
                << dialog.Label2()->text().toStdString();
            EXPECT_TRUE(dialog.Label2()->text().endsWith(c.folderEnd + "\"")) << dialog.Label2()->text().toStdString();
            EXPECT_EQ(dialog.Label1()->toolTip(), c.name);
            EXPECT_EQ(dialog.Label2()->toolTip(), c.folder);
            EXPECT_EQ(dialog.Edit1()->text(), c.name) << "the editor holds the whole name";
            return true;
        });
        EXPECT_EQ(InputNewName(c.folder, c.name, nullptr), c.name);
        EXPECT_TRUE(seen);
    }
    SetRenameDialogHandlerForTesting({});
}

TEST_F(ToolBoxTest, FileCopyDragSwitchesDropsOffAndRefreshesTheList)
{
    picture("a.png");
    picture("b.png");
    start(folderIni());
    ASSERT_NE(box(), nullptr);
    QStringList dragged;
    bool acceptedDuringDrag = true;
    organizer->DragRunner = [&](QWidget*, const QString& path) {
        dragged << path;
        acceptedDuringDrag = main->acceptDrops() || box()->acceptDrops();
        // The target moves the file away.
        QFile::rename(path, dst + "/" + QFileInfo(path).fileName());
    };
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(box()->FileCopy1, &press);
    EXPECT_EQ(dragged, QStringList{src + "/a.png"});
    EXPECT_FALSE(acceptedDuringDrag);
    EXPECT_TRUE(main->acceptDrops());
    EXPECT_TRUE(box()->acceptDrops());
    EXPECT_EQ(main->Session().Images().Count(), 1) << "the moved file left the list";
    EXPECT_EQ(main->windowTitle(), "ミレット -- [1/1] " + src + "/b.png");

    // From the image control (the main window switches drops off itself),
    // once the picture has arrived from the decoding threads.
    main->Pipeline().WaitForIdle();
    QApplication::processEvents();
    TImageControl* image = main->ImageAt(0);
    main->DragOutHandler(*main, image);
    EXPECT_EQ(dragged.last(), src + "/b.png");

    main->Session().Images().Clear();
    QApplication::sendEvent(box()->FileCopy1, &press);
    EXPECT_EQ(dragged.size(), 2) << "an empty list drags nothing";
}

TEST_F(ToolBoxTest, Screenshots)
{
    const QString out = qEnvironmentVariable("ORVANTO_SCREENSHOT_DIR");
    if (out.isEmpty())
        GTEST_SKIP() << "set ORVANTO_SCREENSHOT_DIR to write the pictures";
    QDir().mkpath(out);
    picture("a.png", QSize(640, 480));
    start(folderIni() + "Folder3=転送先 実行時選択\nButton3=AnyWhere\n");
    ASSERT_NE(box(), nullptr);
    box()->grab().save(out + "/toolbox.png");
    QImage other(300, 400, QImage::Format_RGB32);
    other.fill(Qt::darkGreen);
    other.save(dst + "/a.png", "PNG");
    organizer->SameDialogHandler = [&](TfSame& same) {
        same.show();
        QApplication::processEvents();
        same.grab().save(out + "/same_dialog.png");
        return int(srCancel);
    };
    typeKey(main.get(), Qt::Key_0, "0");
    EXPECT_TRUE(QFileInfo::exists(out + "/toolbox.png"));
    EXPECT_TRUE(QFileInfo::exists(out + "/same_dialog.png"));
}

TEST_F(ToolBoxTest, SwitchesOrderAndOptionsReachTheMainWindow)
{
    picture("a.png");
    picture("b.png");
    picture("c.png");
    start(folderIni());
    ASSERT_NE(box(), nullptr);
    box()->CheckBox1->click();
    EXPECT_TRUE(main->Session().Config().Option.Zoom);
    box()->rgState->Item(2)->click();
    box()->rgOrient->Item(1)->click();
    EXPECT_EQ(main->Session().Config().Tool.Orient, 1);
    EXPECT_FALSE(FindAction(*main, "clipcopy1")->isEnabled());
    box()->rgState->Item(0)->click();
    EXPECT_TRUE(FindAction(*main, "clipcopy1")->isEnabled());

    // The play order from the split button's menu and from the main menu.
    box()->PopupMenu2->actions()[2]->trigger();
    EXPECT_EQ(main->Session().State().PlayOrder, 3);
    EXPECT_EQ(box()->Button1->text(), "逆順");
    EXPECT_EQ(main->Session().Images().At(0), src + "/c.png");
    FindAction(*main, "menu_random")->trigger();
    EXPECT_EQ(main->Session().State().PlayOrder, 1);
    EXPECT_EQ(box()->Button1->text(), "ランダム");

    // Copy and move mode from the main window press the toolbox's buttons.
    FindAction(*main, "MoveMode1")->trigger();
    EXPECT_TRUE(box()->BtnMove->isChecked());
    FindAction(*main, "CopyMode1")->trigger();
    EXPECT_TRUE(box()->BtnCopy->isChecked());

    // Releasing the right button on Auto opens the options.
    int options = 0;
    main->OptionsHandler = [&](TfMain&) { ++options; };
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3), QPointF(3, 3), Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(box()->AutoBtn, &release);
    EXPECT_EQ(options, 1);
}
