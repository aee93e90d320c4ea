#pragma once
// Small pieces shared by the program's dialogs.
#include <QIcon>
#include <QPixmap>
#include <QSpinBox>

class QWidget;

// A spin edit that changes only through its arrow buttons: typing into it is
// disabled and the Tab key passes it by.
class TArrowSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    TArrowSpinEdit(int minimum, int maximum, int step, QWidget* parent = nullptr);
};

// Moves a window so that it is centred over another window (its outer
// rectangle); without the other window it stays where it is.
void CenterOver(QWidget* window, const QWidget* over);

// The program's icon, drawn at the given size: an open photo album with a
// picture and a book ribbon.
QPixmap ProgramIconPixmap(int size);
QIcon ProgramIcon();

// Small button glyphs drawn in the palette's text colour.
enum class Glyph { Add, Remove, Up, Down, Folder, Ok, Cancel };
QIcon GlyphIcon(Glyph glyph);
