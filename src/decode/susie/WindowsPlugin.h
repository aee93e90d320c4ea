#pragma once
// Windows Susie plug-ins (DLLs) served by the program's Windows helper under
// Wine: orvanto-spihost32.exe for 32-bit ".spi", orvanto-spihost64.exe for
// 64-bit ".sph". One helper per kind runs for all plug-ins of that kind,
// started on first use and kept running; one that crashes or stops
// answering is ended and started again on the next call.
//
// The calls look like the native entry points: file names are UTF-8 Linux
// paths, texts come back as UTF-8, and the returned blocks are the host's
// local memory blocks (SusieAbi.h), copied from the plug-in's LocalAlloc
// handles, which the helper frees.
#include "decode/susie/PluginBinary.h"
#include "decode/susie/SusieAbi.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

class WineHelper;
class HelperFields;

class WindowsPlugin {
public:
    ~WindowsPlugin();
    WindowsPlugin(const WindowsPlugin&) = delete;
    WindowsPlugin& operator=(const WindowsPlugin&) = delete;

    // Loads the DLL in the helper of its kind. None when that helper cannot
    // run here (why is said once in the log) or the DLL does not load.
    static std::unique_ptr<WindowsPlugin> Open(const QString& path, PluginBinaryKind kind);

    // The plug-in with the entry points it was seen to export before, without
    // starting Wine (slow): the helper starts and loads the DLL with the
    // first call. None when the helper cannot run here (why is said once).
    static std::unique_ptr<WindowsPlugin> Prepare(const QString& path, PluginBinaryKind kind, uint32_t exported);

    // Bit n set: the DLL exports entry point n (TSPI::Entry order).
    uint32_t ExportedEntries() const { return m_exported; }

    // Each result is the plug-in's; a call the helper could not complete
    // (crash, no answer, broken reply) gives SUSIE_INTERNAL_ERROR, and 0 from
    // GetPluginInfo and IsSupported.
    int32_t GetPluginInfo(int32_t infoNumber, QByteArray& text);
    int32_t IsSupported(const char* name, const void* head);
    int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info);
    int32_t GetPicture(bool preview, const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                       SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t data);

    // True once a call could not be completed: what the plug-in seemed to
    // answer then was not its own.
    bool CallFailed() const { return m_callFailed; }

private:
    WindowsPlugin(WineHelper& helper, const QString& path) : m_helper(helper), m_path(path) {}
    // Sends one request naming this plug-in (the helper loads it on first
    // use, also after a restart). False when no usable reply came.
    bool Request(uint32_t type, const HelperFields& fields, HelperFields& reply,
                 SusieProgressCallback progress = nullptr, intptr_t data = 0, bool* abortAsked = nullptr);

    WineHelper& m_helper;
    QString m_path;
    uint32_t m_exported = 0;
    std::atomic<bool> m_callFailed{false};
};

// For the end of the program: ends the helpers from any thread, also one
// still starting (calls waiting for it fail at once), and starts none again.
void AbandonWindowsPluginHelpers();

// Test and benchmark hooks: ends the running helper of this many bits, so
// the next call starts it anew (as after a crash).
void StopWindowsPluginHelper(int bits);
// True while the helper of this many bits runs.
bool WindowsPluginHelperRunning(int bits);
// The helper program of this many bits: in the program folder, or in the
// folder set for tests (empty: the program folder again).
QString WindowsPluginHelperProgram(int bits);
void SetWindowsPluginHelperFolderForTesting(const QString& folder);
