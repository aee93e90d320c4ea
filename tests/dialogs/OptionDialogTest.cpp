// TfOption on the offscreen platform: its controls, the list and folder
// buttons with the real folder dialog, and OK and Cancel through F5 of a real
// main window.
#include "FindAction.h"
#include "DialogTestSupport.h"

#include "decode/BuiltInFormats.h"
#include "decode/FormatRegistry.h"
#include "app/AppDialogs.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/OptionDialog.h"
#include "platform/Desktop.h"
#include "viewer/MainWindow.h"

#include <QCheckBox>
#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class NullTarget : public IOptionTarget {
public:
    bool SlideshowRunning() const override { return false; }
    void SetStatusText(const QString&) override {}
    bool ToolboxOpen() const override { return false; }
    void RebuildTransferArea() override {}
    void ApplySlideshowInterval() override {}
    void ReplaceApplications(const QStringList&) override {}
    void SearchPlugins(const QString&) override {}
    void RetakeGraphicFilter() override {}
};

// The rebuilds of the toolbox's transfer area the session asked for.
struct RebuildCounter {
    int rebuilds = 0;
};

class OptionDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"viewer", "paint", "editor", "tool4", "tool5", "tool6"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    Settings settings;
    NullTarget target;
};

} // namespace

TEST_F(OptionDialogTest, EveryControlStandsInItsPlace)
{
    TfOption d(nullptr, settings, {}, target);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("各種設定"));
    EXPECT_EQ(d.size(), QSize(304, 362));
    EXPECT_EQ(d.Panel1()->geometry(), QRect(8, 8, 289, 65));
    EXPECT_EQ(d.numbering1()->geometry(), QRect(8, 80, 289, 41));
    EXPECT_EQ(d.numbering1()->title(), QStringLiteral("同ファイル名時、自動連番機能(コピー・移動)"));
    EXPECT_EQ(d.GroupBox1()->geometry(), QRect(8, 128, 289, 121));
    EXPECT_EQ(d.GroupBox1()->title(), QStringLiteral("起動アプリケーション"));
    EXPECT_EQ(d.ListBox1()->geometry(), QRect(23, 15, 263, 73));
    EXPECT_EQ(d.GroupBox2()->geometry(), QRect(8, 256, 289, 41));
    EXPECT_EQ(d.GroupBox2()->title(), QStringLiteral("Susie Plug-in インストール\u3000Directory"));
    EXPECT_EQ(d.AutoRotate1()->geometry(), QRect(16, 303, 273, 20));
    EXPECT_EQ(d.AutoRotate1()->text(), QStringLiteral("Exif の回転情報に従う"));
    EXPECT_EQ(d.BitBtn1()->geometry(), QRect(65, 330, 82, 25));
    EXPECT_EQ(d.BitBtn2()->geometry(), QRect(161, 330, 82, 25));
    EXPECT_EQ(d.BitBtn1()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(d.BitBtn1()->isDefault());

    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"Label1", "スライドショー表示間隔"},
                  {"Label2", "秒"},
                  {"Label5", "m秒"},
                  {"Label3", "転送ボタン数"},
                  {"Label4", "個"},
                  {"No1", "1."},
                  {"No2", "2."},
                  {"No3", "3."},
                  {"No4", "4."},
                  {"No5", "5."}};
    for (const auto& l : labels) {
        auto* label = d.findChild<QLabel*>(QString::fromLatin1(l.name));
        ASSERT_NE(label, nullptr) << l.name;
        EXPECT_EQ(label->text(), QString::fromUtf8(l.text));
    }
    // The row numbers stand at the left of the list's five 13-pixel rows.
    for (int n = 1; n <= 5; ++n) {
        auto* number = d.findChild<QLabel*>(QStringLiteral("No%1").arg(n));
        EXPECT_LT(number->geometry().right(), d.ListBox1()->x());
        EXPECT_EQ(number->y() - d.findChild<QLabel*>(QStringLiteral("No1"))->y(), (n - 1) * 13);
    }
    const char* hints[] = {"追加", "削除", "上へ", "下へ"};
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(d.SpeedButton(n)->toolTip(), QString::fromUtf8(hints[n - 1]));
    auto radios = d.numbering1()->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    EXPECT_EQ(radios[0]->text(), QStringLiteral("on"));
    EXPECT_EQ(radios[1]->text(), QStringLiteral("off"));
    EXPECT_LT(radios[0]->x(), radios[1]->x()); // two columns
    EXPECT_EQ(radios[0]->y(), radios[1]->y());
}

TEST_F(OptionDialogTest, SpinEditsMoveOnlyByTheirArrowsAndTabPassesThemBy)
{
    TfOption d(nullptr, settings, {}, target);
    const struct {
        TArrowSpinEdit* spin;
        int min, max, step;
    } spins[] = {{d.SpinEdit1(), 0, 20, 1}, {d.SpinEdit3(), 0, 900, 100}, {d.SpinEdit2(), 1, 10, 1}};
    for (const auto& s : spins) {
        EXPECT_EQ(s.spin->minimum(), s.min);
        EXPECT_EQ(s.spin->maximum(), s.max);
        EXPECT_EQ(s.spin->singleStep(), s.step);
        EXPECT_EQ(s.spin->focusPolicy(), Qt::NoFocus);
    }
    // The arrow buttons step; stepping stops at the ends.
    d.SpinEdit3()->setValue(800);
    d.SpinEdit3()->stepUp();
    d.SpinEdit3()->stepUp();
    EXPECT_EQ(d.SpinEdit3()->value(), 900);

    d.show();
    QApplication::processEvents();
    // Typing changes nothing.
    d.SpinEdit1()->setValue(4);
    QKeyEvent type(QEvent::KeyPress, Qt::Key_9, Qt::NoModifier, QStringLiteral("9"));
    QApplication::sendEvent(d.SpinEdit1()->findChild<QLineEdit*>(), &type);
    EXPECT_EQ(d.SpinEdit1()->value(), 4);
    // Walking the whole Tab chain never stops on a spin edit.
    d.Edit1()->setFocus();
    QWidget* start = QApplication::focusWidget();
    ASSERT_EQ(start, d.Edit1());
    for (int i = 0; i < 12; ++i) {
        QWidget* next = start->nextInFocusChain();
        while (next != start && !(next->focusPolicy() & Qt::TabFocus && next->isEnabled() && next->isVisible()))
            next = next->nextInFocusChain();
        start = next;
        EXPECT_EQ(qobject_cast<QAbstractSpinBox*>(start), nullptr);
        EXPECT_EQ(qobject_cast<QAbstractSpinBox*>(start->parentWidget()), nullptr);
    }
}

TEST_F(OptionDialogTest, FormCreateAndFormShowFillTheControls)
{
    settings.Option.Interval = 6;
    settings.Option.IntervalM = 400;
    settings.Option.nButton = 9;
    settings.Option.Numbering = true;
    settings.SusieDir = QStringLiteral("/opt/susie");
    TfOption d(nullptr, settings, {file("viewer"), file("paint")}, target);
    EXPECT_EQ(d.SpinEdit1()->value(), 6);
    EXPECT_EQ(d.SpinEdit3()->value(), 400);
    EXPECT_EQ(d.SpinEdit2()->value(), 9);
    EXPECT_EQ(d.NumberingIndex(), 0);
    EXPECT_EQ(d.Edit1()->text(), QStringLiteral("/opt/susie"));
    d.show();
    QApplication::processEvents();
    EXPECT_EQ(d.Applications(), (QStringList{file("viewer"), file("paint")}));

    EXPECT_TRUE(d.AutoRotate1()->isChecked()); // on by default

    settings.Option.Numbering = false;
    settings.Option.AutoRotate = false;
    TfOption off(nullptr, settings, {}, target);
    EXPECT_EQ(off.NumberingIndex(), 1);
    EXPECT_FALSE(off.AutoRotate1()->isChecked());
    off.AutoRotate1()->setChecked(true);
    EXPECT_TRUE(off.Choice().AutoRotate);
}

TEST_F(OptionDialogTest, ListButtonsDeleteAndMoveTheSelectedEntry)
{
    TfOption d(nullptr, settings, {file("viewer"), file("paint"), file("editor")}, target);
    d.show();
    QApplication::processEvents();
    // Nothing selected: the buttons do nothing.
    d.SpeedButton(2)->click();
    d.SpeedButton(3)->click();
    d.SpeedButton(4)->click();
    EXPECT_EQ(d.Applications().size(), 3);

    d.ListBox1()->setCurrentRow(0);
    d.SpeedButton(3)->click(); // the first cannot go up
    EXPECT_EQ(d.Applications().first(), file("viewer"));
    d.SpeedButton(4)->click();
    EXPECT_EQ(d.Applications(), (QStringList{file("paint"), file("viewer"), file("editor")}));
    EXPECT_EQ(d.ListBox1()->currentRow(), 1);
    d.SpeedButton(4)->click();
    d.SpeedButton(4)->click(); // the last cannot go down
    EXPECT_EQ(d.Applications(), (QStringList{file("paint"), file("editor"), file("viewer")}));
    EXPECT_EQ(d.ListBox1()->currentRow(), 2);
    d.SpeedButton(3)->click();
    EXPECT_EQ(d.Applications(), (QStringList{file("paint"), file("viewer"), file("editor")}));
    EXPECT_TRUE(d.ListBox1()->currentItem()->isSelected());
    d.SpeedButton(2)->click();
    EXPECT_EQ(d.Applications(), (QStringList{file("paint"), file("editor")}));
}

TEST_F(OptionDialogTest, AddButtonChoosesAFileRightOfItselfAndKeepsFive)
{
    TfOption d(nullptr, settings, {}, target);
    d.show();
    QApplication::processEvents();
    const char* names[] = {"viewer", "paint", "editor", "tool4", "tool5", "tool6"};
    for (const char* name : names) {
        auto seen = AnswerBrowser(file(name));
        d.SpeedButton(1)->click();
        EXPECT_EQ(seen->caption, QStringLiteral("起動アプリケーション指定ダイアログ"));
        EXPECT_TRUE(seen->filesListed);
        const QPoint right = d.SpeedButton(1)->mapToGlobal(QPoint(d.SpeedButton(1)->width(), 0));
        EXPECT_EQ(d.plBrowseFolder1().FormLeft(), right.x());
        EXPECT_EQ(seen->position.x(), right.x());
        EXPECT_EQ(seen->position.y(), d.frameGeometry().top());
    }
    // The sixth entry pushed out the first.
    EXPECT_EQ(d.Applications(),
              (QStringList{file("paint"), file("editor"), file("tool4"), file("tool5"), file("tool6")}));
    // A cancelled choice changes nothing.
    auto seen = AnswerBrowser(QString());
    d.SpeedButton(1)->click();
    EXPECT_FALSE(seen->caption.isEmpty());
    EXPECT_EQ(d.Applications().size(), 5);
}

TEST_F(OptionDialogTest, PluginFolderButtonStartsAtTheTypedFolder)
{
    QDir(dir.path()).mkpath(QStringLiteral("spi/old"));
    QDir(dir.path()).mkpath(QStringLiteral("spi/new"));
    TfOption d(nullptr, settings, {}, target);
    d.show();
    QApplication::processEvents();
    d.Edit1()->setText(dir.filePath(QStringLiteral("spi/old")));
    auto seen = AnswerBrowser(dir.filePath(QStringLiteral("spi/new")));
    d.SpeedButton(5)->click();
    EXPECT_EQ(seen->start, dir.filePath(QStringLiteral("spi/old")));
    EXPECT_EQ(d.Edit1()->text(), dir.filePath(QStringLiteral("spi/new")));
    // Cancelled: the text stays; a typed folder that does not exist keeps the
    // last good start folder.
    d.Edit1()->setText(QStringLiteral("/no/such/folder"));
    seen = AnswerBrowser(QString());
    d.SpeedButton(5)->click();
    EXPECT_EQ(seen->start, dir.filePath(QStringLiteral("spi/old")));
    EXPECT_EQ(d.Edit1()->text(), QStringLiteral("/no/such/folder"));
}

namespace {

class OptionThroughMainTest : public OptionDialogTest {
protected:
    void SetUp() override
    {
        OptionDialogTest::SetUp();
        RegisterBuiltInFormats();
        platform::SetMessageBoxHandlerForTesting(
            [](const QString&, platform::MsgIcon, int) { return int(platform::MsgOk); });
        main = std::make_unique<TfMain>(QStringList{}, nullptr, [this](TfMain& m) {
            m.Session().SetIniPath(dir.filePath(QStringLiteral("orvanto.ini")));
            AttachDialogs(m);
            m.PluginSearchHandler = [this](TfMain&, const QString& mask) { masks << mask; };
        });
        main->Session().SetApplications({file("viewer")});
        QObject::connect(&main->Session(), &ViewerSession::transferButtonsChanged, [this] { ++toolbox.rebuilds; });
        main->show();
        QApplication::processEvents();
        masks.clear();
    }
    void TearDown() override
    {
        if (main)
            main->Session().SetToolboxOpen(false);
        main.reset();
        platform::SetMessageBoxHandlerForTesting({});
    }
    QStringList appEntries() const
    {
        QStringList out;
        for (QAction* a : main->ToolsMenu()->actions()) {
            if (a->objectName().startsWith(QStringLiteral("app")))
                out << a->text();
        }
        return out;
    }

    std::unique_ptr<TfMain> main;
    QStringList masks;
    RebuildCounter toolbox;
};

} // namespace

TEST_F(OptionThroughMainTest, F5OpensTheDialogAndOkAppliesAllNineSteps)
{
    QAction* option1 = FindAction(*main, "option1");
    ASSERT_NE(option1, nullptr);
    EXPECT_TRUE(option1->isEnabled());
    EXPECT_EQ(option1->shortcut(), QKeySequence(Qt::Key_F5));
    main->Session().SetToolboxOpen(true);
    main->Session().ToggleSlideshow(); // running
    main->Session().SetGraphicFilter(QStringLiteral("stale"));
    QDir(dir.path()).mkpath(QStringLiteral("plugins"));

    auto shown = WhenShown(QStringLiteral("fOption"), [this](QWidget* w) {
        auto* d = static_cast<TfOption*>(w);
        d->SpinEdit1()->setValue(2);
        d->SpinEdit3()->setValue(500);
        d->SpinEdit2()->setValue(8);
        d->SetNumberingIndex(0);
        d->Edit1()->setText(dir.filePath(QStringLiteral("plugins")));
        d->ListBox1()->addItem(file("paint"));
        d->BitBtn1()->click();
    });
    option1->trigger();
    ASSERT_TRUE(*shown);

    EXPECT_EQ(main->Session().Config().Option.Interval, 2);
    EXPECT_EQ(main->Session().Config().Option.IntervalM, 500);
    EXPECT_EQ(main->Session().Config().Option.nButton, 8);
    EXPECT_TRUE(main->Session().Config().Option.Numbering);
    EXPECT_EQ(main->Session().Config().SusieDir, dir.filePath(QStringLiteral("plugins")));
    if (QLocale::system().decimalPoint() == QStringLiteral("."))
        EXPECT_EQ(main->StatusText(), QStringLiteral("SlideShow ON - 2.5秒"));
    auto* timer = main->findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 2500);
    EXPECT_EQ(toolbox.rebuilds, 1);
    EXPECT_EQ(main->Session().Applications(), (QStringList{file("viewer"), file("paint")}));
    EXPECT_EQ(appEntries(), (QStringList{QStringLiteral("&viewer"), QStringLiteral("&paint")}));
    EXPECT_EQ(masks, QStringList{dir.filePath(QStringLiteral("plugins/*.spi"))});
    EXPECT_EQ(main->Session().GraphicFilter(), TFormatRegistry::Instance().GraphicFilter());
}

TEST_F(OptionThroughMainTest, ZeroIntervalBecomesHundredMilliseconds)
{
    main->Session().ToggleSlideshow();
    auto shown = WhenShown(QStringLiteral("fOption"), [](QWidget* w) {
        auto* d = static_cast<TfOption*>(w);
        d->SpinEdit1()->setValue(0);
        d->SpinEdit3()->setValue(0);
        d->BitBtn1()->click();
    });
    FindAction(*main, "option1")->trigger();
    ASSERT_TRUE(*shown);
    EXPECT_EQ(main->Session().Config().Option.IntervalM, 100);
    EXPECT_EQ(main->findChild<QTimer*>(QStringLiteral("Timer1"))->interval(), 100);
    // Without a toolbox nothing is rebuilt, and the count is stored anyway.
    EXPECT_EQ(toolbox.rebuilds, 0);
}

TEST_F(OptionThroughMainTest, CancelAppliesNothingNotEvenTheListEdits)
{
    main->Session().SetToolboxOpen(true);
    const Settings before = main->Session().Config();
    main->Session().SetGraphicFilter(QStringLiteral("kept"));
    auto shown = WhenShown(QStringLiteral("fOption"), [this](QWidget* w) {
        auto* d = static_cast<TfOption*>(w);
        d->SpinEdit1()->setValue(9);
        d->SpinEdit3()->setValue(700);
        d->SpinEdit2()->setValue(2);
        d->SetNumberingIndex(d->NumberingIndex() == 0 ? 1 : 0);
        d->Edit1()->setText(QStringLiteral("/elsewhere"));
        d->ListBox1()->clear();
        d->ListBox1()->addItem(file("editor"));
        d->BitBtn2()->click();
    });
    FindAction(*main, "option1")->trigger();
    ASSERT_TRUE(*shown);
    EXPECT_EQ(main->Session().Config().Option.Interval, before.Option.Interval);
    EXPECT_EQ(main->Session().Config().Option.IntervalM, before.Option.IntervalM);
    EXPECT_EQ(main->Session().Config().Option.nButton, before.Option.nButton);
    EXPECT_EQ(main->Session().Config().Option.Numbering, before.Option.Numbering);
    EXPECT_EQ(main->Session().Config().SusieDir, before.SusieDir);
    EXPECT_EQ(main->Session().Applications(), QStringList{file("viewer")});
    EXPECT_EQ(appEntries(), QStringList{QStringLiteral("&viewer")});
    EXPECT_TRUE(masks.isEmpty());
    EXPECT_EQ(main->Session().GraphicFilter(), QStringLiteral("kept"));
    EXPECT_EQ(toolbox.rebuilds, 0);
}
