#include "paced_mailbox.h"

#include <cstdlib>
#include <thread>

namespace mail::test_servers {

std::vector<std::string> NumberedMails(int count) {
  std::vector<std::string> mails;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    mails.push_back("From: expediteur" + n + "@exemple.fr\r\nTo: cabinet@exemple.fr\r\nSubject: mail " + n +
                    "\r\nDate: Thu, 10 Dec 2026 08:02:30 +0100\r\nMessage-ID: <" + n + "@exemple.fr>\r\n\r\nBonjour " + n +
                    "\r\n");
  }
  return mails;
}

std::string BigMail(std::size_t bytes, bool oneLine) {
  std::string mail = "From: gros@exemple.fr\r\nTo: cabinet@exemple.fr\r\nSubject: gros mail\r\n"
                     "Date: Thu, 10 Dec 2026 08:02:30 +0100\r\nMessage-ID: <gros@exemple.fr>\r\n";
  if (oneLine) mail += "MIME-Version: 1.0\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n";
  mail += "\r\n";
  const std::string line = oneLine ? std::string(75, 'a') + "=\r\n" : std::string(76, 'a') + "\r\n";
  mail.reserve(mail.size() + bytes + line.size() + 4);
  for (std::size_t text = 0; text < bytes; text += line.size()) mail += line;
  mail += "fin\r\n";
  return mail;
}

ScriptedPop3::Script PacedMailbox(std::vector<std::string> mails, MailboxPace pace) {
  return [mails = std::move(mails), pace](Peer& peer) {
    const auto numbered = [&](const std::string& command, const char* verb) {
      const std::string prefix = std::string(verb) + " ";
      if (command.rfind(prefix, 0) != 0) return 0;
      const int n = std::atoi(command.c_str() + prefix.size());
      return n >= 1 && n <= static_cast<int>(mails.size()) ? n : 0;
    };
    while (auto line = peer.ReadLine(std::chrono::minutes(5))) {
      const std::string& command = *line;
      std::this_thread::sleep_for(pace.replyDelay);
      if (command == "STAT") {
        std::size_t size = 0;
        for (const std::string& m : mails) size += m.size();
        peer.Send("+OK " + std::to_string(mails.size()) + " " + std::to_string(size) + "\r\n");
      } else if (command == "UIDL") {
        std::string reply = "+OK\r\n";
        for (std::size_t i = 1; i <= mails.size(); ++i) reply += std::to_string(i) + " u" + std::to_string(i) + "\r\n";
        peer.Send(reply + ".\r\n");
      } else if (const int n = numbered(command, "TOP")) {
        const std::string& m = mails[n - 1];
        peer.Send("+OK\r\n" + m.substr(0, m.find("\r\n\r\n") + 4) + ".\r\n");
      } else if (const int r = numbered(command, "RETR")) {
        const std::string reply = "+OK\r\n" + mails[r - 1] + ".\r\n";
        if (pace.trickle.count() > 0) {
          peer.Trickle(reply, pace.trickle, std::chrono::hours(1));
        } else if (pace.piece > 0) {
          peer.Pace(reply, pace.piece, pace.pieceEvery, std::chrono::hours(1));
        } else {
          peer.Send(reply);
        }
      } else if (command == "QUIT") {
        peer.Send("+OK\r\n");
        return;
      } else {
        peer.Send("+OK\r\n");
      }
    }
  };
}

}  // namespace mail::test_servers
