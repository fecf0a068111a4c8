#include "mailto.h"

#include <cstring>

namespace client {

std::string MailtoUrl(const std::string& address) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "mailto:";
  for (const char ch : address) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       (c != 0 && std::strchr("-._~!$'()*+,;:@", c) != nullptr);
    if (plain) {
      url += ch;
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0x0F];
    }
  }
  return url;
}

}  // namespace client
