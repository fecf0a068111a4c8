#pragma once
// Cookies kept between requests: every request given the same jar sends back what the
// earlier replies set. Without a jar a request neither sends nor keeps cookies.
#include <array>
#include <memory>
#include <mutex>

typedef void CURLSH;

namespace http {

class CookieJar {
 public:
  CookieJar();
  ~CookieJar();
  CookieJar(const CookieJar&) = delete;
  CookieJar& operator=(const CookieJar&) = delete;

  CURLSH* Handle() const { return share_.get(); }
  // The lock libcurl takes around one kind of shared data.
  std::mutex& MutexFor(int data) { return locks_.at(static_cast<std::size_t>(data) % locks_.size()); }

 private:
  struct ShareDeleter {
    void operator()(CURLSH* share) const;
  };

  std::array<std::mutex, 16> locks_;
  std::unique_ptr<CURLSH, ShareDeleter> share_;
};

}  // namespace http
