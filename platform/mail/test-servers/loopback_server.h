#pragma once
// Small TCP servers on 127.0.0.1 for the mail tests, each on a free port and a thread of its
// own, stopped (and joined) by their destructor:
//  - ScriptedPop3 runs a test's own script for each connection, for what a real server does
//    not do (stalling, trickling, an endless line, a cut in the middle of a message, no UIDL or
//    a list that cannot be read, a count that never ends);
//  - RecordingProxy passes every byte between the client and a real server and keeps the
//    lines the client sent; it can hold each answer of the server for a while, so that the
//    client surely waits for it.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace mail::test_servers {

// One accepted connection, as a script sees it.
class Peer {
 public:
  explicit Peer(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
  // The next line the client sent (without CR LF); nothing when it closed, or after `limit`.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
  void Send(const std::string& bytes);
  // Waits, without answering, until the client goes or the server stops (at most `limit`).
  void Stall(std::chrono::milliseconds limit);
  // Sends `bytes` one at a time, `every` apart, until all are sent, the client goes, the server
  // stops or `limit` has passed; false when it stopped before the end.
  bool Trickle(const std::string& bytes, std::chrono::milliseconds every, std::chrono::milliseconds limit);
  // Sends `bytes` in pieces of `piece` bytes, one every `every` on a steady schedule (a piece
  // late is made up by the next ones), with the same ends as Trickle.
  bool Pace(const std::string& bytes, std::size_t piece, std::chrono::microseconds every,
            std::chrono::milliseconds limit);
  int fd() const { return fd_; }

 private:
  int fd_;
  const std::atomic<bool>& stopping_;
  std::string buffer_;
};

class LoopbackServer {
 public:
  using Script = std::function<void(Peer&)>;
  explicit LoopbackServer(Script script);
  virtual ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  int Port() const { return port_; }
  int Connections() const { return connections_; }

 protected:
  void Stop();

 private:
  void Run();
  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// A POP3 server that greets and then follows the test's script.
class ScriptedPop3 : public LoopbackServer {
 public:
  explicit ScriptedPop3(Script script);
  ~ScriptedPop3() override { Stop(); }
};

class RecordingProxy : public LoopbackServer {
 public:
  explicit RecordingProxy(int targetPort, std::chrono::milliseconds answerDelay = std::chrono::milliseconds(0));
  ~RecordingProxy() override { Stop(); }
  // The lines every client sent so far, in order.
  std::vector<std::string> ClientLines() const;

 private:
  void Relay(Peer& client);
  int target_;
  std::chrono::milliseconds answerDelay_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace mail::test_servers
