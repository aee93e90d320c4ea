// A child program on pipes: real programs (cat, sh) started, talked to,
// waited for with time limits and ended.
#include "platform/PipeProcess.h"
#include "platform/WineRuntime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace std::chrono_literals;
using platform::PipeProcess;

TEST(PipeProcessTest, EchoesThroughCatAndEndsIt)
{
    PipeProcess cat;
    ASSERT_TRUE(cat.Start("/bin/cat", {}, {}));
    const qint64 pid = cat.ProcessId();
    EXPECT_GT(pid, 0);
    const char text[] = "frame bytes";
    ASSERT_TRUE(cat.Write(text, sizeof text));
    char back[sizeof text] = {};
    ASSERT_TRUE(cat.Read(back, sizeof back, 5s));
    EXPECT_STREQ(back, text);
    EXPECT_FALSE(cat.HasEnded());
    // Nothing more to read: the time limit ends the wait.
    char more = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(cat.Read(&more, 1, 200ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
    cat.Stop(2s);
    EXPECT_FALSE(cat.IsStarted());
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0); // collected, gone
}

TEST(PipeProcessTest, EnvironmentIsSetAndRemoved)
{
    qputenv("ORVANTO_PIPE_TEST_GONE", "still here");
    PipeProcess sh;
    ASSERT_TRUE(sh.Start("/bin/sh", {"-c", "printf '%s|%s' \"$ORVANTO_PIPE_TEST_SET\" \"$ORVANTO_PIPE_TEST_GONE\""},
                         {{"ORVANTO_PIPE_TEST_SET", "value"}, {"ORVANTO_PIPE_TEST_GONE", "\x01"}}));
    char out[7] = {};
    ASSERT_TRUE(sh.Read(out, 6, 5s));
    EXPECT_STREQ(out, "value|");
    qunsetenv("ORVANTO_PIPE_TEST_GONE");
}

TEST(PipeProcessTest, EndedChildIsSeenAndWritingToItFailsWithoutSignal)
{
    PipeProcess sh;
    ASSERT_TRUE(sh.Start("/bin/sh", {"-c", "exit 0"}, {}));
    char byte = 0;
    EXPECT_FALSE(sh.Read(&byte, 1, 5s)); // end of output
    for (int i = 0; i < 100 && !sh.HasEnded(); ++i)
        ::usleep(20000);
    EXPECT_TRUE(sh.HasEnded());
    // The pipe has no reader: the write fails, SIGPIPE does not end the test.
    std::string block(1 << 20, 'x');
    EXPECT_FALSE(sh.Write(block.data(), block.size()));
    sh.Stop(0ms);

    // A child that ignores its closed input is killed after the grace time.
    PipeProcess stubborn;
    ASSERT_TRUE(stubborn.Start("/bin/sh", {"-c", "trap '' TERM; exec sleep 30"}, {}));
    const auto start = std::chrono::steady_clock::now();
    stubborn.Stop(100ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    PipeProcess missing;
    EXPECT_FALSE(missing.Start("/nonexistent/program", {}, {}));
    EXPECT_FALSE(missing.IsStarted());
}

TEST(WineRuntimeTest, LoaderCanBeHiddenAndEnvironmentKeepsWindowsAway)
{
    qputenv("ORVANTO_WINE64", "");
    EXPECT_TRUE(platform::WineLoader(64).isEmpty());
    qputenv("ORVANTO_WINE64", "/bin/sh");
    EXPECT_EQ(platform::WineLoader(64), "/bin/sh");
    qunsetenv("ORVANTO_WINE64");
    const auto env = platform::WineEnvironment("/tmp/prefix");
    auto value = [&](const char* name) -> QByteArray {
        for (const auto& [key, v] : env)
            if (key == name)
                return v;
        return "<unset>";
    };
    EXPECT_EQ(value("WINEPREFIX"), "/tmp/prefix");
    EXPECT_EQ(value("WINEDEBUG"), "-all");
    EXPECT_EQ(value("DISPLAY"), "\x01"); // removed: no window can open
    EXPECT_TRUE(value("WINEDLLOVERRIDES").contains("mscoree"));
    EXPECT_TRUE(value("WINEDLLOVERRIDES").contains("mshtml"));
}
