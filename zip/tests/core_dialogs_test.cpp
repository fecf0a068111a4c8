// The dispatchers with and without handlers; the built-in dialogs answered through the
// framework's scripted dialog service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "ZAPlatform.h"
#include "ZipArchiver.h"
#include "forms/scripted_dialogs.h"

namespace zip {
namespace {

namespace fs = std::filesystem;

class Dispatchers : public ::testing::Test {
 protected:
  Dispatchers() {
    std::string tmpl = (fs::temp_directory_path() / "zadlgXXXXXX").string();
    Dir = mkdtemp(tmpl.data());
    Zip.FileName = (Dir / "arch.zip").string();
  }
  ~Dispatchers() override {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  // The name of a volume as the engine makes it.
  std::string Volume(int n, bool alternative = false) {
    std::string name = Zip.FileName;
    Zip.MakeVolumeFileName(name, n, alternative);
    return name;
  }
  const forms::MessageRequest& OnlyMessage() {
    EXPECT_EQ(Dialogs.Messages().size(), 1u);
    return Dialogs.Messages().back();
  }
  static void ExpectConfirmation(const forms::MessageRequest& m, forms::TMsgDlgButtons buttons) {
    EXPECT_EQ(m.Type, forms::mtConfirmation);
    EXPECT_EQ(m.Caption, "Confirmation");
    EXPECT_TRUE(m.Buttons == buttons);
  }

  fs::path Dir;
  TZipArchiver Zip;
  forms::ScriptedDialogs Dialogs;
};

TEST_F(Dispatchers, ProgressWithoutHandlersNeverCancels) {
  bool cancel = true;
  Zip.DoOverallProgress(50, poExtract, ppProcess, cancel);
  EXPECT_FALSE(cancel);
  cancel = true;
  Zip.DoFileProgress("dir/a.txt", 50, poExtract, ppProcess, cancel);
  EXPECT_FALSE(cancel);
  cancel = true;
  Zip.DoCopyTempFileProgress(50, ppProcess, cancel);
  EXPECT_FALSE(cancel);
  bool confirm = false;
  Zip.DoConfirmProcessFile("dir\\a.txt", poExtract, confirm);
  EXPECT_TRUE(confirm);
  EXPECT_TRUE(Dialogs.Messages().empty());
}

TEST_F(Dispatchers, ProgressHandlersGetTheValuesAndBackslashedNames) {
  std::string seenName;
  double seenProgress = -1;
  TZAProgressPhase seenPhase = ppStart;
  TObject* seenSender = nullptr;
  Zip.OnFileProgress = [&](TObject* s, const std::string& name, double p, TZAProcessOperation op,
                           TZAProgressPhase phase, bool& cancel) {
    seenSender = s;
    seenName = name;
    seenProgress = p;
    seenPhase = phase;
    EXPECT_EQ(op, poTest);
    cancel = true;
  };
  bool cancel = false;
  Zip.DoFileProgress("dir/sub/a.txt", 42.5, poTest, ppEnd, cancel);
  EXPECT_EQ(seenSender, &Zip);
  EXPECT_EQ(seenName, "dir\\sub\\a.txt");
  EXPECT_EQ(seenProgress, 42.5);
  EXPECT_EQ(seenPhase, ppEnd);
  EXPECT_TRUE(cancel);

  Zip.OnOverallProgress = [](TObject*, double p, TZAProcessOperation, TZAProgressPhase, bool& c) { c = p > 50; };
  Zip.DoOverallProgress(100, poExtract, ppEnd, cancel = false);
  EXPECT_TRUE(cancel);

  // The copy progress presets Cancel to False before the handler sees it.
  bool presetSeen = true;
  Zip.OnCopyTempFileProgress = [&](TObject*, double, TZAProgressPhase, bool& c) { presetSeen = c; };
  cancel = true;
  Zip.DoCopyTempFileProgress(10, ppProcess, cancel);
  EXPECT_FALSE(presetSeen);
  EXPECT_FALSE(cancel);

  Zip.OnConfirmProcessFile = [](TObject*, const std::string& name, TZAProcessOperation, bool& c) {
    c = name != "skip\\me.txt";
  };
  bool confirm = true;
  Zip.DoConfirmProcessFile("skip\\me.txt", poExtract, confirm);
  EXPECT_FALSE(confirm);
}

TEST_F(Dispatchers, OverwriteDialogAnswers) {
  struct Row {
    forms::TModalResult Answer;
    bool Confirm;
    TZAOverwriteMode ModeAfter;
  };
  const Row rows[] = {
      {forms::mrYes, true, omPrompt},      {forms::mrNo, false, omPrompt},
      {forms::mrNoToAll, false, omNever},  {forms::mrYesToAll, true, omAlways},
      {forms::mrCancel, false, omPrompt},  // closed otherwise
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Answer);
    Dialogs.ClearRecords();
    Zip.Options().OverwriteMode = omPrompt;
    Dialogs.AnswerMessage(r.Answer);
    std::string dest = "/base/dir/a.txt";
    bool confirm = !r.Confirm;
    Zip.DoConfirmOverwrite("dir/a.txt", dest, confirm);
    EXPECT_EQ(confirm, r.Confirm);
    EXPECT_EQ(Zip.Options().OverwriteMode, r.ModeAfter);
    const forms::MessageRequest& m = OnlyMessage();
    EXPECT_EQ(m.Text, "Overwrite file \"/base/dir/a.txt\" with \"dir/a.txt\"");
    ExpectConfirmation(m, {forms::mbYes, forms::mbNo, forms::mbNoToAll, forms::mbYesToAll});
  }
  // Names are UTF-8 in the engine and reach the box as they are.
  Dialogs.ClearRecords();
  std::string accented = "/base/\xC3\xA9t\xC3\xA9.txt";
  bool c = false;
  Zip.DoConfirmOverwrite("\xC3\xA9t\xC3\xA9.txt", accented, c);
  EXPECT_EQ(OnlyMessage().Text, "Overwrite file \"/base/\xC3\xA9t\xC3\xA9.txt\" with \"\xC3\xA9t\xC3\xA9.txt\"");
  // A handler decides alone and may change the target.
  Dialogs.ClearRecords();
  Zip.OnConfirmOverwrite = [](TObject*, const std::string&, std::string& dest, bool& c) {
    dest += ".new";
    c = true;
  };
  std::string dest = "/base/a.txt";
  bool confirm = false;
  Zip.DoConfirmOverwrite("a.txt", dest, confirm);
  EXPECT_TRUE(confirm);
  EXPECT_EQ(dest, "/base/a.txt.new");
  EXPECT_TRUE(Dialogs.Messages().empty());
}

TEST_F(Dispatchers, PasswordBox) {
  Zip.Password = "old";
  Dialogs.AnswerInput(true, "n\xC3\xA9w");  // typed in UTF-8 by the user
  bool skip = true;
  Zip.DoPassword("dir/secret.txt", Zip.Password, skip);
  EXPECT_FALSE(skip);
  EXPECT_EQ(Zip.Password, "n\xC3\xA9w");  // kept as typed, in UTF-8
  ASSERT_EQ(Dialogs.Inputs().size(), 1u);
  EXPECT_EQ(Dialogs.Inputs()[0].Caption, "Password for \"dir/secret.txt\"");
  EXPECT_EQ(Dialogs.Inputs()[0].Prompt, "Enter password: ");
  EXPECT_EQ(Dialogs.Inputs()[0].Value, "old");  // the box opens with the current password

  Dialogs.AnswerInput(false, "ignored");
  Zip.DoPassword("dir/secret.txt", Zip.Password, skip);
  EXPECT_TRUE(skip);
  EXPECT_EQ(Zip.Password, "n\xC3\xA9w");  // Cancel leaves it
  EXPECT_EQ(Dialogs.Inputs()[1].Value, "n\xC3\xA9w");

  Zip.OnPassword = [](TObject*, const std::string& name, std::string& pw, bool& s) {
    pw = "from handler " + name;
    s = false;
  };
  Zip.DoPassword("x", Zip.Password, skip);
  EXPECT_EQ(Zip.Password, "from handler x");
  EXPECT_FALSE(skip);
  EXPECT_EQ(Dialogs.Inputs().size(), 2u);
}

TEST_F(Dispatchers, FailureDialogAnswers) {
  const std::pair<forms::TModalResult, TZAAction> rows[] = {
      {forms::mrAbort, fxaAbort}, {forms::mrRetry, fxaRetry}, {forms::mrIgnore, fxaIgnore},
      {forms::mrCancel, fxaAbort}};  // closed: abort
  for (auto [answer, action] : rows) {
    Dialogs.ClearRecords();
    Dialogs.AnswerMessage(answer);
    TZAAction got = fxaRetry;
    Zip.DoProcessFileFailure("a.txt", poExtract, 8, 4, "Broken - Native error: 00008", got);
    EXPECT_EQ(got, action);
    const forms::MessageRequest& m = OnlyMessage();
    EXPECT_EQ(m.Text, "Broken - Native error: 00008. File processing error, possibly disk is full");
    ExpectConfirmation(m, {forms::mbAbort, forms::mbRetry, forms::mbIgnore});
  }
  // A handler starts from Ignore and gets every value.
  Dialogs.ClearRecords();
  TZAAction preset = fxaAbort;
  Zip.OnProcessFileFailure = [&](TObject*, const std::string& name, TZAProcessOperation op, int native,
                                 int code, const std::string& msg, TZAAction& a) {
    preset = a;
    EXPECT_EQ(name, "a.txt");
    EXPECT_EQ(op, poTest);
    EXPECT_EQ(native, 19);
    EXPECT_EQ(code, 9);
    EXPECT_EQ(msg, "m");
  };
  TZAAction got = fxaAbort;
  Zip.DoProcessFileFailure("a.txt", poTest, 19, 9, "m", got);
  EXPECT_EQ(preset, fxaIgnore);
  EXPECT_EQ(got, fxaIgnore);
  EXPECT_TRUE(Dialogs.Messages().empty());
}

TEST_F(Dispatchers, BlankVolume) {
  // Without a handler, spanning: the blank-disk box, counting from 1; a negative number is 0.
  Zip.SetSpanningMode(smSpanning);
  for (auto [answer, cancel] : {std::pair{forms::mrOk, false}, std::pair{forms::mrCancel, true}}) {
    Dialogs.ClearRecords();
    Dialogs.AnswerMessage(answer);
    std::string name = Zip.FileName;
    bool c = !cancel;
    Zip.DoRequestBlankVolume(-1, name, c);
    EXPECT_EQ(c, cancel);
    EXPECT_EQ(name, Volume(0));
    EXPECT_EQ(OnlyMessage().Text, "Please insert a blank disk #1");
    ExpectConfirmation(OnlyMessage(), forms::mbOKCancel);
  }
  // Other modes: no box, no cancel.
  Dialogs.ClearRecords();
  Zip.SetSpanningMode(smSplitting);
  std::string name = Zip.FileName;
  bool c = true;
  Zip.DoRequestBlankVolume(2, name, c);
  EXPECT_FALSE(c);
  EXPECT_EQ(name, Volume(2));
  EXPECT_TRUE(Dialogs.Messages().empty());
  // A handler sees the volume plus one.
  int seen = -5;
  Zip.OnRequestBlankVolume = [&](TObject*, int n, std::string&, bool&) { seen = n; };
  name = Zip.FileName;
  Zip.DoRequestBlankVolume(-3, name, c);
  EXPECT_EQ(seen, 1);
}

TEST_F(Dispatchers, FirstVolume) {
  // Not spanning, no handler: cancelled when the file is missing, unless the archive is new.
  std::string name = Zip.FileName;
  bool cancel = false;
  Zip.DoRequestFirstVolume(name, cancel);
  EXPECT_TRUE(cancel);
  Zip.FFileOpenMode = ZAFileModeCreate;
  name = Zip.FileName;
  Zip.DoRequestFirstVolume(name, cancel);
  EXPECT_FALSE(cancel);
  Zip.FFileOpenMode = 32;
  std::ofstream(platform::ToFileSystemPath(Volume(0, true))) << "x";
  name = Zip.FileName;
  Zip.DoRequestFirstVolume(name, cancel);
  EXPECT_FALSE(cancel);
  EXPECT_EQ(name, Volume(0, true));
  EXPECT_TRUE(Dialogs.Messages().empty());

  // Spanning, no handler: the first-disk box.
  Zip.SetSpanningMode(smSpanning);
  Dialogs.AnswerMessage(forms::mrCancel);
  name = Zip.FileName;
  Zip.DoRequestFirstVolume(name, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(name, Volume(0, true));
  EXPECT_EQ(OnlyMessage().Text, "Please insert the first disk");
  ExpectConfirmation(OnlyMessage(), forms::mbOKCancel);

  // A handler gets the name without the alternative form tried.
  std::string handed;
  Zip.OnRequestFirstVolume = [&](TObject*, std::string& n, bool& c) {
    handed = n;
    c = false;
  };
  name = Zip.FileName;
  Zip.DoRequestFirstVolume(name, cancel);
  EXPECT_EQ(handed, Volume(0, false));
  EXPECT_FALSE(cancel);
}

TEST_F(Dispatchers, LastVolumeAsksUntilTheFileIsThere) {
  Zip.SetSpanningMode(smSpanning);
  const std::string last = Volume(-1, true);
  int shown = 0;
  // First box: OK without the file; second: the not-found box, the user inserts the disk.
  Dialogs.OnMessage = [&](const forms::MessageRequest&) -> std::optional<forms::TModalResult> {
    if (++shown == 3) std::ofstream(platform::ToFileSystemPath(last)) << "x";
    return forms::mrOk;
  };
  std::string name = Zip.FileName;
  bool cancel = true;
  Zip.DoRequestLastVolume(name, cancel);
  EXPECT_FALSE(cancel);
  EXPECT_EQ(name, last);
  ASSERT_EQ(Dialogs.Messages().size(), 3u);
  EXPECT_EQ(Dialogs.Messages()[0].Text, "Please insert the last disk");
  const std::string notFound =
      "File '" + last + "' not found on inserted disk. Please insert last disk with required file";
  EXPECT_EQ(Dialogs.Messages()[1].Text, notFound);
  EXPECT_EQ(Dialogs.Messages()[2].Text, notFound);
  for (const auto& m : Dialogs.Messages()) ExpectConfirmation(m, forms::mbOKCancel);

  // Cancel ends the loop at once.
  fs::remove(platform::ToFileSystemPath(last));
  Dialogs.ClearRecords();
  Dialogs.OnMessage = {};
  Dialogs.AnswerMessage(forms::mrCancel);
  name = Zip.FileName;
  Zip.DoRequestLastVolume(name, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(Dialogs.Messages().size(), 1u);

  // Not spanning: no box, cancelled when the file is missing.
  Dialogs.ClearRecords();
  Zip.SetSpanningMode(smSplitting);
  name = Zip.FileName;
  Zip.DoRequestLastVolume(name, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_TRUE(Dialogs.Messages().empty());
}

TEST_F(Dispatchers, MiddleVolume) {
  Zip.SetSpanningMode(smSpanning);
  Dialogs.AnswerMessage(forms::mrOk);
  std::string name = Zip.FileName;
  bool cancel = true;
  Zip.DoRequestMiddleVolume(2, name, cancel);
  EXPECT_FALSE(cancel);
  EXPECT_EQ(name, Volume(2, true));
  EXPECT_EQ(OnlyMessage().Text, "Please insert disk #3");
  ExpectConfirmation(OnlyMessage(), forms::mbOKCancel);

  Dialogs.ClearRecords();
  Zip.SetSpanningMode(smSplitting);
  name = Zip.FileName;
  Zip.DoRequestMiddleVolume(1, name, cancel);
  EXPECT_TRUE(cancel);  // missing, and no box outside spanning
  EXPECT_TRUE(Dialogs.Messages().empty());
  std::ofstream(platform::ToFileSystemPath(Volume(1, true))) << "x";
  name = Zip.FileName;
  Zip.DoRequestMiddleVolume(1, name, cancel);
  EXPECT_FALSE(cancel);

  int seen = 0;
  Zip.OnRequestMiddleVolume = [&](TObject*, int n, std::string&, bool&) { seen = n; };
  name = Zip.FileName;
  Zip.DoRequestMiddleVolume(4, name, cancel);
  EXPECT_EQ(seen, 5);
  EXPECT_EQ(name, Volume(4, false));
}

TEST_F(Dispatchers, DiskFull) {
  bool cancel = false;
  Zip.DoDiskFull(0, Zip.FileName, cancel);
  EXPECT_TRUE(cancel);  // outside spanning, without a handler
  EXPECT_TRUE(Dialogs.Messages().empty());

  Zip.SetSpanningMode(smSpanning);
  Zip.SpanningOptions().VolumeSize = vs1_44MB;
  Zip.SpanningOptions().FirstVolumeSize = 100000;
  Dialogs.AnswerMessage(forms::mrOk);
  Zip.DoDiskFull(1, Zip.FileName, cancel);
  EXPECT_FALSE(cancel);
  const std::string prefix = "Disk is full. Required free space: 1457664 bytes, but available only: ";
  const std::string& text = OnlyMessage().Text;
  ASSERT_EQ(text.substr(0, prefix.size()), prefix);
  EXPECT_NE(text.find(" bytes. Clean the disk or find another blank disk"), std::string::npos);
  ExpectConfirmation(OnlyMessage(), forms::mbOKCancel);
  // The first volume's own limit.
  Dialogs.ClearRecords();
  Dialogs.AnswerMessage(forms::mrCancel);
  Zip.DoDiskFull(0, Zip.FileName, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(OnlyMessage().Text.rfind("Disk is full. Required free space: 100000 bytes", 0), 0u);

  int seen = 0;
  Zip.OnDiskFull = [&](TObject*, int n, const std::string&, bool& c) {
    seen = n;
    c = true;
  };
  Zip.DoDiskFull(0, Zip.FileName, cancel);
  EXPECT_EQ(seen, 1);
  EXPECT_TRUE(cancel);
}

TEST_F(Dispatchers, NameEvents) {
  // Extract: the name always comes back with backslashes; a handler may change it and the attributes.
  std::string name = "dir/sub/a.txt";
  std::uint32_t attr = 0x20;
  Zip.DoExtractFile(name, attr, "");
  EXPECT_EQ(name, "dir\\sub\\a.txt");
  Zip.OnExtractFile = [](TObject*, std::string& n, std::uint32_t& a, const std::string& comment) {
    EXPECT_EQ(n, "dir\\sub\\a.txt");
    EXPECT_EQ(comment, "note");
    n = "renamed\\a.txt";
    a = 0x01;
  };
  name = "dir/sub/a.txt";
  Zip.DoExtractFile(name, attr, "note");
  EXPECT_EQ(name, "renamed\\a.txt");
  EXPECT_EQ(attr, 0x01u);

  // Store: unchanged without a handler; with one, shown with "\" and given back with "/".
  std::string stored = "dir/b.txt", comment;
  Zip.DoStoreFile(stored, attr, comment, "/src/b.txt");
  EXPECT_EQ(stored, "dir/b.txt");
  Zip.OnStoreFile = [](TObject*, std::string& n, std::uint32_t&, std::string& c, const std::string& original) {
    EXPECT_EQ(n, "dir\\b.txt");
    EXPECT_EQ(original, "/src/b.txt");
    n = "other\\dir\\b.txt";
    c = "set";
  };
  Zip.DoStoreFile(stored, attr, comment, "/src/b.txt");
  EXPECT_EQ(stored, "other/dir/b.txt");
  EXPECT_EQ(comment, "set");

  // The internal event reaches only its own field.
  Zip.DoInternalEvent(1, 2, 3, 4);
  int sum = 0;
  Zip.FInternalEvent = [&](TObject*, std::uint8_t k, std::int32_t a, std::int32_t b, std::int32_t c) {
    sum = k + a + b + c;
  };
  Zip.DoInternalEvent(1, 2, 3, 4);
  EXPECT_EQ(sum, 10);
}

TEST_F(Dispatchers, HandlerExceptionsReachTheCaller) {
  Zip.OnFileProgress = [](TObject*, const std::string&, double, TZAProcessOperation, TZAProgressPhase, bool&) {
    throw std::runtime_error("handler failed");
  };
  bool cancel = false;
  EXPECT_THROW(Zip.DoFileProgress("a", 0, poExtract, ppStart, cancel), std::runtime_error);
}

}  // namespace
}  // namespace zip
