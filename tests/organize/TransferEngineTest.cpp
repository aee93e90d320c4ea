// The copy/move engine on real files with the real viewer session, without
// windows: the user's answers come from the test.
#include "organize/TransferEngine.h"
#include "platform/Desktop.h"
#include "platform/FileNames.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Trash.h"
#include "settings/Settings.h"
#include "viewer/ViewerSession.h"
#include "viewer/Navigation.h"
#include "viewer/common/SharedHelpers.h"

#include "../platform/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <csignal>
#include <deque>
#include <sys/resource.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

using namespace testfiles;

namespace {

// The real viewer session, with what it announced counted.
class SessionUnderTest {
public:
    SessionUnderTest()
    {
        // Every page request (also one for an empty list) counts as a showing.
        QObject::connect(&session, &ViewerSession::pageAboutToShow, [this] { ++shows; });
        QObject::connect(&session, &ViewerSession::listChanged, [this] { ++navRefreshes; });
        QObject::connect(&session, &ViewerSession::undoRecordChanged, [this] { ++undoRefreshes; });
        QObject::connect(&session, &ViewerSession::captionChanged, [this](const QString& text) { caption = text; });
        session.SelectPlayOrder(2);
        // A slideshow without a timer: an interval of 0 never ticks.
        session.Config().Option.Interval = 0;
        session.Config().Option.IntervalM = 0;
    }

    ViewerSession session;
    ImageList& images = session.Images();
    Settings& config = session.Config();
    int shows = 0, navRefreshes = 0, undoRefreshes = 0;
    QString caption;

    int index() const { return session.State().CurrentIndex; }
    const QString& source() const { return session.State().UndoFrom; }
    const QString& destination() const { return session.State().UndoTo; }
    void SetSlideshow(bool on)
    {
        if (session.SlideshowOn() != on)
            session.ToggleSlideshow();
    }
    bool undoable() const { return session.HasUndoRecord(); }
};

// The user's answers, given in advance; every question and notice is kept.
class ScriptedUi : public ITransferUi {
public:
    std::deque<int> sameAnswers;
    std::deque<QString> nameAnswers;
    std::deque<QString> browseAnswers; // empty text: cancel
    QStringList errors, done, asked, browseCalls;
    QList<QPair<QString, QString>> sameCalls;
    int beeps = 0;
    QList<int> waits;

    int AskSameName(const QString& s, const QString& d) override
    {
        sameCalls.append({s, d});
        if (sameAnswers.empty())
            return srCancel;
        const int r = sameAnswers.front();
        sameAnswers.pop_front();
        return r;
    }
    QString InputNewName(const QString& folder, const QString& name) override
    {
        asked << folder + QLatin1Char('|') + name;
        if (nameAnswers.empty())
            return QString();
        const QString typed = nameAnswers.front();
        nameAnswers.pop_front();
        return typed.isNull() ? QString() : WithOldExtension(typed, name);
    }
    bool BrowseFolder(const QString& caption, const QString& initDir, QString* directory) override
    {
        browseCalls << caption + QLatin1Char('|') + initDir;
        if (browseAnswers.empty() || browseAnswers.front().isEmpty()) {
            if (!browseAnswers.empty())
                browseAnswers.pop_front();
            return false;
        }
        *directory = browseAnswers.front();
        browseAnswers.pop_front();
        return true;
    }
    void Beep() override { ++beeps; }
    void Error(const QString& text) override { errors << text; }
    void Done(const QString& text) override { done << text; }
    bool RecycleFile(const QString& path) override { return ::RecycleFile(path); }
    void Wait(int ms) override { waits << ms; }
};

class TransferEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        src = root.path() + "/src";
        dst = root.path() + "/dst";
        ASSERT_TRUE(QDir().mkpath(src));
        ASSERT_TRUE(QDir().mkpath(dst));
        trashHome = std::make_unique<EnvGuard>("XDG_DATA_HOME", root.path() + "/data");
        QDir().mkpath(root.path() + "/data");
        platform::SetRecycleConfirmHandlerForTesting([this](const QString&) { return confirmTrash; });
        platform::SetMessageBoxHandlerForTesting(
            [](const QString&, platform::MsgIcon, int) { return int(platform::MsgOk); });
        host.config.Option.Buttons[0].Folder = dst;
        host.config.Option.Buttons[0].Caption = "dst";
    }
    void TearDown() override
    {
        platform::SetRecycleConfirmHandlerForTesting({});
        platform::SetMessageBoxHandlerForTesting({});
        platform::SetInjectedMoveErrnoForTesting(0);
    }

    // Files in the source folder, listed (sorted) like a loaded folder.
    void load(const QStringList& names)
    {
        host.images.SetSorted(true);
        for (const QString& name : names) {
            ASSERT_TRUE(writeFile(src + "/" + name, "data of " + name.toUtf8()));
            host.images.Add(src + "/" + name);
        }
        host.images.SetSorted(false);
        host.session.SetCurrentIndex(0);
    }
    QStringList trashed() const { return namesIn(root.path() + "/data/Trash/files"); }

    QTemporaryDir root;
    QString src, dst;
    std::unique_ptr<EnvGuard> trashHome;
    bool confirmTrash = true;
    SessionUnderTest host;
    ScriptedUi ui;
    TTransferEngine engine{host.session, ui};
};

} // namespace

TEST_F(TransferEngineTest, CopyWithoutCollisionShowsTheNextImageAndIsNotUndoable)
{
    load({"a.jpg", "b.jpg", "c.jpg"});
    host.session.SetUndoRecord("stale", "stale");
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(dst + "/a.jpg"), "data of a.jpg");
    EXPECT_EQ(readFile(src + "/a.jpg"), "data of a.jpg");
    EXPECT_EQ(host.images.Count(), 3);
    EXPECT_EQ(host.index(), 1);
    EXPECT_EQ(ui.done, QStringList{"複写 完了！"});
    EXPECT_TRUE(ui.errors.isEmpty());
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_FALSE(host.undoable());
    EXPECT_EQ(host.shows, 1);
    EXPECT_GE(host.undoRefreshes, 1);

    // Copying the last image wraps to the first.
    host.session.SetCurrentIndex(2);
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(dst + "/c.jpg"), "data of c.jpg");
    EXPECT_EQ(host.index(), 0);
}

TEST_F(TransferEngineTest, MoveThenUndoBringsTheFileAndTheEntryBack)
{
    load({"a.jpg", "b.jpg", "c.jpg"});
    host.config.Option.Copy = false;
    host.session.SetCurrentIndex(1);
    engine.ArBitBtnProcess(0);
    EXPECT_FALSE(QFileInfo::exists(src + "/b.jpg"));
    EXPECT_EQ(readFile(dst + "/b.jpg"), "data of b.jpg");
    EXPECT_EQ(host.images.ToStringList(), (QStringList{src + "/a.jpg", src + "/c.jpg"}));
    EXPECT_EQ(host.images.At(host.index()), src + "/c.jpg") << "the next image is shown";
    EXPECT_EQ(ui.done, QStringList{"移動 完了 ！"});
    EXPECT_EQ(host.navRefreshes, 1);
    EXPECT_EQ(host.source(), src + "/b.jpg");
    EXPECT_EQ(host.destination(), dst + "/b.jpg");

    engine.UndoLastMove();
    EXPECT_EQ(readFile(src + "/b.jpg"), "data of b.jpg");
    EXPECT_FALSE(QFileInfo::exists(dst + "/b.jpg"));
    EXPECT_EQ(host.images.ToStringList(), (QStringList{src + "/a.jpg", src + "/b.jpg", src + "/c.jpg"}));
    EXPECT_EQ(host.index(), 0);
    EXPECT_EQ(ui.done.last(), "復活 完了 ！");
    EXPECT_FALSE(host.undoable());

    // Nothing left to undo: a second undo does nothing.
    const int shows = host.shows;
    engine.UndoLastMove();
    EXPECT_EQ(host.shows, shows);
    EXPECT_EQ(ui.done.size(), 2);
}

TEST_F(TransferEngineTest, MovingTheOnlyImageEmptiesTheList)
{
    load({"only.png"});
    host.config.Option.Copy = false;
    engine.ArBitBtnProcess(0);
    EXPECT_TRUE(host.images.IsEmpty());
    EXPECT_TRUE(QFileInfo::exists(dst + "/only.png"));
    EXPECT_TRUE(host.undoable());
}

TEST_F(TransferEngineTest, StopConditionsDoNothingAndClearTheRecord)
{
    auto expectNothing = [&](const char* what) {
        host.session.SetUndoRecord("x", "y");
        const int shows = host.shows;
        engine.ArBitBtnProcess(0);
        EXPECT_EQ(namesIn(dst), QStringList{}) << what;
        EXPECT_EQ(host.shows, shows) << what;
        EXPECT_TRUE(ui.errors.isEmpty()) << what;
        EXPECT_TRUE(ui.done.isEmpty()) << what;
        EXPECT_FALSE(host.undoable()) << what;
    };
    expectNothing("empty list");
    load({"a.jpg"});
    host.config.Option.Buttons[0].Folder.clear();
    expectNothing("erased destination");
    host.config.Option.Buttons[0].Folder = dst;
    host.SetSlideshow(true);
    expectNothing("slideshow running");
    host.SetSlideshow(false);
    host.config.Option.Open = false;
    expectNothing("transfer area closed");
    host.config.Option.Open = true;
    engine.ArBitBtnProcess(10);
    engine.ArBitBtnProcess(-1);
    EXPECT_EQ(namesIn(dst), QStringList{});
}

TEST_F(TransferEngineTest, MissingDestinationFolderIsReported)
{
    load({"a.jpg"});
    for (const QString& folder : {QString("none"), root.path() + "/gone", src + "/a.jpg"}) {
        ui.errors.clear();
        host.config.Option.Buttons[0].Folder = folder;
        const int shows = host.shows;
        engine.ArBitBtnProcess(0);
        EXPECT_EQ(ui.errors,
                  QStringList{"複写・移動先のフォルダーがありません。\n\n\u3000\u3000複写・移動を中止しました。"})
            << folder.toStdString();
        EXPECT_EQ(host.shows, shows + 1);
    }
    EXPECT_EQ(ui.beeps, 3);
    EXPECT_EQ(readFile(src + "/a.jpg"), "data of a.jpg");
}

TEST_F(TransferEngineTest, UnsetDestinationIsNeverTheFolderNamedNone)
{
    // Started from a folder that holds a subfolder "none": an unset entry
    // must not send the picture there.
    load({"a.jpg", "b.jpg"});
    ASSERT_TRUE(QDir().mkpath(root.path() + "/none"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.path()));
    host.config.Option.Copy = false;
    host.config.Option.Buttons[2] = {"none", "none", ""};
    engine.ArBitBtnProcess(2);
    host.config.Option.Copy = true;
    engine.ArBitBtnProcess(2);
    // An entry beyond the ones read from the file is empty: nothing happens.
    host.config.Option.Buttons[7] = TransferButtonSetting{};
    engine.ArBitBtnProcess(7);
    QDir::setCurrent(before);
    EXPECT_EQ(namesIn(root.path() + "/none"), QStringList{});
    EXPECT_EQ(namesIn(src), (QStringList{"a.jpg", "b.jpg"}));
    EXPECT_EQ(ui.done, QStringList{});
    EXPECT_EQ(ui.errors.size(), 2);
    EXPECT_FALSE(host.undoable());
}

TEST_F(TransferEngineTest, NamesThatAreNotUtf8AreTransferredAndRenamedLikeAnyOther)
{
    // CP932 names as old archives leave them: "写真.jpg" and "ﾃｽﾄ.jpg".
    const QByteArray photo("\x8E\xCA\x90\x5E.jpg");
    const QByteArray kana("\xC3\xBD\xC4.jpg");
    const QByteArray folder = QFile::encodeName(src);
    for (const QByteArray& name : {photo, kana}) {
        const int fd = ::open((folder + "/" + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, name.constData(), size_t(name.size())), name.size());
        ::close(fd);
    }
    // Listed as the folder loader lists them.
    host.images.SetSorted(true);
    for (const platform::DirEntry& entry : platform::ListDirectory(src))
        host.images.Add(src + "/" + entry.name);
    host.images.SetSorted(false);
    ASSERT_EQ(host.images.Count(), 2);
    host.config.Option.Copy = false;
    host.session.SetCurrentIndex(host.images.IndexOf(src + "/" + platform::DecodeFileName(photo)));
    ASSERT_GE(host.index(), 0);

    engine.ArBitBtnProcess(0);
    EXPECT_EQ(ui.errors, QStringList{});
    EXPECT_EQ(ui.done, QStringList{"移動 完了 ！"});
    EXPECT_EQ(::access((QFile::encodeName(dst) + "/" + photo).constData(), F_OK), 0) << "moved with its own bytes";
    // The other picture stays listed and can be shown.
    ASSERT_EQ(host.images.Count(), 1);
    EXPECT_EQ(platform::EncodeFileName(host.images.At(0)), folder + "/" + kana);

    // Undo puts the name back byte for byte.
    engine.UndoLastMove();
    EXPECT_EQ(::access((folder + "/" + photo).constData(), F_OK), 0);
    ASSERT_EQ(host.images.Count(), 2);

    // Renamed to a readable name.
    host.session.SetCurrentIndex(host.images.IndexOf(src + "/" + platform::DecodeFileName(kana)));
    ui.nameAnswers = {QStringLiteral("テスト")};
    engine.RenameCurrent();
    EXPECT_EQ(readFile(src + "/テスト.jpg"), kana);
    EXPECT_TRUE(host.caption.endsWith(src + "/テスト.jpg")) << host.caption.toStdString();
    // Renamed to another such name: the caption shows it decoded as CP932.
    host.session.SetCurrentIndex(host.images.IndexOf(src + "/" + platform::DecodeFileName(photo)));
    ASSERT_GE(host.index(), 0);
    ui.nameAnswers = {platform::DecodeFileName("\x95\xDB\x91\xB6.jpg")}; // "保存.jpg"
    engine.RenameCurrent();
    EXPECT_EQ(::access((folder + "/\x95\xDB\x91\xB6.jpg").constData(), F_OK), 0);
    EXPECT_TRUE(host.caption.endsWith(src + "/保存.jpg")) << host.caption.toStdString();
    removeTree(root.path());
}

TEST_F(TransferEngineTest, NumberingTakesTheFirstFreeNameWithAWaitPerCandidate)
{
    load({"a.jpg", "archive.tar.gz", "noext"});
    host.config.Option.Numbering = true;
    ASSERT_TRUE(writeFile(dst + "/a.jpg", "old"));
    ASSERT_TRUE(writeFile(dst + "/a[001].jpg", "old 1"));
    ASSERT_TRUE(writeFile(dst + "/archive.tar.gz", "old"));
    ASSERT_TRUE(QDir().mkpath(dst + "/noext")); // a folder takes the name too
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(dst + "/a[002].jpg"), "data of a.jpg");
    EXPECT_EQ(readFile(dst + "/a.jpg"), "old");
    EXPECT_EQ(readFile(dst + "/a[001].jpg"), "old 1");
    EXPECT_EQ(ui.waits, (QList<int>{100, 100}));
    EXPECT_TRUE(ui.sameCalls.isEmpty());
    EXPECT_EQ(ui.beeps, 0);
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(dst + "/archive.tar[001].gz"), "data of archive.tar.gz");
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(dst + "/noext[001]"), "data of noext");
}

TEST_F(TransferEngineTest, NumberingPastTheLimitStops)
{
    load({"a.jpg"});
    host.config.Option.Numbering = true;
    host.config.Option.Copy = false;
    engine.NumberingLimit = 2;
    for (const char* name : {"a.jpg", "a[001].jpg", "a[002].jpg"})
        ASSERT_TRUE(writeFile(dst + "/" + name, "old"));
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(ui.errors, QStringList{"連番エラーです。"});
    EXPECT_EQ(ui.waits.size(), 3);
    EXPECT_EQ(readFile(src + "/a.jpg"), "data of a.jpg");
    EXPECT_EQ(namesIn(dst), (QStringList{"a.jpg", "a[001].jpg", "a[002].jpg"}));
    EXPECT_FALSE(host.undoable());
}

TEST_F(TransferEngineTest, ConflictCancelNeverOverwrites)
{
    load({"a.jpg"});
    ASSERT_TRUE(writeFile(dst + "/a.jpg", "existing"));
    for (bool copy : {true, false}) {
        host.config.Option.Copy = copy;
        ui.sameCalls.clear();
        ui.sameAnswers = {srCancel};
        engine.ArBitBtnProcess(0);
        ASSERT_EQ(ui.sameCalls.size(), 1);
        EXPECT_EQ(ui.sameCalls[0].first, src + "/a.jpg");
        EXPECT_EQ(ui.sameCalls[0].second, dst + "/a.jpg");
        EXPECT_EQ(readFile(dst + "/a.jpg"), "existing");
        EXPECT_EQ(readFile(src + "/a.jpg"), "data of a.jpg");
        EXPECT_FALSE(host.undoable());
    }
    EXPECT_EQ(ui.beeps, 2);
    EXPECT_TRUE(ui.done.isEmpty());
}

TEST_F(TransferEngineTest, ConflictRenameAsksUntilTheNameIsFree)
{
    load({"a.jpg"});
    host.config.Option.Copy = false;
    ASSERT_TRUE(writeFile(dst + "/a.jpg", "existing"));
    ASSERT_TRUE(writeFile(dst + "/taken.jpg", "taken"));
    ui.sameAnswers = {srRename};
    ui.nameAnswers = {"taken", "../escape", "b"};
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(ui.asked, (QStringList{dst + "/|a.jpg", dst + "/|a.jpg", dst + "/|a.jpg"}));
    EXPECT_EQ(ui.errors, (QStringList{"同名のファイルがありました！", "同名のファイルがありました！"}));
    EXPECT_EQ(readFile(dst + "/b.jpg"), "data of a.jpg");
    EXPECT_EQ(readFile(dst + "/a.jpg"), "existing");
    EXPECT_EQ(readFile(dst + "/taken.jpg"), "taken");
    EXPECT_FALSE(QFileInfo::exists(root.path() + "/escape.jpg"));
    EXPECT_EQ(host.destination(), dst + "/b.jpg");
    EXPECT_TRUE(host.undoable());
    engine.UndoLastMove();
    EXPECT_EQ(readFile(src + "/a.jpg"), "data of a.jpg");

    // Cancelling the name prompt stops with nothing done.
    ui.sameAnswers = {srRename};
    ui.nameAnswers = {QString()};
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(namesIn(dst), (QStringList{"a.jpg", "taken.jpg"}));
    EXPECT_TRUE(QFileInfo::exists(src + "/a.jpg"));
}

TEST_F(TransferEngineTest, ConflictDeleteExistingSendsItToTheTrashFirst)
{
    load({"a.jpg", "b.jpg"});
    ASSERT_TRUE(writeFile(dst + "/a.jpg", "existing"));
    confirmTrash = false;
    ui.sameAnswers = {srDeleteExisting};
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(dst + "/a.jpg"), "existing") << "refused confirmation stops";
    EXPECT_TRUE(ui.done.isEmpty());

    confirmTrash = true;
    ui.sameAnswers = {srDeleteExisting};
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(dst + "/a.jpg"), "data of a.jpg");
    EXPECT_EQ(trashed(), QStringList{"a.jpg"});
    EXPECT_EQ(readFile(root.path() + "/data/Trash/files/a.jpg"), "existing");
    EXPECT_EQ(ui.done, QStringList{"複写 完了！"});
}

TEST_F(TransferEngineTest, ConflictDeleteExistingRefusesToTrashTheShownFileItself)
{
    load({"a.jpg"});
    host.config.Option.Buttons[0].Folder = src; // its own folder
    ui.sameAnswers = {srDeleteExisting};
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(src + "/a.jpg"), "data of a.jpg");
    EXPECT_TRUE(trashed().isEmpty());
    EXPECT_EQ(ui.errors, QStringList{"画像複写に失敗しました。\n\n確認してください。"});
}

TEST_F(TransferEngineTest, ConflictDeleteSourceTrashesTheShownImageOnly)
{
    load({"a.jpg", "b.jpg"});
    ASSERT_TRUE(writeFile(dst + "/a.jpg", "existing"));
    ui.sameAnswers = {srDeleteSource};
    engine.ArBitBtnProcess(0);
    EXPECT_FALSE(QFileInfo::exists(src + "/a.jpg"));
    EXPECT_EQ(trashed(), QStringList{"a.jpg"});
    EXPECT_EQ(readFile(dst + "/a.jpg"), "existing");
    EXPECT_EQ(host.images.ToStringList(), QStringList{src + "/b.jpg"});
    EXPECT_TRUE(ui.done.isEmpty());
    EXPECT_FALSE(host.undoable());
}

TEST_F(TransferEngineTest, CrossDeviceMoveKeepsEverythingWhenTheCopyFails)
{
    load({"a.jpg", "b.jpg"});
    host.config.Option.Copy = false;
    platform::SetInjectedMoveErrnoForTesting(EXDEV);
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(dst + "/a.jpg"), "data of a.jpg");
    EXPECT_FALSE(QFileInfo::exists(src + "/a.jpg"));
    EXPECT_TRUE(host.undoable());

    // The same, with the copy stopped half-way by a file size limit.
    QByteArray big(256 * 1024, 'x');
    ASSERT_TRUE(writeFile(src + "/b.jpg", big));
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    engine.ArBitBtnProcess(0);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ui.errors, QStringList{"画像移動に失敗しました。\n\n確認してください。"});
    EXPECT_EQ(readFile(src + "/b.jpg"), big);
    EXPECT_EQ(namesIn(dst), QStringList{"a.jpg"}) << "no partial file";
    EXPECT_EQ(host.images.ToStringList(), QStringList{src + "/b.jpg"});
    EXPECT_FALSE(host.undoable());
}

TEST_F(TransferEngineTest, RealCrossDeviceMoveAndUndo)
{
    if (!QFileInfo(QStringLiteral("/dev/shm")).isDir())
        GTEST_SKIP() << "no /dev/shm";
    QTemporaryDir shm(QStringLiteral("/dev/shm/orvanto-organize-XXXXXX"));
    ASSERT_TRUE(shm.isValid());
    load({"a.jpg"});
    host.config.Option.Copy = false;
    host.config.Option.Buttons[0].Folder = shm.path();
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(readFile(shm.path() + "/a.jpg"), "data of a.jpg");
    EXPECT_FALSE(QFileInfo::exists(src + "/a.jpg"));
    engine.UndoLastMove();
    EXPECT_EQ(readFile(src + "/a.jpg"), "data of a.jpg");
    EXPECT_EQ(namesIn(shm.path()), QStringList{});
}

TEST_F(TransferEngineTest, FailedCopyLeavesNothingBehind)
{
    load({"a.jpg"});
    QByteArray big(256 * 1024, 'y');
    ASSERT_TRUE(writeFile(src + "/a.jpg", big));
    // A folder that cannot take the file: read-only for a normal user; root
    // passes permissions, so it gets a folder where nothing can be created.
    QString folder = dst;
    if (runningAsRoot())
        folder = QStringLiteral("/proc");
    else
        ASSERT_TRUE(QFile::setPermissions(dst, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    host.config.Option.Buttons[0].Folder = folder;
    engine.ArBitBtnProcess(0);
    QFile::setPermissions(dst, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(ui.errors, QStringList{"画像複写に失敗しました。\n\n確認してください。"});
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_TRUE(ui.done.isEmpty());
    EXPECT_EQ(host.index(), 0);
    EXPECT_FALSE(QFileInfo::exists(folder + "/a.jpg"));
    EXPECT_EQ(namesIn(dst), QStringList{});

    // A copy cut off half-way (file size limit) leaves no partial file either.
    ui.errors.clear();
    host.config.Option.Buttons[0].Folder = dst;
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    engine.ArBitBtnProcess(0);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ui.errors, QStringList{"画像複写に失敗しました。\n\n確認してください。"});
    EXPECT_EQ(namesIn(dst), QStringList{});
    EXPECT_EQ(readFile(src + "/a.jpg"), big);
}

TEST_F(TransferEngineTest, FailedUndoKeepsTheRecordForAnotherTry)
{
    load({"a.jpg", "b.jpg"});
    host.config.Option.Copy = false;
    engine.ArBitBtnProcess(0);
    ASSERT_TRUE(host.undoable());
    // Something now occupies the old place.
    ASSERT_TRUE(writeFile(src + "/a.jpg", "newcomer"));
    const int shows = host.shows;
    engine.UndoLastMove();
    EXPECT_EQ(ui.errors, QStringList{"元に戻せませんでした。"});
    EXPECT_EQ(ui.done, QStringList{"移動 完了 ！"}) << "no 復活 for a failed undo";
    EXPECT_EQ(readFile(src + "/a.jpg"), "newcomer");
    EXPECT_EQ(readFile(dst + "/a.jpg"), "data of a.jpg");
    EXPECT_TRUE(host.undoable());
    EXPECT_EQ(host.shows, shows);

    ASSERT_TRUE(QFile::remove(src + "/a.jpg"));
    engine.UndoLastMove();
    EXPECT_EQ(readFile(src + "/a.jpg"), "data of a.jpg");
    EXPECT_EQ(ui.done.last(), "復活 完了 ！");
    EXPECT_FALSE(host.undoable());
    EXPECT_EQ(host.images.Count(), 2);
}

TEST_F(TransferEngineTest, UnusualNamesCopyMoveAndNumber)
{
    const QStringList names = {
        "with space.jpg",
        "quote\"d 'x'.jpg",
        "日本語の写真.jpg",
        "-leading.jpg",
        "--.jpg",
        QString(200, QLatin1Char('L')) + ".jpg",
        QString(80, QChar(0x5199)) + ".jpg",
    };
    load(names);
    host.config.Option.Numbering = true;
    for (int round = 0; round < 2; ++round) {
        for (int k = 0; k < names.size(); ++k)
            engine.ArBitBtnProcess(0);
    }
    for (const QString& name : names) {
        const PathParts parts = SplitPath(dst + "/" + name);
        EXPECT_EQ(readFile(dst + "/" + name), "data of " + name.toUtf8()) << name.toStdString();
        EXPECT_EQ(readFile(parts.folder + parts.base + "[001]" + parts.extension), "data of " + name.toUtf8())
            << name.toStdString();
    }
    EXPECT_TRUE(ui.errors.isEmpty());

    host.config.Option.Copy = false;
    QDir(dst).removeRecursively();
    QDir().mkpath(dst);
    host.session.SetCurrentIndex(0);
    for (int k = 0; k < names.size(); ++k)
        engine.ArBitBtnProcess(0);
    EXPECT_TRUE(host.images.IsEmpty());
    QStringList expected = names;
    expected.sort();
    EXPECT_EQ(namesIn(dst), expected);
    EXPECT_TRUE(ui.errors.isEmpty());
}

TEST_F(TransferEngineTest, RunTimeChoiceAsksEachTimeAndRemembersTheFolder)
{
    load({"a.jpg", "b.jpg"});
    auto& entry = host.config.Option.Buttons[2];
    entry.Folder = "転送先 実行時選択";
    ui.browseAnswers = {QString()};
    engine.ArBitBtnProcess(2);
    EXPECT_EQ(ui.browseCalls, QStringList{"転送先フォルダ設定|"});
    EXPECT_EQ(host.shows, 1) << "cancel shows the images again";
    EXPECT_EQ(namesIn(dst), QStringList{});

    ui.browseAnswers = {dst};
    engine.ArBitBtnProcess(2);
    EXPECT_EQ(readFile(dst + "/a.jpg"), "data of a.jpg");
    EXPECT_EQ(entry.RunTimeFolder, dst + "/");
    EXPECT_EQ(entry.Folder, "転送先 実行時選択");

    ui.browseAnswers = {QString()};
    engine.ArBitBtnProcess(2);
    EXPECT_EQ(ui.browseCalls.last(), "転送先フォルダ設定|" + dst + "/");
    EXPECT_EQ(engine.LastInitialFolder, dst + "/");
}

TEST_F(TransferEngineTest, RenameFollowsTheExtensionRuleAndNeverReplaces)
{
    QStringList names;
    for (int k = 0; k < 10; ++k)
        names << QString("p%1.jpg").arg(k);
    load(names);
    ASSERT_TRUE(writeFile(src + "/taken.jpg", "taken"));
    host.session.SetCurrentIndex(2);
    ui.nameAnswers = {"taken", "sub/x", "holiday"};
    engine.RenameCurrent();
    EXPECT_EQ(ui.asked, (QStringList{src + "/|p2.jpg", src + "/|p2.jpg", src + "/|p2.jpg"}));
    EXPECT_EQ(ui.errors, (QStringList{"同名のファイルがありました。", "同名のファイルがありました。"}));
    EXPECT_EQ(readFile(src + "/taken.jpg"), "taken");
    EXPECT_EQ(readFile(src + "/holiday.jpg"), "data of p2.jpg");
    EXPECT_EQ(host.images.At(2), src + "/holiday.jpg");
    EXPECT_EQ(host.images.Count(), 10);
    EXPECT_EQ(host.caption, "Mirett -- [3/10] " + src + "/holiday.jpg");
    EXPECT_EQ(host.shows, 0);

    ui.nameAnswers = {"holiday.png"};
    engine.RenameCurrent();
    EXPECT_TRUE(QFileInfo::exists(src + "/holiday.png"));
    ui.nameAnswers = {"holiday."};
    engine.RenameCurrent();
    EXPECT_TRUE(QFileInfo::exists(src + "/holiday."));
    ui.nameAnswers = {""};
    engine.RenameCurrent();
    EXPECT_TRUE(QFileInfo::exists(src + "/holiday.")) << "an emptied box gives the bare old extension";

    // Cancel leaves everything as it was.
    const QString caption = host.caption;
    ui.nameAnswers = {QString()};
    engine.RenameCurrent();
    EXPECT_EQ(host.caption, caption);
    EXPECT_EQ(host.images.At(2), src + "/holiday.");

    // No prompt at all during a slideshow.
    host.SetSlideshow(true);
    const int asked = ui.asked.size();
    engine.RenameCurrent();
    EXPECT_EQ(ui.asked.size(), asked);
}

TEST(TransferEngineHelpers, PathPartsAndTheExtensionRule)
{
    const PathParts p = SplitPath("/x/y/archive.tar.gz");
    EXPECT_EQ(p.folder, "/x/y/");
    EXPECT_EQ(p.base, "archive.tar");
    EXPECT_EQ(p.extension, ".gz");
    EXPECT_EQ(SplitPath("/x/noext").extension, "");
    EXPECT_EQ(SplitPath("/x/noext").base, "noext");
    EXPECT_EQ(WithOldExtension("holiday", "photo.jpg"), "holiday.jpg");
    EXPECT_EQ(WithOldExtension("holiday.png", "photo.jpg"), "holiday.png");
    EXPECT_EQ(WithOldExtension("holiday.", "photo.jpg"), "holiday.");
    EXPECT_EQ(WithOldExtension("", "photo.jpg"), ".jpg");
    EXPECT_EQ(WithOldExtension("x", "noext"), "x");
    EXPECT_FALSE(IsPlainFileName(".."));
    EXPECT_FALSE(IsPlainFileName("a/b"));
    EXPECT_TRUE(IsPlainFileName("-rf .jpg"));
}

TEST_F(TransferEngineTest, RenamingToTheSameNameChangesNothingAndAsksOnce)
{
    load({"p0.jpg", "p1.jpg"});
    host.session.SetCurrentIndex(1);
    ui.nameAnswers = {"p1.jpg", "never asked"};
    engine.RenameCurrent();
    EXPECT_EQ(ui.asked.size(), 1);
    EXPECT_TRUE(ui.errors.isEmpty());
    EXPECT_EQ(readFile(src + "/p1.jpg"), "data of p1.jpg");
    EXPECT_EQ(host.images.At(1), src + "/p1.jpg");
    EXPECT_EQ(host.images.Count(), 2);
}

TEST_F(TransferEngineTest, NumberedNamesShortenTheStemToFitTheNameLength)
{
    const int limit = platform::MaxFileNameBytes(dst);
    // A Latin name and a Japanese one (three bytes a character), each a few
    // bytes short of the limit, so that "[001]" would not fit.
    const QString latin = QString(limit - 6, QLatin1Char('x')) + ".jpg";
    const QString japanese = QString((limit - 6) / 3, QChar(0x3042)) + ".png";
    load({latin, japanese});
    host.config.Option.Numbering = true;
    ASSERT_TRUE(writeFile(dst + "/" + latin, "old"));
    ASSERT_TRUE(writeFile(dst + "/" + japanese, "old"));
    engine.ArBitBtnProcess(0);
    engine.ArBitBtnProcess(0);
    EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join(", ").toStdString();
    const QString shortLatin = QString(limit - 9, QLatin1Char('x')) + "[001].jpg";
    EXPECT_EQ(QFile::encodeName(shortLatin).size(), limit);
    EXPECT_EQ(readFile(dst + "/" + shortLatin), "data of " + latin.toUtf8());
    // Whole characters are dropped: 255 - 9 bytes leave 82 kana of 3 bytes.
    const QString shortJapanese = QString((limit - 9) / 3, QChar(0x3042)) + "[001].png";
    EXPECT_EQ(readFile(dst + "/" + shortJapanese), "data of " + japanese.toUtf8());
    // The next number is found among the shortened names too.
    engine.ArBitBtnProcess(0);
    EXPECT_EQ(namesIn(dst).size(), 5);
    EXPECT_TRUE(QFileInfo::exists(dst + "/" + QString(limit - 9, QLatin1Char('x')) + "[002].jpg"));
}

TEST(TransferEngineHelpers, NameWithinLimitKeepsWholeCharacters)
{
    EXPECT_EQ(NameWithinLimit("abcdef", "[001].jpg", 12), "abc[001].jpg");
    EXPECT_EQ(NameWithinLimit("abc", "[001].jpg", 255), "abc[001].jpg");
    // "あ" is three bytes; an emoji is a surrogate pair of four bytes.
    EXPECT_EQ(NameWithinLimit(QString::fromUtf8("ああ"), "[1]", 8), QString::fromUtf8("あ[1]"));
    EXPECT_EQ(NameWithinLimit(QString::fromUtf8("a\U0001F600"), "[1]", 6), "a[1]");
}
