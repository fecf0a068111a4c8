#pragma once
// Named mutexes, as far as a program needs them to run as a single instance.
//
// A named mutex is a lock on a file "<name>.mutex" in the user's runtime folder
// ($XDG_RUNTIME_DIR; when that is unset or unusable, a folder "orvalis-<uid>" under /tmp that
// is created with mode 0700 and must belong to the user). The lock belongs to the open file,
// so it goes when the handle is destroyed or when the process ends in any way, crash and
// kill included. The file is never inherited by started programs.
//
// Only one thing can make CreateMutex report that the mutex already exists: another live
// handle holds it. Every other failure (no runtime folder, a file that cannot be created,
// locks not supported) gives a handle that holds nothing and says the mutex is new, so the
// program starts, as it would when the system refuses to create the mutex.
#include <memory>
#include <string>
#include <string_view>

#include "os/service.h"

namespace os {

// Keeps the mutex for as long as it lives.
class NamedMutex {
 public:
  virtual ~NamedMutex() = default;
  // True when another holder had the mutex at creation (the ERROR_ALREADY_EXISTS case).
  virtual bool AlreadyExisted() const = 0;
};

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // Creates or opens the named mutex of this user. Never throws and never returns null.
  // Names may hold any characters; bytes outside [A-Za-z0-9._-] are %-escaped in the file name.
  virtual std::unique_ptr<NamedMutex> CreateMutex(std::string_view name) = 0;
};

template <>
SingleInstance& RealService<SingleInstance>();

// Shortcut for Use<SingleInstance>().CreateMutex(name).
std::unique_ptr<NamedMutex> CreateMutex(std::string_view name);

// The folder that holds the lock files (created on demand); empty when none can be had.
std::string MutexFolder();

}  // namespace os
