// Applying the options dialog's choices, step by step, against a recording
// main-window side.
#include "dialogs/OptionApply.h"

#include "decode/Orientation.h"

#include <QLocale>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Writes down every call the applying makes, in order.
class RecordingTarget : public IOptionTarget {
public:
    bool running = false;
    bool toolbox = false;
    QStringList calls;
    QStringList applications;

    bool SlideshowRunning() const override { return running; }
    void SetStatusText(const QString& text) override { calls << QStringLiteral("status:") + text; }
    bool ToolboxOpen() const override { return toolbox; }
    void RebuildTransferArea() override { calls << QStringLiteral("rebuild"); }
    void ApplySlideshowInterval() override { calls << QStringLiteral("interval"); }
    void ReplaceApplications(const QStringList& apps) override
    {
        applications = apps;
        calls << QStringLiteral("apps");
    }
    void SearchPlugins(const QString& mask) override { calls << QStringLiteral("plugins:") + mask; }
    void RetakeGraphicFilter() override { calls << QStringLiteral("filter"); }
};

class OptionApplyTest : public ::testing::Test {
protected:
    // The interval is written with the user's decimal separator.
    static bool decimalPoint() { return QLocale::system().decimalPoint() == QStringLiteral("."); }
    Settings settings;
    RecordingTarget target;
};

} // namespace

TEST_F(OptionApplyTest, StartingValuesComeFromTheSettings)
{
    settings.Option.Interval = 7;
    settings.Option.IntervalM = 300;
    settings.Option.nButton = 8;
    settings.Option.Numbering = true;
    settings.Option.AutoRotate = false;
    settings.SusieDir = QStringLiteral("/opt/spi");
    const OptionChoice c = OptionChoiceOf(settings, {QStringLiteral("/usr/bin/gimp")});
    EXPECT_EQ(c.Interval, 7);
    EXPECT_EQ(c.IntervalM, 300);
    EXPECT_EQ(c.nButton, 8);
    EXPECT_TRUE(c.Numbering);
    EXPECT_FALSE(c.AutoRotate);
    EXPECT_EQ(c.PluginDir, QStringLiteral("/opt/spi"));
    EXPECT_EQ(c.Applications, QStringList{QStringLiteral("/usr/bin/gimp")});
}

TEST_F(OptionApplyTest, DialogSideSetsTheEditedSettingsAndNothingOfTheMainWindow)
{
    OptionChoice c = OptionChoiceOf(settings, {});
    c.Interval = 3;
    c.IntervalM = 400;
    c.Numbering = true;
    c.PluginDir = QStringLiteral("/nowhere/at/all");
    ApplyOptionDialogSide(c, settings, target);
    EXPECT_EQ(settings.Option.Interval, 3);
    EXPECT_EQ(settings.Option.IntervalM, 400);
    EXPECT_TRUE(settings.Option.Numbering);
    // A folder that does not exist is taken as it is.
    EXPECT_EQ(settings.SusieDir, QStringLiteral("/nowhere/at/all"));
    EXPECT_EQ(settings.Option.nButton, 5);
    // Slideshow off, button count unchanged: the main window is not touched.
    EXPECT_TRUE(target.calls.isEmpty());

    c.Numbering = false;
    ApplyOptionDialogSide(c, settings, target);
    EXPECT_FALSE(settings.Option.Numbering);

    // Turning pictures upright is stored and reaches the decoders at once.
    c.AutoRotate = false;
    ApplyOptionDialogSide(c, settings, target);
    EXPECT_FALSE(settings.Option.AutoRotate);
    EXPECT_FALSE(decode::AutoRotate());
    c.AutoRotate = true;
    ApplyOptionDialogSide(c, settings, target);
    EXPECT_TRUE(settings.Option.AutoRotate);
    EXPECT_TRUE(decode::AutoRotate());
}

TEST_F(OptionApplyTest, HundredMillisecondsIsTheShortestInterval)
{
    OptionChoice c = OptionChoiceOf(settings, {});
    c.Interval = 0;
    c.IntervalM = 0;
    ApplyOptionDialogSide(c, settings, target);
    EXPECT_EQ(settings.Option.Interval, 0);
    EXPECT_EQ(settings.Option.IntervalM, 100);

    c.IntervalM = 300;
    ApplyOptionDialogSide(c, settings, target);
    EXPECT_EQ(settings.Option.IntervalM, 300);
    c.Interval = 1;
    c.IntervalM = 0;
    ApplyOptionDialogSide(c, settings, target);
    EXPECT_EQ(settings.Option.Interval, 1);
    EXPECT_EQ(settings.Option.IntervalM, 0);
}

TEST_F(OptionApplyTest, RunningSlideshowShowsTheNewIntervalInTheStatusBar)
{
    if (!decimalPoint())
        GTEST_SKIP() << "the expected texts are written for a locale with a decimal point";
    target.running = true;
    const struct {
        int s, ms;
        const char* text;
    } cases[] = {{2, 500, "SlideShow ON - 2.5秒"},
                 {2, 0, "SlideShow ON - 2秒"},
                 {0, 0, "SlideShow ON - 0.1秒"},
                 {20, 900, "SlideShow ON - 20.9秒"}};
    for (const auto& k : cases) {
        target.calls.clear();
        OptionChoice c = OptionChoiceOf(settings, {});
        c.Interval = k.s;
        c.IntervalM = k.ms;
        ApplyOptionDialogSide(c, settings, target);
        EXPECT_EQ(target.calls, QStringList{QStringLiteral("status:") + QString::fromUtf8(k.text)})
            << k.s << " " << k.ms;
    }
}

TEST_F(OptionApplyTest, ChangedButtonCountRebuildsAnOpenToolboxOnly)
{
    settings.Option.Buttons[7].Folder = QStringLiteral("/kept");
    OptionChoice c = OptionChoiceOf(settings, {});
    c.nButton = 8;
    ApplyOptionDialogSide(c, settings, target); // toolbox closed
    EXPECT_EQ(settings.Option.nButton, 8);
    EXPECT_TRUE(target.calls.isEmpty());

    target.toolbox = true;
    ApplyOptionDialogSide(c, settings, target); // same count: nothing to rebuild
    EXPECT_TRUE(target.calls.isEmpty());

    c.nButton = 3;
    ApplyOptionDialogSide(c, settings, target);
    EXPECT_EQ(settings.Option.nButton, 3);
    EXPECT_EQ(target.calls, QStringList{QStringLiteral("rebuild")});
    // The destinations beyond the count stay in memory; only the count hides them.
    EXPECT_EQ(settings.Option.Buttons[7].Folder, QStringLiteral("/kept"));
}

TEST_F(OptionApplyTest, MainSideRunsItsFourStepsInOrder)
{
    settings.SusieDir = QStringLiteral("/home/me/spi");
    ApplyOptionMainSide({QStringLiteral("/usr/bin/a"), QStringLiteral("/usr/bin/b")}, settings, target);
    EXPECT_EQ(target.calls, (QStringList{QStringLiteral("interval"), QStringLiteral("apps"),
                                         QStringLiteral("plugins:/home/me/spi/*.spi"), QStringLiteral("filter")}));
    EXPECT_EQ(target.applications, (QStringList{QStringLiteral("/usr/bin/a"), QStringLiteral("/usr/bin/b")}));

    target.calls.clear();
    settings.SusieDir = QStringLiteral("/home/me/spi/");
    ApplyOptionMainSide({}, settings, target);
    EXPECT_EQ(target.calls[2], QStringLiteral("plugins:/home/me/spi/*.spi"));
    EXPECT_TRUE(target.applications.isEmpty());
}

TEST_F(OptionApplyTest, ApplicationListKeepsFiveDistinctPaths)
{
    EXPECT_EQ(NormalisedApplications({QStringLiteral("/a"), QString(), QStringLiteral("/b"), QStringLiteral("/a"),
                                      QStringLiteral("/c"), QStringLiteral("/d"), QStringLiteral("/e"),
                                      QStringLiteral("/f")}),
              (QStringList{QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c"), QStringLiteral("/d"),
                           QStringLiteral("/e")}));
    // Letter case makes different files here.
    EXPECT_EQ(NormalisedApplications({QStringLiteral("/x/App"), QStringLiteral("/x/app")}).size(), 2);
}
