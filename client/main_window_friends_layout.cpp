// The two friends pages as designed: the owner-drawn lists, and beside each the groups that
// add, search and delete, and the button that starts the mail program.
#include "main_window.h"

namespace client {

using namespace forms;

namespace {

struct PageControls {
  TEdit* add;
  TBitBtn* addButton;
  TEdit* search;
  TLabel* found;
  TBitBtn* remove;
  TBitBtn* mailProgram;
};

struct PageNames {
  const char* prefix;  // of the group boxes and the search button
  const char* add;
  const char* addButton;
  const char* addHint;
  const char* search;
  const char* searchHint;
  const char* found;
  const char* remove;
  const char* removeHint;
  const char* mailProgram;
};

TBitBtn& Button(TForm& form, TWinControl* parent, const std::string& name, const std::string& caption,
                const std::string& hint, int left, int top, int width) {
  auto& b = form.Create<TBitBtn>(name, parent);
  b.SetBounds(left, top, width, 25);
  b.SetCaption(caption);
  b.SetHint(hint);
  return b;
}

TGroupBox& Group(TForm& form, TWinControl* page, const std::string& name, const std::string& caption, int top,
                 int height) {
  auto& g = form.Create<TGroupBox>(name, page);
  g.SetBounds(320, top, 320, height);
  g.SetCaption(caption);
  return g;
}

PageControls BuildListPage(TForm& form, TTabSheet* page, const PageNames& n) {
  PageControls c{};
  const std::string prefix = n.prefix;
  auto& add = Group(form, page, prefix + "Ajouter", "Ajouter", 64, 60);
  c.add = &form.Create<TEdit>(n.add, &add);
  c.add->SetBounds(10, 24, 200, 21);
  c.addButton = &Button(form, &add, n.addButton, "Ajouter", n.addHint, 220, 22, 90);

  auto& search = Group(form, page, prefix + "Rechercher", "Rechercher", 130, 60);
  c.search = &form.Create<TEdit>(n.search, &search);
  c.search->SetBounds(10, 24, 200, 21);
  Button(form, &search, prefix + "Recherche", "Recherche", n.searchHint, 220, 22, 90);  // does nothing

  auto& remove = Group(form, page, prefix + "Supprimer", "Supprimer", 196, 64);
  c.found = &form.Create<TLabel>(n.found, &remove);
  c.found->SetLeft(10);
  c.found->SetTop(28);
  c.found->Font().SetStyle(fsBold);
  c.remove = &Button(form, &remove, n.remove, "Supprimer", n.removeHint, 220, 24, 90);
  c.remove->SetEnabled(false);

  c.mailProgram = &Button(form, page, n.mailProgram, "Lancer votre messagerie", "Lance votre client de messagerie",
                          320, 276, 200);
  return c;
}

}  // namespace

void TForm1::BuildFriendsPages() {
  // The friends list (page 5).
  const PageControls friends = BuildListPage(
      *this, TabSheet6,
      {"Amis", "Edit3", "BitBtn3", "Ajouter un E-mail \xC3\xA0 la liste des amis", "Edit4", "Rechercher un ami",
       "Label19", "BitBtn2", "Supprimer un ami", "BitBtn6"});
  Edit3 = friends.add;
  BitBtn3 = friends.addButton;
  Edit4 = friends.search;
  Label19 = friends.found;
  BitBtn2 = friends.remove;
  BitBtn6 = friends.mailProgram;
  BitBtn3->OnClick = [this](TObject* Sender) { BitBtn3Click(Sender); };
  Edit4->OnChange = [this](TObject* Sender) { Edit4Change(Sender); };
  BitBtn2->OnClick = [this](TObject* Sender) { BitBtn2Click(Sender); };
  BitBtn6->OnClick = [this](TObject* Sender) { Button6Click(Sender); };
  ListBox3->SetStyle(lbOwnerDrawFixed);
  ListBox3->OnClick = [this](TObject* Sender) { ListBox3Click(Sender); };
  ListBox3->OnDrawItem = [this](TObject* Control, int Index, TRect Rect, TOwnerDrawState State) {
    ListBox3DrawItem(Control, Index, Rect, State);
  };
  EnvoyerunEmail2 = &PopupMenu3->Add("EnvoyerunEmail2", "Envoyer un E-mail");
  EnvoyerunEmail2->SetEnabled(false);
  EnvoyerunEmail2->OnClick = [this](TObject* Sender) { EnvoyerunEmail2Click(Sender); };
  PopupMenu3->Add("FriendsSeparator1", "-");
  Supprimer1 = &PopupMenu3->Add("Supprimer1", "Supprimer");
  Supprimer1->SetEnabled(false);
  Supprimer1->OnClick = [this](TObject* Sender) { BitBtn2Click(Sender); };

  // The friend subjects (page 1).
  const PageControls subjects = BuildListPage(
      *this, TabSheet2,
      {"Sujets", "Edit6", "BitBtn8", "Ajouter un sujet \xC3\xA0 la liste des sujets AMIS", "Edit7",
       "Rechercher un sujet", "Label20", "BitBtn10", "Supprimer un sujet", "BitBtn11"});
  Edit6 = subjects.add;
  BitBtn8 = subjects.addButton;
  Edit7 = subjects.search;
  Label20 = subjects.found;
  BitBtn10 = subjects.remove;
  BitBtn11 = subjects.mailProgram;
  BitBtn8->OnClick = [this](TObject* Sender) { BitBtn8Click(Sender); };
  Edit7->OnChange = [this](TObject* Sender) { Edit7Change(Sender); };
  BitBtn10->OnClick = [this](TObject* Sender) { BitBtn10Click(Sender); };
  BitBtn11->OnClick = [this](TObject* Sender) { Button6Click(Sender); };
  ListBox4->SetStyle(lbOwnerDrawFixed);
  ListBox4->OnClick = [this](TObject* Sender) { ListBox4Click(Sender); };
  ListBox4->OnDrawItem = [this](TObject* Control, int Index, TRect Rect, TOwnerDrawState State) {
    ListBox4DrawItem(Control, Index, Rect, State);
  };
}

}  // namespace client
