// Desktop services: desktop entries, message boxes, beeps, addresses and
// starting programs.
#include "platform/Desktop.h"

#include "TestFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

using namespace testfiles;

namespace {

// The value of one key of a desktop entry file, as stored.
QString storedValue(const QString& file, const QString& key)
{
    const QStringList lines = QString::fromUtf8(readFile(file)).split(QLatin1Char('\n'));
    for (const QString& line : lines)
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return QStringLiteral("<missing>");
}

} // namespace

TEST(DesktopExec, QuotesOnlyWhatNeedsQuoting)
{
    EXPECT_EQ(platform::DesktopExecValue("/usr/bin/orvanto", {"/Time=2.5", "/Repeat=Exit"}),
              "/usr/bin/orvanto /Time=2.5 /Repeat=Exit");
    EXPECT_EQ(platform::DesktopExecValue("/opt/my app/orvanto", {"/home/me/my pics"}),
              "\"/opt/my app/orvanto\" \"/home/me/my pics\"");
    EXPECT_EQ(platform::DesktopExecValue("/p", {"100%"}), "/p 100%%");
    EXPECT_EQ(platform::DesktopExecValue("/p", {""}), "/p \"\"");
    // Inside quotes ", `, $ and \ get a backslash; the file's own string
    // escaping then doubles every backslash.
    EXPECT_EQ(platform::DesktopExecValue("/p", {"a\"b"}), "/p \"a\\\\\"b\"");
    EXPECT_EQ(platform::DesktopExecValue("/p", {"$HOME"}), "/p \"\\\\$HOME\"");
    EXPECT_EQ(platform::DesktopExecValue("/p", {"C:\\x"}), "/p \"C:\\\\\\\\x\"");
}

TEST(DesktopExec, RoundTripsThroughTheParser)
{
    const QString program = "/opt/ミレット ビューア/orvanto";
    const QStringList args = {
        "/home/me/写真 フォルダ",
        "plain",
        "with space",
        "quote\"inside",
        "it's",
        "back\\slash",
        "dollar$sign",
        "back`tick",
        "100%",
        "%f",
        "",
        "/Time=2.5",
        "tab\there",
        "new\nline",
        "semi;colon",
        "a&b|c>d<e",
        "~tilde",
        "*?#()",
        "trailing\\",
    };
    const QString exec = platform::DesktopExecValue(program, args);
    EXPECT_FALSE(exec.contains(QLatin1Char('\n'))) << "one line in the file";
    EXPECT_EQ(platform::ParseDesktopExec(exec), QStringList{program} + args);
}

TEST(DesktopExec, ParserReadsEntriesWrittenByOthers)
{
    EXPECT_EQ(platform::ParseDesktopExec("gimp-2.10 %U"), (QStringList{"gimp-2.10", "%U"}));
    EXPECT_EQ(platform::ParseDesktopExec("  sh   -c  \"echo \\\\$x\"  "), (QStringList{"sh", "-c", "echo $x"}));
    EXPECT_EQ(platform::ParseDesktopExec("\"a\\sb\" c"), (QStringList{"a b", "c"}));
    EXPECT_EQ(platform::ParseDesktopExec("a\\sb"), (QStringList{"a", "b"})) << "an escaped blank still separates";
    EXPECT_TRUE(platform::ParseDesktopExec("").isEmpty());
    // An unterminated quote keeps what it has.
    EXPECT_EQ(platform::ParseDesktopExec("prog \"open end"), (QStringList{"prog", "open end"}));
}

TEST(DesktopEntry, WritesAnExecutableEntry)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("ミレット.desktop");
    const QString target = "/opt/orvanto/orvanto";
    const QStringList args = {"/home/me/pics dir", "/Time=2", "/Repeat=Exit"};
    ASSERT_TRUE(platform::WriteDesktopEntry(file, target, args, "/opt/orvanto", "ミレットのショートカット作成"));

    const QString text = QString::fromUtf8(readFile(file));
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_EQ(storedValue(file, "Type"), "Application");
    EXPECT_EQ(storedValue(file, "Name"), "ミレット");
    EXPECT_EQ(storedValue(file, "Comment"), "ミレットのショートカット作成");
    EXPECT_EQ(storedValue(file, "Path"), "/opt/orvanto");
    EXPECT_EQ(storedValue(file, "Icon"), "orvanto");
    EXPECT_EQ(platform::ParseDesktopExec(storedValue(file, "Exec")), QStringList{target} + args);
    EXPECT_TRUE(QFileInfo(file).permissions() & QFileDevice::ExeOwner);
    EXPECT_EQ(namesIn(dir.path()), QStringList{"ミレット.desktop"}) << "no temporary file left";

    // Writing again replaces the entry.
    ASSERT_TRUE(platform::WriteDesktopEntry(file, "/bin/other", {}, "/", "line one\nline two"));
    EXPECT_EQ(storedValue(file, "Exec"), "/bin/other");
    EXPECT_EQ(storedValue(file, "Comment"), "line one\\nline two");
    EXPECT_EQ(namesIn(dir.path()), QStringList{"ミレット.desktop"});
}

TEST(DesktopEntry, FailsWithoutLeavingFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(platform::WriteDesktopEntry(dir.filePath("missing/x.desktop"), "/bin/true", {}, "/", ""));
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.desktop"));
    EXPECT_FALSE(platform::WriteDesktopEntry(dir.filePath("taken.desktop"), "/bin/true", {}, "/", ""));
    EXPECT_FALSE(platform::WriteDesktopEntry(dir.filePath("x.desktop"), QString(), {}, "/", ""));
    EXPECT_EQ(namesIn(dir.path()), QStringList{"taken.desktop"});
}

TEST(MessageBoxes, HandlerAnswersInsteadOfTheBox)
{
    QString seenText;
    platform::MsgIcon seenIcon = platform::MsgIcon::Information;
    int seenButtons = 0;
    platform::SetMessageBoxHandlerForTesting([&](const QString& text, platform::MsgIcon icon, int buttons) {
        seenText = text;
        seenIcon = icon;
        seenButtons = buttons;
        return int(platform::MsgCancel);
    });
    EXPECT_EQ(platform::MessageBox(nullptr, "質問", platform::MsgIcon::Question, platform::MsgOk | platform::MsgCancel),
              platform::MsgCancel);
    EXPECT_EQ(seenText, "質問");
    EXPECT_EQ(seenIcon, platform::MsgIcon::Question);
    EXPECT_EQ(seenButtons, platform::MsgOk | platform::MsgCancel);

    platform::MessageBox(nullptr, "x", platform::MsgIcon::Error, 0);
    EXPECT_EQ(seenButtons, int(platform::MsgOk)) << "no buttons means OK";
    platform::SetMessageBoxHandlerForTesting({});
}

TEST(MessageBoxes, RealBoxCarriesTitleIconAndButtons)
{
    QApplication::setApplicationDisplayName("ミレット");
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    auto answer = [&](QMessageBox::StandardButton press) {
        QTimer::singleShot(0, [&, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttonCount = int(box->buttons().size());
            box->button(press)->click();
        });
    };

    answer(QMessageBox::Cancel);
    EXPECT_EQ(platform::MessageBox(nullptr, "消しますか？", platform::MsgIcon::Question,
                                   platform::MsgOk | platform::MsgCancel),
              platform::MsgCancel);
    EXPECT_TRUE(title.startsWith("ミレット")) << title.toStdString();
    EXPECT_EQ(text, "消しますか？");
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(buttonCount, 2);

    answer(QMessageBox::Ok);
    EXPECT_EQ(platform::MessageBox(nullptr, "エラー", platform::MsgIcon::Error, platform::MsgOk), platform::MsgOk);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttonCount, 1);
}

TEST(Beeps, AreCountedAndHooked)
{
    int heard = 0;
    platform::SetBeepHandlerForTesting([&] { ++heard; });
    platform::ResetBeepCountForTesting();
    platform::Beep();
    platform::Beep();
    EXPECT_EQ(platform::BeepCountForTesting(), 2);
    EXPECT_EQ(heard, 2);
    platform::SetBeepHandlerForTesting({});
    platform::ResetBeepCountForTesting();
}

TEST(OpeningAddresses, TargetsBecomeTheRightUrls)
{
    QList<QUrl> opened;
    bool answer = true;
    platform::SetOpenUrlHandlerForTesting([&](const QUrl& url) {
        opened.append(url);
        return answer;
    });
    EXPECT_TRUE(platform::OpenUrl("http://example.com/help?a=1"));
    EXPECT_TRUE(platform::OpenUrl("/home/me/help file.html"));
    EXPECT_TRUE(platform::OpenUrl("mailto:someone@example.com?subject=『ミレット』について&body= &"));
    EXPECT_TRUE(platform::OpenUrl("www.example.com"));
    ASSERT_EQ(opened.size(), 4);
    EXPECT_EQ(opened[0], QUrl("http://example.com/help?a=1"));
    EXPECT_EQ(opened[1], QUrl::fromLocalFile("/home/me/help file.html"));
    EXPECT_EQ(opened[2].scheme(), "mailto");
    EXPECT_EQ(opened[2].path(), "someone@example.com");
    EXPECT_EQ(opened[2].query(QUrl::FullyDecoded), "subject=『ミレット』について&body= &");
    EXPECT_EQ(opened[3].scheme(), "http");
    EXPECT_EQ(opened[3].host(), "www.example.com");

    EXPECT_FALSE(platform::OpenUrl(QString()));
    EXPECT_FALSE(platform::OpenUrl("   "));
    EXPECT_EQ(opened.size(), 4) << "nothing to open is not handed on";
    answer = false;
    EXPECT_FALSE(platform::OpenUrl("http://example.com/")) << "the desktop's failure is reported";
    platform::SetOpenUrlHandlerForTesting({});
}

TEST(StartingPrograms, ArgumentsReachTheProgramUntouched)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Relative names land in the working folder; shell characters stay literal.
    ASSERT_TRUE(platform::StartDetached("/usr/bin/touch", {"made.txt", "a;b $x", "写真"}, dir.path()));
    QElapsedTimer waited;
    waited.start();
    while (namesIn(dir.path()).size() < 3 && waited.elapsed() < 10000)
        QThread::msleep(20);
    EXPECT_EQ(namesIn(dir.path()), (QStringList{"a;b $x", "made.txt", "写真"}));

    EXPECT_FALSE(platform::StartDetached(dir.filePath("no-such-program"), {}, dir.path()));
    EXPECT_FALSE(platform::StartDetached(QString(), {}, dir.path()));
}

TEST(Screens, DesktopRectCoversTheScreen)
{
    const QRect desktop = platform::DesktopRect();
    EXPECT_FALSE(desktop.isEmpty());
    EXPECT_TRUE(desktop.contains(QGuiApplication::primaryScreen()->geometry()));
}
