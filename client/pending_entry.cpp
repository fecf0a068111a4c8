#include "pending_entry.h"

#include "secretariat/extrait_champ.h"

namespace client {

Entry ParseEntryLine(std::string_view line) {
  const std::string text = std::string(line) + "|";
  Entry e;
  std::string* fields[] = {&e.kind, &e.date, &e.heure, &e.nom, &e.prenom,
                           &e.motif, &e.tel, &e.iso, &e.fax, &e.adresse};
  for (int i = 0; i < 10; ++i) secretariat::ExtraitChamp(text, '|', i + 2, *fields[i]);
  return e;
}

bool IsListed(const Entry& entry) { return !entry.kind.empty() && !entry.date.empty() && !entry.heure.empty(); }

int KindImage(std::string_view kind) {
  if (kind == "message") return 2;
  if (kind == "rv") return 1;
  return 0;  // "vi", and any kind the list does not know
}

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  if (what.empty()) return text;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

std::string RowHint(const Entry& e) {
  const std::string cr = "\r";
  const std::string rule = cr + "-----" + cr;
  std::string text = e.date + " \xC3\xA0 " + e.heure + cr;
  text += e.nom + " " + e.prenom + rule;
  if (!e.motif.empty()) text += ReplaceAll(e.motif, "-- ", cr) + rule;
  if (!e.adresse.empty()) text += e.adresse + rule;
  text += e.tel;
  text += e.fax.empty() ? cr : " - " + e.fax + cr;
  text += "Iso : " + e.iso;
  return text;
}

std::string IdsToSend(const std::vector<std::string>& ids) {
  if (ids.size() == 1) return ids.front();
  std::string text;
  for (const std::string& id : ids) text = id + ";" + text;
  return text;
}

Counts ParseCounts(std::string_view line0) {
  const std::string text = std::string(line0) + "-";
  Counts c;
  std::string* counts[] = {&c.messages, &c.rendezVous, &c.visites};
  for (int i = 0; i < 3; ++i) {
    secretariat::ExtraitChamp(text, '-', i + 2, *counts[i]);
    if (counts[i]->empty()) *counts[i] = "0";
  }
  return c;
}

}  // namespace client
