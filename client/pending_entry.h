#pragma once
// A pending entry ("mouvement") of the secretariat as the poll's reply gives it: one line of
// ten fields joined by "|". The pending list shows one row per entry; this file holds what
// the rows are made of, apart from the list itself.
#include <string>
#include <string_view>
#include <vector>

namespace client {

struct Entry {
  std::string kind;  // "message", "vi" (home visit) or "rv" (appointment)
  std::string date;
  std::string heure;
  std::string nom;
  std::string prenom;
  std::string motif;  // "-- " stands for a line break of the hint
  std::string tel;
  std::string iso;  // the entry's id at the secretariat
  std::string fax;  // fax, mail address or mobile number
  std::string adresse;
};

// The ten fields of a reply line; a field the line lacks is empty, fields beyond the tenth
// are ignored.
Entry ParseEntryLine(std::string_view line);

// Only lines with a kind, a date and a time are entries; the others are skipped.
bool IsListed(const Entry& entry);

// The row icon of a kind in ImageList1: "message" 2, "rv" 1, "vi" and anything else 0 (the
// kind is compared exactly).
int KindImage(std::string_view kind);

// The hint of a row: date and time, the names, the motif with its line breaks, the address,
// the telephone and fax, and the id, separated by CR.
std::string RowHint(const Entry& entry);

// Every occurrence of `what` in `text` replaced by `with`, left to right.
std::string ReplaceAll(std::string text, std::string_view what, std::string_view with);

// The "id" value of "indypris.pl" for the ids collected in order of selection: one id alone
// as it is; several in the reverse order of selection, each followed by ";" (a, b, c give
// "c;b;a;").
std::string IdsToSend(const std::vector<std::string>& idsInSelectionOrder);

// The counts of line 0 of the poll's reply ("2-0-1"): messages, appointments, visits. A count
// that is missing or empty counts as "0".
struct Counts {
  std::string messages = "0";
  std::string rendezVous = "0";
  std::string visites = "0";
  bool AllZero() const { return messages == "0" && rendezVous == "0" && visites == "0"; }
};
Counts ParseCounts(std::string_view line0);

}  // namespace client
