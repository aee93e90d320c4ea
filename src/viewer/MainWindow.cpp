#include "MainWindow.h"

#include "viewer/BackgroundWork.h"
#include "viewer/PageLoader.h"

#include "viewer/common/SlideshowText.h"
#include "viewer/common/ImageControl.h"
#include "viewer/common/SharedHelpers.h"
#include "decode/Orientation.h"
#include "dialogs/BrowseFolder.h"
#include "fullscreen/FullScreenWindow.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "settings/IniSettings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

// ---------------------------------------------------------------- creation

TfMain::TfMain(const QStringList& arguments, QWidget* parent, const std::function<void(TfMain&)>& attach)
    : QMainWindow(parent),
      m_startArguments(arguments)
{
    setObjectName(QStringLiteral("fMain"));
    m_session = new ViewerSession(this);
    m_actions = MakeViewerActions(this);
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
        connect(image, &TImageControl::mouseReleased, this,
                [this](QMouseEvent* e) { HandleMouseRelease(e->globalPosition().toPoint(), e->button()); });
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

    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu1"));

    resize(504, 356);
    setAcceptDrops(false);
    RegisterDropTarget(this);
    m_pipeline = std::make_unique<PicturePipeline>();
    m_pageLoader = new PageLoader(*m_pipeline, this);
    connect(m_pageLoader, &PageLoader::slotReady, this, &TfMain::ShowSlot);
    connect(m_pageLoader, &PageLoader::busyChanged, this, &TfMain::ShowBusy);
    FollowSession();
    if (attach)
        attach(*this);
    FormCreate(arguments);
}

TfMain::~TfMain()
{
    UnregisterDropTarget(this);
    m_session->SetReshowOnActivation(false);
    // The session's signals must not reach a half-destroyed window.
    m_session->disconnect(this);
    // No decode may outlive the window: stop them before anything goes.
    m_pipeline->CancelAll();
    m_pipeline->WaitForIdle();
    if (m_fullScreen)
        delete m_fullScreen.data();
    ReleaseShownPictures();
}

// What the window shows follows the session.
void TfMain::FollowSession()
{
    ViewerSession& s = *m_session;
    connect(&s, &ViewerSession::pageAboutToShow, this, &TfMain::BeforePageShown);
    connect(&s, &ViewerSession::pageChanged, this, &TfMain::ShowImages);
    connect(&s, &ViewerSession::noImagesLeft, this, &TfMain::NoImagesLeft);
    connect(&s, &ViewerSession::viewReset, this, &TfMain::ResetView);
    connect(&s, &ViewerSession::listLoaded, this, [this] { m_actions.MoveUndo1->setEnabled(false); });
    connect(&s, &ViewerSession::viewingChanged, this, [this](bool viewing) {
        m_actions.slideshow1->setEnabled(viewing);
        EnableFileActions(viewing && m_session->OrganizingAllowed());
    });
    connect(&s, &ViewerSession::historyChanged, this, &TfMain::RefreshHistoryMenu);
    connect(&s, &ViewerSession::slideshowChanged, this, &TfMain::SlideshowChanged);
    connect(&s, &ViewerSession::fullScreenChanged, this, [this](bool on) {
        m_actions.Max1->setChecked(on);
        ApplyFullScreen();
    });
    connect(&s, &ViewerSession::copyModeChanged, this, [this] { UpdateModeChecks(); });
    connect(&s, &ViewerSession::displayFormChanged, this, &TfMain::ApplyDisplayForm);
    connect(&s, &ViewerSession::transferOpenChanged, this, [this] { ShowTransferState(); });
    connect(&s, &ViewerSession::organizingChanged, this, [this](bool on) {
        m_actions.Transfer1->setEnabled(on && TransferToggleHandler);
        if (!m_session->Images().IsEmpty())
            EnableFileActions(on);
        ShowTransferState();
    });
    connect(&s, &ViewerSession::undoRecordChanged, this, &TfMain::RefreshUndoControls);
    connect(&s, &ViewerSession::applicationsChanged, this, &TfMain::BuildToolsMenu);
    connect(&s, &ViewerSession::captionChanged, this, &TfMain::setWindowTitle);
    connect(&s, &ViewerSession::searching, this, [this](bool on) {
        if (on) {
            m_savedStatus = StatusText();
            SetStatusText(MainTexts::Searching);
            statusBar()->repaint();
        } else {
            SetStatusText(m_savedStatus);
        }
    });
    connect(&s, &ViewerSession::errorMessage, this, [this](const QString& text) {
        platform::MessageBox(isVisible() ? this : nullptr, text, platform::MsgIcon::Error, platform::MsgOk);
    });
    connect(&s, &ViewerSession::closeRequested, this, [this] { close(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TfMain::ApplicationStateChanged);
}

void TfMain::RefreshLinkedActions()
{
    const struct {
        QAction* action;
        bool linked;
    } links[] = {
        {m_actions.ToolBox1, bool(ToggleToolboxHandler)},
        {m_actions.Transfer1, TransferToggleHandler && m_session->OrganizingAllowed()},
        {m_actions.option1, bool(OptionsHandler)},
        {m_actions.ShortcutCreate, bool(ShortcutHandler)},
        {m_actions.Help1, bool(HelpHandler)},
        {m_actions.about1, bool(AboutHandler)},
    };
    for (const auto& l : links)
        l.action->setEnabled(l.linked);
    if (!RenameHandler)
        m_actions.fNameChange1->setEnabled(false);
    RefreshUndoControls();
}

void TfMain::RefreshUndoControls()
{
    m_actions.MoveUndo1->setEnabled(UndoHandler && m_session->HasUndoRecord());
}

// ---------------------------------------------------------------- start-up

void TfMain::FormCreate(const QStringList& arguments)
{
    ViewerSession& s = *m_session;
    // 1.
    s.SetClosing(false);
    s.SetStartFullScreen(false);
    s.SetReshowOnActivation(true);
    // 2.
    setWindowTitle(QString());
    // 3. Pictures: the pipeline made with the window (the external
    // application list comes with the settings). Folder scans and unpacks
    // run off the window thread with a progress window.
    s.SetBackgroundRunner(
        [this](const QString& title, std::function<int()> countDone, const std::function<void(WorkProgress&)>& work) {
            BackgroundWorkOptions options;
            options.title = title;
            options.showAfterMs = WorkProgressDelayMs;
            options.countDone = std::move(countDone);
            options.onShown = WorkProgressShown;
            return RunOffWindowThread(isVisible() ? this : nullptr, options, work);
        });
    // 4.
    s.LoadSettings(QRect(0, 0, width(), height()));
    decode::SetAutoRotate(s.Config().Option.AutoRotate);
    if (s.Config().Window.State)
        setWindowState(windowState() | Qt::WindowMaximized);
    // 5. and 6.
    s.ResetForStart();
    m_actions.slideshow1->setEnabled(false);
    m_actions.MoveUndo1->setEnabled(false);
    UpdateModeChecks();
    // 7.
    s.OpenHistoryStore();
    BuildToolsMenu();
    m_actions.List1->setEnabled(false);
    m_actions.ListDel1->setVisible(false);
    // 8.
    m_actions.clipcopy1->setEnabled(s.Form() == DisplayForm::SinglePage);
    EnableFileActions(false);
    // 9.
    if (PluginSearchHandler)
        PluginSearchHandler(*this, IncludeBackslash(s.Config().SusieDir) + QStringLiteral("*.spi"));
    // 10.
    s.RetakeGraphicFilter();
    // 11.
    s.PrepareWorkFolder();
    // 12.
    s.ApplyCommandLine(arguments);
    // 13.
    s.FinishStart();
    RefreshLinkedActions();
}

void TfMain::ShowAtStart()
{
    // The first page of a full-screen start may already have been shown
    // (and the start flag cleared) inside the start-up sequence; what counts
    // is whether the full-screen window is up.
    if (!m_session->State().StartFullScreen && !m_session->State().FullScreen)
        show();
}

void TfMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_firstShowDone) {
        m_firstShowDone = true;
        FormShow();
    } else if (!m_session->State().StartFullScreen) {
        LayoutArea(IsSpread(m_session->Form()));
    }
}

void TfMain::FormShow()
{
    if (m_session->State().StartFullScreen)
        return;
    setAcceptDrops(true);
    if (!m_fullScreen)
        RestorePlacement();
    LayoutArea(IsSpread(m_session->Form()));
    // The placement resized the window: show the pictures in the new area.
    if (m_session->State().Viewing)
        m_session->ShowPage();
}

void TfMain::RestorePlacement()
{
    // Once per run: after a start in full screen the main window is first
    // shown when full screen ends, and the list was loaded (and stored in
    // the history) already.
    if (m_placementRestored)
        return;
    m_placementRestored = true;
    m_session->ListLoaded();
    const Settings& config = m_session->Config();
    if (!(windowState() & Qt::WindowMaximized)) {
        if (config.Window.Width > 0 && config.Window.Height > 0)
            setGeometry(config.Window.Left, config.Window.Top, config.Window.Width, config.Window.Height);
        KeepOnDesktop(this);
    }
    if (config.Tool.Show && ToggleToolboxHandler && !m_session->ToolboxOpen())
        ToggleToolboxHandler(*this);
}

void TfMain::closeEvent(QCloseEvent* event)
{
    FormCloseQuery();
    event->accept();
    if (m_fullScreen)
        m_fullScreen->CloseByOwner();
    QMainWindow::closeEvent(event);
    qApp->quit();
}

void TfMain::FormCloseQuery()
{
    if (m_exitDone)
        return;
    m_exitDone = true;
    ViewerSession& s = *m_session;
    Settings& config = s.Config();
    // 1.
    s.SetReshowOnActivation(false);
    s.EndViewing();
    // 2. The toolbox keeps its own place when it closes.
    if (s.ToolboxOpen()) {
        if (CloseToolboxHandler)
            CloseToolboxHandler(*this);
        config.Tool.Show = true;
    } else {
        config.Tool.Show = false;
    }
    // 3.
    s.RemoveWorkFolder();
    // 4.
    if (!s.State().SwitchLaunch) {
        const Qt::WindowStates ws = windowState();
        if (!(ws & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) && isVisible()) {
            const QRect g = geometry();
            config.Window.Left = g.left();
            config.Window.Top = g.top();
            config.Window.Width = g.width();
            config.Window.Height = g.height();
        }
        config.Window.State = (ws & Qt::WindowMaximized) != 0;
        if (!s.SaveSettings()) {
            platform::Beep();
            platform::MessageBox(nullptr, IniSettings::CannotSaveMessage(platform::SettingsFolderCandidates()),
                                 platform::MsgIcon::Error, platform::MsgOk);
        }
    }
    // 5. Decodes still running are told to stop (a plug-in through its
    // progress callback).
    s.Images().Clear();
    m_pageLoader->Clear();
    m_pipeline->CancelAll();
    ReleaseShownPictures();
}

void TfMain::ApplicationStateChanged(Qt::ApplicationState state)
{
    if (state == Qt::ApplicationActive)
        m_session->ApplicationActivated();
}
