#pragma once
// One row of the day agenda as "indya.pl" gives it: eleven fields joined by "|", the last two
// being the status ("1", "2" or "3") and the taken flag ("pris", "donne" or empty). This file
// holds what the rows are made of and what a row offers, apart from the list itself.
#include <string>
#include <string_view>

namespace forms {
class TListItem;
}

namespace client {

struct AgendaRow {
  std::string kind;  // "message", "vi" (home visit) or "rv" (appointment)
  std::string heure;
  std::string nom;  // for a time slot also one of the four slot labels
  std::string prenom;
  std::string motif;
  std::string tel;
  std::string iso;  // the entry's id at the secretariat
  std::string fax;  // fax, mail address or mobile number
  std::string adresse;
  std::string numero;  // the status
  std::string pris;    // the taken flag
};

// The eleven fields of a reply line; a field the line lacks is empty, fields beyond the
// eleventh are ignored. Nothing is trimmed or decoded.
AgendaRow ParseAgendaLine(std::string_view line);

// Only lines with a kind and a time are rows of the day.
bool IsListed(const AgendaRow& row);

// "pris", "indispo", "créneau double" and "consul-libre", compared exactly.
bool IsSlotLabel(std::string_view nom);

// The day fetch shows the reason without its "&copy;" marks.
std::string WithoutCopyMarks(std::string motif);

// The hint of a row of the day shown as `date`: as the pending list's, with that date.
std::string AgendaRowHint(const std::string& date, const AgendaRow& row);

// A row with status "3" is a time slot: it has no hint.
inline bool IsSlot(const AgendaRow& row) { return row.numero == "3"; }

// The items of the agenda's popup menu a row offers.
struct SlotOffers {
  bool lu = false;
  bool annuler = false;
  bool indisponible = false;
  bool pris = false;
  bool libre = false;
};
SlotOffers OffersOf(const AgendaRow& row);

// What a confirmed slot action makes of a row (Heure and Iso never change).
AgendaRow MarkedRead(AgendaRow row);         // "Lu": taken, status "2"
AgendaRow FreedSlot(AgendaRow row);          // "Annuler", "Libre": a free slot
AgendaRow NamedSlot(AgendaRow row, std::string label);  // "Pris", "Indisponible": a taken slot

// A row of the agenda list: its sub-items are the fields from Heure on; the kind is told by
// the image alone and comes back empty.
AgendaRow AgendaRowOf(const forms::TListItem& item);
// Writes the fields from Heure on into the row's sub-items.
void SetAgendaRow(forms::TListItem& item, const AgendaRow& row);

}  // namespace client
