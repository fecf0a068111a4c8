// The friends lists: the two list files read at start and written at each close, and the two
// pages that add, search, select and delete their entries.
#include "executable_folder.h"
#include "forms/dialogs.h"
#include "friends_files.h"
#include "friends_lists.h"
#include "mailto.h"
#include "main_window.h"
#include "os/shell.h"

namespace client {

using namespace forms;

namespace {

constexpr TColor kSelectedColor = RGB(234, 220, 160);
constexpr const char* kAlreadyListed = " est d\xC3\xA9j\xC3\xA0 existant dans la liste";

// The number of characters (not bytes) of a UTF-8 text, and its first `count` characters.
std::size_t CharacterCount(const std::string& s) {
  std::size_t n = 0;
  for (const char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::string FirstCharacters(const std::string& s, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (seen == count) return s.substr(0, i);
      ++seen;
    }
  }
  return s;
}

// Reads the list from its file; when the file is there but cannot be read, `file` keeps that
// and what the list held, until the next read (the error is thrown on).
void Load(TListBox& list, TForm1::ListFile& file) {
  file.unread = true;
  file.entries = list.Items().ToVector();
  file.told = false;
  const auto entries = ReadFriendsFile(settings_store::ExecutableFolder() + file.name);
  file.unread = false;
  file.entries.clear();
  if (!entries) return;  // no file: the list keeps what it has
  list.Items().Clear();
  for (const std::string& entry : *entries) list.Items().Add(entry);
}

// A list whose file could not be read, changed since: the user learns, once, that the change
// will not be saved.
void TellWhenUnsaved(const TListBox& list, TForm1::ListFile& file, bool atClose) {
  if (!file.unread || file.told || list.Items().ToVector() == file.entries) return;
  file.told = true;
  const std::string path = settings_store::ExecutableFolder() + file.name;
  ShowMessage(path + " n'a pas pu \xC3\xAAtre lu au d\xC3\xA9marrage : " +
              (atClose ? "les changements de cette liste ne sont pas enregistr\xC3\xA9s."
                       : "cette liste ne pourra pas \xC3\xAAtre enregistr\xC3\xA9" "e, ses changements seront perdus \xC3\xA0 la fermeture."));
}

// Writes the list to its file, unless that file could not be read: it is left as it is.
void Save(const TListBox& list, TForm1::ListFile& file) {
  if (file.unread) {
    TellWhenUnsaved(list, file, true);
    return;
  }
  const std::string path = settings_store::ExecutableFolder() + file.name;
  try {
    WriteFriendsFile(path, list.Items().ToVector());
  } catch (const EInOutError& e) {
    // The old file is still whole; the user learns that this close did not save the list.
    ShowMessage(path + " : " + e.what());
  }
}

// Adding an entry typed on a page: refused when the list holds an entry that begins with it.
void AddFromPage(TEdit& edit, TListBox& list) {
  const int idx = ChercheDansListBox(edit.Text(), list);
  list.SetItemIndex(idx);
  if (idx == -1) {
    list.Items().Add(edit.Text());
    edit.SetText("");
  } else {
    ShowMessage(edit.Text() + kAlreadyListed);
  }
}

// Adding the selected mail's sender or domain to the friends list.
void AddFromMail(const std::string& value, TListBox& list) {
  const int idx = ChercheDansListBox(value, list);
  list.SetItemIndex(idx);
  if (idx == -1) {
    list.Items().Add(value);
    ShowMessage(value + ": ajout\xC3\xA9 \xC3\xA0 la liste");
  } else {
    ShowMessage(value + kAlreadyListed);
  }
}

// The search box of a page: the first entry that begins with its text.
int Search(const TEdit& edit, TListBox& list, TLabel& label, TBitBtn& remove) {
  remove.SetEnabled(false);
  const int idx = ChercheDansListBox(edit.Text(), list);
  list.SetItemIndex(idx);
  if (idx == -1) {
    label.SetCaption("");
  } else {
    label.SetCaption(list.Items()[idx]);
    remove.SetEnabled(true);
  }
  return idx;
}

void Remove(TListBox& list, TBitBtn& remove) {
  const int idx = list.ItemIndex();
  if (idx < 0) return;
  list.Items().Delete(idx);
  list.SetItemIndex(-1);
  remove.SetEnabled(false);
}

void DrawRow(TListBox& list, int index, const TRect& rect, TOwnerDrawState state) {
  TCanvas& canvas = list.Canvas();
  const std::string text = index >= 0 && index < list.Items().Count() ? list.Items()[index] : std::string();
  canvas.Brush().SetColor(index % 2 == 1 ? clWhite : cl3DLight);
  canvas.FillRect(rect);
  canvas.Font().Assign(list.Font());
  canvas.TextOut(rect.Left, rect.Top, text);
  if (state & odSelected) {
    canvas.Brush().SetColor(kSelectedColor);
    canvas.FillRect(rect);
    canvas.Font().SetColor(clWindowText);
    canvas.Font().SetStyle(canvas.Font().Style() | fsBold);
    canvas.TextOut(rect.Left, rect.Top, text);
  }
}

}  // namespace

int ChercheDansListBox(const std::string& text, const TListBox& list) {
  const std::size_t length = CharacterCount(text);
  const std::vector<std::string> items = list.Items().ToVector();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (SameText(FirstCharacters(items[i], length), text)) return static_cast<int>(i);
  return -1;
}

void TForm1::lirefichecg() { Load(*ListBox3, friendsFile_); }
void TForm1::lirefichecg2() { Load(*ListBox4, subjectsFile_); }
void TForm1::finfichcg() { Save(*ListBox3, friendsFile_); }
void TForm1::finfichcg2() { Save(*ListBox4, subjectsFile_); }

void TForm1::BitBtn3Click(TObject*) {
  AddFromPage(*Edit3, *ListBox3);
  TellWhenUnsaved(*ListBox3, friendsFile_, false);
}

void TForm1::BitBtn8Click(TObject*) {
  AddFromPage(*Edit6, *ListBox4);
  TellWhenUnsaved(*ListBox4, subjectsFile_, false);
}

void TForm1::Ajouterlexpditeurlalistedesamis1Click(TObject*) {
  AddFromMail(MailExpediteur, *ListBox3);
  TellWhenUnsaved(*ListBox3, friendsFile_, false);
}

void TForm1::Ajouterledomainelalistedesamis1Click(TObject*) {
  AddFromMail(MailDomaine, *ListBox3);
  TellWhenUnsaved(*ListBox3, friendsFile_, false);
}

void TForm1::ShowFriendInMenu(const std::string& entry, bool selected) {
  // Only a plain address (an "@" after its first character) can be written to.
  const bool address = selected && entry.find('@', 1) != std::string::npos;
  EnvoyerunEmail2->SetEnabled(address);
  EnvoyerunEmail2->SetCaption(address ? "Envoyer un E-mail \xC3\xA0 : " + entry : std::string("Envoyer un E-mail"));
  Supprimer1->SetEnabled(selected);
  Supprimer1->SetCaption(selected ? "Supprimer : " + entry : std::string("Supprimer"));
}

void TForm1::Edit4Change(TObject*) {
  const int idx = Search(*Edit4, *ListBox3, *Label19, *BitBtn2);
  ShowFriendInMenu(idx == -1 ? std::string() : ListBox3->Items()[idx], idx != -1);
}

void TForm1::Edit7Change(TObject*) { Search(*Edit7, *ListBox4, *Label20, *BitBtn10); }

void TForm1::ListBox3Click(TObject*) {
  const int idx = ListBox3->ItemIndex();
  const std::string entry = idx >= 0 ? ListBox3->Items()[idx] : std::string();
  Label19->SetCaption(entry);
  BitBtn2->SetEnabled(idx >= 0);
  ShowFriendInMenu(entry, idx >= 0);
}

void TForm1::ListBox4Click(TObject*) {
  const int idx = ListBox4->ItemIndex();
  Label20->SetCaption(idx >= 0 ? ListBox4->Items()[idx] : std::string());
  BitBtn10->SetEnabled(idx >= 0);
}

void TForm1::BitBtn2Click(TObject*) {
  Remove(*ListBox3, *BitBtn2);
  TellWhenUnsaved(*ListBox3, friendsFile_, false);
}

void TForm1::BitBtn10Click(TObject*) {
  Remove(*ListBox4, *BitBtn10);
  TellWhenUnsaved(*ListBox4, subjectsFile_, false);
}

void TForm1::EnvoyerunEmail2Click(TObject*) {
  const int idx = ListBox3->ItemIndex();
  os::ShellExecute("open", MailtoUrl(idx >= 0 ? ListBox3->Items()[idx] : std::string()));
}

void TForm1::ListBox3DrawItem(TObject*, int Index, TRect Rect, TOwnerDrawState State) {
  DrawRow(*ListBox3, Index, Rect, State);
}

void TForm1::ListBox4DrawItem(TObject*, int Index, TRect Rect, TOwnerDrawState State) {
  DrawRow(*ListBox4, Index, Rect, State);
}

}  // namespace client
