#pragma once
// The main window against a real Dovecot on 127.0.0.1: the POP3 account of the settings page
// points at it, the clock zone is fixed (CET, one hour east of UTC) and mails are built by
// Mail() below.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "dovecot_server.h"
#include "forms/timer.h"
#include "window_fixture.h"

namespace client_test {

// A mail as it sits in the mailbox.
inline std::string Mail(const std::string& from, const std::string& subject, const std::string& extraHeaders = "",
                        const std::string& body = "Bonjour\r\n", const std::string& date = "Thu, 10 Dec 2026 08:02:30 +0100") {
  return "From: " + from + "\r\nTo: cabinet@exemple.fr\r\nSubject: " + subject + "\r\nDate: " + date +
         "\r\nMessage-ID: <" + std::to_string(std::hash<std::string>{}(from + subject)) + "@test>\r\n" + extraHeaders +
         "\r\n" + body;
}

class MailTest : public WindowTest {
 protected:
  void SetUp() override {
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    WindowTest::SetUp();
    server = std::make_unique<mail::test_servers::DovecotServer>();
    PointAt(server->Port());
  }
  void TearDown() override {
    WindowTest::TearDown();
    server.reset();
    ::unsetenv("TZ");
    ::tzset();
  }
  // The account of the settings page, the password typed as the user would.
  void PointAt(int port, const std::string& password = "s3cret") {
    f->pop_3->SetText("127.0.0.1");
    f->pop_user->SetText("marie");
    f->MaskEdit2->SetText("");
    f->MaskEdit2->UserType(password);
    f->pop_port->SetText(std::to_string(port));
  }
  // Another mail program deletes message `number` of the mailbox.
  void DeleteElsewhere(int number) {
    mail::Pop3Client other;
    other.Host = server->Host();
    other.Port = server->Port();
    other.Username = server->User();
    other.Password = server->Password();
    other.Connect();
    other.Delete(number);
    other.Disconnect();
  }
  // Column texts of the mail rows: N°, date, time, subject, sender.
  std::vector<std::string> Row(int i) const { return f->ListView2->Items()[i]->SubItems().ToVector(); }
  std::vector<int> Images() const {
    std::vector<int> images;
    for (int i = 0; i < f->ListView2->Items().Count(); ++i) images.push_back(f->ListView2->Items()[i]->ImageIndex());
    return images;
  }
  std::vector<std::string> Subjects() const {
    std::vector<std::string> subjects;
    for (int i = 0; i < f->ListView2->Items().Count(); ++i) subjects.push_back(Row(i).at(3));
    return subjects;
  }

  std::unique_ptr<mail::test_servers::DovecotServer> server;
};

// What the window did while `operation` ran: how many times it served a timer of 1 ms (due at
// every turn of the event loop that follows any real work), and the most that `size` grew
// between two turns. A long task that keeps the window served turns the loop between its steps,
// so the work done between two turns stays one step's, however fast or slow the machine is.
struct Served {
  int turns = 0;
  std::size_t mostBetweenTurns = 0;
  int growingTurns = 0;  // the turns at which size had grown since the one before
};
inline Served ServedWhile(const std::function<void()>& operation, const std::function<std::size_t()>& size = {}) {
  Served served;
  std::size_t last = size ? size() : 0;
  const auto measure = [&] {
    if (!size) return;
    const std::size_t now = size();
    served.mostBetweenTurns = std::max(served.mostBetweenTurns, now - std::min(now, last));
    if (now > last) ++served.growingTurns;
    last = now;
  };
  forms::TTimer ticker(nullptr);
  ticker.SetInterval(1);
  ticker.OnTimer = [&](forms::TObject*) {
    ++served.turns;
    measure();
  };
  ticker.SetEnabled(true);
  operation();
  ticker.SetEnabled(false);
  measure();
  return served;
}

}  // namespace client_test
