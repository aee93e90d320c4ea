#pragma once
// The shell's special folders, by their CSIDL numbers, mapped to XDG folders.
#include <QString>

namespace platform {

// Plain int constants (not an enum), so that an unqualified call with one of
// them finds no second SpecialFolderPath by argument-dependent lookup.
inline constexpr int CSIDL_DESKTOP = 0x00;
inline constexpr int CSIDL_PROGRAMS = 0x02;
inline constexpr int CSIDL_CONTROLS = 0x03;
inline constexpr int CSIDL_PRINTERS = 0x04;
inline constexpr int CSIDL_PERSONAL = 0x05;
inline constexpr int CSIDL_FAVORITES = 0x06;
inline constexpr int CSIDL_STARTUP = 0x07;
inline constexpr int CSIDL_RECENT = 0x08;
inline constexpr int CSIDL_SENDTO = 0x09;
inline constexpr int CSIDL_BITBUCKET = 0x0A;
inline constexpr int CSIDL_STARTMENU = 0x0B;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
inline constexpr int CSIDL_DRIVES = 0x11;
inline constexpr int CSIDL_NETWORK = 0x12;
inline constexpr int CSIDL_NETHOOD = 0x13;
inline constexpr int CSIDL_FONTS = 0x14;
inline constexpr int CSIDL_TEMPLATES = 0x15;
inline constexpr int CSIDL_APPDATA = 0x1A;
inline constexpr int CSIDL_PRINTHOOD = 0x1B;

// Desktop and desktop folder: the XDG desktop folder; programs and Start menu:
// the user's applications folder (~/.local/share/applications); personal
// documents: the XDG documents folder; templates: the XDG templates folder;
// My Computer: "/"; the other listed numbers: the home folder. Empty for a
// number not listed above. No trailing "/" (except "/").
QString SpecialFolderPath(int csidl);

} // namespace platform
