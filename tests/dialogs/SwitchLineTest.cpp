// The switch line a shortcut carries, and what the program's command-line
// reader makes of it.
#include "dialogs/ShortcutDialog.h"
#include "viewer/CommandLine.h"

#include <QLocale>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

bool decimalPoint()
{
    return QLocale::system().decimalPoint() == QStringLiteral(".");
}

ShortcutChoice defaults(const QString& folder)
{
    ShortcutChoice c; // the [ShortCut] defaults
    c.PictureFolder = folder;
    return c;
}

} // namespace

TEST(SwitchLineTest, DefaultsGiveTheDocumentedLine)
{
    EXPECT_EQ(MakeSwitchLine(defaults(QStringLiteral("/home/me/pics"))),
              QStringLiteral("\"/home/me/pics\" /Time=2 /Auto=On /Box=Off /Button=Off /Full=On /Zoom=On /Repeat=Exit"));
    EXPECT_EQ(MakeSwitchArguments(defaults(QStringLiteral("/home/me/pics"))),
              (QStringList{QStringLiteral("/home/me/pics"), QStringLiteral("/Time=2"), QStringLiteral("/Auto=On"),
                           QStringLiteral("/Box=Off"), QStringLiteral("/Button=Off"), QStringLiteral("/Full=On"),
                           QStringLiteral("/Zoom=On"), QStringLiteral("/Repeat=Exit")}));
}

TEST(SwitchLineTest, EverySwitchFollowsItsChoice)
{
    ShortcutChoice c = defaults(QStringLiteral("/srv/写真 2026"));
    c.Auto = false;
    c.Box = true;
    c.Button = true;
    c.Full = false;
    c.Zoom = false;
    c.Repeat = 1;
    EXPECT_EQ(MakeSwitchLine(c), QStringLiteral("\"/srv/写真 2026\" /Time=2 /Auto=Off /Box=On /Button=On /Full=Off "
                                                "/Zoom=Off /Repeat=On"));
    c.Repeat = 0;
    EXPECT_TRUE(MakeSwitchLine(c).endsWith(QStringLiteral(" /Repeat=Off")));
    // Any stored value other than 1 and 0 is the exit choice.
    c.Repeat = 7;
    EXPECT_TRUE(MakeSwitchLine(c).endsWith(QStringLiteral(" /Repeat=Exit")));
    // An empty folder still stands first, as an empty quoted argument.
    c.PictureFolder.clear();
    EXPECT_TRUE(MakeSwitchLine(c).startsWith(QStringLiteral("\"\" /Time=")));
}

TEST(SwitchLineTest, IntervalIsTheShortestDecimal)
{
    if (!decimalPoint())
        GTEST_SKIP() << "the expected texts are written for a locale with a decimal point";
    const struct {
        int s, ms;
        const char* text;
    } cases[] = {{2, 0, "2"}, {2, 500, "2.5"},   {0, 300, "0.3"}, {20, 0, "20"},
                 {0, 0, "0"}, {20, 900, "20.9"}, {1, 250, "1.25"}};
    for (const auto& k : cases) {
        EXPECT_EQ(IntervalSecondsText(k.s, k.ms), QString::fromLatin1(k.text)) << k.s << " " << k.ms;
        ShortcutChoice c = defaults(QStringLiteral("/p"));
        c.Interval = k.s;
        c.IntervalM = k.ms;
        EXPECT_EQ(MakeSwitchArguments(c).at(1), QStringLiteral("/Time=") + QString::fromLatin1(k.text));
    }
}

TEST(SwitchLineTest, TheProgramReadsBackWhatTheShortcutChose)
{
    const struct {
        int s, ms;
        bool autoOn, box, button, full, zoom;
        int repeat;
    } cases[] = {
        {2, 0, true, false, false, true, true, -1},
        {0, 300, false, true, true, false, false, 1},
        {20, 900, true, true, false, false, true, 0},
        {1, 100, false, false, true, true, false, -1},
    };
    for (const auto& k : cases) {
        ShortcutChoice c = defaults(QStringLiteral("/home/me/pics"));
        c.Interval = k.s;
        c.IntervalM = k.ms;
        c.Auto = k.autoOn;
        c.Box = k.box;
        c.Button = k.button;
        c.Full = k.full;
        c.Zoom = k.zoom;
        c.Repeat = k.repeat;
        const QStringList args = MakeSwitchArguments(c);

        Settings settings;
        settings.Tool.Show = !k.box;
        settings.Option.Open = !k.button;
        settings.Option.Zoom = !k.zoom;
        LaunchState launch;
        EXPECT_FALSE(IsSwitchArgument(args.first())); // the folder is a path
        for (qsizetype i = 1; i < args.size(); ++i) {
            ASSERT_TRUE(IsSwitchArgument(args[i])) << args[i].toStdString();
            ApplySwitch(args[i], settings, launch);
        }
        EXPECT_EQ(settings.Option.Interval, k.s);
        // The reader truncates the milliseconds of the decimal fraction.
        EXPECT_NEAR(settings.Option.IntervalM, k.ms, 1);
        EXPECT_EQ(launch.AutoStart, k.autoOn);
        EXPECT_EQ(settings.Tool.Show, k.box);
        EXPECT_EQ(settings.Option.Open, k.button);
        EXPECT_EQ(settings.Option.Zoom, k.zoom);
        EXPECT_EQ(launch.StartFullScreen, k.full);
        EXPECT_EQ(launch.RepeatMode, k.repeat);
        // Every shortcut carries /Full= and /Repeat=, so its run never
        // writes the settings file.
        EXPECT_TRUE(launch.SwitchLaunch);
    }
}
