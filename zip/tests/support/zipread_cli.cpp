// A small command-line front end over the engine's read path, for the tests (not a product):
//   zipread list ARCHIVE
//   zipread extract ARCHIVE FOLDER [--password P]... [--abort] [--mask MASK]
// extract opens the archive as the updater does (read only, denying writes), extracts every item
// matching the mask ("*.*") with the updater's options into FOLDER, answers password questions
// with the given passwords in turn (then skips), and failures with Ignore (or Abort with --abort).
// The engine's messages go to stderr. Exit: 0 every selected item was extracted, 1 some item
// failed or was skipped (a password not known) or the run was aborted or cancelled, 2 the archive
// could not be opened or another error ended the run, 3 bad usage.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "ZAFiles.h"
#include "ZAStrFunc.h"
#include "ZipArchiver.h"

namespace {

// Names are the file system's own; events show folders with "\", printed here with "/".
std::string Shown(const std::string& engineText) { return zip::ToSlashes(engineText); }

int Usage() {
  std::fprintf(stderr, "usage: zipread list ARCHIVE | zipread extract ARCHIVE FOLDER [--password P]... [--abort] [--mask M]\n");
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  const std::string command = args[0];
  zip::TZipArchiver archiver;
  archiver.SetName("ZipArchiver1");
  archiver.FileName = args[1];
  // Volume questions are answered from the disk: no dialog ever comes up.
  const auto missing = [](const std::string& name) { return !zip::FileExistsNoCase(name); };
  archiver.OnRequestFirstVolume = [&](auto*, std::string& name, bool& cancel) { cancel = missing(name); };
  archiver.OnRequestLastVolume = [&](auto*, std::string& name, bool& cancel) { cancel = missing(name); };
  archiver.OnRequestMiddleVolume = [&](auto*, int, std::string& name, bool& cancel) { cancel = missing(name); };

  try {
    if (command == "list") {
      if (args.size() != 2) return Usage();
      archiver.OpenArchive(32);
      zip::TZAArchiveItem item;
      for (bool found = archiver.FindFirstItem("*.*", item, "", 10431); found; found = archiver.FindNextItem(item)) {
        std::printf("%s%s\t%lld\t%lld\t%08x\t%08x%s\n", Shown(item.StoredFolderName).c_str(), Shown(item.FileName).c_str(),
                    static_cast<long long>(item.UncompressedSize), static_cast<long long>(item.CompressedSize),
                    item.CRC, item.ExternalFileAttributes, item.Encrypted ? "\tencrypted" : "");
      }
      archiver.CloseArchive();
      return 0;
    }
    if (command != "extract" || args.size() < 3) return Usage();
    std::vector<std::string> passwords;
    bool abortOnFailure = false;
    std::string mask = "*.*";
    for (std::size_t i = 3; i < args.size(); ++i) {
      if (args[i] == "--password" && i + 1 < args.size()) {
        passwords.push_back(args[++i]);
      } else if (args[i] == "--abort") {
        abortOnFailure = true;
      } else if (args[i] == "--mask" && i + 1 < args.size()) {
        mask = args[++i];
      } else {
        return Usage();
      }
    }
    std::size_t nextPassword = 0;
    archiver.OnPassword = [&](auto*, const std::string& name, std::string& password, bool& skip) {
      if (nextPassword < passwords.size()) {
        password = passwords[nextPassword++];
        skip = false;
      } else {
        std::fprintf(stderr, "password question for %s: skipped\n", Shown(name).c_str());
        skip = true;
      }
    };
    archiver.OnProcessFileFailure = [&](auto*, const std::string& name, zip::TZAProcessOperation, int, int,
                                        const std::string& message, zip::TZAAction& action) {
      std::fprintf(stderr, "%s: %s\n", Shown(name).c_str(), Shown(message).c_str());
      action = abortOnFailure ? zip::fxaAbort : zip::fxaIgnore;
    };
    if (!passwords.empty()) archiver.Password = passwords[nextPassword++];
    archiver.OpenArchive(32);
    archiver.BaseDir = args[2];
    archiver.ExtractFiles(mask, 10431, "");
    archiver.CloseArchive();
    const zip::TZAProcessResult& r = archiver.LastResult();
    std::printf("selected %d processed %d failed %d skipped %d%s%s\n", r.Selected, r.Processed, r.Failed, r.Skipped,
                r.Aborted ? " aborted" : "", r.Cancelled ? " cancelled" : "");
    return r.Succeeded() && r.Skipped == 0 ? 0 : 1;
  } catch (const zip::EZAException& e) {
    std::fprintf(stderr, "%s\n", Shown(e.Message()).c_str());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
}
