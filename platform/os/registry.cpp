#include "os/registry.h"

#include "os/desktop_registry.h"

namespace os {

template <>
Registry& RealService<Registry>() {
  static DesktopRegistry real;
  return real;
}

std::optional<std::string> ReadRegistryDefault(RegistryRoot root, std::string_view key) {
  return Use<Registry>().ReadDefaultValue(root, key);
}

}  // namespace os
