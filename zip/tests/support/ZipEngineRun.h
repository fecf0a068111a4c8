#pragma once
// Drives the engine's read path the way the updater does, for the tests.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ZipArchiver.h"

namespace ziptest {

struct TEngineRun {
  bool Opened = false;
  int OpenCode = 0;          // NativeError of an exception that ended the run (0: none)
  std::string OpenMessage;   // its message
  zip::TZAProcessResult Result;
  std::vector<std::string> Failures;  // "name: code" of every failure event, in order
  std::vector<int> FailureCodes;
};

// Answers every event of archiver as the tests need it, so that no built-in dialog comes up:
// failures are logged ("name: code" and the code) and ignored, volume questions are answered from
// the disk, password questions by skipping, overwrite questions with confirmOverwrite.
void AnswerEventsForTests(zip::TZipArchiver& archiver, std::vector<std::string>& failures,
                          std::vector<int>& failureCodes, bool confirmOverwrite);

// Opens archive read-only (mode 32), sets BaseDir to folder, extracts "*.*" with attributes 10431
// and closes. Failures are answered with Ignore unless setup installs its own handler; setup may
// change any option or event before the open.
TEngineRun ExtractWithEngine(const std::filesystem::path& archive, const std::filesystem::path& folder,
                             const std::function<void(zip::TZipArchiver&)>& setup = {});

// Names of the items as a find of "*.*" lists them (stored form, "/" separated).
std::vector<std::string> ListWithEngine(const std::filesystem::path& archive);

}  // namespace ziptest
