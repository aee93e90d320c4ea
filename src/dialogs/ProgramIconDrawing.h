#pragma once
// The program's icon: an open album with a picture, the reading arrow and a
// ribbon. One drawing serves the window icon, the about box and the icon
// files installed for the desktop (SVG and PNG).
#include <QPainter>

// Paints the icon into the square (0, 0, size, size) of the painter's
// current coordinates, antialiased. The painter's state is restored after.
void DrawProgramIcon(QPainter& p, qreal size);
