// The exception's message: table text, component name, " - Native error: " and five digits.
#include <gtest/gtest.h>

#include <string>

#include "ZAExcept.h"
#include "ZipArchiver.h"

namespace zip {
namespace {

// The text every code gives (before the name prefix and the number).
struct CodeText {
  int Code;
  std::int32_t Index;
  const char* Text;
};

const char* const kIndex[] = {
    "Unknown error",
    "Index out of bounds",
    "Invalid compression mode. Mode must be in [0-9] range",
    "Unexpected nil pointer",
    "Invalid size or check sum of file or unsupported compression format",
    "File name is blank. Specify appropriate file name",
    "File \"%s\" not found",
    "Archive is not open",
    "SFXStub property is not specified",
    "Cannot create file \"%s\"",
    "Cannot create directory \"%s\"",
    "Internal error. Update is not started",
    "Cannot open file \"%s\"",
    "Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    "Cannot delete file \"%s\"",
    "In-memory archive can be created only",
    "File is open in read-only mode",
    "Invalid compressed size, rfs.size = %d, count = %d",
    "Invalid archive file.",
    "Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    "Archive is open. You should close it beore performing this operation.",
    "Unable to create directory",
    "Cannot find Zip64 directory end record",
    "Cannot compress file '%s'. Zip64 mode is not enabled",
    "Cannot open archive file. Opening aborted or invalid file",
    "Write to stream error",
    "Cannot place SFX stub on volume. Volume size limit is too small",
    "Archive is damaged. Open failed",
    "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation "
    "instead of MakeSFX",
    "Archive already has SFX stub",
    "Multi-volume archive is not allowed for custom stream",
    "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to "
    "add files several times",
    "Deflate64 compression method is not supported",
    "MakeSFX error",
};

// The message index of each code 0..60.
const std::int32_t kCodeIndex[61] = {
    0,  1,  1,  1,  1,  2,  3,  1,  4,  5,  5,  6,  6,  7,  7,  6,  1,  8,  6,  9,  10,
    1,  11, 9,  1,  11, 13, 14, 15, 5,  6,  6,  16, 12, 17, 18, 19, 20, 6,  21, 22, 23,
    6,  23, 24, 24, 25, 26, 27, 28, 29, 30, 31, 6,  6,  32, 33, -1, -1, -1, -1,
};

std::string Five(int code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%5d", code);
  std::string s = buf;
  for (char& c : s)
    if (c == ' ') c = '0';
  return s;
}

TEST(EZAException, EveryCodeWithAndWithoutAName) {
  TZipArchiver named;
  named.SetName("ZipArchiver1");
  TZipArchiver unnamed;
  for (int code = -1; code <= 61; ++code) {
    SCOPED_TRACE(code);
    std::int32_t index = (code >= 0 && code <= 60) ? kCodeIndex[code] : 0;
    std::string text = index >= 0 ? kIndex[index] : "";

    EZAException bare(code);
    EXPECT_EQ(bare.NativeError, code);
    EXPECT_EQ(bare.ErrorCode, index);
    EXPECT_EQ(bare.Message(), text + " - Native error: " + Five(code));
    EXPECT_STREQ(bare.what(), bare.Message().c_str());

    EZAException withName(code, &named);
    EXPECT_EQ(withName.Message(), "ZipArchiver1: " + text + " - Native error: " + Five(code));
    EZAException emptyName(code, &unnamed);
    EXPECT_EQ(emptyName.Message(), bare.Message());
  }
}

TEST(EZAException, NumberAndPlaceholders) {
  EXPECT_EQ(EZAException(5).Message(),
            "Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
  EXPECT_EQ(EZAException(-1).Message(), "Unknown error - Native error: 000-1");
  EXPECT_EQ(EZAException(123456).Message(), "Unknown error - Native error: 123456");
  // The first form keeps the placeholder, the second fills it.
  EXPECT_EQ(EZAException(12).Message(), "File \"%s\" not found - Native error: 00012");
  TZipArchiver a;
  a.SetName("ZipArchiver1");
  EZAException missing(12, &a, {std::string("C:\\a.zip")});
  EXPECT_EQ(missing.Message(), "ZipArchiver1: File \"C:\\a.zip\" not found - Native error: 00012");
  EXPECT_EQ(missing.ErrorCode, 6);
  EZAException sizes(34, &a, {std::int64_t{10}, std::int64_t{-2}});
  EXPECT_EQ(sizes.Message(),
            "ZipArchiver1: Invalid compressed size, rfs.size = 10, count = -2 - Native error: 00034");
  // A name with a percent sign is taken as it is.
  a.SetName("Zip%s");
  EXPECT_EQ(EZAException(57, &a).Message(), "Zip%s:  - Native error: 00057");
  EXPECT_EQ(EZAException(58).Message(), " - Native error: 00058");
}

TEST(EZAException, NameOfAFormOwnedComponent) {
  forms::TComponent form(nullptr);
  TZipArchiver& z = form.Create<TZipArchiver>("ZipArchiver1");
  EXPECT_EQ(z.Owner(), &form);
  try {
    z.CheckOpen();
    ADD_FAILURE() << "no error";
  } catch (const forms::Exception& e) {  // the framework's exception class catches it
    EXPECT_STREQ(e.what(), "ZipArchiver1: Archive is not open - Native error: 00013");
  }
}

TEST(ZAFormat, Directives) {
  EXPECT_EQ(ZAFormat("%s and %d", {std::string("x"), std::int64_t{42}}), "x and 42");
  EXPECT_EQ(ZAFormat("[%5d]", {std::int64_t{12}}), "[   12]");
  EXPECT_EQ(ZAFormat("100%% %s", {std::string("sure")}), "100% sure");
  EXPECT_EQ(ZAFormat("%s %s", {std::string("one")}), "one %s");  // a missing argument stays
  EXPECT_EQ(ZAFormat("%d", {std::string("x")}), "%d");          // so does the wrong kind
  EXPECT_EQ(ZAFormat("tail %", {}), "tail %");
}

}  // namespace
}  // namespace zip
