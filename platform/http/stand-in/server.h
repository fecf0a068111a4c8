#pragma once
// A real HTTP/1.x server on 127.0.0.1, on a free port, for tests and for trying the programs by
// hand. It records every request as it arrived (request line and header lines in order, raw
// bytes) and answers what the test has scripted: replies in a queue, taken one per request in
// order of arrival, then a handler, then 404. Each reply can wait before answering, stall, close
// without answering, send its body slowly or cut it short.
//
// The server stops when the object is destroyed; no wait inside it is unbounded, so a test that
// forgets a stalled connection still ends.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "os/unique_fd.h"

namespace http::stand_in {

struct RecordedRequest {
  std::string head;                       // raw bytes, request line to the empty line included
  std::string request_line;               // without its line end
  std::vector<std::string> header_lines;  // in order, without line ends
  std::string method;
  std::string target;
  std::string version;

  // The value of the first header of that name (any case), without the leading blanks.
  std::optional<std::string> Header(std::string_view name) const;
};

struct ScriptedReply {
  std::string version = "HTTP/1.0";
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool content_length = true;  // add "Content-Length" for the body

  // When not empty, these bytes are sent instead of status line, headers and body.
  std::string raw;

  std::chrono::milliseconds delay{0};  // wait after the request before answering
  bool stall = false;                  // never answer; hold the connection until the server stops
  bool close_without_reply = false;    // close the connection at once after the request
  std::optional<std::size_t> cut_after;  // close after this many bytes of the body

  std::size_t piece_size = 64 * 1024;      // the body goes out in pieces of this size...
  std::chrono::milliseconds piece_delay{0};  // ...with this pause between them
};

using Handler = std::function<ScriptedReply(const RecordedRequest&)>;

class Server {
 public:
  explicit Server(Handler handler = {}, std::uint16_t port = 0);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  std::uint16_t Port() const { return port_; }
  // "127.0.0.1:port", the form the client's server field takes.
  std::string HostAndPort() const;

  void Queue(ScriptedReply reply);
  void SetHandler(Handler handler);

  std::vector<RecordedRequest> Requests() const;
  // True once `count` requests have been recorded; false after `limit` without them.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const;

  void Stop();

  // The longest a stalled or delayed reply holds its connection.
  static constexpr std::chrono::milliseconds kLongestHold{60000};

 private:
  struct Connection;
  void AcceptLoop();
  void Serve(int fd);
  ScriptedReply NextReply(const RecordedRequest& request);
  bool SleepUnlessStopped(std::chrono::milliseconds duration);
  void ReapFinished();

  os::UniqueFd listener_;
  std::uint16_t port_ = 0;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  std::deque<ScriptedReply> queue_;
  Handler handler_;
  std::vector<RecordedRequest> requests_;
  std::list<std::unique_ptr<Connection>> connections_;

  std::thread acceptor_;
};

// A port on 127.0.0.1 where nothing listens (bound for a moment, then released).
std::uint16_t ClosedPort();

}  // namespace http::stand_in
