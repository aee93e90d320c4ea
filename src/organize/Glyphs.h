#pragma once
// The toolbox's small pictures, drawn by the program.
#include <QIcon>

enum class Glyph {
    Destination, // ImageList1 image 0: an ordinary destination folder
    RunTimeChoice, // image 1: a folder chosen at run time
    Random, // image 2
    Reverse, // image 3
    Normal, // image 4
    Back, // BackBtn
    Front, // FrontBtn
    Door, // BtnDoor
    Turnback, // TurnbackBtn
    FileCopy, // FileCopy1
};

QIcon MakeGlyph(Glyph glyph);
// The 16 x 16 picture of a glyph.
QPixmap GlyphPixmap(Glyph glyph);
