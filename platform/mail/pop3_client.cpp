#include "mail/pop3_client.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "os/codepage.h"

namespace mail {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string SystemErrorText(int error) {
  switch (error) {
    case ECONNREFUSED: return "Connexion refus\xC3\xA9" "e";
    case ETIMEDOUT: return "D\xC3\xA9lai de connexion d\xC3\xA9pass\xC3\xA9";
    case EHOSTUNREACH: return "H\xC3\xB4te injoignable";
    case ENETUNREACH: return "R\xC3\xA9seau injoignable";
    case ECONNRESET: return "Connexion interrompue par le serveur";
    case EPIPE: return "Connexion interrompue";
    default: return "Erreur syst\xC3\xA8me " + std::to_string(error);
  }
}

std::string Where(const std::string& host, int port) { return host + ":" + std::to_string(port); }

// A socket that closes itself.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~Socket() { Close(); }
  int fd() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct AddrInfoDeleter {
  void operator()(addrinfo* a) const { ::freeaddrinfo(a); }
};

// How a reply comes in: the bytes received so far, and samples of that count taken as time
// goes, enough to know how many came within the last `period` at any moment.
class ReplyProgress {
 public:
  void Start(Clock::time_point now) {
    received_ = 0;
    samples_.clear();
    samples_.push_back({now, 0});
  }
  void Received(std::size_t bytes) { received_ += bytes; }
  // True once a whole `period` of the reply has passed and fewer than `floor` bytes a second
  // came within the last one. At most 32 samples a period are kept: the last period is then
  // measured over up to a 32nd more, in the server's favour.
  bool TooSlow(Clock::time_point now, std::chrono::milliseconds period, std::size_t floor) {
    if (period.count() <= 0 || floor == 0 || samples_.empty()) return false;
    if (now - samples_.back().when >= period / 32) samples_.push_back({now, received_});
    const auto periodStart = now - period;
    while (samples_.size() > 1 && samples_[1].when <= periodStart) samples_.pop_front();
    if (samples_.front().when > periodStart) return false;  // not a whole period yet
    const double wanted = static_cast<double>(floor) * std::chrono::duration<double>(period).count();
    return static_cast<double>(received_ - samples_.front().received) < wanted;
  }

 private:
  struct Sample {
    Clock::time_point when;
    std::size_t received;
  };
  std::size_t received_ = 0;
  std::deque<Sample> samples_;
};

}  // namespace

struct Pop3Client::Connection {
  Pop3Client& owner;
  Socket socket;
  std::string buffer;    // bytes received; those from `head` on are not yet taken as lines
  std::size_t head = 0;
  ReplyProgress reply;
  Clock::time_point nextPump = Clock::now();

  explicit Connection(Pop3Client& o) : owner(o) {}

  // Serves the caller when its pump interval has run out.
  void PumpWhenDue() {
    if (!owner.Pump || Clock::now() < nextPump) return;
    owner.Pump();
    nextPump = Clock::now() + owner.PumpInterval;
  }

  // Waits until the socket is ready for `events`, pumping meanwhile; throws when the server is
  // silent for the read time-out, when a reply is slower than the floor rate and when the
  // session is aborted. The caller is pumped when due even if the socket is ready at once, so
  // a server that never pauses does not keep the windows waiting.
  void Wait(short events, const std::string& timeoutText) {
    const auto deadline = Clock::now() + owner.ReadTimeout;
    for (;;) {
      owner.ThrowIfAborted();
      PumpWhenDue();
      owner.ThrowIfAborted();
      const auto now = Clock::now();
      if (now >= deadline) throw EMailError(Failure::Timeout, timeoutText);
      if ((events & POLLIN) && reply.TooSlow(now, owner.LowSpeedTime, owner.LowSpeedLimit))
        throw EMailError(Failure::Timeout, TooSlowText());
      // Rounded up, so that a wait never spins on a last fraction of a millisecond.
      auto slice = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
      if (owner.Pump) slice = std::min(slice, std::max(std::chrono::ceil<std::chrono::milliseconds>(nextPump - now), 0ms));
      // The floor rate is looked at again within a 32nd of its period.
      if (events & POLLIN) slice = std::min(slice, std::max(owner.LowSpeedTime / 32, 1ms));
      pollfd p{socket.fd(), events, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(slice.count()));
      if (ready < 0 && errno != EINTR) throw EMailError(Failure::Closed, SystemErrorText(errno));
      if (ready > 0) return;
    }
  }

  std::string TooSlowText() const {
    return "Le serveur POP3 est trop lent : moins de " + std::to_string(owner.LowSpeedLimit) +
           " octets par seconde pendant " + std::to_string(owner.LowSpeedTime.count()) + " ms";
  }

  std::string ReadTimeoutText() const {
    return "D\xC3\xA9lai de lecture d\xC3\xA9pass\xC3\xA9 (" + std::to_string(owner.ReadTimeout.count()) +
           " ms) : le serveur POP3 ne r\xC3\xA9pond pas";
  }

  // The host's addresses, looked up on a thread of its own while the caller pumps; the wait
  // ends with an abort of the session and with the read time-out.
  std::unique_ptr<addrinfo, AddrInfoDeleter> LookUp() {
    const auto unknown = [&] { return EMailError(Failure::Resolve, "H\xC3\xB4te inconnu : " + os::Cp1252ToUtf8(owner.Host)); };
    if (owner.Host.empty()) throw unknown();
    struct Answer {
      std::mutex mutex;
      std::condition_variable ready;
      bool done = false;
      int result = EAI_FAIL;
      std::unique_ptr<addrinfo, AddrInfoDeleter> found;
    };
    const auto answer = std::make_shared<Answer>();
    Resolver resolve = owner.Resolve ? owner.Resolve : [](const std::string& host, const std::string& port,
                                                          const addrinfo& hints, addrinfo** found) {
      return ::getaddrinfo(host.c_str(), port.c_str(), &hints, found);
    };
    const auto work = [answer, resolve = std::move(resolve), host = owner.Host, port = std::to_string(owner.Port)] {
      addrinfo hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      addrinfo* found = nullptr;
      const int result = resolve(host, port, hints, &found);
      std::lock_guard lock(answer->mutex);
      answer->result = result;
      answer->found.reset(found);
      answer->done = true;
      answer->ready.notify_all();
    };
    try {
      std::thread(work).detach();
    } catch (const std::system_error&) {
      work();  // no thread to be had: here, then
    }
    const auto deadline = Clock::now() + owner.ReadTimeout;
    std::unique_lock lock(answer->mutex);
    while (!answer->done) {
      lock.unlock();
      owner.ThrowIfAborted();
      if (Clock::now() >= deadline)
        throw EMailError(Failure::Timeout, "D\xC3\xA9lai de connexion d\xC3\xA9pass\xC3\xA9 (" + Where(owner.Host, owner.Port) + ")");
      if (owner.Pump) owner.Pump();
      lock.lock();
      answer->ready.wait_for(lock, std::max(owner.PumpInterval, std::chrono::milliseconds(1)));
    }
    if (answer->result != 0 || !answer->found) throw unknown();
    return std::move(answer->found);
  }

  void Open() {
    if (owner.Port < 1 || owner.Port > 65535)
      throw EMailError(Failure::Connect, "Port POP3 invalide : " + std::to_string(owner.Port));
    std::unique_ptr<addrinfo, AddrInfoDeleter> addresses = LookUp();
    int lastError = ECONNREFUSED;
    for (addrinfo* a = addresses.get(); a; a = a->ai_next) {
      Socket s(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
      if (s.fd() < 0) {
        lastError = errno;
        continue;
      }
      if (::connect(s.fd(), a->ai_addr, a->ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
          lastError = errno;
          continue;
        }
        socket = std::move(s);
        Wait(POLLOUT, "D\xC3\xA9lai de connexion d\xC3\xA9pass\xC3\xA9 (" + Where(owner.Host, owner.Port) + ")");
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0) {
          lastError = error;
          socket.Close();
          continue;
        }
      } else {
        socket = std::move(s);
      }
      return;
    }
    throw EMailError(Failure::Connect, "Impossible de se connecter \xC3\xA0 " + os::Cp1252ToUtf8(Where(owner.Host, owner.Port)) +
                                           " : " + SystemErrorText(lastError));
  }

  void Send(const std::string& line) {
    owner.ThrowIfAborted();
    const std::string bytes = line + "\r\n";
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(socket.fd(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        Wait(POLLOUT, ReadTimeoutText());
      } else {
        throw EMailError(Failure::Closed, SystemErrorText(n < 0 ? errno : EPIPE));
      }
    }
  }

  // One reply line, without its CR LF (a lone LF ends a line too).
  std::string ReadLine() {
    std::size_t scanned = head;
    for (;;) {
      const std::size_t lf = buffer.find('\n', scanned);
      if (lf != std::string::npos) {
        std::size_t end = lf;
        if (end > head && buffer[end - 1] == '\r') --end;
        if (end - head > owner.MaxLineLength) break;
        std::string line = buffer.substr(head, end - head);
        head = lf + 1;
        return line;
      }
      if (buffer.size() - head > owner.MaxLineLength + 1) break;
      // What was taken goes before more comes in, so the buffer stays small.
      buffer.erase(0, head);
      head = 0;
      scanned = buffer.size();
      Wait(POLLIN, ReadTimeoutText());
      char chunk[16384];
      const ssize_t n = ::recv(socket.fd(), chunk, sizeof chunk, 0);
      if (n == 0) throw EMailError(Failure::Closed, "Connexion ferm\xC3\xA9" "e par le serveur POP3");
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        throw EMailError(Failure::Closed, SystemErrorText(errno));
      }
      buffer.append(chunk, static_cast<std::size_t>(n));
      reply.Received(static_cast<std::size_t>(n));
    }
    throw EMailError(Failure::LineTooLong, "Ligne de r\xC3\xA9ponse trop longue (plus de " +
                                               std::to_string(owner.MaxLineLength) + " caract\xC3\xA8res)");
  }

  // The text after "+OK "; a refusal raises with the server's text.
  std::string Status() {
    const std::string line = ReadLine();
    if (line.rfind("+OK", 0) == 0) return line.size() > 4 ? line.substr(4) : std::string();
    if (line.rfind("-ERR", 0) == 0) {
      std::string text = line.size() > 5 ? line.substr(5) : std::string();
      if (text.empty()) text = "Le serveur POP3 a refus\xC3\xA9 la commande";
      throw EMailError(Failure::Refused, os::Cp1252ToUtf8(text));
    }
    throw EMailError(Failure::BadReply, "R\xC3\xA9ponse du serveur POP3 invalide : " + os::Cp1252ToUtf8(line));
  }

  // The lines of a multi-line reply up to its "." line, dot-stuffing undone, joined by CR LF.
  std::string Block() {
    std::string text;
    for (;;) {
      std::string line = ReadLine();
      if (line == ".") return text;
      if (!line.empty() && line[0] == '.') line.erase(0, 1);
      if (text.size() + line.size() + 2 > owner.MaxMessageSize)
        throw EMailError(Failure::TooLarge, "Message trop volumineux (plus de " +
                                                std::to_string(owner.MaxMessageSize) + " octets)");
      text += line;
      text += "\r\n";
    }
  }
};

Pop3Client::Pop3Client() = default;
Pop3Client::~Pop3Client() = default;

bool Pop3Client::Connected() const { return conn_ != nullptr; }

void Pop3Client::Abort() noexcept { aborted_ = true; }

void Pop3Client::ThrowIfAborted() const {
  if (aborted_) throw EMailError(Failure::Aborted, "Op\xC3\xA9ration POP3 interrompue");
}

// Runs one exchange: one at a time. A refusal of the server leaves the connection as it is;
// any other failure closes it.
template <class F>
auto Pop3Client::Guarded(F&& work) {
  if (busy_) throw EMailError(Failure::Usage, "Une op\xC3\xA9ration POP3 est d\xC3\xA9j\xC3\xA0 en cours");
  struct Busy {
    bool& flag;
    explicit Busy(bool& f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
  } busy(busy_);
  try {
    return work();
  } catch (const EMailError& e) {
    if (e.Kind() != Failure::Refused) conn_.reset();
    throw;
  } catch (...) {
    conn_.reset();
    throw;
  }
}

std::string Pop3Client::Command(const std::string& line) {
  if (!conn_) throw EMailError(Failure::Usage, "Non connect\xC3\xA9 au serveur POP3");
  conn_->Send(line);
  conn_->reply.Start(Clock::now());
  return conn_->Status();
}

std::string Pop3Client::MultiLine(const std::string& line) {
  Command(line);
  return conn_->Block();
}

namespace {

// A value typed by the user goes into one command line: it may not end that line.
std::string Argument(const std::string& value, const char* what) {
  const std::string bytes = os::Utf8ToCp1252(value);
  if (bytes.find_first_of("\r\n", 0) != std::string::npos || bytes.find('\0') != std::string::npos)
    throw EMailError(Failure::Usage, std::string(what) + " contient un caract\xC3\xA8re interdit");
  return bytes;
}

int Number(std::string_view text) {
  int value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return -1;
  return value;
}

}  // namespace

void Pop3Client::Connect() {
  Guarded([&] {
    conn_.reset();
    // A new session.
    aborted_ = false;
    const std::string user = Argument(Username, "Le nom du compte");
    const std::string password = Argument(Password, "Le mot de passe");
    auto c = std::make_unique<Connection>(*this);
    c->Open();
    conn_ = std::move(c);
    try {
      conn_->reply.Start(Clock::now());
      conn_->Status();  // the greeting
      Command("USER " + user);
      Command("PASS " + password);
    } catch (...) {
      conn_.reset();  // not logged in: nothing more to say
      throw;
    }
  });
}

int Pop3Client::CheckMessages() {
  return Guarded([&] {
    const std::string reply = Command("STAT");
    const int count = Number(reply.substr(0, reply.find(' ')));
    if (count < 0) throw EMailError(Failure::BadReply, "R\xC3\xA9ponse du serveur POP3 invalide : +OK " + os::Cp1252ToUtf8(reply));
    return count;
  });
}

std::string Pop3Client::RetrieveHeader(int number) {
  return Guarded([&] { return MultiLine("TOP " + std::to_string(number) + " 0"); });
}

std::string Pop3Client::Retrieve(int number) {
  return Guarded([&] { return MultiLine("RETR " + std::to_string(number)); });
}

std::optional<std::vector<UniqueId>> Pop3Client::UniqueIds() {
  return Guarded([&]() -> std::optional<std::vector<UniqueId>> {
    try {
      Command("UIDL");
    } catch (const EMailError& e) {
      if (e.Kind() == Failure::Refused) return std::nullopt;  // a server without UIDL
      throw;
    }
    // The whole list is read before it is looked at, so the session goes on after a list
    // that cannot be read.
    std::vector<UniqueId> ids;
    const std::string block = conn_->Block();
    std::size_t start = 0;
    while (start < block.size()) {
      std::size_t end = block.find("\r\n", start);
      if (end == std::string::npos) end = block.size();
      const std::string line = block.substr(start, end - start);
      start = end + 2;
      const auto space = line.find(' ');
      const int number = Number(std::string_view(line).substr(0, space));
      if (space == std::string::npos || number <= 0) return std::nullopt;  // as a server without UIDL
      ids.push_back({number, line.substr(space + 1)});
    }
    return ids;
  });
}

void Pop3Client::Delete(int number) {
  Guarded([&] { Command("DELE " + std::to_string(number)); });
}

bool Pop3Client::Disconnect() noexcept {
  if (!conn_ || busy_) return false;
  bool confirmed = false;
  try {
    Guarded([&] { Command("QUIT"); });
    confirmed = true;
  } catch (...) {
  }
  conn_.reset();
  return confirmed;
}

}  // namespace mail
