// Archives made at test time by real peers (Info-ZIP zip, 7-Zip, Python's zipfile), extracted by
// the engine and compared, bytes, dates and modes, with what Info-ZIP's unzip extracts.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "ZipEngineRun.h"
#include "SampleTreeSuite.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

// The sample tree is made once; every case archives it its own way.
class PeerArchives : public SampleTreeSuite {
 protected:
  // The tree as one plain archive: unzip's reference for the forms it cannot read itself (split sets).
  fs::path PlainArchive() {
    const fs::path plain = Dir / "plain-reference.zip";
    if (!fs::exists(plain)) {
      EXPECT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r " + Quote(plain.string()) + " ."));
    }
    return plain;
  }

  // unzip's view of the archive next to the engine's; both must agree in every respect.
  void ExpectSameAsUnzip(const fs::path& archive, const fs::path& unzipInput) {
    const fs::path ref = Dir / "ref", out = Dir / "out";
    ASSERT_EQ(0, Shell("unzip -qq -o " + Quote(unzipInput.string()) + " -d " + Quote(ref.string())));
    const TEngineRun run = ExtractWithEngine(archive, out);
    ASSERT_TRUE(run.Opened) << run.OpenMessage;
    EXPECT_TRUE(run.Failures.empty()) << run.Failures.front();
    EXPECT_TRUE(run.Result.Succeeded());
    EXPECT_EQ("", CompareTrees(ref, out));
    EXPECT_EQ("", CompareTrees(Source(), out));
  }
  TTempDir Dir;
};

struct PeerCase {
  const char* Name;
  const char* Command;  // run in the source folder; ARCH is the archive to write
};

const PeerCase PeerCases[] = {
    {"zip_stored", "zip -q -r -0 ARCH ."},
    {"zip_fastest", "zip -q -r -1 ARCH ."},
    {"zip_best", "zip -q -r -9 ARCH ."},
    {"zip_streamed_with_descriptors", "zip -q -r - . > ARCH"},
    {"zip_zip64", "zip -q -r -fz ARCH ."},
    {"sevenzip_deflate", "7zz a -tzip -bd -bso0 ARCH ."},
    {"sevenzip_stored", "7zz a -tzip -mx=0 -bd -bso0 ARCH ."},
    {"python_deflate", "python3 -c \"import zipfile,os,sys\n"
                       "with zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED) as z:\n"
                       "  for r,ds,fs in os.walk('.'):\n"
                       "    for d in sorted(ds): z.write(os.path.join(r,d))\n"
                       "    for f in sorted(fs): z.write(os.path.join(r,f))\" ARCH"},
    {"python_zip64_forced", "python3 -c \"import zipfile,os,sys,shutil\n"
                            "with zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED) as z:\n"
                            "  for r,ds,fs in os.walk('.'):\n"
                            "    for d in sorted(ds): z.write(os.path.join(r,d))\n"
                            "    for f in sorted(fs):\n"
                            "      p=os.path.join(r,f); i=zipfile.ZipInfo.from_file(p); i.compress_type=zipfile.ZIP_DEFLATED\n"
                            "      with open(p,'rb') as s, z.open(i,'w',force_zip64=True) as d: shutil.copyfileobj(s,d)\" ARCH"},
};

class PeerArchive : public PeerArchives, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(PeerArchive, ExtractsLikeUnzip) {
  const fs::path archive = Dir / "peer.zip";
  std::string command = GetParam().Command;
  for (auto at = command.find("ARCH"); at != std::string::npos; at = command.find("ARCH")) {
    command.replace(at, 4, Quote(archive.string()));
  }
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && " + command));
  ExpectSameAsUnzip(archive, archive);
}

INSTANTIATE_TEST_SUITE_P(Peers, PeerArchive, ::testing::ValuesIn(PeerCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(PeerArchives, SelfExtractorWithAndWithoutAdjustedOffsets) {
  const fs::path plain = Dir / "plain.zip";
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r " + Quote(plain.string()) + " ."));
  for (const bool adjusted : {false, true}) {
    SCOPED_TRACE(adjusted ? "zip -A" : "stub put in front");
    const fs::path sfx = Dir / (adjusted ? "adjusted.exe" : "raw.exe");
    ASSERT_EQ(0, Shell("cat /usr/bin/unzipsfx " + Quote(plain.string()) + " > " + Quote(sfx.string())));
    if (adjusted) {
      ASSERT_EQ(0, Shell("zip -q -A " + Quote(sfx.string())));
    }
    ExpectSameAsUnzip(sfx, plain);
    fs::remove_all(Dir / "ref");
    fs::remove_all(Dir / "out");
  }
}

TEST_F(PeerArchives, SplitSetReadAcrossVolumes) {
  const fs::path split = Dir / "set" / "split.zip";
  fs::create_directories(split.parent_path());
  // Volumes of 64 KiB: items are cut across volume ends.
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r -s 64k " + Quote(split.string()) + " ."));
  ASSERT_TRUE(fs::exists(Dir / "set" / "split.z01"));
  ExpectSameAsUnzip(split, PlainArchive());
}

// With Zip64 records, an item's volume is still its 16-bit disk field unless that holds the escape
// value: items on later volumes are found where they are.
TEST_F(PeerArchives, SplitSetWithZip64Records) {
  const fs::path split = Dir / "set" / "split64.zip";
  fs::create_directories(split.parent_path());
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r -fz -s 64k " + Quote(split.string()) + " ."));
  ASSERT_TRUE(fs::exists(Dir / "set" / "split64.z05"));
  ExpectSameAsUnzip(split, PlainArchive());
}

TEST_F(PeerArchives, SplitSetWithUpperCaseVolumeNames) {
  const fs::path split = Dir / "set" / "split.zip";
  fs::create_directories(split.parent_path());
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r -s 1m " + Quote(split.string()) + " ."));
  for (const auto& entry : fs::directory_iterator(Dir / "set")) {
    std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 2, ".z") == 0 && std::isdigit(static_cast<unsigned char>(name.back()))) {
      name[name.size() - 3] = 'Z';
      fs::rename(entry.path(), entry.path().parent_path() / name);
    }
  }
  ASSERT_TRUE(fs::exists(Dir / "set" / "split.Z01"));
  ExpectSameAsUnzip(split, PlainArchive());
}

TEST_F(PeerArchives, MoreThan65535Entries) {
  const fs::path archive = Dir / "many.zip";
  ASSERT_EQ(0, RunPython("import zipfile,sys\n"
                         "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                         "  for i in range(70000):\n"
                         "    zi=zipfile.ZipInfo('d%02d/f%05d.txt' % (i % 50, i), (2020,1,2,3,4,6)); zi.external_attr=0o100644<<16\n"
                         "    zi.create_system=3; z.writestr(zi, 'item %d\\n' % i)\n",
                         {archive.string()}));
  const fs::path ref = Dir / "ref", out = Dir / "out";
  ASSERT_EQ(0, Shell("unzip -qq " + Quote(archive.string()) + " -d " + Quote(ref.string())));
  const TEngineRun run = ExtractWithEngine(archive, out);
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_EQ(70000, run.Result.Selected);
  EXPECT_EQ(70000, run.Result.Processed);
  EXPECT_EQ("", CompareTrees(ref, out));
}

TEST_F(PeerArchives, CommandLineFrontEndListsAndExtracts) {
  const fs::path archive = Dir / "cli.zip";
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r " + Quote(archive.string()) + " ."));
  const fs::path listing = Dir / "list.txt";
  ASSERT_EQ(0, Shell(Quote(ZIPREAD_CLI) + " list " + Quote(archive.string()) + " > " + Quote(listing.string())));
  const auto text = ReadBytes(listing);
  EXPECT_NE(std::string(text.begin(), text.end()).find("docs/deep/big.bin\t1048581\t"), std::string::npos);
  ASSERT_EQ(0, Shell(Quote(ZIPREAD_CLI) + " extract " + Quote(archive.string()) + " " + Quote((Dir / "out").string()) +
                   " > /dev/null"));
  ASSERT_EQ(0, Shell("unzip -qq " + Quote(archive.string()) + " -d " + Quote((Dir / "ref").string())));
  EXPECT_EQ("", CompareTrees(Dir / "ref", Dir / "out"));
  // A file that is no archive: the engine's message and a failing exit.
  WriteText(Dir / "not.zip", "this is not an archive at all\n");
  EXPECT_EQ(2, Shell(Quote(ZIPREAD_CLI) + " extract " + Quote((Dir / "not.zip").string()) + " " +
                   Quote((Dir / "o2").string()) + " 2> " + Quote((Dir / "err.txt").string())));
  const auto err = ReadBytes(Dir / "err.txt");
  EXPECT_EQ("Invalid archive file. - Native error: 00035\n", std::string(err.begin(), err.end()));
}

}  // namespace
