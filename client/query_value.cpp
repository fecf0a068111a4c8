#include "query_value.h"

namespace client {

std::string QueryValue(std::string_view typed, Spaces spaces) {
  std::string value;
  value.reserve(typed.size());
  for (char c : typed) {
    switch (c) {
      case ' ':
        if (spaces == Spaces::Plus) value += '+';
        break;
      case '&': value += "%26"; break;
      case '=': value += "%3D"; break;
      case '#': value += "%23"; break;
      case '%': value += "%25"; break;
      case '+': value += "%2B"; break;
      default: value += c; break;
    }
  }
  return value;
}

}  // namespace client
