#pragma once
// The framework's run-time helpers the programs use: exceptions, dates and times as
// TDateTime, their text forms in the user's date and time format, and integer texts.
//
// TDateTime counts days since 30 December 1899, the fraction being the time of day.
// The date and time formats are those of FormatSettings; they start as the French
// forms the programs are written for ("dd/mm/yyyy" and "hh:nn:ss", separators "/" and
// ":"), and a program or a test may change them.
#include <stdexcept>
#include <string>

namespace forms {

// The framework's base exception; every failure this layer reports derives from it.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A text that is not a date, time or number of the expected form.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

using TDateTime = double;

struct TFormatSettings {
  char DateSeparator = '/';
  char TimeSeparator = ':';
  // Patterns: d dd (day), m mm (month), yy yyyy (year), dddd (day name), mmmm (month name),
  // h hh (hour), n nn (minute), s ss (second).
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string LongDateFormat = "dddd d mmmm yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
};
TFormatSettings& FormatSettings();

// The clock, replaceable for tests (nullptr puts the system clock back).
using TClock = TDateTime (*)();
void SetClock(TClock clock);
TDateTime Now();
TDateTime Date();  // today at 00:00
TDateTime Time();  // the time of day alone

TDateTime EncodeDate(int year, int month, int day);  // throws EConvertError
TDateTime EncodeTime(int hour, int minute, int second, int ms = 0);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms);
TDateTime DateOf(TDateTime value);
TDateTime IncDay(TDateTime value, int days = 1);

// Text forms, from FormatSettings.
std::string FormatDateTime(const std::string& pattern, TDateTime value);
std::string DateToStr(TDateTime value);      // short date
std::string LongDateToStr(TDateTime value);  // long date
std::string TimeToStr(TDateTime value);      // long time
// Short date, then a space and the long time; the time is left out at midnight sharp.
std::string DateTimeToStr(TDateTime value);
// The reverse conversions accept what the forms above write (day, month and year in the
// short date order, a two-digit year taken within fifty years of the current one, the
// seconds optional, the year optional (the current one));
// anything else throws EConvertError with the framework's French message.
TDateTime StrToDate(const std::string& text);
TDateTime StrToTime(const std::string& text);
TDateTime StrToDateTime(const std::string& text);

std::string IntToStr(long long value);
int StrToInt(const std::string& text);  // throws EConvertError
// Decimal with an optional sign, or hexadecimal written "$1F" or "0x1F"; 32-bit range.
int StrToIntDef(const std::string& text, int fallback);
// Leading and trailing characters up to the blank (code 32) removed, as the framework's Trim.
std::string Trim(const std::string& text);
// A folder's path ending with exactly the separator it had or one "/" added ("" gives "/").
std::string IncludeTrailingPathDelimiter(std::string folder);

}  // namespace forms
