#pragma once
// Wine, the runtime of Windows programs on Linux: where its loaders are and
// how a Windows helper of the program is started with it.
#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace platform {

// The Wine loader that runs Windows programs of this many bits (32 or 64), or
// empty when it is not installed. $ORVANTO_WINE32 / $ORVANTO_WINE64 name
// another loader when set (empty: none).
QString WineLoader(int bits);

// The Wine prefix of the program: "wine" in the private work folder. Wine
// makes it on first use. Empty when there is no private work folder.
std::optional<QString> WinePrefixFolder();

// The environment of a Windows helper: its prefix, no debug output, no
// display (so nothing can open a window), no offer to install Mono or Gecko,
// no Wine services a console program does not need, and the Japanese locale
// so that the plug-ins see code page 932.
std::vector<std::pair<QByteArray, QByteArray>> WineEnvironment(const QString& prefix);

} // namespace platform
