// The folder dialog on the offscreen platform: the start folder, sizes,
// remembered placement, the selection event and files listed on request.
#include "dialogs/BrowseFolder.h"
#include "platform/SpecialFolders.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs `act` on the open dialog once it is up, then lets it finish.
void whenOpen(std::function<void(QDialog&)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        act(*dialog);
    });
    timer->start();
}

QTreeView* treeOf(QDialog& d)
{
    return d.findChild<QTreeView*>(QStringLiteral("FolderTree"));
}

void selectPath(QDialog& d, const QString& path)
{
    QTreeView* tree = treeOf(d);
    auto* model = static_cast<QFileSystemModel*>(tree->model());
    tree->setCurrentIndex(model->index(path));
}

} // namespace

TEST(BrowseFolder, SizeSettersKeepTheMinimum)
{
    QWidget owner;
    TplBrowseFolder browse(&owner);
    EXPECT_EQ(browse.FormWidth(), 371);
    EXPECT_EQ(browse.FormHeight(), 311);
    browse.SetFormHeight(330);
    EXPECT_EQ(browse.FormHeight(), 330);
    browse.SetFormHeight(200);
    EXPECT_EQ(browse.FormHeight(), 311);
    browse.SetFormWidth(100);
    EXPECT_EQ(browse.FormWidth(), 371);
    EXPECT_EQ(browse.Options, unsigned(bifReturnOnlyFSDirs));
    EXPECT_EQ(browse.RootSpecialDir, sfDesktop);
    EXPECT_EQ(browse.InitSpecialDir, sfNone);
}

TEST(BrowseFolder, SpecialFoldersAndStartFolderFallback)
{
    EXPECT_EQ(SpecialDirCsidl(sfProgrmas), 0x02);
    EXPECT_EQ(SpecialDirCsidl(sfDrives), 0x11);
    EXPECT_EQ(SpecialDirCsidl(sfPrintHood), 0x1B);
    QTemporaryDir dir;
    EXPECT_EQ(TplBrowseFolder::StartFolderOf(dir.path(), sfNone), dir.path());
    // A file, or a missing folder, falls back to the desktop.
    const QString file = dir.filePath(QStringLiteral("f.txt"));
    QFile(file).open(QIODevice::WriteOnly);
    const QString desktop = platform::SpecialFolderPath(platform::CSIDL_DESKTOP);
    EXPECT_EQ(TplBrowseFolder::StartFolderOf(file, sfNone), desktop);
    EXPECT_EQ(TplBrowseFolder::StartFolderOf(dir.filePath(QStringLiteral("missing")), sfNone), desktop);
    EXPECT_EQ(TplBrowseFolder::RootFolderOf(QString(), sfDesktop), QStringLiteral("/"));
    EXPECT_EQ(TplBrowseFolder::RootFolderOf(dir.path(), sfNone), dir.path());
}

TEST(BrowseFolder, ChoosesAFolderAndRemembersWhereTheWindowWas)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("pics"));
    const QString pics = dir.filePath(QStringLiteral("pics"));
    QWidget owner;
    TplBrowseFolder browse(&owner);
    browse.InitDir = dir.path();
    browse.Caption = QStringLiteral("フォルダ選択");
    bool shown = false;
    browse.OnShow = [&](TplBrowseFolder&) { shown = true; };
    QString seen;
    browse.OnSelectionChanged = [&](TplBrowseFolder&, QDialog*, const QString& d, QString& status, bool& ok) {
        seen = d;
        status = QStringLiteral("選択: ") + d;
        ok = d.endsWith(QStringLiteral("pics"));
    };
    QString caption, status;
    bool okEnabled = false;
    QSize openedSize;
    whenOpen([&](QDialog& d) {
        caption = d.windowTitle();
        openedSize = d.size();
        selectPath(d, pics);
        status = d.findChild<QLabel*>(QStringLiteral("StatusText"))->text();
        okEnabled = d.findChild<QPushButton*>(QStringLiteral("OKButton"))->isEnabled();
        d.move(40, 50);
        d.resize(500, 420);
        d.accept();
    });
    ASSERT_TRUE(browse.Execute());
    EXPECT_TRUE(shown);
    EXPECT_EQ(caption, QStringLiteral("フォルダ選択"));
    EXPECT_EQ(openedSize, QSize(371, 311));
    EXPECT_EQ(seen, pics);
    EXPECT_EQ(status, QStringLiteral("選択: ") + pics);
    EXPECT_TRUE(okEnabled);
    EXPECT_EQ(browse.Directory(), pics);
    EXPECT_EQ(browse.DisplayName(), QStringLiteral("pics"));
    EXPECT_EQ(browse.FormLeft(), 40);
    EXPECT_EQ(browse.FormTop(), 50);
    EXPECT_EQ(browse.FormWidth(), 500);
    EXPECT_EQ(browse.FormHeight(), 420);

    // The next dialog of the same instance opens where the last one was left.
    QPoint reopenedAt;
    QSize reopenedSize;
    whenOpen([&](QDialog& d) {
        reopenedAt = d.pos();
        reopenedSize = d.size();
        d.reject();
    });
    EXPECT_FALSE(browse.Execute());
    EXPECT_EQ(reopenedAt, QPoint(40, 50));
    EXPECT_EQ(reopenedSize, QSize(500, 420));
    EXPECT_TRUE(browse.Directory().isEmpty());
}

TEST(BrowseFolder, FilesAreListedOnlyWhenAsked)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("viewer.sh"));
    QFile(file).open(QIODevice::WriteOnly);
    QWidget owner;
    for (bool includeFiles : {false, true}) {
        TplBrowseFolder browse(&owner);
        browse.InitDir = dir.path();
        if (includeFiles)
            browse.Options |= bifBrowseIncludeFiles;
        bool listed = false;
        whenOpen([&](QDialog& d) {
            auto* model = static_cast<QFileSystemModel*>(treeOf(d)->model());
            listed = (model->filter() & QDir::Files) != 0;
            if (listed)
                selectPath(d, file);
            d.accept();
        });
        const bool chosen = browse.Execute();
        EXPECT_EQ(listed, includeFiles);
        if (includeFiles) {
            EXPECT_TRUE(chosen);
            EXPECT_EQ(browse.Directory(), file);
        }
    }
}

TEST(BrowseFolder, NewDialogStyleKeepsTheOwnSizeAndCentres)
{
    QWidget owner;
    TplBrowseFolder browse(&owner);
    browse.Options |= bifNewDialogStyle;
    browse.SetFormLeft(5);
    browse.SetFormTop(5);
    browse.SetFormWidth(900);
    QSize size;
    whenOpen([&](QDialog& d) {
        size = d.size();
        d.reject();
    });
    browse.Execute();
    EXPECT_EQ(size, QSize(371, 311));
}

namespace {

// Lets the dialog's model list folders in the background until `done`
// holds or `limit` milliseconds pass.
void waitFor(const std::function<bool()>& done, int limit = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limit)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

TEST(BrowseFolder, StartFolderIsExpandedSelectedAndInView)
{
    // Many folders around the start folder, listed by the model only after
    // the dialog is up, push the start folder down while the tree fills.
    QTemporaryDir dir;
    for (int i = 0; i < 300; ++i)
        QDir(dir.path()).mkpath(QStringLiteral("d%1/inner").arg(i, 3, 10, QLatin1Char('0')));
    const QString start = dir.filePath(QStringLiteral("d250"));
    QWidget owner;
    TplBrowseFolder browse(&owner);
    browse.InitDir = start;
    QString selected;
    bool expanded = false, inView = false;
    whenOpen([&](QDialog& d) {
        QTreeView* tree = treeOf(d);
        auto* model = static_cast<QFileSystemModel*>(tree->model());
        waitFor([&] { return model->rowCount(model->index(dir.path())) == 300; });
        waitFor([] { return false; }, 500); // the later listings and the sorting arrive
        const QModelIndex current = tree->currentIndex();
        selected = model->filePath(current);
        expanded = tree->isExpanded(current);
        inView = tree->viewport()->rect().contains(tree->visualRect(current));
        d.accept();
    });
    ASSERT_TRUE(browse.Execute());
    EXPECT_EQ(selected, start);
    EXPECT_TRUE(expanded);
    EXPECT_TRUE(inView);
    EXPECT_EQ(browse.Directory(), start);
}

TEST(BrowseFolder, TheRootFolderItselfIsAnItemOfTheTree)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("links"));
    QDir(dir.path()).mkpath(QStringLiteral("links/inside"));
    QDir(dir.path()).mkpath(QStringLiteral("sibling"));
    QWidget owner;
    TplBrowseFolder browse(&owner);
    browse.RootSpecialDir = sfNone;
    browse.RootDir = root;
    bool rootShown = false, siblingShown = true, insideReachable = false;
    whenOpen([&](QDialog& d) {
        QTreeView* tree = treeOf(d);
        auto* model = static_cast<QFileSystemModel*>(tree->model());
        waitFor(
            [&] { return model->rowCount(model->index(dir.path())) == 2 && model->rowCount(model->index(root)) == 1; });
        const QModelIndex rootItem = model->index(root);
        rootShown = tree->visualRect(rootItem).isValid();
        siblingShown = tree->visualRect(model->index(dir.filePath(QStringLiteral("sibling")))).isValid();
        insideReachable = tree->visualRect(model->index(root + QStringLiteral("/inside"))).isValid();
        // Clicked like a user would: on the row of the root folder.
        const QRect row = tree->visualRect(rootItem);
        const QPoint at = row.center();
        QMouseEvent press(QEvent::MouseButtonPress, at, tree->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, at, tree->viewport()->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, {});
        QApplication::sendEvent(tree->viewport(), &press);
        QApplication::sendEvent(tree->viewport(), &release);
        d.accept();
    });
    ASSERT_TRUE(browse.Execute());
    EXPECT_TRUE(rootShown);
    EXPECT_FALSE(siblingShown);
    EXPECT_TRUE(insideReachable);
    EXPECT_EQ(browse.Directory(), root);
}
