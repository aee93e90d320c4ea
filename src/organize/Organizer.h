#pragma once
// The file-organizing subsystem attached to the main window: the transfer
// engine with its dialogs, the toolbox, undo, rename and dragging out.
#include "organize/TransferEngine.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QWidget;
class TfMain;
class TfSame;
class TToolBox;
class TplBrowseFolder;

class TOrganizer : public QObject {
    Q_OBJECT
public:
    // Sets the main window's organizing handlers. The organizer is a child
    // of the main window and lives as long as it.
    explicit TOrganizer(TfMain& main);
    ~TOrganizer() override;

    TfMain& Main() { return m_main; }
    TTransferEngine& Engine() { return *m_engine; }
    TToolBox* Toolbox() const;

    // ToolBox1: opens or closes the toolbox.
    void ToggleToolbox();
    // Releases the toolbox at program exit (its position is already kept).
    void CloseToolbox();
    // BtnDoorClick and Transfer1: opens or closes the transfer area.
    void ToggleTransfer();
    // Drag of the shown file from FileCopy1, followed by ShowImages.
    void DragFromFileCopy();
    // The toolbox went away (its window closed).
    void ToolboxClosed();

    // The folder dialog shared by the engine's run-time choice and the
    // toolbox's destination choice.
    bool BrowseFolder(const QString& caption, const QString& initDir, QString* directory);

    // Hooks for tests: each replaces a modal window or the drag loop.
    std::function<int(TfSame&)> SameDialogHandler;
    std::function<bool(const QString& caption, const QString& initDir, QString* directory)> BrowseHandler;
    std::function<void(const QString& text)> MessageHandler;
    std::function<void(QWidget* source, const QString& path)> DragRunner;
    std::function<void(int milliseconds)> WaitHandler;

private:
    class Ui;

    TfMain& m_main;
    std::unique_ptr<Ui> m_ui;
    std::unique_ptr<TTransferEngine> m_engine;
    std::unique_ptr<TplBrowseFolder> m_browse;
    QPointer<TToolBox> m_toolbox;
};

// Links the organizing subsystem to the main window; the returned object is
// owned by the main window.
TOrganizer* AttachOrganizing(TfMain& main);
