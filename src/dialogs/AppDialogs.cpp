#include "dialogs/AppDialogs.h"

#include "decode/FormatRegistry.h"
#include "dialogs/AboutBox.h"
#include "dialogs/HelpViewer.h"
#include "dialogs/OptionDialog.h"
#include "dialogs/ShortcutDialog.h"
#include "platform/ProgramLocation.h"
#include "viewer/MainWindow.h"
#include "viewer/SharedHelpers.h"
#include "viewer/ToolboxLink.h"

bool TMainOptionTarget::SlideshowRunning() const
{
    return m_main.SlideshowRunning();
}

void TMainOptionTarget::SetStatusText(const QString& text)
{
    m_main.SetStatusText(text);
}

bool TMainOptionTarget::ToolboxOpen() const
{
    return m_main.Toolbox() != nullptr;
}

void TMainOptionTarget::RebuildTransferArea()
{
    if (IToolboxLink* toolbox = m_main.Toolbox())
        toolbox->RebuildTransferArea();
}

void TMainOptionTarget::ApplySlideshowInterval()
{
    m_main.ApplySlideshowInterval();
}

void TMainOptionTarget::ReplaceApplications(const QStringList& applications)
{
    m_main.Applications = applications;
    m_main.BuildToolsMenu();
}

void TMainOptionTarget::SearchPlugins(const QString& mask)
{
    if (m_main.PluginSearchHandler)
        m_main.PluginSearchHandler(m_main, mask);
}

void TMainOptionTarget::RetakeGraphicFilter()
{
    m_main.GraphicFilter = TFormatRegistry::Instance().GraphicFilter();
}

QString HelpDocumentPath()
{
    return IncludeBackslash(platform::ProgramDataDir()) + QStringLiteral("help.html");
}

void RunOptionDialog(TfMain& main)
{
    TMainOptionTarget target(main);
    TfOption dialog(&main, main.Config, main.Applications, target);
    if (dialog.exec() == QDialog::Accepted)
        ApplyOptionMainSide(dialog.Applications(), main.Config, target);
}

void RunShortcutDialog(TfMain& main)
{
    TfShortCut dialog(&main, main.Config);
    dialog.exec();
}

void OpenHelpViewer(TfMain& main)
{
    auto* viewer = new TfHelpViewer(&main, main.Config);
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
