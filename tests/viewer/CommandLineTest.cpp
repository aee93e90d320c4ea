#include "viewer/CommandLine.h"
#include "viewer/ImageList.h"
#include "viewer/Siblings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "settings/IniSettings.h"
#include "viewer/common/SlideshowText.h"

namespace {

TEST(ParseSwitch, MatchesByPrefixAndEqualsSignIgnoringCase)
{
    SwitchMatch m = ParseSwitch("/Time", "/Time=2.5");
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.value, QString("2.5"));

    m = ParseSwitch("/Zoom", "/ZOOM=ON");
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.value, QString("on"));

    m = ParseSwitch("/Time", "/Timer=1"); // merely begins with the name
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.value, QString("1"));

    m = ParseSwitch("/Repeat", "/Repeat=a=B"); // everything after the first "="
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.value, QString("a=b"));

    m = ParseSwitch("/Auto", "/auto=");
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.value, QString());

    EXPECT_FALSE(ParseSwitch("/Zoom", "/Zoom").matched);
    EXPECT_FALSE(ParseSwitch("/Zoom", "/Zoo=on").matched);
    EXPECT_FALSE(ParseSwitch("/Box", "Box=on").matched);
    EXPECT_FALSE(ParseSwitch("/Box", "").matched);
}

TEST(IsSwitchArgument, TellsSwitchesFromAbsolutePaths)
{
    EXPECT_TRUE(IsSwitchArgument("/Time=2.5"));
    EXPECT_TRUE(IsSwitchArgument("/ZOOM=ON"));
    EXPECT_TRUE(IsSwitchArgument("/Zoom"));
    EXPECT_TRUE(IsSwitchArgument("/Timer=1"));
    EXPECT_TRUE(IsSwitchArgument("/Time=a/b")); // "/" only after the "="
    EXPECT_FALSE(IsSwitchArgument("/home/me/pics"));
    EXPECT_FALSE(IsSwitchArgument("/srv/x.jpg")); // a path even when missing
    EXPECT_FALSE(IsSwitchArgument("/no/such=file"));
    EXPECT_FALSE(IsSwitchArgument("pics/a.jpg"));
    EXPECT_FALSE(IsSwitchArgument(""));
    EXPECT_FALSE(IsSwitchArgument("/"));
    // An existing top-level entry is a path, even one that looks like a switch.
    EXPECT_FALSE(IsSwitchArgument("/tmp"));
    EXPECT_TRUE(IsSwitchArgument("/orvanto-no-such-entry-x9"));
}

TEST(ParseTimeSwitch, SecondsAndTruncatedMilliseconds)
{
    struct Case {
        const char* value;
        int interval, intervalM;
    };
    const Case cases[] =
        {
            {"2.5", 2, 500},     {"2.3", 2, 299},    {"2", 2, 0},        {"0.1", 0, 100},
            {"20", 20, 0},       {"abc", 2, 0},      {"", 2, 0},         {"2.5s", 2, 0},
            {"inf", 2, 0},       {"nan", 2, 0},      {"1,000", 2, 0}, // no group separators
            {"-1.5", 0, 100}, // negative: the fastest slideshow
            {"-0.0001", 0, 100}, {" 3.25 ", 3, 250}, {"1e30", 86400, 0}, // far beyond a day: one day
        };
    for (const Case& c : cases) {
        int interval = -99, intervalM = -99;
        ParseTimeSwitch(c.value, interval, intervalM);
        EXPECT_EQ(interval, c.interval) << c.value;
        EXPECT_EQ(intervalM, c.intervalM) << c.value;
    }
}

TEST(ParseTimeSwitch, NegativeTimeRunsAt100MsAndIsSavedAsSuch)
{
    // The run gets 100 ms, and what the settings file keeps gives 100 ms
    // again at the next start (a stored negative value read back as 0
    // never ticked).
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath("orvanto.ini");
    Settings settings;
    LaunchState state;
    ApplySwitch("/Time=-3", settings, state);
    EXPECT_EQ(SlideshowIntervalMs(settings.Option.Interval, settings.Option.IntervalM), 100);
    EXPECT_GE(settings.Option.Interval, 0);
    EXPECT_GE(settings.Option.IntervalM, 0);
    ASSERT_TRUE(IniSettings::Save(settings, ini));
    const Settings next = IniSettings::Load(ini, QRect(0, 0, 100, 100));
    EXPECT_EQ(SlideshowIntervalMs(next.Option.Interval, next.Option.IntervalM), 100);
}

TEST(ParseTimeSwitch, UsesTheLocaleDecimalSeparator)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    struct Case {
        const char* value;
        int interval, intervalM;
    };
    const Case cases[] = {
        {"2,5", 2, 500}, // the locale's own decimal comma
        {"2.5", 2, 500}, // "." works everywhere
        {"1.000", 1, 0}, // a German group separator is not taken: read as 1.000
        {"1.000,5", 2, 0},
    };
    for (const Case& c : cases) {
        int interval = -99, intervalM = -99;
        ParseTimeSwitch(c.value, german, interval, intervalM);
        EXPECT_EQ(interval, c.interval) << c.value;
        EXPECT_EQ(intervalM, c.intervalM) << c.value;
    }

    // The user's own locale.
    int interval = 0, intervalM = 0;
    ParseTimeSwitch(QLocale::system().toString(2.5), interval, intervalM);
    EXPECT_EQ(interval, 2);
    EXPECT_EQ(intervalM, 500);
}

struct Applied {
    Settings settings;
    LaunchState state;
};

Applied ApplyAll(const QStringList& args)
{
    Applied a;
    for (const QString& arg : args)
        ApplySwitch(arg, a.settings, a.state);
    return a;
}

TEST(ApplySwitch, ShortcutSwitchesInOrder)
{
    const Applied a =
        ApplyAll({"/Time=2.5", "/Auto=On", "/Box=Off", "/Button=Off", "/Full=Off", "/Zoom=On", "/Repeat=Exit"});
    EXPECT_EQ(a.settings.Option.Interval, 2);
    EXPECT_EQ(a.settings.Option.IntervalM, 500);
    EXPECT_TRUE(a.state.AutoStart);
    EXPECT_FALSE(a.settings.Tool.Show);
    EXPECT_FALSE(a.settings.Option.Open);
    EXPECT_TRUE(a.settings.Option.Zoom);
    EXPECT_FALSE(a.state.StartFullScreen);
    EXPECT_EQ(a.state.RepeatMode, -1);
    EXPECT_TRUE(a.state.SwitchLaunch);
}

TEST(ApplySwitch, ViewerSwitchesAloneDoNotMarkASwitchLaunch)
{
    Applied a = ApplyAll({"/ZOOM=ON", "/time=abc", "/Auto=off", "/Box=on", "/Button=yes"});
    EXPECT_TRUE(a.settings.Option.Zoom);
    EXPECT_EQ(a.settings.Option.Interval, 2);
    EXPECT_EQ(a.settings.Option.IntervalM, 0);
    EXPECT_FALSE(a.state.AutoStart);
    EXPECT_TRUE(a.settings.Tool.Show);
    EXPECT_FALSE(a.settings.Option.Open); // anything but "on" is off
    EXPECT_FALSE(a.state.SwitchLaunch);

    a = ApplyAll({"/Timer=1"}); // taken for /Time
    EXPECT_EQ(a.settings.Option.Interval, 1);
    EXPECT_FALSE(a.state.SwitchLaunch);
}

TEST(ApplySwitch, OtherSwitchesMarkASwitchLaunch)
{
    Applied a = ApplyAll({"/Zoom"}); // no "=": matches nothing
    EXPECT_FALSE(a.settings.Option.Zoom);
    EXPECT_TRUE(a.state.SwitchLaunch);
    EXPECT_FALSE(a.state.StartFullScreen);
    EXPECT_EQ(a.state.RepeatMode, -1);

    a = ApplyAll({"/Full=on"});
    EXPECT_TRUE(a.state.StartFullScreen);
    EXPECT_TRUE(a.state.SwitchLaunch);

    a = ApplyAll({"/FULL=ON"});
    EXPECT_TRUE(a.state.StartFullScreen);

    a = ApplyAll({"/Repeat=on"});
    EXPECT_EQ(a.state.RepeatMode, 1);
    EXPECT_TRUE(a.state.SwitchLaunch);
    a = ApplyAll({"/Repeat=OFF"});
    EXPECT_EQ(a.state.RepeatMode, 0);
    a = ApplyAll({"/Repeat=on", "/Repeat=Exit"});
    EXPECT_EQ(a.state.RepeatMode, -1);
    a = ApplyAll({"/Repeat=on", "/Unknown=1"}); // an unknown switch leaves RepeatMode alone
    EXPECT_EQ(a.state.RepeatMode, 1);
    EXPECT_TRUE(a.state.SwitchLaunch);
}

TEST(ApplySwitch, SiblingsChoosesTheOpeningWithoutMarkingASwitchLaunch)
{
    Applied a = ApplyAll({"/Siblings=On"});
    EXPECT_TRUE(a.state.Siblings);
    EXPECT_FALSE(a.state.SwitchLaunch); // an "open with" start still saves its settings
    a = ApplyAll({"/SIBLINGS=on", "/Siblings=off"});
    EXPECT_FALSE(a.state.Siblings);
    EXPECT_FALSE(a.state.SwitchLaunch);
    a = ApplyAll({"/Siblings"}); // no "=": an unknown switch
    EXPECT_FALSE(a.state.Siblings);
    EXPECT_TRUE(a.state.SwitchLaunch);
    a = ApplyAll({"/Time=3", "/Siblings=on", "/Zoom=on"}); // does not shadow the others
    EXPECT_EQ(a.settings.Option.Interval, 3);
    EXPECT_TRUE(a.settings.Option.Zoom);
    EXPECT_TRUE(a.state.Siblings);
}

class SiblingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = QFileInfo(dir.path()).canonicalFilePath();
    }
    QString make(const QString& name)
    {
        const QString path = root + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        return path;
    }
    static bool isPicture(const QString& path)
    {
        const QString lower = path.toLower();
        return lower.endsWith(".png") || lower.endsWith(".jpg");
    }
    QTemporaryDir dir;
    QString root;
};

TEST_F(SiblingsTest, LaunchFileOnlyForOnePictureWithTheSwitchOn)
{
    const QString b = make("b.png");
    make("a.jpg");
    const QString text = make("notes.txt");
    ASSERT_TRUE(QDir(root).mkdir("sub.png"));
    const QString on = "/Siblings=On";

    EXPECT_EQ(SiblingsLaunchFile({on, b}, isPicture), b);
    EXPECT_EQ(SiblingsLaunchFile({b, "/Time=2", "/siblings=ON"}, isPicture), b); // anywhere on the line
    // Relative paths and "." or ".." are made canonical, as for any path argument.
    const QString old = QDir::currentPath();
    QDir::setCurrent(root);
    EXPECT_EQ(SiblingsLaunchFile({on, "./x/../b.png"}, isPicture), b);
    QDir::setCurrent(old);

    // Everything else leaves the command line as it is.
    EXPECT_EQ(SiblingsLaunchFile({b}, isPicture), QString()); // no switch
    EXPECT_EQ(SiblingsLaunchFile({"/Siblings=Off", b}, isPicture), QString());
    EXPECT_EQ(SiblingsLaunchFile({on, b, "/Siblings=off"}, isPicture), QString()); // last value wins
    EXPECT_EQ(SiblingsLaunchFile({on, b, root + "/a.jpg"}, isPicture), QString()); // two pictures
    EXPECT_EQ(SiblingsLaunchFile({on}, isPicture), QString()); // no path
    EXPECT_EQ(SiblingsLaunchFile({on, root}, isPicture), QString()); // a folder
    EXPECT_EQ(SiblingsLaunchFile({on, root + "/sub.png"}, isPicture), QString()); // a folder named like a picture
    EXPECT_EQ(SiblingsLaunchFile({on, text}, isPicture), QString()); // not a picture
    EXPECT_EQ(SiblingsLaunchFile({on, root + "/gone.png"}, isPicture), QString()); // missing
}

TEST_F(SiblingsTest, FolderPicturesInFolderOrderWithTheNamedOneFound)
{
    const QString b = make("B.png");
    const QString a = make("a.jpg");
    const QString c = make("c10.png");
    const QString c2 = make("c2.png");
    make("notes.txt");
    ASSERT_TRUE(QDir(root).mkpath("inner.png"));
    make("inner.png/deep.png"); // subfolders are not entered

    const SiblingList list = SiblingPictures(c2, isPicture);
    // Case ignored, as when the folder is opened.
    ASSERT_EQ(list.paths.size(), 4);
    EXPECT_EQ(list.paths.at(0), a);
    EXPECT_EQ(list.paths.at(1), b);
    EXPECT_EQ(list.paths.indexOf(c2), list.index);
    EXPECT_TRUE(list.paths.contains(c));
    EXPECT_EQ(SiblingPictures(a, isPicture).index, 0);

    // The order is the image list's own sorted order.
    ImageList sorted;
    sorted.SetSorted(true);
    for (const QString& p : {c, c2, a, b})
        sorted.Add(p);
    sorted.SetSorted(false);
    EXPECT_EQ(list.paths, sorted.ToStringList());

    // A file the test rejects is not listed and not found.
    EXPECT_EQ(SiblingPictures(root + "/notes.txt", isPicture).index, -1);
}

} // namespace
