#pragma once
// The settings that survive a restart, as held in memory while the program
// runs. IniSettings reads them at start-up and writes them at exit; every
// other module reads and changes these values only.
#include <QString>
#include <QStringList>
#include <array>

// One transfer destination of the toolbox. Entries not read from the
// settings file (those beyond nButton) stay empty.
struct TransferButtonSetting {
    QString Folder; // destination folder; "none" or empty when unset
    QString Caption; // button caption
    QString RunTimeFolder; // folder chosen at run time; never stored
};

// An unset destination ("none" or empty) never names a folder, even when the
// current folder happens to hold one called "none".
inline bool IsUnsetDestination(const QString& folder)
{
    return folder.isEmpty() || folder == QLatin1String("none");
}

struct Settings {
    // [Window]: main window placement, last open-folder choice, history count.
    struct {
        int Left = 0, Top = 0, Width = 0, Height = 0;
        QString LastDir;
        bool State = false; // maximised
        int ListMax = 0; // number of stored history lists, 0..5
    } Window;

    QString SusieDir; // [Susie Plug-in] Dir

    // [SameBox]: the same-name conflict dialog.
    struct {
        int Left = 0, Top = 0, Width = 500, Height = 300;
    } SameBox;

    // [Tool]: the toolbox and the display form.
    struct {
        bool Show = true;
        int Left = 0, Top = 0;
        int State = 0; // 0 single page, 1 spread odd start, 2 spread even start
        int Orient = 0; // 0 left to right, 1 right to left
    } Tool;

    // [Help]: the help viewer.
    struct {
        int Left = 0, Top = 0, Width = 500, Height = 500;
    } Help;

    // [ShortCut]: last choices of the shortcut-file dialog.
    struct {
        int Interval = 2, IntervalM = 0, MakePlace = 0;
        bool Auto = true, Box = false, Button = false, Full = true, Zoom = true;
        int Repeat = -1;
        QString PictureFolder;
    } ShortCut;

    // [Option]: slideshow interval, transfer buttons and modes.
    struct {
        int Interval = 2, IntervalM = 0, nButton = 5;
        bool Copy = true, Zoom = false, Open = true, Numbering = false;
        // Pictures are turned upright as their files' orientation says.
        bool AutoRotate = true;
        std::array<TransferButtonSetting, 10> Buttons;
    } Option;

    // [Option] AppDir1..5: external applications; non-empty, no duplicates,
    // at most 5.
    QStringList AppDirs;
};
