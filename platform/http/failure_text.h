#pragma once
// The English texts of failures that leave no reply, and the error each one carries.
#include <string>

#include "http/error.h"

namespace http {

// Status code carried by failures that got no reply at all.
inline constexpr int kNoReplyStatus = 404;

// A name that gives no address.
EHttpException ResolveFailure();

// A connection that failed with the system error `error` (an errno value). Errors that come
// back from the other side while the connection is being made (refused, reset, timed out,
// unreachable host) read "<text> (Error #<n>)"; errors that stop it from starting at all read
// "can't connect: <text> (Error #<n>)".
EHttpException ConnectFailure(int error);

// The text of a system error, always in English: "Connection refused (Error #111)".
std::string SocketErrorText(int error);

EHttpException TimeoutFailure();

}  // namespace http
