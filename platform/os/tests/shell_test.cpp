#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "os/shell.h"
#include "test_support.h"

namespace {

using os_test::ScopedEnv;
using os_test::TempDir;

TEST(SplitCommandLine, WindowsRules) {
  struct Case {
    std::string line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"", {}},
      {"   ", {}},
      {"/mail", {"/mail"}},
      {"Outlook:Inbox /recycle", {"Outlook:Inbox", "/recycle"}},
      {"  a\t b  ", {"a", "b"}},
      {"\"C:\\Program Files\\x.exe\" -compose", {"C:\\Program Files\\x.exe", "-compose"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"\"", {""}},
      {"say \\\"hi\\\"", {"say", "\"hi\""}},
      {"a\\\\\"b c\"", {"a\\b c"}},
      {"a\\b", {"a\\b"}},
      {"\"unclosed quote", {"unclosed quote"}},
      {"\"in \"\"quotes\"\"\"", {"in \"quotes\""}},
  };
  for (const auto& c : cases) EXPECT_EQ(os::SplitCommandLine(c.line), c.args) << c.line;
}

// A program that writes what it was given and where it runs, then stays a moment.
class ShellTest : public ::testing::Test {
 protected:
  ShellTest() {
    report_ = dir_ / "report";
    program_ = dir_ / "Update.exe";
    os_test::WriteFile(program_,
                       "#!/bin/sh\n"
                       "{\n"
                       "  for a in \"$@\"; do echo \"arg:$a\"; done\n"
                       "  echo \"pid:$$\"\n"
                       "  echo \"ppid:$(cut -d' ' -f4 /proc/$$/stat)\"\n"
                       "  echo \"sid:$(cut -d' ' -f6 /proc/$$/stat)\"\n"
                       "  echo \"cwd:$(pwd -P)\"\n"
                       "  echo \"stdin:$(readlink /proc/$$/fd/0)\"\n"
                       "  echo \"fds:$(ls /proc/$$/fd | sort -n | tr '\\n' ' ')\"\n"
                       "} > \"" + report_ + ".tmp\"\n"
                       "mv \"" + report_ + ".tmp\" \"" + report_ + "\"\n",
                       true);
  }
  std::string Report() {
    if (!os_test::WaitFor([&] { return std::filesystem::exists(report_); })) return {};
    return os_test::ReadFile(report_);
  }
  TempDir dir_;
  std::string report_;
  std::string program_;
};

TEST_F(ShellTest, OpenStartsAProgramDetachedWithItsParameters) {
  TempDir work;
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_EQ(::dup2(leaked, 37), 37);
  ::close(leaked);
  const bool started = os::ShellExecute("open", program_, "one \"two words\"", work.path().string());
  ::close(37);
  ASSERT_TRUE(started);
  const std::string report = Report();
  ASSERT_FALSE(report.empty());
  EXPECT_NE(report.find("arg:one\narg:two words\npid:"), std::string::npos) << report;
  const auto field = [&](const std::string& key) {
    const auto at = report.find(key + ":");
    return report.substr(at + key.size() + 1, report.find('\n', at) - at - key.size() - 1);
  };
  EXPECT_NE(field("ppid"), std::to_string(::getpid())) << "a child of the caller";
  EXPECT_EQ(field("sid"), field("pid")) << "not in a session of its own";
  EXPECT_EQ(field("cwd"), std::filesystem::canonical(work.path()).string());
  EXPECT_EQ(field("stdin"), "/dev/null");
  // Descriptors the caller left open without close-on-exec do not reach the program.
  EXPECT_EQ((" " + field("fds")).find(" 37 "), std::string::npos) << field("fds");
}

TEST_F(ShellTest, NoParametersGiveNoArguments) {
  ASSERT_TRUE(os::ShellExecute("OPEN", program_));
  EXPECT_EQ(Report().find("arg:"), std::string::npos);
}

TEST_F(ShellTest, BareNameIsLookedUpInPath) {
  ScopedEnv path("PATH", dir_.path().string() + ":/usr/bin:/bin");
  ASSERT_TRUE(os::ShellExecute("", "Update.exe", "x"));
  EXPECT_NE(Report().find("arg:x\n"), std::string::npos);
}

TEST_F(ShellTest, RelativePathsAreTakenFromTheGivenFolder) {
  TempDir work;
  std::filesystem::create_directory(work.path() / "sub");
  std::filesystem::copy_file(program_, work.path() / "sub" / "prog.exe");
  const auto back = std::filesystem::current_path();
  std::filesystem::current_path(work.path().parent_path());
  const bool started =
      os::ShellExecute("open", "sub/prog.exe", "rel", work.path().filename().string());
  std::filesystem::current_path(back);
  ASSERT_TRUE(started);
  EXPECT_NE(Report().find("arg:rel\n"), std::string::npos);
}

TEST_F(ShellTest, WhatCannotBeStartedReportsFailure) {
  const std::string garbage = dir_ / "garbage.exe";
  os_test::WriteFile(garbage, std::string("\x7F" "ELF not really", 14), true);
  EXPECT_FALSE(os::ShellExecute("open", dir_ / "missing.exe"));
  EXPECT_FALSE(os::ShellExecute("open", garbage));
  EXPECT_FALSE(os::ShellExecute("print", program_));
  EXPECT_FALSE(os::ShellExecute("open", ""));
  EXPECT_FALSE(os::ShellExecute("open", program_, "", dir_ / "no-such-folder"));
  EXPECT_FALSE(std::filesystem::exists(report_));
}

// A program started as a program only: what cannot run is never handed to the desktop's opener
// (here a fake one that would write the report), and the failure says why.
TEST_F(ShellTest, StartProgramTellsWhyAFileCannotRun) {
  TempDir bin;
  os_test::WriteFile(bin / "xdg-open", "#!/bin/sh\necho opened > \"" + report_ + "\"\n", true);
  ScopedEnv path("PATH", bin.path().string() + ":/usr/bin:/bin");
  const std::string notExecutable = dir_ / "lecture.exe";
  os_test::WriteFile(notExecutable, os_test::ReadFile(program_));
  ASSERT_EQ(::chmod(notExecutable.c_str(), 0644), 0);
  const std::string text = dir_ / "texte.exe";
  os_test::WriteFile(text, "pas un programme\n", true);
  const std::string folder = dir_ / "dossier.exe";
  std::filesystem::create_directory(folder);
  const std::string nowhere = dir_ / "nulle-part.exe";
  std::filesystem::create_symlink(dir_ / "missing.exe", nowhere);
  struct Case {
    std::string program;
    std::string directory;
    int error;
  };
  const Case cases[] = {
      {dir_ / "missing.exe", "", ENOENT},
      {nowhere, "", ENOENT},
      {notExecutable, "", EACCES},
      {folder, "", EACCES},
      {text, "", ENOEXEC},
      {program_, dir_ / "no-such-folder", ENOENT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(os::StartProgram(c.program, {}, c.directory), c.error) << c.program << " in " << c.directory;
  }
  EXPECT_FALSE(std::filesystem::exists(report_));
  // The same file with its execute permission runs.
  ASSERT_EQ(::chmod(notExecutable.c_str(), 0755), 0);
  EXPECT_EQ(os::StartProgram(notExecutable, {"x"}), 0);
  EXPECT_NE(Report().find("arg:x\n"), std::string::npos);
}

// URLs, mailto: and documents go to the desktop's opener; a fake one records what it got.
TEST_F(ShellTest, UrlsAndDocumentsGoToTheDesktopOpener) {
  TempDir bin;
  os_test::WriteFile(bin / "xdg-open",
                     "#!/bin/sh\necho \"$*|\" >> \"" + report_ + ".log\"\n",
                     true);
  ScopedEnv path("PATH", bin.path().string() + ":/usr/bin:/bin");
  const std::string document = dir_ / "notes.txt";
  os_test::WriteFile(document, "text");
  const std::string targets[] = {"http://secretariat.example/agenda?x=1&y=2", "mailto:someone@example.org",
                                 "HTTPS://Example.org", document};
  for (const auto& t : targets) EXPECT_TRUE(os::ShellExecute("open", t, "ignored")) << t;
  const std::string log = report_ + ".log";
  ASSERT_TRUE(os_test::WaitFor([&] {
    const std::string text = os_test::ReadFile(log);
    return std::count(text.begin(), text.end(), '\n') == 4;
  }));
  const std::string text = os_test::ReadFile(log);
  for (const auto& t : targets) EXPECT_NE(text.find(t + "|\n"), std::string::npos) << text;
}

TEST_F(ShellTest, WithoutAnOpenerUrlsFail) {
  TempDir emptyBin;
  ScopedEnv path("PATH", emptyBin.path().string());
  EXPECT_FALSE(os::ShellExecute("open", "http://example.org"));
  EXPECT_FALSE(os::ShellExecute("open", "mailto:a@b.c"));
}

}  // namespace
