#pragma once
// Replies of the stand-in server that the window tests script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/stand-in/server.h"

namespace client_test {

inline http::stand_in::ScriptedReply Body(std::string body) {
  http::stand_in::ScriptedReply r;
  r.body = std::move(body);
  return r;
}

inline http::stand_in::ScriptedReply Failing(int status, std::string reason) {
  http::stand_in::ScriptedReply r;
  r.status = status;
  r.reason = std::move(reason);
  r.body = "<html>error</html>";
  return r;
}

inline http::stand_in::ScriptedReply ClosedWithoutReply() {
  http::stand_in::ScriptedReply r;
  r.close_without_reply = true;
  return r;
}

// The request failures every handler is tried with: refused credentials, a server error, and a
// connection closed without a reply. `text` is what the status bar then shows (empty: the
// system's own wording).
struct RequestFailure {
  std::string name;
  http::stand_in::ScriptedReply reply;
  std::string text;
};
inline std::vector<RequestFailure> RequestFailures() {
  return {{"401", Failing(401, "Authorization Required"), "Authorization Required"},
          {"500", Failing(500, "Internal Server Error"), "Internal Server Error"},
          {"closed without a reply", ClosedWithoutReply(), ""}};
}

// A failure reaches the user as the application-wide handler shows it: its text in the status
// bar and in Label16.
inline void ExpectFailureShown(const RequestFailure& failure, const std::string& status, const std::string& label16) {
  EXPECT_FALSE(status.empty());
  if (!failure.text.empty()) {
    EXPECT_EQ(status, failure.text);
  }
  EXPECT_EQ(label16, status);
}

}  // namespace client_test
