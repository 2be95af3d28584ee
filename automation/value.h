// Automation values: the string, date, Variant and run-time error semantics of
// the platform the component comes from. Every other module uses these; none
// re-derives them inline.
//
// Thread-safety: all functions are pure; values are plain value types.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "automation/guid.h"

namespace qbx {

// ---------------------------------------------------------------------------
// Run-time errors
// ---------------------------------------------------------------------------

// Error numbers the component raises or relies on.
enum ErrorNumber : int32_t {
  kErrInvalidCall = 5,           // "Invalid procedure call or argument"
  kErrOverflow = 6,              // "Overflow"
  kErrOutOfMemory = 7,           // "Out of memory"
  kErrDivisionByZero = 11,       // "Division by zero"
  kErrTypeMismatch = 13,         // "Type mismatch"
  kErrInternal = 51,             // "Internal error"
  kErrInvalidUseOfNull = 94,     // "Invalid use of Null"
  kErrCannotCreateObject = 429,  // "ActiveX component can't create object"
  kErrNoCurrentRecord = 3021,    // "Either BOF or EOF is True, ..."
  kErrItemNotFound = 3265,       // "Item cannot be found in the collection ..."
};

// The platform's description of a standard error number ("" when unknown).
std::string StandardErrorDescription(int32_t number);

// A run-time (automation) error: a number, a description and the source that
// raised it. Outside services and the database raise it with their own
// descriptions; the component's error traps turn it into a failure text.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int32_t number, std::string description, std::string source = "");
  int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const std::string& source() const noexcept { return source_; }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

// The exception being handled (call inside a catch block) as a run-time error:
// a RuntimeError as it is, std::bad_alloc as 7 "Out of memory", any other
// exception as 51 "Internal error" with its text.
RuntimeError CurrentRuntimeError() noexcept;

// Raises a standard error with its platform description.
[[noreturn]] void Raise(int32_t number);
[[noreturn]] void Raise(int32_t number, std::string description, std::string source = "");

// ---------------------------------------------------------------------------
// Strings (UTF-8 std::string; "" means not set)
// ---------------------------------------------------------------------------

// Length as the platform counts it: UTF-16 code units.
size_t Utf16Length(std::string_view s);
// The first n characters as the platform counts them (UTF-16 units), never
// cutting inside a character: a character that would be split is left out.
// A negative n is error 5.
std::string Left(std::string_view s, int64_t n);
// Removes leading and trailing spaces (only U+0020, as the platform's Trim).
std::string Trim(std::string_view s);
// Upper case of ASCII and Latin-1 letters (what the suite's codes use).
std::string UCase(std::string_view s);
// 1-based position of needle in haystack, compared without regard to case;
// 0 when absent. An empty haystack gives 0; an empty needle then gives 1.
int64_t InStrNoCase(std::string_view haystack, std::string_view needle);
// n copies of c; a negative n is error 5.
std::string RepeatChar(int64_t n, char c);
// A text as an SQL literal body: every single quote doubled.
std::string SqlText(std::string_view s);

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

// The decimal text of a Double used by every statement and message: C "%.15G"
// with "." as separator whatever the locale (3, 12.5, -0.25, 1E-05,
// 1.23456789012346E+15); -0 gives "0".
std::string NumberText(double d);
// Format with a mask of zeros: Format(7, "0000") = "0007", Format(-7, "0000") =
// "-0007", Format(10000, "0000") = "10000". The value is first rounded to a
// whole number, halves away from zero as Format does. An empty mask gives the
// plain NumberText of the unrounded value; a mask with anything but '0' is
// error 5.
std::string FormatZeros(double value, std::string_view mask);
// Conversion to a 16-bit integer: halves go to the even neighbour; beyond the
// range is error 6.
int16_t ToInteger16(double d);
// Conversion to a 32-bit integer, same rules.
int32_t ToLong32(double d);
// Double arithmetic with the platform's faults: x/0 (x != 0) is error 11,
// 0/0 and a result beyond the Double range are error 6.
double Divide(double a, double b);
double Multiply(double a, double b);
double Add(double a, double b);
double Subtract(double a, double b);

// ---------------------------------------------------------------------------
// Dates: days since 30 December 1899; the fraction is the time of day,
// whatever the sign of the day part (-1.25 is 29 Dec 1899 06:00).
// ---------------------------------------------------------------------------

struct CalendarTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  bool operator==(const CalendarTime&) const = default;
};

class Date {
 public:
  constexpr Date() = default;
  constexpr explicit Date(double serial) : serial_(serial) {}
  // Years 100..9999; invalid calendar values are error 5.
  static Date FromCalendar(const CalendarTime& t);
  static Date FromCalendar(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return FromCalendar(CalendarTime{y, mo, d, h, mi, s});
  }
  // Parses "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.fff]]" and the same with a "T"
  // (the texts the suite's database and ISO 8601 documents carry), with an
  // optional "Z" after the time. Fractions of a second stay in the serial.
  // Anything else, or an invalid date, is error 13.
  static Date Parse(std::string_view text);

  constexpr double serial() const { return serial_; }
  // Rounded to the nearest second (23:59:59.5 is the next midnight). A serial
  // outside years 100..9999 is error 5 here and in the texts below.
  CalendarTime ToCalendar() const;
  std::string FormatDdMmYyyy() const;  // "05-03-2024"
  std::string ToIsoText() const;       // "2024-03-05 14:30:00" (date only when no time)
  bool operator==(const Date&) const = default;

 private:
  double serial_ = 0;
};

// ---------------------------------------------------------------------------
// Variant
// ---------------------------------------------------------------------------

struct Empty {
  bool operator==(const Empty&) const = default;
};
struct Null {
  bool operator==(const Null&) const = default;
};
// An omitted optional argument.
struct Missing {
  bool operator==(const Missing&) const = default;
};
// A record carried by a Variant for late binding: its type identifier and an
// immutable copy of the value.
struct RecordValue {
  Guid type;
  std::shared_ptr<const void> data;
  bool operator==(const RecordValue& o) const { return type == o.type && data == o.data; }
};

class Variant {
 public:
  enum class Type { Empty, Null, Boolean, Integer, Long, Double, String, Date, Missing, Record };

  Variant() = default;
  Variant(Empty) {}
  Variant(Null v) : v_(v) {}
  Variant(Missing v) : v_(v) {}
  Variant(bool b) : v_(b) {}
  Variant(int16_t i) : v_(i) {}
  Variant(int32_t l) : v_(l) {}
  Variant(double d) : v_(d) {}
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(const char* s) : v_(std::string(s)) {}
  Variant(qbx::Date d) : v_(d) {}
  Variant(RecordValue r) : v_(std::move(r)) {}

  template <class T>
  static Variant FromRecord(const Guid& type, T value) {
    return Variant(RecordValue{type, std::make_shared<const T>(std::move(value))});
  }

  Type type() const { return static_cast<Type>(v_.index()); }
  bool IsEmpty() const { return type() == Type::Empty; }
  bool IsNull() const { return type() == Type::Null; }
  bool IsMissing() const { return type() == Type::Missing; }

  // Conversions as the platform does them. Null fails with error 94; Empty
  // gives 0, "" and False; a text that is not a number is error 13; numbers
  // out of range are error 6; Missing and records are error 13.
  // Texts as numbers: blanks trimmed, optional sign, decimal digits with "."
  // and an optional exponent ("1E3"); nothing else. True is -1. Texts as
  // Booleans: "True"/"False" in any case, or a number (0 is False).
  // Dates as texts: the es-MX short date "dd/mm/yyyy", with " hh:mm:ss" only
  // when there is a time; texts as dates: Date::Parse forms or that short date.
  std::string ToString() const;
  double ToDouble() const;
  bool ToBool() const;
  int16_t ToInteger() const;
  int32_t ToLong() const;
  qbx::Date ToDate() const;
  // Null gives "" instead of failing (a text joined with Null gives the text).
  std::string ToStringOrEmpty() const;

  // Record access for late binding; error 13 when the Variant holds another type.
  template <class T>
  const T& Record(const Guid& type) const {
    const auto* r = std::get_if<RecordValue>(&v_);
    if (!r || !(r->type == type)) Raise(kErrTypeMismatch);
    return *static_cast<const T*>(r->data.get());
  }

  // Exact representation equality (same type, same value), for tests and doubles.
  bool operator==(const Variant& o) const { return v_ == o.v_; }
  // Readable form for journals and diagnostics: Empty, Null, Missing, True,
  // 12 (Integer), 12& (Long), 12.5 (Double), "text", #2024-03-05#.
  std::string Describe() const;

 private:
  std::variant<Empty, Null, bool, int16_t, int32_t, double, std::string, qbx::Date, Missing,
               RecordValue>
      v_;
};

// How journals and traces write a value a service is given or answers; the
// one place those texts are made. kTrace, for people: a Variant as Describe
// gives it, a typed argument plain (its type is in the signature). kJournal,
// for tests: every number carries its type mark (12% Integer, 12& Long, 12.5#
// Double), Variants too, so a test sees the type that was passed. Texts are
// quoted as they are; dates are #yyyy-mm-dd[ hh:mm:ss]#.
enum class ValueStyle { kTrace, kJournal };
std::string ValueText(const Variant& v, ValueStyle style);
std::string ValueText(const std::string& s, ValueStyle style);
std::string ValueText(const char* s, ValueStyle style);  // not the bool overload
std::string ValueText(bool b, ValueStyle style);
std::string ValueText(int16_t n, ValueStyle style);
std::string ValueText(int32_t n, ValueStyle style);
std::string ValueText(double d, ValueStyle style);
std::string ValueText(const Date& d, ValueStyle style);

// The texts of a call's arguments, separated by ", ". Records of other layers
// take part through their own ValueText overloads (found by argument lookup).
template <class... A>
std::string ArgumentTexts([[maybe_unused]] ValueStyle style, const A&... args) {
  std::string out;
  ((out += (out.empty() ? "" : ", ") + ValueText(args, style)), ...);
  return out;
}

// "text" & Null = "text": concatenation with Null treated as "".
std::string Concat(const Variant& a, const Variant& b);
// Comparisons that are not true when either side is Null (and never throw for
// Null). Numbers (Boolean, Integer, Long, Double, Date) compare numerically,
// texts as text (binary order). A text against a number is converted to a
// number (error 13 if it is none), against a Date to a Date; Empty against a
// text is "". Missing and records are error 13.
bool IsLess(const Variant& a, const Variant& b);
bool IsEqual(const Variant& a, const Variant& b);

}  // namespace qbx
