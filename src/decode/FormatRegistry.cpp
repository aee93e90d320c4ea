#include "FormatRegistry.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

std::shared_mutex& DecoderUseLock()
{
    static std::shared_mutex lock;
    return lock;
}

namespace {

struct ArrivalState {
    std::mutex mutex;
    std::condition_variable changed;
    unsigned long long arrived = 0;
    int pending = 0;
};

ArrivalState& Arrivals()
{
    static ArrivalState state;
    return state;
}

} // namespace

DecoderArrivals::Mark DecoderArrivals::Now()
{
    ArrivalState& state = Arrivals();
    const std::lock_guard<std::mutex> lock(state.mutex);
    return Mark{state.arrived};
}

void DecoderArrivals::Expect()
{
    ArrivalState& state = Arrivals();
    const std::lock_guard<std::mutex> lock(state.mutex);
    ++state.pending;
}

void DecoderArrivals::Arrived()
{
    ArrivalState& state = Arrivals();
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        if (state.pending > 0)
            --state.pending;
        ++state.arrived;
    }
    state.changed.notify_all();
}

bool DecoderArrivals::AwaitSince(const Mark& mark, const std::function<bool()>& cancelled)
{
    ArrivalState& state = Arrivals();
    std::unique_lock<std::mutex> lock(state.mutex);
    while (state.pending > 0) {
        if (cancelled && cancelled())
            return false;
        state.changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    return state.arrived != mark.arrived;
}

TFormatRegistry& TFormatRegistry::Instance()
{
    static TFormatRegistry registry;
    return registry;
}

void TFormatRegistry::Register(const QString& extension, const QString& description, TGraphicClass graphicClass)
{
    m_entries.push_back({extension.toLower(), description, graphicClass});
}

TGraphicClass TFormatRegistry::Find(const QString& extension) const
{
    const QString wanted = extension.toLower();
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->extension == wanted)
            return it->graphicClass;
    }
    return nullptr;
}

void TFormatRegistry::Unregister(TGraphicClass graphicClass)
{
    std::erase_if(m_entries, [graphicClass](const TFormatEntry& e) { return e.graphicClass == graphicClass; });
}

QString TFormatRegistry::GraphicFilter() const
{
    return BuildGraphicFilter(m_entries);
}

QString BuildGraphicFilter(const std::vector<TFormatEntry>& entries)
{
    QString descriptions;
    QString patterns;
    int visited = 0;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->extension.isEmpty())
            continue;
        if (visited > 0) {
            descriptions += QLatin1Char('|');
            patterns += QLatin1Char(';');
        }
        descriptions += QStringLiteral("%1 (*.%2)|*.%2").arg(it->description, it->extension);
        patterns += QStringLiteral("*.%1").arg(it->extension);
        ++visited;
    }
    if (visited > 1)
        descriptions = QStringLiteral("%1 (%2)|%2|").arg(QStringLiteral("すべて"), patterns) + descriptions;
    return descriptions;
}
