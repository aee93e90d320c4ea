#pragma once
// Sizing and placing a picture inside the display area of one position.
#include <QRect>

struct FitInput {
    int areaWidth = 0; // W
    int areaHeight = 0; // H
    int position = 0; // 0 or 1
    int pictureWidth = 0;
    int pictureHeight = 0;
    bool zoom = false; // enlarge pictures smaller than the area
    bool spread = false; // a two-page display form
    int menuHeight = 0; // m: menu-bar height (0 in the full-screen window)
};

// The control's rectangle (left, top, width, height) relative to the
// position's area origin at x = 0 (the caller adds nothing: in a spread the
// left value already counts from the left edge of position 0).
QRect FitPictureRect(const FitInput& in);

// Round to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double value);
