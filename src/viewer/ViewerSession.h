#pragma once
// ViewerSession: the viewer without its windows. It owns the image list, the
// viewer state, the random seed, the work folder and the graphic filter, and
// holds the settings. It runs the opening routes (files, folder scans, drops,
// the command line, history, archive unpacking), the play orders, stepping
// and its normalisation, the slideshow and its end-of-list rules, and drops
// files that vanished from disk. It tells which path goes into which page
// slot for the display form in use.
//
// Windows are views over it: they show its state, send it requests and
// follow its signals. A request that changes what is on screen ends in
// ShowPage(), which prepares the page and emits pageChanged(); the view then
// asks CurrentPage() which pictures to show where.
#include "viewer/HistoryStore.h"
#include "viewer/ImageList.h"
#include "viewer/Navigation.h"
#include "viewer/WorkProgress.h"
#include "settings/Settings.h"
#include "archive/ArchiveOpening.h"

#include <QObject>
#include <QRect>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

class QTimer;

struct ViewerState {
    int CurrentIndex = 0;
    bool Viewing = false;
    bool Closing = false;
    bool SwitchLaunch = false;
    int RepeatMode = -1;
    int PlayOrder = 0; // 1 random, 2 normal, 3 reverse
    bool FullScreen = false; // shown by Max1 and the toolbox's check box
    bool StartFullScreen = false;
    QString UndoFrom; // path before the last move
    QString UndoTo; // path after it
};

// One place of a page: the picture of list item `index` shown at `position`
// (0 the left half or the whole area, 1 the right half). An empty path means
// the place stays empty (the first page of an even spread has no left page).
struct PageSlot {
    QString path;
    int index = -1;
    int position = 0;
};

// What the current page shows. Slot 0 is the current item, slot 1 the item
// after it on a spread; slotCount is 1 for a single page, 2 for a spread.
struct ViewerPage {
    DisplayForm form = DisplayForm::SinglePage;
    int index = 0;
    int count = 0;
    int slotCount = 0;
    std::array<PageSlot, 2> pageSlots;
    // The paths shown, without empty places.
    QStringList Paths() const;
};

// The page an index gives in a display form and orientation (orient 1:
// right to left). count must be above 0 and index in range.
ViewerPage PageAt(const ImageList& images, DisplayForm form, int orient, int index);

class ViewerSession : public QObject {
    Q_OBJECT
public:
    explicit ViewerSession(QObject* parent = nullptr);
    ~ViewerSession() override;

    // --- what the session owns and holds
    const ViewerState& State() const { return m_state; }
    Settings& Config() { return m_config; }
    const Settings& Config() const { return m_config; }
    // The list itself. Views read it; the transfer engine edits it in place
    // and reports with NotifyListChanged().
    ImageList& Images() { return m_images; }
    const ImageList& Images() const { return m_images; }
    const QStringList& Applications() const { return m_applications; }
    const QString& GraphicFilter() const { return m_graphicFilter; }
    const QString& WorkFolder() const { return m_workFolder; }
    const QString& IniPath() const { return m_iniPath; }
    HistoryStore& History() { return *m_history; }
    uint32_t RandomSeed() const { return m_randomSeed; }

    DisplayForm Form() const { return DisplayFormFromSetting(m_config.Tool.State); }
    int Orient() const { return m_config.Tool.Orient == 1 ? 1 : 0; }

    // --- settings and start-up
    // The settings file to use (a caller may choose it before Load).
    void SetIniPath(const QString& path) { m_iniPath = path; }
    // Reads the settings (the default INI path when none was set).
    void LoadSettings(const QRect& defaultWindow);
    // Writes back only what changed in this run (another instance may have
    // saved since); false when the file could not be written.
    bool SaveSettings();
    // Start-up steps 5 and 6: nothing shown, no slideshow, an empty sorted list.
    void ResetForStart();
    // Opens the history store beside the settings file.
    void OpenHistoryStore();
    // The graphic filter taken again from the format registry.
    void RetakeGraphicFilter();
    void SetGraphicFilter(const QString& filter) { m_graphicFilter = filter; }
    // Removes work folders left behind and chooses this program's own.
    void PrepareWorkFolder();
    // Folder work of this program removed (at exit).
    void RemoveWorkFolder();
    // Paths and switches of the command line, in order.
    void ApplyCommandLine(const QStringList& arguments);
    // The last start-up step: sorting ends, no undo record, normal order.
    void FinishStart();
    void SetApplications(const QStringList& applications);
    void SetSwitchLaunch(bool on) { m_state.SwitchLaunch = on; }
    void SetClosing(bool on) { m_state.Closing = on; }
    void SetStartFullScreen(bool on) { m_state.StartFullScreen = on; }
    // Exit: the list emptied and the viewing ended.
    void EndViewing();

    // Where folder scans and archive unpacks run: the window's runner keeps
    // them off its thread; without one they run in the caller.
    void SetBackgroundRunner(BackgroundRunner runner) { m_runBackground = std::move(runner); }

    // --- opening routes
    // A path: a folder is scanned, an archive unpacked, a picture added.
    void AddPath(const QString& path);
    // AddPath of each path; an archive error ends the adding (the paths
    // added before it stay) and is reported by errorMessage().
    void AddPaths(const QStringList& paths);
    void ScanFolder(const QString& folder);
    void OpenArchive(const QString& archivePath);
    void OpenFiles(const QStringList& files);
    // The folder chosen in the folder dialog; empty when it was cancelled.
    void OpenFolder(const QString& folder);
    void DropPaths(const QStringList& paths);
    void DropOnFullScreen(const QStringList& paths);
    void ListLoaded();
    void PushHistory();
    void OpenHistory(int n);
    void ClearHistory();

    // --- play order and stepping
    void ApplyPlayOrder(int order);
    // Remembers the order (play-order menus and buttons) and applies it.
    void SelectPlayOrder(int order);
    void StepImage(bool forward);
    void SetCurrentIndex(int index);
    // Direction of the last step (true: forward); the way prefetching looks.
    bool SteppingForward() const { return m_forward; }

    // --- the page
    // Prepares the current page and announces it: views let go of their
    // pictures (pageAboutToShow), the index is normalised, vanished files
    // are dropped from the list, and pageChanged() asks the views to show
    // CurrentPage(). An empty list ends the viewing instead.
    void ShowPage();
    // Which path goes into which slot for the current index and form. The
    // list must not be empty.
    ViewerPage CurrentPage() const;
    // The caption of the main window for the current page.
    QString PageCaption() const;
    // Paths of the pages `ahead` steps in the stepping direction and
    // `behind` steps against it, nearest first, without the current page's.
    QStringList NeighbourPaths(int ahead, int behind) const;
    // The current item after normalisation; empty for an empty list.
    QString CurrentPath() const;
    // Shows nothing; the viewing ends (no pictures left).
    void ResetView();

    // --- display settings
    void SetDisplayForm(int state);
    // The display form applied again (views lay out their areas again).
    void ReapplyDisplayForm();
    void SetOrient(int orient);
    void SetZoom(bool on);
    void SetFullScreen(bool on);
    void SetCopyMode(bool copy);
    void SetTransferOpen(bool open);
    // Transfers, rename, delete and the external applications: allowed for a
    // single page, never while the slideshow runs (whatever asks).
    void SetOrganizingAllowed(bool on);
    bool OrganizingAllowed() const { return m_organizingAllowed; }
    // Shows again when the program becomes active (set while a picture is
    // shown, cleared while it is replaced or an archive is unpacked).
    bool ReshowOnActivation() const { return m_reshowOnActivation; }
    void SetReshowOnActivation(bool on) { m_reshowOnActivation = on; }
    void ApplicationActivated();

    // The view is still waiting for a picture of the page: the slideshow
    // does not step on meanwhile.
    void SetPagePending(bool pending) { m_pagePending = pending; }
    bool PagePending() const { return m_pagePending; }

    // --- slideshow
    bool SlideshowOn() const { return m_slideshow; }
    bool SlideshowRunning() const;
    void ToggleSlideshow();
    void ApplySlideshowInterval();
    void SlideshowTick();

    // --- files
    // Sends the current file to the trash (single page only, no slideshow).
    void DeleteCurrentImage();
    // Starts external application `index` on the current file.
    void LaunchApp(int index);
    void SetUndoRecord(const QString& from, const QString& to);
    bool HasUndoRecord() const { return !m_state.UndoFrom.isEmpty() && !m_state.UndoTo.isEmpty(); }
    // The undo record's controls follow it again (a failed undo keeps it).
    void NotifyUndoRecord() { emit undoRecordChanged(); }
    // The caption set from outside the page display (a rename).
    void SetCaption(const QString& caption) { emit captionChanged(caption); }
    // The list was edited in place (a transfer moved the current file away).
    void NotifyListChanged() { emit listChanged(); }
    // The destinations or their number changed (the options dialog).
    void NotifyTransferButtonsChanged() { emit transferButtonsChanged(); }
    bool ToolboxOpen() const { return m_toolboxOpen; }
    void SetToolboxOpen(bool open) { m_toolboxOpen = open; }

    // Test hook: the slideshow timer.
    QTimer* SlideshowTimer() const { return m_slideTimer; }

signals:
    // The list changed (the navigation controls follow its length).
    void listChanged();
    // A new list was loaded (or none): the undo command is switched off.
    void listLoaded();
    // Pictures are viewed or not (after a list was loaded or dropped).
    void viewingChanged(bool viewing);
    // The views release their pictures: a page is about to be shown.
    void pageAboutToShow();
    // The current page is ready to be shown (see CurrentPage()).
    void pageChanged(int index);
    // The list ran empty while pictures were being viewed.
    void noImagesLeft();
    // Nothing is shown any more.
    void viewReset();
    void playOrderChanged(int order);
    void fullScreenChanged(bool on);
    void slideshowChanged(bool on);
    void undoRecordChanged();
    void copyModeChanged(bool copy);
    void displayFormChanged();
    void zoomChanged(bool on);
    void transferOpenChanged(bool open);
    void transferButtonsChanged();
    void organizingChanged(bool on);
    void historyChanged();
    void applicationsChanged();
    void captionChanged(const QString& caption);
    // A folder scan or drop is running (the status bar says so).
    void searching(bool on);
    // An error the user must see (a box with the error icon).
    void errorMessage(const QString& text);
    // The slideshow reached the end with /Repeat=Exit: the program ends.
    void closeRequested();

private:
    bool RunBackground(const QString& title, std::function<int()> countDone,
                       const std::function<void(WorkProgress&)>& work);

    BackgroundRunner m_runBackground;
    bool m_pagePending = false;
    // Above 0 while a scan or unpack runs off the window thread: the
    // slideshow and the activation leave the list alone meanwhile.
    int m_listBuilding = 0;
    std::unique_ptr<TArchiveOpening> m_archiveOpening; // the archive being opened, with those inside it
    int m_archiveDepth = 0;
    Settings m_config;
    Settings m_loadedConfig; // as read at start-up
    QString m_iniPath;
    QString m_startPicture; // /Siblings=On: the picture shown first
    ViewerState m_state;
    ImageList m_images;
    QStringList m_applications;
    QString m_graphicFilter;
    QString m_workFolder;
    uint32_t m_randomSeed = 0;
    std::unique_ptr<HistoryStore> m_history;
    QTimer* m_slideTimer = nullptr;
    bool m_slideshow = false;
    bool m_organizingAllowed = true;
    bool m_reshowOnActivation = false;
    bool m_toolboxOpen = false;
    bool m_forward = true;
};
