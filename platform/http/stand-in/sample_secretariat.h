#pragma once
// A small secretariat that answers the client's scripts from an agenda kept in memory, so the
// client can be watched at work against 127.0.0.1: the poll finds a few pending entries, they
// can be recorded as read, every day of the agenda has its slots, and the slot actions, the
// booking, the instruction and the stop of visits answer as the real server does.
//
// Replies are Windows-1252, like the real server's; query values arrive in Windows-1252 with
// "+" for spaces.
#include <chrono>
#include <map>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "http/stand-in/server.h"

namespace http::stand_in {

class SampleSecretariat {
 public:
  // With an empty login every credential is accepted; otherwise only these get past the 401.
  SampleSecretariat(std::string login, std::string password, std::string today);

  ScriptedReply Answer(const RecordedRequest& request);

  // From now on a poll finds a new message when at least `interval` has passed since the last
  // one came in (every poll with a zero interval), so the notice can be watched again and again.
  void SetArrivalInterval(std::chrono::seconds interval);

 private:
  struct Entry {  // one pending entry of the poll
    std::string kind, date, heure, nom, prenom, motif, tel, iso, fax, adresse;
  };
  struct Row {  // one row of a day
    std::string kind, heure, nom, prenom, motif, tel, iso, fax, adresse, numero, pris;
  };

  std::string Poll(const std::map<std::string, std::string>& query) const;
  std::string RecordRead(const std::string& ids);
  std::string Day(const std::string& date);
  std::string SlotAction(const std::string& script, const std::string& id);
  std::string Book(const std::map<std::string, std::string>& query);
  std::vector<Row>& Rows(const std::string& date);
  Row* FindRow(const std::string& iso);
  std::string NextIso();
  void ArriveIfDue();

  std::string login_;
  std::string password_;
  std::mutex mutex_;
  std::vector<Entry> pending_;
  std::map<std::string, std::vector<Row>> days_;
  int next_iso_ = 1001;
  std::string today_;
  std::optional<std::chrono::seconds> arrival_interval_;
  std::chrono::steady_clock::time_point last_arrival_;
  int arrivals_ = 0;
};

}  // namespace http::stand_in
