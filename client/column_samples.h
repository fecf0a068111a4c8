#pragma once
// Values of the fixed forms that list columns show, so that each column is drawn wide enough
// for them with whatever font the desktop gives.
#include <string>

#include "forms/sysutils.h"

namespace client {

// A day in the user's short date format, as the mail list writes it and the server sends it.
inline std::string SampleDate() { return forms::DateToStr(forms::EncodeDate(2026, 12, 28)); }
// A time of day as the secretariat sends it (hours and minutes).
inline std::string SampleServerTime() { return "23:59"; }
// A time of day in the user's time format, as the mail list writes it.
inline std::string SampleTime() { return forms::TimeToStr(forms::EncodeTime(23, 59, 59, 0)); }

}  // namespace client
