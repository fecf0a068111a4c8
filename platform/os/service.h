#pragma once
// Each system service of this layer (the single-instance mutex, the process list, the shell,
// sound, the registry, the desktop, sleeping) is an abstract interface with one real
// implementation. Code reaches a service through os::Use<Interface>(), or through the free
// functions each service header offers. Tests put a fake in place for a scope:
//
//     FakeSound fake;
//     os::ScopedOverride<os::Sound> use(fake);
//     ... code under test calls os::PlaySound(...) and reaches `fake` ...
//
// Overrides nest; the innermost one wins and the previous one comes back when it ends.
// Install and remove overrides from one thread (the test's); the services themselves may be
// used from any thread.
#include <atomic>

namespace os {

// The real implementation of a service, created on first use and alive until the process
// ends. Each service header declares its specialisation; its .cpp file defines it.
template <class Interface>
Interface& RealService();

namespace detail {
template <class Interface>
inline std::atomic<Interface*> overrideOf{nullptr};
}  // namespace detail

// The implementation in force: the innermost override, else the real one.
template <class Interface>
Interface& Use() {
  if (Interface* replacement = detail::overrideOf<Interface>.load(std::memory_order_acquire))
    return *replacement;
  return RealService<Interface>();
}

template <class Interface>
class ScopedOverride {
 public:
  explicit ScopedOverride(Interface& replacement)
      : previous_(detail::overrideOf<Interface>.exchange(&replacement, std::memory_order_acq_rel)) {}
  ~ScopedOverride() { detail::overrideOf<Interface>.store(previous_, std::memory_order_release); }
  ScopedOverride(const ScopedOverride&) = delete;
  ScopedOverride& operator=(const ScopedOverride&) = delete;

 private:
  Interface* previous_;
};

}  // namespace os
