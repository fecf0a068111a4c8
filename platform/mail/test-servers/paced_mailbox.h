#pragma once
// A POP3 mailbox served at a chosen pace, for trying how the client copes with a slow server:
// every reply late by the same delay, a whole mail sent in pieces at a steady rate, or a whole
// mail dripped a byte at a time. Used by the paced-mailbox program and the slow-server run.
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "loopback_server.h"

namespace mail::test_servers {

struct MailboxPace {
  std::chrono::milliseconds replyDelay{0};  // before every reply
  // RETR sends its reply in pieces of `piece` bytes, one every `pieceEvery` (0: at once).
  std::size_t piece = 0;
  std::chrono::microseconds pieceEvery{0};
  std::chrono::milliseconds trickle{0};  // RETR sends one byte every that long (0: not)
};

// `count` small mails, numbered in their subjects.
std::vector<std::string> NumberedMails(int count);
// One mail whose text is `bytes` long: lines of 76 characters, or (oneLine) a single line
// written in quoted-printable with soft line breaks.
std::string BigMail(std::size_t bytes, bool oneLine);

// The script of a mailbox holding `mails` (USER, PASS, STAT, UIDL, TOP, RETR, DELE, QUIT).
ScriptedPop3::Script PacedMailbox(std::vector<std::string> mails, MailboxPace pace);

}  // namespace mail::test_servers
