#pragma once
// The updater's HTTP client (the window's `IdHTTP1`): both downloads of an update run go
// through it. Every request carries the updater's own headers (Accept "text/html, */*",
// Content-Type "text/html", User-Agent "Mozilla/3.0 (compatible; Indy Library)"), keeps the
// cookies the update host sets for the next request, and never goes through a proxy.
//
// A request blocks its caller; while it waits the window's messages are pumped (`Pump`), so
// the window keeps painting and its buttons answer. The progress of a body being read is
// reported through OnWorkBegin / OnWork / OnWorkEnd on the calling thread.
//
// Failures raise http::EHttpException: no reply, a reply status of 400 or more (its reason
// phrase is the message), a reply that is not a success (1xx or 3xx: the update host does not
// redirect), and a body shorter than the size the reply announced.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "forms/classes.h"
#include "http/cookie_jar.h"

namespace updater {

enum TWorkMode { wmRead, wmWrite };

using TWorkBeginEvent =
    std::function<void(forms::TObject* Sender, TWorkMode AWorkMode, std::int64_t AWorkCountMax)>;
using TWorkEvent =
    std::function<void(forms::TObject* Sender, TWorkMode AWorkMode, std::int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(forms::TObject* Sender, TWorkMode AWorkMode)>;

class TUpdateHttp : public forms::TObject {
 public:
  TUpdateHttp() = default;

  std::string Accept = "text/html, */*";
  std::string ContentType = "text/html";
  std::string UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
  bool AllowCookies = true;

  // How long a connection may take to be made, and how long a reply may stay silent before
  // the request is given up. A request as a whole has no limit: an archive on a slow line
  // takes the time it takes, as long as data keeps coming.
  std::chrono::milliseconds ConnectTimeout{120000};
  std::chrono::milliseconds ReadTimeout{120000};

  // Called over and over while a request waits (the window passes its message processing).
  std::function<void()> Pump;

  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

  // GET of an "http://host[:port]/path" address; the body is returned whole.
  std::string Get(const std::string& url);
  // GET whose body is handed to `sink` piece by piece (on a worker thread, as it arrives).
  void Get(const std::string& url, const std::function<void(std::string_view piece)>& sink);

 private:
  void Send(const std::string& url, std::string* body,
            const std::function<void(std::string_view)>* sink);

  http::CookieJar cookies_;
};

}  // namespace updater
