// Dialog units: the coordinates in which every window's controls are laid
// out, tied to the font so that a layout grows and shrinks with it.
//
// One horizontal unit is a quarter of the font's average character width,
// one vertical unit an eighth of its height. The average character width is
// the advance of the 52 letters "A".."Z", "a".."z" divided by 26, halved and
// rounded ((advance / 26 + 1) / 2), the way the unit has always been taken.
// All windows use the platform's default font (QApplication::font()), so
// they share one pair of base units.
#pragma once

#include <QFont>
#include <QRect>
#include <QStringList>

class QWidget;

struct DialogBaseUnits {
  int x = 0;  // pixels per 4 horizontal units
  int y = 0;  // pixels per 8 vertical units
};

DialogBaseUnits Dialog_Base_Units(const QFont& font);

// Maps a rectangle given in dialog units (left, top, width, height) to
// pixels for the platform's default font. Each edge is mapped on its own and
// rounded to the nearest pixel, so rectangles that touch in dialog units
// touch in pixels too.
QRect Dialog_Rect_To_Pixels(int x, int y, int width, int height);

// Places `control` on the rectangle given in dialog units, in its parent's
// coordinates, and keeps that rectangle for Fit_Controls.
void Place_Control(QWidget& control, int x, int y, int width, int height);

// Run once all controls of `container` are placed (group boxes with their
// titles set), in three steps:
//  1. Controls placed inside a group box's rectangle move into the contents
//     rectangle of the group box as the style draws it. The rectangles are
//     those of the classic look, which draws the title into the frame's top
//     line: the group's rectangle less one line (8 units) at the top maps
//     onto the style's contents rectangle, each edge at the same fraction.
//  2. Each control whose text would be cut off in this font grows just
//     enough to show it. It grows away from the side its text is anchored to
//     (a right-aligned label to the left, a centred text to both sides,
//     anything else to the right) as far as its row is free, up to its
//     neighbours and the contents of its group box, and takes the rest on
//     the other side. A text too tall for its control grows it up and down
//     alike, and a list grows to show its last line whole; either stays in
//     its group box's contents.
//  3. Push buttons stacked in one column take the extent of the widest.
// Layout_Faults tells whether anything is still wrong.
void Fit_Controls(QWidget& container);

// Everything wrong with the layout of the direct child controls of
// `container`, one line each (empty when all is well): a control that
// reaches outside the container, a text that is cut off (a list showing
// part of a line counts), two controls that overlap (two group boxes
// included), a control that meets a group box without lying within its
// contents (it crosses the frame or the title), or push buttons of one
// column with different widths.
QStringList Layout_Faults(const QWidget& container);
