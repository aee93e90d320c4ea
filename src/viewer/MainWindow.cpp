#include "MainWindow.h"

#include "viewer/BackgroundWork.h"
#include "viewer/FitPicture.h"
#include "viewer/ImageControl.h"
#include "viewer/PageLoader.h"
#include "viewer/SharedHelpers.h"
#include "viewer/SlideshowText.h"
#include "viewer/ToolboxLink.h"
#include "archive/ArchiveFile.h"
#include "decode/FormatRegistry.h"
#include "dialogs/BrowseFolder.h"
#include "fullscreen/FullScreenWindow.h"
#include "platform/Desktop.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/ProgramLocation.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <utility>

// ---------------------------------------------------------------- helpers

QString DottedExtension(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return {};
    return path.mid(dot).toLower();
}

bool IsArchiveName(const QString& path)
{
    const QString ext = DottedExtension(path);
    return !ext.isEmpty() && MainTexts::ArchiveExtensions.contains(ext);
}

bool IsExcludedName(const QString& path)
{
    const QString ext = DottedExtension(path);
    return !ext.isEmpty() && MainTexts::ExcludedExtensions.contains(ext);
}

bool IsImageName(const QString& path, const QString& graphicFilter)
{
    const QString ext = DottedExtension(path);
    return !ext.isEmpty() && graphicFilter.contains(ext);
}

QString ApplicationName(const QString& appPath)
{
    QString name = appPath;
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.left(dot);
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 ? name.mid(slash + 1) : name;
}

QStringList LaunchArguments(const QString& appPath, const QString& imagePath)
{
    const QString fileName = appPath.mid(appPath.lastIndexOf(QLatin1Char('/')) + 1).toLower();
    if (fileName == QLatin1String("gmask.exe"))
        return imagePath.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return {imagePath};
}

QString UnpackFolderFor(const QString& workFolder, const QString& archivePath)
{
    const QString base = IncludeBackslash(workFolder)
        + ReplaceChar(QFileInfo(archivePath).fileName(), QLatin1Char('.'), QLatin1Char('_'));
    QString candidate = base;
    for (int n = 1; platform::DirectoryExists(candidate) || platform::FileExists(candidate); ++n)
        candidate = base + NumberSuffix(n);
    return candidate;
}

int CountFilesBelow(const QString& folder)
{
    int count = 0;
    for (const platform::DirEntry& entry : platform::ListDirectory(folder))
        count += entry.isDir ? CountFilesBelow(IncludeBackslash(folder) + entry.name) : 1;
    return count;
}

QString WorkFolderFor(const QString& base, qint64 pid)
{
    return IncludeBackslash(base) + QStringLiteral("picture-") + QString::number(pid);
}

void RemoveStaleWorkFolders(const QString& base)
{
    // "picture" and "picture-<pid>" of programs that are no longer running.
    // A folder of a running instance is left alone: it holds that
    // instance's unpacked archives.
    const QString prefix = QStringLiteral("picture-");
    for (const platform::DirEntry& entry : platform::ListDirectory(base)) {
        if (!entry.isDir)
            continue;
        bool stale = entry.name == QLatin1String("picture");
        if (!stale && entry.name.startsWith(prefix)) {
            bool ok = false;
            const qint64 pid = entry.name.mid(prefix.size()).toLongLong(&ok);
            stale = !ok || !platform::ProcessExists(pid);
        }
        if (stale)
            DeleteFolderTree(IncludeBackslash(base) + entry.name);
    }
}

// ---------------------------------------------------------------- creation

TfMain::TfMain(const QStringList& arguments, QWidget* parent, const std::function<void(TfMain&)>& attach)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("fMain"));
    m_pipeline = std::make_unique<PicturePipeline>();
    m_pageLoader = new PageLoader(*m_pipeline, this);
    connect(m_pageLoader, &PageLoader::slotReady, this, &TfMain::ShowSlot);
    connect(m_pageLoader, &PageLoader::busyChanged, this, &TfMain::ShowBusy);
    BuildMenus();

    m_display = new QWidget(this);
    m_display->setObjectName(QStringLiteral("DisplayArea"));
    m_display->setFocusPolicy(Qt::StrongFocus);
    m_display->installEventFilter(this);
    setCentralWidget(m_display);
    for (int i = 0; i < 2; ++i) {
        auto* image = new TImageControl(m_display);
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        image->setGeometry(0, 0, 0, 0);
        connect(image, &TImageControl::mousePressed, this,
                [this](QMouseEvent* e) { HandleMousePress(e->globalPosition().toPoint()); });
        connect(image, &TImageControl::mouseReleased, this, [this](QMouseEvent* e) {
            HandleMouseRelease(e->globalPosition().toPoint(), e->button());
        });
        connect(image, &TImageControl::mouseMoved, this,
                [this, image](QMouseEvent* e) { HandleImageMouseMove(image, e); });
        m_images[static_cast<size_t>(i)] = image;

        auto* label = new QLabel(MainTexts::Undecodable, m_display);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        QFont font(QStringLiteral("メイリオ"));
        font.setPixelSize(16);
        label->setFont(font);
        label->setStyleSheet(QStringLiteral("color: red;"));
        label->adjustSize();
        label->hide();
        m_labels[static_cast<size_t>(i)] = label;
    }
    m_images[1]->hide();

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(true);
    statusBar()->showMessage(SlideshowOffText());

    m_slideTimer = new QTimer(this);
    m_slideTimer->setObjectName(QStringLiteral("Timer1"));
    connect(m_slideTimer, &QTimer::timeout, this, &TfMain::SlideshowTick);

    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu1"));

    resize(504, 356);
    setAcceptDrops(false);
    RegisterDropTarget(this);
    if (attach)
        attach(*this);
    FormCreate(arguments);
}

TfMain::~TfMain()
{
    UnregisterDropTarget(this);
    RemoveActivationHook();
    // No decode may outlive the window: stop them before anything goes.
    m_pipeline->CancelAll();
    m_pipeline->WaitForIdle();
    if (m_fullScreen)
        delete m_fullScreen.data();
    ReleaseShownPictures();
}

QAction* TfMain::MakeAction(const QString& name, const QString& caption, const QKeySequence& shortcut)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::ApplicationShortcut);
    }
    return action;
}

QAction* TfMain::Action(const QString& name) const
{
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

void TfMain::BuildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));

    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("FileMenu"));
    auto add = [this](QMenu* menu, const QString& name, const QString& caption, const QKeySequence& key,
                      auto slot) {
        QAction* action = MakeAction(name, caption, key);
        connect(action, &QAction::triggered, this, slot);
        menu->addAction(action);
        return action;
    };
    add(file, QStringLiteral("fileopen1"), QStringLiteral("画像ファイルを開く(&O)..."),
        QKeySequence(Qt::CTRL | Qt::Key_O), [this] {
            QStringList files;
            if (OpenFilesDialog) {
                files = OpenFilesDialog(*this);
            } else {
                QString filter = GraphicFilter;
                // The filter text is "description|pattern|..." pairs.
                const QStringList parts = filter.split(QLatin1Char('|'));
                QStringList qtFilters;
                for (int i = 0; i + 1 < parts.size(); i += 2)
                    qtFilters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
                files = QFileDialog::getOpenFileNames(this, QString(), Config.Window.LastDir,
                                                      qtFilters.join(QStringLiteral(";;")));
            }
            if (!files.isEmpty())
                OpenFiles(files);
        });
    add(file, QStringLiteral("OpenFolder1"), QStringLiteral("フォルダを開く(&F)..."),
        QKeySequence(Qt::CTRL | Qt::Key_F), [this] { OpenFolder(); });
    file->addSeparator();
    QAction* slide = add(file, QStringLiteral("slideshow1"), QStringLiteral("スライドショー(&Z)"),
                         QKeySequence(Qt::Key_F2), [this] { ToggleSlideshow(); });
    slide->setCheckable(true);
    // The check mark is the slideshow state: the toggle sets it itself.
    disconnect(slide, &QAction::triggered, nullptr, nullptr);
    connect(slide, &QAction::triggered, this, [this, slide] {
        slide->setChecked(!slide->isChecked()); // undo Qt's own toggling
        ToggleSlideshow();
    });
    add(file, QStringLiteral("option1"), QStringLiteral("オプション(&S)..."), QKeySequence(Qt::Key_F5),
        [this] { if (OptionsHandler) OptionsHandler(*this); });
    add(file, QStringLiteral("ShortcutCreate"), QStringLiteral("ショートカットファイルの作成(&Y)..."),
        QKeySequence(), [this] { if (ShortcutHandler) ShortcutHandler(*this); });
    file->addSeparator();
    m_historyMenu = file->addMenu(QStringLiteral("履歴(&B)"));
    m_historyMenu->setObjectName(QStringLiteral("HistoryMenu"));
    QAction* list1 = m_historyMenu->menuAction();
    list1->setObjectName(QStringLiteral("List1"));
    list1->setParent(this);
    for (int n = 1; n <= 6; ++n) {
        QAction* ov = MakeAction(QStringLiteral("ov%1").arg(n), QString(), QKeySequence());
        ov->setData(n);
        ov->setVisible(false);
        connect(ov, &QAction::triggered, this, [this, n] { OpenHistory(n); });
        m_historyMenu->addAction(ov);
        m_historyActions[static_cast<size_t>(n - 1)] = ov;
    }
    add(file, QStringLiteral("ListDel1"), QStringLiteral("履歴のクリア(&D)"), QKeySequence(),
        [this] { ClearHistory(); });
    file->addSeparator();
    add(file, QStringLiteral("exit1"), QStringLiteral("終了(&X)"), QKeySequence(Qt::CTRL | Qt::Key_Q),
        [this] { close(); });

    QMenu* edit = bar->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    add(edit, QStringLiteral("MoveUndo1"), QStringLiteral("１つ前の移動の取り消し(&Z)"),
        QKeySequence(Qt::CTRL | Qt::Key_Z), [this] {
            if (!State.UndoFrom.isEmpty() && !State.UndoTo.isEmpty() && UndoHandler)
                UndoHandler(*this);
        });
    edit->addSeparator();
    add(edit, QStringLiteral("fNameChange1"), QStringLiteral("ファイル名変更(&Y)"),
        QKeySequence(Qt::CTRL | Qt::Key_B), [this] { if (RenameHandler) RenameHandler(*this); });
    edit->addSeparator();
    add(edit, QStringLiteral("clipcopy1"), QStringLiteral("クリップボードにコピー(&X)"),
        QKeySequence(Qt::CTRL | Qt::Key_C), [this] { CopyToClipboard(); });

    m_toolsMenu = bar->addMenu(QStringLiteral("ツール(&T)"));
    m_toolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
    add(m_toolsMenu, QStringLiteral("ToolBox1"), QStringLiteral("ツールボックス(&Z)"), QKeySequence(Qt::Key_F3),
        [this] { if (ToggleToolboxHandler) ToggleToolboxHandler(*this); });
    QAction* copyMode = add(m_toolsMenu, QStringLiteral("CopyMode1"), QStringLiteral("複写モード(&Y)"),
                            QKeySequence(Qt::CTRL | Qt::Key_N), [this] {
                                Config.Option.Copy = true;
                                UpdateModeChecks();
                            });
    QAction* moveMode = add(m_toolsMenu, QStringLiteral("MoveMode1"), QStringLiteral("移動モード(&X)"),
                            QKeySequence(Qt::CTRL | Qt::Key_M), [this] {
                                Config.Option.Copy = false;
                                UpdateModeChecks();
                            });
    copyMode->setCheckable(true);
    moveMode->setCheckable(true);
    add(m_toolsMenu, QStringLiteral("Transfer1"), QStringLiteral("転送切り替え(&W)"),
        QKeySequence(Qt::CTRL | Qt::Key_T), [this] { if (TransferToggleHandler) TransferToggleHandler(*this); });
    m_toolsMenu->addSeparator();
    QAction* max1 = add(m_toolsMenu, QStringLiteral("Max1"), QStringLiteral("フルスクリーン(&V)"),
                        QKeySequence(Qt::Key_F4), [this] { ToggleFullScreen(); });
    max1->setCheckable(true);
    disconnect(max1, &QAction::triggered, nullptr, nullptr);
    connect(max1, &QAction::triggered, this, [this, max1] {
        max1->setChecked(!max1->isChecked());
        ToggleFullScreen();
    });
    m_toolsMenu->addSeparator();
    QMenu* order = m_toolsMenu->addMenu(QStringLiteral("再生順序(&U)"));
    order->setObjectName(QStringLiteral("PlayOrderMenu"));
    const struct { const char* name; const char* caption; Qt::Key key; int tag; } orders[] = {
        {"menu_random", "ランダム(&X)", Qt::Key_F7, 1},
        {"menu_normal", "正順(&Y)", Qt::Key_F8, 2},
        {"menu_reverse", "逆順(&Z)", Qt::Key_F9, 3},
    };
    for (const auto& o : orders) {
        QAction* a = add(order, QString::fromLatin1(o.name), QString::fromUtf8(o.caption), QKeySequence(o.key),
                         [this, tag = o.tag] { SelectPlayOrder(tag); });
        a->setData(o.tag);
    }
    m_toolsMenu->addSeparator();

    QMenu* help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    add(help, QStringLiteral("Help1"), QStringLiteral("ヘルプ表示(&Z)"), QKeySequence(Qt::Key_F1),
        [this] { if (HelpHandler) HelpHandler(*this); });
    add(help, QStringLiteral("about1"), QStringLiteral("バージョン情報(&Y)"), QKeySequence(),
        [this] { if (AboutHandler) AboutHandler(*this); });
}

void TfMain::RefreshLinkedActions()
{
    const struct { const char* name; bool linked; } links[] = {
        {"ToolBox1", bool(ToggleToolboxHandler)}, {"Transfer1", bool(TransferToggleHandler)},
        {"option1", bool(OptionsHandler)},        {"ShortcutCreate", bool(ShortcutHandler)},
        {"Help1", bool(HelpHandler)},             {"about1", bool(AboutHandler)},
    };
    for (const auto& l : links) {
        if (QAction* a = Action(QString::fromLatin1(l.name)))
            a->setEnabled(l.linked);
    }
    if (!RenameHandler)
        Action(QStringLiteral("fNameChange1"))->setEnabled(false);
    RefreshUndoControls();
}

void TfMain::RefreshUndoControls()
{
    Action(QStringLiteral("MoveUndo1"))
        ->setEnabled(UndoHandler && !State.UndoFrom.isEmpty() && !State.UndoTo.isEmpty());
}

// ---------------------------------------------------------------- start-up

void TfMain::FormCreate(const QStringList& arguments)
{
    // 1.
    State.Closing = false;
    State.StartFullScreen = false;
    InstallActivationHook();
    // 2.
    setWindowTitle(QString());
    // 3. Pictures: the pipeline made with the window (the external
    // application list comes with the settings).
    // 4.
    if (IniPath.isEmpty()) // a caller may have chosen the file already
        IniPath = IniSettings::IniPathFor(platform::ProgramFilePath(), platform::SettingsFolder());
    Config = IniSettings::Load(IniPath, QRect(0, 0, width(), height()));
    Applications = Config.AppDirs;
    State.RepeatMode = -1;
    if (Config.Window.State)
        setWindowState(windowState() | Qt::WindowMaximized);
    // 5.
    State.Viewing = false;
    State.SwitchLaunch = false;
    m_slideTimer->stop();
    Action(QStringLiteral("slideshow1"))->setEnabled(false);
    Action(QStringLiteral("MoveUndo1"))->setEnabled(false);
    UpdateModeChecks();
    // 6.
    Images.Clear();
    Images.SetSorted(true);
    // 7.
    m_history = std::make_unique<HistoryStore>(QFileInfo(IniPath).absolutePath(), Config.Window.ListMax);
    BuildToolsMenu();
    Action(QStringLiteral("List1"))->setEnabled(false);
    Action(QStringLiteral("ListDel1"))->setVisible(false);
    // 8.
    Action(QStringLiteral("clipcopy1"))->setEnabled(Form() == DisplayForm::SinglePage);
    EnableFileActions(false);
    // 9.
    if (PluginSearchHandler)
        PluginSearchHandler(*this, IncludeBackslash(Config.SusieDir) + QStringLiteral("*.spi"));
    // 10.
    GraphicFilter = TFormatRegistry::Instance().GraphicFilter();
    // 11.
    if (const auto base = platform::PrivateWorkFolder()) {
        RemoveStaleWorkFolders(*base);
        WorkFolder = WorkFolderFor(*base, platform::CurrentProcessId());
        if (platform::DirectoryExists(WorkFolder))
            DeleteFolderTree(WorkFolder);
    }
    // 12.
    for (const QString& argument : arguments) {
        if (!IsSwitchArgument(argument)) {
            AddPaths({platform::CanonicalPath(argument)});
            continue;
        }
        LaunchState launch;
        launch.SwitchLaunch = State.SwitchLaunch;
        launch.RepeatMode = State.RepeatMode;
        launch.StartFullScreen = State.StartFullScreen;
        ApplySwitch(argument, Config, launch);
        State.SwitchLaunch = launch.SwitchLaunch;
        State.RepeatMode = launch.RepeatMode;
        if (launch.AutoStart)
            ToggleSlideshow();
        if (launch.StartFullScreen && !State.StartFullScreen) {
            State.StartFullScreen = true;
            ToggleFullScreen();
        }
    }
    // 13.
    Images.SetSorted(false);
    State.UndoFrom.clear();
    State.UndoTo.clear();
    State.PlayOrder = 2;
    ApplyPlayOrder(2);
    RefreshLinkedActions();
}

void TfMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_firstShowDone) {
        m_firstShowDone = true;
        FormShow();
    } else if (!State.StartFullScreen) {
        LayoutArea(IsSpread(Form()));
    }
}

void TfMain::FormShow()
{
    if (State.StartFullScreen)
        return;
    setAcceptDrops(true);
    if (!m_fullScreen)
        RestorePlacement();
    LayoutArea(IsSpread(Form()));
    // The placement resized the window: show the pictures in the new area.
    if (State.Viewing)
        ShowImages();
}

void TfMain::RestorePlacement()
{
    ListLoaded();
    if (!(windowState() & Qt::WindowMaximized)) {
        if (Config.Window.Width > 0 && Config.Window.Height > 0)
            setGeometry(Config.Window.Left, Config.Window.Top, Config.Window.Width, Config.Window.Height);
        KeepOnDesktop(this);
    }
    if (Config.Tool.Show && ToggleToolboxHandler && !m_toolbox)
        ToggleToolboxHandler(*this);
}

void TfMain::closeEvent(QCloseEvent* event)
{
    FormCloseQuery();
    event->accept();
    if (m_fullScreen)
        m_fullScreen->close();
    QMainWindow::closeEvent(event);
    qApp->quit();
}

void TfMain::FormCloseQuery()
{
    if (m_exitDone)
        return;
    m_exitDone = true;
    // 1.
    RemoveActivationHook();
    State.Viewing = false;
    // 2.
    if (m_toolbox) {
        QWidget* box = m_toolbox->Window();
        Config.Tool.Top = box->geometry().top();
        Config.Tool.Left = box->geometry().left();
        Config.Tool.Show = true;
        if (CloseToolboxHandler)
            CloseToolboxHandler(*this);
        m_toolbox = nullptr;
    } else {
        Config.Tool.Show = false;
    }
    // 3.
    if (!WorkFolder.isEmpty() && platform::DirectoryExists(WorkFolder))
        DeleteFolderTree(WorkFolder);
    // 4.
    if (!State.SwitchLaunch) {
        const Qt::WindowStates ws = windowState();
        if (!(ws & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) && isVisible()) {
            const QRect g = geometry();
            Config.Window.Left = g.left();
            Config.Window.Top = g.top();
            Config.Window.Width = g.width();
            Config.Window.Height = g.height();
        }
        Config.Window.State = (ws & Qt::WindowMaximized) != 0;
        Config.Window.ListMax = m_history ? m_history->Count() : Config.Window.ListMax;
        Config.AppDirs = Applications;
        IniSettings::Save(Config, IniPath);
    }
    // 5. Decodes still running are told to stop (a plug-in through its
    // progress callback).
    Images.Clear();
    m_pageLoader->Clear();
    m_pipeline->CancelAll();
    ReleaseShownPictures();
}

// ---------------------------------------------------------------- activation hook

void TfMain::InstallActivationHook()
{
    if (m_activationHook)
        return;
    m_activationHook = true;
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TfMain::ApplicationStateChanged,
            Qt::UniqueConnection);
}

void TfMain::RemoveActivationHook()
{
    m_activationHook = false;
}

void TfMain::ApplicationStateChanged(Qt::ApplicationState state)
{
    if (m_activationHook && state == Qt::ApplicationActive && State.Viewing && m_listBuilding == 0)
        ShowImages();
}

// ---------------------------------------------------------------- display

int TfMain::MenuHeight() const
{
    return 0; // positions are relative to the display area below the menu bar
}

TImageControl* TfMain::ImageAt(int position) const
{
    return m_images[static_cast<size_t>(position & 1)];
}

QLabel* TfMain::LabelAt(int position) const
{
    return m_labels[static_cast<size_t>(position & 1)];
}

TImageControl* TfMain::TargetControl(int position) const
{
    if (State.FullScreen && m_fullScreen)
        return m_fullScreen->ImageAt(position);
    return ImageAt(position);
}

QString TfMain::StatusText() const
{
    return statusBar()->currentMessage();
}

void TfMain::SetStatusText(const QString& text)
{
    statusBar()->showMessage(text);
}

void TfMain::LayoutArea(bool spread)
{
    if (State.Closing)
        return;
    if (m_fullScreen) {
        m_fullScreen->ImageAt(0)->Clear();
        m_fullScreen->ImageAt(1)->Clear();
        const QSize client = m_fullScreen->size();
        State.AreaWidth = spread ? client.width() / 2 : client.width();
        State.AreaHeight = client.height();
    } else {
        m_images[0]->Clear();
        m_images[1]->Clear();
        const QSize client = m_display->size();
        State.AreaWidth = spread ? client.width() / 2 : client.width();
        State.AreaHeight = client.height();
    }
}

void TfMain::ShowUndecodable(int position)
{
    QLabel* label = LabelAt(position);
    const QFontMetrics fm(label->font());
    const QFontMetrics own(font());
    label->adjustSize();
    const int top = (State.AreaHeight - std::abs(label->font().pixelSize())) / 2 + MenuHeight();
    const int left = position * State.AreaWidth + (State.AreaWidth - own.horizontalAdvance(label->text())) / 2;
    label->move(left, top);
    label->show();
    label->raise();
}

void TfMain::HideLabel(int position)
{
    LabelAt(position)->hide();
}

void TfMain::ShowImages()
{
    // 1.
    if (State.StartFullScreen) {
        hide();
        RestorePlacement();
        State.StartFullScreen = false;
    }
    // 2. The pictures on screen stay until those of the new page are there.
    RemoveActivationHook();
    // 3.
    if (Images.IsEmpty()) {
        m_pageLoader->Clear();
        ReleaseShownPictures();
        if (m_toolbox)
            m_toolbox->RefreshNavControls();
        if (State.Viewing) {
            platform::Beep();
            platform::MessageBox(this, MainTexts::NoImages, platform::MsgIcon::Error, platform::MsgOk);
            ResetView();
        }
        return;
    }
    // 4.
    const DisplayForm form = Form();
    State.CurrentIndex = NormaliseIndex(form, State.CurrentIndex, Images.Count());
    // 5.
    while (!Images.IsEmpty() && !platform::FileExists(Images.At(State.CurrentIndex))) {
        Images.Delete(State.CurrentIndex);
        if (Images.IsEmpty())
            break;
        if (State.CurrentIndex >= Images.Count())
            --State.CurrentIndex;
    }
    if (Images.IsEmpty()) {
        m_pageLoader->Clear();
        ReleaseShownPictures();
        ResetView();
        return;
    }
    // 6. Index and caption move at once; the pictures follow when decoded.
    const int count = Images.Count();
    const QString path = Images.At(State.CurrentIndex);
    setWindowTitle(MainTexts::ProductName + QStringLiteral(" -- [") + QString::number(State.CurrentIndex + 1)
                   + QLatin1Char('/') + QString::number(count) + QStringLiteral("] ") + path);
    if (m_toolbox)
        m_toolbox->SetTrackPosition(State.CurrentIndex);

    // 7. and 8. Which picture goes into which slot and position.
    std::vector<PageSlot> pageSlots(2);
    m_slotPosition = {0, 1};
    if (form == DisplayForm::SinglePage) {
        pageSlots[0].path = path;
    } else {
        const int p0 = Orient();
        const int p1 = 1 - p0;
        m_slotPosition = {p0, p1};
        int slot1Item = -1;
        if (form == DisplayForm::SpreadEven && State.CurrentIndex == 0) {
            HideLabel(p0);
            ClearSlotControl(0);
            slot1Item = 0;
        } else {
            pageSlots[0].path = path;
            if (State.CurrentIndex < count - 1)
                slot1Item = State.CurrentIndex + 1;
        }
        if (slot1Item >= 0) {
            pageSlots[1].path = Images.At(slot1Item);
        } else {
            HideLabel(p1);
            ClearSlotControl(1);
        }
    }
    for (int slot = 0; slot < 2; ++slot)
        pageSlots[static_cast<size_t>(slot)].fit = FitFor(m_slotPosition[static_cast<size_t>(slot)]);
    // 9. to 11. in ShowSlot, for each picture as it arrives.
    m_pageLoader->ShowPage(pageSlots, AheadRequests());
}

FitInput TfMain::FitFor(int position) const
{
    FitInput in;
    in.areaWidth = State.AreaWidth;
    in.areaHeight = State.AreaHeight;
    in.position = position;
    in.zoom = Config.Option.Zoom;
    in.spread = Form() != DisplayForm::SinglePage;
    in.menuHeight = MenuHeight();
    return in;
}

QStringList TfMain::PagePaths(int index) const
{
    const int count = Images.Count();
    if (index < 0 || index >= count)
        return {};
    const DisplayForm form = Form();
    if (form == DisplayForm::SinglePage || (form == DisplayForm::SpreadEven && index == 0))
        return {Images.At(index)};
    QStringList paths{Images.At(index)};
    if (index < count - 1)
        paths << Images.At(index + 1);
    return paths;
}

std::vector<PictureRequest> TfMain::AheadRequests() const
{
    // The next two pages in the direction of the last step, then the one
    // before.
    const DisplayForm form = Form();
    const int count = Images.Count();
    std::vector<int> pages;
    int next = State.CurrentIndex;
    for (int k = 0; k < 2; ++k) {
        next = NormaliseIndex(form, StepIndex(form, next, m_steppingForward), count);
        pages.push_back(next);
    }
    pages.push_back(NormaliseIndex(form, StepIndex(form, State.CurrentIndex, !m_steppingForward), count));
    const QStringList shown = PagePaths(State.CurrentIndex);
    std::vector<PictureRequest> requests;
    for (int page : pages) {
        for (const QString& path : PagePaths(page)) {
            if (shown.contains(path))
                continue;
            PictureRequest request;
            request.path = path;
            request.fit = FitFor(0);
            requests.push_back(request);
        }
    }
    return requests;
}

void TfMain::ShowSlot(int slot, const DecodedPicturePtr& picture)
{
    const DisplayForm form = Form();
    const int position = m_slotPosition[static_cast<size_t>(slot)];
    if (!picture->Ok()) {
        if (form == DisplayForm::SinglePage) {
            m_images[0]->Clear();
            m_images[0]->SetHint(QString());
            if (m_fullScreen)
                m_fullScreen->ImageAt(0)->Clear();
            m_shown[0].reset();
            DetachUnheldGraphics();
            platform::Beep();
            return;
        }
        ShowUndecodable(position);
        ClearSlotControl(slot);
        return;
    }
    if (form == DisplayForm::SinglePage) {
        HideLabel(0);
        HideLabel(1);
    } else {
        HideLabel(position);
    }
    FitInput in = FitFor(position);
    in.pictureWidth = picture->graphic->Width();
    in.pictureHeight = picture->graphic->Height();
    TImageControl* control = TargetControl(position);
    control->setGeometry(FitPictureRect(in));
    control->SetGraphic(picture->graphic.get(), picture->display);
    control->SetHint(picture->path);
    control->show();
    if (State.FullScreen && m_fullScreen)
        m_fullScreen->raise();
    // The picture shown before is let go only now, and no control keeps it.
    const DecodedPicturePtr before = std::exchange(m_shown[static_cast<size_t>(slot)], picture);
    DetachUnheldGraphics();
    InstallActivationHook();
}

void TfMain::ClearSlotControl(int slot)
{
    TImageControl* control = TargetControl(m_slotPosition[static_cast<size_t>(slot)]);
    control->Clear();
    control->SetHint(QString());
    m_shown[static_cast<size_t>(slot)].reset();
    DetachUnheldGraphics();
}

void TfMain::ReleaseShownPictures()
{
    m_shown[0].reset();
    m_shown[1].reset();
    DetachUnheldGraphics();
}

void TfMain::DetachUnheldGraphics()
{
    // Controls must not keep pointing at graphics that are about to be freed.
    std::vector<TImageControl*> controls{m_images[0], m_images[1]};
    if (m_fullScreen) {
        controls.push_back(m_fullScreen->ImageAt(0));
        controls.push_back(m_fullScreen->ImageAt(1));
    }
    for (TImageControl* control : controls) {
        const TGraphic* g = control->Graphic();
        const bool held = (m_shown[0] && m_shown[0]->graphic.get() == g) || (m_shown[1] && m_shown[1]->graphic.get() == g);
        if (g && !held)
            control->Clear();
    }
}

void TfMain::ShowBusy(bool busy)
{
    // A widget cursor: the full-screen window's hidden cursor (an
    // application-wide one) still wins over it.
    QWidget* targets[] = {m_display, m_fullScreen.data()};
    for (QWidget* target : targets) {
        if (!target)
            continue;
        if (busy)
            target->setCursor(Qt::BusyCursor);
        else
            target->unsetCursor();
    }
}

void TfMain::StepImage(bool forward)
{
    m_steppingForward = forward;
    State.CurrentIndex = StepIndex(Form(), State.CurrentIndex, forward);
}

void TfMain::ApplyDisplayForm()
{
    const bool spread = IsSpread(Form());
    m_images[1]->setVisible(spread);
    if (m_fullScreen)
        m_fullScreen->ImageAt(1)->setVisible(spread);
    SetOrganizingControls(!spread);
    Action(QStringLiteral("clipcopy1"))->setEnabled(!spread);
    LayoutArea(spread);
    ShowImages();
}

void TfMain::SetOrganizingControls(bool on)
{
    Action(QStringLiteral("Transfer1"))->setEnabled(on && TransferToggleHandler);
    if (!Images.IsEmpty())
        EnableFileActions(on);
    if (m_toolbox) {
        m_toolbox->EnableOrganizingButtons(on);
        if (!on) {
            if (Config.Option.Open)
                Config.Option.Open = false;
            m_toolbox->CloseTransferArea();
        }
        ShowTransferState();
    }
}

void TfMain::EnableFileActions(bool on)
{
    Action(QStringLiteral("fNameChange1"))->setEnabled(on && RenameHandler);
    for (QAction* a : m_appActions)
        a->setEnabled(on);
}

void TfMain::ResetView()
{
    State.Viewing = false;
    Action(QStringLiteral("slideshow1"))->setEnabled(false);
    for (TImageControl* image : m_images) {
        image->Clear();
        image->SetHint(QString());
        image->setGeometry(0, MenuHeight(), 0, 0);
    }
    HideLabel(0);
    HideLabel(1);
    setWindowTitle(QString());
    EnableFileActions(false);
}

void TfMain::UpdateModeChecks()
{
    Action(QStringLiteral("CopyMode1"))->setChecked(Config.Option.Copy);
    Action(QStringLiteral("MoveMode1"))->setChecked(!Config.Option.Copy);
    if (m_toolbox)
        m_toolbox->ShowCopyMode(Config.Option.Copy);
}

void TfMain::ShowTransferState()
{
    Action(QStringLiteral("Transfer1"))
        ->setText(Config.Option.Open ? QStringLiteral("転送可能") : QStringLiteral("転送不可"));
}

void TfMain::BuildToolsMenu()
{
    for (QAction* a : m_appActions) {
        m_toolsMenu->removeAction(a);
        a->deleteLater();
    }
    m_appActions.clear();
    m_popupMenu->clear();
    for (int i = 0; i < Applications.size(); ++i) {
        const QString name = ApplicationName(Applications[i]);
        auto* action = new QAction(QStringLiteral("&") + name, this);
        action->setObjectName(QStringLiteral("app%1").arg(i));
        action->setData(i);
        action->setEnabled(State.Viewing);
        connect(action, &QAction::triggered, this, [this, i] { LaunchApp(i); });
        m_toolsMenu->addAction(action);
        m_appActions.append(action);
        QAction* item = m_popupMenu->addAction(name);
        item->setData(i);
        connect(item, &QAction::triggered, this, [this, i] { LaunchApp(i); });
    }
}

void TfMain::LaunchApp(int index)
{
    if (index < 0 || index >= Applications.size() || Images.IsEmpty())
        return;
    const QString app = Applications[index];
    const QString image = Images.At(NormaliseIndex(Form(), State.CurrentIndex, Images.Count()));
    // The program receives the path as one argument; no shell is involved,
    // so the quoting of a command line is not needed here.
    platform::StartDetached(app, LaunchArguments(app, image), QFileInfo(app).absolutePath());
}

void TfMain::DeleteCurrentImage()
{
    if (SlideshowRunning() || Images.IsEmpty())
        return;
    State.CurrentIndex = NormaliseIndex(Form(), State.CurrentIndex, Images.Count());
    const QString path = Images.At(State.CurrentIndex);
    if (RecycleFile(path))
        return;
    Images.Delete(State.CurrentIndex);
    if (Images.IsEmpty())
        ResetView();
    if (m_toolbox)
        m_toolbox->RefreshNavControls();
}

void TfMain::CopyToClipboard()
{
    const TGraphic* graphic = nullptr;
    if (State.FullScreen && m_fullScreen)
        graphic = m_fullScreen->ImageAt(0)->Graphic();
    else
        graphic = m_images[0]->Graphic();
    if (!graphic)
        return;
    if (graphic->IsReduced()) {
        // Only a reduced picture is held for the screen: the clipboard gets
        // the whole picture, decoded now off the window thread.
        const QString path = State.FullScreen && m_fullScreen ? m_fullScreen->ImageAt(0)->Hint() : m_images[0]->Hint();
        m_pipeline->DecodeFull(path, [](const DecodedPicturePtr& full) {
            if (full && full->Ok())
                QGuiApplication::clipboard()->setImage(full->graphic->ToImage());
        });
        return;
    }
    const QImage image = graphic->ToImage();
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image);
}

void TfMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_fullScreen)
        return;
    LayoutArea(IsSpread(Form()));
    if (State.Viewing)
        ShowImages();
}

// ---------------------------------------------------------------- image list

void TfMain::AddPath(const QString& path)
{
    if (platform::DirectoryExists(path)) {
        ScanFolder(path);
    } else if (IsArchiveName(path)) {
        OpenArchive(path);
    } else if (IsImageName(path, GraphicFilter) && !IsExcludedName(path)) {
        if (platform::FileExists(path))
            Images.Add(path);
    }
}

void TfMain::AddPaths(const QStringList& paths)
{
    try {
        for (const QString& path : paths)
            AddPath(path);
    } catch (const std::exception& error) {
        // An archive error ends the adding; the paths added before it stay.
        // Its message goes to the error box, as the application's would.
        platform::MessageBox(isVisible() ? this : nullptr, QString::fromUtf8(error.what()), platform::MsgIcon::Error,
                             platform::MsgOk);
    }
}

void TfMain::ScanFolder(const QString& folder)
{
    Images.SetSorted(true);
    // The folder is read and its names sorted out on a worker thread (a
    // folder of tens of thousands of files takes a while); the list is
    // then filled here in the folder's order.
    struct Found {
        QString path;
        bool archive;
    };
    std::vector<Found> found;
    bool anyEntry = false;
    const QString filter = GraphicFilter;
    BackgroundWorkOptions options;
    options.title = MainTexts::Searching;
    options.showAfterMs = WorkProgressDelayMs;
    options.onShown = WorkProgressShown;
    const ListBuilding building(*this);
    RunOffWindowThread(isVisible() ? this : nullptr, options, [&](WorkProgress& progress) {
        const QString prefix = IncludeBackslash(folder);
        const std::vector<platform::DirEntry> entries = platform::ListDirectory(folder);
        anyEntry = !entries.empty();
        for (const platform::DirEntry& entry : entries) {
            if (progress.Cancelled())
                break; // what was found so far stays
            progress.AddDone();
            if (entry.isDir)
                continue;
            const QString full = prefix + entry.name;
            if (IsArchiveName(full))
                found.push_back({full, true});
            else if (IsImageName(full, filter) && !IsExcludedName(full))
                found.push_back({full, false});
        }
    });
    for (const Found& item : found) {
        if (item.archive)
            OpenArchive(item.path);
        else
            Images.Add(item.path);
    }
    if (anyEntry) {
        Images.SetSorted(false);
        ApplyPlayOrder(State.PlayOrder);
    }
}

void TfMain::OpenArchive(const QString& archivePath)
{
    if (WorkFolder.isEmpty())
        return; // no safe work folder: archives cannot be unpacked
    RemoveActivationHook();
    const QString folder = UnpackFolderFor(WorkFolder, archivePath);
    if (!QDir().mkpath(folder))
        return;
    BackgroundWorkOptions options;
    options.title = MainTexts::Searching;
    options.showAfterMs = WorkProgressDelayMs;
    options.onShown = WorkProgressShown;
    // The archiver libraries report no progress: the files that have
    // appeared in the folder are the files done.
    options.countDone = [folder] { return CountFilesBelow(folder); };
    const quintptr owner = reinterpret_cast<quintptr>(this);
    bool completed = false;
    {
        const ListBuilding building(*this);
        try {
            completed = RunOffWindowThread(isVisible() ? this : nullptr, options, [&](WorkProgress&) {
                TArchiveFile archive;
                archive.SetFileName(archivePath);
                archive.Options().x = 0;
                archive.Options().c = 1;
                archive.Options().jse = 1;
                archive.Options().jso = 1;
                archive.Extract(owner, nullptr, folder, TFileList());
            });
        } catch (...) {
            InstallActivationHook();
            throw;
        }
    }
    if (!completed) {
        // Cancelled: nothing of this archive is kept.
        DeleteFolderTree(folder);
        InstallActivationHook();
        return;
    }
    AddPath(folder);
    InstallActivationHook();
}

void TfMain::ApplyPlayOrder(int order)
{
    if (Images.IsEmpty())
        return;
    switch (order) {
    case 1:
        Images.Shuffle(RandomSeed);
        break;
    case 2:
        Images.SetSorted(true);
        Images.SetSorted(false);
        break;
    case 3:
        Images.SetSorted(true);
        Images.SetSorted(false);
        Images.Reverse();
        break;
    default:
        break;
    }
    State.CurrentIndex = 0;
    ShowImages();
}

void TfMain::ListLoaded()
{
    if (Images.IsEmpty()) {
        ResetView();
        State.Viewing = false;
    } else {
        if (m_toolbox)
            m_toolbox->RefreshNavControls();
        State.CurrentIndex = 0;
        State.Viewing = true;
        PushHistory();
    }
    Action(QStringLiteral("MoveUndo1"))->setEnabled(false);
    Action(QStringLiteral("slideshow1"))->setEnabled(State.Viewing);
    EnableFileActions(State.Viewing);
    RefreshHistoryMenu();
}

void TfMain::SelectPlayOrder(int order)
{
    if (m_toolbox) {
        m_toolbox->SelectPlayOrder(order);
        return;
    }
    State.PlayOrder = order;
    ApplyPlayOrder(order);
}

void TfMain::OpenFiles(const QStringList& files)
{
    Images.Clear();
    Action(QStringLiteral("slideshow1"))->setEnabled(true);
    Images.SetSorted(true);
    for (const QString& file : files) {
        if (!IsExcludedName(file))
            Images.Add(platform::CanonicalPath(file));
    }
    Images.SetSorted(false);
    ApplyPlayOrder(State.PlayOrder);
    ListLoaded();
    ShowImages();
}

void TfMain::OpenFolder()
{
    if (!m_folderDialog) {
        m_folderDialog = std::make_unique<TplBrowseFolder>(this);
        m_folderDialog->SetCaption(QStringLiteral("フォルダ選択"));
    }
    m_folderDialog->SetInitDir(platform::DirectoryExists(Config.Window.LastDir) ? Config.Window.LastDir
                                                                              : QString());
    if (m_folderDialog->Execute()) {
        const QString folder = m_folderDialog->Directory();
        const QString saved = StatusText();
        SetStatusText(MainTexts::Searching);
        statusBar()->repaint();
        Images.Clear();
        AddPaths({folder}); // a folder: ScanFolder
        SetStatusText(saved);
        Config.Window.LastDir = folder;
    }
    ListLoaded();
    ShowImages();
}

void TfMain::DropPaths(const QStringList& paths)
{
    Images.SetSorted(true);
    const QString saved = StatusText();
    SetStatusText(MainTexts::Searching);
    statusBar()->repaint();
    if (!paths.isEmpty())
        Images.Clear();
    AddPaths(paths);
    SetStatusText(saved);
    Images.SetSorted(false);
    ApplyPlayOrder(State.PlayOrder);
    ListLoaded();
    ShowImages();
}

void TfMain::DropOnFullScreen(const QStringList& paths)
{
    // 1.
    Images.SetSorted(true);
    const QString saved = StatusText();
    SetStatusText(MainTexts::Searching);
    // 2.
    if (!paths.isEmpty())
        Images.Clear();
    AddPaths(paths);
    SetStatusText(saved);
    // 3.
    if (Images.IsEmpty()) {
        ResetView();
    } else {
        if (m_toolbox)
            m_toolbox->RefreshNavControls();
        State.Viewing = true;
        Action(QStringLiteral("slideshow1"))->setEnabled(true);
        State.CurrentIndex = 0;
    }
    // 4.
    EnableFileActions(State.Viewing);
    // 5.
    Images.SetSorted(false);
    ApplyPlayOrder(State.PlayOrder);
    ApplyDisplayForm();
}

void TfMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfMain::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << platform::CanonicalPath(url.toLocalFile());
    }
    event->acceptProposedAction();
    DropPaths(paths);
}

// ---------------------------------------------------------------- slideshow

bool TfMain::SlideshowRunning() const
{
    return m_slideTimer->isActive() || Action(QStringLiteral("slideshow1"))->isChecked();
}

void TfMain::ToggleSlideshow()
{
    QAction* slide = Action(QStringLiteral("slideshow1"));
    slide->setChecked(!slide->isChecked());
    if (!slide->isChecked()) {
        SetOrganizingControls(Form() == DisplayForm::SinglePage);
        m_slideTimer->stop();
        SetStatusText(SlideshowOffText());
    } else {
        SetOrganizingControls(false);
        ApplySlideshowInterval();
        SetStatusText(SlideshowOnText(Config.Option.Interval, Config.Option.IntervalM));
    }
}

void TfMain::ApplySlideshowInterval()
{
    const long long raw = static_cast<long long>(Config.Option.Interval) * 1000 + Config.Option.IntervalM;
    if (!Action(QStringLiteral("slideshow1"))->isChecked())
        return;
    if (raw == 0) {
        m_slideTimer->stop(); // an interval of 0 never ticks
        return;
    }
    m_slideTimer->start(SlideshowIntervalMs(Config.Option.Interval, Config.Option.IntervalM));
}

void TfMain::SlideshowTick()
{
    if (!State.Viewing || m_listBuilding > 0)
        return;
    // A picture still decoding keeps the slideshow where it is: each one is
    // on screen for at least the interval, as when decoding blocked.
    if (m_pageLoader->Waiting())
        return;
    StepImage(true);
    if (State.SwitchLaunch && State.CurrentIndex >= Images.Count()) {
        if (State.RepeatMode == -1) {
            State.Closing = true;
            ShowImages();
            close();
            return;
        }
        if (State.RepeatMode == 0) {
            ToggleSlideshow();
            StepImage(false);
            return;
        }
    }
    ShowImages();
}

// ---------------------------------------------------------------- history

void TfMain::PushHistory()
{
    m_history->Push(Images.ToStringList());
    Config.Window.ListMax = m_history->Count();
}

void TfMain::RefreshHistoryMenu()
{
    const auto entries = m_history->Refresh();
    for (int n = 1; n <= 6; ++n) {
        QAction* ov = m_historyActions[static_cast<size_t>(n - 1)];
        const auto& entry = entries[static_cast<size_t>(n - 1)];
        ov->setVisible(entry.visible);
        ov->setText(entry.visible ? entry.caption : QString());
        ov->setShortcut(entry.visible ? QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_0 + n))
                                      : QKeySequence());
    }
    Config.Window.ListMax = m_history->Count();
    Action(QStringLiteral("List1"))->setEnabled(m_history->Count() > 0);
    Action(QStringLiteral("ListDel1"))->setVisible(m_history->Count() > 0);
}

void TfMain::OpenHistory(int n)
{
    QStringList list;
    if (!m_history->Open(n, list))
        return;
    Config.Window.ListMax = m_history->Count();
    Images.Clear();
    Images.Assign(list);
    if (!list.isEmpty() && !platform::FileExists(list.first())) {
        Images.Clear();
        platform::MessageBox(this, QStringLiteral("指定された場所に画像が存在しません。"), platform::MsgIcon::Error,
                             platform::MsgOk);
    }
    ListLoaded();
    ShowImages();
}

void TfMain::ClearHistory()
{
    if (platform::MessageBox(this, QStringLiteral("履歴のリストを消去してもよいですか？"), platform::MsgIcon::Question,
                             platform::MsgOk | platform::MsgCancel) != platform::MsgOk)
        return;
    m_history->Clear();
    Config.Window.ListMax = 0;
    RefreshHistoryMenu();
}

// ---------------------------------------------------------------- full screen

void TfMain::ToggleFullScreen()
{
    QAction* max1 = Action(QStringLiteral("Max1"));
    if (max1->isChecked()) {
        max1->setChecked(false);
        QApplication::restoreOverrideCursor();
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    } else {
        max1->setChecked(true);
    }
    State.FullScreen = max1->isChecked();
    if (m_toolbox)
        m_toolbox->SetFullScreenCheck(State.FullScreen);
    else
        ApplyFullScreen();
}

void TfMain::ApplyFullScreen()
{
    bool changed = false;
    if (State.FullScreen && !m_fullScreen) {
        m_fullScreen = new TfMax(*this);
        if (QScreen* own = screen()) // cover the screen the main window is on
            m_fullScreen->setGeometry(own->geometry());
        m_fullScreen->showFullScreen();
        changed = true;
    } else if (!State.FullScreen && m_fullScreen) {
        TfMax* window = m_fullScreen;
        m_fullScreen = nullptr;
        window->close();
        changed = true;
    }
    if (changed && State.Viewing) {
        LayoutArea(IsSpread(Form()));
        ShowImages();
    }
}

void TfMain::FullScreenClosedBySystem()
{
    // The window went away without Max1: bring everything back in line.
    m_fullScreen = nullptr;
    State.FullScreen = false;
    Action(QStringLiteral("Max1"))->setChecked(false);
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (m_toolbox)
        m_toolbox->SetFullScreenCheck(false);
    if (!State.Closing) {
        show();
        LayoutArea(IsSpread(Form()));
        if (State.Viewing)
            ShowImages();
    }
}

// ---------------------------------------------------------------- input

void TfMain::HandleKey(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        State.Closing = true;
        close();
        return;
    }
    if (!State.Viewing)
        return;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_PageDown:
    case Qt::Key_Up:
    case Qt::Key_Right:
        StepImage(true);
        ShowImages();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Down:
        StepImage(false);
        ShowImages();
        return;
    case Qt::Key_Delete:
        if (Form() == DisplayForm::SinglePage) {
            DeleteCurrentImage();
            if (State.Viewing)
                ShowImages();
        } else {
            ShowImages();
        }
        return;
    default:
        break;
    }
    if (Form() != DisplayForm::SinglePage || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return;
    const QString text = event->text();
    if (text == QStringLiteral(" ")) {
        if (Applications.size() == 1) {
            LaunchApp(0);
        } else if (Applications.size() > 1) {
            const QRect g = geometry();
            m_popupMenu->popup(QPoint(g.left() + width() / 2, g.top() + height() / 2));
        }
    } else if (text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9')) {
        const int digit = text[0].unicode() - '0';
        if (digit <= Config.Option.nButton - 1 && TransferHandler)
            TransferHandler(*this, digit);
    }
}

void TfMain::keyPressEvent(QKeyEvent* event)
{
    HandleKey(event);
}

void TfMain::HandleMousePress(const QPoint& globalPos)
{
    if (!Images.IsEmpty())
        m_mouseDown = globalPos;
}

void TfMain::HandleMouseRelease(const QPoint& globalPos, Qt::MouseButton button)
{
    const QPoint d = globalPos - m_mouseDown;
    if (std::abs(d.x()) + std::abs(d.y()) > 10 || !State.Viewing)
        return;
    if (button == Qt::LeftButton) {
        StepImage(true);
        ShowImages();
    } else if (button == Qt::RightButton) {
        StepImage(false);
        ShowImages();
    }
}

void TfMain::HandleWheel(int delta)
{
    if (delta == 0)
        return;
    StepImage(delta > 0); // wheel up: forward, wheel down: backward
    ShowImages();
}

void TfMain::HandleImageMouseMove(TImageControl* control, QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || SlideshowRunning() || control->Hint().isEmpty())
        return;
    if (!DragOutHandler)
        return;
    const QPoint d = event->globalPosition().toPoint() - m_mouseDown;
    if (d.manhattanLength() < QApplication::startDragDistance())
        return;
    SetDropTargets(false);
    DragOutHandler(*this, control);
    SetDropTargets(true);
}

void TfMain::mousePressEvent(QMouseEvent* event)
{
    HandleMousePress(event->globalPosition().toPoint());
}

void TfMain::mouseReleaseEvent(QMouseEvent* event)
{
    HandleMouseRelease(event->globalPosition().toPoint(), event->button());
}

void TfMain::wheelEvent(QWheelEvent* event)
{
    HandleWheel(event->angleDelta().y());
}

bool TfMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_display) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            HandleMousePress(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return true;
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            HandleMouseRelease(e->globalPosition().toPoint(), e->button());
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
