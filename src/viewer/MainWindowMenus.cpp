// TfMain: the menus over the shared action set, the commands that ask the
// user first, the history menu and the external applications.
#include "MainWindow.h"

#include "viewer/ViewerFiles.h"
#include "dialogs/BrowseFolder.h"
#include "platform/Desktop.h"
#include "platform/Files.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>

void TfMain::BuildMenus()
{
    const ViewerActions& a = m_actions;
    ViewerSession& s = *m_session;
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));

    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("FileMenu"));
    file->addAction(a.fileopen1);
    connect(a.fileopen1, &QAction::triggered, this, &TfMain::OpenFiles);
    file->addAction(a.OpenFolder1);
    connect(a.OpenFolder1, &QAction::triggered, this, &TfMain::OpenFolder);
    file->addSeparator();
    file->addAction(a.slideshow1);
    // The check mark is the slideshow state: the session's signal sets it.
    connect(a.slideshow1, &QAction::triggered, this, [this] {
        m_actions.slideshow1->setChecked(m_session->SlideshowOn()); // undo Qt's own toggling
        m_session->ToggleSlideshow();
    });
    file->addAction(a.option1);
    connect(a.option1, &QAction::triggered, this, [this] {
        if (OptionsHandler)
            OptionsHandler(*this);
    });
    file->addAction(a.ShortcutCreate);
    connect(a.ShortcutCreate, &QAction::triggered, this, [this] {
        if (ShortcutHandler)
            ShortcutHandler(*this);
    });
    file->addSeparator();
    m_historyMenu = file->addMenu(QStringLiteral("履歴(&B)"));
    m_historyMenu->setObjectName(QStringLiteral("HistoryMenu"));
    m_actions.List1 = m_historyMenu->menuAction();
    m_actions.List1->setObjectName(QStringLiteral("List1"));
    m_actions.List1->setParent(this);
    for (int n = 1; n <= 6; ++n) {
        QAction* ov = a.ov[static_cast<size_t>(n - 1)];
        connect(ov, &QAction::triggered, &s, [&s, n] { s.OpenHistory(n); });
        m_historyMenu->addAction(ov);
    }
    file->addAction(a.ListDel1);
    connect(a.ListDel1, &QAction::triggered, this, &TfMain::ClearHistory);
    file->addSeparator();
    file->addAction(a.exit1);
    connect(a.exit1, &QAction::triggered, this, [this] { close(); });

    QMenu* edit = bar->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    edit->addAction(a.MoveUndo1);
    connect(a.MoveUndo1, &QAction::triggered, this, [this] {
        if (m_session->HasUndoRecord() && UndoHandler)
            UndoHandler(*this);
    });
    edit->addSeparator();
    edit->addAction(a.fNameChange1);
    connect(a.fNameChange1, &QAction::triggered, this, [this] {
        if (RenameHandler)
            RenameHandler(*this);
    });
    edit->addSeparator();
    edit->addAction(a.clipcopy1);
    connect(a.clipcopy1, &QAction::triggered, this, &TfMain::CopyToClipboard);

    m_toolsMenu = bar->addMenu(QStringLiteral("ツール(&T)"));
    m_toolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
    m_toolsMenu->addAction(a.ToolBox1);
    connect(a.ToolBox1, &QAction::triggered, this, [this] {
        if (ToggleToolboxHandler)
            ToggleToolboxHandler(*this);
    });
    m_toolsMenu->addAction(a.CopyMode1);
    connect(a.CopyMode1, &QAction::triggered, &s, [&s] { s.SetCopyMode(true); });
    m_toolsMenu->addAction(a.MoveMode1);
    connect(a.MoveMode1, &QAction::triggered, &s, [&s] { s.SetCopyMode(false); });
    m_toolsMenu->addAction(a.Transfer1);
    connect(a.Transfer1, &QAction::triggered, this, [this] {
        if (TransferToggleHandler)
            TransferToggleHandler(*this);
    });
    m_toolsMenu->addSeparator();
    m_toolsMenu->addAction(a.Max1);
    connect(a.Max1, &QAction::triggered, this, &TfMain::ToggleFullScreen);
    m_toolsMenu->addSeparator();
    QMenu* order = m_toolsMenu->addMenu(QStringLiteral("再生順序(&U)"));
    order->setObjectName(QStringLiteral("PlayOrderMenu"));
    for (QAction* action : {a.menu_random, a.menu_normal, a.menu_reverse}) {
        order->addAction(action);
        const int tag = action->data().toInt();
        connect(action, &QAction::triggered, &s, [&s, tag] { s.SelectPlayOrder(tag); });
    }
    m_toolsMenu->addSeparator();

    QMenu* help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    help->addAction(a.Help1);
    connect(a.Help1, &QAction::triggered, this, [this] {
        if (HelpHandler)
            HelpHandler(*this);
    });
    help->addAction(a.about1);
    connect(a.about1, &QAction::triggered, this, [this] {
        if (AboutHandler)
            AboutHandler(*this);
    });
}

void TfMain::OpenFiles()
{
    QStringList files;
    if (OpenFilesDialog) {
        files = OpenFilesDialog(*this);
    } else {
        // The filter text is "description|pattern|..." pairs.
        const QStringList parts = m_session->GraphicFilter().split(QLatin1Char('|'));
        QStringList qtFilters;
        for (int i = 0; i + 1 < parts.size(); i += 2)
            qtFilters << parts[i] + QStringLiteral(" (")
                             + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
        files = QFileDialog::getOpenFileNames(this, QString(), m_session->Config().Window.LastDir,
                                              qtFilters.join(QStringLiteral(";;")));
    }
    if (!files.isEmpty())
        m_session->OpenFiles(files);
}

void TfMain::OpenFolder()
{
    if (!m_folderDialog) {
        m_folderDialog = std::make_unique<TplBrowseFolder>(this);
        m_folderDialog->SetCaption(QStringLiteral("フォルダ選択"));
    }
    const QString lastDir = m_session->Config().Window.LastDir;
    m_folderDialog->SetInitDir(platform::DirectoryExists(lastDir) ? lastDir : QString());
    m_session->OpenFolder(m_folderDialog->Execute() ? m_folderDialog->Directory() : QString());
}

void TfMain::RefreshHistoryMenu()
{
    HistoryStore& history = m_session->History();
    const auto entries = history.Refresh();
    for (int n = 1; n <= 6; ++n) {
        QAction* ov = m_actions.ov[static_cast<size_t>(n - 1)];
        const auto& entry = entries[static_cast<size_t>(n - 1)];
        ov->setVisible(entry.visible);
        ov->setText(entry.visible ? entry.caption : QString());
        ov->setShortcut(entry.visible ? QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_0 + n)) : QKeySequence());
    }
    m_session->Config().Window.ListMax = history.Count();
    m_actions.List1->setEnabled(history.Count() > 0);
    m_actions.ListDel1->setVisible(history.Count() > 0);
}

void TfMain::ClearHistory()
{
    if (platform::MessageBox(this, QStringLiteral("履歴のリストを消去してもよいですか？"), platform::MsgIcon::Question,
                             platform::MsgOk | platform::MsgCancel)
        != platform::MsgOk)
        return;
    m_session->ClearHistory();
}

void TfMain::UpdateModeChecks()
{
    const bool copy = m_session->Config().Option.Copy;
    m_actions.CopyMode1->setChecked(copy);
    m_actions.MoveMode1->setChecked(!copy);
}

void TfMain::ShowTransferState()
{
    m_actions.Transfer1->setText(m_session->Config().Option.Open ? QStringLiteral("転送可能")
                                                                 : QStringLiteral("転送不可"));
}

void TfMain::EnableFileActions(bool on)
{
    m_actions.fNameChange1->setEnabled(on && RenameHandler);
    for (QAction* a : m_appActions)
        a->setEnabled(on);
}

void TfMain::BuildToolsMenu()
{
    for (QAction* a : m_appActions) {
        m_toolsMenu->removeAction(a);
        a->deleteLater();
    }
    m_appActions.clear();
    m_popupMenu->clear();
    const QStringList& applications = m_session->Applications();
    for (int i = 0; i < applications.size(); ++i) {
        const QString name = ApplicationName(applications[i]);
        auto* action = new QAction(QStringLiteral("&") + name, this);
        action->setObjectName(QStringLiteral("app%1").arg(i));
        action->setData(i);
        action->setEnabled(m_session->State().Viewing);
        connect(action, &QAction::triggered, m_session, [this, i] { m_session->LaunchApp(i); });
        m_toolsMenu->addAction(action);
        m_appActions.append(action);
        QAction* item = m_popupMenu->addAction(name);
        item->setData(i);
        connect(item, &QAction::triggered, m_session, [this, i] { m_session->LaunchApp(i); });
    }
}
