#pragma once
// The shell's special folders, by their CSIDL numbers, mapped to XDG folders.
#include <QString>

namespace platform {

enum : int {
    CSIDL_DESKTOP = 0x00,
    CSIDL_PROGRAMS = 0x02,
    CSIDL_CONTROLS = 0x03,
    CSIDL_PRINTERS = 0x04,
    CSIDL_PERSONAL = 0x05,
    CSIDL_FAVORITES = 0x06,
    CSIDL_STARTUP = 0x07,
    CSIDL_RECENT = 0x08,
    CSIDL_SENDTO = 0x09,
    CSIDL_BITBUCKET = 0x0A,
    CSIDL_STARTMENU = 0x0B,
    CSIDL_DESKTOPDIRECTORY = 0x10,
    CSIDL_DRIVES = 0x11,
    CSIDL_NETWORK = 0x12,
    CSIDL_NETHOOD = 0x13,
    CSIDL_FONTS = 0x14,
    CSIDL_TEMPLATES = 0x15,
    CSIDL_APPDATA = 0x1A,
    CSIDL_PRINTHOOD = 0x1B,
};

// Desktop and desktop folder: the XDG desktop folder; programs and Start menu:
// the user's applications folder (~/.local/share/applications); personal
// documents: the XDG documents folder; templates: the XDG templates folder;
// My Computer: "/"; the other listed numbers: the home folder. Empty for a
// number not listed above. No trailing "/" (except "/").
QString SpecialFolderPath(int csidl);

} // namespace platform
