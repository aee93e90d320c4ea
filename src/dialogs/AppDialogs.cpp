#include "dialogs/AppDialogs.h"

#include "decode/FormatRegistry.h"
#include "dialogs/AboutBox.h"
#include "dialogs/HelpViewer.h"
#include "dialogs/OptionDialog.h"
#include "dialogs/ShortcutDialog.h"
#include "platform/ProgramLocation.h"
#include "viewer/MainWindow.h"
#include "viewer/common/SharedHelpers.h"

bool TMainOptionTarget::SlideshowRunning() const
{
    return m_main.Session().SlideshowRunning();
}

void TMainOptionTarget::SetStatusText(const QString& text)
{
    m_main.SetStatusText(text);
}

bool TMainOptionTarget::ToolboxOpen() const
{
    return m_main.Session().ToolboxOpen();
}

void TMainOptionTarget::RebuildTransferArea()
{
    m_main.Session().NotifyTransferButtonsChanged();
}

void TMainOptionTarget::ApplySlideshowInterval()
{
    m_main.Session().ApplySlideshowInterval();
}

void TMainOptionTarget::ReplaceApplications(const QStringList& applications)
{
    m_main.Session().SetApplications(applications);
}

void TMainOptionTarget::SearchPlugins(const QString& mask)
{
    if (m_main.PluginSearchHandler)
        m_main.PluginSearchHandler(m_main, mask);
}

void TMainOptionTarget::RetakeGraphicFilter()
{
    m_main.Session().RetakeGraphicFilter();
}

QString HelpDocumentPath()
{
    return IncludeBackslash(platform::ProgramDir()) + QStringLiteral("help.html");
}

void RunOptionDialog(TfMain& main)
{
    TMainOptionTarget target(main);
    Settings& config = main.Session().Config();
    TfOption dialog(&main, config, main.Session().Applications(), target);
    if (dialog.exec() == QDialog::Accepted)
        ApplyOptionMainSide(dialog.Applications(), config, target);
}

void RunShortcutDialog(TfMain& main)
{
    TfShortCut dialog(&main, main.Session().Config());
    dialog.exec();
}

void OpenHelpViewer(TfMain& main)
{
    auto* viewer = new TfHelpViewer(&main, main.Session().Config());
    viewer->StartPage = HelpDocumentPath();
    viewer->Navigate(viewer->StartPage);
    viewer->show();
}

void RunAboutBox(TfMain& main)
{
    TfAbout dialog(&main);
    dialog.exec();
}

void AttachDialogs(TfMain& main)
{
    main.OptionsHandler = RunOptionDialog;
    main.ShortcutHandler = RunShortcutDialog;
    main.HelpHandler = OpenHelpViewer;
    main.AboutHandler = RunAboutBox;
}
