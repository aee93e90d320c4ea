// The folder dialog on the offscreen platform: the start folder, sizes,
// remembered placement, the selection event and files listed on request.
#include "dialogs/BrowseFolder.h"
#include "platform/SpecialFolders.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
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

QTreeView* treeOf(QDialog& d) { return d.findChild<QTreeView*>(QStringLiteral("FolderTree")); }

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
