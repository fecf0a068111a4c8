#pragma once
// For the forms layer: what the window shows of a text is bounded by what a screen can hold,
// however long the text is. The text itself is kept whole by its control; only what is drawn
// is cut, so that a huge text costs no more to show than a screenful.
#include <QFont>
#include <QSize>
#include <QString>

namespace forms::detail {

// The room of the screen the windows show on (its available area), less `margin` pixels on
// every side for the frame and margins of what shows the text.
QSize ScreenRoom(int margin = 0);

enum class Fit {
  BreakLines,  // a box that never wraps by itself (a hint): a line wider than the room is broken
  CutLines,    // a one-line place (a status panel): a line wider than the room is cut
  BreakWords,  // a box that wraps at blanks (a message box): only a word wider than the room is broken
  WrapWords,   // a box that never wraps by itself (a hint), its lines wrapped here: at the last blank
               // that fits, a word wider than the room broken where it reaches the edge
};

// `text` (lines separated by '\n') as shown within `room` in `font`: lines broken or cut as
// `how` says, and the lines below the room's height left off, the last one shown ending in
// "…". Only the part that is shown is measured.
QString FitToRoom(const QString& text, const QFont& font, QSize room, Fit how);

// A list cell: no more characters than a screen line can hold (each takes at least a pixel).
QString FitToCell(const QString& text);

}  // namespace forms::detail
