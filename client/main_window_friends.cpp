// The friends lists of the main window, read at start and written back at each close.
#include "executable_folder.h"
#include "friends_files.h"
#include "main_window.h"

namespace client {

namespace {

void Load(forms::TListBox& list, const char* fileName) {
  const auto entries = ReadFriendsFile(settings_store::ExecutableFolder() + fileName);
  if (!entries) return;  // no file: the list keeps what it has
  list.Items().Clear();
  for (const std::string& entry : *entries) list.Items().Add(entry);
}

void Save(const forms::TListBox& list, const char* fileName) {
  WriteFriendsFile(settings_store::ExecutableFolder() + fileName, list.Items().ToVector(),
                   [](const std::string& path) { forms::ShowMessage(path); });
}

}  // namespace

void TForm1::lirefichecg() { Load(*ListBox3, kFriendsFile); }
void TForm1::lirefichecg2() { Load(*ListBox4, kFriendSubjectsFile); }
void TForm1::finfichcg() { Save(*ListBox3, kFriendsFile); }
void TForm1::finfichcg2() { Save(*ListBox4, kFriendSubjectsFile); }

}  // namespace client
