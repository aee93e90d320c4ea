#include "Collation.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <vector>

namespace platform {
namespace {

std::shared_ptr<QCollator> makeCollator()
{
    auto collator = std::make_shared<QCollator>(QLocale());
    collator->setCaseSensitivity(Qt::CaseInsensitive);
    collator->setNumericMode(false);
    collator->setIgnorePunctuation(false);
    return collator;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

int compareWith(const QCollator& collator, const QString& a, const QString& b)
{
    const int byLocale = collator.compare(a, b);
    if (byLocale != 0)
        return sign(byLocale);
    return sign(a.compare(b, Qt::CaseSensitive));
}

} // namespace

int CompareFileNames(const QString& a, const QString& b)
{
    // One collator, made again only when the default locale changes.
    static std::shared_ptr<QCollator> collator;
    static QString localeName;
    const QLocale locale;
    if (!collator || locale.name() != localeName) {
        collator = makeCollator();
        localeName = locale.name();
    }
    return compareWith(*collator, a, b);
}

FileNameCollator::FileNameCollator() : collator_(makeCollator()) {}

int FileNameCollator::compare(const QString& a, const QString& b) const
{
    return compareWith(*collator_, a, b);
}

void SortFileNames(QStringList& names)
{
    if (names.size() < 2)
        return;
    const auto collator = makeCollator();
    if (collator->locale().language() == QLocale::C) {
        // The C locale has no collation data; its comparison is the plain
        // case-folding one and needs no keys.
        std::sort(names.begin(), names.end(),
                  [&](const QString& a, const QString& b) { return compareWith(*collator, a, b) < 0; });
        return;
    }
    struct Item {
        QCollatorSortKey key;
        qsizetype index;
    };
    std::vector<Item> items;
    items.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i)
        items.push_back(Item{collator->sortKey(names.at(i)), i});
    std::sort(items.begin(), items.end(), [&](const Item& x, const Item& y) {
        const int byKey = x.key.compare(y.key);
        if (byKey != 0)
            return byKey < 0;
        return names.at(x.index).compare(names.at(y.index), Qt::CaseSensitive) < 0;
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const Item& item : items)
        sorted.append(names.at(item.index));
    names = std::move(sorted);
}

} // namespace platform
