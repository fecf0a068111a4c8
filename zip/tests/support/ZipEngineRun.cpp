#include "ZipEngineRun.h"

#include "ZAFiles.h"
#include "ZAPlatform.h"

namespace ziptest {

void AnswerEventsForTests(zip::TZipArchiver& archiver, std::vector<std::string>& failures,
                          std::vector<int>& failureCodes, bool confirmOverwrite) {
  archiver.OnProcessFileFailure = [&failures, &failureCodes](auto*, const std::string& name, zip::TZAProcessOperation,
                                                             int native, int, const std::string&,
                                                             zip::TZAAction& action) {
    failures.push_back(name + ": " + std::to_string(native));
    failureCodes.push_back(native);
    action = zip::fxaIgnore;
  };
  const auto missing = [](const std::string& name) { return !zip::FileExistsNoCase(name); };
  archiver.OnRequestFirstVolume = [=](auto*, std::string& name, bool& cancel) { cancel = missing(name); };
  archiver.OnRequestLastVolume = [=](auto*, std::string& name, bool& cancel) { cancel = missing(name); };
  archiver.OnRequestMiddleVolume = [=](auto*, int, std::string& name, bool& cancel) { cancel = missing(name); };
  archiver.OnPassword = [](auto*, const std::string&, std::string&, bool& skip) { skip = true; };
  archiver.OnConfirmOverwrite = [confirmOverwrite](auto*, const std::string&, std::string&, bool& confirm) {
    confirm = confirmOverwrite;
  };
}

TEngineRun ExtractWithEngine(const std::filesystem::path& archive, const std::filesystem::path& folder,
                             const std::function<void(zip::TZipArchiver&)>& setup) {
  TEngineRun run;
  zip::TZipArchiver archiver;
  archiver.SetName("ZipArchiver1");
  AnswerEventsForTests(archiver, run.Failures, run.FailureCodes, false);
  if (setup) setup(archiver);
  archiver.FileName = zip::platform::FromFileSystemPath(archive.string());
  try {
    archiver.OpenArchive(32);
    run.Opened = true;
    archiver.BaseDir = zip::platform::FromFileSystemPath(folder.string());
    archiver.ExtractFiles("*.*", 10431, "");
    run.Result = archiver.LastResult();
  } catch (const zip::EZAException& e) {
    run.OpenCode = e.NativeError;
    run.OpenMessage = e.Message();
  } catch (const std::exception& e) {
    run.OpenCode = -1;
    run.OpenMessage = e.what();
  }
  archiver.CloseArchive();
  return run;
}

std::vector<std::string> ListWithEngine(const std::filesystem::path& archive) {
  std::vector<std::string> names;
  zip::TZipArchiver archiver;
  archiver.FileName = zip::platform::FromFileSystemPath(archive.string());
  archiver.OpenArchive(32);
  for (std::int32_t i = 0; i < archiver.ItemCount(); ++i) names.push_back(archiver.CentralDir()->ItemRef(i).Name);
  archiver.CloseArchive();
  return names;
}

}  // namespace ziptest
