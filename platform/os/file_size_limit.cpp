#include "os/file_size_limit.h"

#include <csignal>

namespace os {

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace os
