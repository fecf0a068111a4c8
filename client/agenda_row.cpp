#include "agenda_row.h"

#include <array>

#include "forms/listview.h"
#include "pending_entry.h"
#include "secretariat/extrait_champ.h"

namespace client {

AgendaRow ParseAgendaLine(std::string_view line) {
  const std::string text = std::string(line) + "|";
  AgendaRow r;
  std::string* fields[] = {&r.kind, &r.heure, &r.nom, &r.prenom, &r.motif,  &r.tel,
                           &r.iso,  &r.fax,   &r.adresse, &r.numero, &r.pris};
  for (int i = 0; i < 11; ++i) secretariat::ExtraitChamp(text, '|', i + 2, *fields[i]);
  return r;
}

bool IsListed(const AgendaRow& row) { return !row.kind.empty() && !row.heure.empty(); }

bool IsSlotLabel(std::string_view nom) {
  return nom == "pris" || nom == "indispo" || nom == "cr\xC3\xA9neau double" || nom == "consul-libre";
}

std::string WithoutCopyMarks(std::string motif) { return ReplaceAll(std::move(motif), "&copy;", ""); }

std::string AgendaRowHint(const std::string& date, const AgendaRow& r) {
  return RowHint({r.kind, date, r.heure, r.nom, r.prenom, r.motif, r.tel, r.iso, r.fax, r.adresse});
}

SlotOffers OffersOf(const AgendaRow& row) {
  SlotOffers o;
  o.lu = row.numero == "1";
  o.annuler = !IsSlot(row);
  o.indisponible = o.pris = IsSlot(row) && !IsSlotLabel(row.nom);
  o.libre = IsSlot(row) && IsSlotLabel(row.nom);
  return o;
}

AgendaRow MarkedRead(AgendaRow row) {
  row.pris = "pris";
  row.numero = "2";
  return row;
}

AgendaRow NamedSlot(AgendaRow row, std::string label) {
  row.nom = std::move(label);
  row.prenom.clear();
  row.motif.clear();
  row.tel.clear();
  row.fax.clear();
  row.adresse.clear();
  row.numero = "3";
  row.pris = row.nom.empty() ? "" : "pris";
  return row;
}

AgendaRow FreedSlot(AgendaRow row) { return NamedSlot(std::move(row), ""); }

namespace {

// The row's fields in the order of the list's sub-items.
template <class Row>
auto SubItemFields(Row& r) {
  return std::array{&r.heure, &r.nom, &r.prenom, &r.motif, &r.tel, &r.iso, &r.fax, &r.adresse, &r.numero, &r.pris};
}

}  // namespace

AgendaRow AgendaRowOf(const forms::TListItem& item) {
  AgendaRow r;
  const forms::TStrings& s = item.SubItems();
  int i = 0;
  for (std::string* field : SubItemFields(r)) {
    if (i < s.Count()) *field = s[i];
    ++i;
  }
  return r;
}

void SetAgendaRow(forms::TListItem& item, const AgendaRow& row) {
  forms::TStrings& s = item.SubItems();
  int i = 0;
  for (const std::string* field : SubItemFields(row)) {
    if (i < s.Count()) s.Put(i, *field);
    else s.Add(*field);
    ++i;
  }
}

}  // namespace client
