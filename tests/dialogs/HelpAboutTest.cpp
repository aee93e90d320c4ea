// The help viewer and the about box on the offscreen platform, opened from a
// real main window.
#include "FindAction.h"
#include "DialogTestSupport.h"

#include "dialogs/AboutBox.h"
#include "app/AppDialogs.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/HelpViewer.h"
#include "platform/Desktop.h"
#include "viewer/MainWindow.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QPointer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class HelpAboutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        page(QStringLiteral("start.html"), QStringLiteral("<html><head><title>Start</title></head><body><h1>目次</h1>"
                                                          "<a href=\"second.html\">next</a></body></html>"));
        page(QStringLiteral("second.html"), QStringLiteral("<html><body><h1>Second</h1></body></html>"));
        platform::SetOpenUrlHandlerForTesting([this](const QUrl& url) {
            opened << url.toString();
            return true;
        });
    }
    void TearDown() override { platform::SetOpenUrlHandlerForTesting({}); }

    void page(const QString& name, const QString& html)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(html.toUtf8());
    }
    std::unique_ptr<TfMain> startMain()
    {
        auto main = std::make_unique<TfMain>(QStringList{}, nullptr, [this](TfMain& m) {
            m.Session().SetIniPath(dir.filePath(QStringLiteral("orvanto.ini")));
            AttachDialogs(m);
        });
        main->show();
        QApplication::processEvents();
        return main;
    }
    QList<TfHelpViewer*> viewers(TfMain& main) const { return main.findChildren<TfHelpViewer*>(); }

    QTemporaryDir dir;
    Settings settings;
    QStringList opened;
};

} // namespace

TEST_F(HelpAboutTest, HelpViewerHasItsToolBarBrowserAndCloseButton)
{
    auto* v = new TfHelpViewer(nullptr, settings);
    EXPECT_EQ(v->windowTitle(), QStringLiteral("ヘルプ"));
    EXPECT_TRUE(v->windowFlags().testFlag(Qt::Tool));
    const char* hints[] = {"起動ページに戻る", "戻る", "進む", "読み込み中止", "読み直し"};
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(v->ToolButton(n)->toolTip(), QString::fromUtf8(hints[n - 1]));
    // Five buttons and two separators: after the first and after the third.
    QStringList order;
    for (QAction* a : v->ToolBar1()->actions()) {
        if (a->isSeparator())
            order << a->objectName();
        else if (QWidget* w = v->ToolBar1()->widgetForAction(a))
            order << w->objectName();
    }
    EXPECT_EQ(order,
              (QStringList{QStringLiteral("ToolButton1"), QStringLiteral("ToolButton6"), QStringLiteral("ToolButton2"),
                           QStringLiteral("ToolButton3"), QStringLiteral("ToolButton7"), QStringLiteral("ToolButton4"),
                           QStringLiteral("ToolButton5")}));
    EXPECT_EQ(v->BitBtn1()->text(), QStringLiteral("閉じる(&C)"));
    EXPECT_EQ(v->BitBtn1()->size(), QSize(89, 25));
    EXPECT_TRUE(v->BitBtn1()->isDefault());

    // Place and size from [Help]; the browser fills the space between the
    // tool bar and the 32-pixel bottom panel.
    EXPECT_EQ(v->size(), QSize(500, 500));
    v->show();
    QApplication::processEvents();
    EXPECT_EQ(v->Panel1()->height(), 32);
    EXPECT_EQ(v->Panel1()->y() + 32, v->height());
    EXPECT_EQ(v->WebBrowser1()->y(), v->ToolBar1()->height());
    EXPECT_EQ(v->WebBrowser1()->geometry().bottom() + 1, v->Panel1()->y());
    EXPECT_EQ(v->BitBtn1()->x(), (v->width() - 89) / 2);
    // Narrower than the button: still centred, at a negative left.
    v->resize(60, 300);
    QApplication::processEvents();
    EXPECT_EQ(v->width(), 60);
    EXPECT_EQ(v->BitBtn1()->x(), (60 - 89) / 2);
    EXPECT_LT(v->BitBtn1()->x(), 0);
    // Esc works the close button.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QPointer<TfHelpViewer> guard(v);
    QApplication::sendEvent(v, &esc);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

TEST_F(HelpAboutTest, ToolButtonsNavigateAndAbsorbWhatCannotBeDone)
{
    auto* v = new TfHelpViewer(nullptr, settings);
    v->StartPage = dir.filePath(QStringLiteral("start.html"));
    v->Navigate(v->StartPage);
    v->show();
    QApplication::processEvents();
    EXPECT_EQ(v->WebBrowser1()->source().toLocalFile(), v->StartPage);
    EXPECT_TRUE(v->WebBrowser1()->toPlainText().contains(QStringLiteral("目次")));
    // Back from the start page: nothing, no message.
    v->ToolButton(2)->click();
    v->ToolButton(4)->click();
    EXPECT_EQ(v->WebBrowser1()->source().toLocalFile(), v->StartPage);
    // A link to another local page, then back and forward.
    emit v->WebBrowser1()->anchorClicked(QUrl(QStringLiteral("second.html")));
    EXPECT_EQ(v->WebBrowser1()->source().toLocalFile(), dir.filePath(QStringLiteral("second.html")));
    v->ToolButton(2)->click();
    EXPECT_EQ(v->WebBrowser1()->source().toLocalFile(), v->StartPage);
    v->ToolButton(3)->click();
    EXPECT_EQ(v->WebBrowser1()->source().toLocalFile(), dir.filePath(QStringLiteral("second.html")));
    // Reload reads the file again from disk.
    page(QStringLiteral("second.html"), QStringLiteral("<html><body><h1>Changed</h1></body></html>"));
    v->ToolButton(5)->click();
    EXPECT_TRUE(v->WebBrowser1()->toPlainText().contains(QStringLiteral("Changed")));
    v->ToolButton(1)->click();
    EXPECT_EQ(v->WebBrowser1()->source().toLocalFile(), v->StartPage);
    // Web links go to the desktop, not into the help browser.
    emit v->WebBrowser1()->anchorClicked(QUrl(QStringLiteral("https://orvanto.example.org/")));
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://orvanto.example.org/")});
    EXPECT_EQ(v->WebBrowser1()->source().toLocalFile(), v->StartPage);
    // A missing document shows an error page and nothing else.
    v->Navigate(dir.filePath(QStringLiteral("gone.html")));
    EXPECT_TRUE(v->WebBrowser1()->toPlainText().contains(QStringLiteral("gone.html")));
    v->close();
}

TEST_F(HelpAboutTest, F1OpensAnotherViewerEachTimeAndTheGeometryIsKept)
{
    auto main = startMain();
    QAction* help1 = FindAction(*main, "Help1");
    EXPECT_EQ(help1->shortcut(), QKeySequence(Qt::Key_F1));
    ASSERT_TRUE(help1->isEnabled());
    main->Session().Config().Help = {40, 50, 420, 380};
    help1->trigger();
    help1->trigger();
    QApplication::processEvents();
    auto list = viewers(*main);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(TfHelpViewer::Current(), list.last());
    for (TfHelpViewer* v : list) {
        EXPECT_TRUE(v->isVisible());
        EXPECT_FALSE(v->isModal());
        EXPECT_EQ(v->StartPage, HelpDocumentPath());
        EXPECT_EQ(v->pos(), QPoint(40, 50));
        EXPECT_EQ(v->size(), QSize(420, 380));
    }
    EXPECT_TRUE(HelpDocumentPath().endsWith(QStringLiteral("/help.html")));

    // Closing stores the geometry; the next viewer opens there.
    TfHelpViewer* newest = list.last();
    newest->move(70, 80);
    newest->resize(610, 470);
    QApplication::processEvents();
    newest->BitBtn1()->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(TfHelpViewer::Current(), nullptr);
    EXPECT_EQ(main->Session().Config().Help.Left, 70);
    EXPECT_EQ(main->Session().Config().Help.Top, 80);
    EXPECT_EQ(main->Session().Config().Help.Width, 610);
    EXPECT_EQ(main->Session().Config().Help.Height, 470);
    help1->trigger();
    QApplication::processEvents();
    list = viewers(*main);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.last()->pos(), QPoint(70, 80));
    EXPECT_EQ(list.last()->size(), QSize(610, 470));
}

TEST_F(HelpAboutTest, F1GivesTheViewerTheKeyboardSoEscClosesIt)
{
    auto main = startMain();
    main->activateWindow();
    QApplication::processEvents();
    FindAction(*main, QStringLiteral("Help1"))->trigger();
    QApplication::processEvents();
    auto list = viewers(*main);
    ASSERT_EQ(list.size(), 1);
    QPointer<TfHelpViewer> viewer(list.first());
    EXPECT_EQ(QApplication::activeWindow(), viewer.data());
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->window(), viewer.data());
    // Esc goes where the keyboard is: the viewer closes, the program stays.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(QApplication::focusWidget(), &esc);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());
    EXPECT_TRUE(main->isVisible());
}

TEST_F(HelpAboutTest, AboutBoxShowsNameVersionSignatureAndAddresses)
{
    TfAbout a(nullptr);
    EXPECT_EQ(a.windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(a.size(), QSize(329, 200));
    EXPECT_EQ(a.Label1()->text(), QStringLiteral("ミレット"));
    EXPECT_TRUE(a.Label1()->font().bold());
    EXPECT_EQ(a.Label1()->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(a.Version()->text(), QStringLiteral("Ver\u30003.41"));
    EXPECT_TRUE(a.Version()->font().bold());
    EXPECT_EQ(a.Version()->palette().color(QPalette::WindowText), QColor(128, 128, 0));
    EXPECT_EQ(a.Label2()->text(), AboutTexts::Signature);
    EXPECT_TRUE(a.Label2()->font().bold());
    EXPECT_TRUE(a.Label2()->font().italic());
    EXPECT_EQ(a.Label2()->geometry(), a.Shape1()->geometry());
    ASSERT_FALSE(a.ProgramIcon()->pixmap().isNull());
    EXPECT_EQ(a.ProgramIcon()->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(a.Url()->text(), AboutTexts::WebAddress);
    EXPECT_EQ(a.Mail()->text(), AboutTexts::MailAddress);
    EXPECT_TRUE(a.Url()->font().underline());
    EXPECT_EQ(a.Url()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(a.Mail()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(a.Button1()->text(), QStringLiteral("URL:"));
    EXPECT_EQ(a.Button1()->toolTip(), QStringLiteral("URLをクリップボードにコピーします。"));
    EXPECT_EQ(a.Button2()->text(), QStringLiteral("Mail:"));
    EXPECT_EQ(a.Button2()->toolTip(), QStringLiteral("Mailアドレスをクリップボードにコピーします。"));
    EXPECT_TRUE(a.OKButton()->isDefault());
    EXPECT_NE(a.OKButton()->parentWidget(), a.Panel1());
    EXPECT_EQ(a.Url()->parentWidget(), a.Panel1());
    EXPECT_FALSE(a.Copyright()->text().isEmpty());

    // The hatch and the red ellipse are drawn: the shape's picture holds
    // red pixels on its rim and hatch lines inside.
    a.show();
    QApplication::processEvents();
    const QImage shape = a.Shape1()->grab().toImage();
    const QColor rim = shape.pixelColor(shape.width() / 2, 1);
    EXPECT_GT(rim.red(), 200);
    EXPECT_LT(rim.green(), 80);
    int hatch = 0;
    for (int x = shape.width() / 4; x < shape.width() * 3 / 4; ++x) {
        const QColor c = shape.pixelColor(x, shape.height() / 2 + 8);
        if (c.red() > 200 && c.green() < 200)
            ++hatch;
    }
    EXPECT_GT(hatch, 3);
}

TEST_F(HelpAboutTest, AddressesOpenAndCopy)
{
    TfAbout a(nullptr);
    a.show();
    QApplication::processEvents();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    a.Button1()->click();
    EXPECT_EQ(clipboard->text(), AboutTexts::WebAddress);
    a.Button2()->click();
    EXPECT_EQ(clipboard->text(), AboutTexts::MailAddress);

    const QPoint centre = a.Url()->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, centre, a.Url()->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, a.Url()->mapToGlobal(centre), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(a.Url(), &press);
    QApplication::sendEvent(a.Url(), &release);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], AboutTexts::WebAddress);
    a.MailClick();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_TRUE(opened[1].startsWith(QStringLiteral("mailto:") + AboutTexts::MailAddress + QStringLiteral("?")));
    EXPECT_TRUE(opened[1].contains(QStringLiteral("subject=")));
}

TEST_F(HelpAboutTest, AboutMenuEntryShowsTheBoxModally)
{
    auto main = startMain();
    QAction* about1 = FindAction(*main, "about1");
    ASSERT_TRUE(about1->isEnabled());
    bool modal = false;
    QPoint centre;
    auto shown = WhenShown(QStringLiteral("fAbout"), [&](QWidget* w) {
        modal = static_cast<QDialog*>(w)->isModal() || QApplication::activeModalWidget() == w;
        centre = w->frameGeometry().center();
        static_cast<TfAbout*>(w)->OKButton()->click();
    });
    about1->trigger();
    ASSERT_TRUE(*shown);
    EXPECT_TRUE(modal);
    EXPECT_LE((centre - main->frameGeometry().center()).manhattanLength(), 2);
    EXPECT_TRUE(main->findChildren<TfAbout*>().isEmpty()); // released
}

TEST_F(HelpAboutTest, ProgramIconIsDrawnAtEverySize)
{
    for (int size : {16, 32, 64}) {
        const QImage icon = ProgramIconPixmap(size).toImage();
        EXPECT_EQ(icon.size(), QSize(size, size));
        int opaque = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                opaque += qAlpha(icon.pixel(x, y)) > 0;
        EXPECT_GT(opaque, size * size / 3) << size;
        EXPECT_LT(opaque, size * size) << size; // transparent corners
    }
    EXPECT_FALSE(ProgramIcon().isNull());
}
