#pragma once
// The one request every handler of the client sends to the secretariat: a GET of
// "http://" + login + ":" + password + "@" + server + "/cgi-bin/clients/" + script + query over
// HTTP/1.0, with the four fixed headers and no others, no proxy, the reply read whole.
//
// A handler does, in this order:
//   1. unless its script keeps the login as typed (RewritesLogin), store
//      LoginWithUnderscores(login) back into the login box;
//   2. clear its target memo (the booking dialog does not);
//   3.-7. SecretariatRequest(...), which sends, waits while the windows keep being served, and
//      gives the reply's lines, or throws http::EHttpException.
//
// Query text goes out in Windows-1252 exactly as the handler built it (nothing is encoded);
// the reply's lines and the error texts come back in UTF-8.
//
// Time limit: a request that has not completed within 120000 ms (the longest any network call of
// the programs waits) fails with "Connection timed out (Error #110)", like a connection that
// times out. The next poll comes with the timer.
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "http/error.h"
#include "secretariat/reply_lines.h"

namespace secretariat {

inline constexpr std::chrono::milliseconds kRequestTimeLimit{120000};
inline constexpr char kAgent[] = "Mozilla/3.0 (compatible)";
inline constexpr char kAccept[] = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";

// The texts of nom_ov, pass_ov and site_ov at the moment of the request (UTF-8).
struct Account {
  std::string login;
  std::string password;
  std::string server;  // a host name or address, with ":port" when it is not 80
};

// Every handler sends only when all three are filled in.
bool HasCredentials(const Account& account);

// Step 1: every space of the login becomes "_".
std::string LoginWithUnderscores(std::string login);

// False for the instruction ("indycons.pl") and the stop-visits request ("indystop.pl"),
// which send the login as typed; true for every other script.
bool RewritesLogin(std::string_view script_and_query);

// "http://" + login + ":" + password + "@" + server + "/cgi-bin/clients/" + script_and_query.
std::string RequestAddress(const Account& account, std::string_view script_and_query);

// What all requests of a program share. The window programs set `pump` once at start to their
// message processing (Application->ProcessMessages); tests shorten the time limit.
struct RequestSettings {
  std::function<void()> pump;
  std::chrono::milliseconds time_limit = kRequestTimeLimit;
};
RequestSettings& DefaultRequestSettings();

// Steps 3 to 7: the reply's lines (LoadMemoFromMemoryStream's rules), or EHttpException.
std::vector<std::string> SecretariatRequest(const Account& account,
                                            std::string_view script_and_query,
                                            const RequestSettings& settings = DefaultRequestSettings());

// The same into a memo's lines; the memo is left empty by a failure when `clear_first`.
template <LineList Memo>
void SecretariatRequest(const Account& account, std::string_view script_and_query, Memo& target,
                        bool clear_first = true,
                        const RequestSettings& settings = DefaultRequestSettings()) {
  if (clear_first) target.Clear();
  std::vector<std::string> lines = SecretariatRequest(account, script_and_query, settings);
  target.Clear();
  for (auto& line : lines) target.Add(std::move(line));
}

}  // namespace secretariat
