#pragma once
// TfMain: the main window, a view over the viewer session. It builds the
// menus over the shared action set, shows the session's pages in its two
// image controls (or in the full-screen window's), runs the start-up and
// exit sequences and turns keys, clicks, wheel turns and drops into the
// session's requests.
#include "viewer/ViewerSession.h"
#include "viewer/WheelSteps.h"
#include "viewer/common/ProductTexts.h"
#include "viewer/common/ViewerActions.h"
#include "viewer/PicturePipeline.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QMenu;
class TImageControl;
class TfMax;
class TplBrowseFolder;
class PageLoader;

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up sequence with the command-line arguments (without
    // the program name). attach links the other subsystems (its handlers
    // below) before the start-up sequence runs.
    explicit TfMain(const QStringList& arguments, QWidget* parent = nullptr,
                    const std::function<void(TfMain&)>& attach = {});
    ~TfMain() override;

    // Shows the window after the start-up sequence, unless the start put the
    // pictures in full screen: the full-screen window stands for it then.
    void ShowAtStart();

    ViewerSession& Session() { return *m_session; }
    const ViewerSession& Session() const { return *m_session; }
    // The command-line arguments the program was started with.
    const QStringList& StartArguments() const { return m_startArguments; }
    const ViewerActions& Actions() const { return m_actions; }

    // --- display: the one place where a page's pictures are asked for and
    // shown (the session's pageChanged() leads here)
    void ShowImages();
    void LayoutArea(bool spread);
    void ApplyDisplayForm();
    void SetOrganizingControls(bool on);
    void EnableFileActions(bool on);
    void UpdateModeChecks();
    void ShowTransferState();
    void BuildToolsMenu();
    void CopyToClipboard();
    int AreaWidth() const { return m_areaWidth; }
    int AreaHeight() const { return m_areaHeight; }

    // --- menu commands that ask the user first
    void OpenFolder();
    void ClearHistory(); // ListDel1
    void RefreshHistoryMenu();

    // --- full screen
    void ToggleFullScreen(); // Max1
    TfMax* FullScreenWindow() const;

    // --- input, shared with the full-screen window
    void HandleKey(QKeyEvent* event);
    void HandleMousePress(const QPoint& globalPos);
    void HandleMouseRelease(const QPoint& globalPos, Qt::MouseButton button);
    void HandleWheel(int delta);
    void HandleImageMouseMove(TImageControl* control, QMouseEvent* event);

    // --- links to the other subsystems (set by the program entry)
    std::function<void(TfMain&)> ToggleToolboxHandler; // ToolBox1
    std::function<void(TfMain&, int)> TransferHandler; // digit keys
    std::function<void(TfMain&)> UndoHandler; // MoveUndo1
    std::function<void(TfMain&)> RenameHandler; // fNameChange1
    std::function<void(TfMain&)> TransferToggleHandler; // Transfer1
    std::function<void(TfMain&, TImageControl*)> DragOutHandler; // dragging a file out
    std::function<void(TfMain&)> OptionsHandler; // option1
    std::function<void(TfMain&)> ShortcutHandler; // ShortcutCreate
    std::function<void(TfMain&)> HelpHandler; // Help1
    std::function<void(TfMain&)> AboutHandler; // about1
    std::function<void(TfMain&, const QString& mask)> PluginSearchHandler;
    std::function<void(TfMain&)> CloseToolboxHandler; // exit: release the toolbox

    // Re-enables the actions whose handler was linked after construction.
    void RefreshLinkedActions();
    void RefreshUndoControls();

    QMenu* ToolsMenu() const { return m_toolsMenu; }
    QMenu* PopupMenu() const { return m_popupMenu; }
    TImageControl* ImageAt(int position) const;
    QLabel* LabelAt(int position) const;
    // The picture shown in a page slot (none while it is awaited or failed).
    const DecodedPicture* ShownPicture(int slot) const { return m_shown[static_cast<size_t>(slot & 1)].get(); }
    // Decodes the pictures off the window thread; tests also wait on it.
    PicturePipeline& Pipeline() { return *m_pipeline; }
    PageLoader& Pages() { return *m_pageLoader; }
    QString StatusText() const;
    void SetStatusText(const QString& text);
    int MenuHeight() const;

    // Folder scans and unpacks show their progress window after this delay;
    // the hook (for tests) is called once it is up.
    int WorkProgressDelayMs = 300;
    std::function<void(QWidget* progressWindow)> WorkProgressShown;

    // Test hook: file chooser for fileopen1 (returns the chosen files).
    std::function<QStringList(TfMain&)> OpenFilesDialog;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    // MainWindow.cpp: creation, start-up and exit
    void FormCreate(const QStringList& arguments);
    void FormShow();
    void FormCloseQuery();
    void RestorePlacement();
    void FollowSession();
    void ApplicationStateChanged(Qt::ApplicationState state);
    // MainWindowMenus.cpp
    void BuildMenus();
    void OpenFiles();
    // MainWindowDisplay.cpp
    void BeforePageShown();
    void NoImagesLeft();
    void ResetView();
    void ReleaseShownPictures();
    void DetachUnheldGraphics();
    void ShowSlot(int slot, const DecodedPicturePtr& picture);
    void ClearSlotControl(int slot);
    FitInput FitFor(int position) const;
    void ShowBusy(bool busy);
    void ShowUndecodable(int position);
    // The reasons in the status bar until a page shows without failures.
    void ShowUndecodableReasons(const QStringList& reasons);
    void ShowSlotReasons();
    void HideLabel(int position);
    TImageControl* TargetControl(int position) const;
    void SlideshowChanged(bool on);
    // MainWindowFullScreen.cpp
    void ApplyFullScreen();
    void FullScreenClosedBySystem();
    void FullScreenShown();
    void FullScreenResized();

    ViewerSession* m_session = nullptr;
    ViewerActions m_actions;
    std::unique_ptr<PicturePipeline> m_pipeline;
    PageLoader* m_pageLoader = nullptr;
    ViewerPage m_page; // the page being shown
    std::array<DecodedPicturePtr, 2> m_shown;
    std::array<TImageControl*, 2> m_images{};
    std::array<QLabel*, 2> m_labels{};
    QWidget* m_display = nullptr;
    QMenu* m_toolsMenu = nullptr;
    QMenu* m_historyMenu = nullptr;
    QMenu* m_popupMenu = nullptr;
    QList<QAction*> m_appActions;
    std::unique_ptr<TplBrowseFolder> m_folderDialog;
    QPointer<TfMax> m_fullScreen;
    QString m_savedStatus;
    int m_areaWidth = 0;
    int m_areaHeight = 0;
    bool m_firstShowDone = false;
    bool m_placementRestored = false;
    QPoint m_mouseDown;
    WheelSteps m_wheel;
    bool m_reasonShown = false;
    std::array<QString, 2> m_slotReasons; // why a slot of the current page shows nothing
    bool m_exitDone = false;
    QStringList m_startArguments;
};
