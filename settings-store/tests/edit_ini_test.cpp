// The settings component against real forms and a real "serie.ini" in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "edit_ini.h"
#include "executable_folder.h"
#include "forms/application.h"
#include "forms/buttons.h"
#include "forms/datetimepicker.h"
#include "forms/edits.h"
#include "forms/scripted_dialogs.h"
#include "forms/lists.h"
#include "forms/spinedit.h"
#include "forms/stringgrid.h"
#include "os/codepage.h"

namespace {

namespace fs = std::filesystem;
using settings_store::TEditIni;

// A form with one control of each kind the component knows, laid out as a designer would
// leave them: design texts and values are set before the settings component is loaded.
class TSettingsForm : public forms::TForm {
 public:
  TSettingsForm(forms::TComponent* Owner, std::string name, std::function<void(TSettingsForm&)> configure = {})
      : forms::TForm(Owner) {
    SetName(std::move(name));
    OnClose = [this](forms::TObject* Sender, forms::TCloseAction& Action) {
      closeCalls.push_back({Sender, Action});
      if (keepOpen) Action = forms::caNone;
    };
    nom_ov = &Create<forms::TEdit>("nom_ov", this);
    nom_ov->SetText("design login");
    Edit1 = &Create<forms::TEdit>("Edit1", this);
    Edit1->SetText("design Edit1");
    pass_mask = &Create<forms::TMaskEdit>("pass_mask", this);
    pass_mask->SetText("design mask");
    when_dt = &Create<forms::TDateTimePicker>("when_dt", this);
    when_dt->SetDateTime(forms::EncodeDate(2020, 2, 3));
    message_ov = &Create<forms::TCheckBox>("message_ov", this);
    choice_rb = &Create<forms::TRadioButton>("choice_rb", this);
    count_se = &Create<forms::TSpinEdit>("count_se", this);
    count_se->SetValue(7);
    notes_memo = &Create<forms::TMemo>("notes_memo", this);
    notes_memo->Lines().SetText("design memo\r\n");
    rich_re = &Create<forms::TRichEdit>("rich_re", this);
    choices_cb = &Create<forms::TComboBox>("choices_cb", this);
    choices_cb->Items().AddStrings({"x", "y"});
    names_lb = &Create<forms::TListBox>("names_lb", this);
    names_lb->Items().AddStrings({"p", "q", "r"});
    names_lb->SetItemIndex(1);
    table_sg = &Create<forms::TStringGrid>("table_sg", this);
    table_sg->SetCells(2, 3, "design cell");
    EditIni1 = &Create<TEditIni>("EditIni1");
    if (configure) configure(*this);
  }

  struct CloseCall {
    forms::TObject* sender;
    forms::TCloseAction action;
  };
  std::vector<CloseCall> closeCalls;
  bool keepOpen = false;

  forms::TEdit* nom_ov;
  forms::TEdit* Edit1;
  forms::TMaskEdit* pass_mask;
  forms::TDateTimePicker* when_dt;
  forms::TCheckBox* message_ov;
  forms::TRadioButton* choice_rb;
  forms::TSpinEdit* count_se;
  forms::TMemo* notes_memo;
  forms::TRichEdit* rich_re;
  forms::TComboBox* choices_cb;
  forms::TListBox* names_lb;
  forms::TStringGrid* table_sg;
  TEditIni* EditIni1;
};

class EditIniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/editini-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    folder_ = std::make_unique<settings_store::ScopedExecutableFolder>(dir_.string());
    StartApplication();
  }
  void TearDown() override {
    app_.reset();
    folder_.reset();
    fs::remove_all(dir_);
  }

  // A new program run: the old application and its forms go first.
  void StartApplication() {
    app_.reset();
    app_ = std::make_unique<forms::TApplication>();
  }

  fs::path IniPath() const { return dir_ / "serie.ini"; }
  // Writes the settings file as it lies on disk: Windows-1252, CR LF.
  void WriteIni(const std::string& utf8Text) {
    std::ofstream out(IniPath(), std::ios::binary);
    std::string text = os::Utf8ToCp1252(utf8Text);
    std::string crlf;
    for (char ch : text) {
      if (ch == '\n') crlf += '\r';
      crlf += ch;
    }
    out << crlf;
  }
  std::string ReadIni() const {
    std::ifstream in(IniPath(), std::ios::binary);
    return os::Cp1252ToUtf8(std::string(std::istreambuf_iterator<char>(in), {}));
  }
  forms::TIniFile Ini() const { return forms::TIniFile(IniPath().string()); }

  TSettingsForm& CreateForm(const std::string& name = "Form1", std::function<void(TSettingsForm&)> configure = {}) {
    return app_->CreateForm<TSettingsForm>(name, std::move(configure));
  }

  forms::ScriptedDialogs dialogs_;  // no box ever waits for a user
  fs::path dir_;
  std::unique_ptr<settings_store::ScopedExecutableFolder> folder_;
  std::unique_ptr<forms::TApplication> app_;
};

TEST_F(EditIniTest, FirstStartWithoutFileKeepsDesignTextsAndTicksEveryBox) {
  auto& form = CreateForm();
  EXPECT_EQ(form.nom_ov->Text(), "design login");
  EXPECT_EQ(form.Edit1->Text(), "design Edit1");
  EXPECT_TRUE(form.message_ov->Checked());
  EXPECT_TRUE(form.choice_rb->Checked());
  EXPECT_EQ(form.when_dt->DateTime(), forms::EncodeDate(2020, 2, 3));
  // A spin edit has no presence test: without a key it reads 0.
  EXPECT_EQ(form.count_se->Value(), 0);
  // Lists are cleared first even when their section is absent; ItemIndex then reads 0,
  // which an empty list cannot take.
  EXPECT_EQ(form.choices_cb->Items().Count(), 0);
  EXPECT_EQ(form.names_lb->Items().Count(), 0);
  // Memos and grids are not handled by default.
  EXPECT_EQ(form.notes_memo->Lines().Count(), 1);
  EXPECT_EQ(form.table_sg->Cells(2, 3), "design cell");
  EXPECT_FALSE(fs::exists(IniPath())) << "restoring never creates the file";
}

TEST_F(EditIniTest, EditBoxValuesTellAbsentFromEmpty) {
  struct Case {
    const char* line;  // the line for nom_ov in section Form1, or nullptr for none
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, "design login"},
      {"nom_ov=", ""},
      {"nom_ov=dupont", "dupont"},
      {"nom_ov=%ù@à*£", "design login"},   // the absent-key marker itself counts as absent
      {"nom_ov=%ù@à*£x", "%ù@à*£x"},
      {"NOM_OV=Dupont Jean", "Dupont Jean"},  // keys without regard to case
      {"nom_ov=  spaced  ", "spaced"},        // surrounding blanks go, as Windows reads
      {"nom_ov=annulé €", "annulé €"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line ? c.line : "(no key)");
    WriteIni(std::string("[Form1]\n") + (c.line ? c.line : "other=1") + "\n");
    auto& form = CreateForm();
    EXPECT_EQ(form.nom_ov->Text(), c.expected);
    StartApplication();
  }
}

TEST_F(EditIniTest, CheckBoxValuesReadAsIntegers) {
  struct Case {
    const char* value;  // nullptr: no key
    bool expected;
  };
  const Case cases[] = {{nullptr, true}, {"0", false}, {"1", true}, {"2", true}, {"-1", true},
                        {"", true},      {"oui", true}, {"0x0", false}, {" 0 ", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(no key)");
    WriteIni(std::string("[Form1]\n") + (c.value ? std::string("message_ov=") + c.value + "\nchoice_rb=" + c.value : "") +
             "\n");
    auto& form = CreateForm();
    EXPECT_EQ(form.message_ov->Checked(), c.expected);
    EXPECT_EQ(form.choice_rb->Checked(), c.expected);
    StartApplication();
  }
}

TEST_F(EditIniTest, SaveWritesOnlyNamesWithUnderscoreInTheFormsSection) {
  WriteIni("[Form1]\nEdit1=from file\nnom_ov=old\n");
  auto& form = CreateForm();
  EXPECT_EQ(form.Edit1->Text(), "from file") << "a control without \"_\" is restored";
  form.Edit1->SetText("changed in memory");
  form.nom_ov->SetText("new login");
  form.message_ov->SetChecked(false);
  form.EditIni1->SauveIni();

  auto ini = Ini();
  EXPECT_EQ(ini.ReadString("Form1", "Edit1", "?"), "from file") << "and never written";
  EXPECT_EQ(ini.ReadString("Form1", "nom_ov", "?"), "new login");
  EXPECT_EQ(ini.ReadString("Form1", "message_ov", "?"), "0");
  EXPECT_EQ(ini.ReadString("Form1", "choice_rb", "?"), "1");
  // The masked edit box is not an edit box: neither restored nor written.
  EXPECT_FALSE(ini.ValueExists("Form1", "pass_mask"));
  EXPECT_EQ(form.pass_mask->Text(), "design mask");
  EXPECT_EQ(ini.ReadString("Form1", "count_se", "?"), "0");
  EXPECT_FALSE(ini.SectionExists("Form1notes_memo")) << "memos are off by default";
  EXPECT_FALSE(ini.SectionExists("Form1table_sg")) << "grids are off by default";
}

TEST_F(EditIniTest, SavedValuesComeBackAtTheNextStart) {
  {
    auto& form = CreateForm();
    form.nom_ov->SetText("Jean Dupont é");
    form.message_ov->SetChecked(false);
    form.count_se->SetValue(-42);
    form.when_dt->SetDateTime(forms::EncodeDate(2026, 12, 10) + forms::EncodeTime(8, 15, 30));
    form.names_lb->Items().AddStrings({"un", "deux", "trois"});
    form.names_lb->SetItemIndex(2);
    form.choices_cb->Items().AddStrings({"a"});
    form.EditIni1->SauveIni();
  }
  StartApplication();
  auto& again = CreateForm();
  EXPECT_EQ(again.nom_ov->Text(), "Jean Dupont é");
  EXPECT_FALSE(again.message_ov->Checked());
  EXPECT_EQ(again.count_se->Value(), -42);
  EXPECT_EQ(again.when_dt->DateTime(), forms::EncodeDate(2026, 12, 10) + forms::EncodeTime(8, 15, 30));
  EXPECT_EQ(again.names_lb->Items().ToVector(), (std::vector<std::string>{"un", "deux", "trois"}));
  EXPECT_EQ(again.names_lb->ItemIndex(), 2);
  EXPECT_EQ(again.choices_cb->Items().ToVector(), std::vector<std::string>{"a"});
  EXPECT_EQ(again.choices_cb->ItemIndex(), -1);
}

TEST_F(EditIniTest, ALongValueComesBackWholeAndIsSavedWhole) {
  const std::string server(40000, 'x');
  WriteIni("[Form1]\nnom_ov=" + server + "\n");
  auto& form = CreateForm();
  EXPECT_EQ(form.nom_ov->Text(), server);
  form.EditIni1->SauveIni();
  EXPECT_EQ(Ini().ReadString("Form1", "nom_ov", ""), server);
}

TEST_F(EditIniTest, ValuesThatDoNotConvertLeaveTheControlAlone) {
  WriteIni("[Form1]\nwhen_dt=pas une date\ncount_se=douze\n");
  auto& form = CreateForm();
  EXPECT_EQ(form.when_dt->DateTime(), forms::EncodeDate(2020, 2, 3));
  EXPECT_EQ(form.count_se->Value(), 0) << "an integer that does not parse gives the default 0";
}

TEST_F(EditIniTest, ListSectionsStopAtTheFirstGapAndFollowTheItemIndexRules) {
  struct Case {
    const char* section;  // keys of section Form1names_lb
    std::vector<std::string> items;
    int itemIndex;  // the list box holds p, q, r with q selected before the restore
  };
  const Case cases[] = {
      {"L0=a\nL1=b\nL3=d\n", {"a", "b"}, 0},            // gap at L2; ItemIndex absent reads 0
      {"ItemIndex=1\n", {}, -1},                        // no L key: the list is emptied
      {"L0=a\nL1=b\nItemIndex=-1\n", {"a", "b"}, -1},   // -1 deselects
      {"L0=a\nL1=b\nItemIndex=1\n", {"a", "b"}, 1},
      {"L0=a\nL1=b\nItemIndex=2\n", {"a", "b"}, -1},    // not below the count: left as it was
      {"L0=\nL1=b\nItemIndex=0\n", {"", "b"}, 0},       // an empty line is an item
      {"L0=a\nItemIndex=x\n", {"a"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    WriteIni(std::string("[Form1names_lb]\n") + c.section);
    auto& form = CreateForm("Form1", [](TSettingsForm& f) { f.names_lb->SetSorted(false); });
    EXPECT_EQ(form.names_lb->Items().ToVector(), c.items);
    EXPECT_EQ(form.names_lb->ItemIndex(), c.itemIndex);
    StartApplication();
  }
}

TEST_F(EditIniTest, SavingAListReplacesItsWholeSection) {
  WriteIni("[Form1names_lb]\nL0=old\nL1=old\nL2=old\nL7=stale\n");
  auto& form = CreateForm();
  form.names_lb->Items().Clear();
  form.names_lb->Items().Add("only");
  form.names_lb->SetItemIndex(-1);
  form.EditIni1->SauveIni();
  forms::TStringList keys;
  Ini().ReadSection("Form1names_lb", keys);
  EXPECT_EQ(keys.ToVector(), (std::vector<std::string>{"L0", "ItemIndex"}));
  EXPECT_EQ(Ini().ReadString("Form1names_lb", "ItemIndex", "?"), "-1");
}

TEST_F(EditIniTest, MemosWhenEnabledSaveTheirLinesWithIndexZero) {
  auto enable = [](TSettingsForm& f) {
    f.EditIni1->SetSauveMemo(true);
    f.EditIni1->SetSauveRichEdit(true);
  };
  WriteIni("[Form1notes_memo]\nL0=first\nL1=second\nItemIndex=5\n");
  auto& form = CreateForm("Form1", enable);
  EXPECT_EQ(form.notes_memo->Lines().ToVector(), (std::vector<std::string>{"first", "second"}));
  form.rich_re->Lines().SetText("r1\r\nr2\r\n");
  form.EditIni1->SauveIni();
  auto ini = Ini();
  EXPECT_EQ(ini.ReadString("Form1notes_memo", "ItemIndex", "?"), "0");
  EXPECT_EQ(ini.ReadString("Form1rich_re", "L1", "?"), "r2");
  EXPECT_EQ(ini.ReadString("Form1rich_re", "ItemIndex", "?"), "0");
}

TEST_F(EditIniTest, GridsSaveNonBlankCellsAndRestoreTheRestEmpty) {
  auto enable = [](TSettingsForm& f) { f.EditIni1->SetSauveStringGrid(true); };
  {
    // No COLCOUNT key: the grid is left as designed.
    WriteIni("[Form1table_sg]\nROWCOUNT=9\nC0L0=ignored\n");
    auto& form = CreateForm("Form1", enable);
    EXPECT_EQ(form.table_sg->RowCount(), 5);
    EXPECT_EQ(form.table_sg->Cells(2, 3), "design cell");
    EXPECT_EQ(form.table_sg->Cells(0, 0), "");

    form.table_sg->SetColCount(3);
    form.table_sg->SetRowCount(6);
    form.table_sg->SetCol(2);
    form.table_sg->SetRow(5);
    form.table_sg->SetTag(77);
    form.table_sg->SetCells(0, 0, " kept as typed ");
    form.table_sg->SetCells(1, 0, "   ");
    form.table_sg->SetCells(2, 5, "last");
    form.EditIni1->SauveIni();
  }
  forms::TStringList keys;
  Ini().ReadSection("Form1table_sg", keys);
  EXPECT_EQ(keys.ToVector(),
            (std::vector<std::string>{"COLCOUNT", "ROWCOUNT", "COL", "ROW", "TAG", "C0L0", "C2L3", "C2L5"}));

  StartApplication();
  auto& form = CreateForm("Form1", [&](TSettingsForm& f) {
    enable(f);
    f.table_sg->SetCells(1, 0, "blank when saved");
  });
  EXPECT_EQ(form.table_sg->ColCount(), 3);
  EXPECT_EQ(form.table_sg->RowCount(), 6);
  EXPECT_EQ(form.table_sg->Col(), 2);
  EXPECT_EQ(form.table_sg->Row(), 5);
  EXPECT_EQ(form.table_sg->Tag(), 77);
  EXPECT_EQ(form.table_sg->Cells(1, 0), "");
  EXPECT_EQ(form.table_sg->Cells(2, 5), "last");
  EXPECT_EQ(form.table_sg->Cells(2, 3), "design cell");
}

TEST_F(EditIniTest, HostileGridSectionsNeitherCrashNorHang) {
  const char* sections[] = {
      "COLCOUNT=100000\nROWCOUNT=100000\n",
      "COLCOUNT=-5\nROWCOUNT=2\nCOL=99\nROW=-3\n",
      "COLCOUNT=2147483647\n",
      "COLCOUNT=1000\nROWCOUNT=1000\nC999L999=x\n",
  };
  for (const char* section : sections) {
    SCOPED_TRACE(section);
    WriteIni(std::string("[Form1table_sg]\n") + section + "[Form1]\nnom_ov=after the grid\n");
    auto& form = CreateForm("Form1", [](TSettingsForm& f) { f.EditIni1->SetSauveStringGrid(true); });
    EXPECT_EQ(form.nom_ov->Text(), "after the grid");
    StartApplication();
  }
}

TEST_F(EditIniTest, CloseHookRunsTheFormsHandlerThenSavesWhateverItDecided) {
  auto& form = CreateForm();
  form.keepOpen = true;
  form.nom_ov->SetText("saved at close");
  form.Close();
  ASSERT_EQ(form.closeCalls.size(), 1u);
  EXPECT_EQ(form.closeCalls[0].sender, &form);
  EXPECT_FALSE(app_->Terminated()) << "the handler kept the form open";
  EXPECT_EQ(Ini().ReadString("Form1", "nom_ov", "?"), "saved at close");
}

TEST_F(EditIniTest, AFormWithoutCloseHandlerIsStillSavedAtClose) {
  class TBare : public forms::TForm {
   public:
    explicit TBare(forms::TComponent* Owner) : forms::TForm(Owner) {
      SetName("Bare");
      Create<forms::TEdit>("a_b", this).SetText("bare");
      Create<TEditIni>("EditIni1");
    }
  };
  auto& bare = app_->CreateForm<TBare>();
  bare.Close();
  EXPECT_EQ(Ini().ReadString("Bare", "a_b", "?"), "bare");
}

TEST_F(EditIniTest, TwoFormsEachWithTheirOwnSectionAndFlags) {
  WriteIni("[Form1]\nnom_ov=one\n[Form2]\nnom_ov=two\nmessage_ov=0\n");
  auto& first = CreateForm("Form1");
  first.nom_ov->SetText("changed before the second form");
  // The second form's last settings component does not handle edit boxes.
  auto& second = CreateForm("Form2", [](TSettingsForm& f) {
    f.Create<TEditIni>("EditIni2").SetSauveEdit(false);
  });
  EXPECT_EQ(first.nom_ov->Text(), "one") << "loading the second form restores the first again";
  EXPECT_EQ(second.nom_ov->Text(), "design login") << "by the flags of its last component";
  EXPECT_FALSE(second.message_ov->Checked());

  second.nom_ov->SetText("not saved");
  second.message_ov->SetChecked(true);
  first.nom_ov->SetText("first at close");
  const std::string before = ReadIni();
  second.Close();
  EXPECT_EQ(ReadIni(), before) << "only the first form's close saves";

  first.Close();
  auto ini = Ini();
  EXPECT_EQ(ini.ReadString("Form1", "nom_ov", "?"), "first at close");
  EXPECT_EQ(ini.ReadString("Form2", "nom_ov", "?"), "two");
  EXPECT_EQ(ini.ReadString("Form2", "message_ov", "?"), "1");
}

TEST_F(EditIniTest, FormsWithoutSettingsComponentAreLeftAlone) {
  class TPlain : public forms::TForm {
   public:
    explicit TPlain(forms::TComponent* Owner) : forms::TForm(Owner) {
      SetName("Plain");
      box = &Create<forms::TCheckBox>("plain_box", this);
    }
    forms::TCheckBox* box;
  };
  WriteIni("[Plain]\nplain_box=1\n");
  auto& plain = app_->CreateForm<TPlain>();
  auto& form = CreateForm("Form1");
  EXPECT_FALSE(plain.box->Checked());
  form.EditIni1->SauveIni();
  EXPECT_EQ(Ini().ReadString("Plain", "plain_box", "?"), "1");
  EXPECT_FALSE(TEditIni::ContientEditIni(plain));
  EXPECT_EQ(TEditIni::TrouveEditIni(form), form.EditIni1);
}

TEST_F(EditIniTest, ASaveThatFailsIsReportedOnceAndTheCloseGoesOn) {
  fs::create_directory(IniPath());  // nothing can be written in place of a folder
  auto& form = CreateForm();
  EXPECT_EQ(form.nom_ov->Text(), "design login");
  std::vector<std::string> reports;
  app_->OnException = [&](forms::TObject* Sender, const std::exception& E) {
    EXPECT_EQ(Sender, form.EditIni1);
    reports.push_back(E.what());
  };
  EXPECT_NO_THROW(form.EditIni1->SauveIni());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rfind("Les r\xC3\xA9glages n'ont pas pu \xC3\xAAtre enregistr\xC3\xA9s : ", 0), 0u) << reports[0];
  EXPECT_NE(reports[0].find(" " + IniPath().string() + " "), std::string::npos) << "the file is named: " << reports[0];
  EXPECT_NO_THROW(form.Close());
  EXPECT_EQ(reports.size(), 2u) << "the save after the close handler is reported too";
  EXPECT_TRUE(app_->Terminated()) << "the form closed all the same";

  // A file that saves well reports nothing.
  fs::remove(IniPath());
  reports.clear();
  form.EditIni1->SauveIni();
  EXPECT_TRUE(reports.empty());
}

// The renames of a fresh "serie.ini" into place (each atomic write is one), counted by the
// kernel's file events.
class RenameCounter {
 public:
  explicit RenameCounter(const fs::path& dir) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) inotify_add_watch(fd_, dir.c_str(), IN_MOVED_TO);
  }
  ~RenameCounter() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Renames(const std::string& name) {
    alignas(inotify_event) char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && name == event->name) ++count_;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return count_;
  }

 private:
  int fd_;
  int count_ = 0;
};

TEST_F(EditIniTest, ASaveWritesTheFileOnceHoweverManyControlsAndLinesItHolds) {
  auto& form = CreateForm("Form1", [](TSettingsForm& f) {
    f.EditIni1->SetSauveMemo(true);
    f.EditIni1->SetSauveStringGrid(true);
  });
  for (int n = 0; n < 300; ++n) form.names_lb->Items().Add("ami" + std::to_string(n) + "@exemple.fr");
  form.notes_memo->Lines().SetText("une\r\ndeux\r\ntrois\r\n");
  RenameCounter counter(dir_);
  form.EditIni1->SauveIni();
  EXPECT_EQ(counter.Renames("serie.ini"), 1);
  EXPECT_EQ(Ini().ReadString("Form1names_lb", "L299", "?"), "ami299@exemple.fr");
  EXPECT_EQ(Ini().ReadString("Form1notes_memo", "L2", "?"), "trois");

  form.EditIni1->SauveIni();
  EXPECT_EQ(counter.Renames("serie.ini"), 1) << "nothing changed: nothing written";
  form.nom_ov->SetText("martin");
  form.Close();  // the close hook saves once more
  EXPECT_EQ(counter.Renames("serie.ini"), 2);
  EXPECT_EQ(Ini().ReadString("Form1", "nom_ov", "?"), "martin");
}

TEST_F(EditIniTest, ANewSettingsFileIsReadableByItsOwnerOnly) {
  auto& form = CreateForm();
  form.EditIni1->SauveIni();
  struct stat st {};
  ASSERT_EQ(::stat(IniPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
