#pragma once
// Command-line switches: "/Name=value" arguments that set viewer state.
#include "settings/Settings.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>

struct SwitchMatch {
    bool matched = false;
    QString value; // lower-cased text after the first "="
};

// switchName such as "/Time". Case-insensitive; the argument matches when it
// begins with the name and holds a "=" (so "/Timer=1" matches "/Time", and
// "/Zoom" without "=" matches nothing).
SwitchMatch ParseSwitch(const QString& switchName, const QString& argument);

// True when the argument is a switch rather than a path: it begins with "/",
// names nothing on disk, and holds no second "/" before its first "=" (or
// anywhere, when it holds no "=").
bool IsSwitchArgument(const QString& argument);

// The value of /Time=: seconds as a decimal number in the user's locale ("."
// is accepted as the decimal point too). interval gets the whole seconds,
// intervalM the truncated milliseconds of the fraction. Text that is not a
// finite number gives 2 and 0. Values beyond one day are taken as one day;
// negative values give the fastest slideshow, 0 s and 100 ms.
void ParseTimeSwitch(const QString& value, int& interval, int& intervalM);
// The same with a given locale in place of the user's.
void ParseTimeSwitch(const QString& value, const QLocale& locale, int& interval, int& intervalM);

// Start-up state set by switches besides the settings.
struct LaunchState {
    bool AutoStart = false; // /Auto=on: start the slideshow
    bool StartFullScreen = false; // /Full=on
    bool SwitchLaunch = false; // started with a switch other than /Time /Auto /Box /Button /Zoom
    int RepeatMode = -1; // /Repeat=: 1 loop, 0 stop, -1 close the program
    bool Siblings = false; // /Siblings=on: one picture opens with its whole folder
};

// Applies one switch argument. The first of /Time, /Auto, /Box, /Button,
// /Zoom and /Siblings that matches is applied; when none matches, /Full=on and
// /Repeat= are applied and SwitchLaunch is set. /Siblings only chooses how a
// single picture is opened, so it leaves SwitchLaunch alone like /Time.
void ApplySwitch(const QString& argument, Settings& settings, LaunchState& state);

// The picture a start with /Siblings=On opens together with its folder: the
// switch's last value must be "on" and the command line must name exactly
// one path, an existing file (not a folder) that isPicture accepts. Gives
// that file's canonical path, or empty when the switch does not apply and
// the command line is handled as usual.
QString SiblingsLaunchFile(const QStringList& arguments, const std::function<bool(const QString&)>& isPicture);
