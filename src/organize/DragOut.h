#pragma once
// Dragging a file out of the program to any drop target of the desktop.
#include <QString>

class QWidget;

// One complete drag of one file (its URL as text/uri-list), offering copy,
// move and link; returns when the drag has ended. The target's choice is
// not used. Nothing happens for a path that names no file.
void DragFileOut(QWidget* source, const QString& path);
