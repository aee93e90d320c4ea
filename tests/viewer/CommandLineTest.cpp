#include "viewer/CommandLine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "settings/IniSettings.h"
#include "viewer/SlideshowText.h"

namespace {

TEST(ParseSwitch, MatchesByPrefixAndEqualsSignIgnoringCase)
{
    SwitchMatch m = ParseSwitch("/Time", "/Time=2.5");
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.value, QString("2.5"));

    m = ParseSwitch("/Zoom", "/ZOOM=ON");
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.value, QString("on"));

    m = ParseSwitch("/Time", "/Timer=1");   // merely begins with the name
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.value, QString("1"));

    m = ParseSwitch("/Repeat", "/Repeat=a=B");   // everything after the first "="
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
    EXPECT_TRUE(IsSwitchArgument("/Time=a/b"));            // "/" only after the "="
    EXPECT_FALSE(IsSwitchArgument("/home/me/pics"));
    EXPECT_FALSE(IsSwitchArgument("/srv/x.jpg"));          // a path even when missing
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
    struct Case { const char* value; int interval, intervalM; };
    const Case cases[] = {
        {"2.5", 2, 500}, {"2.3", 2, 299}, {"2", 2, 0}, {"0.1", 0, 100}, {"20", 20, 0},
        {"abc", 2, 0}, {"", 2, 0}, {"2.5s", 2, 0}, {"inf", 2, 0}, {"nan", 2, 0},
        {"1,000", 2, 0},           // no group separators
        {"-1.5", 0, 100},          // negative: the fastest slideshow
        {"-0.0001", 0, 100},
        {" 3.25 ", 3, 250},
        {"1e30", 86400, 0},        // far beyond a day: one day
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
    struct Case { const char* value; int interval, intervalM; };
    const Case cases[] = {
        {"2,5", 2, 500},   // the locale's own decimal comma
        {"2.5", 2, 500},   // "." works everywhere
        {"1.000", 1, 0},   // a German group separator is not taken: read as 1.000
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
    const Applied a = ApplyAll({"/Time=2.5", "/Auto=On", "/Box=Off", "/Button=Off", "/Full=Off",
                                "/Zoom=On", "/Repeat=Exit"});
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
    EXPECT_FALSE(a.settings.Option.Open);   // anything but "on" is off
    EXPECT_FALSE(a.state.SwitchLaunch);

    a = ApplyAll({"/Timer=1"});             // taken for /Time
    EXPECT_EQ(a.settings.Option.Interval, 1);
    EXPECT_FALSE(a.state.SwitchLaunch);
}

TEST(ApplySwitch, OtherSwitchesMarkASwitchLaunch)
{
    Applied a = ApplyAll({"/Zoom"});        // no "=": matches nothing
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
    a = ApplyAll({"/Repeat=on", "/Unknown=1"});   // an unknown switch leaves RepeatMode alone
    EXPECT_EQ(a.state.RepeatMode, 1);
    EXPECT_TRUE(a.state.SwitchLaunch);
}

} // namespace
