#include "forms/sysutils.h"

#include <cctype>
#include <chrono>
#include <climits>
#include <cmath>
#include <ctime>

namespace forms {

namespace {

// Days from 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

// 30 December 1899, the day 0 of TDateTime, counted from 1970-01-01.
const long long kEpochShift = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

TDateTime SystemNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), static_cast<int>(ms));
}

TClock clock_ = nullptr;

const char* const kLongMonths[] = {"janvier", "février", "mars", "avril", "mai", "juin", "juillet",
                                   "août", "septembre", "octobre", "novembre", "décembre"};
const char* const kShortMonths[] = {"janv.", "févr.", "mars", "avr.", "mai", "juin",
                                    "juil.", "août", "sept.", "oct.", "nov.", "déc."};
const char* const kLongDays[] = {"dimanche", "lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi"};
const char* const kShortDays[] = {"dim.", "lun.", "mar.", "mer.", "jeu.", "ven.", "sam."};

std::string Pad(int v, int width) {
  std::string s = std::to_string(v);
  while (static_cast<int>(s.size()) < width) s.insert(s.begin(), '0');
  return s;
}

int DayOfWeek(TDateTime v) {  // 0 = Sunday
  const long long days = static_cast<long long>(std::trunc(v));
  long long w = (days + 6) % 7;  // 30/12/1899 was a Saturday
  if (w < 0) w += 7;
  return static_cast<int>(w);
}

[[noreturn]] void Invalid(const char* what, const std::string& text) {
  throw EConvertError("'" + text + "' n'est pas " + what + " correcte");
}

struct Scanner {
  const std::string& s;
  size_t pos = 0;
  void SkipBlanks() {
    while (pos < s.size() && s[pos] == ' ') ++pos;
  }
  bool Number(int& out, int& digits) {
    SkipBlanks();
    long long v = 0;
    digits = 0;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
      if (digits < 9) v = v * 10 + (s[pos] - '0');
      ++digits;
      ++pos;
    }
    if (digits == 0 || digits > 9) return false;
    out = static_cast<int>(v);
    return true;
  }
  bool Char(char c) {
    SkipBlanks();
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos >= s.size();
  }
};

// The order of day, month and year in the short date format.
std::string DateOrder() {
  std::string order;
  for (char c : FormatSettings().ShortDateFormat) {
    const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos) order += l;
  }
  return order.size() == 3 ? order : "dmy";
}

bool ScanDate(Scanner& sc, TDateTime& out) {
  const char sep = FormatSettings().DateSeparator;
  int n[3] = {0, 0, 0}, digits[3] = {0, 0, 0};
  int count = 0;
  if (!sc.Number(n[0], digits[0])) return false;
  count = 1;
  if (!sc.Char(sep) || !sc.Number(n[1], digits[1])) return false;
  count = 2;
  const size_t save = sc.pos;
  if (sc.Char(sep)) {
    if (sc.Number(n[2], digits[2])) count = 3;
    else sc.pos = save;
  }
  const std::string order = DateOrder();
  int y = 0, m = 0, d = 0;
  int yearDigits = 0;
  int currentYear, cm, cd;
  DecodeDate(Now(), currentYear, cm, cd);
  if (count == 3) {
    for (int i = 0; i < 3; ++i) {
      if (order[static_cast<size_t>(i)] == 'd') d = n[i];
      if (order[static_cast<size_t>(i)] == 'm') m = n[i];
      if (order[static_cast<size_t>(i)] == 'y') {
        y = n[i];
        yearDigits = digits[i];
      }
    }
  } else {
    // Day and month alone, in the format's order; the year is the current one.
    const std::string dm = order.substr(0, order.find('y')) + order.substr(order.find('y') + 1);
    d = dm[0] == 'd' ? n[0] : n[1];
    m = dm[0] == 'd' ? n[1] : n[0];
    y = currentYear;
    yearDigits = 4;
  }
  if (yearDigits <= 2) {
    const int base = currentYear - 50;
    y += base / 100 * 100;
    if (y < base) y += 100;
  }
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
  out = EncodeDate(y, m, d);
  return true;
}

bool ScanTime(Scanner& sc, TDateTime& out) {
  const char sep = FormatSettings().TimeSeparator;
  int h = 0, n = 0, s = 0, ms = 0, digits = 0;
  if (!sc.Number(h, digits)) return false;
  if (!sc.Char(sep) || !sc.Number(n, digits)) return false;
  if (sc.Char(sep)) {
    if (!sc.Number(s, digits)) return false;
    if (sc.Char('.') || sc.Char(',')) {
      int d2 = 0;
      if (!sc.Number(ms, d2)) return false;
      while (d2 > 3) {
        ms /= 10;
        --d2;
      }
      while (d2 < 3) {
        ms *= 10;
        ++d2;
      }
    }
  }
  if (h > 23 || n > 59 || s > 59) return false;
  out = EncodeTime(h, n, s, ms);
  return true;
}

}  // namespace

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

void SetClock(TClock clock) { clock_ = clock; }
TDateTime Now() { return clock_ ? clock_() : SystemNow(); }
TDateTime Date() { return DateOf(Now()); }
TDateTime Time() { return Now() - DateOf(Now()); }

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    throw EConvertError("Argument de codage de date incorrect");
  return static_cast<TDateTime>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                                kEpochShift);
}

TDateTime EncodeTime(int hour, int minute, int second, int ms) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 || ms > 999)
    throw EConvertError("Argument de codage d'heure incorrect");
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / 86400000.0;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  if (!std::isfinite(value)) value = 0;
  const long long days = static_cast<long long>(std::trunc(value));
  CivilFromDays(days + kEpochShift, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms) {
  if (!std::isfinite(value)) value = 0;
  long long total = std::llround(std::fabs(value - std::trunc(value)) * 86400000.0);
  if (total >= 86400000) total = 86399999;
  ms = static_cast<int>(total % 1000);
  total /= 1000;
  second = static_cast<int>(total % 60);
  total /= 60;
  minute = static_cast<int>(total % 60);
  hour = static_cast<int>(total / 60);
}

TDateTime DateOf(TDateTime value) { return std::trunc(value); }
TDateTime IncDay(TDateTime value, int days) { return value + days; }

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
  int y, m, d, h, n, s, ms;
  DecodeDate(value, y, m, d);
  DecodeTime(value, h, n, s, ms);
  std::string out;
  size_t i = 0;
  auto run = [&](char c) {
    size_t k = 0;
    while (i + k < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + k])) == c) ++k;
    return k;
  };
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '"' || c == '\'') {
      const size_t end = pattern.find(c, i + 1);
      out += pattern.substr(i + 1, (end == std::string::npos ? pattern.size() : end) - i - 1);
      i = end == std::string::npos ? pattern.size() : end + 1;
      continue;
    }
    if (l == 'c') {
      out += DateTimeToStr(value);
      ++i;
      continue;
    }
    if (l == 'd') {
      const size_t k = run('d');
      if (k == 1) out += std::to_string(d);
      else if (k == 2) out += Pad(d, 2);
      else if (k == 3) out += kShortDays[DayOfWeek(value)];
      else out += kLongDays[DayOfWeek(value)];
      i += k;
      continue;
    }
    if (l == 'm') {
      const size_t k = run('m');
      if (k == 1) out += std::to_string(m);
      else if (k == 2) out += Pad(m, 2);
      else if (k == 3) out += kShortMonths[m - 1];
      else out += kLongMonths[m - 1];
      i += k;
      continue;
    }
    if (l == 'y') {
      const size_t k = run('y');
      out += k <= 2 ? Pad(y % 100, 2) : Pad(y, 4);
      i += k;
      continue;
    }
    if (l == 'h' || l == 'n' || l == 's') {
      const size_t k = run(l);
      const int v = l == 'h' ? h : l == 'n' ? n : s;
      out += k == 1 ? std::to_string(v) : Pad(v, 2);
      i += k;
      continue;
    }
    if (l == 'z') {
      const size_t k = run('z');
      out += k >= 3 ? Pad(ms, 3) : std::to_string(ms);
      i += k;
      continue;
    }
    if (c == '/') out += FormatSettings().DateSeparator;
    else if (c == ':') out += FormatSettings().TimeSeparator;
    else out += c;
    ++i;
  }
  return out;
}

std::string DateToStr(TDateTime value) { return FormatDateTime(FormatSettings().ShortDateFormat, value); }
std::string LongDateToStr(TDateTime value) { return FormatDateTime(FormatSettings().LongDateFormat, value); }
std::string TimeToStr(TDateTime value) { return FormatDateTime(FormatSettings().LongTimeFormat, value); }

std::string DateTimeToStr(TDateTime value) {
  std::string out = DateToStr(value);
  int h, n, s, ms;
  DecodeTime(value, h, n, s, ms);
  if (h || n || s || ms) out += " " + TimeToStr(value);
  return out;
}

TDateTime StrToDate(const std::string& text) {
  Scanner sc{text};
  TDateTime d = 0;
  if (!ScanDate(sc, d) || !sc.AtEnd()) Invalid("une date", text);
  return d;
}

TDateTime StrToTime(const std::string& text) {
  Scanner sc{text};
  TDateTime t = 0;
  if (!ScanTime(sc, t) || !sc.AtEnd()) Invalid("une heure", text);
  return t;
}

TDateTime StrToDateTime(const std::string& text) {
  Scanner sc{text};
  TDateTime d = 0, t = 0;
  if (!ScanDate(sc, d)) Invalid("une date et heure", text);
  if (!sc.AtEnd() && !ScanTime(sc, t)) Invalid("une date et heure", text);
  if (!sc.AtEnd()) Invalid("une date et heure", text);
  return d + t;
}

std::string IntToStr(long long value) { return std::to_string(value); }

namespace {
bool ParseInt(const std::string& text, int& out) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int digit;
    if (std::isdigit(c)) digit = c - '0';
    else if (base == 16 && std::isxdigit(c)) digit = std::tolower(c) - 'a' + 10;
    else return false;
    v = v * base + digit;
    // Hexadecimal reaches the whole 32 bits, as the framework reads it.
    if (v > (base == 16 ? 0xFFFFFFFFLL : static_cast<long long>(INT_MAX) + 1)) return false;
  }
  if (base == 16 && !negative && v > INT_MAX) v -= 0x100000000LL;
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  out = static_cast<int>(v);
  return true;
}
}  // namespace

int StrToInt(const std::string& text) {
  int v = 0;
  if (!ParseInt(text, v)) throw EConvertError("'" + text + "' n'est pas une valeur entière correcte");
  return v;
}

int StrToIntDef(const std::string& text, int fallback) {
  int v = 0;
  return ParseInt(text, v) ? v : fallback;
}

std::string Trim(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string IncludeTrailingPathDelimiter(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace forms
