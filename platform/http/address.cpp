#include "http/address.h"

#include <charconv>

namespace http {
namespace {

int ParsePort(std::string_view text) {
  int port = -1;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, port);
  if (text.empty() || ec != std::errc() || ptr != end || port < 1 || port > 65535) return -1;
  return port;
}

}  // namespace

Address ParseAddress(std::string_view address) {
  Address result;
  constexpr std::string_view kScheme = "http://";
  if (address.substr(0, kScheme.size()) == kScheme) address.remove_prefix(kScheme.size());

  const auto authority_end = address.find_first_of("/?");
  std::string_view authority = address.substr(0, authority_end);
  if (authority_end == std::string_view::npos) {
    result.target = "/";
  } else {
    result.target = std::string(address.substr(authority_end));
    if (result.target.front() != '/') result.target.insert(0, "/");
  }

  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    result.has_user_info = true;
    const std::string_view user_info = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const auto colon = user_info.find(':');
    result.user = std::string(user_info.substr(0, colon));
    if (colon != std::string_view::npos) result.password = std::string(user_info.substr(colon + 1));
  }

  if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
    result.host = std::string(authority.substr(0, colon));
    result.port = ParsePort(authority.substr(colon + 1));
  } else {
    result.host = std::string(authority);
  }
  return result;
}

}  // namespace http
