// Extraction streams: a large item passes through fixed buffers, so the memory the process uses
// does not grow with the item's or the archive's size.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

long PeakKilobytes() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(Streaming, LargeItemsUseBoundedMemory) {
  TTempDir dir;
  fs::create_directories(dir / "src");
  // 384 MiB of zeros deflate to well under a megabyte: one input chunk yields hundreds of output
  // chunks, and the archive is small while its content is large.
  ASSERT_EQ(0, Shell("truncate -s 384M " + Quote((dir / "src" / "zeros.bin").string())));
  WriteBytes(dir / "src" / "random.bin", RandomBytes(24 * 1024 * 1024, 5));
  StampTimes(dir / "src");
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q -1 " + Quote((dir / "big.zip").string()) +
                     " zeros.bin random.bin"));
  const long before = PeakKilobytes();
  const TEngineRun run = ExtractWithEngine(dir / "big.zip", dir / "out");
  const long grown = PeakKilobytes() - before;
  ASSERT_TRUE(run.Result.Succeeded()) << (run.Failures.empty() ? run.OpenMessage : run.Failures[0]);
  EXPECT_EQ(384u * 1024 * 1024, fs::file_size(dir / "out" / "zeros.bin"));
  EXPECT_EQ(ReadBytes(dir / "src" / "random.bin"), ReadBytes(dir / "out" / "random.bin"));
  // A few buffers of one chunk each, far below the item's size.
  EXPECT_LT(grown, 48 * 1024) << "peak grew by " << grown << " KiB";
}

}  // namespace
