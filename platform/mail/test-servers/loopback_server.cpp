#include "loopback_server.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace mail::test_servers {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 20;

int ConnectLoopback(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
  if (s >= 0) ::close(s);
  return -1;
}

}  // namespace

std::optional<std::string> Peer::ReadLine(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    if (auto lf = buffer_.find('\n'); lf != std::string::npos) {
      std::string line = buffer_.substr(0, lf);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      buffer_.erase(0, lf + 1);
      return line;
    }
    if (stopping_ || Clock::now() > deadline) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    char chunk[4096];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return std::nullopt;
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

void Peer::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void Peer::Stall(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!stopping_ && Clock::now() < deadline) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) > 0) {
      char chunk[4096];
      if (::recv(fd_, chunk, sizeof chunk, 0) <= 0) return;
    }
  }
}

bool Peer::Trickle(const std::string& bytes, std::chrono::milliseconds every, std::chrono::milliseconds limit) {
  return Pace(bytes, 1, every, limit);
}

bool Peer::Pace(const std::string& bytes, std::size_t piece, std::chrono::microseconds every,
                std::chrono::milliseconds limit) {
  // Each piece goes out when it is due, not held back until the last one is acknowledged.
  const int noDelay = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  const auto start = Clock::now();
  const auto deadline = start + limit;
  std::size_t pieces = 0;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    if (stopping_ || Clock::now() >= deadline) return false;
    const std::size_t size = std::min(piece, bytes.size() - at);
    std::size_t sent = 0;
    while (sent < size) {
      const ssize_t n = ::send(fd_, bytes.data() + at + sent, size - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    // The pause to the next piece's time, cut short when the client goes or the server stops;
    // what the client sends meanwhile is kept for ReadLine.
    const auto next = start + every * static_cast<long>(++pieces);
    for (auto now = Clock::now(); !stopping_ && now < next; now = Clock::now()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(std::min<long>(left, kSliceMs))) > 0) {
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
      }
    }
  }
  return true;
}

LoopbackServer::LoopbackServer(Script script) : script_(std::move(script)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener_, 8) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (listener_ >= 0) ::close(listener_);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

void LoopbackServer::Run() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    Peer peer(fd, stopping_);
    try {
      script_(peer);
    } catch (...) {
    }
    ::close(fd);
  }
}

ScriptedPop3::ScriptedPop3(Script script)
    : LoopbackServer([script = std::move(script)](Peer& peer) {
        peer.Send("+OK stand-in ready\r\n");
        script(peer);
      }) {}

RecordingProxy::RecordingProxy(int targetPort, std::chrono::milliseconds answerDelay)
    : LoopbackServer([this](Peer& client) { Relay(client); }), target_(targetPort), answerDelay_(answerDelay) {}

void RecordingProxy::Relay(Peer& client) {
  const int server = ConnectLoopback(target_);
  if (server < 0) return;
  std::string partial;
  for (bool open = true; open;) {
    pollfd p[2] = {{client.fd(), POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(p, 2, 5000) <= 0) break;
    for (int i = 0; i < 2 && open; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char chunk[16384];
      const ssize_t n = ::recv(p[i].fd, chunk, sizeof chunk, 0);
      if (n <= 0) {
        open = false;
        break;
      }
      if (i == 1 && answerDelay_.count() > 0) std::this_thread::sleep_for(answerDelay_);
      ::send(p[1 - i].fd, chunk, static_cast<std::size_t>(n), MSG_NOSIGNAL);
      if (i == 0) {
        partial.append(chunk, static_cast<std::size_t>(n));
        std::lock_guard lock(mutex_);
        for (auto lf = partial.find("\r\n"); lf != std::string::npos; lf = partial.find("\r\n")) {
          lines_.push_back(partial.substr(0, lf));
          partial.erase(0, lf + 2);
        }
      }
    }
  }
  ::close(server);
}

std::vector<std::string> RecordingProxy::ClientLines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

}  // namespace mail::test_servers
