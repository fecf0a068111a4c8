#pragma once
// Environment variables, and the path of the running program.
#include <optional>
#include <string>
#include <string_view>

namespace os {

// The value of the variable, or nothing when it is not set (or the name is empty or holds "=").
std::optional<std::string> GetEnvironmentVariable(std::string_view name);

// The full path of the running program's executable (/proc/self/exe), empty when the system
// does not tell.
std::string ExecutablePath();

}  // namespace os
