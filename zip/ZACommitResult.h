#pragma once
// What the last update commit did, for a caller that can no longer see its exception (a close
// raises nothing).
#include <cstdint>
#include <string>

namespace zip {

enum class TZACommitState : std::uint8_t {
  None,            // no commit has run
  Committed,       // the archive holds the changes
  Cancelled,       // cancelled before anything was written: the archive is untouched
  RolledBack,      // a failure, an abort or a cancel: the archive is back as it was
  RollbackFailed,  // the archive could not be put back: see the message
};

struct TZACommitResult {
  TZACommitState State = TZACommitState::None;
  std::int32_t ErrorCode = 0;  // NativeError of the failure that ended the commit (0: none)
  std::string Message;         // its message
  std::int32_t Stored = 0;     // entries whose new data was written
  std::int32_t Ignored = 0;    // entries left out or kept with their old data after a failure

  bool Succeeded() const { return State == TZACommitState::Committed; }
};

}  // namespace zip
