#include "http/failure_text.h"

#include <locale.h>
#include <string.h>

#include <cerrno>

namespace http {
namespace {

// The system's texts in the C locale, whatever locale the program runs in.
std::string EnglishErrorText(int error) {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (c_locale == static_cast<locale_t>(nullptr)) return "Error";
  return strerror_l(error, c_locale);
}

bool ArisesWhileConnecting(int error) {
  switch (error) {
    case ECONNREFUSED:
    case ECONNRESET:
    case ECONNABORTED:
    case ETIMEDOUT:
    case EHOSTUNREACH:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string SocketErrorText(int error) {
  return EnglishErrorText(error) + " (Error #" + std::to_string(error) + ")";
}

EHttpException ResolveFailure() {
  return EHttpException(kNoReplyStatus, Failure::Resolve, "can't resolve hostname to IP address");
}

EHttpException ConnectFailure(int error) {
  const std::string text = SocketErrorText(error);
  return EHttpException(kNoReplyStatus, Failure::Connect,
                        ArisesWhileConnecting(error) ? text : "can't connect: " + text);
}

EHttpException TimeoutFailure() {
  return EHttpException(kNoReplyStatus, Failure::Timeout, SocketErrorText(ETIMEDOUT));
}

}  // namespace http
