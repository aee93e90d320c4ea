#pragma once
// The order of file names: case-insensitive under the user's locale, with
// ties broken by a case-sensitive comparison so that the order is total.
#include <QString>
#include <QStringList>

#include <memory>

class QCollator;

namespace platform {

// <0, 0 or >0. Zero only for identical texts.
int CompareFileNames(const QString& a, const QString& b);

// A "less than" for sorting, holding one collator for the user's locale at
// construction. Cheap to copy (copies share the collator).
class FileNameCollator {
public:
    FileNameCollator();
    int compare(const QString& a, const QString& b) const;
    bool operator()(const QString& a, const QString& b) const { return compare(a, b) < 0; }

private:
    std::shared_ptr<QCollator> collator_;
};

// Sorts in the order above, using precomputed sort keys (fast for long lists).
void SortFileNames(QStringList& names);

} // namespace platform
