#pragma once
// Reading and writing the settings file.
#include "settings/Settings.h"

#include <QRect>
#include <QString>
#include <QStringList>

class IniSettings {
public:
    // Longest text value kept from the file; longer values are cut.
    static constexpr int kMaxTextLength = 2047;
    static constexpr int kMaxAppDirs = 5;
    static constexpr int kMaxButtons = 10;

    // Reads the file; missing keys, a missing file and an unreadable file
    // give the defaults. defaultWindow is the main window's initial outer
    // geometry: its position and size are the defaults of [Window] Left, Top,
    // Width and Height.
    //
    // Stored values out of range are brought to the nearest value in range:
    // [Window] ListMax 0..5, [Tool] State 0..2, [Tool] Orient 0..1,
    // [Option] nButton 0..10, [Option]/[ShortCut] Interval 0..86400 and
    // IntervalM 0..999, [ShortCut] MakePlace 0..2.
    static Settings Load(const QString& iniPath, const QRect& defaultWindow);

    // Writes every setting; other keys, sections and comments in the file
    // are kept. False when the file could not be written (or an existing
    // file could not be read, which is then left alone).
    static bool Save(const Settings& s, const QString& iniPath);

    // Writes back only what changed in this run: the values of s that differ
    // from `loaded` (the settings as read at start-up) and the values the
    // file lacks. Values another running instance wrote meanwhile, and this
    // run left alone, survive. False as for Save.
    static bool SaveChanges(const Settings& s, const Settings& loaded, const QString& iniPath);

    // The one message when the settings cannot be written anywhere: the
    // folders that were tried, one a line.
    static QString CannotSaveMessage(const QStringList& triedFolders);

    // "<settingsFolder>/<program base name>.ini".
    static QString IniPathFor(const QString& programFilePath, const QString& settingsFolder);

    // Integer text as stored in the file: optional sign, then decimal digits
    // or hexadecimal digits after "0x" or "$". Anything else gives def.
    static int ParseInteger(const QString& text, int def);
};
