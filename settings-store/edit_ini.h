#pragma once
// TEditIni: the settings component. Dropped on a form, it restores the form's input controls
// from "serie.ini" beside the executable once the form is built, and writes back those whose
// name holds "_" when the application's first form closes or when asked to. The control's
// kind decides how its value is stored and its Name is the key, in a section named after
// the form (lists and grids get a section of their own: form name + control name).
//
// One Boolean flag per kind of control says whether that kind is handled. Restoring and
// saving always cover every form of the application that owns a TEditIni, each with the
// flags of its own last TEditIni.
#include <exception>
#include <string>

#include "forms/classes.h"
#include "forms/form.h"
#include "forms/inifile.h"
#include "forms/strings.h"

namespace forms {
class TStringGrid;
}

namespace settings_store {

// The settings file: the executable's folder followed by "serie.ini".
std::string SettingsFilePath();

// A value no one types: read as the default of an edit box's key, it tells an absent key
// from an empty one ("%ù@à*£"; in Windows-1252 the bytes 25 F9 40 E0 2A A3).
inline constexpr const char* kAbsentKey = "%\xC3\xB9@\xC3\xA0*\xC2\xA3";

class TEditIni : public forms::TComponent {
 public:
  // Sets the flags to their defaults. The component that sits on the application's first
  // form (the application has no main form yet) also takes over that form's OnClose: the
  // form's own handler runs first, then the settings are saved.
  explicit TEditIni(forms::TComponent* Owner);

  bool SauveEdit() const { return sauveEdit_; }
  void SetSauveEdit(bool v) { sauveEdit_ = v; }
  bool SauveDateTimePicker() const { return sauveDateTimePicker_; }
  void SetSauveDateTimePicker(bool v) { sauveDateTimePicker_ = v; }
  bool SauveCheckBox() const { return sauveCheckBox_; }
  void SetSauveCheckBox(bool v) { sauveCheckBox_ = v; }
  bool SauveRadioButton() const { return sauveRadioButton_; }
  void SetSauveRadioButton(bool v) { sauveRadioButton_ = v; }
  bool SauveSpinEdit() const { return sauveSpinEdit_; }
  void SetSauveSpinEdit(bool v) { sauveSpinEdit_ = v; }
  bool SauveMemo() const { return sauveMemo_; }
  void SetSauveMemo(bool v) { sauveMemo_ = v; }
  bool SauveRichEdit() const { return sauveRichEdit_; }
  void SetSauveRichEdit(bool v) { sauveRichEdit_ = v; }
  bool SauveComboBox() const { return sauveComboBox_; }
  void SetSauveComboBox(bool v) { sauveComboBox_ = v; }
  bool SauveListBox() const { return sauveListBox_; }
  void SetSauveListBox(bool v) { sauveListBox_ = v; }
  bool SauveStringGrid() const { return sauveStringGrid_; }
  void SetSauveStringGrid(bool v) { sauveStringGrid_ = v; }

  // Restores the settings, then the framework's own Loaded.
  void Loaded() override;

  // Saves every handled control whose name holds "_", of every form that owns a TEditIni,
  // in one pass: the file is written once, at the end. A control that cannot be written is
  // skipped and the others are still saved; a save that failed (a control or the file) is
  // handed to the application's exception handling once, and SauveIni itself never throws.
  void SauveIni();
  // Restores every handled control of every form that owns a TEditIni, reading the file
  // once. A value that cannot be read or converted leaves its control as it was.
  void ChargeIni();

  // The last TEditIni among the form's components, or nullptr.
  static TEditIni* TrouveEditIni(const forms::TForm& form);
  static bool ContientEditIni(const forms::TForm& form);

  // A list of lines or items and an index, in a section of its own.
  static void SauveListe(forms::TIniFile& ini, const std::string& section, const forms::TStrings& list, int index);
  static void ChargeListe(forms::TIniFile& ini, const std::string& section, forms::TStrings& list, int& index);
  // A string grid: its sizes, current cell and Tag, and its non-blank cells.
  static void SauveGrille(forms::TIniFile& ini, const std::string& section, const forms::TStringGrid& grid);
  static void ChargeGrille(forms::TIniFile& ini, const std::string& section, forms::TStringGrid& grid);

 private:
  void FermeProprietaire(forms::TObject* Sender, forms::TCloseAction& Action);
  // One form's controls, by this component's flags.
  void RestoreControls(forms::TIniFile& ini, const forms::TForm& form) const;
  // The first control that could not be written leaves its failure in `firstFailure`.
  void SaveControls(forms::TIniFile& ini, const forms::TForm& form, std::exception_ptr& firstFailure) const;

  bool sauveEdit_ = true;
  bool sauveDateTimePicker_ = true;
  bool sauveCheckBox_ = true;
  bool sauveRadioButton_ = true;
  bool sauveSpinEdit_ = true;
  bool sauveMemo_ = false;
  bool sauveRichEdit_ = false;
  bool sauveComboBox_ = true;
  bool sauveListBox_ = true;
  bool sauveStringGrid_ = false;

  forms::TForm* hookedForm_ = nullptr;
  forms::TCloseEvent formerOnClose_;
};

}  // namespace settings_store
