// The day agenda of page 6: the page button, the day fetch and the day steps, the kind
// filters, the rows with their colours and hints, the selection rules that enable the slot
// actions, and the double click that opens the booking dialog on a free slot.
#include "agenda_row.h"
#include "booking_dialog.h"
#include "forms/application.h"
#include "forms/screen.h"
#include "forms/sysutils.h"
#include "main_window.h"
#include "pending_entry.h"

namespace client {

using namespace forms;

inline constexpr const char* kNoDayWithoutAccount = " : Vous n'avez pas de mouvements ";

namespace {

// Counts one fetch as under way for its scope.
class UnderWay {
 public:
  explicit UnderWay(int& count) : count_(count) { ++count_; }
  ~UnderWay() { --count_; }
  UnderWay(const UnderWay&) = delete;
  UnderWay& operator=(const UnderWay&) = delete;

 private:
  int& count_;
};

}  // namespace

// --- Page button and day fetch ----------------------------------------------------------

void TForm1::JvTransparentButton4Click(TObject*) {
  // 1. "Agenda" is the current page button.
  MarkPageButton(JvTransparentButton4);
  // 2. The page, with the list in focus.
  PageControl1->SetActivePageIndex(kPageAgenda);
  if (ListView3->CanFocus()) ListView3->SetFocus();
  // 3. An empty list shows today; rows already listed stay as they are, and so does a day on
  //    its way (its list is empty until its reply comes).
  if (ListView3->Items().Count() == 0 && dayFetchesUnderWay_ == 0) {
    DateTimePicker1->SetDateTime(Now());
    DateTimePicker1Change(this);
  }
}

void TForm1::Button7Click(TObject*) {
  DateTimePicker1->SetDate(IncDay(DateTimePicker1->Date(), 1));
  DateTimePicker1Change(this);
}

void TForm1::Button8Click(TObject*) {
  DateTimePicker1->SetDate(IncDay(DateTimePicker1->Date(), -1));
  DateTimePicker1Change(this);
}

void TForm1::DateTimePicker1Change(TObject*) {
  // 1. The day, in the user's short date format.
  const std::string day = DateToStr(DateTimePicker1->Date());

  // 2. Without the account nothing is sent; the list stays.
  if (!HasCredentials()) {
    Label16->SetCaption("");
    StatusBar1->Panels(0).SetText(day + kNoDayWithoutAccount);
    return;
  }

  // 3.-6. The day's lines (the login goes out, and is kept, with "_" for its spaces). While
  //       they are on their way the list offers no row: rows of another day could be
  //       cancelled or booked by mistake under the date the picker shows.
  Memo2->Lines().Clear();
  ForgetDayRows();
  TStringList reply;
  const UnderWay fetch(dayFetchesUnderWay_);
  try {
    SendSecretariatRequest("indya.pl?date=" + day, reply);
  } catch (...) {
    // The user picked another day meanwhile: the fetch of that day tells its own outcome.
    if (DateToStr(DateTimePicker1->Date()) != day) return;
    throw;
  }
  // A reply for a day the picker no longer shows is dropped, whenever it ends.
  if (DateToStr(DateTimePicker1->Date()) != day) return;
  Memo2->Lines().Assign(reply);

  // 7.-8. The rows anew, each reason without its "&copy;" marks.
  ForgetDayRows();
  for (const std::string& line : Memo2->Lines().ToVector()) {
    AgendaRow r = ParseAgendaLine(line);
    r.motif = WithoutCopyMarks(std::move(r.motif));
    if (IsListed(r)) ajouta(r.kind, r.heure, r.nom, r.prenom, r.motif, r.tel, r.iso, r.fax, r.adresse, r.numero, r.pris);
  }
}

void TForm1::ForgetDayRows() {
  // A rebuilt list has no selected row: an id picked in the old one must not be sent for a
  // row the user never picked in the new one.
  ListView3->Items().Clear();
  ListBox5->Items().Clear();
}

void TForm1::ajouta(const std::string& kind, const std::string& heure, const std::string& nom,
                    const std::string& prenom, const std::string& motif, const std::string& tel,
                    const std::string& iso, const std::string& fax, const std::string& adresse,
                    const std::string& numero, const std::string& pris) {
  TListItem* row = ListView3->Items().Add();
  row->SetImageIndex(KindImage(kind));
  for (const std::string* field : {&heure, &nom, &prenom, &motif, &tel, &iso, &fax, &adresse, &numero, &pris})
    row->SubItems().Add(*field);
}

// --- Kind filters -----------------------------------------------------------------------

void TForm1::ListDayLines(const char* onlyKind) {
  // The last day reply again, as it came: the filters keep the "&copy;" marks.
  ForgetDayRows();
  for (const std::string& line : Memo2->Lines().ToVector()) {
    const AgendaRow r = ParseAgendaLine(line);
    if (r.kind == onlyKind && !r.heure.empty())
      ajouta(r.kind, r.heure, r.nom, r.prenom, r.motif, r.tel, r.iso, r.fax, r.adresse, r.numero, r.pris);
  }
}

void TForm1::BitBtn14Click(TObject*) { ListDayLines("rv"); }

void TForm1::BitBtn15Click(TObject*) { ListDayLines("vi"); }

void TForm1::BitBtn16Click(TObject*) { ListDayLines("message"); }

// --- Rows: colours, hint, selection, double click ---------------------------------------

void TForm1::ListView3CustomDrawItem(TObject*, TListItem* Item, TCustomDrawState, bool&) {
  const AgendaRow r = Item ? AgendaRowOf(*Item) : AgendaRow{};
  ListView3->Canvas().Font().SetColor(r.nom == "urgence" ? RGB(255, 0, 0) : clBlack);
  ListView3->Canvas().Brush().SetColor(r.pris == "pris" || r.pris == "donne" ? RGB(204, 204, 204) : clWhite);
}

void TForm1::ListView3MouseMove(TObject*, TShiftState, int X, int Y) {
  // 1. No hint off the rows, nor for a time slot.
  TListItem* item = ListView3->GetItemAt(X, Y);
  const AgendaRow r = item ? AgendaRowOf(*item) : AgendaRow{};
  if (!item || IsSlot(r)) {
    ListView3->SetHint("");
    Application->CancelHint();
    return;
  }
  // 2.-4. The row's details, shown at once when they change, for 15 seconds.
  Application->SetHintHidePause(15000);
  const std::string text = AgendaRowHint(DateToStr(DateTimePicker1->Date()), r);
  if (text != ListView3->Hint()) {
    ListView3->SetHint(text);
    Application->ActivateHint(Screen->CursorPos());
  }
}

void TForm1::ListView3SelectItem(TObject*, TListItem* Item, bool Selected) {
  // 1.-2. Every change forgets the id; a deselection leaves the menu as it was.
  ListBox5->Items().Clear();
  if (!Selected || !Item) return;
  const AgendaRow r = AgendaRowOf(*Item);
  // 3.-4. The booking dialog follows the row; its id is the one the actions send.
  Form4->SetCaption("Rendez-vous " + r.heure);
  ListBox5->Items().Add(r.iso);
  // 5. What the row offers.
  const SlotOffers offers = OffersOf(r);
  Lu1->SetEnabled(offers.lu);
  Annuler1->SetEnabled(offers.annuler);
  Indisponible1->SetEnabled(offers.indisponible);
  Pris1->SetEnabled(offers.pris);
  Libre1->SetEnabled(offers.libre);
}

void TForm1::ListView3DblClick(TObject*) {
  if (ListBox5->Items().Count() > 0) Form4->Edit5->SetText(ListBox5->Items()[ListBox5->Items().Count() - 1]);
  // Only a free slot opens the booking.
  if (Indisponible1->Enabled()) Form4->Show();
}

}  // namespace client
