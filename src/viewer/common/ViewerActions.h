#pragma once
// The commands of the main window's menus, one QAction each, shared by every
// window that must answer their shortcuts (the main window and the
// full-screen window). Each action keeps its object name.
#include <QList>

#include <array>

class QAction;
class QObject;

struct ViewerActions {
    // File
    QAction* fileopen1 = nullptr;
    QAction* OpenFolder1 = nullptr;
    QAction* slideshow1 = nullptr;
    QAction* option1 = nullptr;
    QAction* ShortcutCreate = nullptr;
    QAction* List1 = nullptr; // the history submenu's own entry
    std::array<QAction*, 6> ov{}; // history entries ov1 .. ov6
    QAction* ListDel1 = nullptr;
    QAction* exit1 = nullptr;
    // Edit
    QAction* MoveUndo1 = nullptr;
    QAction* fNameChange1 = nullptr;
    QAction* clipcopy1 = nullptr;
    // Tools
    QAction* ToolBox1 = nullptr;
    QAction* CopyMode1 = nullptr;
    QAction* MoveMode1 = nullptr;
    QAction* Transfer1 = nullptr;
    QAction* Max1 = nullptr;
    QAction* menu_random = nullptr;
    QAction* menu_normal = nullptr;
    QAction* menu_reverse = nullptr;
    // Help
    QAction* Help1 = nullptr;
    QAction* about1 = nullptr;

    // Every action above that exists, in menu order.
    QList<QAction*> All() const;
};

// Makes the actions (captions, shortcuts, check marks, object names) as
// children of owner; List1 is left to the menu that owns it. Shortcuts work
// in every window the actions are added to.
ViewerActions MakeViewerActions(QObject* owner);
