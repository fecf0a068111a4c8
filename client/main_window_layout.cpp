// The main window as designed: its controls, their texts and hints, and where they sit.
#include "column_samples.h"
#include "edit_ini.h"
#include "main_window.h"

namespace client {

using namespace forms;

namespace {

constexpr TColor kSectionColor = RGB(0, 64, 128);
constexpr int kFieldLeft = 130;

// A title panel on the left of a settings section.
void SectionTitle(TForm& form, TWinControl* box, const std::string& name, const std::string& title, int top,
                  int height) {
  auto& panel = form.Create<TPanel>(name, box);
  panel.SetBounds(4, top, 112, height);
  panel.SetCaption(title);
  panel.SetColor(kSectionColor);
  panel.Font().SetColor(clWhite);
  panel.Font().SetStyle(fsBold);
}

TLabel& Text(TForm& form, TWinControl* parent, const std::string& name, const std::string& caption, int left,
             int top) {
  auto& label = form.Create<TLabel>(name, parent);
  label.SetLeft(left);
  label.SetTop(top);
  label.SetCaption(caption);
  return label;
}

template <class T>
T& Field(TForm& form, TWinControl* parent, const std::string& name, int left, int top, int width,
         const std::string& hint = {}) {
  auto& field = form.Create<T>(name, parent);
  field.SetBounds(left, top, width, 21);
  if (!hint.empty()) field.SetHint(hint);
  return field;
}

TLabel& StatusLabel(TForm& form, TWinControl* parent, const std::string& name, int top) {
  auto& label = Text(form, parent, name, "", kFieldLeft, top);
  label.SetAutoSize(false);
  label.SetWordWrap(true);
  label.SetBounds(kFieldLeft, top, 480, 32);
  label.Font().SetColor(clRed);
  label.Font().SetStyle(fsBold);
  return label;
}

TSpeedButton& GlyphButton(TForm& form, TWinControl* parent, const std::string& name, const std::string& glyph,
                          const std::string& hint, int left, int top) {
  auto& button = form.Create<TSpeedButton>(name, parent);
  button.SetBounds(left, top, 28, 23);
  button.SetCaption(glyph);
  button.SetFlat(true);
  button.SetHint(hint);
  return button;
}

TBitBtn& PageLink(TForm& form, TWinControl* parent, const std::string& name, const std::string& caption, int left,
                  int top) {
  auto& button = form.Create<TBitBtn>(name, parent);
  button.SetBounds(left, top, 110, 25);
  button.SetCaption(caption);
  return button;
}

TListView& ReportList(TForm& form, TWinControl* parent, const std::string& name) {
  auto& list = form.Create<TListView>(name, parent);
  list.SetAlign(alClient);
  list.SetViewStyle(vsReport);
  list.SetRowSelect(true);
  list.SetGridLines(true);
  return list;
}

}  // namespace

TForm1::TForm1(TComponent* Owner) : TForm(Owner) {
  Form1 = this;
  SetName("Form1");
  SetCaption("Orvalis Pulse");
  SetPosition(poDesktopCenter);
  SetBounds(0, 0, 664, 572);
  SetShowHint(true);
  // The form's own handlers come first: the settings component takes over OnClose when
  // it is created and calls this one from its wrapper.
  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };

  BuildComponents();
  BuildButtonBars();
  BuildPages();
  BuildSettingsPage();
  BuildCarriers();
  // The mail watch and the friends pages.
  BuildMailPage();
  BuildFriendsPages();

  // The settings component comes last, so that it finds every control when it loads.
  EditIni1 = &Create<settings_store::TEditIni>("EditIni1");
  EditIni1->SetSauveEdit(true);
  EditIni1->SetSauveDateTimePicker(false);
  EditIni1->SetSauveCheckBox(true);
  EditIni1->SetSauveRadioButton(true);
  EditIni1->SetSauveSpinEdit(false);
  EditIni1->SetSauveMemo(false);
  EditIni1->SetSauveRichEdit(false);
  EditIni1->SetSauveComboBox(false);
  EditIni1->SetSauveListBox(false);
  EditIni1->SetSauveStringGrid(false);
}

TForm1::~TForm1() {
  if (Application) {
    Application->OnException = nullptr;
    Application->OnMinimize = nullptr;
  }
  DestroyComponents();
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::BuildComponents() {
  ImageList1 = &Create<TImageList>("ImageList1");
  ImageList1->AddColor(RGB(46, 139, 87));   // 0 home visit
  ImageList1->AddColor(RGB(65, 105, 225));  // 1 appointment
  ImageList1->AddColor(RGB(218, 165, 32));  // 2 message
  ImageList2 = &Create<TImageList>("ImageList2");
  // Menu icons; 7 is "Enregistrer comme lu".
  for (int i = 0; i < 8; ++i) ImageList2->AddColor(i == 7 ? RGB(34, 139, 34) : kSectionColor);
  ImageList3 = &Create<TImageList>("ImageList3");

  Timer1 = &Create<TTimer>("Timer1");
  Timer1->SetInterval(300000);
  Timer1->OnTimer = [this](TObject* Sender) { Timer1Timer(Sender); };
  Timer1->SetEnabled(true);

  auto& trayImages = Create<TImageList>("TrayImages");
  trayImages.SetSize(22, 22);
  trayImages.AddColor(kSectionColor);
  RxTrayIcon1 = &Create<TRxTrayIcon>("RxTrayIcon1");
  RxTrayIcon1->SetHint("Orvalis Pulse");
  RxTrayIcon1->SetIcon(trayImages, 0);
  RxTrayIcon1->OnClick = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    RxTrayIcon1Click(Sender, Button, Shift, X, Y);
  };
  RxTrayIcon1->OnNotificationAreaChange = [this](TObject* Sender) { RxTrayIcon1NotificationAreaChange(Sender); };
  RxTrayIcon1->SetActive(true);

  // What the application lets out or does comes to this window (the application events).
  Application->OnException = [this](TObject* Sender, const std::exception& E) { ApplicationEvents1Exception(Sender, E); };
  Application->OnMinimize = [this](TObject* Sender) { ApplicationEvents1Minimize(Sender); };

  OpenDialog2 = &Create<TOpenDialog>("OpenDialog2");
  OpenDialog2->SetFilter("wav|*.wav");

  PopupMenu1 = &Create<TPopupMenu>("PopupMenu1");
  PopupMenu2 = &Create<TPopupMenu>("PopupMenu2");  // its items: BuildMailPage
  PopupMenu3 = &Create<TPopupMenu>("PopupMenu3");
  PopupMenu4 = &Create<TPopupMenu>("PopupMenu4");
}

void TForm1::BuildButtonBars() {
  // The status bar first: aligned at the bottom, it stays below the bottom bar.
  StatusBar1 = &Create<TStatusBar>("StatusBar1", this);
  StatusBar1->SetAlign(alBottom);
  StatusBar1->AddPanel().SetWidth(400);

  Panel2 = &Create<TPanel>("Panel2", this);
  Panel2->SetAlign(alBottom);
  Panel2->SetHeight(38);
  SpeedButton10 = &Create<TSpeedButton>("SpeedButton10", Panel2);
  SpeedButton10->SetBounds(8, 6, 100, 26);
  SpeedButton10->SetCaption("Quitter");
  SpeedButton10->OnClick = [this](TObject* Sender) { SpeedButton10Click(Sender); };
  SpeedButton8 = &Create<TSpeedButton>("SpeedButton8", Panel2);
  SpeedButton8->SetBounds(548, 6, 100, 26);
  SpeedButton8->SetCaption("R\xC3\xA9" "duire");
  SpeedButton8->SetHint("R\xC3\xA9" "duire l'application \xC3\xA0 c\xC3\xB4t\xC3\xA9 de l'heure");
  SpeedButton8->OnClick = [this](TObject* Sender) { SpeedButton8Click(Sender); };
  Button1 = &Create<TButton>("Button1", Panel2);
  Button1->SetBounds(200, 6, 100, 26);
  Button1->SetCaption("Voir Fen\xC3\xAAtre");
  Button1->SetVisible(false);
  Button1->OnClick = [this](TObject* Sender) { Button1Click(Sender); };
  Button4 = &Create<TButton>("Button4", Panel2);
  Button4->SetBounds(310, 6, 100, 26);
  Button4->SetVisible(false);
  Button4->OnClick = [this](TObject* Sender) { Button4Click(Sender); };

  Panel1 = &Create<TPanel>("Panel1", this);
  Panel1->SetAlign(alTop);
  Panel1->SetHeight(64);
  Panel1->SetBevelOuter(bvNone);
  struct PageButton {
    TJvTransparentButton** field;
    const char* name;
    const char* caption;
    const char* hint;
    void (TForm1::*click)(TObject*);
  };
  const PageButton buttons[] = {
      {&JvTransparentButton3, "JvTransparentButton3", "Mouvements", "Visualisation des mouvements en attentes",
       &TForm1::JvTransparentButton3Click},
      {&JvTransparentButton1, "JvTransparentButton1", "Consigne", "Transmettre une consigne",
       &TForm1::JvTransparentButton1Click},
      {&JvTransparentButton2, "JvTransparentButton2", "E-mail", "Vos E-mail", &TForm1::JvTransparentButton2Click},
      {&JvTransparentButton4, "JvTransparentButton4", "Agenda", "Votre Orvalis", &TForm1::JvTransparentButton4Click},
      {&JvTransparentButton5, "JvTransparentButton5", "Configurer", "Configuration des options",
       &TForm1::JvTransparentButton5Click},
      {&JvTransparentButton7, "JvTransparentButton7", "Mise \xC3\xA0 jour", "Mise \xC3\xA0 jour",
       &TForm1::JvTransparentButton7Click},
  };
  int left = 4;
  for (const PageButton& b : buttons) {
    auto& button = Create<TJvTransparentButton>(b.name, Panel1);
    button.SetBounds(left, 4, 100, 56);
    button.SetCaption(b.caption);
    button.SetHint(b.hint);
    button.SetGlyph(*ImageList1, 0);
    auto click = b.click;
    button.OnClick = [this, click](TObject* Sender) { (this->*click)(Sender); };
    *b.field = &button;
    left += 108;
  }
  // At design only the first page's button is in colour; "Mise à jour" never changes.
  JvTransparentButton3->SetAutoGray(false);
  for (auto* button : {JvTransparentButton1, JvTransparentButton2, JvTransparentButton4, JvTransparentButton5,
                       JvTransparentButton7})
    button->SetAutoGray(true);
}

void TForm1::BuildPages() {
  PageControl1 = &Create<TPageControl>("PageControl1", this);
  PageControl1->SetAlign(alClient);
  TTabSheet** sheets[] = {&TabSheet1, &TabSheet2, &TabSheet3, &TabSheet4, &TabSheet5, &TabSheet6, &TabSheet7};
  for (int i = 0; i < 7; ++i) {
    *sheets[i] = &Create<TTabSheet>("TabSheet" + std::to_string(i + 1), PageControl1);
    (*sheets[i])->SetTabVisible(false);
  }

  // 0: pending entries.
  Label1 = &Text(*this, TabSheet1, "Label1", "Cliquez droit, sur le mouvement, ou les mouvements s\xC3\xA9lectionn\xC3\xA9s", 8,
                 4);
  Label1->SetAlign(alTop);
  ListView1 = &ReportList(*this, TabSheet1, "ListView1");
  BuildPendingList();

  // 1: friend subjects.
  Text(*this, TabSheet2, "Label17", "Sujets AMIS", 8, 8).Font().SetStyle(fsBold);
  ListBox4 = &Create<TListBox>("ListBox4", TabSheet2);
  ListBox4->SetBounds(8, 32, 300, 380);
  ListBox4->SetSorted(true);
  BitBtn12 = &PageLink(*this, TabSheet2, "BitBtn12", "Base AMIS", 330, 32);
  BitBtn12->OnClick = [this](TObject* Sender) { BitBtn1Click(Sender); };

  // 2: instruction and stop visits.
  BuildInstructionPage();

  // 3: mail.
  auto& mailBar = Create<TPanel>("Panel3", TabSheet4);
  mailBar.SetAlign(alBottom);
  mailBar.SetHeight(36);
  mailBar.SetBevelOuter(bvNone);
  BitBtn1 = &PageLink(*this, &mailBar, "BitBtn1", "Base AMIS", 8, 6);
  BitBtn1->OnClick = [this](TObject* Sender) { BitBtn1Click(Sender); };
  BitBtn7 = &PageLink(*this, &mailBar, "BitBtn7", "Sujets AMIS", 126, 6);
  BitBtn7->OnClick = [this](TObject* Sender) { BitBtn7Click(Sender); };
  ListView2 = &ReportList(*this, TabSheet4, "ListView2");
  ListView2->SetPopupMenu(PopupMenu2);

  // 5: friends.
  Text(*this, TabSheet6, "Label18", "Liste des AMIS", 8, 8).Font().SetStyle(fsBold);
  ListBox3 = &Create<TListBox>("ListBox3", TabSheet6);
  ListBox3->SetBounds(8, 32, 300, 380);
  ListBox3->SetSorted(true);
  ListBox3->SetPopupMenu(PopupMenu3);
  BitBtn13 = &PageLink(*this, TabSheet6, "BitBtn13", "Sujets AMIS", 330, 32);
  BitBtn13->OnClick = [this](TObject* Sender) { BitBtn7Click(Sender); };

  // 6: day agenda.
  BuildAgendaPage();

  // At design the settings page is the one shown.
  PageControl1->SetActivePageIndex(kPageSettings);
}

void TForm1::BuildPendingList() {
  ListView1->SetMultiSelect(true);
  ListView1->SetShowHint(true);
  ListView1->SetSmallImages(ImageList1);
  struct Column {
    const char* caption;
    int width;
  };
  // The first column shows only the kind's icon; "Iso" is there for the ids, hidden.
  const Column columns[] = {{"", 20},        {"Date", 70},         {"Heure", 50}, {"Nom", 100},
                            {"Pr\xC3\xA9nom", 100}, {"Motif", 120}, {"T\xC3\xA9l", 80},   {"Iso", 0},
                            {"Fax/Mail/Gsm", 100}};
  for (const Column& c : columns) {
    TListColumn& column = ListView1->Columns().Add();
    column.SetCaption(c.caption);
    column.SetWidth(c.width);
  }
  ListView1->Columns()[1].SetSample(SampleDate());
  ListView1->Columns()[2].SetSample(SampleServerTime());
  TListColumn& address = ListView1->Columns().Add();
  address.SetCaption("Adresse");
  address.SetAutoSize(true);
  address.SetWidth(150);  // the least it shows of an address, the list scrolling to it
  ListView1->OnCustomDrawItem = [this](TObject* Sender, TListItem* Item, TCustomDrawState State, bool& DefaultDraw) {
    ListView1CustomDrawItem(Sender, Item, State, DefaultDraw);
  };
  ListView1->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
    ListView1MouseMove(Sender, Shift, X, Y);
  };
  ListView1->OnSelectItem = [this](TObject* Sender, TListItem* Item, bool Selected) {
    ListView1SelectItem(Sender, Item, Selected);
  };

  PopupMenu1->SetImages(ImageList2);
  Mouvementlu1 = &PopupMenu1->Add("Mouvementlu1", "Enregistrer comme lu");
  Mouvementlu1->SetImageIndex(7);
  Mouvementlu1->SetEnabled(false);
  Mouvementlu1->OnClick = [this](TObject* Sender) { Mouvementlu1Click(Sender); };
  ListView1->SetPopupMenu(PopupMenu1);
}

void TForm1::BuildSettingsPage() {
  ScrollBox3 = &Create<TScrollBox>("ScrollBox3", TabSheet5);
  ScrollBox3->SetAlign(alClient);
  ScrollBox3->HorzScrollBar().SetVisible(false);
  ScrollBox3->OnMouseWheelDown = [this](TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled) {
    ScrollBox3MouseWheelDown(Sender, Shift, MousePos, Handled);
  };
  ScrollBox3->OnMouseWheelUp = [this](TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled) {
    ScrollBox3MouseWheelUp(Sender, Shift, MousePos, Handled);
  };
  TabSheet5->OnShow = [this](TObject* Sender) { TabSheet5Show(Sender); };
  TWinControl* box = ScrollBox3;
  const int x = kFieldLeft;

  // Orvalis.
  SectionTitle(*this, box, "Panel4", "Orvalis", 4, 168);
  Text(*this, box, "Label2", "Nom de connexion Orvalis", x, 8);
  nom_ov = &Field<TEdit>(*this, box, "nom_ov", x, 26, 200, "indiquer ici votre nom de connexion Orvalis");
  Text(*this, box, "Label3", "Mot de Passe de connexion", x + 230, 8);
  MaskEdit1 = &Field<TMaskEdit>(*this, box, "MaskEdit1", x + 230, 26, 200,
                                "Indiquer ici votre mot de passe de connexion Orvalis");
  MaskEdit1->SetPasswordChar('*');
  MaskEdit1->OnChange = [this](TObject* Sender) { MaskEdit1Change(Sender); };
  pass_ov = &Field<TEdit>(*this, box, "pass_ov", x + 230, 50, 200);
  pass_ov->SetVisible(false);
  Text(*this, box, "Label4", "Indiquer ici l'adresse IP ou le site Web de votre secr\xC3\xA9tariat ", x, 62);
  site_ov = &Field<TEdit>(*this, box, "site_ov", x, 80, 430, "Indiquer ici l'adresse de votre secr\xC3\xA9tariat");
  Text(*this, box, "Label5", "Exemple : 192.168.1.20  ou  secretariat.exemple.fr", x, 108);
  Text(*this, box, "Label20", "N'\xC3\xA9" "crivez pas \"http://\" devant l'adresse.", x, 128);

  // Mouvements.
  SectionTitle(*this, box, "Panel5", "Mouvements", 180, 160);
  Text(*this, box, "Label7", "Cochez les cases des types de mouvements que vous souhaitez faire appara\xC3\xAEtre", x,
       184);
  struct Box {
    TCheckBox** field;
    const char* name;
    const char* caption;
    int left, top, width;
  };
  const Box boxes[] = {
      {&message_ov, "message_ov", "Messages", x, 206, 100},
      {&vi_ov, "vi_ov", "Visites", x + 110, 206, 100},
      {&rdv_ov, "rdv_ov", "Rendez-vous", x + 220, 206, 110},
      {&e_mail, "e_mail", "Vos E-mail", x + 340, 206, 100},
      {&urgent_mess, "urgent_mess", "Seulement les messages urgents", x, 230, 260},
  };
  for (const Box& b : boxes) {
    auto& check = Create<TCheckBox>(b.name, box);
    check.SetBounds(b.left, b.top, b.width, 20);
    check.SetCaption(b.caption);
    *b.field = &check;
  }
  message_ov->OnClick = [this](TObject* Sender) { message_ovClick(Sender); };
  urgent_mess->OnClick = [this](TObject* Sender) { urgent_messClick(Sender); };
  vi_ov->OnClick = [this](TObject* Sender) { vi_ovClick(Sender); };
  rdv_ov->OnClick = [this](TObject* Sender) { rdv_ovClick(Sender); };
  Button2 = &Create<TButton>("Button2", box);
  Button2->SetBounds(x, 258, 190, 26);
  Button2->SetCaption("Essai Connexion Orvalis");
  Button2->OnClick = [this](TObject* Sender) { Button2Click(Sender); };
  Label16 = &StatusLabel(*this, box, "Label16", 292);

  // E-mail.
  SectionTitle(*this, box, "Panel6", "E-mail", 348, 190);
  Text(*this, box, "Label8", "Serveur (POP3)", x, 352);
  pop_3 = &Field<TEdit>(*this, box, "pop_3", x, 370, 200, "Exemple : pop.exemple.fr  ou  mail.exemple.net");
  Text(*this, box, "Label9", "Nom du compte", x + 230, 352);
  pop_user = &Field<TEdit>(*this, box, "pop_user", x + 230, 370, 200);
  Text(*this, box, "Label10", "Mot de passe", x, 398);
  MaskEdit2 = &Field<TMaskEdit>(*this, box, "MaskEdit2", x, 416, 200);
  MaskEdit2->SetPasswordChar('*');
  MaskEdit2->OnChange = [this](TObject* Sender) { MaskEdit2Change(Sender); };
  pop_passe = &Field<TEdit>(*this, box, "pop_passe", x, 440, 200);
  pop_passe->SetVisible(false);
  Text(*this, box, "Label11", "Port", x + 230, 398);
  pop_port = &Field<TEdit>(*this, box, "pop_port", x + 230, 416, 60);
  pop_port->SetText("110");
  Text(*this, box, "Label12", "Utilisez le port 110  (sauf si configuration  sp\xC3\xA9" "cifique)", x, 444);
  Button5 = &Create<TButton>("Button5", box);
  Button5->SetBounds(x, 466, 190, 26);
  Button5->SetCaption("Essai POP3");
  Button5->OnClick = [this](TObject* Sender) { Button5Click(Sender); };
  Label15 = &StatusLabel(*this, box, "Label15", 498);
  Edit2 = &Field<TEdit>(*this, box, "Edit2", x + 300, 466, 40);
  Edit2->SetVisible(false);

  // Son.
  SectionTitle(*this, box, "Panel7", "Son", 546, 130);
  Text(*this, box, "Label13", "Si un mouvement est saisi ex\xC3\xA9" "cute un bip.", x, 550);
  bip_ov = &Create<TCheckBox>("bip_ov", box);
  bip_ov->SetBounds(x, 570, 60, 20);
  bip_ov->SetCaption("Bip");
  bip_ov->SetHint("Votre ordinateur \xC3\xA9mettra un son si un mouvement est en attente.");
  on_equeued = &Field<TEdit>(*this, box, "on_equeued", x + 70, 570, 330, "Chemin complet du fichier WAV");
  SpeedButton18 = &GlyphButton(*this, box, "SpeedButton18", "\xE2\x99\xAA", "Ecouter le Bip", x + 406, 569);
  SpeedButton18->OnClick = [this](TObject* Sender) { SpeedButton18Click(Sender); };
  SpeedButton17 = &GlyphButton(*this, box, "SpeedButton17", "\xE2\x96\xB6", "Ecouter le fichier WAV", x + 436, 569);
  SpeedButton17->OnClick = [this](TObject* Sender) { SpeedButton17Click(Sender); };
  SpeedButton16 = &GlyphButton(*this, box, "SpeedButton16", "\xE2\x80\xA6", "S\xC3\xA9lectionner le fichier WAV",
                               x + 466, 569);
  SpeedButton16->OnClick = [this](TObject* Sender) { SpeedButton16Click(Sender); };

  auto& mailSound = Create<TGroupBox>("GroupBox1", box);
  mailSound.SetBounds(x, 602, 500, 64);
  mailSound.SetCaption("Fonction E-mail");
  pop_ami = &Field<TEdit>(*this, &mailSound, "pop_ami", 10, 24, 400);
  SpeedButton1 = &GlyphButton(*this, &mailSound, "SpeedButton1", "\xE2\x80\xA6", "S\xC3\xA9lectionner le fichier WAV", 416,
                              23);
  SpeedButton1->OnClick = [this](TObject* Sender) { SpeedButton1Click(Sender); };
  SpeedButton2 = &GlyphButton(*this, &mailSound, "SpeedButton2", "\xE2\x96\xB6", "Ecouter le fichier WAV AMI", 446, 23);
  SpeedButton2->OnClick = [this](TObject* Sender) { SpeedButton2Click(Sender); };
  Edit5 = &Field<TEdit>(*this, box, "Edit5", x + 300, 680, 40);
  Edit5->SetVisible(false);
  // Room below the last section, so the whole page can be scrolled into view.
  Text(*this, box, "Label14", "", x, 690);
}

void TForm1::BuildCarriers() {
  // Hidden controls that carry reply lines and selected ids between handlers.
  auto memo = [this](const char* name) {
    auto& m = Create<TMemo>(name, Panel2);
    m.SetVisible(false);
    return &m;
  };
  Memo1 = memo("Memo1");
  Memo2 = memo("Memo2");
  Memo4 = memo("Memo4");
  Memo5 = memo("Memo5");
  auto list = [this](const char* name) {
    auto& l = Create<TListBox>(name, Panel2);
    l.SetVisible(false);
    return &l;
  };
  ListBox1 = list("ListBox1");
  ListBox2 = list("ListBox2");
  ListBox5 = list("ListBox5");
}

}  // namespace client
