#include "liberation_processus.h"

#include "os/processes.h"

namespace client {

void LiberationProcessus(std::string_view exeName) {
  try {
    if (const auto pid = os::FindProcessByExeName(exeName, os::NameCase::Exact)) os::EmptyWorkingSet(*pid);
  } catch (...) {
    // A trim is only ever a courtesy to the system; no failure of it is reported.
  }
}

}  // namespace client
