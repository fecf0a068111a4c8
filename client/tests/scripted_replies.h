#pragma once
// Replies of the stand-in server that the window tests script.
#include <string>

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

}  // namespace client_test
