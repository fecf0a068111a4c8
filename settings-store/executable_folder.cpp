#include "executable_folder.h"

#include <filesystem>
#include <optional>
#include <system_error>

namespace settings_store {
namespace {

std::optional<std::string>& Override() {
  static std::optional<std::string> folder;
  return folder;
}

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::string ExecutableFolder() {
  if (Override()) return *Override();
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return WithSlash(std::filesystem::current_path(ec).string());
  return WithSlash(exe.parent_path().string());
}

ScopedExecutableFolder::ScopedExecutableFolder(std::string folder)
    : previous_(Override().value_or(std::string())), hadPrevious_(Override().has_value()) {
  Override() = WithSlash(std::move(folder));
}

ScopedExecutableFolder::~ScopedExecutableFolder() {
  if (hadPrevious_)
    Override() = previous_;
  else
    Override().reset();
}

}  // namespace settings_store
