// The main window's day agenda (page 6) and its instruction and stop-visits page (page 2), as
// designed: their controls, texts and hints, where they sit, and the handlers bound to them.
#include "column_samples.h"
#include "main_window.h"

namespace client {

using namespace forms;

namespace {

template <class T>
T& Placed(TForm& form, TWinControl* parent, const std::string& name, int left, int top, int width, int height,
          const std::string& hint = {}) {
  auto& control = form.Create<T>(name, parent);
  control.SetBounds(left, top, width, height);
  if (!hint.empty()) control.SetHint(hint);
  return control;
}

}  // namespace

void TForm1::BuildInstructionPage() {
  auto& top = Create<TPanel>("Panel8", TabSheet3);
  top.SetAlign(alTop);
  top.SetHeight(176);
  top.SetBevelOuter(bvNone);

  auto& instruction = Placed<TGroupBox>(*this, &top, "GroupBox2", 8, 8, 630, 64);
  instruction.SetCaption("Transmettre une consigne");
  Edit1 = &Placed<TEdit>(*this, &instruction, "Edit1", 10, 26, 490, 23, "Saisir votre consigne");
  Button3 = &Placed<TButton>(*this, &instruction, "Button3", 512, 24, 106, 27, "Envoi de votre consigne");
  Button3->SetCaption("Envoi");
  Button3->OnClick = [this](TObject* Sender) { Button3Click(Sender); };

  auto& stop = Placed<TGroupBox>(*this, &top, "GroupBox3", 8, 80, 630, 64);
  stop.SetCaption("Stop VAD");
  Label6 = &Create<TLabel>("Label6", &stop);
  Label6->SetLeft(10);
  Label6->SetTop(30);
  Label6->SetCaption("Stopper les visites (vad)  aujourd'hui");
  Button9 = &Placed<TButton>(*this, &stop, "Button9", 512, 24, 106, 27, "Stopper les visites (vad)  aujourd'hui");
  Button9->SetCaption("Stop VAD");
  Button9->OnClick = [this](TObject* Sender) { Button9Click(Sender); };

  auto& result = Create<TLabel>("Label23", &top);
  result.SetLeft(8);
  result.SetTop(156);
  result.SetCaption("R\xC3\xA9sultat de l'envoi");
  result.Font().SetStyle(fsBold);

  Memo3 = &Create<TMemo>("Memo3", TabSheet3);
  Memo3->SetAlign(alClient);
  Memo3->SetReadOnly(true);
  Memo3->SetScrollBars(ssVertical);
}

void TForm1::BuildAgendaPage() {
  auto& bar = Create<TPanel>("Panel9", TabSheet7);
  bar.SetAlign(alTop);
  bar.SetHeight(40);
  bar.SetBevelOuter(bvNone);

  Button8 = &Placed<TButton>(*this, &bar, "Button8", 6, 7, 36, 26);
  Button8->SetCaption("<<");
  Button8->OnClick = [this](TObject* Sender) { Button8Click(Sender); };
  DateTimePicker1 = &Placed<TDateTimePicker>(*this, &bar, "DateTimePicker1", 46, 7, 200, 26);
  DateTimePicker1->SetDateFormat(dfLong);
  // Only a day picked in the calendar is fetched: typing a date fetches nothing.
  DateTimePicker1->OnCloseUp = [this](TObject* Sender) { DateTimePicker1Change(Sender); };
  Button7 = &Placed<TButton>(*this, &bar, "Button7", 250, 7, 36, 26);
  Button7->SetCaption(">>");
  Button7->OnClick = [this](TObject* Sender) { Button7Click(Sender); };
  BitBtn17 = &Placed<TBitBtn>(*this, &bar, "BitBtn17", 294, 7, 86, 26, "Actualiser");
  BitBtn17->SetCaption("Actualiser");
  BitBtn17->OnClick = [this](TObject* Sender) { DateTimePicker1Change(Sender); };

  // The filters carry the kinds' own images: 1 appointment, 0 home visit, 2 message.
  struct Filter {
    TBitBtn** field;
    const char* name;
    const char* caption;
    const char* hint;
    int image;
    void (TForm1::*click)(TObject*);
  };
  const Filter filters[] = {
      {&BitBtn14, "BitBtn14", "RDV", "Seulement les Rendez-Vous", 1, &TForm1::BitBtn14Click},
      {&BitBtn15, "BitBtn15", "Visites", "Seulement les Visites", 0, &TForm1::BitBtn15Click},
      {&BitBtn16, "BitBtn16", "Messages", "Seulement les Messages", 2, &TForm1::BitBtn16Click},
  };
  int left = 388;
  for (const Filter& f : filters) {
    auto& button = Placed<TBitBtn>(*this, &bar, f.name, left, 7, 80, 26, f.hint);
    button.SetCaption(f.caption);
    button.SetGlyph(*ImageList1, f.image);
    auto click = f.click;
    button.OnClick = [this, click](TObject* Sender) { (this->*click)(Sender); };
    *f.field = &button;
    left += 84;
  }

  ListView3 = &Create<TListView>("ListView3", TabSheet7);
  ListView3->SetAlign(alClient);
  ListView3->SetViewStyle(vsReport);
  ListView3->SetRowSelect(true);
  ListView3->SetGridLines(true);
  ListView3->SetMultiSelect(false);
  ListView3->SetShowHint(true);
  ListView3->SetSmallImages(ImageList1);
  struct Column {
    const char* caption;
    int width;  // -1: the default width
  };
  // The first column shows only the kind's image; Iso, numero and pris are hidden.
  const Column columns[] = {{"", 20},          {"Heure", -1},   {"Nom", 100},          {"Pr\xC3\xA9nom", 100},
                            {"Motif", 120},    {"T\xC3\xA9l", 80}, {"Iso", 0},        {"Fax/Mail/Gsm", -1},
                            {"Adresse", -1},   {"numero", 0},   {"pris", 0}};
  for (const Column& c : columns) {
    TListColumn& column = ListView3->Columns().Add();
    column.SetCaption(c.caption);
    if (c.width >= 0) column.SetWidth(c.width);
  }
  ListView3->Columns()[1].SetSample(SampleServerTime());
  ListView3->Columns()[8].SetAutoSize(true);  // "Adresse" fills the rest
  ListView3->OnCustomDrawItem = [this](TObject* Sender, TListItem* Item, TCustomDrawState State, bool& DefaultDraw) {
    ListView3CustomDrawItem(Sender, Item, State, DefaultDraw);
  };
  ListView3->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
    ListView3MouseMove(Sender, Shift, X, Y);
  };
  ListView3->OnSelectItem = [this](TObject* Sender, TListItem* Item, bool Selected) {
    ListView3SelectItem(Sender, Item, Selected);
  };
  ListView3->OnDblClick = [this](TObject* Sender) { ListView3DblClick(Sender); };

  // The slot actions, in menu order; 1 and 3 are separators.
  PopupMenu4->SetImages(ImageList2);
  struct Item {
    TMenuItem** field;
    const char* name;
    const char* caption;
    int image;
    void (TForm1::*click)(TObject*);
  };
  const Item items[] = {
      {&Lu1, "Lu1", "Lu", 4, &TForm1::Lu1Click},
      {nullptr, "Separator41", "-", -1, nullptr},
      {&Annuler1, "Annuler1", "Annuler", 3, &TForm1::Annuler1Click},
      {nullptr, "Separator42", "-", -1, nullptr},
      {&Indisponible1, "Indisponible1", "Indisponible", 2, &TForm1::Indisponible1Click},
      {&Pris1, "Pris1", "Pris", 1, &TForm1::Pris1Click},
      {&Libre1, "Libre1", "Libre", 0, &TForm1::Libre1Click},
  };
  for (const Item& i : items) {
    TMenuItem& item = PopupMenu4->Add(i.name, i.caption);
    if (!i.field) continue;
    item.SetImageIndex(i.image);
    auto click = i.click;
    item.OnClick = [this, click](TObject* Sender) { (this->*click)(Sender); };
    *i.field = &item;
  }
  ListView3->SetPopupMenu(PopupMenu4);
}

}  // namespace client
