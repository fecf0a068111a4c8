// The launch of the user's mail program: the text work on the registry's commands, and the
// handler through the desktop's registry with a temporary .desktop file.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "mail_program.h"
#include "os/desktop_registry.h"
#include "window_fixture.h"

namespace {

using client::MailProgram;
using client::MailProgramCommand;

}  // namespace

namespace client {
void PrintTo(const MailProgramCommand& c, std::ostream* os) { *os << "{\"" << c.file << "\", \"" << c.parameters << "\"}"; }
}  // namespace client

namespace {

std::string Env(const std::string& name) {
  if (name == "ProgramFiles") return "C:\\Program Files";
  if (name == "APPDATA") return "C:\\Users\\m\\AppData";
  if (name == "SystemRoot") return "C:\\Windows";
  return "";
}

TEST(MailProgramTest, TheClientCommandOrTheMailtoCommandWithItsVariables) {
  struct Case {
    const char* name;
    std::string mailto, client;
    MailProgramCommand expected;
  };
  const Case cases[] = {
      {"one variable", "", "%ProgramFiles%\\Outlook Express\\msimn.exe",
       {"C:\\Program Files\\Outlook Express\\msimn.exe", ""}},
      {"any case, every occurrence", "", "%ProgramFiles%\\a;%PROGRAMFILES%\\b", {"C:\\Program Files\\a;C:\\Program Files\\b", ""}},
      {"two variables", "", "%ProgramFiles%\\x.exe /p %APPDATA%\\y", {"C:\\Program Files\\x.exe /p C:\\Users\\m\\AppData\\y", ""}},
      {"a third stays", "", "%ProgramFiles%\\%APPDATA%\\%SystemRoot%",
       {"C:\\Program Files\\C:\\Users\\m\\AppData\\%SystemRoot%", ""}},
      {"an unset variable is empty", "", "%NOPE%\\mail.exe", {"\\mail.exe", ""}},
      {"no variable", "", "/usr/bin/thunderbird", {"/usr/bin/thunderbird", ""}},
      {"one percent sign alone", "", "50% mail", {"50% mail", ""}},
      {"\"existe pas\" takes the mailto route",
       "\"%ProgramFiles%\\Outlook Express\\msimn.exe\" /mailurl:%1", "La cl\xC3\xA9 n'existe pas",
       {"C:\\Program Files\\Outlook Express\\msimn.exe", "/Outlook Express"}},
      {"Mozilla Thunderbird: the later Mozilla test wins",
       "\"%ProgramFiles%\\Mozilla Thunderbird\\thunderbird.exe\" -osint -compose \"%1\"", "",
       {"C:\\Program Files\\Mozilla Thunderbird\\thunderbird.exe", "/mail"}},
      {"Thunderbird alone", "\"%ProgramFiles%\\Thunderbird\\thunderbird.exe\" \"%1\"", "",
       {"C:\\Program Files\\Thunderbird\\thunderbird.exe", "/Messenger"}},
      {"no rule: the registered arguments", "\"%ProgramFiles%\\Courrier\\c.exe\" -m \"%1\"", "",
       {"C:\\Program Files\\Courrier\\c.exe", " -m "}},
      {"Microsoft Outlook", "\"%ProgramFiles%\\Microsoft Office\\Microsoft Outlook\\o.exe\" -c \"%1\"", "",
       {"C:\\Program Files\\Microsoft Office\\Microsoft Outlook\\o.exe", "Outlook:Inbox /recycle"}},
      {"no path in quotes, no client: nothing", "mailto handler", "", {"", ""}},
      {"nothing at all", "", "", {"", ""}},
      {"a path without a variable opens that path", "\"/usr/bin/thunderbird\" -compose \"%1\"", "",
       {"/usr/bin/thunderbird", " -compose "}},
  };
  for (const Case& c : cases) EXPECT_EQ(MailProgram(c.mailto, c.client, Env), c.expected) << c.name;
}

TEST(MailProgramTest, LireVarEnvReadsTheEnvironment) {
  ::setenv("ORVALIS_TEST_VAR", "valeur", 1);
  EXPECT_EQ(client::LireVarEnv("ORVALIS_TEST_VAR"), "valeur");
  ::unsetenv("ORVALIS_TEST_VAR");
  EXPECT_EQ(client::LireVarEnv("ORVALIS_TEST_VAR"), "");
  EXPECT_EQ(client::LireVarEnv(""), "");
}

// The desktop's registry over a private XDG data folder holding one mail handler.
class MailProgramLaunchTest : public client_test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    char pattern[] = "/tmp/client-xdg-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    xdg_ = pattern;
    std::filesystem::create_directories(xdg_ / "data/applications");
    std::filesystem::create_directories(xdg_ / "config");
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",
                             "XDG_CURRENT_DESKTOP"})
      if (const char* v = std::getenv(name)) saved_.emplace_back(name, v);
    ::setenv("XDG_DATA_HOME", (xdg_ / "data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (xdg_ / "none").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (xdg_ / "config").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (xdg_ / "none").c_str(), 1);
    ::unsetenv("XDG_CURRENT_DESKTOP");
  }
  void TearDown() override {
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) ::unsetenv(name);
    for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    std::filesystem::remove_all(xdg_);
    WindowTest::TearDown();
  }
  void Handler(const std::string& exec) {
    std::ofstream(xdg_ / "data/applications/courrier.desktop")
        << "[Desktop Entry]\nType=Application\nName=Courrier\nExec=" << exec << "\n";
    std::ofstream(xdg_ / "config/mimeapps.list") << "[Default Applications]\nx-scheme-handler/mailto=courrier.desktop\n";
  }

  std::filesystem::path xdg_;
  std::vector<std::pair<std::string, std::string>> saved_;
  os::DesktopRegistry registry{""};
  os::ScopedOverride<os::Registry> useRegistry{registry};
};

TEST_F(MailProgramLaunchTest, EveryButtonStartsTheDesktopsMailHandler) {
  Handler("/opt/courrier/bin/courrier --compose %u");
  for (forms::TControl* button : {static_cast<forms::TControl*>(f->BitBtn5), static_cast<forms::TControl*>(f->BitBtn6),
                                  static_cast<forms::TControl*>(f->BitBtn11)}) {
    shell.calls.clear();
    static_cast<forms::TBitBtn*>(button)->UserClick();
    ASSERT_EQ(shell.calls.size(), 1u) << button->Name();
    EXPECT_EQ(shell.calls[0].verb, "OPEN");
    EXPECT_EQ(shell.calls[0].file, "/opt/courrier/bin/courrier");
    EXPECT_EQ(shell.calls[0].parameters, " --compose");
    EXPECT_EQ(static_cast<forms::TBitBtn*>(button)->Hint(), "Lance votre client de messagerie");
  }
  shell.calls.clear();
  f->Lancevotremessagerie1->UserClick();
  f->Button6->Click();
  EXPECT_EQ(shell.calls.size(), 2u);
}

TEST_F(MailProgramLaunchTest, AHandlerWithoutArgumentsIsOpenedByItsPathAndNoHandlerStartsNothing) {
  Handler("/opt/courrier/bin/courrier %u");
  f->Button6Click(f);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].file, "/opt/courrier/bin/courrier");
  EXPECT_EQ(shell.calls[0].parameters, "");

  std::filesystem::remove(xdg_ / "config/mimeapps.list");
  shell.calls.clear();
  f->Button6Click(f);
  EXPECT_TRUE(shell.calls.empty());
}

}  // namespace
