#include "organize/Organizer.h"

#include "dialogs/BrowseFolder.h"
#include "dialogs/MsgDialog.h"
#include "organize/DragOut.h"
#include "organize/RenameDialog.h"
#include "organize/SameDialog.h"
#include "organize/ToolBox.h"
#include "platform/Desktop.h"
#include "viewer/ImageControl.h"
#include "viewer/MainWindow.h"
#include "viewer/SharedHelpers.h"

#include <QAction>
#include <QThread>
#include <QToolButton>

// ---------------------------------------------------------------- host

class TOrganizer::Host : public ITransferHost {
public:
    explicit Host(TOrganizer& owner) : m_owner(owner), m_main(owner.m_main) {}

    ImageList& Images() override { return m_main.Images; }
    int CurrentIndex() const override { return m_main.State.CurrentIndex; }
    void SetCurrentIndex(int index) override { m_main.State.CurrentIndex = index; }
    Settings& Config() override { return m_main.Config; }
    int PlayOrder() const override { return m_main.State.PlayOrder; }
    bool SlideshowRunning() const override { return m_main.SlideshowRunning(); }
    QString& RecordSource() override { return m_main.State.UndoFrom; }
    QString& RecordDestination() override { return m_main.State.UndoTo; }
    void ShowImages() override { m_main.ShowImages(); }
    void DeleteCurrentImage() override { m_main.DeleteCurrentImage(); }
    void ApplyPlayOrder(int order) override { m_main.ApplyPlayOrder(order); }
    void RefreshNavControls() override
    {
        if (m_owner.m_toolbox)
            m_owner.m_toolbox->RefreshNavControls();
    }
    void RefreshUndoControls() override { m_owner.RefreshUndoControls(); }
    void SetCaption(const QString& caption) override { m_main.setWindowTitle(caption); }

private:
    TOrganizer& m_owner;
    TfMain& m_main;
};

// ---------------------------------------------------------------- dialogs

class TOrganizer::Ui : public ITransferUi {
public:
    explicit Ui(TOrganizer& owner) : m_owner(owner) {}

    int AskSameName(const QString& source, const QString& destination) override
    {
        Settings& config = m_owner.m_main.Config;
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
    m_host = std::make_unique<Host>(*this);
    m_ui = std::make_unique<Ui>(*this);
    m_engine = std::make_unique<TTransferEngine>(*m_host, *m_ui);
    m_browse = std::make_unique<TplBrowseFolder>(&main);
    m_browse->RootSpecialDir = sfDesktop;
    m_browse->Options = bifReturnOnlyFSDirs;

    if (QAction* toolbox = main.Action(QStringLiteral("ToolBox1")))
        toolbox->setCheckable(true);
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
    QAction* action = m_main.Action(QStringLiteral("ToolBox1"));
    if (m_toolbox) {
        if (action)
            action->setChecked(false);
        m_toolbox->close();
        return;
    }
    if (action)
        action->setChecked(true);
    auto* box = new TToolBox(*this, &m_main);
    m_toolbox = box;
    m_main.SetToolbox(box);
    box->FormCreate();
    box->show();
    m_main.ApplyDisplayForm();
}

void TOrganizer::CloseToolbox()
{
    if (m_toolbox)
        m_toolbox->close();
}

void TOrganizer::ToolboxClosed()
{
    m_toolbox = nullptr;
    m_main.SetToolbox(nullptr);
    if (QAction* action = m_main.Action(QStringLiteral("ToolBox1")))
        action->setChecked(false);
}

void TOrganizer::ToggleTransfer()
{
    if (m_toolbox)
        m_toolbox->myEditExit();
    m_main.Config.Option.Open = !m_main.Config.Option.Open;
    if (m_toolbox)
        m_toolbox->SetTransferArea();
    m_main.ShowTransferState();
}

void TOrganizer::DragFromFileCopy()
{
    if (m_main.Images.IsEmpty())
        return;
    const int count = m_main.Images.Count();
    const int index = std::clamp(m_main.State.CurrentIndex, 0, count - 1);
    const QString path = m_main.Images.At(index);
    QWidget* source = m_toolbox ? static_cast<QWidget*>(m_toolbox->FileCopy1) : &m_main;
    SetDropTargets(false);
    if (DragRunner)
        DragRunner(source, path);
    else
        DragFileOut(source, path);
    SetDropTargets(true);
    m_main.ShowImages();
}

void TOrganizer::RefreshUndoControls()
{
    m_main.RefreshUndoControls();
    if (m_toolbox)
        m_toolbox->RefreshUndoControls();
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
