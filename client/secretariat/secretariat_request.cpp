#include "secretariat/secretariat_request.h"

#include <algorithm>

#include "http/address.h"
#include "http/base64.h"
#include "http/client.h"
#include "os/codepage.h"

namespace secretariat {

bool HasCredentials(const Account& account) {
  return !account.login.empty() && !account.password.empty() && !account.server.empty();
}

std::string LoginWithUnderscores(std::string login) {
  std::replace(login.begin(), login.end(), ' ', '_');
  return login;
}

bool RewritesLogin(std::string_view script_and_query) {
  const std::string_view script = script_and_query.substr(0, script_and_query.find('?'));
  return script != "indycons.pl" && script != "indystop.pl";
}

std::string RequestAddress(const Account& account, std::string_view script_and_query) {
  std::string address = "http://" + account.login + ":" + account.password + "@" + account.server +
                        "/cgi-bin/clients/";
  address += script_and_query;
  return address;
}

RequestSettings& DefaultRequestSettings() {
  static RequestSettings settings;
  return settings;
}

std::vector<std::string> SecretariatRequest(const Account& account,
                                            std::string_view script_and_query,
                                            const RequestSettings& settings) {
  // The address is read as the secretariat's server reads it: its bytes, in Windows-1252.
  const http::Address address = http::ParseAddress(os::Utf8ToCp1252(RequestAddress(account, script_and_query)));

  http::Request request;
  request.version = http::Version::Http10;
  request.host = address.host;
  request.port = address.port;
  request.target = address.target;
  request.headers = {
      {"Accept", kAccept},
      {"User-Agent", kAgent},
      {"Host", address.host},
      {"Authorization", http::BasicAuthorization(address.user, address.password)},
  };
  request.time_limit = settings.time_limit;
  request.pump = settings.pump;

  http::Reply reply;
  try {
    reply = http::Get(request);
  } catch (const http::EHttpException& e) {
    // The server's reason phrase is Windows-1252 like the rest of what it sends.
    throw http::EHttpException(e.StatusCode(), e.Kind(), os::Cp1252ToUtf8(e.what()));
  }
  return ReplyLines(reply.body);
}

}  // namespace secretariat
