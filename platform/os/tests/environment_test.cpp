#include <gtest/gtest.h>

#include "os/environment.h"
#include "test_support.h"

namespace {

TEST(Environment, SetEmptyUnsetAndImpossibleNames) {
  os_test::ScopedEnv set("ORVALIS_TEST_VAR", "C:\\Program Files");
  os_test::ScopedEnv empty("ORVALIS_TEST_EMPTY", "");
  os_test::ScopedEnv unset("ORVALIS_TEST_UNSET", std::nullopt);
  EXPECT_EQ(os::GetEnvironmentVariable("ORVALIS_TEST_VAR"), "C:\\Program Files");
  EXPECT_EQ(os::GetEnvironmentVariable("ORVALIS_TEST_EMPTY"), "");
  EXPECT_EQ(os::GetEnvironmentVariable("ORVALIS_TEST_UNSET"), std::nullopt);
  EXPECT_EQ(os::GetEnvironmentVariable(""), std::nullopt);
  EXPECT_EQ(os::GetEnvironmentVariable("ORVALIS_TEST_VAR=C:\\Program Files"), std::nullopt);
  EXPECT_EQ(os::GetEnvironmentVariable(std::string("ORVALIS_TEST_VAR\0x", 18)), std::nullopt);
}

}  // namespace
