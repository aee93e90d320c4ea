// The viewer session without windows, on real files: which path goes into
// which page slot, the opening routes, pruning of vanished files, play
// orders, the slideshow's end-of-list rules and the full-screen flag.
#include "viewer/ViewerSession.h"
#include "viewer/ViewerFiles.h"
#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Counts a signal's emissions and keeps the last argument (if any).
class Spy {
public:
    template <typename Signal> Spy(ViewerSession* session, Signal signal)
    {
        QObject::connect(session, signal, session, [this](auto... args) {
            ++m_count;
            ((m_last = QVariant::fromValue(args)), ...);
        });
    }
    int count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    QVariant last() const { return m_last; }

private:
    int m_count = 0;
    QVariant m_last;
};

const QString kFilter = QStringLiteral("pictures (*.jpg;*.png)|*.jpg;*.png");

class ViewerSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        pics = root.filePath(QStringLiteral("pics"));
        ASSERT_TRUE(QDir().mkpath(pics));
        session.SetIniPath(root.filePath(QStringLiteral("orvanto.ini")));
        session.LoadSettings(QRect(0, 0, 500, 400));
        session.OpenHistoryStore();
        session.SetGraphicFilter(kFilter);
        session.Config().Option.Interval = 0;
        session.Config().Option.IntervalM = 0; // no timer: ticks are called by hand
        QObject::connect(&session, &ViewerSession::pageChanged, [this](int index) { shown << index; });
    }

    QString file(const QString& name)
    {
        const QString path = pics + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        return path;
    }
    // A list of n pictures p0.jpg ... opened as files.
    QStringList openPictures(int n)
    {
        QStringList paths;
        for (int i = 0; i < n; ++i)
            paths << file(QStringLiteral("p%1.jpg").arg(i));
        session.OpenFiles(paths);
        return paths;
    }

    QTemporaryDir root;
    QString pics;
    ViewerSession session;
    QList<int> shown;
};

QStringList slotPaths(const ViewerPage& page)
{
    return {page.pageSlots[0].path, page.pageSlots[1].path};
}

} // namespace

TEST_F(ViewerSessionTest, PageSlotsForEveryDisplayFormAndOrientation)
{
    const QStringList p = openPictures(5);
    ViewerPage page = session.CurrentPage();
    EXPECT_EQ(page.slotCount, 1);
    EXPECT_EQ(page.pageSlots[0].path, p[0]);
    EXPECT_EQ(page.pageSlots[0].position, 0);
    EXPECT_EQ(page.Paths(), QStringList{p[0]});

    // Odd spreads: (0,1), (2,3), (4); left to right.
    session.SetDisplayForm(1);
    session.SetCurrentIndex(2);
    page = session.CurrentPage();
    EXPECT_EQ(page.slotCount, 2);
    EXPECT_EQ(slotPaths(page), (QStringList{p[2], p[3]}));
    EXPECT_EQ(page.pageSlots[0].position, 0);
    EXPECT_EQ(page.pageSlots[1].position, 1);
    session.SetCurrentIndex(4);
    page = session.CurrentPage();
    EXPECT_EQ(slotPaths(page), (QStringList{p[4], QString()})) << "the last page stands alone";
    // Right to left: the current item on the right.
    session.SetOrient(1);
    page = session.CurrentPage();
    EXPECT_EQ(page.pageSlots[0].position, 1);
    EXPECT_EQ(page.pageSlots[1].position, 0);

    // Even spreads: 0 alone on the second place, then (1,2), (3,4).
    session.SetOrient(0);
    session.SetDisplayForm(2);
    session.SetCurrentIndex(0);
    page = session.CurrentPage();
    EXPECT_EQ(slotPaths(page), (QStringList{QString(), p[0]}));
    EXPECT_EQ(page.pageSlots[1].index, 0);
    EXPECT_EQ(page.pageSlots[1].position, 1);
    EXPECT_EQ(page.Paths(), QStringList{p[0]});
    session.SetCurrentIndex(3);
    session.ShowPage();
    EXPECT_EQ(slotPaths(session.CurrentPage()), (QStringList{p[3], p[4]}));
    EXPECT_EQ(session.PageCaption(), QStringLiteral("ミレット -- [4/5] ") + p[3]);
    // A step past the end wraps round to the lone first page.
    session.StepImage(true);
    session.ShowPage();
    EXPECT_EQ(session.State().CurrentIndex, 0);
    EXPECT_EQ(slotPaths(session.CurrentPage()), (QStringList{QString(), p[0]}));
}

TEST_F(ViewerSessionTest, NeighbourPathsFollowTheSteppingDirectionAndWrap)
{
    const QStringList p = openPictures(6);
    session.SetCurrentIndex(1);
    session.ShowPage();
    EXPECT_EQ(session.NeighbourPaths(2, 1), (QStringList{p[2], p[3], p[0]}));
    session.StepImage(false); // index 0, backward
    session.ShowPage();
    EXPECT_FALSE(session.SteppingForward());
    EXPECT_EQ(session.NeighbourPaths(2, 1), (QStringList{p[5], p[4], p[1]})) << "ahead wraps round backward";

    // On spreads a step is a page of two; the shown pair is left out.
    session.SetDisplayForm(1);
    session.SetCurrentIndex(2);
    session.StepImage(true);
    session.StepImage(false); // at 2, stepping backward
    session.ShowPage();
    EXPECT_EQ(session.NeighbourPaths(1, 1), (QStringList{p[0], p[1], p[4], p[5]}));
    // Fewer pages than asked for: nothing shown twice, not the current page.
    session.SetDisplayForm(0);
    session.OpenFiles({p[0], p[1]});
    EXPECT_EQ(session.NeighbourPaths(2, 1), QStringList{p[1]});
}

TEST_F(ViewerSessionTest, OpeningRoutesBuildSortedListsAndPushHistory)
{
    const QString b = file(QStringLiteral("B.jpg"));
    const QString a = file(QStringLiteral("a.png"));
    file(QStringLiteral("notes.txt"));
    file(QStringLiteral("song.mp3"));
    QDir().mkpath(pics + QStringLiteral("/sub.jpg")); // a folder, not a picture
    Spy loaded(&session, &ViewerSession::listLoaded);
    Spy viewing(&session, &ViewerSession::viewingChanged);

    session.DropPaths({pics});
    EXPECT_EQ(session.Images().ToStringList(), (QStringList{a, b}));
    EXPECT_TRUE(session.State().Viewing);
    EXPECT_EQ(session.State().CurrentIndex, 0);
    EXPECT_EQ(loaded.count(), 1);
    ASSERT_FALSE(viewing.isEmpty());
    EXPECT_TRUE(viewing.last().toBool());
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_EQ(HistoryStore::ReadList(root.filePath(QStringLiteral("ov1.lst"))), (QStringList{a, b}));

    // Files: excluded media are left out.
    session.OpenFiles({b, pics + QStringLiteral("/song.mp3")});
    EXPECT_EQ(session.Images().ToStringList(), QStringList{b});
    // A folder from the folder dialog is remembered; cancelling keeps the list.
    session.OpenFolder(pics);
    EXPECT_EQ(session.Config().Window.LastDir, pics);
    EXPECT_EQ(session.Images().Count(), 2);
    session.OpenFolder(QString());
    EXPECT_EQ(session.Images().Count(), 2);

    // History: list 1 is the first one opened; a list whose first file is
    // gone opens empty with an error.
    Spy errors(&session, &ViewerSession::errorMessage);
    Spy reset(&session, &ViewerSession::viewReset);
    QFile::remove(a);
    session.OpenHistory(1);
    EXPECT_EQ(errors.count(), 1);
    EXPECT_TRUE(session.Images().IsEmpty());
    EXPECT_FALSE(session.State().Viewing);
    EXPECT_GE(reset.count(), 1);
}

TEST_F(ViewerSessionTest, VanishedFilesArePrunedWhenAPageIsShown)
{
    const QStringList p = openPictures(4);
    session.SetCurrentIndex(3);
    QFile::remove(p[3]);
    QFile::remove(p[2]);
    shown.clear();
    session.ShowPage();
    EXPECT_EQ(session.Images().ToStringList(), (QStringList{p[0], p[1]}));
    EXPECT_EQ(session.State().CurrentIndex, 1) << "the index steps back past the removed end";
    EXPECT_EQ(shown, QList<int>{1});

    // Every file gone: the viewing ends without the "no pictures" notice
    // (that one is for a list that was already empty).
    Spy noImages(&session, &ViewerSession::noImagesLeft);
    Spy reset(&session, &ViewerSession::viewReset);
    QFile::remove(p[0]);
    QFile::remove(p[1]);
    session.ShowPage();
    EXPECT_TRUE(session.Images().IsEmpty());
    EXPECT_FALSE(session.State().Viewing);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(noImages.count(), 0);
    // Deleting the last one by hand while viewing: the notice comes.
    const QStringList q = openPictures(1);
    session.Images().Delete(0);
    session.ShowPage();
    EXPECT_EQ(noImages.count(), 1);
}

TEST_F(ViewerSessionTest, PlayOrdersAreAnnouncedAndRepeatable)
{
    const QStringList p = openPictures(5);
    Spy orders(&session, &ViewerSession::playOrderChanged);
    session.SelectPlayOrder(3);
    EXPECT_EQ(session.Images().At(0), p[4]);
    EXPECT_EQ(session.State().PlayOrder, 3);
    session.SelectPlayOrder(1);
    const QStringList shuffled = session.Images().ToStringList();
    EXPECT_EQ(QSet<QString>(shuffled.begin(), shuffled.end()), QSet<QString>(p.begin(), p.end()));
    session.SelectPlayOrder(2);
    EXPECT_EQ(session.Images().ToStringList(), p);
    EXPECT_EQ(orders.count(), 3);
    EXPECT_EQ(orders.last().toInt(), 2);

    // A second session with the same start gives the same shuffle.
    ViewerSession other;
    other.SetGraphicFilter(kFilter);
    other.Images().Assign(p);
    other.SelectPlayOrder(3);
    other.SelectPlayOrder(1);
    EXPECT_EQ(other.Images().ToStringList(), shuffled);
}

TEST_F(ViewerSessionTest, SlideshowEndOfListRules)
{
    openPictures(3);
    session.SetSwitchLaunch(true);
    Spy closes(&session, &ViewerSession::closeRequested);
    Spy slides(&session, &ViewerSession::slideshowChanged);

    // /Repeat=On: round again.
    session.ApplyCommandLine({QStringLiteral("/Repeat=On")});
    session.ToggleSlideshow();
    EXPECT_TRUE(session.SlideshowRunning());
    session.SetCurrentIndex(2);
    session.SlideshowTick();
    EXPECT_EQ(session.State().CurrentIndex, 0);
    EXPECT_TRUE(session.SlideshowOn());

    // /Repeat=Off: the slideshow stops on the last picture.
    session.ApplyCommandLine({QStringLiteral("/Repeat=Off")});
    session.SetCurrentIndex(2);
    session.SlideshowTick();
    EXPECT_FALSE(session.SlideshowOn());
    EXPECT_EQ(session.State().CurrentIndex, 2);
    EXPECT_EQ(closes.count(), 0);

    // /Repeat=Exit: the program is asked to end.
    session.ApplyCommandLine({QStringLiteral("/Repeat=Exit")});
    session.ToggleSlideshow();
    session.SetCurrentIndex(2);
    session.SlideshowTick();
    EXPECT_EQ(closes.count(), 1);
    EXPECT_TRUE(session.State().Closing);
    EXPECT_EQ(slides.count(), 3);

    // Without a switch launch the end of the list just wraps.
    ViewerSession plain;
    plain.SetGraphicFilter(kFilter);
    plain.Images().Assign(session.Images().ToStringList());
    plain.SetIniPath(root.filePath(QStringLiteral("plain.ini")));
    plain.OpenHistoryStore();
    plain.ListLoaded();
    plain.SetCurrentIndex(2);
    plain.SlideshowTick();
    EXPECT_EQ(plain.State().CurrentIndex, 0);
}

TEST_F(ViewerSessionTest, FullScreenIsOneFlagAndTheCommandLineCanSetIt)
{
    Spy full(&session, &ViewerSession::fullScreenChanged);
    session.SetFullScreen(true);
    EXPECT_TRUE(session.State().FullScreen);
    session.SetFullScreen(false);
    EXPECT_FALSE(session.State().FullScreen);
    ASSERT_EQ(full.count(), 2);
    EXPECT_FALSE(full.last().toBool());

    const QString picture = file(QStringLiteral("one.jpg"));
    session.ResetForStart();
    session.ApplyCommandLine({QStringLiteral("/Full=On"), picture, QStringLiteral("/Auto=On")});
    EXPECT_TRUE(session.State().StartFullScreen);
    EXPECT_TRUE(session.State().FullScreen);
    EXPECT_TRUE(session.State().SwitchLaunch);
    EXPECT_TRUE(session.SlideshowOn());
    EXPECT_EQ(session.Images().Count(), 1);
    session.FinishStart();
    EXPECT_EQ(session.State().PlayOrder, 2);
    EXPECT_FALSE(session.HasUndoRecord());
}

TEST_F(ViewerSessionTest, DeletingTheShownPictureTrashesItAndKeepsTheListInStep)
{
    qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("data")).toLocal8Bit());
    QDir().mkpath(root.filePath(QStringLiteral("data")));
    platform::SetRecycleConfirmHandlerForTesting([](const QString&) { return true; });
    const QStringList p = openPictures(2);
    Spy listChanged(&session, &ViewerSession::listChanged);
    session.ToggleSlideshow();
    session.DeleteCurrentImage();
    EXPECT_EQ(session.Images().Count(), 2) << "nothing is deleted while the slideshow runs";
    session.ToggleSlideshow();
    session.SetCurrentIndex(1);
    session.DeleteCurrentImage();
    EXPECT_FALSE(QFile::exists(p[1]));
    EXPECT_EQ(session.Images().ToStringList(), QStringList{p[0]});
    EXPECT_EQ(listChanged.count(), 1);
    platform::SetRecycleConfirmHandlerForTesting({});
    qunsetenv("XDG_DATA_HOME");
}
