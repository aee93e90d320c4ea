// Saves pictures of the options dialog, the shortcut dialog, the help viewer
// (showing the program's help document) and the about box, for looking at
// them under a real X server (Xvfb):
//   dialogs_screenshots <output folder> <help.html> [anchor...]
#include "dialogs/AboutBox.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/HelpViewer.h"
#include "dialogs/OptionDialog.h"
#include "dialogs/ShortcutDialog.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QLineEdit>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>

namespace {

class NoTarget : public IOptionTarget {
public:
    bool SlideshowRunning() const override { return false; }
    void SetStatusText(const QString&) override {}
    bool ToolboxOpen() const override { return false; }
    void RebuildTransferArea() override {}
    void ApplySlideshowInterval() override {}
    void ReplaceApplications(const QStringList&) override {}
    void SearchPlugins(const QString&) override {}
    void RetakeGraphicFilter() override {}
};

void save(QWidget* w, const QString& file)
{
    w->show();
    w->raise();
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    w->grab().save(file);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ミレット"));
    QApplication::setWindowIcon(ProgramIcon());
    if (argc < 3)
        return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    Settings settings;
    settings.SusieDir = QStringLiteral("/home/user/susie");
    settings.ShortCut.PictureFolder = QStringLiteral("/home/user/写真/2026 夏");
    NoTarget target;

    TfOption option(nullptr, settings, {QStringLiteral("/usr/bin/gimp"), QStringLiteral("/usr/bin/inkscape")}, target);
    save(&option, out + QStringLiteral("/options.png"));
    option.ListBox1()->setCurrentRow(1);
    save(&option, out + QStringLiteral("/options.png"));
    option.hide();

    TfShortCut shortcut(nullptr, settings);
    shortcut.Edit2()->setText(QStringLiteral("夏の写真"));
    save(&shortcut, out + QStringLiteral("/shortcut.png"));
    shortcut.hide();

    settings.Help = {0, 0, 720, 640};
    auto* help = new TfHelpViewer(nullptr, settings);
    help->StartPage = QString::fromLocal8Bit(argv[2]);
    help->Navigate(help->StartPage);
    save(help, out + QStringLiteral("/help.png"));
    // Further pictures at the anchors named after the document.
    for (int i = 3; i < argc; ++i) {
        const QString anchor = QString::fromLocal8Bit(argv[i]);
        help->WebBrowser1()->scrollToAnchor(anchor);
        save(help, out + QStringLiteral("/help_") + anchor + QStringLiteral(".png"));
    }
    help->close();

    TfAbout about(nullptr);
    save(&about, out + QStringLiteral("/about.png"));
    return 0;
}
