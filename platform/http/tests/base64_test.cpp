#include "http/base64.h"

#include <gtest/gtest.h>

namespace {

TEST(Base64, StandardVectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {std::string("\xFF\xFE\x00", 3), "//4A"},
  };
  for (const auto& [plain, coded] : cases) EXPECT_EQ(http::Base64(plain), coded) << plain;
}

TEST(Base64, BasicCredentialsJoinUserAndPasswordWithAColon) {
  EXPECT_EQ(http::BasicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_EQ(http::BasicAuthorization("", ""), "Basic Og==");
}

}  // namespace
