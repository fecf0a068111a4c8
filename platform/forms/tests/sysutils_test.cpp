#include "forms/sysutils.h"

#include <gtest/gtest.h>

namespace forms {
namespace {

TDateTime Fixed() { return EncodeDate(2026, 12, 10) + EncodeTime(9, 5, 7); }

class FormsSysUtils : public ::testing::Test {
 protected:
  void SetUp() override { SetClock(&Fixed); }
  void TearDown() override { SetClock(nullptr); }
};

TEST_F(FormsSysUtils, DatesAndTimesWriteInTheShortAndLongForms) {
  EXPECT_EQ(DateTimeToStr(Now()), "10/12/2026 09:05:07");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 1, 2)), "02/01/2026");  // midnight: no time
  EXPECT_EQ(DateToStr(EncodeDate(1899, 12, 30)), "30/12/1899");
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(LongDateToStr(EncodeDate(2026, 12, 10)), "jeudi 10 décembre 2026");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", Now()), "2026-12-10 09:05:07.000");
}

TEST_F(FormsSysUtils, TextsReadBackAsDatesOrFailWithAConversionError) {
  struct Case {
    const char* text;
    bool ok;
    TDateTime value;
  } cases[] = {
      {"10/12/2026", true, EncodeDate(2026, 12, 10)},
      {" 1/2/2027 ", true, EncodeDate(2027, 2, 1)},
      {"29/02/2024", true, EncodeDate(2024, 2, 29)},
      {"10/12", true, EncodeDate(2026, 12, 10)},  // the current year
      {"1/1/75", true, EncodeDate(2075, 1, 1)},  // within fifty years of 2026
      {"1/1/76", true, EncodeDate(1976, 1, 1)},
      {"29/02/2026", false, 0}, {"32/01/2026", false, 0}, {"10-12-2026", false, 0},
      {"10/12/2026x", false, 0}, {"", false, 0},           {"0", false, 0},
      {"2026/12/10", false, 0}, {"99999999999/1/1", false, 0},
  };
  for (const Case& c : cases) {
    if (c.ok) EXPECT_EQ(StrToDate(c.text), c.value) << c.text;
    else EXPECT_THROW(StrToDate(c.text), EConvertError) << c.text;
  }
  try {
    StrToDate("demain");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'demain' n'est pas une date correcte");
  }
}

TEST_F(FormsSysUtils, DateTimeTextsRoundTrip) {
  for (TDateTime v : {Now(), EncodeDate(2000, 2, 29), EncodeDate(2026, 12, 31) + EncodeTime(23, 59, 59)})
    EXPECT_EQ(StrToDateTime(DateTimeToStr(v)), v);
  EXPECT_EQ(StrToDateTime("10/12/2026 9:05"), EncodeDate(2026, 12, 10) + EncodeTime(9, 5, 0));
  EXPECT_THROW(StrToDateTime("10/12/2026 25:00"), EConvertError);
  EXPECT_EQ(DateToStr(IncDay(EncodeDate(2026, 12, 31))), "01/01/2027");
}

TEST_F(FormsSysUtils, OtherFormatsFollowFormatSettings) {
  TFormatSettings saved = FormatSettings();
  FormatSettings().ShortDateFormat = "yyyy-mm-dd";
  FormatSettings().DateSeparator = '-';
  EXPECT_EQ(DateToStr(EncodeDate(2026, 3, 4)), "2026-03-04");
  EXPECT_EQ(StrToDate("2026-3-4"), EncodeDate(2026, 3, 4));
  FormatSettings() = saved;
}

TEST(FormsTrim, RemovesBlanksAndControlCharactersAtBothEnds) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("é"), "é");
}

}  // namespace
}  // namespace forms
