#pragma once
// The archiver is a component of the form framework: its Name prefixes the engine's messages
// and its owner destroys it.
#include "forms/classes.h"
#include "forms/events.h"
#include "forms/strings.h"
#include "forms/sysutils.h"

namespace zip {

using forms::TComponent;
using forms::TNotifyEvent;
using forms::TObject;
using forms::TStringList;
using forms::TStrings;

}  // namespace zip
