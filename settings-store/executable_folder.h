#pragma once
// The folder of the running program, where its own files live ("serie.ini", the friends
// lists). Tests that run many copies of one test program at once point it elsewhere.
#include <string>

namespace settings_store {

// The folder of the running executable, ending with "/".
std::string ExecutableFolder();

// For its lifetime, ExecutableFolder() answers `folder` (a "/" is added when missing).
// Overrides nest; the previous answer comes back when this one ends.
class ScopedExecutableFolder {
 public:
  explicit ScopedExecutableFolder(std::string folder);
  ~ScopedExecutableFolder();
  ScopedExecutableFolder(const ScopedExecutableFolder&) = delete;
  ScopedExecutableFolder& operator=(const ScopedExecutableFolder&) = delete;

 private:
  std::string previous_;
  bool hadPrevious_;
};

}  // namespace settings_store
