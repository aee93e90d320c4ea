#pragma once
// The ordered list of full image paths being viewed.
//
// In sorted mode every added path goes to its place in ascending order
// (locale collation, case ignored, ties broken case-sensitively) and a path
// already present is not added again; outside it, paths are appended.
// Additions in sorted mode are collected and merged in one O(n log n) pass
// the next time the list is read, which gives the same result as inserting
// them one by one.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class ImageList {
public:
    void SetSorted(bool sorted);
    bool Sorted() const { return m_sorted; }

    void Add(const QString& path);
    void Insert(int index, const QString& path);
    void Delete(int index);
    void Clear();

    int Count() const;
    const QString& At(int index) const;
    bool IsEmpty() const { return Count() == 0; }
    int IndexOf(const QString& path) const;
    QStringList ToStringList() const;
    void Assign(const QStringList& paths); // plain copy, no sorting, no dedup

    // Sorts the whole list ascending (duplicates already present stay).
    void Sort();
    void Reverse();
    // Exchanges (count div 2) + 1 random pairs with the program's own
    // generator; the generator's seed lives in the caller.
    void Shuffle(uint32_t& seed);

private:
    void Materialize() const;

    mutable std::vector<QString> m_items;
    mutable size_t m_pendingFrom = 0; // items from here on still need merging
    bool m_sorted = false;
};

// random(n) of the program's linear congruential generator:
// seed := seed * 134775813 + 1 (mod 2^32); result := (seed * n) >> 32.
uint32_t NextRandom(uint32_t& seed, uint32_t n);
