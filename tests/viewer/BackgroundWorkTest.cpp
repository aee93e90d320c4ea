// Folder scans and archive unpacks off the window thread: the window thread
// goes on with its events, the progress window offers Cancel, a cancelled
// unpack leaves nothing behind. Real folders, a real zip made by zip(1) and
// the project's archiver library.
#include "viewer/BackgroundWork.h"
#include "viewer/MainWindow.h"
#include "helper/HelperClient.h"
#include "decode/BuiltInFormats.h"
#include "platform/Desktop.h"
#include "platform/DynamicLibrary.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

TEST(BackgroundWork, WindowThreadRunsItsEventsWhileTheWorkRuns)
{
    // The work can only end once a timer of the window thread has fired.
    std::atomic<bool> timerFired{false};
    QTimer::singleShot(20, [&] { timerFired = true; });
    BackgroundWorkOptions options;
    options.showAfterMs = 100000;
    const bool completed = RunOffWindowThread(nullptr, options, [&](WorkProgress& progress) {
        while (!timerFired)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        progress.AddDone(3);
    });
    EXPECT_TRUE(completed);
    EXPECT_TRUE(timerFired);

    // An error of the work reaches the caller.
    EXPECT_THROW(RunOffWindowThread(nullptr, options, [](WorkProgress&) { throw std::runtime_error("broken"); }),
                 std::runtime_error);
}

TEST(BackgroundWork, ProgressWindowShowsFilesDoneAndCancels)
{
    BackgroundWorkOptions options;
    options.title = QStringLiteral("ただいま、画像を検索中です。");
    options.showAfterMs = 0;
    QString title;
    QString button;
    options.onShown = [&](QWidget* window) {
        title = window->windowTitle();
        if (auto* cancel = window->findChild<QPushButton*>())
            button = cancel->text();
        static_cast<QProgressDialog*>(window)->cancel();
    };
    int seenDone = -1;
    const bool completed = RunOffWindowThread(nullptr, options, [&](WorkProgress& progress) {
        while (!progress.Cancelled()) {
            progress.AddDone();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        seenDone = progress.Done();
    });
    EXPECT_FALSE(completed);
    EXPECT_GT(seenDone, 0);
    EXPECT_EQ(title, QStringLiteral("ただいま、画像を検索中です。"));
    EXPECT_EQ(button, QStringLiteral("キャンセル"));
    EXPECT_EQ(FilesDoneText(12), QStringLiteral("12 個のファイルを処理しました"));
}

class BackgroundScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterBuiltInFormats();
        ASSERT_TRUE(dir.isValid());
        ini = dir.filePath(QStringLiteral("orvanto.ini"));
        platform::SetMessageBoxHandlerForTesting(
            [](const QString&, platform::MsgIcon, int) { return int(platform::MsgOk); });
    }
    void TearDown() override { platform::SetMessageBoxHandlerForTesting({}); }

    QTemporaryDir dir;
    QString ini;
};

TEST_F(BackgroundScanTest, FolderOfTwelveThousandFilesIsListedInOrder)
{
    const QString folder = dir.filePath(QStringLiteral("many"));
    QDir().mkpath(folder);
    for (int i = 0; i < 12000; ++i) {
        QFile file(folder
                   + QStringLiteral("/p%1.%2")
                         .arg((i * 7919) % 12000, 5, 10, QLatin1Char('0'))
                         .arg(i % 10 == 0 ? QStringLiteral("txt") : QStringLiteral("jpg")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    int shown = 0;
    auto main = std::make_unique<TfMain>(QStringList{folder}, nullptr, [&](TfMain& m) {
        m.Session().SetIniPath(ini);
        m.WorkProgressDelayMs = 0;
        m.WorkProgressShown = [&](QWidget*) { ++shown; };
    });
    EXPECT_EQ(shown, 1);
    ASSERT_EQ(main->Session().Images().Count(), 10800);
    EXPECT_EQ(main->Session().Images().At(0), folder + QStringLiteral("/p00001.jpg"));
    EXPECT_EQ(main->Session().Images().At(10799), folder + QStringLiteral("/p11999.jpg"));
    main->Session().SetSwitchLaunch(true);
    main->close();
}

TEST_F(BackgroundScanTest, CancelledUnpackRemovesWhatItWrote)
{
    if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty())
        GTEST_SKIP() << "zip is not installed";
    platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
    QDir(dir.path()).mkdir(QStringLiteral("in"));
    for (int i = 0; i < 3; ++i) {
        QImage image(20, 10, QImage::Format_RGB32);
        image.fill(Qt::green);
        image.save(dir.filePath(QStringLiteral("in/p%1.png").arg(i)), "PNG");
    }
    const QString zip = dir.filePath(QStringLiteral("set.zip"));
    QProcess tool;
    tool.setWorkingDirectory(dir.filePath(QStringLiteral("in")));
    tool.start(QStringLiteral("zip"), {QStringLiteral("-q"), zip, QStringLiteral("p0.png"), QStringLiteral("p1.png"),
                                       QStringLiteral("p2.png")});
    ASSERT_TRUE(tool.waitForFinished(20000));
    ASSERT_EQ(tool.exitCode(), 0);

    bool cancelNext = true;
    auto main = std::make_unique<TfMain>(QStringList{}, nullptr, [&](TfMain& m) {
        m.Session().SetIniPath(ini);
        m.WorkProgressDelayMs = 0;
        m.WorkProgressShown = [&](QWidget* window) {
            if (cancelNext)
                static_cast<QProgressDialog*>(window)->cancel();
        };
    });
    ASSERT_FALSE(main->Session().WorkFolder().isEmpty());
    main->Session().DropPaths({zip});
    EXPECT_TRUE(main->Session().Images().IsEmpty());
    EXPECT_FALSE(QFileInfo::exists(main->Session().WorkFolder() + QStringLiteral("/set_zip")));

    // Not cancelled: unpacked and listed.
    cancelNext = false;
    main->Session().DropPaths({zip});
    ASSERT_EQ(main->Session().Images().Count(), 3);
    EXPECT_TRUE(main->Session().Images().At(0).startsWith(main->Session().WorkFolder() + QStringLiteral("/set_zip/")));
    main->close();
}

// With the archiver libraries in the helper process (as the program runs
// them), Cancel ends the library's call in the middle of an unpack: fewer
// files than the archive holds were written, nothing of them stays, no fault
// is reported, and the next unpack of the same archive is whole.
TEST_F(BackgroundScanTest, CancelStopsAnUnpackInTheMiddle)
{
    if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty())
        GTEST_SKIP() << "zip is not installed";
    platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
    helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
    helper::SetIsolation(true);
    helper::FaultNotices::ResetForTesting();
    constexpr int kFiles = 5000;
    const QString in = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(in);
    QByteArray png;
    {
        QImage image(2, 2, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    for (int i = 0; i < kFiles; ++i) {
        QFile file(in + QStringLiteral("/p%1.png").arg(i, 4, 10, QLatin1Char('0')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(png);
    }
    const QString zip = dir.filePath(QStringLiteral("many.zip"));
    QProcess tool;
    tool.setWorkingDirectory(in);
    tool.start(QStringLiteral("zip"),
               {QStringLiteral("-q"), QStringLiteral("-0"), zip, QStringLiteral("-r"), QStringLiteral(".")});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0);

    auto main = std::make_unique<TfMain>(QStringList{}, nullptr, [&](TfMain& m) { m.Session().SetIniPath(ini); });
    ViewerSession& session = main->Session();
    ASSERT_FALSE(session.WorkFolder().isEmpty());
    bool cancel = true;
    int doneWhenStopped = -1;
    session.SetBackgroundRunner(
        [&](const QString&, std::function<int()> countDone, const std::function<void(WorkProgress&)>& work) {
            WorkProgress progress;
            std::thread worker([&] { work(progress); });
            if (cancel && countDone) {
                // Cancel as soon as the library has written something.
                while (countDone() == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                progress.Cancel();
            }
            worker.join();
            if (countDone)
                doneWhenStopped = countDone();
            return !progress.Cancelled();
        });
    session.DropPaths({zip});
    EXPECT_GT(doneWhenStopped, 0);
    EXPECT_LT(doneWhenStopped, kFiles) << "the library went on to the end";
    EXPECT_TRUE(session.Images().IsEmpty());
    EXPECT_FALSE(QFileInfo::exists(session.WorkFolder() + QStringLiteral("/many_zip")));
    EXPECT_TRUE(helper::FaultNotices::ReportedKeys().isEmpty()) << "a cancel is not a damaged archive";

    cancel = false;
    session.DropPaths({zip});
    EXPECT_EQ(doneWhenStopped, kFiles);
    EXPECT_EQ(session.Images().Count(), kFiles);
    main->close();
    helper::SetIsolation(false);
}

} // namespace
