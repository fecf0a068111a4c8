#include "executable_folder.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "forms/sysutils.h"
#include "os/environment.h"

namespace settings_store {
namespace {

std::optional<std::string>& Override() {
  static std::optional<std::string> folder;
  return folder;
}

}  // namespace

std::string ExecutableFolder() {
  if (Override()) return *Override();
  using forms::IncludeTrailingPathDelimiter;
  const std::filesystem::path exe = os::ExecutablePath();
  std::error_code ec;
  if (exe.empty()) return IncludeTrailingPathDelimiter(std::filesystem::current_path(ec).string());
  return IncludeTrailingPathDelimiter(exe.parent_path().string());
}

ScopedExecutableFolder::ScopedExecutableFolder(std::string folder)
    : previous_(Override().value_or(std::string())), hadPrevious_(Override().has_value()) {
  Override() = forms::IncludeTrailingPathDelimiter(std::move(folder));
}

ScopedExecutableFolder::~ScopedExecutableFolder() {
  if (hadPrevious_)
    Override() = previous_;
  else
    Override().reset();
}

}  // namespace settings_store
