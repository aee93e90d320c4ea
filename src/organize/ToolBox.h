#pragma once
// TToolBox: the floating tool window with the navigation controls, the
// display form, the play order, rename, delete, undo, drag-out, the
// copy/move switch and the numbered transfer buttons.
#include "viewer/common/ViewerActions.h"

#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;
class TTransferEngine;
class ViewerSession;

// The text of a transfer button for an entry (DrawTransferButton, steps 2
// to 4): the caption cut and padded to the field width.
QString TransferButtonText(const QString& caption, const QString& folder);
// The caption a chosen or dropped folder gives its button.
QString CaptionForFolder(const QString& folder);

// A group of radio buttons with an item index, like a radio group.
class TRadioGroup : public QWidget {
    Q_OBJECT
public:
    TRadioGroup(const QString& title, const QStringList& items, QWidget* parent);
    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const;
signals:
    void clicked(int index);

private:
    QGroupBox* m_box;
    QButtonGroup* m_group;
    std::vector<QRadioButton*> m_items;
};

// A view over the viewer session: it shows the session's state and sends it
// requests. What concerns other windows leaves it as signals.
class TToolBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 122;
    static constexpr int kBevelTop = 335; // B

    // The folder dialog: true with the chosen folder, false when cancelled.
    using BrowseFunction = std::function<bool(const QString& caption, const QString& initDir, QString* directory)>;

    TToolBox(ViewerSession& session, const ViewerActions& actions, TTransferEngine& engine, BrowseFunction browse,
             QWidget* parent);
    ~TToolBox() override;

    // Following the session.
    void RefreshNavControls();
    void SetTrackPosition(int index);
    void ShowCopyMode(bool copy);
    void EnableOrganizingButtons(bool on);
    void ShowFullScreen(bool on);
    void DisplayFormChanged();

    void FormCreate();
    void SetTransferArea();
    void MakeTransferButtons();
    void DrawTransferButton(int i);
    void ShowPlayOrder(int order);
    void RefreshUndoControls();

    // Handlers of the fixed controls and menus.
    void BtnClick(int tag);
    void TrackBarChange();
    void BtnCMCheck(int tag);
    void CheckBox1Click();
    void CheckBox2Click();
    void rgStateClick();
    void rgOrientClick();
    void Button1Click();
    void list_click(int order);
    void ChoiceFolder();
    void RunChoiceClick();
    void FolderErase();
    void ButtonNameClick();
    void myEditExit();
    // A drop of these paths at this point (client coordinates).
    void FilesDropped(const QStringList& paths, const QPoint& position);
    // Left button pressed on FileCopy1.
    void FileCopy1MouseDown();

    int PopupTarget() const { return m_popupTarget; }
    void SetPopupTarget(int index) { m_popupTarget = index; }
    int CaptionEditIndex() const { return m_editIndex; }
    bool Editing() const { return m_editing; }

signals:
    // The window closed (it is released afterwards).
    void closed();
    // A key typed in the toolbox, for the main window's key handling.
    void keyTyped(QKeyEvent* event);
    // BtnDoor: open or close the transfer area.
    void transferToggleRequested();
    // FileCopy1 pressed: drag the shown file out.
    void fileCopyDragRequested();
    // The right button released on AutoBtn: the options dialog.
    void optionsRequested();

public:
    // Controls, by their names.
    QToolButton* BackBtn = nullptr;
    QToolButton* AutoBtn = nullptr;
    QToolButton* FrontBtn = nullptr;
    QSlider* TrackBar = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    TRadioGroup* rgState = nullptr;
    TRadioGroup* rgOrient = nullptr;
    QToolButton* Button1 = nullptr;
    QPushButton* NameChangeBtn = nullptr;
    QToolButton* BtnDoor = nullptr;
    QToolButton* DeleteBtn = nullptr;
    QFrame* Bevel1 = nullptr;
    QToolButton* TurnbackBtn = nullptr;
    QToolButton* FileCopy1 = nullptr;
    QToolButton* BtnCopy = nullptr;
    QToolButton* BtnMove = nullptr;
    QLineEdit* myEdit = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    std::vector<QLabel*> NumberLabels;
    std::vector<QPushButton*> TransferButtons;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void WatchKeys(QWidget* widget);
    bool ForwardKey(QKeyEvent* event);
    ViewerSession& m_session;
    const ViewerActions m_actions;
    TTransferEngine& m_engine;
    BrowseFunction m_browse;
    QButtonGroup* m_modeGroup = nullptr;
    int m_popupTarget = 0;
    int m_editIndex = 0;
    bool m_editing = false;
    bool m_shownOnce = false;
};
