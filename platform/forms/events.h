#pragma once
// The event types of the framework. Every event is a public std::function member of its
// control, called through the dispatcher (dispatcher.h).
#include <functional>

#include "forms/graphics.h"

namespace forms {

class TObject;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
// One notch of the wheel; set Handled to keep the event from going further.
using TMouseWheelUpDownEvent =
    std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta,
                                            TPoint MousePos, bool& Handled)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

}  // namespace forms
