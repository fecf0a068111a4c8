#pragma once
// Gives the memory a process no longer uses back to the system.
#include <string_view>

namespace client {

// The name the client looks itself up by when it trims its memory. The comparison counts the
// case of letters, so a program file named with another case ("OrvalisP.exe") is simply not
// trimmed; nothing else depends on it.
inline constexpr std::string_view kOwnExeName = "orvalisP.exe";

// Empties the working set of the first running process whose executable file name equals
// `exeName` exactly (case counts). Reports nothing: a process that is not found, cannot be
// opened or cannot be trimmed is simply left alone.
void LiberationProcessus(std::string_view exeName);

}  // namespace client
