#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "os/desktop_registry.h"
#include "test_support.h"

namespace {

using os::RegistryRoot;
using os_test::ScopedEnv;
using os_test::TempDir;

TEST(DesktopExec, QuotingEscapesAndFieldCodesAsDesktopFilesWriteThem) {
  struct Case {
    std::string exec;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"thunderbird %u", {"thunderbird", "%u"}},
      {"  evolution   %U ", {"evolution", "%U"}},
      {"\"/opt/My Mail/mail\" --compose %u", {"/opt/My Mail/mail", "--compose", "%u"}},
      {"sh -c \"echo \\\\\"hi\\\\\" \\\\$HOME\"", {"sh", "-c", "echo \"hi\" $HOME"}},
      {"a\\sb c", {"a", "b", "c"}},
      {"\"unclosed", {"unclosed"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(os::SplitDesktopExec(c.exec), c.args) << c.exec;
}

// A desktop of our own: XDG folders in a temp folder, a mail program in a bin folder on PATH.
class DesktopRegistryTest : public ::testing::Test {
 protected:
  DesktopRegistryTest()
      : config_("XDG_CONFIG_HOME", root_ / "config"),
        configDirs_("XDG_CONFIG_DIRS", root_ / "etc"),
        data_("XDG_DATA_HOME", root_ / "data"),
        dataDirs_("XDG_DATA_DIRS", root_ / "share"),
        desktop_("XDG_CURRENT_DESKTOP", std::nullopt),
        path_("PATH", (root_ / "bin") + ":/usr/bin:/bin") {
    for (const char* d : {"config", "etc", "data/applications", "share/applications", "bin"})
      std::filesystem::create_directories(root_.path() / d);
    os_test::WriteFile(root_ / "bin/mymail", "#!/bin/sh\n", true);
  }
  void Desktop(const std::string& id, const std::string& exec, const std::string& more = "") {
    os_test::WriteFile(root_ / ("share/applications/" + id),
                       "[Desktop Entry]\nType=Application\nName=Mail\n" + more + "Exec=" + exec +
                           "\n[Desktop Action compose]\nExec=wrong %u\n");
  }
  void Default(const std::string& list, const std::string& where = "config/mimeapps.list") {
    os_test::WriteFile(root_ / where, "[Added Associations]\nx-scheme-handler/mailto=wrong.desktop\n"
                                      "[Default Applications]\ntext/html=web.desktop\n"
                                      "x-scheme-handler/mailto=" + list + "\n");
  }
  std::optional<std::string> Read(RegistryRoot root, const std::string& key) {
    return registry_.ReadDefaultValue(root, key);
  }
  TempDir root_;
  ScopedEnv config_, configDirs_, data_, dataDirs_, desktop_, path_;
  os::DesktopRegistry registry_{""};
};

TEST_F(DesktopRegistryTest, TheThreeMailKeysComeFromTheDefaultHandler) {
  Desktop("mymail.desktop", "mymail --compose %u");
  Default("gone.desktop;mymail.desktop;");
  const std::string program = root_ / "bin/mymail";
  EXPECT_EQ(Read(RegistryRoot::ClassesRoot, "\\mailto\\shell\\open\\command"),
            "\"" + program + "\" --compose \"%1\"");
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail"), "mymail");
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail\\mymail\\shell\\open\\command"),
            "\"" + program + "\" --compose");
  // Key names without regard to case, with or without the leading separator.
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "software\\clients\\MAIL"), "mymail");
  EXPECT_EQ(Read(RegistryRoot::ClassesRoot, "MailTo\\Shell\\Open\\Command"), "\"" + program + "\" --compose \"%1\"");
}

TEST_F(DesktopRegistryTest, ProgramAloneIsTheClientCommand) {
  Desktop("mymail.desktop", "mymail %U");
  Default("mymail.desktop");
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail\\mymail\\shell\\open\\command"),
            root_ / "bin/mymail");
  // A program not in PATH is kept as the entry names it.
  Desktop("mymail.desktop", "/opt/mail/bin/mail");
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail\\mymail\\shell\\open\\command"),
            "/opt/mail/bin/mail");
  EXPECT_EQ(Read(RegistryRoot::ClassesRoot, "\\mailto\\shell\\open\\command"), "\"/opt/mail/bin/mail\" \"%1\"");
}

TEST_F(DesktopRegistryTest, KeysWithoutAValue) {
  // No handler at all.
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail"), std::nullopt);
  EXPECT_EQ(Read(RegistryRoot::ClassesRoot, "\\mailto\\shell\\open\\command"), std::nullopt);
  Desktop("mymail.desktop", "mymail %u");
  Default("mymail.desktop");
  const std::pair<RegistryRoot, std::string> none[] = {
      {RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail\\other\\shell\\open\\command"},
      {RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail\\\\shell\\open\\command"},
      {RegistryRoot::ClassesRoot, "\\SOFTWARE\\Clients\\Mail"},
      {RegistryRoot::CurrentUser, "\\mailto\\shell\\open\\command"},
      {RegistryRoot::ClassesRoot, "\\http\\shell\\open\\command"},
      {RegistryRoot::LocalMachine, ""},
  };
  for (const auto& [root, key] : none) EXPECT_EQ(Read(root, key), std::nullopt) << key;
}

TEST_F(DesktopRegistryTest, ListsAreReadInTheirOrderAndUnusableEntriesSkipped) {
  Desktop("hidden.desktop", "hiddenmail %u", "Hidden=true\n");
  Desktop("noexec.desktop", "");
  Desktop("mymail.desktop", "mymail %u");
  Desktop("late.desktop", "latemail %u");
  Default("late.desktop", "share/applications/mimeapps.list");
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail"), "late");
  Default("../escape.desktop;hidden.desktop;noexec.desktop;mymail.desktop", "etc/mimeapps.list");
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail"), "mymail");
  // The desktop's own list comes before the general one.
  ScopedEnv desktop("XDG_CURRENT_DESKTOP", "X-Test:Other");
  Default("late.desktop", "etc/x-test-mimeapps.list");
  EXPECT_EQ(Read(RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail"), "late");
}

TEST_F(DesktopRegistryTest, XdgMimeAnswersWhenTheListsNameNoneAndAHangingOneIsGivenUp) {
  Desktop("mymail.desktop", "mymail %u");
  Desktop("late.desktop", "latemail %u");
  const std::string key = "\\SOFTWARE\\Clients\\Mail";
  os_test::WriteFile(root_ / "bin/fake-xdg-mime",
                     "#!/bin/sh\n[ \"$*\" = 'query default x-scheme-handler/mailto' ] && echo late.desktop\n", true);
  os::DesktopRegistry asking(root_ / "bin/fake-xdg-mime");
  EXPECT_EQ(asking.ReadDefaultValue(RegistryRoot::LocalMachine, key), "late");
  Default("mymail.desktop");
  EXPECT_EQ(asking.ReadDefaultValue(RegistryRoot::LocalMachine, key), "mymail");

  std::filesystem::remove(root_ / "config/mimeapps.list");
  os_test::WriteFile(root_ / "bin/hanging-xdg-mime", "#!/bin/sh\nexec sleep 30\n", true);
  os::DesktopRegistry hanging(root_ / "bin/hanging-xdg-mime");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(hanging.ReadDefaultValue(RegistryRoot::LocalMachine, key), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
}

}  // namespace
