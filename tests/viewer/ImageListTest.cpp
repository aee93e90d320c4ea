#include "viewer/ImageList.h"
#include "platform/Collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

QStringList items(const ImageList& list)
{
    return list.ToStringList();
}

// Reference: insert one by one at the sorted place, skipping present paths.
QStringList insertOneByOne(QStringList base, const QStringList& added)
{
    platform::FileNameCollator less;
    for (const QString& p : added) {
        auto it = std::lower_bound(base.begin(), base.end(), p, less);
        bool present = false;
        for (auto j = it; j != base.end() && !less(p, *j); ++j)
            present = present || *j == p;
        if (!present)
            base.insert(it, p);
    }
    return base;
}

} // namespace

TEST(ImageList, SortedModeOrdersCaseInsensitivelyAndDropsExactDuplicates)
{
    ImageList list;
    list.SetSorted(true);
    for (const char* p : {"/p/b.JPG", "/p/a.jpg", "/p/C.png", "/p/a.jpg", "/p/A.jpg"})
        list.Add(QString::fromUtf8(p));
    list.SetSorted(false);
    // a.jpg and A.jpg are two files on Linux; the exact repeat is dropped.
    const QStringList got = items(list);
    ASSERT_EQ(got.size(), 4);
    EXPECT_EQ(got[2], QStringLiteral("/p/b.JPG"));
    EXPECT_EQ(got[3], QStringLiteral("/p/C.png"));
    EXPECT_TRUE(got.mid(0, 2).contains(QStringLiteral("/p/a.jpg")));
    EXPECT_TRUE(got.mid(0, 2).contains(QStringLiteral("/p/A.jpg")));
}

TEST(ImageList, UnsortedModeAppendsEverything)
{
    ImageList list;
    list.Add(QStringLiteral("/z"));
    list.Add(QStringLiteral("/a"));
    list.Add(QStringLiteral("/z"));
    EXPECT_EQ(items(list), (QStringList{"/z", "/a", "/z"}));
    // Switching the mode on sorts but keeps repeats already present.
    list.SetSorted(true);
    EXPECT_EQ(items(list), (QStringList{"/a", "/z", "/z"}));
    list.Add(QStringLiteral("/z"));
    list.Add(QStringLiteral("/m"));
    EXPECT_EQ(items(list), (QStringList{"/a", "/m", "/z", "/z"}));
}

TEST(ImageList, BulkMergeMatchesOneByOneInsertion)
{
    std::mt19937 rng(12345);
    const QStringList alphabet{"a", "B", "c", "A", "b", "写真", "しゃしん", "_", "1", "10", "2"};
    for (int round = 0; round < 20; ++round) {
        QStringList base;
        QStringList added;
        for (int i = 0; i < 60; ++i) {
            QString name = QStringLiteral("/pics/");
            for (int k = 0; k < 3; ++k)
                name += alphabet[static_cast<int>(rng() % alphabet.size())];
            (i < 20 ? base : added) << name + QStringLiteral(".jpg");
        }
        ImageList list;
        list.SetSorted(true);
        for (const QString& p : base)
            list.Add(p);
        const QStringList sortedBase = items(list); // materialised in between
        for (const QString& p : added)
            list.Add(p);
        EXPECT_EQ(items(list), insertOneByOne(sortedBase, added)) << "round " << round;
    }
}

TEST(ImageList, ReverseAndShuffle)
{
    ImageList four;
    four.Assign({"a", "b", "c", "d"});
    four.Reverse();
    EXPECT_EQ(items(four), (QStringList{"d", "c", "b", "a"}));
    ImageList five;
    five.Assign({"a", "b", "c", "d", "e"});
    five.Reverse();
    EXPECT_EQ(items(five), (QStringList{"e", "d", "c", "b", "a"}));

    ImageList one;
    one.Assign({"only"});
    uint32_t seed = 0;
    one.Shuffle(seed);
    EXPECT_EQ(items(one), QStringList{"only"});

    // The same list shuffles the same way from the start seed.
    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten << QString::number(i);
    ImageList x, y;
    x.Assign(ten);
    y.Assign(ten);
    uint32_t s1 = 0, s2 = 0;
    x.Shuffle(s1);
    y.Shuffle(s2);
    EXPECT_EQ(items(x), items(y));
    EXPECT_NE(items(x), ten);
    QStringList sortedBack = items(x);
    std::sort(sortedBack.begin(), sortedBack.end());
    std::sort(ten.begin(), ten.end());
    EXPECT_EQ(sortedBack, ten);
}

TEST(ImageList, RandomGeneratorFollowsTheLinearCongruence)
{
    uint32_t seed = 0;
    // seed 0 -> 1 -> 134775814; results are the high halves of seed * n.
    EXPECT_EQ(NextRandom(seed, 10), 0u);
    EXPECT_EQ(seed, 1u);
    EXPECT_EQ(NextRandom(seed, 10), static_cast<uint32_t>((134775814ull * 10) >> 32));
    EXPECT_EQ(seed, 134775814u);
}

TEST(ImageList, DeleteInsertAndIndexOf)
{
    ImageList list;
    list.Assign({"a", "b", "c"});
    list.Delete(1);
    list.Delete(7); // out of range: nothing
    list.Insert(1, QStringLiteral("x"));
    EXPECT_EQ(items(list), (QStringList{"a", "x", "c"}));
    EXPECT_EQ(list.IndexOf(QStringLiteral("c")), 2);
    EXPECT_EQ(list.IndexOf(QStringLiteral("b")), -1);
}
