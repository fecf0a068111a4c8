#include "http/cookie_jar.h"

#include <curl/curl.h>

#include <stdexcept>

#include "http/curl_global.h"

namespace http {
namespace {

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* jar) {
  static_cast<CookieJar*>(jar)->MutexFor(data).lock();
}

void UnlockShare(CURL*, curl_lock_data data, void* jar) {
  static_cast<CookieJar*>(jar)->MutexFor(data).unlock();
}

}  // namespace

void CookieJar::ShareDeleter::operator()(CURLSH* share) const { curl_share_cleanup(share); }

CookieJar::CookieJar() {
  EnsureCurlReady();
  share_.reset(curl_share_init());
  if (!share_) throw std::runtime_error("cookie store could not be created");
  curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &LockShare);
  curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &UnlockShare);
  curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
  curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

CookieJar::~CookieJar() = default;

}  // namespace http
