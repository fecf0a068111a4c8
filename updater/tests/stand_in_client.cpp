// A stand-in for the client in the updater's tests. It notes that it has started, with its
// version and its process id, in "client-starts.log" beside its executable, then waits to be
// ended. It ends by itself after a minute, so a test that forgets it leaves nothing behind.
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <string>

#ifndef CLIENT_VERSION
#error "CLIENT_VERSION names the version this stand-in plays"
#endif

int main() {
  char exe[PATH_MAX] = {};
  const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) return 1;
  std::string folder(exe, static_cast<std::size_t>(length));
  folder.erase(folder.find_last_of('/') + 1);

  const std::string line = std::string(CLIENT_VERSION) + " " + std::to_string(::getpid()) + "\n";
  const int log = ::open((folder + "client-starts.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (log < 0) return 1;
  const bool written = ::write(log, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(log);
  if (!written) return 1;

  for (int i = 0; i < 600; ++i) ::usleep(100 * 1000);
  return 0;
}
