// The main window's mail page as designed: the mail list's columns, its popup menu and the
// button that starts the mail program; the POP3 client and the message.
#include "column_samples.h"
#include "forms/application.h"
#include "main_window.h"

namespace client {

using namespace forms;

void TForm1::BuildMailPage() {
  POP3 = std::make_unique<mail::Pop3Client>();
  // While the server is waited for, the windows keep being served.
  POP3->Pump = [] {
    if (Application) Application->ProcessMessages();
  };
  IdMsg = std::make_unique<mail::Message>();

  // Row images 4 (a multipart mail), 5 (a friend's mail) and 6 (any other mail).
  while (ImageList1->Count() < 4) ImageList1->AddColor(clSilver);
  ImageList1->AddColor(RGB(70, 130, 180));
  ImageList1->AddColor(RGB(220, 20, 60));
  ImageList1->AddColor(RGB(112, 128, 144));

  ListView2->SetMultiSelect(true);
  ListView2->SetSmallImages(ImageList1);
  struct Column {
    const char* caption;
    int width;
  };
  const Column columns[] = {{"", 20}, {"N\xC2\xB0", 30}, {"Date", 70}, {"Heure", 50}, {"Sujet", 200}};
  for (const Column& c : columns) {
    TListColumn& column = ListView2->Columns().Add();
    column.SetCaption(c.caption);
    column.SetWidth(c.width);
  }
  ListView2->Columns()[2].SetSample(SampleDate());
  ListView2->Columns()[3].SetSample(SampleTime());
  TListColumn& sender = ListView2->Columns().Add();
  sender.SetCaption("Exp\xC3\xA9" "diteur");
  sender.SetAutoSize(true);
  ListView2->OnSelectItem = [this](TObject* Sender, TListItem* Item, bool Selected) {
    ListView2SelectItem(Sender, Item, Selected);
  };
  ListView2->OnCustomDrawItem = [this](TObject* Sender, TListItem* Item, TCustomDrawState State, bool& DefaultDraw) {
    ListView2CustomDrawItem(Sender, Item, State, DefaultDraw);
  };

  // PopupMenu2, its items in their places (0 to 11).
  const auto item = [this](const char* name, const std::string& caption, void (TForm1::*click)(TObject*)) {
    TMenuItem& i = PopupMenu2->Add(name, caption);
    if (click) i.OnClick = [this, click](TObject* Sender) { (this->*click)(Sender); };
    return &i;
  };
  LirelEmailenModeTexte1 =
      item("LirelEmailenModeTexte1", "Lire l'E-mail en Mode Texte", &TForm1::Afficherladebutdumessage1Click);
  item("MailSeparator1", "-", nullptr);
  Repondrelexpditeur1 =
      item("Repondrelexpditeur1", "Repondre \xC3\xA0 l'exp\xC3\xA9" "diteur", &TForm1::Repondrelexpditeur1Click);
  item("MailSeparator2", "-", nullptr);
  Ajouterlexpditeurlalistedesamis1 =
      item("Ajouterlexpditeurlalistedesamis1", "Ajouter l'exp\xC3\xA9" "diteur \xC3\xA0 la liste des amis",
           &TForm1::Ajouterlexpditeurlalistedesamis1Click);
  Ajouterledomainelalistedesamis1 =
      item("Ajouterledomainelalistedesamis1", "Ajouter le domaine \xC3\xA0 la liste des amis",
           &TForm1::Ajouterledomainelalistedesamis1Click);
  item("MailSeparator3", "-", nullptr);
  SupprimercetEmaildemonserveurPOP1 = item("SupprimercetEmaildemonserveurPOP1", "Supprimer de mon serveur POP",
                                           &TForm1::SupprimerEmaildemonserveur1Click);
  item("MailSeparator4", "-", nullptr);
  EnvoyerunEmail1 = item("EnvoyerunEmail1", "Envoyer un E-mail", &TForm1::EnvoyerunEmail1Click);
  ListedesAMIS1 = item("ListedesAMIS1", "Liste des AMIS", &TForm1::BitBtn1Click);
  Lancevotremessagerie1 = item("Lancevotremessagerie1", "Lance votre messagerie", &TForm1::Button6Click);
  // Until a row is selected, only the last three items act.
  for (TMenuItem* i : {LirelEmailenModeTexte1, Repondrelexpditeur1, Ajouterlexpditeurlalistedesamis1,
                       Ajouterledomainelalistedesamis1, SupprimercetEmaildemonserveurPOP1})
    i->SetEnabled(false);

  // The mail program: a button beside the page links, and the hidden one of the bottom bar.
  TWinControl* bar = BitBtn1->Parent();
  BitBtn5 = &Create<TBitBtn>("BitBtn5", bar);
  BitBtn5->SetBounds(244, 6, 170, 25);
  BitBtn5->SetCaption("Lancer votre messagerie");
  BitBtn5->SetHint("Lance votre client de messagerie");
  BitBtn5->OnClick = [this](TObject* Sender) { Button6Click(Sender); };
  Button6 = &Create<TButton>("Button6", Panel2);
  Button6->SetBounds(420, 6, 100, 26);
  Button6->SetCaption("Lance votre Messagerie");
  Button6->SetVisible(false);
  Button6->OnClick = [this](TObject* Sender) { Button6Click(Sender); };
}

}  // namespace client
