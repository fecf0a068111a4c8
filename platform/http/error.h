#pragma once
// The one exception of the HTTP layer. A reply whose status is 400 or more raises it with the
// reply's reason phrase; a request that never got a reply raises it with the layer's own English
// text, as status 404 (the code a failed look-up or connection has always carried for callers).
#include <stdexcept>
#include <string>

namespace http {

enum class Failure {
  Status,    // the server answered with a status of 400 or more
  Resolve,   // the host name gave no address
  Connect,   // the connection could not be made
  Timeout,   // the time limit of the request ran out
  Closed,    // the connection ended before the reply was complete
  BadReply,  // what came back was not an HTTP reply
  TooLarge,  // the reply was larger than the caller allows in memory
  Other,
};

class EHttpException : public std::runtime_error {
 public:
  EHttpException(int status_code, Failure failure, const std::string& message)
      : std::runtime_error(message), status_code_(status_code), failure_(failure) {}

  int StatusCode() const noexcept { return status_code_; }
  Failure Kind() const noexcept { return failure_; }

 private:
  int status_code_;
  Failure failure_;
};

}  // namespace http
