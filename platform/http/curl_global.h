#pragma once

namespace http {

// libcurl's process-wide set-up, done once before the first handle is made.
void EnsureCurlReady();

}  // namespace http
