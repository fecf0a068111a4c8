#include "edit_ini.h"

#include <exception>
#include <functional>
#include <set>

#include "executable_folder.h"
#include "forms/application.h"
#include "forms/buttons.h"
#include "forms/datetimepicker.h"
#include "forms/dispatcher.h"
#include "forms/edits.h"
#include "forms/lists.h"
#include "forms/spinedit.h"
#include "forms/stringgrid.h"
#include "forms/sysutils.h"

namespace settings_store {

using forms::TIniFile;

namespace {

// Runs one step of a restore or a save; whatever it throws is dropped, so a control that
// cannot be read or written stays as it was and the next one is still handled.
void Guarded(const std::function<void()>& step) {
  try {
    step();
  } catch (...) {
  }
}

// Runs one control's save; whatever it throws is kept (the first failure only) and the next
// control is still handled.
void GuardedSave(std::exception_ptr& firstFailure, const std::function<void()>& step) {
  try {
    step();
  } catch (...) {
    if (!firstFailure) firstFailure = std::current_exception();
  }
}

// Walks the forms of the application in creation order, each with the flags of its own
// last settings component.
void ForEachSettingsForm(const std::function<void(const forms::TForm&, const TEditIni&)>& visit) {
  if (!forms::Application) return;
  for (int i = 0; i < forms::Application->ComponentCount(); ++i) {
    const auto* form = dynamic_cast<const forms::TForm*>(forms::Application->Components(i));
    if (!form || !TEditIni::ContientEditIni(*form)) continue;
    visit(*form, *TEditIni::TrouveEditIni(*form));
  }
}

std::string LineKey(int n) { return "L" + std::to_string(n); }
std::string CellKey(int col, int row) { return "C" + std::to_string(col) + "L" + std::to_string(row); }

}  // namespace

std::string SettingsFilePath() { return ExecutableFolder() + "serie.ini"; }

TEditIni::TEditIni(forms::TComponent* Owner) : forms::TComponent(Owner) {
  if (!forms::Application || forms::Application->MainForm()) return;
  auto* form = dynamic_cast<forms::TForm*>(Owner);
  if (!form) return;
  hookedForm_ = form;
  formerOnClose_ = form->OnClose;
  form->OnClose = [this](forms::TObject* Sender, forms::TCloseAction& Action) { FermeProprietaire(Sender, Action); };
}

void TEditIni::Loaded() {
  ChargeIni();
  forms::TComponent::Loaded();
}

void TEditIni::FermeProprietaire(forms::TObject* Sender, forms::TCloseAction& Action) {
  if (formerOnClose_) formerOnClose_(Sender, Action);
  SauveIni();
}

TEditIni* TEditIni::TrouveEditIni(const forms::TForm& form) {
  TEditIni* found = nullptr;
  for (int i = 0; i < form.ComponentCount(); ++i)
    if (auto* settings = dynamic_cast<TEditIni*>(form.Components(i))) found = settings;
  return found;
}

bool TEditIni::ContientEditIni(const forms::TForm& form) { return TrouveEditIni(form) != nullptr; }

void TEditIni::ChargeIni() {
  TIniFile ini(SettingsFilePath());
  const TIniFile::Pass pass(ini);  // the file is read once for all the controls
  ForEachSettingsForm([&](const forms::TForm& form, const TEditIni& flags) { flags.RestoreControls(ini, form); });
}

void TEditIni::SauveIni() {
  std::exception_ptr failure;
  try {
    TIniFile ini(SettingsFilePath());
    TIniFile::Pass pass(ini);  // every control changes one copy, written once at the end
    ForEachSettingsForm(
        [&](const forms::TForm& form, const TEditIni& flags) { flags.SaveControls(ini, form, failure); });
    pass.Commit();
  } catch (...) {
    failure = std::current_exception();
  }
  if (!failure) return;
  // Settings that did not reach the disk would be lost without a word: the failure goes to
  // the application's exception handling (the client shows it in its status bar).
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    forms::HandleException(this, std::make_exception_ptr(forms::EIniFileError(
                                     "Les r\xC3\xA9glages n'ont pas pu \xC3\xAAtre enregistr\xC3\xA9s : " +
                                     std::string(e.what()))));
  } catch (...) {
    forms::HandleException(this, failure);
  }
}

void TEditIni::RestoreControls(TIniFile& ini, const forms::TForm& form) const {
  const std::string& S = form.Name();
  for (int i = 0; i < form.ComponentCount(); ++i) {
    forms::TComponent* c = form.Components(i);
    const std::string& N = c->Name();

    Guarded([&] {
      if (auto* edit = dynamic_cast<forms::TEdit*>(c); edit && sauveEdit_) {
        if (ini.ReadString(S, N, kAbsentKey) != kAbsentKey) edit->SetText(ini.ReadString(S, N, ""));
      }
    });
    Guarded([&] {
      if (auto* picker = dynamic_cast<forms::TDateTimePicker*>(c); picker && sauveDateTimePicker_) {
        if (ini.ReadString(S, N, kAbsentKey) != kAbsentKey)
          picker->SetDateTime(forms::StrToDateTime(ini.ReadString(S, N, "")));
      }
    });
    Guarded([&] {
      if (auto* box = dynamic_cast<forms::TCheckBox*>(c); box && sauveCheckBox_) box->SetChecked(ini.ReadBool(S, N, true));
    });
    Guarded([&] {
      if (auto* radio = dynamic_cast<forms::TRadioButton*>(c); radio && sauveRadioButton_)
        radio->SetChecked(ini.ReadBool(S, N, true));
    });
    Guarded([&] {
      if (auto* spin = dynamic_cast<forms::TSpinEdit*>(c); spin && sauveSpinEdit_) spin->SetValue(ini.ReadInteger(S, N, 0));
    });
    Guarded([&] {
      if (auto* memo = dynamic_cast<forms::TMemo*>(c); memo && sauveMemo_) {
        int unused = 0;
        ChargeListe(ini, S + N, memo->Lines(), unused);
      }
    });
    Guarded([&] {
      if (auto* rich = dynamic_cast<forms::TRichEdit*>(c); rich && sauveRichEdit_) {
        int unused = 0;
        ChargeListe(ini, S + N, rich->Lines(), unused);
      }
    });
    Guarded([&] {
      if (auto* grid = dynamic_cast<forms::TStringGrid*>(c); grid && sauveStringGrid_) ChargeGrille(ini, S + N, *grid);
    });
    Guarded([&] {
      if (auto* combo = dynamic_cast<forms::TComboBox*>(c); combo && sauveComboBox_) {
        int index = 0;
        ChargeListe(ini, S + N, combo->Items(), index);
        if (index <= combo->Items().Count() - 1) combo->SetItemIndex(index);
      }
    });
    Guarded([&] {
      if (auto* list = dynamic_cast<forms::TListBox*>(c); list && sauveListBox_) {
        int index = 0;
        ChargeListe(ini, S + N, list->Items(), index);
        if (index <= list->Items().Count() - 1) list->SetItemIndex(index);
      }
    });
  }
}

void TEditIni::SaveControls(TIniFile& ini, const forms::TForm& form, std::exception_ptr& firstFailure) const {
  const std::string& S = form.Name();
  for (int i = 0; i < form.ComponentCount(); ++i) {
    forms::TComponent* c = form.Components(i);
    const std::string& N = c->Name();
    if (N.find('_') == std::string::npos) continue;

    GuardedSave(firstFailure, [&] {
      if (auto* edit = dynamic_cast<forms::TEdit*>(c); edit && sauveEdit_)
        ini.WriteString(S, N, edit->Text());
      else if (auto* picker = dynamic_cast<forms::TDateTimePicker*>(c); picker && sauveDateTimePicker_)
        ini.WriteString(S, N, forms::DateTimeToStr(picker->DateTime()));
      else if (auto* box = dynamic_cast<forms::TCheckBox*>(c); box && sauveCheckBox_)
        ini.WriteBool(S, N, box->Checked());
      else if (auto* radio = dynamic_cast<forms::TRadioButton*>(c); radio && sauveRadioButton_)
        ini.WriteBool(S, N, radio->Checked());
      else if (auto* spin = dynamic_cast<forms::TSpinEdit*>(c); spin && sauveSpinEdit_)
        ini.WriteInteger(S, N, spin->Value());
      else if (auto* memo = dynamic_cast<forms::TMemo*>(c); memo && sauveMemo_)
        SauveListe(ini, S + N, memo->Lines(), 0);
      else if (auto* rich = dynamic_cast<forms::TRichEdit*>(c); rich && sauveRichEdit_)
        SauveListe(ini, S + N, rich->Lines(), 0);
      else if (auto* combo = dynamic_cast<forms::TComboBox*>(c); combo && sauveComboBox_)
        SauveListe(ini, S + N, combo->Items(), combo->ItemIndex());
      else if (auto* list = dynamic_cast<forms::TListBox*>(c); list && sauveListBox_)
        SauveListe(ini, S + N, list->Items(), list->ItemIndex());
      else if (auto* grid = dynamic_cast<forms::TStringGrid*>(c); grid && sauveStringGrid_)
        SauveGrille(ini, S + N, *grid);
    });
  }
}

void TEditIni::SauveListe(TIniFile& ini, const std::string& section, const forms::TStrings& list, int index) {
  ini.EraseSection(section);
  for (int n = 0; n < list.Count(); ++n) ini.WriteString(section, LineKey(n), list[n]);
  ini.WriteInteger(section, "ItemIndex", index);
}

void TEditIni::ChargeListe(TIniFile& ini, const std::string& section, forms::TStrings& list, int& index) {
  list.Clear();
  for (int n = 0; ini.ValueExists(section, LineKey(n)); ++n) list.Add(ini.ReadString(section, LineKey(n), ""));
  index = ini.ReadInteger(section, "ItemIndex", 0);
}

void TEditIni::SauveGrille(TIniFile& ini, const std::string& section, const forms::TStringGrid& grid) {
  ini.EraseSection(section);
  ini.WriteInteger(section, "COLCOUNT", grid.ColCount());
  ini.WriteInteger(section, "ROWCOUNT", grid.RowCount());
  ini.WriteInteger(section, "COL", grid.Col());
  ini.WriteInteger(section, "ROW", grid.Row());
  ini.WriteInteger(section, "TAG", static_cast<int>(grid.Tag()));
  for (int row = 0; row < grid.RowCount(); ++row)
    for (int col = 0; col < grid.ColCount(); ++col) {
      const std::string text = grid.Cells(col, row);
      if (!forms::Trim(text).empty()) ini.WriteString(section, CellKey(col, row), text);
    }
}

void TEditIni::ChargeGrille(TIniFile& ini, const std::string& section, forms::TStringGrid& grid) {
  if (!ini.ValueExists(section, "COLCOUNT")) return;
  grid.SetColCount(ini.ReadInteger(section, "COLCOUNT", grid.ColCount()));
  grid.SetRowCount(ini.ReadInteger(section, "ROWCOUNT", grid.RowCount()));
  grid.SetCol(ini.ReadInteger(section, "COL", grid.Col()));
  grid.SetRow(ini.ReadInteger(section, "ROW", grid.Row()));
  grid.SetTag(ini.ReadInteger(section, "TAG", static_cast<int>(grid.Tag())));

  // The section's keys are read once: a cell without a key becomes empty without another
  // look at the file, which keeps a large grid quick to restore.
  forms::TStringList keys;
  ini.ReadSection(section, keys);
  std::set<std::string> present;
  for (int k = 0; k < keys.Count(); ++k) present.insert(forms::AnsiUpperCase(keys[k]));
  for (int row = 0; row < grid.RowCount(); ++row)
    for (int col = 0; col < grid.ColCount(); ++col) {
      const std::string key = CellKey(col, row);
      grid.SetCells(col, row, present.count(forms::AnsiUpperCase(key)) ? ini.ReadString(section, key, "") : std::string());
    }
}

}  // namespace settings_store
