#pragma once
// Fakes of the os layer services for the client's tests: the sound, the shell, the process
// list, the desktop and sleeping, each recording what it gets (sleeping returns at once);
// and the desktop's notification area, there unless a test takes it away.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "forms/trayicon.h"
#include "os/desktop.h"
#include "os/processes.h"
#include "os/shell.h"
#include "os/sleep.h"
#include "os/sound.h"

namespace client_test {

class FakeSound final : public os::Sound {
 public:
  struct Play {
    std::string file;
    unsigned flags;
  };
  std::vector<Play> plays;
  std::vector<std::pair<unsigned, unsigned>> beeps;
  bool playResult = true;

  bool PlaySound(const std::string& file, unsigned flags) override {
    plays.push_back({file, flags});
    return playResult;
  }
  bool Beep(unsigned frequency, unsigned durationMs) override {
    beeps.emplace_back(frequency, durationMs);
    return true;
  }
  // The files played, in order.
  std::vector<std::string> PlayedFiles() const {
    std::vector<std::string> files;
    for (const Play& p : plays) files.push_back(p.file);
    return files;
  }
};

class FakeShell final : public os::Shell {
 public:
  struct Call {
    std::string verb, file, parameters, directory;
  };
  std::vector<Call> calls;
  bool executeResult = true;
  bool ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                    std::string_view directory) override {
    calls.push_back({std::string(verb), std::string(file), std::string(parameters), std::string(directory)});
    return executeResult;
  }
  // The verb and the file of each call, in order.
  std::vector<std::pair<std::string, std::string>> VerbsAndFiles() const {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const Call& c : calls) pairs.emplace_back(c.verb, c.file);
    return pairs;
  }
};

class FakeProcesses final : public os::ProcessList {
 public:
  std::vector<os::ProcessEntry> processes{{100, "OrvalisP.exe"}, {200, "orvalisP.exe"}};
  std::vector<pid_t> trimmed;
  std::vector<os::ProcessEntry> Snapshot() override { return processes; }
  bool TerminateProcess(pid_t, unsigned) override { return false; }
  bool EmptyWorkingSet(pid_t pid) override {
    trimmed.push_back(pid);
    return true;
  }
};

// A 1280 x 1024 screen whose taskbar takes the bottom 40 pixels.
class FakeDesktop final : public os::Desktop {
 public:
  os::Rect screen{0, 0, 1280, 1024};
  os::Rect workArea{0, 0, 1280, 984};
  bool taskbarButton = true;
  os::Rect ScreenRect() override { return screen; }
  os::Rect WorkArea() override { return workArea; }
  void SetTaskbarButtonVisible(bool v) override { taskbarButton = v; }
  bool TaskbarButtonVisible() override { return taskbarButton; }
};

// A notification area that a test can take away and bring back (Set tells the tray icons).
class FakeNotificationArea final : public forms::NotificationArea {
 public:
  bool available = true;
  bool Available() override { return available; }
  void Set(bool there) {
    available = there;
    forms::NotificationAreaChanged();
  }
};

class FakeSleeper final : public os::Sleeper {
 public:
  std::vector<unsigned> sleeps;
  void Sleep(unsigned ms) override { sleeps.push_back(ms); }
};

}  // namespace client_test
