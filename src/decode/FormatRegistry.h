#pragma once
// The process-wide registry of decodable extensions.
#include "Graphic.h"

#include <QString>
#include <functional>
#include <shared_mutex>
#include <vector>

struct TFormatEntry {
    QString extension; // lower-cased, without the dot, may be empty
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

// Threads that decode hold this lock shared for the whole decode, so the
// registry and the plug-ins it names stay as they are meanwhile. The
// registry is filled at start-up; whoever changes it later (a new plug-in
// search) holds the lock exclusively while doing so.
std::shared_mutex& DecoderUseLock();

// Decoders still on their way: plug-ins whose loading is slow are added
// after the search, from the background. A decode that found no decoder
// while some were on their way waits for them and tries again.
class DecoderArrivals {
public:
    // What a decode saw before it began.
    struct Mark {
        unsigned long long arrived = 0; // how many batches had arrived
    };
    static Mark Now();
    // A batch is on its way / has been added (each Expect gets one Arrived).
    static void Expect();
    static void Arrived();
    // After a decode begun at mark found no decoder: waits while batches
    // are on their way (until cancelled says stop). True when decoders
    // arrived since mark, so that another try may succeed.
    static bool AwaitSince(const Mark& mark, const std::function<bool()>& cancelled);
};
