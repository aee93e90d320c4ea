#include "organize/Organizer.h"

#include "dialogs/BrowseFolder.h"
#include "dialogs/MsgDialog.h"
#include "organize/DragOut.h"
#include "organize/RenameDialog.h"
#include "organize/SameDialog.h"
#include "organize/ToolBox.h"
#include "platform/Desktop.h"
#include "viewer/common/ImageControl.h"
#include "viewer/MainWindow.h"
#include "viewer/common/SharedHelpers.h"

#include <QAction>
#include <QKeyEvent>
#include <QThread>
#include <QToolButton>

// ---------------------------------------------------------------- dialogs

class TOrganizer::Ui : public ITransferUi {
public:
    explicit Ui(TOrganizer& owner) : m_owner(owner) {}

    int AskSameName(const QString& source, const QString& destination) override
    {
        Settings& config = m_owner.m_main.Session().Config();
        const QRect place(config.SameBox.Left, config.SameBox.Top, config.SameBox.Width, config.SameBox.Height);
        TfSame dialog(source, destination, place, config.Option.Zoom, &m_owner.m_main);
        const int result = m_owner.SameDialogHandler ? m_owner.SameDialogHandler(dialog) : dialog.Ask();
        const QRect kept = dialog.Geometry();
        config.SameBox.Left = kept.left();
        config.SameBox.Top = kept.top();
        config.SameBox.Width = kept.width();
        config.SameBox.Height = kept.height();
        return result;
    }
    QString InputNewName(const QString& folder, const QString& name) override
    {
        return ::InputNewName(folder, name, &m_owner.m_main);
    }
    bool BrowseFolder(const QString& caption, const QString& initDir, QString* directory) override
    {
        return m_owner.BrowseFolder(caption, initDir, directory);
    }
    void Beep() override { platform::Beep(); }
    void Error(const QString& text) override
    {
        platform::MessageBox(&m_owner.m_main, text, platform::MsgIcon::Error, platform::MsgOk);
    }
    void Done(const QString& text) override
    {
        if (m_owner.MessageHandler)
            m_owner.MessageHandler(text);
        else
            TfMsgDialog::ShowMessage(&m_owner.m_main, text);
    }
    bool RecycleFile(const QString& path) override { return ::RecycleFile(path); }
    void Wait(int milliseconds) override
    {
        if (m_owner.WaitHandler)
            m_owner.WaitHandler(milliseconds);
        else
            QThread::msleep(static_cast<unsigned long>(milliseconds));
    }

private:
    TOrganizer& m_owner;
};

// ---------------------------------------------------------------- organizer

TOrganizer::TOrganizer(TfMain& main) : QObject(&main), m_main(main)
{
    setObjectName(QStringLiteral("Organizer"));
    m_ui = std::make_unique<Ui>(*this);
    m_engine = std::make_unique<TTransferEngine>(main.Session(), *m_ui);
    m_browse = std::make_unique<TplBrowseFolder>(&main);
    m_browse->RootSpecialDir = sfDesktop;
    m_browse->Options = bifReturnOnlyFSDirs;

    main.Actions().ToolBox1->setCheckable(true);
    main.ToggleToolboxHandler = [this](TfMain&) { ToggleToolbox(); };
    main.TransferHandler = [this](TfMain&, int digit) { m_engine->ArBitBtnProcess(digit); };
    main.UndoHandler = [this](TfMain&) { m_engine->UndoLastMove(); };
    main.RenameHandler = [this](TfMain&) { m_engine->RenameCurrent(); };
    main.TransferToggleHandler = [this](TfMain&) { ToggleTransfer(); };
    main.DragOutHandler = [this](TfMain&, TImageControl* control) {
        if (!control)
            return;
        if (DragRunner)
            DragRunner(control, control->Hint());
        else
            DragFileOut(control, control->Hint());
    };
    main.CloseToolboxHandler = [this](TfMain&) { CloseToolbox(); };
}

TOrganizer::~TOrganizer() = default;

TToolBox* TOrganizer::Toolbox() const
{
    return m_toolbox;
}

void TOrganizer::ToggleToolbox()
{
    QAction* action = m_main.Actions().ToolBox1;
    if (m_toolbox) {
        action->setChecked(false);
        m_toolbox->close();
        return;
    }
    action->setChecked(true);
    auto browse = [this](const QString& caption, const QString& initDir, QString* directory) {
        return BrowseFolder(caption, initDir, directory);
    };
    auto* box = new TToolBox(m_main.Session(), m_main.Actions(), *m_engine, browse, &m_main);
    m_toolbox = box;
    m_main.Session().SetToolboxOpen(true);
    connect(box, &TToolBox::closed, this, &TOrganizer::ToolboxClosed);
    connect(box, &TToolBox::keyTyped, &m_main, &TfMain::HandleKey);
    connect(box, &TToolBox::transferToggleRequested, this, &TOrganizer::ToggleTransfer);
    connect(box, &TToolBox::fileCopyDragRequested, this, &TOrganizer::DragFromFileCopy);
    connect(box, &TToolBox::optionsRequested, this, [this] {
        if (m_main.OptionsHandler)
            m_main.OptionsHandler(m_main);
    });
    box->FormCreate();
    box->show();
    m_main.Session().ReapplyDisplayForm();
}

void TOrganizer::CloseToolbox()
{
    if (m_toolbox)
        m_toolbox->close();
}

void TOrganizer::ToolboxClosed()
{
    m_toolbox = nullptr;
    m_main.Session().SetToolboxOpen(false);
    m_main.Actions().ToolBox1->setChecked(false);
}

void TOrganizer::ToggleTransfer()
{
    if (m_toolbox)
        m_toolbox->myEditExit();
    ViewerSession& session = m_main.Session();
    session.SetTransferOpen(!session.Config().Option.Open);
}

void TOrganizer::DragFromFileCopy()
{
    const ImageList& images = m_main.Session().Images();
    if (images.IsEmpty())
        return;
    const int count = images.Count();
    const int index = std::clamp(m_main.Session().State().CurrentIndex, 0, count - 1);
    const QString path = images.At(index);
    QWidget* source = m_toolbox ? static_cast<QWidget*>(m_toolbox->FileCopy1) : &m_main;
    SetDropTargets(false);
    if (DragRunner)
        DragRunner(source, path);
    else
        DragFileOut(source, path);
    SetDropTargets(true);
    m_main.Session().ShowPage();
}

bool TOrganizer::BrowseFolder(const QString& caption, const QString& initDir, QString* directory)
{
    if (BrowseHandler)
        return BrowseHandler(caption, initDir, directory);
    m_browse->SetCaption(caption);
    m_browse->SetInitDir(initDir);
    if (!m_browse->Execute())
        return false;
    *directory = m_browse->Directory();
    return true;
}

TOrganizer* AttachOrganizing(TfMain& main)
{
    return new TOrganizer(main);
}
