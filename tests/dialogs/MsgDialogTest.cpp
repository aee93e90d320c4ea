#include "dialogs/MsgDialog.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

TEST(MsgDialog, CentresOverTheMainWindow)
{
    // Left 100, width 800: 100 + (800 - 204) div 2 = 398.
    EXPECT_EQ(TfMsgDialog::CenteredPosition(QRect(100, 40, 800, 600), QSize(204, 52)), QPoint(398, 314));
    // div rounds toward zero for a window larger than the main window.
    EXPECT_EQ(TfMsgDialog::CenteredPosition(QRect(0, 0, 101, 51), QSize(204, 52)), QPoint(-51, 0));
}

TEST(MsgDialog, ShowsTheTextAndClosesItselfAfterOneSecond)
{
    QWidget main;
    main.setGeometry(100, 100, 800, 600);
    TfMsgDialog dialog(&main);
    dialog.SetText(QStringLiteral("移動 完了 ！"));
    EXPECT_EQ(dialog.size(), QSize(204, 52));
    EXPECT_EQ(dialog.StaticText1()->text(), QStringLiteral("移動 完了 ！"));
    EXPECT_EQ(dialog.StaticText1()->font().pixelSize(), 27);
    EXPECT_EQ(dialog.Timer1()->interval(), 1000);
    EXPECT_TRUE(dialog.Timer1()->isActive());
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    QElapsedTimer clock;
    clock.start();
    dialog.exec(); // returns when the timer closes it
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 5000);
}
