#pragma once
// Environment variables.
#include <optional>
#include <string>
#include <string_view>

namespace os {

// The value of the variable, or nothing when it is not set (or the name is empty or holds "=").
std::optional<std::string> GetEnvironmentVariable(std::string_view name);

}  // namespace os
