#include "http/client.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "http/curl_global.h"
#include "http/failure_text.h"
#include "os/ascii.h"

namespace http {
namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A host we can look up: letters, digits, "-", "_" and ".". Anything else (spaces, control
// characters, bytes beyond ASCII, an empty name) has no address.
bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host)
    if (!IsAsciiLetterOrDigit(c) && c != '-' && c != '_' && c != '.') return false;
  return true;
}

bool HasHeader(const std::vector<Header>& headers, std::string_view name) {
  for (const auto& h : headers)
    if (os::ascii::EqualsIgnoringCase(h.name, name)) return true;
  return false;
}

// The bytes of the target as they are, but for the three that would end the request line.
std::string RequestLineTarget(std::string_view target) {
  std::string out;
  out.reserve(target.size());
  for (char c : target) {
    if (c == '\r') out += "%0D";
    else if (c == '\n') out += "%0A";
    else if (c == '\0') out += "%00";
    else out += c;
  }
  return out;
}

void CheckHeader(const Header& header) {
  if (header.name.empty()) throw std::invalid_argument("HTTP header without a name");
  for (char c : header.name)
    if (c == ':' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0')
      throw std::invalid_argument("HTTP header name holds a separator: " + header.name);
  for (char c : header.value)
    if (c == '\r' || c == '\n' || c == '\0')
      throw std::invalid_argument("HTTP header value holds a line break: " + header.name);
}

HeaderList BuildHeaderList(const Request& request) {
  HeaderList list;
  auto append = [&list](const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) throw std::bad_alloc();
    (void)list.release();
    list.reset(grown);
  };
  // libcurl puts a "Host" of the caller's first, before every other header. An empty "Host"
  // ahead of the list stops that, and the caller's own then goes out in its place.
  if (HasHeader(request.headers, "Host")) append("Host:");
  for (const auto& header : request.headers) {
    CheckHeader(header);
    // libcurl sends "Name;" as a header with an empty value.
    append(header.value.empty() ? header.name + ";" : header.name + ": " + header.value);
  }
  // libcurl would add "Accept: */*" of its own; an empty entry removes it.
  if (!HasHeader(request.headers, "Accept")) append("Accept:");
  return list;
}

// What the worker thread learns, shared with the waiting caller.
struct Transfer {
  explicit Transfer(const Request& r) : request(r) {}

  const Request& request;
  std::atomic<bool> cancel{false};

  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;
  CURLcode result = CURLE_OK;
  bool header_complete = false;
  std::int64_t total = 0;
  std::int64_t received = 0;

  // Written by the worker only, read by the caller once the worker has ended.
  Reply reply;
  bool too_large = false;
  std::exception_ptr sink_error;
};

std::int64_t AnnouncedLength(const std::vector<Header>& headers) {
  for (const auto& h : headers) {
    if (!os::ascii::EqualsIgnoringCase(h.name, "Content-Length")) continue;
    std::int64_t length = 0;
    auto [ptr, ec] = std::from_chars(h.value.data(), h.value.data() + h.value.size(), length);
    if (ec == std::errc() && length >= 0) return length;
  }
  return 0;
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// "HTTP/1.0 401 Authorization Required": the status and the text after the code.
void ReadStatusLine(std::string_view line, Reply& reply) {
  reply = Reply{};
  const auto space = line.find(' ');
  if (space == std::string_view::npos) return;
  std::string_view rest = line.substr(space + 1);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  int status = 0;
  auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), status);
  if (ec != std::errc()) return;
  reply.status = status;
  rest.remove_prefix(static_cast<std::size_t>(ptr - rest.data()));
  if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  reply.reason = std::string(rest);
}

std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  const std::string_view line = WithoutLineEnd(std::string_view(data, length));
  if (line.substr(0, 5) == "HTTP/") {
    ReadStatusLine(line, t.reply);
  } else if (line.empty()) {
    if (t.reply.status >= 200) {
      std::lock_guard lock(t.mutex);
      t.header_complete = true;
      t.total = AnnouncedLength(t.reply.headers);
      t.changed.notify_all();
    }
  } else {
    const auto colon = line.find(':');
    Header header{std::string(line.substr(0, colon)), {}};
    if (colon != std::string_view::npos) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      header.value = std::string(value);
    }
    t.reply.headers.push_back(std::move(header));
  }
  return length;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  // The body of an error reply is never wanted: stop reading it.
  if (t.reply.status >= 400) return 0;
  if (t.request.body_sink) {
    try {
      t.request.body_sink(std::string_view(data, length));
    } catch (...) {
      t.sink_error = std::current_exception();
      return 0;
    }
  } else {
    if (t.reply.body.size() + length > t.request.max_body_size) {
      t.too_large = true;
      return 0;
    }
    t.reply.body.append(data, length);
  }
  std::lock_guard lock(t.mutex);
  t.received += static_cast<std::int64_t>(length);
  t.changed.notify_all();
  return length;
}

int OnTransferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->cancel ? 1 : 0;
}

void SetOptions(CURL* easy, const Request& request, Transfer& transfer, curl_slist* headers,
                const std::string& url, const std::string& target) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, target.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, request.version == Version::Http10
                                                   ? CURL_HTTP_VERSION_1_0
                                                   : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  // No proxy, whatever the environment says.
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  if (request.cookies != nullptr) {
    curl_easy_setopt(easy, CURLOPT_SHARE, request.cookies->Handle());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  }
  if (request.time_limit.count() > 0)
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.time_limit.count()));
  if (request.connect_limit.count() > 0)
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(request.connect_limit.count()));
  if (request.stall_limit.count() > 0) {
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>((request.stall_limit.count() + 999) / 1000));
  }
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeaderLine);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnTransferInfo);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
}

// Ends the worker thread on every way out: a pump that throws cancels the transfer.
class WorkerGuard {
 public:
  WorkerGuard(Transfer& transfer, std::thread worker)
      : transfer_(transfer), worker_(std::move(worker)) {}
  ~WorkerGuard() {
    transfer_.cancel = true;
    if (worker_.joinable()) worker_.join();
  }
  WorkerGuard(const WorkerGuard&) = delete;
  WorkerGuard& operator=(const WorkerGuard&) = delete;

 private:
  Transfer& transfer_;
  std::thread worker_;
};

// Waits for the worker, pumping, and hands the progress to the caller's callbacks.
void WaitPumping(Transfer& t) {
  const Request& request = t.request;
  bool begun = false;
  std::int64_t reported = -1;
  std::unique_lock lock(t.mutex);
  for (;;) {
    // Whether the transfer had ended before this round's reports: a last piece that arrives
    // while a report runs is then reported in the next round, never skipped.
    const bool done = t.done;
    if (t.header_complete && !begun && t.reply.status < 400) {
      begun = true;
      const std::int64_t total = t.total;
      lock.unlock();
      if (request.on_begin) request.on_begin(total);
      lock.lock();
    }
    if (begun && t.received != reported) {
      reported = t.received;
      const std::int64_t total = t.total;
      lock.unlock();
      if (request.on_progress) request.on_progress(reported, total);
      lock.lock();
    }
    if (done) break;
    lock.unlock();
    if (request.pump) request.pump();
    lock.lock();
    if (!t.done) t.changed.wait_for(lock, request.pump_interval);
  }
  lock.unlock();
  if (begun && request.on_end) request.on_end();
}

[[noreturn]] void RaiseFailure(CURL* easy, CURLcode result) {
  long os_error = 0;
  curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_error);
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
      throw ResolveFailure();
    case CURLE_COULDNT_CONNECT:
      throw ConnectFailure(os_error != 0 ? static_cast<int>(os_error) : ECONNREFUSED);
    case CURLE_OPERATION_TIMEDOUT:
      throw TimeoutFailure();
    case CURLE_GOT_NOTHING:
      throw EHttpException(kNoReplyStatus, Failure::Closed,
                           "connection closed by the server without a reply");
    case CURLE_PARTIAL_FILE:
      throw EHttpException(kNoReplyStatus, Failure::Closed,
                           "connection closed before the end of the reply");
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      throw EHttpException(kNoReplyStatus, Failure::Closed,
                           SocketErrorText(os_error != 0 ? static_cast<int>(os_error) : ECONNRESET));
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
      throw EHttpException(kNoReplyStatus, Failure::BadReply, "invalid reply from the server");
    default:
      throw EHttpException(kNoReplyStatus, Failure::Other, curl_easy_strerror(result));
  }
}

}  // namespace

Reply Get(const Request& request) {
  if (!IsHostName(request.host)) throw ResolveFailure();
  if (request.port < 1 || request.port > 65535) throw ConnectFailure(EINVAL);

  EnsureCurlReady();
  Easy easy(curl_easy_init());
  if (!easy) throw EHttpException(kNoReplyStatus, Failure::Other, "HTTP client could not be created");
  const HeaderList headers = BuildHeaderList(request);
  const std::string url = "http://" + request.host + ":" + std::to_string(request.port) + "/";
  const std::string target = RequestLineTarget(request.target.empty() ? "/" : request.target);

  Transfer transfer(request);
  SetOptions(easy.get(), request, transfer, headers.get(), url, target);
  {
    WorkerGuard guard(transfer, std::thread([&transfer, handle = easy.get()] {
                        const CURLcode result = curl_easy_perform(handle);
                        std::lock_guard lock(transfer.mutex);
                        transfer.result = result;
                        transfer.done = true;
                        transfer.changed.notify_all();
                      }));
    WaitPumping(transfer);
  }

  if (transfer.sink_error) std::rethrow_exception(transfer.sink_error);
  if (transfer.reply.status >= 400)
    throw EHttpException(transfer.reply.status, Failure::Status, transfer.reply.reason);
  if (transfer.too_large)
    throw EHttpException(kNoReplyStatus, Failure::TooLarge, "reply too large");
  if (transfer.result != CURLE_OK) RaiseFailure(easy.get(), transfer.result);
  return std::move(transfer.reply);
}

}  // namespace http
