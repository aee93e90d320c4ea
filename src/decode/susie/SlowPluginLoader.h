#pragma once
// Loads plug-ins whose loading is slow (a Windows plug-in seen for the first
// time starts Wine, half a minute while Wine makes its prefix) on a thread of
// its own, one after the other, so that the window thread never waits for
// them.
#include "decode/susie/SPIs.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class SlowPluginLoader {
public:
    using LoadedPlugins = std::vector<std::unique_ptr<TSPI>>;
    // Called on the loader's thread with the plug-ins that loaded, in the
    // order of paths; those that did not are left out (their failures are
    // told the way a search tells them).
    using Done = std::function<void(LoadedPlugins loaded)>;

    SlowPluginLoader(QStringList paths, Done done);
    // Waits for the thread. At the end of the program call
    // AbandonWindowsPluginHelpers first, so that a Wine start still running
    // does not hold it up.
    ~SlowPluginLoader();
    SlowPluginLoader(const SlowPluginLoader&) = delete;
    SlowPluginLoader& operator=(const SlowPluginLoader&) = delete;

    // True once done has returned.
    bool Finished() const { return *m_finished; }

private:
    std::shared_ptr<std::atomic<bool>> m_finished = std::make_shared<std::atomic<bool>>(false);
    std::thread m_thread;
};
