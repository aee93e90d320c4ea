#pragma once
// The process-wide registry of decodable extensions.
#include "Graphic.h"

#include <QString>
#include <vector>

struct TFormatEntry {
    QString extension;   // lower-cased, without the dot, may be empty
    QString description;
    TGraphicClass graphicClass;
};

class TFormatRegistry {
public:
    static TFormatRegistry& Instance();

    // Appends an entry; the extension is lower-cased. No duplicate check.
    void Register(const QString& extension, const QString& description, TGraphicClass graphicClass);
    // Newest entry first; nullptr when no entry holds the extension.
    TGraphicClass Find(const QString& extension) const;
    // Removes every entry naming the class.
    void Unregister(TGraphicClass graphicClass);

    // The file-dialog filter of all entries, newest first.
    QString GraphicFilter() const;

    const std::vector<TFormatEntry>& Entries() const { return m_entries; }

    // For tests: forget every entry.
    void ResetForTesting() { m_entries.clear(); }

private:
    std::vector<TFormatEntry> m_entries;
};

// Builds the graphic filter from entries in registration order (oldest first).
QString BuildGraphicFilter(const std::vector<TFormatEntry>& entries);
