#pragma once
// A small synchronous HTTP client. `Get` returns when the reply is complete or the request has
// failed; meanwhile the transfer runs on a worker thread and the calling thread keeps calling
// the caller's pump (the window programs pass their message processing), so windows stay alive
// and timers and clicks go on while a request waits.
//
// The request carries exactly what the caller gives: the request target's bytes as they are
// (nothing is encoded), the headers in the caller's order and no others, no proxy (none from the
// environment either), cookies only through a `CookieJar`.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/cookie_jar.h"
#include "http/error.h"

namespace http {

enum class Version { Http10, Http11 };

struct Header {
  std::string name;
  std::string value;
  bool operator==(const Header&) const = default;
};

struct Request {
  Version version = Version::Http11;
  // Where to connect. The host is used as given (a name or a dotted address, no brackets).
  std::string host;
  int port = 80;
  // The request target, sent byte for byte ("/path?query"). CR, LF and NUL cannot be sent
  // inside a request line; they go out as %0D, %0A and %00.
  std::string target = "/";
  // Sent in this order, and nothing else. Without a "Host" among them the layer sends
  // "Host: host" (with ":port" when it is not 80), which every HTTP/1.1 request needs.
  std::vector<Header> headers;
  // Cookies set by replies are kept in and sent from this jar; none when it is null.
  CookieJar* cookies = nullptr;

  // Time limits; zero means none. `time_limit` bounds the whole request, `connect_limit` the
  // connection, `stall_limit` a reply that stops sending data (for long downloads).
  std::chrono::milliseconds time_limit{0};
  std::chrono::milliseconds connect_limit{0};
  std::chrono::milliseconds stall_limit{0};

  // Called on the calling thread over and over while the request waits. If it throws, the
  // transfer is abandoned and the exception goes on to the caller.
  std::function<void()> pump;
  std::chrono::milliseconds pump_interval{10};

  // Download progress, all called on the calling thread: `on_begin` once the reply's header has
  // arrived (total is the announced body size, 0 when the reply announces none), `on_progress`
  // whenever more of the body has arrived, `on_end` when the transfer is over after a begin.
  std::function<void(std::int64_t total)> on_begin;
  std::function<void(std::int64_t received, std::int64_t total)> on_progress;
  std::function<void()> on_end;

  // When set, the body of a reply below 400 is handed to it piece by piece instead of being kept
  // in memory. It runs on the worker thread and must not touch windows; an exception from it
  // abandons the transfer and goes on to the caller.
  std::function<void(std::string_view piece)> body_sink;
  // A body kept in memory larger than this fails the request (Failure::TooLarge).
  std::size_t max_body_size = 16 * 1024 * 1024;
};

struct Reply {
  int status = 0;
  std::string reason;               // the reason phrase of the status line, as its bytes
  std::vector<Header> headers;      // the reply's header lines, in order
  std::string body;                 // empty when a body sink took it
};

// Sends a GET. A reply status of 400 or more raises EHttpException(status, reason phrase);
// a reply below 400 is returned whatever its body. Failures without a reply raise
// EHttpException with status 404 and the texts of failure_text.h.
Reply Get(const Request& request);

}  // namespace http
