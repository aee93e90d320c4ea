// TfShortCut on the offscreen platform: its controls, the creation steps
// with their messages, the three places, and the written desktop entry read
// back and started with gio on real files.
#include "FindAction.h"
#include "DialogTestSupport.h"

#include "app/AppDialogs.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/ShortcutDialog.h"
#include "platform/Desktop.h"
#include "platform/ProgramLocation.h"
#include "viewer/CommandLine.h"
#include "viewer/MainWindow.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct Message {
    QString text;
    platform::MsgIcon icon;
    int buttons;
};

// The keys of a desktop entry, values as stored.
QMap<QString, QString> readEntry(const QString& path)
{
    QMap<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return keys;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

class ShortcutDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        // A home of its own, so that the desktop and the applications folder
        // of the test are temporary folders.
        savedHome = qgetenv("HOME");
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        savedData = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
        qunsetenv("XDG_DATA_HOME");
        QDir(home.path()).mkpath(QStringLiteral("Desktop"));
        QDir(home.path()).mkpath(QStringLiteral("pics"));
        desktop = home.path() + QStringLiteral("/Desktop");
        pics = home.path() + QStringLiteral("/pics");
        platform::SetMessageBoxHandlerForTesting([this](const QString& text, platform::MsgIcon icon, int buttons) {
            messages.append({text, icon, buttons});
            return answer;
        });
        platform::SetBeepHandlerForTesting([this] { ++beeps; });
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandlerForTesting({});
        platform::SetBeepHandlerForTesting({});
        qputenv("HOME", savedHome);
        savedConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);
        savedData.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", savedData);
    }

    QTemporaryDir home;
    QByteArray savedHome, savedConfig, savedData;
    QString desktop, pics;
    Settings settings;
    QList<Message> messages;
    int answer = platform::MsgOk;
    int beeps = 0;
};

} // namespace

TEST_F(ShortcutDialogTest, EveryControlHintAndText)
{
    TfShortCut d(nullptr, settings);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("ショートカットの作成"));
    EXPECT_EQ(d.size(), QSize(280, 420));
    const struct {
        const char* title;
        QRect geometry;
    } groups[] = {{"スライドショーの設定", QRect(8, 8, 265, 73)},    {"Tool Boxの表示", QRect(8, 88, 129, 41)},
                  {"転送ボタンの表示", QRect(144, 88, 129, 41)},     {"全画面表示", QRect(8, 136, 129, 41)},
                  {"自動拡大表示", QRect(144, 136, 129, 41)},        {"リピート設定", QRect(8, 184, 265, 41)},
                  {"ショートカット作成場所", QRect(8, 315, 265, 57)}};
    const auto boxes = d.findChildren<QGroupBox*>();
    for (const auto& g : groups) {
        const auto it = std::find_if(boxes.begin(), boxes.end(),
                                     [&](QGroupBox* b) { return b->title() == QString::fromUtf8(g.title); });
        ASSERT_NE(it, boxes.end()) << g.title;
        EXPECT_EQ((*it)->geometry(), g.geometry) << g.title;
    }
    // On/Off pairs: 3/4 auto start, 1/2 toolbox, 7/8 buttons, 5/6 full, 9/10 zoom.
    for (int n : {1, 3, 5, 7, 9}) {
        EXPECT_EQ(d.RadioButton(n)->text(), QStringLiteral("On")) << n;
        EXPECT_EQ(d.RadioButton(n + 1)->text(), QStringLiteral("Off")) << n;
        EXPECT_EQ(d.RadioButton(n)->parentWidget(), d.RadioButton(n + 1)->parentWidget());
    }
    EXPECT_EQ(d.RadioButton(3)->parentWidget(), d.SpinEdit1()->parentWidget());
    EXPECT_EQ(d.RadioButton(11)->text(), QStringLiteral("On"));
    EXPECT_EQ(d.RadioButton(12)->text(), QStringLiteral("Off"));
    EXPECT_EQ(d.RadioButton(13)->text(), QStringLiteral("Exit"));
    EXPECT_EQ(d.RadioButton(11)->toolTip(), QStringLiteral("スライドショーを繰り返しし続ける"));
    EXPECT_EQ(d.RadioButton(12)->toolTip(), QStringLiteral("スライドショーは一回のみで終わるが、本ソフトはそのまま。"));
    EXPECT_EQ(d.RadioButton(13)->toolTip(), QStringLiteral("スライドショーを一回終了後、本ソフトも終了する。"));
    EXPECT_EQ(d.RadioButton(11)->parentWidget()->toolTip(), QStringLiteral("スライドショーのリピート設定"));
    EXPECT_EQ(d.SpinEdit1()->maximum(), 20);
    EXPECT_EQ(d.SpinEdit3()->maximum(), 900);
    EXPECT_EQ(d.SpinEdit3()->singleStep(), 100);
    EXPECT_EQ(d.SpinEdit1()->focusPolicy(), Qt::NoFocus);

    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"Label1", "表示間隔"},
                  {"Label2", "秒"},
                  {"Label5", "m秒"},
                  {"Label6", "起動時に自動的に開始"},
                  {"Label4", "表示画像フォルダ"},
                  {"Label3", "ショートカット名(.lnk:拡張子自動付加)"}};
    for (const auto& l : labels)
        EXPECT_EQ(d.findChild<QLabel*>(QString::fromLatin1(l.name))->text(), QString::fromUtf8(l.text)) << l.name;
    EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("Label3"))->toolTip(), QStringLiteral("拡張子はつけない"));
    EXPECT_EQ(d.Edit2()->toolTip(), QStringLiteral("拡張子はつけない"));
    EXPECT_EQ(d.Edit1()->geometry(), QRect(8, 248, 241, 21));
    EXPECT_EQ(d.Edit2()->geometry(), QRect(8, 288, 241, 21));
    EXPECT_GE(d.SpeedButton1()->x(), d.Edit1()->geometry().right());
    EXPECT_EQ(d.PlaceItem(0)->text(), QStringLiteral("デスクトップ"));
    EXPECT_EQ(d.PlaceItem(1)->text(), QStringLiteral("プログラム"));
    EXPECT_EQ(d.PlaceItem(2)->text(), QStringLiteral("マイ\u3000コンピュータ"));
    EXPECT_EQ(d.PlaceItem(0)->y(), d.PlaceItem(1)->y()); // two columns
    EXPECT_EQ(d.BitBtn1()->text(), QStringLiteral("ショートカット作成"));
    EXPECT_EQ(d.BitBtn1()->geometry(), QRect(16, 384, 138, 25));
    EXPECT_TRUE(d.BitBtn1()->isDefault());
    EXPECT_EQ(d.BitBtn2()->geometry(), QRect(176, 384, 90, 25));
}

TEST_F(ShortcutDialogTest, ControlsStartFromTheShortCutSettings)
{
    {
        TfShortCut d(nullptr, settings); // defaults
        EXPECT_EQ(d.SpinEdit1()->value(), 2);
        EXPECT_EQ(d.SpinEdit3()->value(), 0);
        EXPECT_TRUE(d.RadioButton(3)->isChecked());
        EXPECT_TRUE(d.RadioButton(2)->isChecked());
        EXPECT_TRUE(d.RadioButton(8)->isChecked());
        EXPECT_TRUE(d.RadioButton(5)->isChecked());
        EXPECT_TRUE(d.RadioButton(9)->isChecked());
        EXPECT_TRUE(d.RadioButton(13)->isChecked());
        EXPECT_EQ(d.MakePlace(), 0);
        EXPECT_TRUE(d.Edit1()->text().isEmpty());
    }
    auto& s = settings.ShortCut;
    s.Interval = 5;
    s.IntervalM = 300;
    s.Auto = false;
    s.Box = true;
    s.Button = true;
    s.Full = false;
    s.Zoom = false;
    s.Repeat = 0;
    s.MakePlace = 2;
    s.PictureFolder = pics;
    TfShortCut d(nullptr, settings);
    EXPECT_EQ(d.SpinEdit1()->value(), 5);
    EXPECT_EQ(d.SpinEdit3()->value(), 300);
    EXPECT_TRUE(d.RadioButton(4)->isChecked());
    EXPECT_TRUE(d.RadioButton(1)->isChecked());
    EXPECT_TRUE(d.RadioButton(7)->isChecked());
    EXPECT_TRUE(d.RadioButton(6)->isChecked());
    EXPECT_TRUE(d.RadioButton(10)->isChecked());
    EXPECT_TRUE(d.RadioButton(12)->isChecked());
    EXPECT_EQ(d.MakePlace(), 2);
    EXPECT_EQ(d.Edit1()->text(), pics);
    EXPECT_EQ(d.MakeSwitchLine(),
              QStringLiteral("\"") + pics + QStringLiteral("\" /Time=") + IntervalSecondsText(5, 300)
                  + QStringLiteral(" /Auto=Off /Box=On /Button=On /Full=Off /Zoom=Off /Repeat=Off"));
}

TEST_F(ShortcutDialogTest, BadPictureFolderBeepsAndKeepsTheDialogOpen)
{
    for (const QString& folder :
         {QString(), home.path() + QStringLiteral("/missing"), home.path() + QStringLiteral("/.config/../nothing")}) {
        messages.clear();
        beeps = 0;
        TfShortCut d(nullptr, settings);
        d.Edit1()->setText(folder);
        d.BitBtn1Click();
        EXPECT_EQ(beeps, 1);
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0].text, QStringLiteral("画像フォルダ名が不適切です。"));
        EXPECT_EQ(messages[0].icon, platform::MsgIcon::Error);
        EXPECT_EQ(messages[0].buttons, int(platform::MsgOk));
        EXPECT_NE(d.result(), int(QDialog::Accepted));
    }
    // A file is not a folder.
    QFile f(home.path() + QStringLiteral("/file.jpg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    TfShortCut d(nullptr, settings);
    d.Edit1()->setText(f.fileName());
    d.BitBtn1Click();
    EXPECT_EQ(messages.last().text, QStringLiteral("画像フォルダ名が不適切です。"));
    EXPECT_TRUE(QDir(desktop).isEmpty());
    EXPECT_TRUE(settings.ShortCut.PictureFolder.isEmpty());
}

TEST_F(ShortcutDialogTest, DefaultsMakeAnEntryNamedAfterTheProductOnTheDesktop)
{
    TfShortCut d(nullptr, settings);
    d.ProgramPath = platform::ProgramFilePath();
    d.Edit1()->setText(pics);
    d.Edit2()->setText(QStringLiteral("   "));
    d.BitBtn1Click();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(d.result(), int(QDialog::Accepted));
    EXPECT_EQ(d.Edit2()->text(), QStringLiteral("ミレット"));
    const QString file = desktop + QStringLiteral("/ミレット.desktop");
    EXPECT_EQ(d.CreatedFile(), file);
    ASSERT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(QFileInfo(file).isExecutable());
    const auto keys = readEntry(file);
    EXPECT_EQ(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    EXPECT_EQ(keys.value(QStringLiteral("Name")), QStringLiteral("ミレット"));
    EXPECT_EQ(keys.value(QStringLiteral("Comment")), QStringLiteral("ミレットのショートカット作成"));
    EXPECT_EQ(keys.value(QStringLiteral("Path")), platform::ProgramDir());
    EXPECT_EQ(keys.value(QStringLiteral("Icon")), QStringLiteral("orvanto"));
    const QStringList exec = platform::ParseDesktopExec(keys.value(QStringLiteral("Exec")));
    ASSERT_FALSE(exec.isEmpty());
    EXPECT_EQ(exec.first(), platform::ProgramFilePath());
    EXPECT_EQ(exec.mid(1), d.MakeSwitchArguments());
    EXPECT_EQ(exec.mid(1).first(), pics);
    EXPECT_EQ(exec.last(), QStringLiteral("/Repeat=Exit"));
    // The choices are remembered.
    EXPECT_EQ(settings.ShortCut.PictureFolder, pics);
    EXPECT_EQ(settings.ShortCut.Repeat, -1);
    EXPECT_EQ(settings.ShortCut.MakePlace, 0);
}

TEST_F(ShortcutDialogTest, NameIsTrimmedAndGetsTheExtensionOnce)
{
    TfShortCut d(nullptr, settings);
    d.Edit1()->setText(pics);
    d.Edit2()->setText(QStringLiteral("  夏休み.lnk  "));
    d.BitBtn1Click();
    EXPECT_EQ(d.Edit2()->text(), QStringLiteral("夏休み.lnk"));
    EXPECT_TRUE(QFileInfo::exists(desktop + QStringLiteral("/夏休み.lnk.desktop")));
}

TEST_F(ShortcutDialogTest, RelativePictureFolderIsWrittenAbsolute)
{
    // The entry starts the program in its own folder, so a folder typed
    // relative to the current one must not stay relative.
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(home.path()));
    TfShortCut d(nullptr, settings);
    d.Edit1()->setText(QStringLiteral("pics"));
    d.Edit2()->setText(QStringLiteral("relative"));
    d.BitBtn1Click();
    QDir::setCurrent(saved);
    ASSERT_EQ(d.result(), int(QDialog::Accepted));
    EXPECT_EQ(d.Edit1()->text(), pics);
    const QStringList exec = platform::ParseDesktopExec(
        readEntry(desktop + QStringLiteral("/relative.desktop")).value(QStringLiteral("Exec")));
    ASSERT_GE(exec.size(), 2);
    EXPECT_EQ(exec[1], pics);
    EXPECT_EQ(settings.ShortCut.PictureFolder, pics);
}

TEST_F(ShortcutDialogTest, ExistingEntryIsReplacedOnlyAfterTheQuestion)
{
    const QString file = desktop + QStringLiteral("/show.desktop");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    settings.ShortCut.Interval = 9;
    TfShortCut d(nullptr, settings);
    d.Edit1()->setText(pics);
    d.Edit2()->setText(QStringLiteral("show"));
    d.SpinEdit1()->setValue(4);
    answer = platform::MsgCancel;
    d.BitBtn1Click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QStringLiteral("上書きで作成してもいいですか？"));
    EXPECT_EQ(messages[0].icon, platform::MsgIcon::Question);
    EXPECT_EQ(messages[0].buttons, platform::MsgOk | platform::MsgCancel);
    EXPECT_NE(d.result(), int(QDialog::Accepted));
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old"));
    old.close();
    EXPECT_EQ(settings.ShortCut.Interval, 9);

    answer = platform::MsgOk;
    d.BitBtn1Click();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(d.result(), int(QDialog::Accepted));
    EXPECT_TRUE(readEntry(file).contains(QStringLiteral("Exec")));
    EXPECT_EQ(settings.ShortCut.Interval, 4);
}

TEST_F(ShortcutDialogTest, FailedWriteReportsAndChangesNoSetting)
{
    // A folder stands where the entry would go.
    QDir(desktop).mkpath(QStringLiteral("blocked.desktop"));
    TfShortCut d(nullptr, settings);
    d.Edit1()->setText(pics);
    d.Edit2()->setText(QStringLiteral("blocked"));
    d.SetMakePlace(0);
    d.RadioButton(11)->setChecked(true);
    d.BitBtn1Click();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.last().text, QStringLiteral("ショートカットの作成に失敗しました。"));
    EXPECT_EQ(messages.last().icon, platform::MsgIcon::Error);
    EXPECT_NE(d.result(), int(QDialog::Accepted));
    EXPECT_EQ(settings.ShortCut.Repeat, -1);
    EXPECT_TRUE(settings.ShortCut.PictureFolder.isEmpty());

    // A name with a folder separator is not a file name.
    messages.clear();
    d.Edit2()->setText(QStringLiteral("../escape"));
    d.BitBtn1Click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QStringLiteral("ショートカットの作成に失敗しました。"));
    EXPECT_FALSE(QFileInfo::exists(home.path() + QStringLiteral("/escape.desktop")));
    EXPECT_TRUE(settings.ShortCut.PictureFolder.isEmpty());
}

TEST_F(ShortcutDialogTest, MissingDesktopFolderIsNamedInAMessage)
{
    // A fresh account has no desktop folder yet.
    QDir(desktop).removeRecursively();
    TfShortCut d(nullptr, settings);
    d.Edit1()->setText(pics);
    d.BitBtn1Click();
    EXPECT_EQ(beeps, 0);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(
        messages[0].text,
        QStringLiteral("デスクトップのフォルダ %1 がありません。\n作成場所に別の場所を選んでください。").arg(desktop));
    EXPECT_EQ(messages[0].icon, platform::MsgIcon::Error);
    EXPECT_NE(d.result(), int(QDialog::Accepted));
    EXPECT_TRUE(settings.ShortCut.PictureFolder.isEmpty());
}

TEST_F(ShortcutDialogTest, ProgramsPlaceBrowsesTheApplicationsFolder)
{
    const QString applications = home.path() + QStringLiteral("/.local/share/applications");
    TfShortCut d(nullptr, settings);
    d.show();
    QApplication::processEvents();
    d.Edit1()->setText(pics);
    d.Edit2()->setText(QStringLiteral("slides"));
    d.SetMakePlace(1);

    // Cancelled: a beep, nothing written.
    auto seen = AnswerBrowser(QString());
    d.BitBtn1Click();
    EXPECT_EQ(seen->root, applications);
    EXPECT_EQ(beeps, 1);
    EXPECT_NE(d.result(), int(QDialog::Accepted));
    EXPECT_TRUE(QFileInfo(applications).isDir()); // made for the user

    // The applications folder itself is an item the user can pick.
    seen = AnswerBrowser(applications);
    d.BitBtn1Click();
    EXPECT_TRUE(seen->rootShown);
    EXPECT_EQ(d.result(), int(QDialog::Accepted));
    EXPECT_TRUE(QFileInfo::exists(applications + QStringLiteral("/slides.desktop")));
    EXPECT_EQ(settings.ShortCut.MakePlace, 1);
    // The root stays on the folder dialog, also for the picture folder button.
    seen = AnswerBrowser(QString());
    d.SpeedButton1()->click();
    EXPECT_EQ(seen->root, applications);
}

TEST_F(ShortcutDialogTest, MyComputerPlaceBrowsesFromTheRoot)
{
    QDir(home.path()).mkpath(QStringLiteral("links"));
    TfShortCut d(nullptr, settings);
    d.show();
    QApplication::processEvents();
    d.Edit1()->setText(pics);
    d.Edit2()->setText(QStringLiteral("anywhere"));
    d.SetMakePlace(2);
    auto seen = AnswerBrowser(home.path() + QStringLiteral("/links"));
    d.BitBtn1Click();
    EXPECT_EQ(seen->root, QStringLiteral("/"));
    EXPECT_TRUE(QFileInfo::exists(home.path() + QStringLiteral("/links/anywhere.desktop")));
    EXPECT_EQ(settings.ShortCut.MakePlace, 2);
}

TEST_F(ShortcutDialogTest, PictureFolderButtonStartsAtTheTypedFolder)
{
    QDir(home.path()).mkpath(QStringLiteral("other"));
    TfShortCut d(nullptr, settings);
    d.show();
    QApplication::processEvents();
    d.Edit1()->setText(pics);
    auto seen = AnswerBrowser(home.path() + QStringLiteral("/other"));
    d.SpeedButton1()->click();
    EXPECT_EQ(seen->start, pics);
    EXPECT_EQ(d.Edit1()->text(), home.path() + QStringLiteral("/other"));
    seen = AnswerBrowser(QString());
    d.SpeedButton1()->click();
    EXPECT_EQ(d.Edit1()->text(), home.path() + QStringLiteral("/other"));
}

TEST_F(ShortcutDialogTest, EntryStartsAProgramWithExactlyTheSwitchArguments)
{
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        GTEST_SKIP() << "gio (libglib2.0-bin) is not installed";
    // A folder name with blanks, quotes, a percent sign, a dollar, a back
    // slash and Japanese letters.
    const QString folder = home.path() + QStringLiteral("/写真 \"best\" 100% $HOME \\ 'x'");
    ASSERT_TRUE(QDir().mkpath(folder));
    // The started program writes its arguments, each ended by a zero byte.
    const QString out = home.path() + QStringLiteral("/args.out");
    const QString program = home.path() + QStringLiteral("/record-args");
    {
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nout=\"$(dirname \"$0\")/args.out\"\n: > \"$out.tmp\"\n"
                     "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out.tmp\"; done\nmv \"$out.tmp\" \"$out\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    TfShortCut d(nullptr, settings);
    d.ProgramPath = program;
    d.Edit1()->setText(folder);
    d.Edit2()->setText(QStringLiteral("走る"));
    d.SpinEdit1()->setValue(1);
    d.SpinEdit3()->setValue(500);
    d.RadioButton(11)->setChecked(true);
    d.BitBtn1Click();
    ASSERT_EQ(d.result(), int(QDialog::Accepted));
    const QString entry = desktop + QStringLiteral("/走る.desktop");

    // Read back by the program's own parser...
    const QStringList exec = platform::ParseDesktopExec(readEntry(entry).value(QStringLiteral("Exec")));
    EXPECT_EQ(exec, QStringList{program} + d.MakeSwitchArguments());
    // ...and started by GLib's launcher.
    QProcess launch;
    launch.start(gio, {QStringLiteral("launch"), entry});
    ASSERT_TRUE(launch.waitForFinished(20000));
    EXPECT_EQ(launch.exitCode(), 0) << launch.readAllStandardError().toStdString();
    for (int i = 0; i < 200 && !QFileInfo::exists(out); ++i)
        QThread::msleep(25);
    QFile result(out);
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    QStringList received;
    const QList<QByteArray> parts = result.readAll().split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        received << QString::fromUtf8(parts[i]);
    EXPECT_EQ(received, d.MakeSwitchArguments());
    ASSERT_FALSE(received.isEmpty());
    EXPECT_EQ(received.first(), folder);
    // The program's reader takes the folder as a path and the rest as switches.
    EXPECT_FALSE(IsSwitchArgument(received.first()));
    Settings read;
    LaunchState launchState;
    for (qsizetype i = 1; i < received.size(); ++i)
        ApplySwitch(received[i], read, launchState);
    EXPECT_EQ(read.Option.Interval, 1);
    EXPECT_EQ(read.Option.IntervalM, 500);
    EXPECT_EQ(launchState.RepeatMode, 1);
    EXPECT_TRUE(launchState.SwitchLaunch);
}

TEST_F(ShortcutDialogTest, MainWindowOpensItAndCancelKeepsTheChoices)
{
    QTemporaryDir iniDir;
    TfMain main(QStringList{}, nullptr, [&](TfMain& m) {
        m.Session().SetIniPath(iniDir.filePath(QStringLiteral("orvanto.ini")));
        AttachDialogs(m);
    });
    main.show();
    QApplication::processEvents();
    QAction* create = FindAction(main, "ShortcutCreate");
    ASSERT_TRUE(create->isEnabled());
    auto shown = WhenShown(QStringLiteral("fShortCut"), [this](QWidget* w) {
        auto* d = static_cast<TfShortCut*>(w);
        d->Edit1()->setText(pics);
        d->RadioButton(1)->setChecked(true);
        d->BitBtn2()->click();
    });
    create->trigger();
    ASSERT_TRUE(*shown);
    EXPECT_FALSE(main.Session().Config().ShortCut.Box);
    EXPECT_TRUE(main.Session().Config().ShortCut.PictureFolder.isEmpty());
    EXPECT_TRUE(QDir(desktop).isEmpty());

    shown = WhenShown(QStringLiteral("fShortCut"), [this](QWidget* w) {
        auto* d = static_cast<TfShortCut*>(w);
        d->Edit1()->setText(pics);
        d->RadioButton(1)->setChecked(true);
        d->BitBtn1()->click();
    });
    create->trigger();
    ASSERT_TRUE(*shown);
    EXPECT_TRUE(main.Session().Config().ShortCut.Box);
    EXPECT_EQ(main.Session().Config().ShortCut.PictureFolder, pics);
    // The next opening shows the stored choices.
    TfShortCut again(&main, main.Session().Config());
    EXPECT_TRUE(again.RadioButton(1)->isChecked());
    EXPECT_EQ(again.Edit1()->text(), pics);
}
