// The update run end to end: the updater's window in-process, a stand-in update host on
// 127.0.0.1, an installation folder with a stand-in client process named OrvalisP.exe, and
// update archives made by Info-ZIP's zip at test time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Unit1.h"
#include "forms/dialogs.h"
#include "forms/scripted_dialogs.h"
#include "http/stand-in/server.h"
#include "support/UpdaterTestSupport.h"

namespace updater::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using http::stand_in::RecordedRequest;
using http::stand_in::ScriptedReply;

const std::string kPagePath = "/orvalisP/update.html";
const std::string kArchivePath = "/rv/OrvalisP.zip";

const std::string kNoNewVersion =
    "Aucune nouvelle version de Orvalis Pulse\rn'est disponible sur internet.";
const std::string kClientMissing =
    "La mise à jour, ne trouve pas le fichier d'origine\rOrvalisP.exe sur votre ordinateur.";
const std::string kInstalled =
    "La mise à jour de Orvalis Pulse est terminée et installée.\r\n"
    "Orvalis Pulse à été redémarré automatiquement.";
const std::string kNotDownloaded =
    "La mise à jour de Orvalis Pulse n'a pas pu être téléchargée.\r"
    "Orvalis Pulse a été redémarré sans changement.";
const std::string kNotInstalledWhole =
    "La mise à jour de Orvalis Pulse n'a pas pu être installée entièrement.\r\n"
    "Orvalis Pulse a été redémarré automatiquement.";
const std::string kNotInstalled =
    "La mise à jour de Orvalis Pulse n'a pas pu être installée.\rOrvalis Pulse a été redémarré.";
// The lines that replace the ones on the restarted client when it cannot be started: the
// status's, and a box's with the reason.
const std::string kNotRestarted = "Orvalis Pulse n'a pas pu être redémarré.";
const std::string kNotExecutable =
    "Orvalis Pulse n'a pas pu être redémarré : le fichier OrvalisP.exe n'est pas exécutable.";
std::string CheckFailed(const std::string& why) {
  return "La recherche d'une nouvelle version de Orvalis Pulse\ra échoué : " + why;
}

ScriptedReply Ok(std::string body) {
  ScriptedReply reply;
  reply.body = std::move(body);
  return reply;
}

ScriptedReply Status(int status, std::string reason) {
  ScriptedReply reply;
  reply.status = status;
  reply.reason = std::move(reason);
  reply.body = "<html>" + reply.reason + "</html>";
  return reply;
}

class UpdateRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::mkdir(install.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
    Install();
    host.SetHandler([this](const RecordedRequest& request) { return ReplyTo(request); });
  }
  // The installed version: the old client of 10/03/2026 and its data file.
  void Install() {
    CopyFile(OldClientProgram(), install + "OrvalisP.exe", 0755);
    SetModificationTime(install + "OrvalisP.exe", LocalTime(2026, 3, 10, 9));
    WriteFile(install + "lisezmoi.txt", "ancienne version\n");
  }
  // Nothing but the old version and the clients' log: no archive, no file half written.
  void ExpectTheOldVersionAlone() {
    EXPECT_TRUE(ReadFile(install + "OrvalisP.exe") == ReadFile(OldClientProgram()));
    EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "ancienne version\n");
    EXPECT_EQ(FilesIn(install), (std::vector<std::string>{"OrvalisP.exe", "client-starts.log", "lisezmoi.txt"}));
  }

  void TearDown() override {
    form.reset();
    processes.EndAll();
  }

  // What the stand-in host answers: the next queued reply for the path, else its standing one.
  ScriptedReply ReplyTo(const RecordedRequest& request) {
    std::lock_guard lock(mutex);
    auto& queued = once[request.target];
    if (!queued.empty()) {
      ScriptedReply reply = queued.front();
      queued.pop_front();
      return reply;
    }
    auto standing = always.find(request.target);
    return standing != always.end() ? standing->second : Status(404, "Not Found");
  }
  void Serve(const std::string& path, ScriptedReply reply) {
    std::lock_guard lock(mutex);
    always[path] = std::move(reply);
  }
  void ServeOnce(const std::string& path, ScriptedReply reply) {
    std::lock_guard lock(mutex);
    once[path].push_back(std::move(reply));
  }

  // The update archive: the new client dated 12/03/2026 and a data file, in the order given.
  std::string MakeArchive(std::vector<std::string> zipOptions = {},
                          std::vector<std::string> items = {"OrvalisP.exe", "lisezmoi.txt"}) {
    CopyFile(NewClientProgram(), work + "OrvalisP.exe", 0755);
    WriteFile(work + "lisezmoi.txt", "nouvelle version\n");
    SetModificationTime(work + "OrvalisP.exe", LocalTime(2026, 3, 12, 8));
    SetModificationTime(work + "lisezmoi.txt", LocalTime(2026, 3, 12, 8));
    std::vector<std::string> argv = {"zip", "-q", "-X"};
    argv.insert(argv.end(), zipOptions.begin(), zipOptions.end());
    argv.push_back("OrvalisP.zip");
    argv.insert(argv.end(), items.begin(), items.end());
    EXPECT_EQ(RunProgram(argv, work), 0);
    std::string bytes = ReadFile(work + "OrvalisP.zip");
    ::unlink((work + "OrvalisP.zip").c_str());
    return bytes;
  }

  TForm1& Form(std::string updateHost = {}) {
    if (updateHost.empty()) updateHost = host.HostAndPort();
    form = std::make_unique<TForm1>(nullptr, TUpdaterPlace{install, updateHost});
    form->FinishCreation();
    form->Show();
    return *form;
  }
  void Press() { form->BitBtn1->UserClick(); }

  // An update archive made by Python's zipfile, which stores each entry's Unix mode as given
  // (a link is an entry of mode 0120777 whose data is its target), dated like MakeArchive's.
  struct Entry {
    std::string name;
    std::string data;
    unsigned mode;
  };
  static Entry Link(std::string name, std::string target) { return {std::move(name), std::move(target), 0120777}; }
  std::string PythonArchive(const std::vector<Entry>& entries) {
    std::string script =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for i in range(2, len(sys.argv), 3):\n"
        "        info = zipfile.ZipInfo(sys.argv[i], (2026, 3, 12, 8, 0, 0))\n"
        "        info.create_system = 3\n"
        "        info.external_attr = int(sys.argv[i + 2], 8) << 16\n"
        "        info.compress_type = zipfile.ZIP_DEFLATED\n"
        "        z.writestr(info, open(sys.argv[i + 1], 'rb').read())\n";
    std::vector<std::string> argv = {"python3", "-c", script, work + "python.zip"};
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string data = work + "entry" + std::to_string(i);
      WriteFile(data, entries[i].data);
      char mode[16];
      std::snprintf(mode, sizeof mode, "%o", entries[i].mode);
      argv.insert(argv.end(), {entries[i].name, data, mode});
    }
    EXPECT_EQ(RunProgram(argv, work), 0);
    std::string bytes = ReadFile(work + "python.zip");
    ::unlink((work + "python.zip").c_str());
    return bytes;
  }

  // Starts a client from the installation folder and waits until it is up.
  pid_t StartClient() {
    const std::size_t before = ClientStarts(install).size();
    const pid_t pid = Spawn(install + "OrvalisP.exe");
    EXPECT_EQ(WaitForClientStarts(install, before + 1, 5s).size(), before + 1);
    return pid;
  }

  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const auto& request : host.Requests()) targets.push_back(request.target);
    return targets;
  }
  // For every message box, whether a client started from the installation folder (the
  // `expectedStarts`th start of the log) is running while the box waits for the user.
  void NoteTheClientAtEachBox(std::size_t expectedStarts) {
    dialogs.OnMessage = [this, expectedStarts](const forms::MessageRequest&) -> std::optional<forms::TModalResult> {
      const auto starts = WaitForClientStarts(install, expectedStarts, 10s);
      clientUpAtBox.push_back(starts.size() >= expectedStarts && Running(starts.back().pid));
      return std::nullopt;
    };
  }
  std::vector<bool> clientUpAtBox;

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& message : dialogs.Messages()) texts.push_back(message.Text);
    return texts;
  }

  TempFolder temp;
  const std::string install = temp.Path() + "install/";
  const std::string work = temp.Path() + "work/";
  OwnProcesses processes{temp.Path()};
  NoSleep sleeps;
  forms::ScriptedDialogs dialogs;
  http::stand_in::Server host;
  std::mutex mutex;
  std::map<std::string, std::deque<ScriptedReply>> once;
  std::map<std::string, ScriptedReply> always;
  std::unique_ptr<TForm1> form;
};

TEST_F(UpdateRun, WindowComesUpWithItsTexts) {
  CopyFile(UPDATER_LOGO, install + "Update.png", 0644);
  TForm1& f = Form();
  EXPECT_FALSE(f.Image1->Empty());
  EXPECT_EQ(f.Caption(), "Mise à jour Orvalis Pulse");
  EXPECT_EQ(f.Label2->Caption(), "Mise à jour Orvalis Pulse");
  EXPECT_EQ(f.BitBtn1->Hint(), "Recherchez maintenant une nouvelle version de Orvalis Pulse");
  EXPECT_EQ(f.Label1->Caption(),
            "Pour rechercher une nouvelle version de Orvalis Pulse\r"
            "Veuillez cliquer sur le bouton \"Mise à jour\".");
  EXPECT_EQ(f.UpdateZipPath, install + "OrvalisP.zip");
  EXPECT_EQ(f.UpdatePageUrl, "http://" + host.HostAndPort() + kPagePath);
  EXPECT_EQ(f.DownloadUrl, "http://" + host.HostAndPort() + kArchivePath);
  EXPECT_TRUE(f.BitBtn1->Enabled());
  EXPECT_TRUE(f.ZipArchiver1->Options().FlushBuffers);  // an installed update survives a power cut
  EXPECT_TRUE(host.Requests().empty());  // nothing happens before the button is pressed
}

TEST_F(UpdateRun, EveryStatusTextStaysWithinTheWindowAboveTheProgressBar) {
  TForm1& f = Form();
  for (const std::string& text : {kNoNewVersion, kClientMissing, kNotDownloaded, kNotInstalled,
                                  CheckFailed("Connection timed out (Error #110)"),
                                  CheckFailed("Service Unavailable"),
                                  std::string("La mise à jour de Orvalis Pulse n'a pas pu être installée entièrement.\r"
                                              "Orvalis Pulse a été redémarré."),
                                  "La mise à jour de Orvalis Pulse n'a pas pu être installée entièrement.\r" + kNotRestarted,
                                  "La mise à jour de Orvalis Pulse n'a pas pu être téléchargée.\r" + kNotRestarted,
                                  "La mise à jour de Orvalis Pulse est installée.\r" + kNotRestarted}) {
    SCOPED_TRACE(text);
    f.Label1->SetCaption(text);
    EXPECT_LE(f.Label1->Left() + f.Label1->Width(), f.Image1->Left()) << "the logo stays clear";
    EXPECT_LE(f.Label1->Top() + f.Label1->Height(), f.ProgressBar->Top());
  }
  EXPECT_LE(f.BitBtn1->Top() + f.BitBtn1->Height(), f.ClientHeight());
}

TEST_F(UpdateRun, LaterPageReplacesAndRestartsTheClient) {
  const std::string archive = MakeArchive();
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(archive));
  const pid_t client = StartClient();
  Form();

  Press();

  EXPECT_TRUE(WaitKilled(client, 5s)) << "the running client was not ended";
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, "new");
  EXPECT_TRUE(Running(starts[1].pid));
  EXPECT_TRUE(IsExecutable(install + "OrvalisP.exe"));
  EXPECT_TRUE(ReadFile(install + "OrvalisP.exe") == ReadFile(NewClientProgram()));
  EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "nouvelle version\n");
  EXPECT_FALSE(Exists(install + "OrvalisP.zip"));

  EXPECT_EQ(Targets(), (std::vector<std::string>{kPagePath, kArchivePath}));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kInstalled});
  EXPECT_EQ(form->Label1->Caption(), "Mise à jour de Orvalis Pulse terminée.");
  EXPECT_EQ(sleeps.Asked(), (std::vector<unsigned>{300, 300}));
  EXPECT_TRUE(form->BitBtn1->Enabled());
  EXPECT_FALSE(form->Visible()) << "the window closes once the final message is dismissed";
  // The bar counted the archive's bytes, then each file's progress up to its end.
  EXPECT_EQ(form->ProgressBar->Max(), static_cast<int>(archive.size()));
  EXPECT_EQ(form->ProgressBar->Position(), 100);
  // The extracted client keeps the archive's date, which is the page's: the next check settles.
  EXPECT_EQ(ModificationTime(install + "OrvalisP.exe"), LocalTime(2026, 3, 12, 8));
}

TEST_F(UpdateRun, BothRequestsCarryTheUpdaterHeaders) {
  ScriptedReply page = Ok("10/03/2026\r\n");
  page.headers = {{"Set-Cookie", "visite=42; Path=/"}};
  ServeOnce(kPagePath, page);
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(MakeArchive()));
  Form();

  Press();  // same day: the page alone
  Press();  // later: the page, then the archive

  const auto requests = host.Requests();
  ASSERT_EQ(requests.size(), 3u);
  const std::vector<std::string> common = {
      "Host: " + host.HostAndPort(),
      "Accept: text/html, */*",
      "Content-Type: text/html",
      "User-Agent: Mozilla/3.0 (compatible; Indy Library)",
  };
  EXPECT_EQ(requests[0].request_line, "GET /orvalisP/update.html HTTP/1.0");
  EXPECT_EQ(requests[0].header_lines, common);
  // The cookie the host set comes back with the later requests, and nothing else is added.
  auto withoutCookie = [](std::vector<std::string> lines) {
    std::erase(lines, std::string("Cookie: visite=42"));
    return lines;
  };
  for (std::size_t i : {1u, 2u}) {
    const auto& lines = requests[i].header_lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Cookie: visite=42"), 1) << i;
    EXPECT_EQ(withoutCookie(lines), common) << i;
  }
  EXPECT_EQ(requests[1].request_line, "GET /orvalisP/update.html HTTP/1.0");
  EXPECT_EQ(requests[2].request_line, "GET /rv/OrvalisP.zip HTTP/1.0");
}

// Runs that find nothing newer, or cannot tell and say why: the client is left alone.
struct NoUpdateCase {
  const char* name;
  std::optional<ScriptedReply> page;  // none: the host cannot be reached
  std::string label;
  bool buttonEnabled;
  std::optional<std::string> errorBoxContains;
  std::chrono::milliseconds readTimeout{0};  // 0: the updater's own
};

ScriptedReply Stalled() {
  ScriptedReply reply;
  reply.stall = true;
  return reply;
}

class NoUpdate : public UpdateRun, public ::testing::WithParamInterface<NoUpdateCase> {};

TEST_P(NoUpdate, LeavesTheClientAlone) {
  const NoUpdateCase& c = GetParam();
  Serve(kArchivePath, Ok(MakeArchive()));
  const pid_t client = StartClient();
  if (c.page) {
    Serve(kPagePath, *c.page);
    Form();
  } else {
    Form("127.0.0.1:" + std::to_string(http::stand_in::ClosedPort()));
  }
  if (c.readTimeout.count() > 0) form->IdHTTP1.ReadTimeout = c.readTimeout;

  Press();

  EXPECT_EQ(form->Label1->Caption(), c.label);
  EXPECT_EQ(form->BitBtn1->Enabled(), c.buttonEnabled);
  if (c.errorBoxContains) {
    ASSERT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(dialogs.Messages()[0].Type, forms::mtError);
    EXPECT_NE(dialogs.Messages()[0].Text.find(*c.errorBoxContains), std::string::npos)
        << dialogs.Messages()[0].Text;
  } else {
    EXPECT_TRUE(dialogs.Messages().empty());
  }
  EXPECT_TRUE(Running(client));
  EXPECT_TRUE(processes.Terminated().empty());
  for (const auto& target : Targets()) EXPECT_EQ(target, kPagePath);
  EXPECT_FALSE(Exists(install + "OrvalisP.zip"));
  EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "ancienne version\n");
  EXPECT_EQ(form->RemoteDate, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, NoUpdate,
    ::testing::Values(
        NoUpdateCase{"UnreachableHost", std::nullopt, CheckFailed("Connection refused (Error #111)"),
                     true, std::nullopt},
        NoUpdateCase{"EmptyPage", Ok(""), kNoNewVersion, true, std::nullopt},
        NoUpdateCase{"PageOfZero", Ok("0\r\n12/03/2026\r\n"), kNoNewVersion, true, std::nullopt},
        NoUpdateCase{"PageNotFound", Status(404, "Not Found"), CheckFailed("Not Found"), true,
                     std::nullopt},
        NoUpdateCase{"PageFailsOnTheServer", Status(500, "Internal Server Error"),
                     CheckFailed("Internal Server Error"), true, std::nullopt},
        NoUpdateCase{"PageStalls", Stalled(), CheckFailed("Connection timed out (Error #110)"), true,
                     std::nullopt, 1000ms},
        NoUpdateCase{"PageNotADate", Ok("le 12 mars\r\n"),
                     "Pour rechercher une nouvelle version de Orvalis Pulse\r"
                     "Veuillez cliquer sur le bouton \"Mise à jour\".",
                     false, "le 12 mars"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateRun, PageOfTheSameDayIsNotNewer) {
  Serve(kPagePath, Ok("10/03/2026"));  // no line break at all: the whole body is the line
  const pid_t client = StartClient();
  Form();

  Press();

  EXPECT_EQ(form->Label1->Caption(), kNoNewVersion);
  EXPECT_TRUE(form->BitBtn1->Enabled());
  EXPECT_EQ(form->Label3->Caption(), "10/03/2026");
  EXPECT_EQ(form->RemoteDate, form->LocalExeDate);
  EXPECT_TRUE(Running(client));
  EXPECT_EQ(Targets(), std::vector<std::string>{kPagePath});
  EXPECT_TRUE(dialogs.Messages().empty());
}

// Whatever the page holds, reading it ends in a date, in "no answer", or in the conversion
// error; nothing else, and never a crash (the sanitizer build runs this too).
TEST_F(UpdateRun, AnyPageBytesGiveADateOrTheConversionError) {
  std::vector<std::string> pages = {
      "31/02/2026", "00/00/0000", "1/1/1", "99/99/99999999999999999999", "-1/-1/-1",
      "12/03/2026 08:00", "12-03-2026", "12/03", "/", "//", "12//2026", " 12/03/2026",
      "12/03/2026\0garbage"s, std::string("\xEF\xBB\xBF") + "12/03/2026", "\r\n12/03/2026",
      "4294967308/03/2026", "12/4294967299/2026", "12/03/18446744073709551628"};
  std::mt19937 random(20260312);
  const std::string alphabet = "0123456789//// -:.\r\n\xE9\x00"s;
  for (int i = 0; i < 150; ++i) {
    std::string page(random() % 24, ' ');
    for (char& c : page) c = alphabet[random() % alphabet.size()];
    pages.push_back(page);
  }
  Form();
  for (const std::string& page : pages) {
    Serve(kPagePath, Ok(page));
    form->RemoteDate = 0.0;
    try {
      form->Button5Click(form.get());
    } catch (const forms::EConvertError&) {
      EXPECT_EQ(form->RemoteDate, 0.0);
      continue;
    }
    if (form->RemoteDate != 0.0) {
      int year = 0, month = 0, day = 0;
      forms::DecodeDate(form->RemoteDate, year, month, day);
      EXPECT_TRUE(year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31)
          << "page " << ::testing::PrintToString(page);
    }
  }
}

TEST_F(UpdateRun, MissingClientStopsBeforeAnyRequest) {
  ::unlink((install + "OrvalisP.exe").c_str());
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Form();

  Press();

  EXPECT_EQ(form->Label1->Caption(), kClientMissing);
  EXPECT_FALSE(form->BitBtn1->Enabled());
  EXPECT_TRUE(host.Requests().empty());
  EXPECT_TRUE(dialogs.Messages().empty());
}

// Downloads that fail or stop short: nothing is extracted, the client comes back unchanged.
struct FailedDownloadCase {
  const char* name;
  std::function<ScriptedReply(const std::string& archive)> reply;
  std::string message;
  std::chrono::milliseconds readTimeout{0};  // 0: the updater's own
};

class FailedDownload : public UpdateRun, public ::testing::WithParamInterface<FailedDownloadCase> {};

TEST_P(FailedDownload, IsNeverExtracted) {
  const FailedDownloadCase& c = GetParam();
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, c.reply(MakeArchive()));
  const pid_t client = StartClient();
  Form();
  if (c.readTimeout.count() > 0) form->IdHTTP1.ReadTimeout = c.readTimeout;
  NoteTheClientAtEachBox(2);

  Press();

  EXPECT_TRUE(WaitKilled(client, 5s));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.message});
  EXPECT_EQ(clientUpAtBox, std::vector<bool>{true}) << "the old client runs again before the box";
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, "old");
  EXPECT_TRUE(IsExecutable(install + "OrvalisP.exe"));
  EXPECT_TRUE(ReadFile(install + "OrvalisP.exe") == ReadFile(OldClientProgram()));
  EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "ancienne version\n");
  EXPECT_FALSE(Exists(install + "OrvalisP.zip"));
  EXPECT_EQ(form->Label1->Caption(), kNotDownloaded);
  EXPECT_TRUE(form->BitBtn1->Enabled());
  EXPECT_TRUE(form->Visible());
  EXPECT_TRUE(sleeps.Asked().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Archives, FailedDownload,
    ::testing::Values(
        FailedDownloadCase{"NotFound", [](const std::string&) { return Status(404, "Not Found"); },
                           "Erreur durant le téléchargement : Not Found"},
        FailedDownloadCase{"CutInTheMiddle",
                           [](const std::string& archive) {
                             ScriptedReply reply = Ok(archive);
                             reply.cut_after = archive.size() / 2;
                             return reply;
                           },
                           "Erreur durant le téléchargement : connection closed before the end of "
                           "the reply"},
        FailedDownloadCase{"ClosedWithoutReply",
                           [](const std::string&) {
                             ScriptedReply reply;
                             reply.close_without_reply = true;
                             return reply;
                           },
                           "Erreur durant le téléchargement : connection closed by the server "
                           "without a reply"},
        FailedDownloadCase{"Redirected",
                           [](const std::string&) {
                             ScriptedReply reply = Status(302, "Found");
                             reply.headers = {{"Location", "http://ailleurs.example/OrvalisP.zip"}};
                             return reply;
                           },
                           "Erreur durant le téléchargement : 302 Found"},
        FailedDownloadCase{"FallsSilentMidway",
                           [](const std::string& archive) {
                             ScriptedReply reply = Ok(archive);
                             reply.piece_size = archive.size() / 2;
                             reply.piece_delay = 30s;
                             return reply;
                           },
                           "Erreur durant le téléchargement : Connection timed out (Error #110)",
                           1000ms}),
    [](const auto& info) { return std::string(info.param.name); });

// The program itself, started as the client starts it: from its start on, a write past a
// file size limit fails with EFBIG instead of ending it by SIGXFSZ.
TEST_F(UpdateRun, TheProgramOutlivesAFileSizeLimit) {
  const std::string folder = temp.Path() + "updater/";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  CopyFile(UPDATER_PROGRAM, folder + "Update.exe", 0755);
  const pid_t updater = Spawn(folder + "Update.exe");

  EXPECT_TRUE(WaitUntilIgnored(updater, SIGXFSZ, 10s));
  ::kill(updater, SIGKILL);
  EXPECT_TRUE(WaitKilled(updater, 5s));
}

// Writes that fail on the way (a file size limit, a full disk): the run ends as any failed
// one, the client back and running, the box saying what the system said, nothing half
// written left behind.
class FailedWrite : public UpdateRun {
 protected:
  // The update archive with a big data file first: its bytes compress to almost nothing, so the
  // archive stays small while the file does not fit.
  std::string ArchiveWithABigFile(std::uint64_t bigFileSize) {
    WriteFile(work + "donnees.bin", std::string(bigFileSize, '\0'));
    return MakeArchive({}, {"donnees.bin", "lisezmoi.txt", "OrvalisP.exe"});
  }
  void ExpectTheOldClientBack(pid_t ended) {
    EXPECT_TRUE(WaitKilled(ended, 5s));
    const auto starts = WaitForClientStarts(install, 2, 10s);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1].version, "old");
    EXPECT_TRUE(Running(starts[1].pid));
    EXPECT_TRUE(form->BitBtn1->Enabled());
  }
  // The download fails: the old client runs again before the box says why.
  void ExpectAFailedDownload(pid_t ended, int error) {
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Erreur d'écriture dans le fichier " + install +
                                                       "OrvalisP.zip : " + std::strerror(error)});
    EXPECT_EQ(clientUpAtBox, std::vector<bool>{true});
    EXPECT_EQ(form->Label1->Caption(), kNotDownloaded);
    ExpectTheOldClientBack(ended);
  }
  // The extraction fails on the big file: the engine's failure box, which names the file and the
  // system's reason, answered "Abort", then the run's own box once the old client runs again.
  void ExpectAFailedExtraction(pid_t ended, int error) {
    const auto texts = MessageTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("File processing error"), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find("Cannot write \"" + install), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find(std::string(": ") + std::strerror(error)), std::string::npos) << texts[0];
    EXPECT_EQ(texts[1], kNotInstalledWhole);
    EXPECT_EQ(form->Label1->Caption(),
              "La mise à jour de Orvalis Pulse n'a pas pu être installée entièrement.\r"
              "Orvalis Pulse a été redémarré.");
    ExpectTheOldClientBack(ended);
  }
};

TEST_F(FailedWrite, DownloadPastTheFileSizeLimit) {
  const std::string archive = MakeArchive();
  const std::uint64_t limit = archive.size() / 2;
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(archive));
  const pid_t client = StartClient();
  Form();
  NoteTheClientAtEachBox(2);

  {
    FileSizeLimit underLimit(limit);
    Press();
  }

  ExpectAFailedDownload(client, EFBIG);
  ExpectTheOldVersionAlone();
}

TEST_F(FailedWrite, ExtractionPastTheFileSizeLimit) {
  const std::uint64_t limit = 2 * ReadFile(NewClientProgram()).size();
  const std::string archive = ArchiveWithABigFile(4 * limit);
  ASSERT_LT(archive.size(), limit) << "the archive itself fits";
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(archive));
  dialogs.AnswerMessage(forms::mrAbort);
  const pid_t client = StartClient();
  Form();

  {
    FileSizeLimit underLimit(limit);
    Press();
  }

  ExpectAFailedExtraction(client, EFBIG);
  ExpectTheOldVersionAlone();
}

// The installation folder on a small file system of its own, filled up to what the test leaves.
class FullDisk : public FailedWrite {
 protected:
  // Mounts it over the installation folder and installs the old version there again.
  bool MountAndInstall(std::uint64_t bytes) {
    disk = std::make_unique<SmallFileSystem>(install, bytes);
    if (!disk->Mounted()) return false;
    Install();
    return true;
  }
  void ExpectTheOldVersionAndTheFiller() {
    ::unlink((install + "remplissage").c_str());
    ExpectTheOldVersionAlone();
  }
  std::unique_ptr<SmallFileSystem> disk;
};

TEST_F(FullDisk, DuringTheDownload) {
  const std::string archive = MakeArchive();
  if (!MountAndInstall(4 * (ReadFile(OldClientProgram()).size() + archive.size())))
    GTEST_SKIP() << "a tmpfs cannot be mounted here (mounting needs root)";
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(archive));
  const pid_t client = StartClient();
  disk->LeaveFree(archive.size() / 2);
  Form();
  NoteTheClientAtEachBox(2);

  Press();

  ExpectAFailedDownload(client, ENOSPC);
  ExpectTheOldVersionAndTheFiller();
}

TEST_F(FullDisk, DuringTheExtraction) {
  const std::uint64_t room = 2 * ReadFile(NewClientProgram()).size();
  const std::string archive = ArchiveWithABigFile(4 * room);
  ASSERT_LT(archive.size(), room) << "the archive itself fits";
  if (!MountAndInstall(4 * (ReadFile(OldClientProgram()).size() + room)))
    GTEST_SKIP() << "a tmpfs cannot be mounted here (mounting needs root)";
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(archive));
  dialogs.AnswerMessage(forms::mrAbort);
  const pid_t client = StartClient();
  disk->LeaveFree(room);
  Form();

  Press();

  ExpectAFailedExtraction(client, ENOSPC);
  ExpectTheOldVersionAndTheFiller();
}

TEST_F(UpdateRun, ArchiveFileThatCannotBeCreatedBringsTheClientBack) {
  ASSERT_EQ(::mkdir((install + "OrvalisP.zip").c_str(), 0755), 0);  // a folder in its place
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(MakeArchive()));
  const pid_t client = StartClient();
  Form();
  NoteTheClientAtEachBox(2);

  Press();

  EXPECT_EQ(clientUpAtBox, std::vector<bool>{true});
  EXPECT_TRUE(WaitKilled(client, 5s));
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].Type, forms::mtError);
  EXPECT_EQ(dialogs.Messages()[0].Text, "Impossible de créer le fichier " + install + "OrvalisP.zip.");
  EXPECT_EQ(Targets(), std::vector<std::string>{kPagePath});
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, "old");
  EXPECT_EQ(form->Label1->Caption(), kNotDownloaded);
  EXPECT_FALSE(form->BitBtn1->Enabled());
}

TEST_F(UpdateRun, SecondPressComparesTheRememberedPageDate) {
  ServeOnce(kPagePath, Ok("12/03/2026\r\n"));
  ServeOnce(kArchivePath, Status(404, "Not Found"));
  Serve(kPagePath, Status(503, "Service Unavailable"));
  Serve(kArchivePath, Ok(MakeArchive()));
  Form();

  Press();  // newer page, archive missing: nothing installed, the button comes back
  ASSERT_EQ(form->Label1->Caption(), kNotDownloaded);
  ASSERT_TRUE(form->BitBtn1->Enabled());
  ASSERT_EQ(WaitForClientStarts(install, 1, 10s).size(), 1u);  // the client is back
  Press();  // the page fails now, but its date from the first press is still newer

  EXPECT_EQ(Targets(), (std::vector<std::string>{kPagePath, kArchivePath, kPagePath, kArchivePath}));
  EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "nouvelle version\n");
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"Erreur durant le téléchargement : Not Found", kInstalled}));
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].version, "old");
  EXPECT_EQ(starts[1].version, "new");
}

TEST_F(UpdateRun, OnlyTheFirstOfTwoClientsIsEnded) {
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(MakeArchive()));
  const pid_t a = StartClient();
  const pid_t b = StartClient();
  const auto listed = processes.Snapshot();
  ASSERT_EQ(listed.size(), 2u);
  const pid_t first = listed[0].pid;
  const pid_t second = listed[1].pid;
  ASSERT_TRUE((first == a && second == b) || (first == b && second == a));
  Form();

  Press();

  EXPECT_EQ(processes.Terminated(), std::vector<pid_t>{first});
  EXPECT_TRUE(WaitKilled(first, 5s));
  EXPECT_TRUE(Running(second));
  const auto starts = WaitForClientStarts(install, 3, 10s);
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[2].version, "new");
}

// A client of the same name runs from another folder, started first so that it comes first
// in the process list: it is not the one being replaced and keeps running.
TEST_F(UpdateRun, AClientOfAnotherFolderIsLeftRunning) {
  const std::string elsewhere = temp.Path() + "ailleurs/";
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0755), 0);
  CopyFile(OldClientProgram(), elsewhere + "OrvalisP.exe", 0755);
  const pid_t theirs = Spawn(elsewhere + "OrvalisP.exe");
  ASSERT_EQ(WaitForClientStarts(elsewhere, 1, 5s).size(), 1u);
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(MakeArchive()));
  const pid_t ours = StartClient();
  Form();

  Press();

  EXPECT_EQ(processes.Terminated(), std::vector<pid_t>{ours});
  EXPECT_TRUE(WaitKilled(ours, 5s));
  EXPECT_TRUE(Running(theirs));
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, "new");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kInstalled});
}

TEST_F(UpdateRun, EncryptedItemsTakeThePasswordAskedFor) {
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(MakeArchive({"-P", "s3cret"})));
  dialogs.AnswerInput(true, "s3cret");
  const pid_t client = StartClient();
  Form();

  Press();

  ASSERT_EQ(dialogs.Inputs().size(), 1u) << "one question; the answer serves the next item too";
  EXPECT_EQ(dialogs.Inputs()[0].Caption, "Password for \"OrvalisP.exe\"");
  EXPECT_EQ(dialogs.Inputs()[0].Prompt, "Enter password: ");
  EXPECT_TRUE(WaitKilled(client, 5s));
  EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "nouvelle version\n");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kInstalled});
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, "new");
}

TEST_F(UpdateRun, PasswordRefusedIsNoInstalledUpdate) {
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(MakeArchive({"-P", "s3cret"})));
  dialogs.AnswerInput(false);
  dialogs.AnswerInput(false);
  StartClient();
  Form();

  Press();

  EXPECT_TRUE(ReadFile(install + "OrvalisP.exe") == ReadFile(OldClientProgram()));
  EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "ancienne version\n");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kNotInstalledWhole});
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, "old");
  EXPECT_TRUE(form->BitBtn1->Enabled());
  EXPECT_TRUE(form->Visible());
}

// An item that cannot be written (a folder stands in its way): the engine asks what to do;
// whatever the answer, the run says so and the client is started again.
struct FailedItemCase {
  const char* name;
  forms::TModalResult answer;
  const char* restartedVersion;
};

class FailedItem : public UpdateRun, public ::testing::WithParamInterface<FailedItemCase> {};

TEST_P(FailedItem, IsReportedAndTheClientStillComesBack) {
  const FailedItemCase& c = GetParam();
  // The data file comes first in the archive, so an abort leaves the client's file untouched.
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(MakeArchive({}, {"lisezmoi.txt", "OrvalisP.exe"})));
  ::unlink((install + "lisezmoi.txt").c_str());
  ASSERT_EQ(::mkdir((install + "lisezmoi.txt").c_str(), 0755), 0);
  WriteFile(install + "lisezmoi.txt/garde.txt", "occupé\n");
  dialogs.AnswerMessage(c.answer);
  StartClient();
  Form();

  Press();

  const auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find("File processing error"), std::string::npos) << texts[0];
  EXPECT_EQ(dialogs.Messages()[0].Buttons, forms::mbAbortRetryIgnore);
  EXPECT_EQ(texts[1], kNotInstalledWhole);
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, c.restartedVersion);
  EXPECT_TRUE(IsExecutable(install + "OrvalisP.exe"));
  EXPECT_FALSE(Exists(install + "OrvalisP.zip"));
  EXPECT_TRUE(form->BitBtn1->Enabled());
}

INSTANTIATE_TEST_SUITE_P(Answers, FailedItem,
                         ::testing::Values(FailedItemCase{"Ignore", forms::mrIgnore, "new"},
                                           FailedItemCase{"Abort", forms::mrAbort, "old"}),
                         [](const auto& info) { return std::string(info.param.name); });

// An archive cut inside the client's data but served as a whole reply is never installed as a whole
// update: the engine says that the archive is damaged before any item; an Abort there leaves the
// installation as it was, an Ignore takes what is whole and fails the cut item.
class DamagedArchive : public UpdateRun, public ::testing::WithParamInterface<FailedItemCase> {};

TEST_P(DamagedArchive, IsNoInstalledUpdate) {
  const FailedItemCase& c = GetParam();
  std::string archive = MakeArchive({}, {"lisezmoi.txt", "OrvalisP.exe"});
  archive.resize(archive.size() * 6 / 10);
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(archive));
  dialogs.AnswerMessage(c.answer);
  dialogs.AnswerMessage(c.answer);
  StartClient();
  Form();

  Press();

  const auto texts = MessageTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_NE(texts[0].find("Archive is damaged"), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find("Native error: 00083"), std::string::npos) << texts[0];
  EXPECT_EQ(dialogs.Messages()[0].Buttons, forms::mbAbortRetryIgnore);
  if (c.answer == forms::mrIgnore) {
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[1].find("\"OrvalisP.exe\" is incomplete"), std::string::npos) << texts[1];
    EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "nouvelle version\n");
  } else {
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "ancienne version\n");
  }
  EXPECT_EQ(texts.back(), kNotInstalledWhole);
  EXPECT_TRUE(ReadFile(install + "OrvalisP.exe") == ReadFile(OldClientProgram()));
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, c.restartedVersion);
  EXPECT_TRUE(form->BitBtn1->Enabled());
}

INSTANTIATE_TEST_SUITE_P(Answers, DamagedArchive,
                         ::testing::Values(FailedItemCase{"Ignore", forms::mrIgnore, "old"},
                                           FailedItemCase{"Abort", forms::mrAbort, "old"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A client that cannot be started again (an archive that gives it mode 0644, or no program at
// all; an installed client left without its execute permission) is told as such, with the reason,
// wherever the run restarts it: never "redémarré", never handed to the desktop's opener.
struct NotStartedCase {
  const char* name;
  enum { Update0644, UpdateNoProgram, DataFileBlocked, NotFound, NoZip, ArchiveNotCreated } run;
  std::string status;
  std::vector<std::string> boxes;  // each box's text, or for one of the engine's a part of it
};

class NotStarted : public UpdateRun, public ::testing::WithParamInterface<NotStartedCase> {
 protected:
  void SetUp() override {
    UpdateRun::SetUp();
    // A desktop opener that would only leave a mark, in case anything reached one.
    ASSERT_EQ(::mkdir((temp.Path() + "bin").c_str(), 0755), 0);
    WriteFile(temp.Path() + "bin/xdg-open", "#!/bin/sh\necho \"$*\" >> " + temp.Path() + "opened.log\n");
    ASSERT_EQ(::chmod((temp.Path() + "bin/xdg-open").c_str(), 0755), 0);
    const char* path = std::getenv("PATH");
    savedPath = path ? path : "";
    ::setenv("PATH", (temp.Path() + "bin:/usr/bin:/bin").c_str(), 1);
  }
  void TearDown() override {
    ::setenv("PATH", savedPath.c_str(), 1);
    UpdateRun::TearDown();
  }
  std::string savedPath;
};

TEST_P(NotStarted, IsToldWithTheReason) {
  const NotStartedCase& c = GetParam();
  const std::string newClient = ReadFile(NewClientProgram());
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  switch (c.run) {
    case NotStartedCase::Update0644:
      Serve(kArchivePath, Ok(PythonArchive({{"OrvalisP.exe", newClient, 0100644},
                                            {"lisezmoi.txt", "nouvelle version\n", 0100644}})));
      break;
    case NotStartedCase::UpdateNoProgram:
      Serve(kArchivePath, Ok(PythonArchive({{"OrvalisP.exe", "pas un programme\n", 0100755}})));
      break;
    case NotStartedCase::DataFileBlocked:
      Serve(kArchivePath, Ok(PythonArchive({{"OrvalisP.exe", newClient, 0100644},
                                            {"lisezmoi.txt", "nouvelle version\n", 0100644}})));
      ::unlink((install + "lisezmoi.txt").c_str());
      ASSERT_EQ(::mkdir((install + "lisezmoi.txt").c_str(), 0755), 0);
      WriteFile(install + "lisezmoi.txt/garde.txt", "occupé\n");
      dialogs.AnswerMessage(forms::mrIgnore);
      break;
    case NotStartedCase::NotFound:
    case NotStartedCase::NoZip:
    case NotStartedCase::ArchiveNotCreated:
      ASSERT_EQ(::chmod((install + "OrvalisP.exe").c_str(), 0644), 0);
      if (c.run == NotStartedCase::NotFound) Serve(kArchivePath, Status(404, "Not Found"));
      if (c.run == NotStartedCase::NoZip) Serve(kArchivePath, Ok("<html>Maintenance en cours</html>"));
      if (c.run == NotStartedCase::ArchiveNotCreated) {
        ASSERT_EQ(::mkdir((install + "OrvalisP.zip").c_str(), 0755), 0);
        Serve(kArchivePath, Ok(MakeArchive()));
      }
      break;
  }
  Form();

  Press();

  EXPECT_EQ(form->Label1->Caption(), c.status);
  const auto messages = dialogs.Messages();
  ASSERT_EQ(messages.size(), c.boxes.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (c.boxes[i].starts_with("La mise à jour") || c.boxes[i].starts_with("Orvalis Pulse") ||
        c.boxes[i].starts_with("Erreur")) {
      EXPECT_EQ(messages[i].Text, c.boxes[i]);  // the updater's own texts, whole
    } else {
      EXPECT_NE(messages[i].Text.find(c.boxes[i]), std::string::npos) << messages[i].Text;
    }
  }
  EXPECT_TRUE(form->Visible()) << "the window stays to tell it";
  // The start was refused before anything ran: no client from the folder, none logged.
  EXPECT_TRUE(processes.Snapshot().empty());
  EXPECT_TRUE(ClientStarts(install).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, NotStarted,
    ::testing::Values(
        NotStartedCase{"UpdateGivesTheClientMode0644", NotStartedCase::Update0644,
                       "La mise à jour de Orvalis Pulse est installée.\r" + kNotRestarted,
                       {"La mise à jour de Orvalis Pulse est terminée et installée.\r\n" + kNotExecutable}},
        NotStartedCase{"UpdateGivesNoProgram", NotStartedCase::UpdateNoProgram,
                       "La mise à jour de Orvalis Pulse est installée.\r" + kNotRestarted,
                       {"La mise à jour de Orvalis Pulse est terminée et installée.\r\n"
                        "Orvalis Pulse n'a pas pu être redémarré : " + std::string(std::strerror(ENOEXEC)) + "."}},
        NotStartedCase{"AnItemFailsAfterTheClient0644", NotStartedCase::DataFileBlocked,
                       "La mise à jour de Orvalis Pulse n'a pas pu être installée entièrement.\r" + kNotRestarted,
                       {"File processing error",
                        "La mise à jour de Orvalis Pulse n'a pas pu être installée entièrement.\r\n" + kNotExecutable}},
        NotStartedCase{"DownloadFailsOverAClient0644", NotStartedCase::NotFound,
                       "La mise à jour de Orvalis Pulse n'a pas pu être téléchargée.\r" + kNotRestarted,
                       {"Erreur durant le téléchargement : Not Found", kNotExecutable}},
        NotStartedCase{"ArchiveIsNoZipOverAClient0644", NotStartedCase::NoZip,
                       "La mise à jour de Orvalis Pulse n'a pas pu être installée.\r" + kNotRestarted,
                       {kNotExecutable, "Native error: 00035"}},
        NotStartedCase{"ArchiveNotCreatedOverAClient0644", NotStartedCase::ArchiveNotCreated,
                       "La mise à jour de Orvalis Pulse n'a pas pu être téléchargée.\r" + kNotRestarted,
                       {kNotExecutable, "Impossible de créer le fichier " + std::string()}}),
    [](const auto& info) { return std::string(info.param.name); });

// Links in the update archive that would make OrvalisP.exe lead to a program outside the
// folder through a link already there (sub/bar, placed by someone else): through a folder link
// the archive makes after it, or directly. The link is refused and nothing outside is started.
struct OutsideLinkCase {
  const char* name;
  bool barIsTheProgram;  // sub/bar leads to the outside program itself, else to its folder
  std::vector<std::pair<std::string, std::string>> links;  // in archive order: name, target
};

class OutsideLink : public UpdateRun, public ::testing::WithParamInterface<OutsideLinkCase> {};

TEST_P(OutsideLink, IsRefusedAndNothingOutsideStarts) {
  const OutsideLinkCase& c = GetParam();
  const std::string outside = temp.Path() + "dehors/";
  ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
  CopyFile(NewClientProgram(), outside + "OrvalisP.exe", 0755);
  ASSERT_EQ(::mkdir((install + "sub").c_str(), 0755), 0);
  const std::string bar = c.barIsTheProgram ? outside + "OrvalisP.exe" : outside;
  ASSERT_EQ(::symlink(bar.c_str(), (install + "sub/bar").c_str()), 0);
  std::vector<Entry> entries;
  for (const auto& [name, target] : c.links) entries.push_back(Link(name, target));
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(PythonArchive(entries)));
  for (int i = 0; i < 4; ++i) dialogs.AnswerMessage(forms::mrIgnore);
  StartClient();
  Form();

  Press();

  struct stat program {};
  ASSERT_EQ(::stat((outside + "OrvalisP.exe").c_str(), &program), 0);
  for (const auto& entry : processes.Snapshot()) {
    EXPECT_FALSE(entry.exeKnown && entry.exeDevice == program.st_dev && entry.exeInode == program.st_ino)
        << "the program outside runs as " << entry.pid;
  }
  char resolved[PATH_MAX];
  if (::realpath((install + "OrvalisP.exe").c_str(), resolved) != nullptr) {
    EXPECT_TRUE(std::string(resolved).starts_with(install)) << "OrvalisP.exe leads to " << resolved;
  }
  const auto texts = MessageTexts();
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                          [](const std::string& t) { return t.find("Native error: 00079") != std::string::npos; }))
      << "no link was refused";
  EXPECT_EQ(std::count(texts.begin(), texts.end(), kInstalled), 0);
  ASSERT_FALSE(texts.empty());
  EXPECT_TRUE(texts.back().starts_with("La mise à jour de Orvalis Pulse n'a pas pu être installée entièrement.\r\n"))
      << texts.back();
}

INSTANTIATE_TEST_SUITE_P(
    Links, OutsideLink,
    ::testing::Values(
        OutsideLinkCase{"ThroughAFolderLinkMadeAfter", true, {{"OrvalisP.exe", "foo/bar"}, {"foo", "sub"}}},
        OutsideLinkCase{"IntoTheOutsideFolderThroughAFolderLinkMadeAfter",
                        false,
                        {{"OrvalisP.exe", "foo/bar/OrvalisP.exe"}, {"foo", "sub"}}},
        OutsideLinkCase{"Direct", true, {{"OrvalisP.exe", "sub/bar"}}},
        OutsideLinkCase{"IntoTheOutsideFolderDirect", false, {{"OrvalisP.exe", "sub/bar/OrvalisP.exe"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateRun, ArchiveThatIsNoZipShowsTheEngineMessage) {
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok("<html><body>Maintenance en cours</body></html>"));
  StartClient();
  Form();
  NoteTheClientAtEachBox(2);

  Press();

  EXPECT_EQ(clientUpAtBox, std::vector<bool>{true});
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].Type, forms::mtError);
  EXPECT_NE(dialogs.Messages()[0].Text.find("Native error: 00035"), std::string::npos)
      << dialogs.Messages()[0].Text;
  EXPECT_EQ(form->Label1->Caption(), kNotInstalled);
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, "old");
  EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "ancienne version\n");
  EXPECT_TRUE(Exists(install + "OrvalisP.zip"));  // kept, as after any extraction error
  EXPECT_FALSE(form->BitBtn1->Enabled());
}

TEST_F(UpdateRun, ArchiveNamesThatClimbOutWriteNothingOutside) {
  // Made with Python's zipfile, which stores the names as given.
  const std::string script =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
      "    z.writestr('../dehors.txt', 'x')\n"
      "    z.writestr('sous/../../dehors2.txt', 'x')\n"
      "    z.writestr('/tmp/absolu-orvalis.txt', 'x')\n"
      "    z.writestr('lisezmoi.txt', 'nouvelle version\\n')\n";
  ASSERT_EQ(RunProgram({"python3", "-c", script, work + "hostile.zip"}, work), 0);
  Serve(kPagePath, Ok("12/03/2026\r\n"));
  Serve(kArchivePath, Ok(ReadFile(work + "hostile.zip")));
  for (int i = 0; i < 3; ++i) dialogs.AnswerMessage(forms::mrIgnore);
  StartClient();
  Form();

  Press();

  EXPECT_FALSE(Exists(temp.Path() + "dehors.txt"));
  EXPECT_FALSE(Exists(temp.Path() + "dehors2.txt"));
  EXPECT_FALSE(Exists("/tmp/absolu-orvalis.txt"));
  EXPECT_EQ(ReadFile(install + "lisezmoi.txt"), "nouvelle version\n");
  const auto texts = MessageTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), kNotInstalledWhole);
  const auto starts = WaitForClientStarts(install, 2, 10s);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].version, "old");
}

}  // namespace
}  // namespace updater::testing
