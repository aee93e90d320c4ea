// Program entry: the application object titled "ミレット", the main window,
// and the message loop until the main window closes.
#include "app/Wiring.h"
#include "decode/BuiltInFormats.h"
#include "dialogs/DialogSupport.h"
#include "platform/FileNames.h"
#include "dialogs/JapaneseUi.h"
#include "viewer/MainWindow.h"
#include "platform/Process.h"

#include <QApplication>

int main(int argc, char** argv)
{
    platform::ReturnLargeBlocksToSystem();
    QApplication app(argc, argv);
    // The application title. No display name is set: Qt would append it to
    // every window caption, and the captions are the program's own.
    QApplication::setApplicationName(MainTexts::ProductName);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());
    InstallQtJapaneseTranslations(app);
    MapWindowsFontNames();
    RegisterBuiltInFormats();

    // QApplication has taken its own options out of argv; the rest is read
    // with every byte of the file names kept.
    const QStringList arguments = platform::ProgramArguments(argc, argv);

    int result = 0;
    {
        auto wiring = MakeProgramWiring();
        TfMain window(arguments, nullptr, [&](TfMain& main) { wiring->Attach(main); });
        window.ShowAtStart();
        result = app.exec();
    }
    UnregisterFormatsAtExit();
    return result;
}
