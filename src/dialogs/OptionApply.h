#pragma once
// Applying the choices of the options dialog: the dialog's own part (the
// settings it edits) and the main window's part after the dialog closed with
// OK. Both talk to the main window through IOptionTarget, so the order and
// the effects can be checked without any window.
#include "settings/Settings.h"

#include <QString>
#include <QStringList>

// The values the options dialog edits.
struct OptionChoice {
    int Interval = 2; // [Option] Interval, 0..20 in the dialog
    int IntervalM = 0; // [Option] IntervalM, 0..900 in the dialog
    int nButton = 5; // [Option] nButton, 1..10 in the dialog
    bool Numbering = false; // [Option] Numbering
    bool AutoRotate = true; // [Option] AutoRotate
    QStringList Applications; // external application list, at most 5
    QString PluginDir; // [Susie Plug-in] Dir
};

// What applying needs from the main window.
class IOptionTarget {
public:
    virtual ~IOptionTarget() = default;
    virtual bool SlideshowRunning() const = 0;
    virtual void SetStatusText(const QString& text) = 0;
    // True while the toolbox window is open.
    virtual bool ToolboxOpen() const = 0;
    virtual void RebuildTransferArea() = 0;
    // Sets the slideshow timer from [Option] Interval and IntervalM.
    virtual void ApplySlideshowInterval() = 0;
    // Replaces the external application list and rebuilds its menu entries.
    virtual void ReplaceApplications(const QStringList& applications) = 0;
    // Searches the Susie plug-ins with the mask (folder + "*.spi").
    virtual void SearchPlugins(const QString& mask) = 0;
    // Takes the graphic filter from the format registry again.
    virtual void RetakeGraphicFilter() = 0;
};

// The dialog's starting values from the settings and the application list.
OptionChoice OptionChoiceOf(const Settings& settings, const QStringList& applications);

// The dialog's part, when OK is pressed:
// 1. Interval and IntervalM; both 0 give IntervalM 100 (100 ms at least);
// 2. a running slideshow shows its new interval in the status bar;
// 3. a changed button count is stored and the open toolbox's transfer area
//    is rebuilt;
// 4. Numbering; 5. the plug-in folder; 6. AutoRotate, which takes effect
//    for the decoding of the next picture.
void ApplyOptionDialogSide(const OptionChoice& choice, Settings& settings, IOptionTarget& target);

// The main window's part, after the dialog closed with OK:
// 6. the slideshow timer's interval; 7. the application list and its menu
// entries; 8. the plug-in search in the (new) plug-in folder; 9. the graphic
// filter.
void ApplyOptionMainSide(const QStringList& applications, const Settings& settings, IOptionTarget& target);

// The external application list as kept by the main window: empty entries
// and repeated paths dropped, at most five.
QStringList NormalisedApplications(const QStringList& applications);
