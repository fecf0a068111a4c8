// A small command-line front end over the engine's write path, for the tests (not a product):
//   zipwrite create ARCHIVE PATH...      a new archive (replacing any file of that name) of the paths
//   zipwrite add ARCHIVE PATH...         adds the paths (creates the archive when there is none)
//   zipwrite move ARCHIVE PATH...        adds the paths and deletes them once the archive is complete
//   zipwrite rename ARCHIVE OLD NEW      renames an item
//   zipwrite delete ARCHIVE MASK         deletes the matching items
//   zipwrite freshen ARCHIVE MASK        refills the matching items from the files below --base
//   zipwrite test ARCHIVE [MASK]         tests the matching items
// Options: --base DIR (the folder names are relative to; default the current one), --password P,
// --level 0-9, --split BYTES (split volumes of that size), --advanced-naming on|off,
// --zip64 disabled|auto|always, --sfx STUB, --no-recurse, --abort (failures are answered with
// Abort; default Ignore), --kill-after N (the process kills itself at the Nth progress report of
// an item's data or of a copy of stored data: a crash in the middle of any commit), --lock-wait MS
// (how long to wait while another commit holds the archive). PATHs are relative to --base. Exit:
// 0 the commit succeeded with every item stored (a test: every item tested), 1 it did not (an item
// failed or was skipped, a rollback), 2 an error ended the run (nothing of the run is committed),
// 3 bad usage.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "ZAStrFunc.h"
#include "ZipArchiver.h"

namespace {

// Names are the file system's own; the events of freshen and test show stored names with "\" for
// folders, printed here with "/". A disk file that the commit names (adding, moving) is shown as the
// file system has it, backslashes and all, and so are the commit's messages.
std::string Shown(const std::string& engineText) { return zip::ToSlashes(engineText); }
bool NamesDiskFile(zip::TZAProcessOperation operation) { return operation == zip::poAdd || operation == zip::poMove; }

int Usage() {
  std::fprintf(stderr,
               "usage: zipwrite create|add|move ARCHIVE PATH... | rename ARCHIVE OLD NEW | delete|freshen ARCHIVE "
               "MASK | test ARCHIVE [MASK]  [--base DIR] [--password P] [--level N] [--split BYTES] "
               "[--advanced-naming on|off] [--zip64 disabled|auto|always] [--sfx STUB] [--no-recurse] [--abort] [--lock-wait MS]\n");
  return 3;
}

const char* StateText(zip::TZACommitState s) {
  switch (s) {
    case zip::TZACommitState::None: return "none";
    case zip::TZACommitState::Committed: return "committed";
    case zip::TZACommitState::Cancelled: return "cancelled";
    case zip::TZACommitState::RolledBack: return "rolled back";
    case zip::TZACommitState::RollbackFailed: return "rollback failed";
  }
  return "?";
}

// How the commit ended (or why the update was cancelled), when there is an outcome.
void PrintCommit(const zip::TZACommitResult& c) {
  if (c.State == zip::TZACommitState::None) return;
  std::printf("%s stored %d ignored %d%s%s\n", StateText(c.State), c.Stored, c.Ignored, c.Message.empty() ? "" : ": ",
              c.Message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  zip::TZipArchiver archiver;
  archiver.SetName("ZipArchiver1");
  bool abortOnFailure = false;
  long long split = 0;
  long killAfter = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--base" && hasValue) {
      archiver.BaseDir = argv[++i];
    } else if (a == "--password" && hasValue) {
      archiver.Password = argv[++i];
    } else if (a == "--level" && hasValue) {
      archiver.SetCompressionMode(std::atoi(argv[++i]));
    } else if (a == "--split" && hasValue) {
      split = std::atoll(argv[++i]);
    } else if (a == "--advanced-naming" && hasValue) {
      archiver.SpanningOptions().AdvancedNaming = std::string(argv[++i]) == "on";
    } else if (a == "--zip64" && hasValue) {
      const std::string m = argv[++i];
      archiver.Zip64Mode = m == "always" ? zip::zmAlways : m == "auto" ? zip::zmAuto : zip::zmDisabled;
    } else if (a == "--sfx" && hasValue) {
      archiver.SFXStub = argv[++i];
    } else if (a == "--no-recurse") {
      archiver.Options().Recurse = false;
    } else if (a == "--kill-after" && hasValue) {
      killAfter = std::atol(argv[++i]);
    } else if (a == "--lock-wait" && hasValue) {
      archiver.CommitLockWait = std::atoi(argv[++i]);
    } else if (a == "--abort") {
      abortOnFailure = true;
    } else {
      args.push_back(a);
    }
  }
  if (args.size() < 2) return Usage();
  const std::string command = args[0];
  archiver.FileName = args[1];
  archiver.OnProcessFileFailure = [&](auto*, const std::string& name, zip::TZAProcessOperation operation, int, int,
                                      const std::string& message, zip::TZAAction& action) {
    const bool raw = NamesDiskFile(operation);
    std::fprintf(stderr, "%s: %s\n", raw ? name.c_str() : Shown(name).c_str(), raw ? message.c_str() : Shown(message).c_str());
    action = abortOnFailure ? zip::fxaAbort : zip::fxaIgnore;
  };
  if (killAfter > 0) {
    archiver.OnFileProgress = [&](auto*, const std::string&, double, zip::TZAProcessOperation,
                                  zip::TZAProgressPhase phase, bool&) {
      if (phase == zip::ppProcess && --killAfter == 0) std::raise(SIGKILL);
    };
    archiver.OnCopyTempFileProgress = [&](auto*, double, zip::TZAProgressPhase phase, bool&) {
      if (phase == zip::ppProcess && --killAfter == 0) std::raise(SIGKILL);
    };
  }
  if (split > 0) {
    archiver.SetSpanningMode(zip::smSplitting);
    archiver.SpanningOptions().VolumeSize = zip::vsCustom;
    archiver.SpanningOptions().SetCustomVolumeSize(split);
  }
  try {
    if (command == "create" || command == "add" || command == "move") {
      if (args.size() < 3) return Usage();
      if (command == "create") {
        archiver.OpenArchive(zip::ZAFileModeCreate);
      } else {
        archiver.OpenArchiveAuto();
      }
      archiver.BeginUpdate();
      for (std::size_t i = 2; i < args.size(); ++i) {
        if (command == "move") {
          archiver.MoveFiles(args[i]);
        } else {
          archiver.AddFiles(args[i]);
        }
      }
      archiver.EndUpdate();
    } else if (command == "rename") {
      if (args.size() != 4) return Usage();
      archiver.OpenArchive(zip::fmOpenReadWriteDenyWrite);
      archiver.RenameItem(args[2], args[3]);
    } else if (command == "delete" || command == "freshen") {
      if (args.size() != 3) return Usage();
      archiver.OpenArchive(zip::fmOpenReadWriteDenyWrite);
      if (command == "delete") {
        archiver.DeleteFiles(args[2]);
      } else {
        archiver.UpdateFiles(args[2]);
      }
    } else if (command == "test") {
      if (args.size() > 3) return Usage();
      archiver.OpenArchive(zip::fmOpenReadDenyWrite);
      archiver.OnPassword = [&](auto*, const std::string&, std::string&, bool& skip) { skip = true; };
      archiver.TestFiles(args.size() == 3 ? args[2] : "*.*");
      archiver.CloseArchive();
      const zip::TZAProcessResult& r = archiver.LastResult();
      std::printf("tested %d failed %d\n", r.Processed, r.Failed);
      return r.Succeeded() && r.Skipped == 0 ? 0 : 1;
    } else {
      return Usage();
    }
    // The close may commit too (a new archive gets its directory and its name there): how that
    // ended is in the outcome, as close raises nothing.
    archiver.CloseArchive();
    const zip::TZACommitResult& c = archiver.LastCommitResult();
    PrintCommit(c);
    return c.Succeeded() && c.Ignored == 0 && c.ErrorCode == 0 && c.Message.empty() ? 0 : 1;
  } catch (const zip::EZAException& e) {
    std::fprintf(stderr, "%s\n", Shown(e.Message()).c_str());
    PrintCommit(archiver.LastCommitResult());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    PrintCommit(archiver.LastCommitResult());
    return 2;
  }
}
