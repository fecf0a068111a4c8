#include "http/stand-in/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>

namespace http::stand_in {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kSlice = 20ms;                // how often a waiting socket looks at the stop flag
constexpr auto kRequestReadLimit = 10s;      // a request head must arrive within this
constexpr auto kSendLimit = 10s;             // a client that reads nothing for this long is dropped
constexpr std::size_t kLongestHead = 64 * 1024;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::size_t EndOfHead(const std::string& data) {
  const auto crlf = data.find("\r\n\r\n");
  const auto lf = data.find("\n\n");
  if (crlf != std::string::npos && (lf == std::string::npos || crlf + 2 <= lf)) return crlf + 4;
  if (lf != std::string::npos) return lf + 2;
  return std::string::npos;
}

RecordedRequest ParseHead(std::string head) {
  RecordedRequest request;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < head.size()) {
    auto end = head.find('\n', start);
    if (end == std::string::npos) end = head.size();
    std::string line = head.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (!lines.empty()) {
    request.request_line = lines.front();
    const std::string& rl = request.request_line;
    const auto first = rl.find(' ');
    const auto last = rl.rfind(' ');
    request.method = rl.substr(0, first);
    if (first != std::string::npos && last > first) {
      request.target = rl.substr(first + 1, last - first - 1);
      request.version = rl.substr(last + 1);
    }
    request.header_lines.assign(lines.begin() + 1, lines.end());
  }
  request.head = std::move(head);
  return request;
}

std::string ReplyHead(const ScriptedReply& reply) {
  std::string head = reply.version + " " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
  bool has_length = false;
  for (const auto& [name, value] : reply.headers) {
    head += name + ": " + value + "\r\n";
    has_length = has_length || SameName(name, "Content-Length");
  }
  if (reply.content_length && !has_length)
    head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  head += "\r\n";
  return head;
}

}  // namespace

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
  for (const auto& line : header_lines) {
    const auto colon = line.find(':');
    if (colon == std::string::npos || !SameName(std::string_view(line).substr(0, colon), name))
      continue;
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    return value;
  }
  return std::nullopt;
}

struct Server::Connection {
  std::thread thread;
  std::atomic<bool> finished{false};
};

Server::Server(Handler handler, std::uint16_t port) : handler_(std::move(handler)) {
  listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener_) throw std::runtime_error("stand-in server: no socket");
  const int yes = 1;
  ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_.get(), 64) != 0 ||
      ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("stand-in server: cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

Server::~Server() { Stop(); }

std::string Server::HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

void Server::Queue(ScriptedReply reply) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(reply));
}

void Server::SetHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

std::vector<RecordedRequest> Server::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool Server::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

void Server::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !acceptor_.joinable()) return;
    stopping_ = true;
  }
  changed_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  std::list<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
  }
  for (auto& connection : connections)
    if (connection->thread.joinable()) connection->thread.join();
  listener_.reset();
}

void Server::AcceptLoop() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    ReapFinished();
    pollfd waiting{listener_.get(), POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(kSlice.count())) <= 0) continue;
    const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    auto connection = std::make_unique<Connection>();
    Connection* raw = connection.get();
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    raw->thread = std::thread([this, raw, fd] {
      Serve(fd);
      raw->finished = true;
    });
    connections_.push_back(std::move(connection));
  }
}

void Server::ReapFinished() {
  std::list<std::unique_ptr<Connection>> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->finished) {
        finished.push_back(std::move(*it));
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& connection : finished) connection->thread.join();
}

bool Server::SleepUnlessStopped(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, duration, [&] { return stopping_; });
}

ScriptedReply Server::NextReply(const RecordedRequest& request) {
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) {
      ScriptedReply reply = std::move(queue_.front());
      queue_.pop_front();
      return reply;
    }
    handler = handler_;
  }
  if (handler) return handler(request);
  ScriptedReply not_found;
  not_found.status = 404;
  not_found.reason = "Not Found";
  return not_found;
}

void Server::Serve(int fd) {
  const os::UniqueFd socket(fd);
  auto stopped = [this] {
    std::lock_guard lock(mutex_);
    return stopping_;
  };

  // The request head, bounded in size and time.
  std::string data;
  std::size_t head_end = std::string::npos;
  const auto read_deadline = Clock::now() + kRequestReadLimit;
  while (head_end == std::string::npos) {
    if (stopped() || Clock::now() > read_deadline || data.size() > kLongestHead) return;
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(kSlice.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    data.append(buffer, static_cast<std::size_t>(got));
    head_end = EndOfHead(data);
  }
  RecordedRequest request = ParseHead(data.substr(0, head_end));
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  changed_.notify_all();

  const ScriptedReply reply = NextReply(request);
  if (reply.close_without_reply) return;
  if (reply.stall) {
    SleepUnlessStopped(kLongestHold);
    return;
  }
  if (reply.delay.count() > 0 && !SleepUnlessStopped(std::min(reply.delay, kLongestHold))) return;

  auto send_all = [&](std::string_view bytes) {
    auto deadline = Clock::now() + kSendLimit;
    while (!bytes.empty()) {
      if (stopped() || Clock::now() > deadline) return false;
      pollfd waiting{fd, POLLOUT, 0};
      if (::poll(&waiting, 1, static_cast<int>(kSlice.count())) <= 0) continue;
      const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EAGAIN || errno == EINTR) continue;
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      deadline = Clock::now() + kSendLimit;
    }
    return true;
  };

  if (!reply.raw.empty()) {
    send_all(reply.raw);
  } else if (send_all(ReplyHead(reply))) {
    std::string_view body = reply.body;
    if (reply.cut_after && *reply.cut_after < body.size()) body = body.substr(0, *reply.cut_after);
    const std::size_t piece = reply.piece_size == 0 ? body.size() : reply.piece_size;
    while (!body.empty()) {
      const std::string_view part = body.substr(0, piece);
      if (!send_all(part)) return;
      body.remove_prefix(part.size());
      if (!body.empty() && reply.piece_delay.count() > 0 && !SleepUnlessStopped(reply.piece_delay))
        return;
    }
  }
  ::shutdown(fd, SHUT_WR);
}

std::uint16_t ClosedPort() {
  const os::UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (socket.get() < 0 ||
      ::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("stand-in server: no free port");
  return ntohs(address.sin_port);
}

}  // namespace http::stand_in
