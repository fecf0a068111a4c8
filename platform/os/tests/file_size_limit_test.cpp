#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/file_size_limit.h"

namespace {

// In a child process: the limit set, a file written past it. The child ends with 0 when the
// write stopped at the limit and then failed with EFBIG, with 1 for any other outcome; the
// default SIGXFSZ would end it by the signal instead.
[[noreturn]] void WritePastALimitOf(rlim_t limit) {
  os::IgnoreFileSizeSignal();
  const rlimit small{limit, limit};
  char path[] = "/tmp/file-size-limit-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0 || ::setrlimit(RLIMIT_FSIZE, &small) != 0) std::_Exit(1);
  ::unlink(path);
  const std::vector<char> bytes(2 * limit, 'x');
  const bool stoppedAtTheLimit = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(limit);
  const bool thenRefused = ::write(fd, bytes.data(), bytes.size()) < 0 && errno == EFBIG;
  std::_Exit(stoppedAtTheLimit && thenRefused ? 0 : 1);
}

TEST(FileSizeLimit, AWritePastItFailsWithEFBIGInsteadOfEndingTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(WritePastALimitOf(4096), ::testing::ExitedWithCode(0), "");
}

}  // namespace
