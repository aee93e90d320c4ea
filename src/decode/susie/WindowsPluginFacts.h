#pragma once
// What a Windows plug-in told about itself through GetPluginInfo, kept per
// plug-in file in the private work folder. With them the plug-in search
// offers the plug-in without starting Wine, which takes seconds (half a
// minute while Wine makes its prefix); Wine starts with the plug-in's first
// real call instead. A file changed since (size or time) is asked again.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

struct WindowsPluginFacts {
    uint32_t entryMask = 0; // bit n: entry point n is exported (TSPI::Entry order)
    QByteArray apiVersion;
    QByteArray pluginInfo;
    QStringList patterns; // one ";"-separated pattern text per format
    QStringList formatNames; // the format's name, one per pattern
};

// The facts kept for this very file, or none.
std::optional<WindowsPluginFacts> RememberedWindowsPluginFacts(const QString& path);
// Keeps them for the file as it is now; false when they cannot be written.
bool RememberWindowsPluginFacts(const QString& path, const WindowsPluginFacts& facts);
