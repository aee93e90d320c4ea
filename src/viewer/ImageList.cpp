#include "ImageList.h"

#include "platform/Collation.h"

#include <algorithm>

namespace {
const platform::FileNameCollator& collator()
{
    static const platform::FileNameCollator instance;
    return instance;
}
} // namespace

uint32_t NextRandom(uint32_t& seed, uint32_t n)
{
    seed = seed * 134775813u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(seed) * n) >> 32);
}

void ImageList::SetSorted(bool sorted)
{
    if (sorted == m_sorted)
        return;
    Materialize();
    m_sorted = sorted;
    if (sorted)
        Sort();
    m_pendingFrom = m_items.size();
}

void ImageList::Add(const QString& path)
{
    m_items.push_back(path);
    if (!m_sorted)
        m_pendingFrom = m_items.size();
}

void ImageList::Insert(int index, const QString& path)
{
    Materialize();
    index = std::clamp(index, 0, static_cast<int>(m_items.size()));
    m_items.insert(m_items.begin() + index, path);
    m_pendingFrom = m_items.size();
}

void ImageList::Delete(int index)
{
    Materialize();
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return;
    m_items.erase(m_items.begin() + index);
    m_pendingFrom = m_items.size();
}

void ImageList::Clear()
{
    m_items.clear();
    m_pendingFrom = 0;
}

int ImageList::Count() const
{
    Materialize();
    return static_cast<int>(m_items.size());
}

const QString& ImageList::At(int index) const
{
    Materialize();
    return m_items.at(static_cast<size_t>(index));
}

int ImageList::IndexOf(const QString& path) const
{
    Materialize();
    const auto it = std::find(m_items.begin(), m_items.end(), path);
    return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}

QStringList ImageList::ToStringList() const
{
    Materialize();
    QStringList list;
    list.reserve(static_cast<qsizetype>(m_items.size()));
    for (const QString& s : m_items)
        list.append(s);
    return list;
}

void ImageList::Assign(const QStringList& paths)
{
    m_items.assign(paths.begin(), paths.end());
    m_pendingFrom = m_items.size();
}

void ImageList::Sort()
{
    Materialize();
    std::stable_sort(m_items.begin(), m_items.end(), collator());
    m_pendingFrom = m_items.size();
}

void ImageList::Reverse()
{
    Materialize();
    std::reverse(m_items.begin(), m_items.end());
}

void ImageList::Shuffle(uint32_t& seed)
{
    Materialize();
    const uint32_t count = static_cast<uint32_t>(m_items.size());
    if (count == 0)
        return;
    const uint32_t rounds = count / 2 + 1;
    for (uint32_t i = 0; i < rounds; ++i) {
        const uint32_t a = NextRandom(seed, count);
        const uint32_t b = NextRandom(seed, count);
        std::swap(m_items[a], m_items[b]);
    }
}

void ImageList::Materialize() const
{
    if (m_pendingFrom >= m_items.size())
        return;
    const auto& less = collator();
    auto base_end = m_items.begin() + static_cast<std::ptrdiff_t>(m_pendingFrom);
    std::sort(base_end, m_items.end(), less);
    // Drop repeats among the new paths, then the ones already in the list.
    auto new_end = std::unique(base_end, m_items.end());
    new_end = std::remove_if(base_end, new_end, [&](const QString& p) {
        auto range = std::equal_range(m_items.begin(), base_end, p, less);
        return std::find(range.first, range.second, p) != range.second;
    });
    m_items.erase(new_end, m_items.end());
    std::inplace_merge(m_items.begin(), m_items.begin() + static_cast<std::ptrdiff_t>(m_pendingFrom), m_items.end(),
                       less);
    m_pendingFrom = m_items.size();
}
