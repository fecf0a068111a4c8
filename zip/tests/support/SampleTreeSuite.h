#pragma once
// A test suite whose cases share one sample tree, made once for the suite and removed after it.
#include <gtest/gtest.h>

#include <memory>

#include "ZipTestSupport.h"

namespace ziptest {

class SampleTreeSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Shared = std::make_unique<TTempDir>();
    MakeSampleTree(Shared->Path() / "src");
  }
  static void TearDownTestSuite() { Shared.reset(); }
  static fs::path Source() { return Shared->Path() / "src"; }

 private:
  static inline std::unique_ptr<TTempDir> Shared;
};

}  // namespace ziptest
