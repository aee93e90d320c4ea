#pragma once
// TfMain: the main window. It owns the image list, the two pictures, the
// external application list and the viewer state, builds the menu, and runs
// the start-up and exit sequences, display, navigation, slideshow and history.
#include "viewer/HistoryStore.h"
#include "viewer/ImageList.h"
#include "viewer/Navigation.h"
#include "viewer/CommandLine.h"
#include "viewer/PicturePipeline.h"
#include "settings/IniSettings.h"
#include "fullscreen/FullScreenWindow.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TImageControl;
class IToolboxLink;
class PageLoader;
class TplBrowseFolder;

// Fixed texts of the program.
namespace MainTexts {
inline const QString ProductName = QStringLiteral("ミレット");
inline const QString Version = QStringLiteral("Ver\u30003.41");
inline const QString ArchiveExtensions = QStringLiteral(
    "*.lzh,*.zip,*.cab,*.arj,*.rar,*.gca,*.bza,*.gza,*.bel,*.tgz,*.taz,*.gz,z,*.bz2,*.tar,*.cpio,*.ar");
inline const QString ExcludedExtensions = QStringLiteral(
    "*.wav,*.mid,*.mp3,*.avi,*.mov,*.au,*.asf,*.mpg,*.wma,*.aif");
inline const QString Searching = QStringLiteral("ただいま、画像を検索中です。");
inline const QString NoImages = QStringLiteral("表示する画像はありません。");
inline const QString Undecodable = QStringLiteral("表示不可");
} // namespace MainTexts

// Extension tests on a file name: the extension lower-cased with its dot,
// searched as a substring. A name without extension passes none of them.
QString DottedExtension(const QString& path);
bool IsArchiveName(const QString& path);
bool IsExcludedName(const QString& path);
bool IsImageName(const QString& path, const QString& graphicFilter);
// The part of an application path before its first "." without the folder.
QString ApplicationName(const QString& appPath);
// The arguments an external application receives for the shown image: the
// path as one argument; "gmask.exe" takes it unquoted, so its blanks split it.
QStringList LaunchArguments(const QString& appPath, const QString& imagePath);
// Unpack folder for an archive under the work folder: name with "." -> "_",
// then [001], [002], ... until the name is free.
QString UnpackFolderFor(const QString& workFolder, const QString& archivePath);
// The files in the folder and all folders below it.
int CountFilesBelow(const QString& folder);

// The work folder of one running program below the private folder: each
// instance unpacks into its own "picture-<pid>", so two viewers never
// delete each other's pictures.
QString WorkFolderFor(const QString& base, qint64 pid);
// Deletes the work folders left by programs that are no longer running.
void RemoveStaleWorkFolders(const QString& base);

struct ViewerState {
    int CurrentIndex = 0;
    bool Viewing = false;
    bool Closing = false;
    bool SwitchLaunch = false;
    int RepeatMode = -1;
    int PlayOrder = 0;       // 1 random, 2 normal, 3 reverse
    bool FullScreen = false; // the check of Max1
    bool StartFullScreen = false;
    int AreaWidth = 0;
    int AreaHeight = 0;
    QString UndoFrom;        // path before the last move
    QString UndoTo;          // path after it
};

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up sequence with the command-line arguments (without
    // the program name).
    // attach links the other subsystems (its handlers below) before the
    // start-up sequence runs.
    explicit TfMain(const QStringList& arguments, QWidget* parent = nullptr,
                    const std::function<void(TfMain&)>& attach = {});
    ~TfMain() override;

    // --- state shared with the toolbox, the transfer engine and full screen
    ViewerState State;
    Settings Config;
    ImageList Images;
    QStringList Applications; // external application list
    QString GraphicFilter;
    QString WorkFolder;       // empty when no safe work folder exists
    QString IniPath;
    uint32_t RandomSeed = 0;

    DisplayForm Form() const { return DisplayFormFromSetting(Config.Tool.State); }
    int Orient() const { return Config.Tool.Orient == 1 ? 1 : 0; }
    bool SlideshowRunning() const;

    // --- display and navigation
    void ShowImages();
    void StepImage(bool forward);
    void LayoutArea(bool spread);
    void ApplyDisplayForm();
    void SetOrganizingControls(bool on);
    void EnableFileActions(bool on);
    void ResetView();
    void UpdateModeChecks();
    void ShowTransferState();
    void BuildToolsMenu();
    void LaunchApp(int index);
    void DeleteCurrentImage();
    void CopyToClipboard();

    // --- image list
    void AddPath(const QString& path);
    // AddPath of each path; an error of the archive component ends the
    // adding and is shown in an error box.
    void AddPaths(const QStringList& paths);
    void ScanFolder(const QString& folder);
    void OpenArchive(const QString& archivePath);
    void ApplyPlayOrder(int order);
    void ListLoaded();
    void SelectPlayOrder(int order);
    void OpenFiles(const QStringList& files);
    void OpenFolder();
    void DropPaths(const QStringList& paths);
    void DropOnFullScreen(const QStringList& paths);

    // --- slideshow
    void ToggleSlideshow();
    void SlideshowTick();
    void ApplySlideshowInterval();

    // --- history
    void PushHistory();
    void RefreshHistoryMenu();
    void OpenHistory(int n);
    void ClearHistory(); // ListDel1

    // --- full screen
    void ApplyFullScreen();
    void ToggleFullScreen(); // Max1
    TfMax* FullScreenWindow() const { return m_fullScreen; }
    void FullScreenClosedBySystem();

    // --- input, shared with the full-screen window
    void HandleKey(QKeyEvent* event);
    void HandleMousePress(const QPoint& globalPos);
    void HandleMouseRelease(const QPoint& globalPos, Qt::MouseButton button);
    void HandleWheel(int delta);
    void HandleImageMouseMove(TImageControl* control, QMouseEvent* event);

    // --- links to the organizing subsystem (set by the program entry)
    void SetToolbox(IToolboxLink* toolbox) { m_toolbox = toolbox; }
    IToolboxLink* Toolbox() const { return m_toolbox; }
    std::function<void(TfMain&)> ToggleToolboxHandler;          // ToolBox1
    std::function<void(TfMain&, int)> TransferHandler;          // digit keys
    std::function<void(TfMain&)> UndoHandler;                   // MoveUndo1
    std::function<void(TfMain&)> RenameHandler;                 // fNameChange1
    std::function<void(TfMain&)> TransferToggleHandler;         // Transfer1
    std::function<void(TfMain&, TImageControl*)> DragOutHandler; // dragging a file out
    std::function<void(TfMain&)> OptionsHandler;                // option1
    std::function<void(TfMain&)> ShortcutHandler;               // ShortcutCreate
    std::function<void(TfMain&)> HelpHandler;                   // Help1
    std::function<void(TfMain&)> AboutHandler;                  // about1
    std::function<void(TfMain&, const QString& mask)> PluginSearchHandler;
    std::function<void(TfMain&)> CloseToolboxHandler;           // exit: release the toolbox

    // Re-enables the actions whose handler was linked after construction.
    void RefreshLinkedActions();

    QAction* Action(const QString& name) const;
    QMenu* ToolsMenu() const { return m_toolsMenu; }
    QMenu* PopupMenu() const { return m_popupMenu; }
    TImageControl* ImageAt(int position) const;
    QLabel* LabelAt(int position) const;
    // The picture shown in a page slot (none while it is awaited or failed).
    const DecodedPicture* ShownPicture(int slot) const { return m_shown[static_cast<size_t>(slot & 1)].get(); }
    // Decodes the pictures off the window thread; also used by tests to
    // wait for the page.
    PicturePipeline& Pipeline() { return *m_pipeline; }
    PageLoader& Pages() { return *m_pageLoader; }
    QString StatusText() const;
    void SetStatusText(const QString& text);
    HistoryStore& History() { return *m_history; }
    void RefreshUndoControls();
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

private:
    void FormCreate(const QStringList& arguments);
    void FormShow();
    void FormCloseQuery();
    void RestorePlacement();
    void BuildMenus();
    QAction* MakeAction(const QString& name, const QString& caption, const QKeySequence& shortcut);
    void InstallActivationHook();
    void RemoveActivationHook();
    void ApplicationStateChanged(Qt::ApplicationState state);
    void ReleaseShownPictures();
    void DetachUnheldGraphics();
    void ShowSlot(int slot, const DecodedPicturePtr& picture);
    void ClearSlotControl(int slot);
    FitInput FitFor(int position) const;
    QStringList PagePaths(int index) const;
    std::vector<PictureRequest> AheadRequests() const;
    void ShowBusy(bool busy);
    void ShowUndecodable(int position);
    void HideLabel(int position);
    TImageControl* TargetControl(int position) const;

    std::unique_ptr<PicturePipeline> m_pipeline;
    PageLoader* m_pageLoader = nullptr;
    std::array<DecodedPicturePtr, 2> m_shown;
    std::array<int, 2> m_slotPosition{0, 1};
    bool m_steppingForward = true;
    // Above 0 while the list is being built off the window thread: the
    // slideshow and the activation hook leave the list alone meanwhile.
    int m_listBuilding = 0;
    struct ListBuilding {
        explicit ListBuilding(TfMain& main) : m(main) { ++m.m_listBuilding; }
        ~ListBuilding() { --m.m_listBuilding; }
        TfMain& m;
    };
    std::array<TImageControl*, 2> m_images{};
    std::array<QLabel*, 2> m_labels{};
    QWidget* m_display = nullptr;
    QTimer* m_slideTimer = nullptr;
    QMenu* m_toolsMenu = nullptr;
    QMenu* m_historyMenu = nullptr;
    QMenu* m_popupMenu = nullptr;
    QList<QAction*> m_appActions;
    std::array<QAction*, 6> m_historyActions{};
    std::unique_ptr<HistoryStore> m_history;
    std::unique_ptr<TplBrowseFolder> m_folderDialog;
    IToolboxLink* m_toolbox = nullptr;
    QPointer<TfMax> m_fullScreen;
    bool m_activationHook = false;
    bool m_firstShowDone = false;
    QPoint m_mouseDown;
    bool m_exitDone = false;
};
