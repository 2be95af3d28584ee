// Automation values: the platform's run-time errors, string, number, date and
// Variant semantics, in one place.
//
// Decimal separator: every number text uses "." whatever the process locale.
// The suite runs under es-MX, whose separator is "." too, and statements and
// messages must not change with the machine's settings, so nothing here reads
// the C locale (std::to_chars / std::from_chars only).
#include "automation/value.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <utility>

namespace qbx {

// ---------------------------------------------------------------------------
// Run-time errors
// ---------------------------------------------------------------------------

std::string StandardErrorDescription(int32_t number) {
  switch (number) {
    case kErrInvalidCall:
      return "Invalid procedure call or argument";
    case kErrOverflow:
      return "Overflow";
    case kErrOutOfMemory:
      return "Out of memory";
    case kErrDivisionByZero:
      return "Division by zero";
    case kErrTypeMismatch:
      return "Type mismatch";
    case kErrInternal:
      return "Internal error";
    case kErrInvalidUseOfNull:
      return "Invalid use of Null";
    case kErrCannotCreateObject:
      return "ActiveX component can't create object";
    case kErrNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case kErrItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    default:
      return "";
  }
}

RuntimeError::RuntimeError(int32_t number, std::string description, std::string source)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)),
      source_(std::move(source)) {}

RuntimeError CurrentRuntimeError() noexcept {
  std::exception_ptr current = std::current_exception();
  if (!current) return RuntimeError(kErrInternal, StandardErrorDescription(kErrInternal));
  try {
    std::rethrow_exception(current);
  } catch (const RuntimeError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return RuntimeError(kErrOutOfMemory, StandardErrorDescription(kErrOutOfMemory));
  } catch (const std::exception& e) {
    std::string text = StandardErrorDescription(kErrInternal);
    if (*e.what() != '\0') text += std::string(": ") + e.what();
    return RuntimeError(kErrInternal, std::move(text));
  } catch (...) {
    return RuntimeError(kErrInternal, StandardErrorDescription(kErrInternal));
  }
}

void Raise(int32_t number) {
  throw RuntimeError(number, StandardErrorDescription(number));
}

void Raise(int32_t number, std::string description, std::string source) {
  throw RuntimeError(number, std::move(description), std::move(source));
}

// ---------------------------------------------------------------------------
// Strings
// ---------------------------------------------------------------------------

namespace {

struct Utf8Char {
  size_t bytes;  // length of the character in s
  size_t units;  // UTF-16 code units it takes
};

// The character starting at s[i]. A malformed or truncated sequence counts as
// one byte and one unit, as a replacement character would.
Utf8Char CharAt(std::string_view s, size_t i) {
  auto lead = static_cast<unsigned char>(s[i]);
  size_t len = lead < 0x80           ? 1
               : (lead >> 5) == 0x6  ? 2
               : (lead >> 4) == 0xE  ? 3
               : (lead >> 3) == 0x1E ? 4
                                     : 0;
  if (len == 0 || i + len > s.size()) return {1, 1};
  for (size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return {1, 1};
  return {len, len == 4 ? 2u : 1u};
}

}  // namespace

size_t Utf16Length(std::string_view s) {
  size_t units = 0;
  for (size_t i = 0; i < s.size();) {
    Utf8Char c = CharAt(s, i);
    units += c.units;
    i += c.bytes;
  }
  return units;
}

std::string Left(std::string_view s, int64_t n) {
  if (n < 0) Raise(kErrInvalidCall);
  auto limit = static_cast<uint64_t>(n);
  uint64_t units = 0;
  size_t i = 0;
  while (i < s.size()) {
    Utf8Char c = CharAt(s, i);
    if (units + c.units > limit) break;
    units += c.units;
    i += c.bytes;
  }
  return std::string(s.substr(0, i));
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string UCase(std::string_view s) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 0x20);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      // U+00E0..U+00FE (C3 A0..C3 BE) map to U+00C0..U+00DE, except the
      // division sign U+00F7; U+00FF (C3 BF) maps to U+0178 (C5 B8).
      auto t = static_cast<unsigned char>(out[i + 1]);
      if (t >= 0xA0 && t <= 0xBE && t != 0xB7) {
        out[i + 1] = static_cast<char>(t - 0x20);
      } else if (t == 0xBF) {
        out[i] = static_cast<char>(0xC5);
        out[i + 1] = static_cast<char>(0xB8);
      }
      ++i;
    }
  }
  return out;
}

int64_t InStrNoCase(std::string_view haystack, std::string_view needle) {
  if (haystack.empty()) return 0;
  if (needle.empty()) return 1;
  // UCase keeps byte lengths, so a byte offset in the upper-cased text is one
  // in the original too; the position is reported in characters.
  std::string h = UCase(haystack);
  std::string n = UCase(needle);
  size_t at = h.find(n);
  if (at == std::string::npos) return 0;
  return static_cast<int64_t>(Utf16Length(haystack.substr(0, at))) + 1;
}

std::string RepeatChar(int64_t n, char c) {
  if (n < 0) Raise(kErrInvalidCall);
  return std::string(static_cast<size_t>(n), c);
}

std::string SqlText(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

std::string NumberText(double d) {
  if (d == 0) return "0";  // also -0, which the platform prints unsigned
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
  std::string out(buf, res.ptr);
  // to_chars writes the exponent with at least two digits, like printf.
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string FormatZeros(double value, std::string_view mask) {
  if (mask.empty()) return NumberText(value);
  if (mask.find_first_not_of('0') != std::string_view::npos) Raise(kErrInvalidCall);
  if (!std::isfinite(value)) Raise(kErrOverflow);
  // Format rounds halves away from zero (unlike the integer conversions).
  double r = std::round(value);
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(r), std::chars_format::fixed, 0);
  std::string digits(buf, res.ptr);
  if (digits.size() < mask.size()) digits.insert(0, mask.size() - digits.size(), '0');
  if (r < 0) digits.insert(digits.begin(), '-');
  return digits;
}

namespace {

// Halves go to the even neighbour, whatever the floating-point rounding mode.
double RoundHalfEven(double d) {
  double f = std::floor(d);
  double diff = d - f;
  if (diff > 0.5) return f + 1;
  if (diff < 0.5) return f;
  return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

double Checked(double r) {
  if (!std::isfinite(r)) Raise(kErrOverflow);
  return r;
}

}  // namespace

int16_t ToInteger16(double d) {
  if (std::isnan(d)) Raise(kErrOverflow);
  double r = RoundHalfEven(d);
  if (r < -32768.0 || r > 32767.0) Raise(kErrOverflow);
  return static_cast<int16_t>(r);
}

int32_t ToLong32(double d) {
  if (std::isnan(d)) Raise(kErrOverflow);
  double r = RoundHalfEven(d);
  if (r < -2147483648.0 || r > 2147483647.0) Raise(kErrOverflow);
  return static_cast<int32_t>(r);
}

double Divide(double a, double b) {
  if (b == 0) Raise(a == 0 || std::isnan(a) ? kErrOverflow : kErrDivisionByZero);
  return Checked(a / b);
}
double Multiply(double a, double b) {
  return Checked(a * b);
}
double Add(double a, double b) {
  return Checked(a + b);
}
double Subtract(double a, double b) {
  return Checked(a - b);
}

// ---------------------------------------------------------------------------
// Dates
// ---------------------------------------------------------------------------

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Serial day numbers of 1 January 100 and 31 December 9999.
constexpr double kFirstSerialDay = -657434.0;
constexpr double kLastSerialDay = 2958465.0;

// Days since 1970-01-01 of a proleptic Gregorian date.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

constexpr int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

bool ValidCalendar(const CalendarTime& t) {
  return t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
         t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

// Day part and time of day combine as the platform stores them: the time is
// added away from zero, so the fraction reads the same for either sign.
double SerialOf(int64_t day, double seconds) {
  double time = seconds / static_cast<double>(kSecondsPerDay);
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

// The date in the given order ("%02d-%02d-%04d" style), then " hh:mm:ss" when
// there is a time and with_time asks for it.
std::string CalendarText(const char* date_format, int a, int b, int c, const CalendarTime& t,
                         bool with_time) {
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, date_format, a, b, c);
  if (with_time && (t.hour != 0 || t.minute != 0 || t.second != 0))
    n += std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), " %02d:%02d:%02d", t.hour,
                       t.minute, t.second);
  return std::string(buf, static_cast<size_t>(n));
}

// A small cursor over a date text; every read fails softly.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}
  bool Digits(size_t count, int& value) {
    if (pos_ + count > s_.size()) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
      char c = s_[pos_ + i];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    pos_ += count;
    return true;
  }
  // Fraction digits after a '.', as a fraction of one.
  bool Fraction(double& value) {
    size_t start = pos_;
    double scale = 0.1;
    value = 0;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') {
      value += (s_[pos_] - '0') * scale;
      scale /= 10;
      ++pos_;
    }
    return pos_ > start;
  }
  bool Accept(char c) {
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool AtEnd() const { return pos_ == s_.size(); }

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

std::optional<Date> MakeDate(const CalendarTime& t, double fraction) {
  if (!ValidCalendar(t)) return std::nullopt;
  int64_t day = DaysFromCivil(t.year, t.month, t.day) - kEpochDays;
  double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second + fraction;
  return Date(SerialOf(day, seconds));
}

// Reads "hh:mm[:ss[.fff]]" after the date part; `allow_fraction` for the ISO forms.
bool ScanTime(Scanner& sc, CalendarTime& t, double& fraction, bool allow_fraction) {
  if (!sc.Digits(2, t.hour) || !sc.Accept(':') || !sc.Digits(2, t.minute)) return false;
  if (sc.Accept(':')) {
    if (!sc.Digits(2, t.second)) return false;
    if (allow_fraction && sc.Accept('.') && !sc.Fraction(fraction)) return false;
  }
  return true;
}

std::optional<Date> ParseIso(std::string_view text) {
  Scanner sc(text);
  CalendarTime t;
  double fraction = 0;
  if (!sc.Digits(4, t.year) || !sc.Accept('-') || !sc.Digits(2, t.month) || !sc.Accept('-') ||
      !sc.Digits(2, t.day))
    return std::nullopt;
  if (!sc.AtEnd()) {
    if (!sc.Accept(' ') && !sc.Accept('T')) return std::nullopt;
    if (!ScanTime(sc, t, fraction, true)) return std::nullopt;
    sc.Accept('Z');
    if (!sc.AtEnd()) return std::nullopt;
  }
  return MakeDate(t, fraction);
}

// The suite locale's short form, "dd/mm/yyyy[ hh:mm[:ss]]": what a Date
// converts to as text, so that the text converts back.
std::optional<Date> ParseShortDate(std::string_view text) {
  Scanner sc(text);
  CalendarTime t;
  double fraction = 0;
  if (!sc.Digits(2, t.day) || !sc.Accept('/') || !sc.Digits(2, t.month) || !sc.Accept('/') ||
      !sc.Digits(4, t.year))
    return std::nullopt;
  if (!sc.AtEnd() && (!sc.Accept(' ') || !ScanTime(sc, t, fraction, false) || !sc.AtEnd()))
    return std::nullopt;
  return MakeDate(t, fraction);
}

}  // namespace

Date Date::FromCalendar(const CalendarTime& t) {
  auto d = MakeDate(t, 0);
  if (!d) Raise(kErrInvalidCall);
  return *d;
}

Date Date::Parse(std::string_view text) {
  auto d = ParseIso(text);
  if (!d) Raise(kErrTypeMismatch);
  return *d;
}

CalendarTime Date::ToCalendar() const {
  if (!std::isfinite(serial_) || serial_ <= kFirstSerialDay - 1 || serial_ >= kLastSerialDay + 1)
    Raise(kErrInvalidCall);
  double whole = std::trunc(serial_);
  auto day = static_cast<int64_t>(whole);
  auto seconds = static_cast<int64_t>(std::llround(std::fabs(serial_ - whole) * kSecondsPerDay));
  if (seconds >= kSecondsPerDay) {  // 23:59:59.5 and later is the next midnight
    seconds -= kSecondsPerDay;
    ++day;
  }
  CalendarTime t;
  CivilFromDays(day + kEpochDays, t.year, t.month, t.day);
  if (t.year > 9999) Raise(kErrInvalidCall);
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

std::string Date::FormatDdMmYyyy() const {
  CalendarTime t = ToCalendar();
  return CalendarText("%02d-%02d-%04d", t.day, t.month, t.year, t, false);
}

std::string Date::ToIsoText() const {
  CalendarTime t = ToCalendar();
  return CalendarText("%04d-%02d-%02d", t.year, t.month, t.day, t, true);
}

// ---------------------------------------------------------------------------
// Variant
// ---------------------------------------------------------------------------

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UCase(a) == UCase(b);
}

// A number text as the platform's conversions accept it: optional blanks,
// an optional sign, digits with at most one ".", an optional exponent.
// Returns nothing when the text is not a number; too large a number is error 6.
std::optional<double> ParseNumber(std::string_view text) {
  std::string t = Trim(text);
  std::string_view s = t;
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  size_t i = 0, int_digits = 0, frac_digits = 0;
  int64_t leading_int_zeros = 0, leading_frac_zeros = 0;
  bool significant = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (s[i] != '0') significant = true;
    if (!significant) ++leading_int_zeros;
    ++int_digits;
    ++i;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (s[i] != '0') significant = true;
      if (!significant) ++leading_frac_zeros;
      ++frac_digits;
      ++i;
    }
  }
  if (int_digits + frac_digits == 0) return std::nullopt;
  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) exp_negative = s[i++] == '-';
    size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      exponent = std::min<int64_t>(exponent * 10 + (s[i] - '0'), 1000000);
      ++i;
    }
    if (i == start) return std::nullopt;
    if (exp_negative) exponent = -exponent;
  }
  if (i != s.size()) return std::nullopt;

  double value = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    if (!significant) return negative ? -0.0 : 0.0;
    // Decimal magnitude of the first significant digit decides overflow
    // against underflow (which the platform reads as 0).
    int64_t whole_digits = static_cast<int64_t>(int_digits) - leading_int_zeros;
    int64_t magnitude = whole_digits > 0 ? whole_digits : -leading_frac_zeros;
    if (magnitude + exponent > 0) Raise(kErrOverflow);
    return negative ? -0.0 : 0.0;
  }
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
  return negative ? -value : value;
}

double TextToDouble(const std::string& s) {
  auto d = ParseNumber(s);
  if (!d) Raise(kErrTypeMismatch);
  return *d;
}

Date SerialToDate(double serial) {
  if (!std::isfinite(serial) || serial <= kFirstSerialDay - 1 || serial >= kLastSerialDay + 1)
    Raise(kErrOverflow);
  return Date(serial);
}

}  // namespace

std::string Variant::ToString() const {
  switch (type()) {
    case Type::Empty:
      return "";
    case Type::Boolean:
      return std::get<bool>(v_) ? "True" : "False";
    case Type::Integer:
      return std::to_string(std::get<int16_t>(v_));
    case Type::Long:
      return std::to_string(std::get<int32_t>(v_));
    case Type::Double:
      return NumberText(std::get<double>(v_));
    case Type::String:
      return std::get<std::string>(v_);
    case Type::Date: {
      // The es-MX short date, with the time only when there is one.
      CalendarTime t = std::get<qbx::Date>(v_).ToCalendar();
      return CalendarText("%02d/%02d/%04d", t.day, t.month, t.year, t, true);
    }
    case Type::Null:
      Raise(kErrInvalidUseOfNull);
    case Type::Missing:
    case Type::Record:
      break;
  }
  Raise(kErrTypeMismatch);
}

std::string Variant::ToStringOrEmpty() const {
  return IsNull() ? std::string() : ToString();
}

double Variant::ToDouble() const {
  switch (type()) {
    case Type::Empty:
      return 0;
    case Type::Boolean:
      return std::get<bool>(v_) ? -1 : 0;
    case Type::Integer:
      return std::get<int16_t>(v_);
    case Type::Long:
      return std::get<int32_t>(v_);
    case Type::Double:
      return std::get<double>(v_);
    case Type::String:
      return TextToDouble(std::get<std::string>(v_));
    case Type::Date:
      return std::get<qbx::Date>(v_).serial();
    case Type::Null:
      Raise(kErrInvalidUseOfNull);
    case Type::Missing:
    case Type::Record:
      break;
  }
  Raise(kErrTypeMismatch);
}

bool Variant::ToBool() const {
  switch (type()) {
    case Type::Boolean:
      return std::get<bool>(v_);
    case Type::String: {
      const std::string& s = std::get<std::string>(v_);
      std::string t = Trim(s);
      if (EqualsNoCase(t, "True")) return true;
      if (EqualsNoCase(t, "False")) return false;
      return TextToDouble(s) != 0;
    }
    case Type::Null:
      Raise(kErrInvalidUseOfNull);
    case Type::Missing:
    case Type::Record:
      Raise(kErrTypeMismatch);
    default:
      return ToDouble() != 0;
  }
}

int16_t Variant::ToInteger() const {
  if (type() == Type::Integer) return std::get<int16_t>(v_);
  return ToInteger16(ToDouble());
}

int32_t Variant::ToLong() const {
  if (type() == Type::Long) return std::get<int32_t>(v_);
  return ToLong32(ToDouble());
}

qbx::Date Variant::ToDate() const {
  switch (type()) {
    case Type::Date:
      return std::get<qbx::Date>(v_);
    case Type::String: {
      std::string t = Trim(std::get<std::string>(v_));
      if (auto d = ParseIso(t)) return *d;
      if (auto d = ParseShortDate(t)) return *d;
      Raise(kErrTypeMismatch);
    }
    case Type::Null:
      Raise(kErrInvalidUseOfNull);
    case Type::Missing:
    case Type::Record:
      Raise(kErrTypeMismatch);
    default:
      return SerialToDate(ToDouble());
  }
}

std::string Variant::Describe() const {
  switch (type()) {
    case Type::String: {
      std::string out = "\"";
      for (char c : std::get<std::string>(v_)) {
        out += c;
        if (c == '"') out += '"';
      }
      return out + "\"";
    }
    case Type::Record:
      return std::string("Record ").append(std::get<RecordValue>(v_).type.ToString());
    default:
      return ValueText(*this, ValueStyle::kTrace);
  }
}

std::string ValueText(const Variant& v, ValueStyle style) {
  switch (v.type()) {
    case Variant::Type::Empty:
      return "Empty";
    case Variant::Type::Null:
      return "Null";
    case Variant::Type::Missing:
      return "Missing";
    case Variant::Type::Boolean:
      return ValueText(v.ToBool(), style);
    case Variant::Type::Integer:
      return ValueText(v.ToInteger(), style);
    case Variant::Type::Long:
      // A Long Variant shows its mark even for people: Integer and Long differ.
      return ValueText(v.ToLong(), ValueStyle::kJournal);
    case Variant::Type::Double:
      return ValueText(v.ToDouble(), style);
    case Variant::Type::String:
      return style == ValueStyle::kTrace ? v.Describe() : ValueText(v.ToString(), style);
    case Variant::Type::Date:
      return ValueText(v.ToDate(), style);
    case Variant::Type::Record:
      return style == ValueStyle::kTrace ? v.Describe() : "{record}";
  }
  return "?";
}

std::string ValueText(const std::string& s, ValueStyle) {
  return "\"" + s + "\"";
}
std::string ValueText(const char* s, ValueStyle style) {
  return ValueText(std::string(s), style);
}
std::string ValueText(bool b, ValueStyle) {
  return b ? "True" : "False";
}
std::string ValueText(int16_t n, ValueStyle style) {
  return std::to_string(n) + (style == ValueStyle::kJournal ? "%" : "");
}
std::string ValueText(int32_t n, ValueStyle style) {
  return std::to_string(n) + (style == ValueStyle::kJournal ? "&" : "");
}
std::string ValueText(double d, ValueStyle style) {
  return NumberText(d) + (style == ValueStyle::kJournal ? "#" : "");
}
std::string ValueText(const Date& d, ValueStyle) {
  std::string out = "#";
  try {
    out += d.ToIsoText();
  } catch (const RuntimeError&) {
    out += NumberText(d.serial());  // out of the calendar's range
  }
  return out += '#';
}

std::string Concat(const Variant& a, const Variant& b) {
  return a.ToStringOrEmpty() + b.ToStringOrEmpty();
}

namespace {

// Three-way comparison; nothing when either side is Null. A text against a
// number converts to a number, against a date to a date (as when a Variant
// meets a typed value); against Empty it compares with "".
std::optional<int> Compare(const Variant& a, const Variant& b) {
  using T = Variant::Type;
  if (a.IsNull() || b.IsNull()) return std::nullopt;
  auto unusable = [](T t) { return t == T::Missing || t == T::Record; };
  if (unusable(a.type()) || unusable(b.type())) Raise(kErrTypeMismatch);
  auto three_way = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  bool a_text = a.type() == T::String, b_text = b.type() == T::String;
  if ((a_text && (b_text || b.IsEmpty())) || (b_text && a.IsEmpty()))
    return three_way(a.ToString(), b.ToString());
  if ((a_text && b.type() == T::Date) || (b_text && a.type() == T::Date))
    return three_way(a.ToDate().serial(), b.ToDate().serial());
  return three_way(a.ToDouble(), b.ToDouble());
}

}  // namespace

bool IsLess(const Variant& a, const Variant& b) {
  auto c = Compare(a, b);
  return c && *c < 0;
}

bool IsEqual(const Variant& a, const Variant& b) {
  auto c = Compare(a, b);
  return c && *c == 0;
}

}  // namespace qbx
