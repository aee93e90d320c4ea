#pragma once
// Links the dialogs of the main window's menu to the main window: the
// options (F5), the shortcut file, the help viewer (F1) and the about box.
#include "dialogs/OptionApply.h"

#include <QImage>

class TfMain;

void AttachDialogs(TfMain& main);

// The dialogs' actions, as AttachDialogs links them.
void RunOptionDialog(TfMain& main);
void RunShortcutDialog(TfMain& main);
void OpenHelpViewer(TfMain& main);
void RunAboutBox(TfMain& main);
// The open-files dialog (Ctrl+O) with its preview; gives the chosen files.
QStringList RunPictureOpenDialog(TfMain& main);
// A picture as the preview shows it, decoded like the viewer does; a null
// image when the file cannot be shown.
QImage DecodeForPreview(const QString& path);

// The path of the help document: "help.html" in the program's folder.
QString HelpDocumentPath();

// The main window as the target of the options dialog's OK.
class TMainOptionTarget : public IOptionTarget {
public:
    explicit TMainOptionTarget(TfMain& main) : m_main(main) {}
    bool SlideshowRunning() const override;
    void SetStatusText(const QString& text) override;
    bool ToolboxOpen() const override;
    void RebuildTransferArea() override;
    void ApplySlideshowInterval() override;
    void ReplaceApplications(const QStringList& applications) override;
    void SearchPlugins(const QString& mask) override;
    void RetakeGraphicFilter() override;

private:
    TfMain& m_main;
};
