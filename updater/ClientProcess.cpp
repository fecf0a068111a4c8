#include "ClientProcess.h"

#include <string_view>

#include "os/processes.h"

namespace updater {
namespace {

// The framework's CompareText: equal when only the case of ASCII letters differs.
bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool TerminateProcessByExeName(const std::string& ExeName) {
  // A snapshot of the process list, walked from its first entry.
  for (const os::ProcessEntry& entry : os::ProcessSnapshot()) {
    if (!SameTextAscii(entry.exeFile, ExeName)) continue;
    // The walk stops at the first equal name, whether it could be ended or not.
    return os::TerminateProcess(entry.pid, 0);
  }
  return false;
}

}  // namespace updater
