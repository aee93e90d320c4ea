#include "settings/IniSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <random>
#include <unistd.h>

namespace {

const QRect kDefaultWindow(0, 0, 520, 420);

class IniSettingsTest : public ::testing::Test {
protected:
    QString Path() const { return dir.filePath("orvanto.ini"); }

    void Write(const QByteArray& bytes) const
    {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray Read() const
    {
        QFile f(Path());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    Settings LoadText(const QByteArray& bytes) const
    {
        Write(bytes);
        return IniSettings::Load(Path(), kDefaultWindow);
    }

    QTemporaryDir dir;
};

void ExpectDefaults(const Settings& s, const QRect& window)
{
    EXPECT_EQ(s.Window.Left, window.x());
    EXPECT_EQ(s.Window.Top, window.y());
    EXPECT_EQ(s.Window.Width, window.width());
    EXPECT_EQ(s.Window.Height, window.height());
    EXPECT_EQ(s.Window.LastDir, QString());
    EXPECT_FALSE(s.Window.State);
    EXPECT_EQ(s.Window.ListMax, 0);
    EXPECT_EQ(s.SusieDir, QString());
    EXPECT_EQ(s.SameBox.Left, window.x());
    EXPECT_EQ(s.SameBox.Top, window.y());
    EXPECT_EQ(s.SameBox.Width, 500);
    EXPECT_EQ(s.SameBox.Height, 300);
    EXPECT_TRUE(s.Tool.Show);
    EXPECT_EQ(s.Tool.Left, 0);
    EXPECT_EQ(s.Tool.Top, 0);
    EXPECT_EQ(s.Tool.State, 0);
    EXPECT_EQ(s.Tool.Orient, 0);
    EXPECT_EQ(s.Help.Left, window.x());
    EXPECT_EQ(s.Help.Top, window.y());
    EXPECT_EQ(s.Help.Width, 500);
    EXPECT_EQ(s.Help.Height, 500);
    EXPECT_EQ(s.ShortCut.Interval, 2);
    EXPECT_EQ(s.ShortCut.IntervalM, 0);
    EXPECT_EQ(s.ShortCut.MakePlace, 0);
    EXPECT_TRUE(s.ShortCut.Auto);
    EXPECT_FALSE(s.ShortCut.Box);
    EXPECT_FALSE(s.ShortCut.Button);
    EXPECT_TRUE(s.ShortCut.Full);
    EXPECT_TRUE(s.ShortCut.Zoom);
    EXPECT_EQ(s.ShortCut.Repeat, -1);
    EXPECT_EQ(s.ShortCut.PictureFolder, QString());
    EXPECT_EQ(s.Option.Interval, 2);
    EXPECT_EQ(s.Option.IntervalM, 0);
    EXPECT_EQ(s.Option.nButton, 5);
    EXPECT_TRUE(s.Option.Copy);
    EXPECT_FALSE(s.Option.Zoom);
    EXPECT_TRUE(s.Option.Open);
    EXPECT_FALSE(s.Option.Numbering);
    EXPECT_TRUE(s.Option.AutoRotate);
    // The five entries in use read as "none"; those beyond nButton stay empty.
    for (size_t n = 0; n < s.Option.Buttons.size(); ++n) {
        const TransferButtonSetting& b = s.Option.Buttons[n];
        EXPECT_EQ(b.Folder, n < 5 ? QString("none") : QString()) << n;
        EXPECT_EQ(b.Caption, n < 5 ? QString("none") : QString()) << n;
        EXPECT_EQ(b.RunTimeFolder, QString());
        EXPECT_EQ(IsUnsetDestination(b.Folder), true);
    }
    EXPECT_TRUE(s.AppDirs.isEmpty());
}

TEST_F(IniSettingsTest, FirstRunWithoutFileGivesDefaults)
{
    ExpectDefaults(IniSettings::Load(Path(), kDefaultWindow), kDefaultWindow);
    const QRect elsewhere(30, 40, 600, 500);
    ExpectDefaults(IniSettings::Load(Path(), elsewhere), elsewhere);
    EXPECT_FALSE(QFile::exists(Path()));
}

TEST_F(IniSettingsTest, DialogPositionsDefaultToTheWindowJustRead)
{
    const Settings s = LoadText("[Window]\nLeft=111\nTop=222\n[SameBox]\nTop=5\n[Help]\nLeft=6\n");
    EXPECT_EQ(s.SameBox.Left, 111);
    EXPECT_EQ(s.SameBox.Top, 5);
    EXPECT_EQ(s.Help.Left, 6);
    EXPECT_EQ(s.Help.Top, 222);
    EXPECT_EQ(s.Window.Width, kDefaultWindow.width());
}

Settings NonDefaultSettings()
{
    Settings s;
    s.Window = {10, 20, 800, 600, "/home/me/写真", true, 3};
    s.SusieDir = "/opt/susie";
    s.SameBox = {1, 2, 3, 4};
    s.Tool = {false, 5, 6, 2, 1};
    s.Help = {7, 8, 9, 10};
    s.ShortCut.Interval = 3;
    s.ShortCut.IntervalM = 400;
    s.ShortCut.MakePlace = 2;
    s.ShortCut.Auto = false;
    s.ShortCut.Box = true;
    s.ShortCut.Button = true;
    s.ShortCut.Full = false;
    s.ShortCut.Zoom = false;
    s.ShortCut.Repeat = 1;
    s.ShortCut.PictureFolder = "/pics";
    s.Option.Interval = 7;
    s.Option.IntervalM = 250;
    s.Option.nButton = 3;
    s.Option.Copy = false;
    s.Option.Zoom = true;
    s.Option.Open = false;
    s.Option.Numbering = true;
    s.Option.AutoRotate = false;
    s.Option.Buttons[0] = {"/dest/a", "A", ""};
    s.Option.Buttons[1] = {"転送先 実行時選択", "転送先 実行時選択", ""};
    s.Option.Buttons[2] = {"none", "none", ""};
    s.AppDirs = {"/usr/bin/gimp", "/usr/bin/eog"};
    return s;
}

// The saved text shows every value in memory in the saving order, and
// loading it and saving again gives the same text, so every key is read back
// into the member it came from.
TEST_F(IniSettingsTest, SavedFileHasTheKeysInSavingOrderAndReadsBack)
{
    Settings s = NonDefaultSettings();
    s.AppDirs = {"/a", "/b", "/c"};
    ASSERT_TRUE(IniSettings::Save(s, Path()));
    EXPECT_EQ(QString::fromUtf8(Read()), QString("[Window]\n"
                                                 "Left=10\nTop=20\nWidth=800\nHeight=600\n"
                                                 "LastDir=/home/me/写真\nState=1\nListMax=3\n"
                                                 "[Susie Plug-in]\n"
                                                 "Dir=/opt/susie\n"
                                                 "[SameBox]\n"
                                                 "Left=1\nTop=2\nWidth=3\nHeight=4\n"
                                                 "[Tool]\n"
                                                 "Show=0\nLeft=5\nTop=6\nState=2\nOrient=1\n"
                                                 "[Help]\n"
                                                 "Left=7\nTop=8\nWidth=9\nHeight=10\n"
                                                 "[ShortCut]\n"
                                                 "Interval=3\nIntervalM=400\nMakePlace=2\nAuto=0\n"
                                                 "Box=1\nButton=1\nFull=0\nZoom=0\nRepeat=1\n"
                                                 "PictureFolder=/pics\n"
                                                 "[Option]\n"
                                                 "Interval=7\nIntervalM=250\nnButton=3\nCopy=0\n"
                                                 "Zoom=1\nOpen=0\nNumbering=1\nAutoRotate=0\n"
                                                 "Folder1=/dest/a\nButton1=A\n"
                                                 "Folder2=転送先 実行時選択\nButton2=転送先 実行時選択\n"
                                                 "Folder3=none\nButton3=none\n"
                                                 "AppDir1=/a\nAppDir2=/b\nAppDir3=/c\nAppDir4=\nAppDir5=\n"));

    const QByteArray first = Read();
    const Settings loaded = IniSettings::Load(Path(), kDefaultWindow);
    ASSERT_TRUE(QFile::remove(Path()));
    ASSERT_TRUE(IniSettings::Save(loaded, Path()));
    EXPECT_EQ(Read(), first);
    EXPECT_EQ(loaded.AppDirs, s.AppDirs);
}

TEST_F(IniSettingsTest, ButtonCaptionsAndCount)
{
    const Settings s = LoadText("[Option]\n"
                                "nButton=4\n"
                                "Folder1=/x\n"
                                "Button1=Mine\n"
                                "Button2=none\n" // no folder: stays "none"
                                "Folder3=D:\\Pictures\\Holiday\n"
                                "Button3=none\n"
                                "Folder4=/写真/家族/二〇二四年/夏休み/海\n"
                                "Folder5=/beyond/the/count\n" // above nButton: not read
                                "Button5=Five\n");
    EXPECT_EQ(s.Option.Buttons[0].Caption, QString("Mine"));
    EXPECT_EQ(s.Option.Buttons[1].Folder, QString("none"));
    EXPECT_EQ(s.Option.Buttons[1].Caption, QString("none"));
    EXPECT_EQ(s.Option.Buttons[2].Caption, QString("D:\\Pictures\\Ho"));
    EXPECT_EQ(s.Option.Buttons[3].Caption, QString("/写真/家族/二〇二四年/夏"));
    EXPECT_EQ(s.Option.Buttons[4].Folder, QString()); // beyond nButton: empty, unset
    EXPECT_EQ(s.Option.Buttons[4].Caption, QString());
    EXPECT_TRUE(IsUnsetDestination(s.Option.Buttons[4].Folder));

    // Raising the count and saving never turns the unread entries into
    // "none" folders.
    Settings raised = s;
    raised.Option.nButton = 6;
    ASSERT_TRUE(IniSettings::Save(raised, Path()));
    const QByteArray text = Read();
    EXPECT_TRUE(text.contains("Folder5=\r\n") || text.contains("Folder5=\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("Folder6=none"));

    // A surrogate pair is never cut in half.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x93\xB7"); // one character, two UTF-16 units
    const QString folder = "/1234567890ab" + emoji + "tail"; // the pair straddles unit 14
    const Settings t = LoadText(("[Option]\nFolder1=" + folder + "\n").toUtf8());
    EXPECT_EQ(t.Option.Buttons[0].Caption, QString("/1234567890ab"));
}

TEST_F(IniSettingsTest, SavingChangesKeepsWhatAnotherInstanceWrote)
{
    Write("[Option]\nnButton=3\nFolder1=/a\nButton1=a\nInterval=4\n[Window]\nLeft=10\n");
    const Settings loadedA = IniSettings::Load(Path(), kDefaultWindow);
    const Settings loadedB = IniSettings::Load(Path(), kDefaultWindow);

    // B sets destination 2 and the interval, and ends first.
    Settings b = loadedB;
    b.Option.Buttons[1] = {"/b/set", "set", ""};
    b.Option.Interval = 9;
    ASSERT_TRUE(IniSettings::SaveChanges(b, loadedB, Path()));
    // A moved its window and changed the interval too; it ends last.
    Settings a = loadedA;
    a.Window.Left = 300;
    a.Option.Interval = 7;
    ASSERT_TRUE(IniSettings::SaveChanges(a, loadedA, Path()));

    const Settings now = IniSettings::Load(Path(), kDefaultWindow);
    EXPECT_EQ(now.Option.Buttons[1].Folder, QString("/b/set")) << "B's destination survives";
    EXPECT_EQ(now.Option.Buttons[0].Folder, QString("/a"));
    EXPECT_EQ(now.Window.Left, 300);
    EXPECT_EQ(now.Option.Interval, 7) << "a value both changed: the last word counts";

    // Values the file lacks are written even when unchanged (a first run).
    QFile::remove(Path());
    const Settings fresh = IniSettings::Load(Path(), kDefaultWindow);
    ASSERT_TRUE(IniSettings::SaveChanges(fresh, fresh, Path()));
    const QByteArray text = Read();
    for (const char* key : {"Left=", "nButton=5", "Folder5=none", "Interval=2", "AppDir5="})
        EXPECT_TRUE(text.contains(key)) << key;

    EXPECT_EQ(IniSettings::CannotSaveMessage({"/opt/orvanto", "/root/.config/orvanto"}),
              QString("設定を保存できません。次の場所に書き込めませんでした:\n/opt/orvanto\n/root/.config/orvanto"));
}

TEST_F(IniSettingsTest, ExternalApplicationsSkipEmptyAndDuplicates)
{
    const Settings s = LoadText("[Option]\nAppDir1=/usr/bin/gimp\nAppDir2=\nAppDir3=/usr/bin/gimp\n"
                                "AppDir4=/usr/bin/eog\nAppDir5=/usr/bin/GIMP\n");
    EXPECT_EQ(s.AppDirs, QStringList({"/usr/bin/gimp", "/usr/bin/eog", "/usr/bin/GIMP"}));
}

TEST_F(IniSettingsTest, IntegersFlagsAndCorrections)
{
    const Settings s = LoadText("[Window]\nLeft=0x1F\nTop=$10\nWidth=-7\nHeight=12abc\nListMax=-3\nstate=2\n"
                                "[SameBox]\nLeft=\nTop=99999999999\nWidth=+40\nHeight=0x\n"
                                "[Tool]\nShow=abc\nState=7\nOrient=5\nLeft=-$10\nTop=$FFFFFFFF\n"
                                "[Help]\nLeft=-2147483648\nTop=2147483648\nWidth=1.5\n"
                                "[ShortCut]\nInterval=-4\nIntervalM=5000\nMakePlace=9\nAuto=0\nFull=no\n"
                                "[Option]\nnButton=15\nInterval=100000\nIntervalM=-1\nCopy=0\nZoom=-1\n");
    EXPECT_EQ(s.Window.Left, 31);
    EXPECT_EQ(s.Window.Top, 16);
    EXPECT_EQ(s.Window.Width, -7);
    EXPECT_EQ(s.Window.Height, kDefaultWindow.height());
    EXPECT_EQ(s.Window.ListMax, 0);
    EXPECT_TRUE(s.Window.State);
    EXPECT_EQ(s.SameBox.Left, 31); // empty text: default from [Window]
    EXPECT_EQ(s.SameBox.Top, 16); // overflow: default
    EXPECT_EQ(s.SameBox.Width, 40);
    EXPECT_EQ(s.SameBox.Height, 300);
    EXPECT_TRUE(s.Tool.Show); // non-numeric flag: default
    EXPECT_EQ(s.Tool.State, 2);
    EXPECT_EQ(s.Tool.Orient, 1);
    EXPECT_EQ(s.Tool.Left, -16);
    EXPECT_EQ(s.Tool.Top, -1);
    EXPECT_EQ(s.Help.Left, -2147483647 - 1);
    EXPECT_EQ(s.Help.Top, 16);
    EXPECT_EQ(s.Help.Width, 500);
    EXPECT_EQ(s.ShortCut.Interval, 0);
    EXPECT_EQ(s.ShortCut.IntervalM, 999);
    EXPECT_EQ(s.ShortCut.MakePlace, 2);
    EXPECT_FALSE(s.ShortCut.Auto);
    EXPECT_TRUE(s.ShortCut.Full);
    EXPECT_EQ(s.Option.nButton, 10);
    EXPECT_EQ(s.Option.Interval, 86400);
    EXPECT_EQ(s.Option.IntervalM, 0);
    EXPECT_FALSE(s.Option.Copy);
    EXPECT_TRUE(s.Option.Zoom);

    const Settings t = LoadText("[Window]\nListMax=9\n[Tool]\nState=-1\nOrient=-5\n[Option]\nnButton=-2\n"
                                "Folder1=/x\n");
    EXPECT_EQ(t.Window.ListMax, 5);
    EXPECT_EQ(t.Tool.State, 0);
    EXPECT_EQ(t.Tool.Orient, 0);
    EXPECT_EQ(t.Option.nButton, 0);
    EXPECT_EQ(t.Option.Buttons[0].Folder, QString());
}

TEST_F(IniSettingsTest, StateIsOneKeyWhateverItsCase)
{
    Write("; my settings\n[window]\nstate=1\nCustom=kept\n[Mine]\nx=y\n");
    Settings s = IniSettings::Load(Path(), kDefaultWindow);
    EXPECT_TRUE(s.Window.State);
    s.Window.State = false;
    ASSERT_TRUE(IniSettings::Save(s, Path()));
    const QString text = QString::fromUtf8(Read());
    EXPECT_TRUE(text.startsWith("; my settings\n[window]\nState=0\nCustom=kept\nLeft=0\n")) << qPrintable(text);
    EXPECT_EQ(text.section("[Mine]", 0, 0).count("state=", Qt::CaseInsensitive), 1);
    EXPECT_TRUE(text.contains("[Mine]\nx=y\n[Susie Plug-in]\n"));
    EXPECT_FALSE(IniSettings::Load(Path(), kDefaultWindow).Window.State);
}

TEST_F(IniSettingsTest, LongTextsAreCut)
{
    const QString longDir = "/" + QString(3000, QChar(u'写'));
    Settings in;
    in.Window.LastDir = longDir;
    ASSERT_TRUE(IniSettings::Save(in, Path()));
    EXPECT_EQ(IniSettings::Load(Path(), kDefaultWindow).Window.LastDir, longDir.left(2047));

    // A 50 MB single line does not hang or crash the reader.
    QByteArray huge = "[Window]\nLastDir=";
    huge.append(QByteArray(50 * 1024 * 1024, 'a'));
    huge.append("\n[Option]\nnButton=2\n");
    const Settings s = LoadText(huge);
    EXPECT_EQ(s.Window.LastDir, QString(2047, QChar(u'a')));
    EXPECT_EQ(s.Option.nButton, 2);
}

TEST_F(IniSettingsTest, DamagedFilesGiveDefaults)
{
    std::mt19937 rng(99);
    QByteArray junk;
    for (int i = 0; i < 256 * 1024; ++i)
        junk.append(char(rng() & 0xFF));
    ExpectDefaults(LoadText(junk), kDefaultWindow);
    ExpectDefaults(LoadText(QByteArray("\0\0\0[Window]\0Left=5\0", 19)), kDefaultWindow);
    ExpectDefaults(LoadText("Left=5\nnButton=1\nState=1\n"), kDefaultWindow); // no sections

    // Junk around readable keys: the readable keys count.
    const Settings s = LoadText(junk + "\n[Option]\nnButton=3\nFolder1=/ok\nFolder2=/bad\xFF\n");
    EXPECT_EQ(s.Option.nButton, 3);
    EXPECT_EQ(s.Option.Buttons[0].Folder, QString("/ok"));
    EXPECT_EQ(s.Option.Buttons[1].Folder, QString("none"));

    // Saving over a damaged file keeps the junk and adds the settings.
    Write(junk);
    ASSERT_TRUE(IniSettings::Save(NonDefaultSettings(), Path()));
    EXPECT_TRUE(Read().startsWith(junk));
    EXPECT_EQ(IniSettings::Load(Path(), kDefaultWindow).Option.nButton, 3);
}

TEST_F(IniSettingsTest, Utf16FileFromWindowsIsRead)
{
    const QString text = "[Window]\r\nLastDir=C:\\写真\r\nListMax=4\r\n[Option]\r\nCopy=0\r\n";
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    const Settings s = LoadText(bytes);
    EXPECT_EQ(s.Window.LastDir, QString("C:\\写真"));
    EXPECT_EQ(s.Window.ListMax, 4);
    EXPECT_FALSE(s.Option.Copy);
}

TEST_F(IniSettingsTest, SaveFailuresAreReportedAndHarmless)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("orvanto.ini"));
    EXPECT_FALSE(IniSettings::Save(Settings(), Path()));
    EXPECT_TRUE(QFileInfo(Path()).isDir());
    ExpectDefaults(IniSettings::Load(Path(), kDefaultWindow), kDefaultWindow);
    EXPECT_FALSE(IniSettings::Save(Settings(), dir.filePath("missing/orvanto.ini")));

    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    const QString sub = dir.filePath("ro");
    ASSERT_TRUE(QDir().mkdir(sub));
    const QString ini = sub + "/orvanto.ini";
    ASSERT_TRUE(IniSettings::Save(NonDefaultSettings(), ini));
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    ASSERT_TRUE(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_FALSE(IniSettings::Save(Settings(), ini));
    ASSERT_TRUE(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(QDir(sub).entryList(QDir::Files | QDir::Hidden), QStringList{"orvanto.ini"});
}

TEST(IniPathFor, NamesTheFileAfterTheProgram)
{
    EXPECT_EQ(IniSettings::IniPathFor("/opt/orvanto/orvanto", "/opt/orvanto"), QString("/opt/orvanto/orvanto.ini"));
    EXPECT_EQ(IniSettings::IniPathFor("/opt/x/Mirror.bin", "/home/me/.config/orvanto/"),
              QString("/home/me/.config/orvanto/Mirror.ini"));
    EXPECT_EQ(IniSettings::IniPathFor("/a/my.app.exe", "/"), QString("/my.app.ini"));
}

} // namespace
