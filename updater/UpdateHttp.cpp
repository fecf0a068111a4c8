#include "UpdateHttp.h"

#include <cerrno>
#include <string>
#include <vector>

#include "http/address.h"
#include "http/client.h"
#include "http/error.h"
#include "http/failure_text.h"

namespace updater {

std::string TUpdateHttp::Get(const std::string& url) {
  std::string body;
  Send(url, &body, nullptr);
  return body;
}

void TUpdateHttp::Get(const std::string& url, const std::function<void(std::string_view)>& sink) {
  Send(url, nullptr, &sink);
}

void TUpdateHttp::Send(const std::string& url, std::string* body,
                       const std::function<void(std::string_view)>* sink) {
  const http::Address address = http::ParseAddress(url);
  if (address.port < 0) throw http::ConnectFailure(EINVAL);

  http::Request request;
  request.version = http::Version::Http10;
  request.host = address.host;
  request.port = address.port;
  request.target = address.target;
  const std::string host =
      address.port == 80 ? address.host : address.host + ":" + std::to_string(address.port);
  request.headers = {
      {"Host", host},
      {"Accept", Accept},
      {"Content-Type", ContentType},
      {"User-Agent", UserAgent},
  };
  if (AllowCookies) request.cookies = &cookies_;
  request.connect_limit = ConnectTimeout;
  request.stall_limit = ReadTimeout;
  request.pump = Pump;

  // Progress of the body, and what it tells of a reply cut short.
  std::int64_t announced = 0;
  std::int64_t received = 0;
  request.on_begin = [&](std::int64_t total) {
    announced = total;
    if (OnWorkBegin) OnWorkBegin(this, wmRead, total);
  };
  request.on_progress = [&](std::int64_t so_far, std::int64_t) {
    if (OnWork) OnWork(this, wmRead, so_far);
  };
  request.on_end = [&] {
    if (OnWorkEnd) OnWorkEnd(this, wmRead);
  };
  // The body's length is counted where it arrives (the progress reports may skip the last
  // piece); the worker thread has ended when Get returns, so the count is read safely then.
  if (sink != nullptr) {
    request.body_sink = [&received, sink](std::string_view piece) {
      (*sink)(piece);
      received += static_cast<std::int64_t>(piece.size());
    };
  }

  http::Reply reply = http::Get(request);

  if (reply.status < 200 || reply.status > 299) {
    throw http::EHttpException(reply.status, http::Failure::Status,
                               std::to_string(reply.status) + " " + reply.reason);
  }
  if (sink == nullptr) received = static_cast<std::int64_t>(reply.body.size());
  if (announced > 0 && received < announced) {
    throw http::EHttpException(http::kNoReplyStatus, http::Failure::Closed,
                               "connection closed before the end of the reply");
  }
  if (body != nullptr) *body = std::move(reply.body);
}

}  // namespace updater
