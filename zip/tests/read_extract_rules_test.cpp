// Finding items by mask and attributes, and the rules of extraction: overwrite modes, read-only
// targets, folders, events, retry, abort and cancel, and what the caller learns afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZipBuilder.h"
#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

TBuildEntry Entry(const std::string& name, std::uint32_t attributes = 0x20, std::uint16_t date = 0x5221) {
  TBuildEntry e;
  e.Name = name;
  if (name.back() != '/') e.Data = TextBytes(100 + name.size(), static_cast<std::uint32_t>(name.size()));
  e.VersionMadeBy = 20;
  e.ExternalAttributes = attributes;
  e.ModDate = date;
  return e;
}

class ExtractRules : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(Dir / "a.zip", BuildZip({Entry("root.txt"), Entry("noext"), Entry("docs/", 0x10), Entry("docs/a.txt"),
                                         Entry("docs/sub/b.txt"), Entry("docs/sub/c.dat"), Entry("hidden.txt", 0x22),
                                         Entry("Upper.TXT")}));
  }
  std::vector<std::string> Find(const std::string& mask, std::int32_t attr, bool recurse = true) {
    zip::TZipArchiver a;
    a.Options().Recurse = recurse;
    a.FileName = zip::platform::FromFileSystemPath((Dir / "a.zip").string());
    a.OpenArchive(32);
    std::vector<std::string> found;
    zip::TZAArchiveItem item;
    for (bool ok = a.FindFirstItem(mask, item, "", attr); ok; ok = a.FindNextItem(item)) {
      found.push_back(item.StoredFolderName + item.FileName);
    }
    return found;
  }
  TTempDir Dir;
};

TEST_F(ExtractRules, FindByMaskAndAttributes) {
  struct Case {
    const char* Mask;
    std::int32_t Attr;
    bool Recurse;
    std::vector<std::string> Expected;
  };
  const std::vector<Case> cases = {
      {"*.*", 10431, true,
       {"root.txt", "noext", "docs", "docs\\a.txt", "docs\\sub\\b.txt", "docs\\sub\\c.dat", "hidden.txt", "Upper.TXT"}},
      {"*.*", 0, true, {"root.txt", "noext", "docs\\a.txt", "docs\\sub\\b.txt", "docs\\sub\\c.dat", "Upper.TXT"}},
      {"*.", 10431, true, {"noext", "docs"}},
      {"*.txt", 0, true, {"root.txt", "docs\\a.txt", "docs\\sub\\b.txt", "Upper.TXT"}},
      {"docs\\sub\\*.*", 0, true, {"docs\\sub\\b.txt", "docs\\sub\\c.dat"}},
      {"C:docs\\*.dat", 0, true, {"docs\\sub\\c.dat"}},
      {"C:\\docs\\*.dat", 0, true, {}},
      {"*.*", 0, false, {"root.txt", "noext", "Upper.TXT"}},
      {"docs\\*.*", 0, false, {"docs\\a.txt"}},
      {"", 10431, true, {}},
      {"nothing*", 10431, true, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Expected, Find(c.Mask, c.Attr, c.Recurse)) << c.Mask << " attr " << c.Attr << " recurse " << c.Recurse;
  }
}

TEST_F(ExtractRules, FolderItemsAndCreateDirs) {
  TEngineRun run = ExtractWithEngine(Dir / "a.zip", Dir / "tree");
  EXPECT_TRUE(run.Result.Succeeded());
  EXPECT_TRUE(fs::is_directory(Dir / "tree/docs/sub"));
  EXPECT_TRUE(fs::is_regular_file(Dir / "tree/docs/sub/c.dat"));
  fs::create_directories(Dir / "flat");
  run = ExtractWithEngine(Dir / "a.zip", Dir / "flat", [](zip::TZipArchiver& a) { a.Options().CreateDirs = false; });
  EXPECT_EQ(std::vector<std::string>({"Upper.TXT", "a.txt", "b.txt", "c.dat", "hidden.txt", "noext", "root.txt"}),
            ListTree(Dir / "flat"));
}

// The overwrite modes against an existing target of the same date (2021-01-01 12:00), an older
// and a newer one.
TEST_F(ExtractRules, OverwriteModes) {
  struct Case {
    zip::TZAOverwriteMode Mode;
    int TargetAgeDays;  // + older than the item, - newer, 0 the same date
    bool Replaced;
  };
  const Case cases[] = {{zip::omAlways, 0, true},    {zip::omNever, 10, false},  {zip::omIfNewer, 0, false},
                        {zip::omIfNewer, 10, true},  {zip::omIfNewer, -10, false}, {zip::omIfOlder, 0, false},
                        {zip::omIfOlder, -10, true}, {zip::omIfOlder, 10, false},
                        // A target from after the DOS range (year 2199) counts as the latest DOS date.
                        {zip::omIfNewer, -65000, false}, {zip::omIfOlder, -65000, true}};
  std::tm tm{};
  tm.tm_year = 121;
  tm.tm_mon = 0;
  tm.tm_mday = 1;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  const std::time_t itemTime = std::mktime(&tm);
  int n = 0;
  for (const auto& c : cases) {
    const fs::path out = Dir / ("out" + std::to_string(n++));
    WriteText(out / "root.txt", "old");
    const std::time_t t = itemTime - static_cast<std::time_t>(c.TargetAgeDays) * 86400;
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ::utimensat(AT_FDCWD, (out / "root.txt").c_str(), times, 0);
    const TEngineRun run = ExtractWithEngine(Dir / "a.zip", out, [&](zip::TZipArchiver& a) {
      a.Options().OverwriteMode = c.Mode;
    });
    EXPECT_TRUE(run.Failures.empty());
    const auto now = ReadBytes(out / "root.txt");
    EXPECT_EQ(c.Replaced, std::string(now.begin(), now.end()) != "old") << "mode " << int(c.Mode) << " age " << c.TargetAgeDays;
  }
}

TEST_F(ExtractRules, PromptAndReadOnlyTargets) {
  const fs::path out = Dir / "out";
  WriteText(out / "root.txt", "old");
  WriteText(out / "noext", "old");
  WriteText(out / "docs/a.txt", "old read-only");
  fs::permissions(out / "docs/a.txt", fs::perms(0444));
  std::vector<std::string> asked;
  const fs::path moved = Dir / "moved.txt";
  TEngineRun run = ExtractWithEngine(Dir / "a.zip", out, [&](zip::TZipArchiver& a) {
    a.Options().OverwriteMode = zip::omPrompt;
    a.Options().ReplaceReadOnly = false;
    a.OnConfirmOverwrite = [&](auto*, const std::string& source, std::string& dest, bool& confirm) {
      asked.push_back(source);
      confirm = source == "noext";
      // The answer may send the item to another place.
      if (confirm) dest = zip::platform::FromFileSystemPath(moved.string());
    };
  });
  EXPECT_TRUE(run.Failures.empty());
  // The read-only target was skipped without a question; root.txt was refused; noext went elsewhere.
  EXPECT_EQ(std::vector<std::string>({"root.txt", "noext"}), asked);
  auto text = ReadBytes(out / "docs/a.txt");
  EXPECT_EQ("old read-only", std::string(text.begin(), text.end()));
  text = ReadBytes(out / "noext");
  EXPECT_EQ("old", std::string(text.begin(), text.end()));
  EXPECT_EQ(Entry("noext").Data, ReadBytes(moved));
  EXPECT_EQ(2, run.Result.Skipped);
  // With ReplaceReadOnly the read-only file is replaced.
  run = ExtractWithEngine(Dir / "a.zip", out);
  EXPECT_EQ(Entry("docs/a.txt").Data, ReadBytes(out / "docs/a.txt"));
}

// A name that was free when the item started but is taken by the time its data is complete (another
// program wrote a file there meanwhile, here during the item's progress event) is judged by the
// overwrite rules as a target that was there from the start: replaced only where they let it be,
// after the question where they ask one; a file or a link item alike.
TEST_F(ExtractRules, ANameTakenDuringTheItemIsJudgedByTheOverwriteRules) {
  TBuildEntry link = Entry("link");
  link.VersionMadeBy = (3 << 8) | 30;
  link.ExternalAttributes = 0120777u << 16;
  link.Data = {'r', 'o', 'o', 't', '.', 't', 'x', 't'};
  WriteBytes(Dir / "race.zip", BuildZip({Entry("root.txt"), link}));
  struct Case {
    const char* Name;
    zip::TZAOverwriteMode Mode;
    bool ReadOnly;      // the file that appears is read-only (and ReplaceReadOnly is off)
    int NewerDays;      // how much newer than the items the file that appears is
    bool Confirm;       // the answer to the question
    bool Replaced;
  };
  const Case cases[] = {
      {"never", zip::omNever, false, 0, false, false},
      {"always", zip::omAlways, false, 0, false, true},
      {"prompt-no", zip::omPrompt, false, 0, false, false},
      {"prompt-yes", zip::omPrompt, false, 0, true, true},
      {"read-only", zip::omAlways, true, 0, false, false},
      {"if-newer-and-newer", zip::omIfNewer, false, 3650, false, false},
      {"if-newer-and-older", zip::omIfNewer, false, -3650, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path out = Dir / c.Name;
    fs::create_directories(out);
    std::vector<std::string> asked;
    const TEngineRun run = ExtractWithEngine(Dir / "race.zip", out, [&](zip::TZipArchiver& a) {
      a.Options().OverwriteMode = c.Mode;
      a.Options().ReplaceReadOnly = !c.ReadOnly;
      a.OnConfirmOverwrite = [&](auto*, const std::string& source, std::string&, bool& confirm) {
        asked.push_back(source);
        confirm = c.Confirm;
      };
      a.OnFileProgress = [&](auto*, const std::string& name, double, zip::TZAProcessOperation,
                             zip::TZAProgressPhase phase, bool&) {
        const fs::path theirs = out / name;
        if (phase != zip::ppProcess || fs::exists(fs::symlink_status(theirs))) return;
        WriteText(theirs, "theirs");
        const std::time_t t = std::time(nullptr) + static_cast<std::time_t>(c.NewerDays) * 86400;
        struct timespec times[2] = {{t, 0}, {t, 0}};
        ::utimensat(AT_FDCWD, theirs.c_str(), times, 0);
        if (c.ReadOnly) fs::permissions(theirs, fs::perms(0444));
      };
    });
    EXPECT_TRUE(run.Failures.empty()) << run.Failures.front();
    EXPECT_EQ(c.Replaced ? 0 : 2, run.Result.Skipped);
    EXPECT_EQ(c.Mode == zip::omPrompt && !c.ReadOnly ? std::vector<std::string>({"root.txt", "link"})
                                                     : std::vector<std::string>{},
              asked);
    const auto root = ReadBytes(out / "root.txt");
    EXPECT_EQ(c.Replaced, root == Entry("root.txt").Data);
    EXPECT_EQ(!c.Replaced, std::string(root.begin(), root.end()) == "theirs");
    EXPECT_EQ(!c.Replaced, fs::is_regular_file(fs::symlink_status(out / "link")));
    EXPECT_EQ(c.Replaced, fs::is_symlink(out / "link"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"link", "root.txt"}), names);
  }
}

// The events of a run, in order; a failure answered Retry repeats the item, Abort ends the run and
// says so afterwards, a cancel in an item's last progress stops after that item.
TEST_F(ExtractRules, EventsRetryAbortAndCancel) {
  std::vector<TBuildEntry> entries = {Entry("one.txt"), Entry("two.txt"), Entry("three.txt")};
  entries[1].Crc32 = 1;  // two.txt fails its check
  WriteBytes(Dir / "e.zip", BuildZip(entries));

  struct Case {
    const char* Name;
    zip::TZAAction Answer;
    bool CancelAtFirstEnd;
    std::vector<std::string> Events;
    zip::TZAProcessResult Expected;
  };
  auto result = [](int processed, int failed, bool aborted, bool cancelled) {
    zip::TZAProcessResult r;
    r.Selected = 3;
    r.Processed = processed;
    r.Failed = failed;
    r.Aborted = aborted;
    r.Cancelled = cancelled;
    return r;
  };
  const std::vector<Case> cases = {
      {"ignore", zip::fxaIgnore, false,
       {"all start", "confirm one.txt", "start one.txt", "end one.txt", "confirm two.txt", "start two.txt",
        "failure two.txt 8", "confirm three.txt", "start three.txt", "end three.txt", "all end"},
       result(2, 1, false, false)},
      {"retry once, then abort", zip::fxaRetry, false,
       {"all start", "confirm one.txt", "start one.txt", "end one.txt", "confirm two.txt", "start two.txt",
        "failure two.txt 8", "confirm two.txt", "start two.txt", "failure two.txt 8", "all end"},
       result(1, 1, true, false)},
      {"cancel", zip::fxaIgnore, true, {"all start", "confirm one.txt", "start one.txt", "end one.txt", "all end"},
       result(0, 0, false, true)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> events;
    int failures = 0;
    const TEngineRun run = ExtractWithEngine(Dir / "e.zip", Dir / c.Name, [&](zip::TZipArchiver& a) {
      a.OnConfirmProcessFile = [&](auto*, const std::string& name, zip::TZAProcessOperation op, bool& confirm) {
        EXPECT_EQ(zip::poExtract, op);
        EXPECT_TRUE(confirm);
        events.push_back("confirm " + name);
      };
      a.OnOverallProgress = [&](auto*, double, zip::TZAProcessOperation, zip::TZAProgressPhase phase, bool&) {
        if (phase != zip::ppProcess) events.push_back(phase == zip::ppStart ? "all start" : "all end");
      };
      a.OnFileProgress = [&](auto*, const std::string& name, double progress, zip::TZAProcessOperation,
                             zip::TZAProgressPhase phase, bool& cancel) {
        if (phase == zip::ppStart) {
          events.push_back("start " + name);
          EXPECT_EQ(0.0, progress);
        }
        if (phase == zip::ppEnd) {
          events.push_back("end " + name);
          EXPECT_EQ(100.0, progress);
          if (c.CancelAtFirstEnd) cancel = true;
        }
      };
      a.OnProcessFileFailure = [&](auto*, const std::string& name, zip::TZAProcessOperation, int native, int,
                                   const std::string& message, zip::TZAAction& action) {
        events.push_back("failure " + name + " " + std::to_string(native));
        EXPECT_EQ("ZipArchiver1: Invalid size or check sum of file or unsupported compression format - Native error: 00008",
                  message);
        action = c.Answer == zip::fxaRetry && failures++ > 0 ? zip::fxaAbort : c.Answer;
      };
    });
    EXPECT_EQ(c.Events, events);
    EXPECT_EQ(c.Expected.Processed, run.Result.Processed);
    EXPECT_EQ(c.Expected.Failed, run.Result.Failed);
    EXPECT_EQ(c.Expected.Aborted, run.Result.Aborted);
    EXPECT_EQ(c.Expected.Cancelled, run.Result.Cancelled);
    EXPECT_EQ(3, run.Result.Selected);
    EXPECT_FALSE(fs::exists(Dir / c.Name / "two.txt"));
  }
}

TEST_F(ExtractRules, OpeningAndStateFailures) {
  zip::TZipArchiver a;
  a.SetName("ZipArchiver1");
  a.FileName = zip::platform::FromFileSystemPath((Dir / "missing.zip").string());
  try {
    a.OpenArchive(32);
    FAIL() << "opened a missing file";
  } catch (const zip::EZAException& e) {
    EXPECT_EQ(12, e.NativeError);
    EXPECT_EQ("ZipArchiver1: File \"" + a.FileName + "\" not found - Native error: 00012", e.Message());
  }
  a.FileName = zip::platform::FromFileSystemPath((Dir.Path()).string()) + "/";
  EXPECT_THROW(a.OpenArchive(32), zip::EZAException);
  try {
    a.ExtractFiles("*.*", 10431, "");
    FAIL();
  } catch (const zip::EZAException& e) {
    EXPECT_EQ(13, e.NativeError);
  }
  a.CloseArchive();  // closing what was never opened is harmless
  // Creating a new archive and closing it leaves an empty archive that peers accept.
  a.FileName = zip::platform::FromFileSystemPath((Dir / "new.zip").string());
  a.OpenArchive(-1);
  EXPECT_EQ(0, a.ItemCount());
  a.CloseArchive();
  EXPECT_EQ(22u, fs::file_size(Dir / "new.zip"));
  a.OpenArchive(32);
  EXPECT_EQ(0, a.ItemCount());
  a.CloseArchive();
}

// An item's DOS date-time becomes the file's time; fields outside their range are brought into it
// rather than carried over into the next month, day or hour, and the last DOS date stays itself.
TEST_F(ExtractRules, ItemDatesInsideTheirRanges) {
  struct Case {
    const char* Name;
    std::uint16_t Date, Time;
    int Year, Month, Day, Hour, Minute, Second;
  };
  const Case cases[] = {
      {"plain.txt", (41 << 9) | (6 << 5) | 15, (10 << 11) | (20 << 5) | 15, 2021, 6, 15, 10, 20, 30},
      {"last.txt", (127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29, 2107, 12, 31, 23, 59, 58},
      {"fields-too-big.txt", (41 << 9) | (15 << 5) | 0, (31 << 11) | (63 << 5) | 31, 2021, 12, 1, 23, 59, 58},
      {"february-31.txt", (42 << 9) | (2 << 5) | 31, 0, 2022, 2, 29, 0, 0, 0},
  };
  std::vector<TBuildEntry> entries;
  for (const auto& c : cases) {
    entries.push_back(Entry(c.Name));
    entries.back().ModDate = c.Date;
    entries.back().ModTime = c.Time;
  }
  WriteBytes(Dir / "dates.zip", BuildZip(entries));
  const TEngineRun run = ExtractWithEngine(Dir / "dates.zip", Dir / "out");
  ASSERT_TRUE(run.Result.Succeeded());
  for (const auto& c : cases) {
    struct stat st {};
    ASSERT_EQ(0, ::stat((Dir / "out" / c.Name).c_str(), &st));
    std::tm tm{};
    localtime_r(&st.st_mtime, &tm);
    // February 29 of 2022 does not exist: the day is brought into the month and mktime moves it on.
    if (std::string(c.Name) == "february-31.txt") {
      EXPECT_EQ(2022, tm.tm_year + 1900);
      EXPECT_EQ(3, tm.tm_mon + 1) << c.Name;
      EXPECT_EQ(1, tm.tm_mday) << c.Name;
      continue;
    }
    EXPECT_EQ((std::vector<int>{c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second}),
              (std::vector<int>{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}))
        << c.Name;
  }
}

// A cancel answered at the start of the whole run ends it there: no item, and no end event.
TEST_F(ExtractRules, CancelAtTheStartOfTheRun) {
  std::vector<std::string> events;
  const TEngineRun run = ExtractWithEngine(Dir / "a.zip", Dir / "out", [&](zip::TZipArchiver& a) {
    a.OnOverallProgress = [&](auto*, double, zip::TZAProcessOperation, zip::TZAProgressPhase phase, bool& cancel) {
      events.push_back(phase == zip::ppStart ? "all start" : phase == zip::ppEnd ? "all end" : "all process");
      if (phase == zip::ppStart) cancel = true;
    };
    a.OnFileProgress = [&](auto*, const std::string& name, double, zip::TZAProcessOperation, zip::TZAProgressPhase,
                           bool&) { events.push_back("file " + name); };
  });
  EXPECT_EQ(std::vector<std::string>{"all start"}, events);
  EXPECT_TRUE(run.Result.Cancelled);
  EXPECT_EQ(0, run.Result.Processed);
  EXPECT_FALSE(fs::exists(Dir / "out/root.txt"));
}

// Switching an in-memory archive to a file that cannot be written (a full disk) keeps the archive
// in memory, whole; a later switch to a file that can be written gives that file the archive.
TEST_F(ExtractRules, InMemoryArchiveSurvivesAFailedSwitchToAFile) {
  const std::vector<std::uint8_t> image = ReadBytes(Dir / "a.zip");
  zip::TZipArchiver a;
  a.SetInMemory(true);
  a.FileName = "memory.zip";
  a.OpenArchive(zip::ZAFileModeCreate);
  // The memory archive gets the bytes of a finished archive, as a commit would leave them.
  a.FArchiveStream->Write(image.data(), image.size());
  a.FDirManager->LoadCentralDirectory();
  // It holds a finished archive now, directory included: the close has nothing more to write.
  a.FDirManager->Creating = false;
  ASSERT_EQ(8, a.ItemCount());

  a.FileName = "/dev/full";
  EXPECT_THROW(a.SetInMemory(false), zip::EStreamError);
  EXPECT_TRUE(a.IsOpen());
  EXPECT_TRUE(a.InMemory());
  EXPECT_EQ(8, a.ItemCount());

  a.FileName = zip::platform::FromFileSystemPath((Dir / "saved.zip").string());
  a.SetInMemory(false);
  EXPECT_FALSE(a.InMemory());
  EXPECT_TRUE(a.IsOpen());
  EXPECT_EQ(8, a.ItemCount());
  a.CloseArchive();
  EXPECT_EQ(image, ReadBytes(Dir / "saved.zip"));
}

}  // namespace
