// The pending list of page 0: its rows, their colours and hints, the selected ids and
// "Enregistrer comme lu".
#include <algorithm>

#include "forms/application.h"
#include "forms/screen.h"
#include "main_window.h"
#include "pending_entry.h"

namespace client {

using namespace forms;

namespace {

// Sub-items of a row: date, heure, nom, prenom, motif, tel, iso, fax, adresse.
constexpr int kIsoSubItem = 6;

Entry EntryOf(const TListItem& row) {
  const TStrings& s = row.SubItems();
  const auto at = [&](int i) { return i < s.Count() ? s[i] : std::string(); };
  return {"", at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7), at(8)};
}

std::string IsoOf(const TListItem& row) {
  return kIsoSubItem < row.SubItems().Count() ? row.SubItems()[kIsoSubItem] : std::string();
}

}  // namespace

void TForm1::ajout(const std::string& kind, const std::string& date, const std::string& heure, const std::string& nom,
                   const std::string& prenom, const std::string& motif, const std::string& tel, const std::string& iso,
                   const std::string& fax, const std::string& adresse) {
  TListItem* row = ListView1->Items().Add();
  row->SetImageIndex(KindImage(kind));
  for (const std::string* field : {&date, &heure, &nom, &prenom, &motif, &tel, &iso, &fax, &adresse})
    row->SubItems().Add(*field);
  // The newest rows come into view.
  ListView1->Scroll(0, 100);
}

void TForm1::ListView1CustomDrawItem(TObject*, TListItem* Item, TCustomDrawState, bool&) {
  ListView1->Canvas().Font().SetColor(clBlack);
  ListView1->Canvas().Brush().SetColor(Item && Item->Index() % 2 == 1 ? cl3DLight : clWhite);
}

void TForm1::ListView1MouseMove(TObject*, TShiftState, int X, int Y) {
  TListItem* row = ListView1->GetItemAt(X, Y);
  if (!row) {
    ListView1->SetHint("");
    Application->CancelHint();
    return;
  }
  Application->SetHintHidePause(15000);
  const std::string text = RowHint(EntryOf(*row));
  if (text != ListView1->Hint()) {
    ListView1->SetHint(text);
    Application->ActivateHint(Screen->CursorPos());
  }
}

void TForm1::ListView1SelectItem(TObject*, TListItem* Item, bool Selected) {
  if (Selected) {
    Mouvementlu1->SetEnabled(true);
    IdsLus = Item ? IsoOf(*Item) : std::string();
    ListBox2->Items().Add(IdsLus);
  } else {
    // Any deselection forgets every collected id, even of rows that stay selected.
    Mouvementlu1->SetEnabled(false);
    IdsLus.clear();
    ListBox2->Items().Clear();
  }
}

void TForm1::ForgetSelectedIds() {
  // A rebuilt list has no selected row: ids collected in the old one must not be sent for
  // entries the user never picked in the new one.
  Mouvementlu1->SetEnabled(false);
  IdsLus.clear();
  ListBox2->Items().Clear();
}

void TForm1::Mouvementlu1Click(TObject*) {
  // 1. Send the collected ids. They stay collected until a request succeeds, so a failed
  //    one can be tried again (its exception ends the handler here, every row kept).
  std::vector<std::string> sent;
  if (HasCredentials() && !IdsLus.empty()) {
    const std::vector<std::string> ids = ListBox2->Items().ToVector();
    if (ids.size() > 1) {
      IdsLus = IdsToSend(ids);
      sent = ids;
    } else {
      sent = {IdsLus};
    }
    SendSecretariatRequest("indypris.pl?id=" + IdsLus, Memo4->Lines());
  }

  // 2. Remove the rows of the entries just recorded as read, and only those.
  if (!sent.empty()) {
    for (int i = ListView1->Items().Count() - 1; i >= 0; --i)
      if (std::find(sent.begin(), sent.end(), IsoOf(*ListView1->Items()[i])) != sent.end())
        ListView1->Items().Delete(i);
  }

  // 3. The server's first reply line (or the last one's, when nothing was sent).
  StatusBar1->Panels(0).SetText(Memo4->Lines().Count() > 0 ? Memo4->Lines()[0] : std::string());

  // 4. The recorded ids are done with.
  if (!sent.empty()) ForgetSelectedIds();
}

}  // namespace client
