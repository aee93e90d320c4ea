#pragma once
// What the main window asks of the toolbox while it is open. The toolbox
// window implements it; the main window holds no other knowledge of it.
class QWidget;

class IToolboxLink {
public:
    virtual ~IToolboxLink() = default;

    virtual QWidget* Window() = 0;
    virtual void RefreshNavControls() = 0;
    virtual void SetTrackPosition(int index) = 0;
    // Presses the copy or the move button.
    virtual void ShowCopyMode(bool copy) = 0;
    // Enables or disables the delete, transfer-door and rename buttons.
    virtual void EnableOrganizingButtons(bool on) = 0;
    // Closes the transfer area (the transfer buttons).
    virtual void CloseTransferArea() = 0;
    // Runs the toolbox's own play-order command (it updates its button).
    virtual void SelectPlayOrder(int order) = 0;
    // Sets the full-screen check box; its handler applies full screen.
    virtual void SetFullScreenCheck(bool on) = 0;
    // Lets the toolbox follow a change of the display form.
    virtual void DisplayFormChanged() = 0;
    // Builds the transfer rows again after [Option] nButton or the
    // destinations changed (the options dialog) and resizes the area.
    virtual void RebuildTransferArea() = 0;
};
