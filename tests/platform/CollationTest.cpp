// The order of file names: case-insensitive under the locale, total.
#include "platform/Collation.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) : old_(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(old_); }

private:
    QLocale old_;
};

QStringList sampleNames()
{
    QStringList names = {"a.jpg", "A.jpg",    "B.jpg",        "b.jpg",        "ab.jpg", "Ab.JPG", "_x.png", "10.png",
                         "9.png", "写真.jpg", "しゃしん.jpg", "シャシン.jpg", "é.gif",  "e.gif",  "E.gif",  "z",
                         "Z",     "",         "a b.jpg",      "a-b.jpg"};
    std::mt19937 random(7);
    const QString letters = "aAbBcCé写_ 0";
    for (int i = 0; i < 400; ++i) {
        QString name;
        const int length = 1 + int(random() % 6);
        for (int j = 0; j < length; ++j)
            name += letters.at(qsizetype(random() % letters.size()));
        names.append(name);
    }
    names.removeDuplicates();
    return names;
}

void expectTotalOrder(const QStringList& names)
{
    platform::FileNameCollator less;
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), less);
    for (qsizetype i = 0; i + 1 < sorted.size(); ++i) {
        EXPECT_LT(platform::CompareFileNames(sorted[i], sorted[i + 1]), 0)
            << sorted[i].toStdString() << " / " << sorted[i + 1].toStdString();
        EXPECT_GT(platform::CompareFileNames(sorted[i + 1], sorted[i]), 0);
    }
    for (const QString& name : names)
        EXPECT_EQ(platform::CompareFileNames(name, name), 0);

    // Sorting with keys gives the very same order, from any starting order.
    QStringList shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
    platform::SortFileNames(shuffled);
    EXPECT_EQ(shuffled, sorted);
}

} // namespace

TEST(Collation, IgnoresCaseButStaysTotal)
{
    for (const QLocale& locale :
         {QLocale(QLocale::Japanese, QLocale::Japan), QLocale(QLocale::English, QLocale::UnitedStates), QLocale::c()}) {
        SCOPED_TRACE(locale.name().toStdString());
        LocaleScope scope(locale);
        EXPECT_LT(platform::CompareFileNames("a.jpg", "B.jpg"), 0) << "case is ignored";
        EXPECT_GT(platform::CompareFileNames("b.jpg", "A.jpg"), 0);
        EXPECT_LT(platform::CompareFileNames("Ab.jpg", "ac.jpg"), 0);
        // Same letters in different case are still two names, ordered the
        // same way whichever is asked first.
        const int forward = platform::CompareFileNames("a.jpg", "A.jpg");
        EXPECT_NE(forward, 0);
        EXPECT_EQ(platform::CompareFileNames("A.jpg", "a.jpg"), -forward);
        EXPECT_LT(platform::CompareFileNames("", "a"), 0);
        expectTotalOrder(sampleNames());
    }
}

TEST(Collation, FollowsTheLocaleNotCodePoints)
{
    LocaleScope scope(QLocale(QLocale::English, QLocale::UnitedStates));
    // By code point "é" would follow every ASCII letter.
    EXPECT_LT(platform::CompareFileNames("é.gif", "f.gif"), 0);
    EXPECT_GT(platform::CompareFileNames("é.gif", "d.gif"), 0);
    EXPECT_GT(platform::CompareFileNames("Zebra", "éclair"), 0);
    platform::FileNameCollator less;
    EXPECT_TRUE(less("apple", "Banana"));
    EXPECT_FALSE(less("Banana", "apple"));
    EXPECT_FALSE(less("same", "same"));
}
