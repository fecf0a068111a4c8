#include "http/curl_global.h"

#include <curl/curl.h>

#include <stdexcept>

namespace http {

void EnsureCurlReady() {
  static const bool ready = [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
      throw std::runtime_error("libcurl could not be initialised");
    return true;
  }();
  (void)ready;
}

}  // namespace http
