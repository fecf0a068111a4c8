#include "os/environment.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace os {

std::optional<std::string> GetEnvironmentVariable(std::string_view name) {
  if (name.empty() || name.find('=') != std::string_view::npos || name.find('\0') != std::string_view::npos)
    return std::nullopt;
  const char* value = std::getenv(std::string(name).c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

std::string ExecutablePath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

}  // namespace os
