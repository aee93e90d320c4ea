#pragma once
// TplBrowseFolder: the program's folder browser. A component owned by a
// window: set its properties, call Execute, read Directory.
#include <QPointer>
#include <QSize>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

enum TplBFSpecialDir {
    sfNone,
    sfDesktop,
    sfProgrmas,
    sfControls,
    sfPritners,
    sfPersonal,
    sfFavorites,
    sfStartup,
    sfRecent,
    sfSendTo,
    sfBitBucket,
    sfStartMenu,
    sfDesktopDirectory,
    sfDrives,
    sfNetWork,
    sfNetHood,
    sfFonts,
    sfTemplates,
    sfAppData,
    sfPrintHood
};

// Browser flags, one bit per option.
enum TplBrowseOption : unsigned {
    bifReturnOnlyFSDirs = 0x0001,
    bifDontGoBelowDomain = 0x0002,
    bifStatusText = 0x0004,
    bifReturnFSAncestors = 0x0008,
    bifNewDialogStyle = 0x0040,
    bifNonNewFolderButton = 0x0200,
    bifBrowseForComputer = 0x1000,
    bifBrowseForPrinter = 0x2000,
    bifBrowseIncludeFiles = 0x4000,
};

// The shell folder number (CSIDL) a special folder stands for.
int SpecialDirCsidl(TplBFSpecialDir dir);

class TplBrowseFolder {
public:
    using ShowEvent = std::function<void(TplBrowseFolder& sender)>;
    using SelectionChangedEvent = std::function<void(TplBrowseFolder& sender, QDialog* wnd, const QString& directory,
                                                     QString& statusText, bool& okBtnEnabled)>;

    explicit TplBrowseFolder(QWidget* owner);
    ~TplBrowseFolder();

    // Published properties.
    QString RootDir;
    TplBFSpecialDir RootSpecialDir = sfDesktop;
    QString InitDir;
    TplBFSpecialDir InitSpecialDir = sfNone;
    unsigned Options = bifReturnOnlyFSDirs;
    QString Title;
    QString Caption;
    ShowEvent OnShow;
    SelectionChangedEvent OnSelectionChanged;

    void SetCaption(const QString& caption) { Caption = caption; }
    void SetInitDir(const QString& dir) { InitDir = dir; }

    int FormWidth() const { return m_formWidth; }
    int FormHeight() const { return m_formHeight; }
    int FormLeft() const { return m_formLeft; }
    int FormTop() const { return m_formTop; }
    void SetFormWidth(int value);
    void SetFormHeight(int value);
    void SetFormLeft(int value) { m_formLeft = value; }
    void SetFormTop(int value) { m_formTop = value; }
    QSize MinimumSize() const { return m_minimum; }

    bool Execute();
    QString Directory() const { return m_directory; }
    QString DisplayName() const { return m_displayName; }
    QDialog* DialogWindow() const { return m_dialog; }

    // The folder a (path, special folder) pair stands for as a start folder
    // or as the root of the tree.
    static QString StartFolderOf(const QString& path, TplBFSpecialDir special);
    static QString RootFolderOf(const QString& path, TplBFSpecialDir special);

    // The natural size of the browser window.
    static constexpr int kDefaultWidth = 371;
    static constexpr int kDefaultHeight = 311;

private:
    QWidget* m_owner;
    QPointer<QDialog> m_dialog;
    QString m_directory;
    QString m_displayName;
    int m_formWidth = kDefaultWidth;
    int m_formHeight = kDefaultHeight;
    int m_formLeft = 0;
    int m_formTop = 0;
    QSize m_minimum{kDefaultWidth, kDefaultHeight};
};
