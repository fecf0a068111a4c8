#pragma once
#include <string>
#include <string_view>

namespace http {

// Standard Base64 (RFC 4648 alphabet, "=" padding), as Basic credentials use it.
std::string Base64(std::string_view bytes);

// The value of an "Authorization" header for Basic credentials: "Basic " + Base64(user:password).
std::string BasicAuthorization(std::string_view user, std::string_view password);

}  // namespace http
