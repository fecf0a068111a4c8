#pragma once
// The start of the client, after the single-instance check: the application's title and
// the four windows, in the order the program relies on (the first is the main window).
#include "forms/application.h"

namespace client {

inline constexpr const char* kApplicationTitle = "Orvalis Pulse";
inline constexpr const char* kMutexName = "OrvalisP";

void CreateClientForms(forms::TApplication& application);

}  // namespace client
