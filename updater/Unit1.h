#pragma once
// The updater's window `Form1`: it compares the update page's date with the date of the
// installed client, and when the page is newer ends the client, downloads the update archive,
// extracts it over its own folder, starts the client again and removes the archive.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "UpdateHttp.h"
#include "ZipArchiver.h"
#include "forms/buttons.h"
#include "forms/edits.h"
#include "forms/form.h"
#include "forms/label.h"
#include "forms/panels.h"
#include "forms/progressbar.h"
#include "forms/sysutils.h"

namespace updater {

// Where the updater is installed and which host it asks. The program passes the folder of
// its own executable and the update host of the build; tests pass a folder of their own and
// a stand-in host ("127.0.0.1:port").
struct TUpdaterPlace {
  std::string Folder;
  std::string UpdateHost;
};

// The ways a run can fail to install the update once the client has been ended.
enum class TRunFailure { ArchiveNotCreated, DownloadFailed, ExtractionFailed, ExtractionIncomplete };

// How such a run ends; in the texts "@" stands for the product's name. Each text is what
// became of the update, then a line on the client: the one given here once it runs again,
// else the one that says it could not be started and why.
struct TFailedRunEnding {
  const char* Status;           // the status text's first line
  const char* StatusRestarted;  // and its line on the restarted client
  bool RemoveArchive;           // the archive file is deleted
  bool ButtonBack;              // "Mise à jour" can be pressed again
  const char* Message;          // a message box to close, or none
  const char* MessageRestarted;  // and its line on the restarted client
};

class TForm1 : public forms::TForm {
 public:
  TForm1(forms::TComponent* Owner, TUpdaterPlace Place);
  ~TForm1() override;

  // Controls (owned by the form).
  forms::TLabel* Label2 = nullptr;   // title
  forms::TLabel* Label1 = nullptr;   // status; CR starts a new line
  forms::TImage* Image1 = nullptr;   // the logo
  forms::TProgressBar* ProgressBar = nullptr;
  forms::TBitBtn* BitBtn1 = nullptr;  // "Mise à jour"
  forms::TBitBtn* BitBtn2 = nullptr;  // "Quitter"
  forms::TLabel* Label3 = nullptr;   // hidden: the local date as text
  forms::TMemo* Memo1 = nullptr;     // hidden: the lines of the update page
  forms::TButton* Button2 = nullptr;  // hidden: the local date
  forms::TButton* Button3 = nullptr;  // hidden: the extraction
  forms::TButton* Button5 = nullptr;  // hidden: the update page
  TUpdateHttp IdHTTP1;
  std::unique_ptr<zip::TZipArchiver> ZipArchiver1;

  // The program's globals: names and addresses set by FormCreate, dates by the handlers.
  std::string ClientExeName;
  std::string UpdateZipName;
  std::string UpdateZipPath;
  std::string UpdatePageUrl;
  std::string DownloadUrl;
  std::string ProductCaption;
  forms::TDateTime RemoteDate = 0.0;  // kept from one press of the button to the next
  forms::TDateTime LocalExeDate = 0.0;
  forms::TDateTime DownloadStartTime = 0.0;

  void FormCreate(forms::TObject* Sender);
  void BitBtn1Click(forms::TObject* Sender);
  void BitBtn2Click(forms::TObject* Sender);
  void Button5Click(forms::TObject* Sender);
  void Button2Click(forms::TObject* Sender);
  void Button3Click(forms::TObject* Sender);

  void IdHTTP1WorkBegin(forms::TObject* Sender, TWorkMode AWorkMode, std::int64_t AWorkCountMax);
  void IdHTTP1Work(forms::TObject* Sender, TWorkMode AWorkMode, std::int64_t AWorkCount);
  void IdHTTP1WorkEnd(forms::TObject* Sender, TWorkMode AWorkMode);
  void ZipArchiver1FileProgress(zip::TObject* Sender, const std::string& FileName, double Progress,
                                zip::TZAProcessOperation Operation,
                                zip::TZAProgressPhase ProgressPhase, bool& Cancel);

 private:
  std::string ClientExePath() const;
  bool DownloadArchive(std::string& Error);
  bool ExtractArchive();
  void EndFailedRun(TRunFailure failure, const std::string& Told = {});
  std::string WithProduct(std::string_view text) const;
  std::string StartClient();
  std::string NotRestarted(const std::string& why = {}) const;
  void DeleteArchive();
  void ProcessMessages();

  bool pageCheckFailed_ = false;  // the last read of the update page failed
  std::string folder_;  // the updater's folder, with a trailing separator
  std::string host_;
};

}  // namespace updater
