#pragma once
// Tests only: input as the window system delivers it from the user's mouse and keyboard
// (through Qt's test library), for the faults that only real input shows: the window
// system's own tooltip timing, validators that refuse keys, a calendar closed by a key.
#include <string>

#include "forms/control.h"
#include "forms/listview.h"

namespace forms::testing {

enum class Key { Enter, Escape, Left, Right, Up, Down, Tab, Backspace, F4 };

// The mouse pointer moves to a point of the control's client area and rests there.
void MoveMouseTo(TControl& control, TPoint clientPoint);
// A click of the left mouse button at a point of the control's client area. As on a desktop
// that gives the focus to the window clicked, the control's window becomes the active one.
void ClickAt(TControl& control, TPoint clientPoint);
// A double click of the left mouse button there (the window activated as by ClickAt).
void DoubleClickAt(TControl& control, TPoint clientPoint);
// The middle of row `row` of the list, in the list's client coordinates (for ClickAt).
TPoint RowPoint(TListView& list, int row);
// Whether the form is the window in front that has the keyboard focus.
bool IsActiveWindow(TControl& form);
// The control takes the focus, then each character of the text is typed on the keyboard.
void TypeKeys(TWinControl& control, const std::string& text);
// One key pressed and released on the control (with Alt held when asked).
void PressKey(TWinControl& control, Key key, bool alt = false);
// One key on the popup that is open (a drop-down calendar, a menu); false when none is.
bool PressKeyOnPopup(Key key);
// A click of the mouse in the control's window, away from every control (closes a popup).
void ClickOutsidePopup(TControl& control);
// The text of the hint on screen now, as the user reads it (empty when none is shown).
std::string ShownHint();
// Where the hint on screen now lies, in screen coordinates (empty when none is shown).
TRect ShownHintBounds();
// The colour the screen shows now inside a cell of the list, near its right end (away from
// its text): the window system's copy of the window, as drawn so far, not drawn anew.
TColor ShownCellColor(TListView& list, int row, int column);
// Whether column `column` of the list shows its caption and a cell holding `cellText` whole,
// as the desktop's style draws them (nothing cut, no "…").
bool ColumnShowsWhole(TListView& list, int column, const std::string& cellText);
// Whether the user can bring column `column` of the list into view whole: with the list
// scrolled as far right as its scroll bar goes (when it needs one), the column lies within the
// list's client area and shows its caption and a cell holding `cellText` whole.
bool ColumnCanBeSeenWhole(TListView& list, int column, const std::string& cellText);
// A window manager that answers late, as a real one does: every place and size asked for the
// form's window is reported back by the window system only once the next one has been asked
// for, so that meanwhile the window reads as being where it was asked to be before. While it
// lives, the window's moves and resizes are answered that way; Settle() delivers the answers
// still on their way (and so does its end).
class LateWindowManager {
 public:
  explicit LateWindowManager(TControl& form);
  ~LateWindowManager();
  LateWindowManager(const LateWindowManager&) = delete;
  LateWindowManager& operator=(const LateWindowManager&) = delete;
  void Settle();

 private:
  struct Filter;
  Filter* filter_;  // owned by the form's window
};
// The focus leaves the control for another control of its window, as Tab would move it.
void LeaveControl(TWinControl& control, TWinControl& next);

}  // namespace forms::testing
