#include "Unit1.h"

#include <unistd.h>

#include <climits>
#include <exception>
#include <string_view>
#include <utility>

#include "ClientProcess.h"
#include "DownloadFile.h"
#include "FileAge.h"
#include "forms/application.h"
#include "forms/dialogs.h"
#include "http/error.h"
#include "os/codepage.h"
#include "os/sleep.h"
#include "secretariat/reply_lines.h"

namespace updater {
namespace {

constexpr char CR[] = "\r";
constexpr char CRLF[] = "\r\n";

// The archive is opened read only, others may not write to it meanwhile.
constexpr int kOpenReadDenyWrite = 32;
// Every item: read-only, hidden, system, volume, folder, archive, normal, compressed and
// not-content-indexed entries alike.
constexpr std::int32_t kAllItems = 10431;

constexpr char kLogoFileName[] = "Update.png";

int ClampToInt(std::int64_t value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < 0) return 0;
  return static_cast<int>(value);
}

// Stands for the product's name in the texts below.
constexpr char kProduct[] = "@";

// How each run that could not install the update ends, "@" standing for the product's name.
// The archive goes unless the engine's error is to be looked into; the button comes back
// unless the run ended through the error box.
const TFailedRunEnding kFailedRunEndings[] = {
    // TRunFailure::ArchiveNotCreated (the error box tells why)
    {"La mise à jour de @ n'a pas pu être téléchargée.", "@ a été redémarré sans changement.", false, false,
     nullptr, nullptr},
    // TRunFailure::DownloadFailed (a message box told the download's error)
    {"La mise à jour de @ n'a pas pu être téléchargée.", "@ a été redémarré sans changement.", true, true,
     nullptr, nullptr},
    // TRunFailure::ExtractionFailed (the error box shows the engine's message)
    {"La mise à jour de @ n'a pas pu être installée.", "@ a été redémarré.", false, false, nullptr, nullptr},
    // TRunFailure::ExtractionIncomplete (an item was skipped or refused)
    {"La mise à jour de @ n'a pas pu être installée entièrement.", "@ a été redémarré.", true, true,
     "La mise à jour de @ n'a pas pu être installée entièrement.", "@ a été redémarré automatiquement."},
};

// Closes the archive on every way out of the extraction.
class ArchiveCloser {
 public:
  explicit ArchiveCloser(zip::TZipArchiver& archiver) : archiver_(archiver) {}
  ~ArchiveCloser() { archiver_.CloseArchive(); }
  ArchiveCloser(const ArchiveCloser&) = delete;
  ArchiveCloser& operator=(const ArchiveCloser&) = delete;

 private:
  zip::TZipArchiver& archiver_;
};

}  // namespace

TForm1::TForm1(forms::TComponent* Owner, TUpdaterPlace Place)
    : forms::TForm(Owner),
      folder_(forms::IncludeTrailingPathDelimiter(std::move(Place.Folder))),
      host_(std::move(Place.UpdateHost)) {
  SetName("Form1");
  SetCaption("Mise à jour");
  SetPosition(forms::poScreenCenter);
  SetBorderStyle(forms::bsSingle);
  SetWidth(390);
  SetHeight(153);
  Font().SetName("MS Sans Serif");
  Font().SetSize(8);

  Label2 = &Create<forms::TLabel>("Label2", this);
  Label2->SetBounds(8, 8, 300, 22);
  Label2->Font().SetName("Verdana");
  Label2->Font().SetSize(13);
  Label2->Font().SetColor(forms::clOlive);
  Label2->SetCaption("Mise à jour Orvalis Pulse");

  Label1 = &Create<forms::TLabel>("Label1", this);
  // Room for three lines of status beside the logo: a longer one wraps within the width.
  Label1->SetBounds(8, 34, 316, 44);

  // The logo ships beside the program; without it the window simply has none.
  Image1 = &Create<forms::TImage>("Image1", this);
  Image1->SetBounds(330, 4, 48, 48);
  if (FileExists(folder_ + kLogoFileName)) {
    try {
      Image1->LoadFromFile(folder_ + kLogoFileName);
    } catch (const forms::Exception&) {
      // an unreadable picture leaves the place empty
    }
  }

  ProgressBar = &Create<forms::TProgressBar>("ProgressBar", this);
  ProgressBar->SetBounds(8, 82, 366, 14);

  BitBtn1 = &Create<forms::TBitBtn>("BitBtn1", this);
  BitBtn1->SetBounds(8, 104, 110, 25);
  BitBtn1->SetCaption("Mise à jour");
  BitBtn1->SetShowHint(true);
  BitBtn1->OnClick = [this](forms::TObject* Sender) { BitBtn1Click(Sender); };

  BitBtn2 = &Create<forms::TBitBtn>("BitBtn2", this);
  BitBtn2->SetBounds(264, 104, 110, 25);
  BitBtn2->SetCaption("Quitter");
  BitBtn2->OnClick = [this](forms::TObject* Sender) { BitBtn2Click(Sender); };

  Label3 = &Create<forms::TLabel>("Label3", this);
  Label3->SetVisible(false);
  Memo1 = &Create<forms::TMemo>("Memo1", this);
  Memo1->SetVisible(false);
  Button2 = &Create<forms::TButton>("Button2", this);
  Button2->SetVisible(false);
  Button2->OnClick = [this](forms::TObject* Sender) { Button2Click(Sender); };
  Button3 = &Create<forms::TButton>("Button3", this);
  Button3->SetVisible(false);
  Button3->OnClick = [this](forms::TObject* Sender) { Button3Click(Sender); };
  Button5 = &Create<forms::TButton>("Button5", this);
  Button5->SetVisible(false);
  Button5->OnClick = [this](forms::TObject* Sender) { Button5Click(Sender); };

  // Both downloads pump the window's messages while they wait.
  IdHTTP1.Pump = [this] { ProcessMessages(); };
  IdHTTP1.OnWorkBegin = [this](forms::TObject* Sender, TWorkMode Mode, std::int64_t Max) {
    IdHTTP1WorkBegin(Sender, Mode, Max);
  };
  IdHTTP1.OnWork = [this](forms::TObject* Sender, TWorkMode Mode, std::int64_t Count) {
    IdHTTP1Work(Sender, Mode, Count);
  };
  IdHTTP1.OnWorkEnd = [this](forms::TObject* Sender, TWorkMode Mode) { IdHTTP1WorkEnd(Sender, Mode); };

  // The archiver with the window's stored properties; everything else keeps its defaults.
  ZipArchiver1 = std::make_unique<zip::TZipArchiver>();
  ZipArchiver1->SetName("ZipArchiver1");
  ZipArchiver1->ExtractCorruptedFiles = false;
  ZipArchiver1->SetCompressionLevel(zip::clFastest);
  ZipArchiver1->SetCompressionMode(1);
  ZipArchiver1->SetSpanningMode(zip::smNone);
  ZipArchiver1->SpanningOptions().AdvancedNaming = true;
  ZipArchiver1->SpanningOptions().VolumeSize = zip::vsAutoDetect;
  ZipArchiver1->Options().FlushBuffers = true;
  ZipArchiver1->Options().OEMFileNames = true;
  ZipArchiver1->SetInMemory(false);
  ZipArchiver1->Zip64Mode = zip::zmDisabled;
  ZipArchiver1->OnFileProgress = [this](zip::TObject* Sender, const std::string& FileName,
                                        double Progress, zip::TZAProcessOperation Operation,
                                        zip::TZAProgressPhase ProgressPhase, bool& Cancel) {
    ZipArchiver1FileProgress(Sender, FileName, Progress, Operation, ProgressPhase, Cancel);
  };

  OnCreate = [this](forms::TObject* Sender) { FormCreate(Sender); };
}

TForm1::~TForm1() {
  // The archiver goes first: it may still hold the archive open.
  ZipArchiver1.reset();
  DestroyComponents();
}

void TForm1::FormCreate(forms::TObject*) {
  ClientExeName = "OrvalisP.exe";
  UpdateZipName = "OrvalisP.zip";
  UpdateZipPath = folder_ + UpdateZipName;
  UpdatePageUrl = "http://" + host_ + "/orvalisP/update.html";
  DownloadUrl = "http://" + host_ + "/rv/" + UpdateZipName;
  ProductCaption = "Orvalis Pulse";

  SetCaption("Mise à jour " + ProductCaption);
  Label2->SetCaption("Mise à jour " + ProductCaption);
  BitBtn1->SetHint("Recherchez maintenant une nouvelle version de " + ProductCaption);
  Label1->SetCaption("Pour rechercher une nouvelle version de " + ProductCaption + CR +
                     "Veuillez cliquer sur le bouton \"Mise à jour\".");
}

// The update run.
void TForm1::BitBtn1Click(forms::TObject* Sender) {
  BitBtn1->SetEnabled(false);

  if (!FileExists(ClientExePath())) {
    Label1->SetCaption("La mise à jour, ne trouve pas le fichier d'origine" + std::string(CR) +
                       ClientExeName + " sur votre ordinateur.");
    return;
  }

  Button5Click(Sender);  // the date of the update page
  Button2Click(Sender);  // the date of the installed client

  if (!(RemoteDate > LocalExeDate)) {
    // A page that could not be read checked nothing: the status keeps saying why.
    if (!pageCheckFailed_) {
      Label1->SetCaption("Aucune nouvelle version de " + ProductCaption + CR +
                         "n'est disponible sur internet.");
    }
    BitBtn1->SetEnabled(true);
    return;
  }

  TerminateClientProcess(ClientExePath());
  Label1->SetCaption("Téléchargement des mises à jour " + ProductCaption + ".");
  // A download that failed or stopped short is never extracted; the old client runs again
  // before the user is told why.
  std::string downloadError;
  if (!DownloadArchive(downloadError)) {
    EndFailedRun(TRunFailure::DownloadFailed, downloadError);
    return;
  }

  Label1->SetCaption("Installation de la mise à jour " + ProductCaption + ".");
  os::Sleep(300);
  if (!ExtractArchive()) {
    EndFailedRun(TRunFailure::ExtractionIncomplete);
    return;
  }

  Label1->SetCaption("Mise à jour de " + ProductCaption + " terminée.");
  os::Sleep(300);
  const std::string notStarted = StartClient();
  DeleteArchive();
  BitBtn1->SetEnabled(true);
  if (!notStarted.empty()) {
    // The update is in place but no client runs: the window stays to say so.
    Label1->SetCaption("La mise à jour de " + ProductCaption + " est installée." + CR + NotRestarted());
    forms::ShowMessage("La mise à jour de " + ProductCaption + " est terminée et installée." + CRLF +
                       NotRestarted(notStarted));
    return;
  }
  forms::ShowMessage("La mise à jour de " + ProductCaption + " est terminée et installée." + CRLF +
                     ProductCaption + " à été redémarré automatiquement.");
  Close();
}

void TForm1::BitBtn2Click(forms::TObject*) { Close(); }

// Creates the archive file and downloads the archive into it. False when the download failed,
// with the text that tells the user why in `Error`; the file is closed either way. An archive
// file that cannot be created ends the run through the error box.
bool TForm1::DownloadArchive(std::string& Error) {
  std::unique_ptr<TDownloadFile> file;
  try {
    file = std::make_unique<TDownloadFile>(UpdateZipPath);
  } catch (...) {
    EndFailedRun(TRunFailure::ArchiveNotCreated);
    throw;
  }

  try {
    IdHTTP1.Get(DownloadUrl, [&file](std::string_view piece) { file->Write(piece); });
    file->Close();
    return true;
  } catch (const http::EHttpException& E) {
    Error = std::string("Erreur durant le téléchargement : ") + E.what();
  } catch (const EWriteError& E) {
    Error = E.what();  // the file and the system's reason: a full disk, a size limit
  } catch (const std::exception& E) {
    Error = std::string("Erreur inconnue : ") + E.what();
  }
  return false;
}

// Extracts the downloaded archive (Button3Click). False when an item of it was not written;
// an error of the engine ends the run through the error box with the engine's message.
bool TForm1::ExtractArchive() {
  try {
    Button3Click(this);
  } catch (...) {
    EndFailedRun(TRunFailure::ExtractionFailed);
    throw;
  }
  const zip::TZAProcessResult& result = ZipArchiver1->LastResult();
  return result.Succeeded() && result.Skipped == 0 && result.Selected > 0;
}

// A run that could not install the update. The client was ended already: it is started
// again as it is, whatever went wrong, and only then does any box tell the user (`Told`, then
// the failure's own message; an error box comes after the return); the run ends as its
// failure says.
void TForm1::EndFailedRun(TRunFailure failure, const std::string& Told) {
  const TFailedRunEnding& ending = kFailedRunEndings[static_cast<int>(failure)];
  const std::string notStarted = StartClient();
  if (ending.RemoveArchive) DeleteArchive();
  Label1->SetCaption(WithProduct(ending.Status) + CR +
                     (notStarted.empty() ? WithProduct(ending.StatusRestarted) : NotRestarted()));
  if (ending.ButtonBack) BitBtn1->SetEnabled(true);
  if (!Told.empty()) forms::ShowMessage(Told);
  // A client that could not be started is told with the reason in a box of its own, or in the
  // failure's own one.
  if (ending.Message) {
    forms::ShowMessage(WithProduct(ending.Message) + CRLF +
                       (notStarted.empty() ? WithProduct(ending.MessageRestarted) : NotRestarted(notStarted)));
  } else if (!notStarted.empty()) {
    forms::ShowMessage(NotRestarted(notStarted));
  }
}

// The status line that tells that the client could not be started again; with the reason, the
// line of a message box (the status has no room for a reason of any length).
std::string TForm1::NotRestarted(const std::string& why) const {
  if (why.empty()) return ProductCaption + " n'a pas pu être redémarré.";
  return ProductCaption + " n'a pas pu être redémarré : " + why + ".";
}

std::string TForm1::WithProduct(std::string_view text) const {
  std::string out;
  for (size_t at = 0;;) {
    const size_t mark = text.find(kProduct, at);
    out += text.substr(at, mark - at);
    if (mark == std::string_view::npos) return out;
    out += ProductCaption;
    at = mark + std::string_view(kProduct).size();
  }
}

// The update page: its first line is the date of the latest version. A page that cannot be
// read (no connection, an error status, a silent host) leaves the date as it was and the
// status tells the failure, with the HTTP layer's text of it.
void TForm1::Button5Click(forms::TObject*) {
  std::string body;
  pageCheckFailed_ = false;
  try {
    body = IdHTTP1.Get(UpdatePageUrl);
  } catch (const std::exception& E) {
    pageCheckFailed_ = true;
    Label1->SetCaption("La recherche d'une nouvelle version de " + ProductCaption + CR +
                       "a échoué : " + E.what());
    return;
  }
  secretariat::LoadMemoFromMemoryStream(Memo1->Lines(), body);
  const std::string L = Memo1->Lines().Count() > 0 ? Memo1->Lines()[0] : std::string();
  if (L != "0" && !L.empty()) {
    RemoteDate = forms::StrToDate(L);  // not a date: the run ends with the conversion error
  } else {
    Memo1->Lines().Clear();
    Label1->SetCaption("Pas de réponse, essayez de nouveau dans un moment");
  }
}

// The local date: the day of the client executable's last change.
void TForm1::Button2Click(forms::TObject*) {
  forms::TDateTime age = 0.0;
  if (FileAge(ClientExePath(), age)) {
    Label3->SetCaption(forms::DateToStr(age));
    LocalExeDate = forms::StrToDate(Label3->Caption());
  } else {
    Label1->SetCaption("La mise à jour, ne trouve pas le fichier d'origine" + std::string(CR) +
                       ClientExeName + " sur votre ordinateur.");
  }
}

// The extraction of the whole archive over the updater's folder.
void TForm1::Button3Click(forms::TObject*) {
  ZipArchiver1->FileName = UpdateZipPath;
  ZipArchiver1->OpenArchive(kOpenReadDenyWrite);
  ArchiveCloser closer(*ZipArchiver1);
  ZipArchiver1->BaseDir = folder_;
  ZipArchiver1->ExtractFiles("*.*", kAllItems, "");
}

void TForm1::IdHTTP1WorkBegin(forms::TObject*, TWorkMode AWorkMode, std::int64_t AWorkCountMax) {
  if (AWorkMode != wmRead) return;
  ProgressBar->SetMax(ClampToInt(AWorkCountMax));
  ProgressBar->SetPosition(0);
  DownloadStartTime = forms::Now();
  ProcessMessages();
}

void TForm1::IdHTTP1Work(forms::TObject*, TWorkMode AWorkMode, std::int64_t AWorkCount) {
  if (AWorkMode != wmRead) return;
  ProgressBar->SetPosition(ClampToInt(AWorkCount));
  if ((forms::Now() - DownloadStartTime) * 86400.0 >= 1.0) ProcessMessages();
}

void TForm1::IdHTTP1WorkEnd(forms::TObject*, TWorkMode) { ProgressBar->SetPosition(0); }

void TForm1::ZipArchiver1FileProgress(zip::TObject*, const std::string&, double Progress,
                                      zip::TZAProcessOperation, zip::TZAProgressPhase, bool&) {
  ProgressBar->SetPosition(static_cast<int>(Progress));
}

std::string TForm1::ClientExePath() const { return folder_ + ClientExeName; }

// Starts the client of the updater's folder: empty when it runs, else why it could not start.
std::string TForm1::StartClient() { return StartClientProcess(ClientExePath()); }

void TForm1::DeleteArchive() {
  if (FileExists(UpdateZipPath)) ::unlink(UpdateZipPath.c_str());
}

void TForm1::ProcessMessages() {
  if (forms::Application != nullptr) forms::Application->ProcessMessages();
}

}  // namespace updater
