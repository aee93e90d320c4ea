#include "viewer/HistoryStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList listOf(const QString& folder)
{
    return {folder + QStringLiteral("/1.jpg"), folder + QStringLiteral("/2.jpg")};
}

QStringList captions(const std::array<HistoryStore::Entry, 6>& entries)
{
    QStringList out;
    for (const auto& e : entries)
        if (e.visible)
            out << e.caption;
    return out;
}

} // namespace

TEST(HistoryStore, KeepsTheFiveNewestLists)
{
    QTemporaryDir dir;
    HistoryStore store(dir.path());
    for (int i = 1; i <= 6; ++i)
        store.Push(listOf(QStringLiteral("/f%1").arg(i)));
    EXPECT_EQ(store.Count(), 5);
    EXPECT_EQ(captions(store.Refresh()), (QStringList{"/f2/", "/f3/", "/f4/", "/f5/", "/f6/"}));
    EXPECT_FALSE(QFile::exists(store.HistoryFileName(6)));
}

TEST(HistoryStore, OpeningAnEntryTakesItOutUntilItIsPushedAgain)
{
    QTemporaryDir dir;
    HistoryStore store(dir.path());
    for (int i = 1; i <= 4; ++i)
        store.Push(listOf(QStringLiteral("/f%1").arg(i)));
    QStringList list;
    ASSERT_TRUE(store.Open(2, list));
    EXPECT_EQ(list, listOf(QStringLiteral("/f2")));
    EXPECT_EQ(store.Count(), 3);
    store.Push(list); // what the viewer does after showing it
    EXPECT_EQ(captions(store.Refresh()), (QStringList{"/f1/", "/f3/", "/f4/", "/f2/"}));

    // Opening the newest leaves the order as it was.
    ASSERT_TRUE(store.Open(4, list));
    store.Push(list);
    EXPECT_EQ(captions(store.Refresh()), (QStringList{"/f1/", "/f3/", "/f4/", "/f2/"}));
    EXPECT_FALSE(store.Open(6, list));
}

TEST(HistoryStore, RefreshClosesGapsOfFilesDeletedByHand)
{
    QTemporaryDir dir;
    HistoryStore store(dir.path());
    for (int i = 1; i <= 3; ++i)
        store.Push(listOf(QStringLiteral("/f%1").arg(i)));
    QFile::remove(store.HistoryFileName(2));
    EXPECT_EQ(captions(store.Refresh()), (QStringList{"/f1/", "/f3/"}));
    EXPECT_EQ(store.Count(), 2);
    EXPECT_TRUE(QFile::exists(store.HistoryFileName(2)));
    EXPECT_FALSE(QFile::exists(store.HistoryFileName(3)));
}

TEST(HistoryStore, ClearDeletesEveryFile)
{
    QTemporaryDir dir;
    HistoryStore store(dir.path());
    store.Push(listOf(QStringLiteral("/a")));
    store.Push(listOf(QStringLiteral("/b")));
    store.Clear();
    EXPECT_EQ(store.Count(), 0);
    EXPECT_TRUE(captions(store.Refresh()).isEmpty());
    EXPECT_FALSE(QFile::exists(store.HistoryFileName(1)));
}

TEST(HistoryStore, FileFormatAndReading)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ov1.lst"));
    const QStringList paths{QStringLiteral("/写真/a b.jpg"), QStringLiteral("/x/y.png")};
    ASSERT_TRUE(HistoryStore::WriteList(file, paths));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("/\xE5\x86\x99\xE7\x9C\x9F/a b.jpg\r\n/x/y.png\r\n"));
    f.close();
    EXPECT_EQ(HistoryStore::ReadList(file), paths);

    // Byte-order marks and every line end are honoured; an empty file is an empty list.
    QFile u16(dir.filePath(QStringLiteral("u16.lst")));
    ASSERT_TRUE(u16.open(QIODevice::WriteOnly));
    u16.write(QByteArray("\xFF\xFE", 2));
    const QString text = QStringLiteral("/a.jpg\n/b.jpg\r/c.jpg");
    u16.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    u16.close();
    EXPECT_EQ(HistoryStore::ReadList(u16.fileName()), (QStringList{"/a.jpg", "/b.jpg", "/c.jpg"}));
    QFile empty(dir.filePath(QStringLiteral("empty.lst")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_TRUE(HistoryStore::ReadList(empty.fileName()).isEmpty());
    EXPECT_EQ(HistoryStore::Caption(QStringLiteral("/pics/x.jpg")), QStringLiteral("/pics/"));
}
