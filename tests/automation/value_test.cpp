// The platform's value semantics and class identifiers, one table per area.
// A row is named by its own expression; a raised error reads "error N".
#include "automation/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "automation/guid.h"
#include "services/connection.h"

namespace qbx {
namespace {

// A result as the tables spell it: Doubles to 15 digits, dates in ISO form,
// Variants as Describe gives them.
template <class T>
std::string Text(const T& v) {
  if constexpr (std::is_same_v<T, bool>) {
    return v ? "true" : "false";
  } else if constexpr (std::is_integral_v<T>) {
    return std::to_string(v);
  } else if constexpr (std::is_floating_point_v<T>) {
    std::ostringstream s;
    s.precision(15);
    s << v;
    return s.str();
  } else if constexpr (std::is_same_v<T, Date>) {
    return v.ToIsoText();
  } else if constexpr (std::is_same_v<T, Variant>) {
    return v.Describe();
  } else {
    return std::string(v);
  }
}

// f's result as text, or "error N" when it raises one with its standard description.
template <class F>
std::string Result(F f) {
  try {
    return Text(f());
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), StandardErrorDescription(e.number())) << e.number();
    return "error " + std::to_string(e.number());
  }
}

struct Row {
  const char* what;
  std::string got, expected;
};
// A table row named by its own expression.
#define ROW(expr, expected) (Row{#expr, Result([&] { return (expr); }), (expected)})

void ExpectRows(std::initializer_list<Row> rows) {
  for (const Row& r : rows) EXPECT_EQ(r.got, r.expected) << r.what;
}

// The error a handler sees: "number description [source]".
template <class F>
std::string Handled(F f) {
  try {
    f();
  } catch (...) {
    const RuntimeError e = CurrentRuntimeError();
    return std::to_string(e.number()) + " " + e.description() + " [" + e.source() + "]";
  }
  return "completed";
}

const std::string kEmoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units
const std::string kE5 = "error 5", kE6 = "error 6", kE11 = "error 11", kE13 = "error 13",
                  kE94 = "error 94";

TEST(Values, Errors) {
  ExpectRows({
      ROW(StandardErrorDescription(5), "Invalid procedure call or argument"),
      ROW(StandardErrorDescription(6), "Overflow"),
      ROW(StandardErrorDescription(11), "Division by zero"),
      ROW(StandardErrorDescription(51), "Internal error"),
      ROW(StandardErrorDescription(94), "Invalid use of Null"),
      ROW(StandardErrorDescription(3021), std::string(kNoCurrentRecordText)),
      ROW(StandardErrorDescription(3265), std::string(kItemNotFoundText)),
      ROW(StandardErrorDescription(12345), ""),
      ROW(Handled([] { Raise(kErrTypeMismatch); }), "13 Type mismatch []"),
      ROW(Handled([] { Raise(-2147217900, "Incorrect syntax near 'x'.", "Suite"); }),
          "-2147217900 Incorrect syntax near 'x'. [Suite]"),
      ROW(Handled([] { throw std::bad_alloc(); }), "7 Out of memory []"),
      ROW(Handled([] { throw std::logic_error("boom"); }), "51 Internal error: boom []"),
      ROW(Handled([] { throw 42; }), "51 Internal error []"),
  });
  EXPECT_STREQ(RuntimeError(kErrOverflow, "Overflow").what(), "Overflow");
  EXPECT_EQ(CurrentRuntimeError().number(), kErrInternal);  // nothing being handled
}

TEST(Values, Strings) {
  // Lengths and positions count UTF-16 units; a stray or truncated byte is one.
  const std::string face = "a" + kEmoji + "b";
  const struct {
    std::string text;
    size_t length;
    int64_t n;
    std::string left;  // never half a surrogate pair
  } lefts[] = {{"", 0, 3, ""},          {"abc", 3, 9, "abc"},  {"ñandú", 5, 3, "ñan"},
               {"€1", 2, 1, "€"},       {face, 4, 2, "a"},     {face, 4, 3, "a" + kEmoji},
               {"\xFF!", 2, 1, "\xFF"}, {"\xC3", 1, 1, "\xC3"}};
  for (const auto& c : lefts) {
    EXPECT_EQ(Utf16Length(c.text), c.length) << c.text;
    EXPECT_EQ(Left(c.text, c.n), c.left) << c.text << " " << c.n;
  }
  const std::pair<std::string, std::string> upper[] = {
      {"abc-12", "ABC-12"}, {"ñandú áéíóü", "ÑANDÚ ÁÉÍÓÜ"}, {"÷", "÷"}, {"straße", "STRAßE"},
      {"ÿ", "Ÿ"},           {"x" + kEmoji, "X" + kEmoji}};
  for (const auto& [in, out] : upper) EXPECT_EQ(UCase(in), out) << in;
  const struct {
    std::string haystack, needle;
    int64_t position;
  } finds[] = {{"", "", 0},        {"abc", "", 1},        {"abc", "B", 2},
               {"abc", "abcd", 0}, {"ABAB", "bab", 2},    {"Sucursal 01, 02", "02", 14},
               {"ñandú", "DÚ", 4}, {kEmoji + "x", "X", 3}};
  for (const auto& c : finds)
    EXPECT_EQ(InStrNoCase(c.haystack, c.needle), c.position) << c.haystack << " / " << c.needle;
  ExpectRows({
      ROW(Left("abc", -1), kE5),
      ROW(Trim("  a b  "), "a b"),
      ROW(Trim("   "), ""),
      ROW(Trim("\tab\n"), "\tab\n"),  // only spaces
      ROW(SqlText("O'Brien"), "O''Brien"),
      ROW(SqlText("''"), "''''"),
      ROW(RepeatChar(3, '0'), "000"),
      ROW(RepeatChar(0, 'x'), ""),
      ROW(RepeatChar(-1, 'x'), kE5),
  });
}

TEST(Values, Numbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double value;
    std::string text, integer, long_value;  // NumberText, ToInteger16, ToLong32
  } numbers[] = {
      {3, "3", "3", "3"},
      {-0.25, "-0.25", "0", "0"},
      {1e-05, "1E-05", "0", "0"},
      {123456789012345, "123456789012345", kE6, kE6},
      {1e+15, "1E+15", kE6, kE6},
      {1234567890123456, "1.23456789012346E+15", kE6, kE6},
      {-1.5e-300, "-1.5E-300", "0", "0"},
      {0.1 + 0.2, "0.3", "0", "0"},
      {-0.0, "0", "0", "0"},
      {2.5, "2.5", "2", "2"},  // halves to the even neighbour
      {3.5, "3.5", "4", "4"},
      {-2.5, "-2.5", "-2", "-2"},
      {32767, "32767", "32767", "32767"},
      {32767.5, "32767.5", kE6, "32768"},
      {-32768.5, "-32768.5", "-32768", "-32768"},
      {-32768.6, "-32768.6", kE6, "-32769"},
      {2147483647, "2147483647", kE6, "2147483647"},
      {2147483646.5, "2147483646.5", kE6, "2147483646"},
      {2147483647.5, "2147483647.5", kE6, kE6},
      {-2147483648.5, "-2147483648.5", kE6, "-2147483648"},
      {nan, "NAN", kE6, kE6},
  };
  for (const auto& n : numbers) {
    SCOPED_TRACE(n.text);
    EXPECT_EQ(NumberText(n.value), n.text);
    EXPECT_EQ(Result([&] { return ToInteger16(n.value); }), n.integer);
    EXPECT_EQ(Result([&] { return ToLong32(n.value); }), n.long_value);
  }
  const struct {
    double value;
    std::string mask, text;
  } masks[] = {
      {7, "0000", "0007"}, {10000, "0000", "10000"}, {-7, "0000", "-0007"},
      {2.5, "0", "3"},  // halves away from zero here
      {-2.5, "00", "-03"}, {-0.4, "000", "000"},     {1e20, "0", "100000000000000000000"},
      {12.5, "", "12.5"},  {7, "0#", kE5},
  };
  for (const auto& m : masks)
    EXPECT_EQ(Result([&] { return FormatZeros(m.value, m.mask); }), m.text) << m.value << m.mask;
  ExpectRows({
      ROW(Divide(6, 4), "1.5"),
      ROW(Divide(1, 0), kE11),
      ROW(Divide(-1, -0.0), kE11),
      ROW(Divide(0, 0), kE6),
      ROW(Divide(1e308, 1e-10), kE6),
      ROW(Multiply(1e308, 10), kE6),
      ROW(Add(1e308, 1e308), kE6),
      ROW(Subtract(-1e308, 1e308), kE6),
  });
}

TEST(Values, Dates) {
  // Each serial reads as these texts, and its calendar and its text convert back.
  const struct {
    double serial;
    std::string iso, dd_mm_yyyy;
  } dates[] = {
      {0, "1899-12-30", "30-12-1899"},
      {2, "1900-01-01", "01-01-1900"},
      {-1.25, "1899-12-29 06:00:00", "29-12-1899"},  // the fraction is the time of day
      {-2.75, "1899-12-28 18:00:00", "28-12-1899"},  // whatever the sign of the day part
      {36585, "2000-02-29", "29-02-2000"},
      {45351.5, "2024-02-29 12:00:00", "29-02-2024"},
      {45356 + 14.5 / 24, "2024-03-05 14:30:00", "05-03-2024"},
      {-657434, "0100-01-01", "01-01-0100"},
      {2958465 + 86399.0 / 86400, "9999-12-31 23:59:59", "31-12-9999"},
  };
  for (const auto& d : dates) {
    SCOPED_TRACE(d.iso);
    EXPECT_EQ(Date(d.serial).ToIsoText(), d.iso);
    EXPECT_EQ(Date(d.serial).FormatDdMmYyyy(), d.dd_mm_yyyy);
    EXPECT_NEAR(Date::FromCalendar(Date(d.serial).ToCalendar()).serial(), d.serial, 1e-9);
    EXPECT_NEAR(Date::Parse(d.iso).serial(), d.serial, 1e-9);
  }
  const double second = 1.0 / 86400;
  const double late = Date::FromCalendar(2024, 3, 5, 23, 59, 59).serial();
  ExpectRows({
      ROW(Date(-0.25), "1899-12-30 06:00:00"),
      // Rounded to the nearest second, carrying into the next day.
      ROW(Date(late + 0.4 * second), "2024-03-05 23:59:59"),
      ROW(Date(late + 0.6 * second).FormatDdMmYyyy(), "06-03-2024"),
      ROW(Date(-1 - 86399.6 * second), "1899-12-30"),
      ROW(Date(0.5 * second), "1899-12-30 00:00:01"),
      ROW(Date(3e6), kE5),
      ROW(Date(-657435), kE5),
      ROW(Date(std::nan("")), kE5),
      ROW(Date::Parse("2024-03-05 14:30"), "2024-03-05 14:30:00"),
      ROW(Date::Parse("2024-03-05T14:30:15"), "2024-03-05 14:30:15"),
      ROW(Date::Parse("2024-03-05T14:30:15Z"), "2024-03-05 14:30:15"),
      ROW(Date::Parse("2024-03-05 14:30:15.500").serial() * 86400, "3918810615.5"),
  });
  const CalendarTime bad[] = {
      {99, 12, 31},     {10000, 1, 1},       {2024, 13, 1},          {2024, 0, 1},
      {2024, 4, 31},    {2023, 2, 29},       {1900, 2, 29},          {2024, 1, 0},
      {2024, 1, 1, 24}, {2024, 1, 1, 0, 60}, {2024, 1, 1, 0, 0, 60}, {2024, 1, 1, -1},
  };
  for (const CalendarTime& c : bad)
    EXPECT_EQ(Result([&] { return Date::FromCalendar(c); }), kE5)
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
  for (const char* text :
       {"", "2024-3-5", "2024-02-30", "2024-03-05 25:00", "2024-03-05 14", "2024-03-05 14:30:15.",
        "2024/03/05", "05/03/2024", "2024-03-05x", "2024-03-05Z", " 2024-03-05", "0099-12-31"})
    EXPECT_EQ(Result([&] { return Date::Parse(text); }), kE13) << text;
}

const Guid kRecordType = MakeGuid("{11111111-2222-3333-4444-555555555555}");
const Variant kRecord = Variant::FromRecord(kRecordType, 5);
const Variant kNull = Null{}, kMissing = Missing{}, kEmpty;
const Variant kMarch5 = Date(45356), kAfternoon = Date(45356 + 14.5 / 24);

TEST(Values, VariantConversions) {
  const struct {
    Variant in;
    std::string to_double, to_string, to_bool, to_integer, to_long, to_date;  // date as serial
  } cases[] = {
      {kEmpty, "0", "", "false", "0", "0", "0"},
      {kNull, kE94, kE94, kE94, kE94, kE94, kE94},
      {kMissing, kE13, kE13, kE13, kE13, kE13, kE13},
      {kRecord, kE13, kE13, kE13, kE13, kE13, kE13},
      {true, "-1", "True", "true", "-1", "-1", "-1"},
      {int16_t{-7}, "-7", "-7", "true", "-7", "-7", "-7"},
      {int32_t{40000}, "40000", "40000", "true", kE6, "40000", "40000"},
      {2.5, "2.5", "2.5", "true", "2", "2", "2.5"},
      {1e10, "10000000000", "10000000000", "true", kE6, kE6, kE6},
      {Date(0), "0", "30/12/1899", "false", "0", "0", "0"},
      {kMarch5, "45356", "05/03/2024", "true", kE6, "45356", "45356"},
      {kAfternoon, "45356.6041666667", "05/03/2024 14:30:00", "true", kE6, "45357",
       "45356.6041666667"},
      {"3.5", "3.5", "3.5", "true", "4", "4", kE13},
      {" 42 ", "42", " 42 ", "true", "42", "42", kE13},
      {"1E3", "1000", "1E3", "true", "1000", "1000", kE13},
      {".5", "0.5", ".5", "true", "0", "0", kE13},
      {"1e-400", "0", "1e-400", "false", "0", "0", kE13},
      {"1e400", kE6, "1e400", kE6, kE6, kE6, kE13},
      {"", kE13, "", kE13, kE13, kE13, kE13},
      {"1,5", kE13, "1,5", kE13, kE13, kE13, kE13},
      {"- 5", kE13, "- 5", kE13, kE13, kE13, kE13},
      {"inf", kE13, "inf", kE13, kE13, kE13, kE13},
      {"0x10", kE13, "0x10", kE13, kE13, kE13, kE13},
      {" TRUE ", kE13, " TRUE ", "true", kE13, kE13, kE13},
      {"false", kE13, "false", "false", kE13, kE13, kE13},
      {"yes", kE13, "yes", kE13, kE13, kE13, kE13},
      {"2024-03-05 14:30:00", kE13, "2024-03-05 14:30:00", kE13, kE13, kE13, "45356.6041666667"},
      {"05/03/2024 14:30:00", kE13, "05/03/2024 14:30:00", kE13, kE13, kE13, "45356.6041666667"},
      {" 05/03/2024 ", kE13, " 05/03/2024 ", kE13, kE13, kE13, "45356"},
      {"31/02/2024", kE13, "31/02/2024", kE13, kE13, kE13, kE13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in.Describe());
    EXPECT_EQ(Result([&] { return c.in.ToDouble(); }), c.to_double);
    EXPECT_EQ(Result([&] { return c.in.ToString(); }), c.to_string);
    EXPECT_EQ(Result([&] { return c.in.ToBool(); }), c.to_bool);
    EXPECT_EQ(Result([&] { return c.in.ToInteger(); }), c.to_integer);
    EXPECT_EQ(Result([&] { return c.in.ToLong(); }), c.to_long);
    EXPECT_EQ(Result([&] { return c.in.ToDate().serial(); }), c.to_date);
    if (!c.in.IsNull()) {
      EXPECT_EQ(Result([&] { return c.in.ToStringOrEmpty(); }), c.to_string);
    }
  }
  ExpectRows({
      ROW(kNull.ToStringOrEmpty(), ""),
      ROW(kEmpty, "Empty"),
      ROW(kNull, "Null"),
      ROW(kMissing, "Missing"),
      ROW(Variant(false), "False"),
      ROW(Variant(int16_t{12}), "12"),
      ROW(Variant(int32_t{12}), "12&"),
      ROW(Variant(12.5), "12.5"),
      ROW(Variant("say \"hi\""), "\"say \"\"hi\"\"\""),
      ROW(kMarch5, "#2024-03-05#"),
      ROW(kAfternoon, "#2024-03-05 14:30:00#"),
      ROW(kRecord, "Record {11111111-2222-3333-4444-555555555555}"),
      ROW(kRecord.Record<int>(kRecordType), "5"),
      ROW(kRecord.Record<int>(MakeGuid("{11111111-2222-3333-4444-555555555556}")), kE13),
      ROW(Variant(5).Record<int>(kRecordType), kE13),
      ROW(Concat("a", kNull), "a"),
      ROW(Concat(kNull, kNull), ""),
      ROW(Concat(1.5, "x"), "1.5x"),
      ROW(Concat(kEmpty, true), "True"),
  });
}

// IsLess, then IsEqual: never true with Null, numbers against numbers.
std::string Compare(const Variant& a, const Variant& b) {
  return Result([&] { return IsLess(a, b); }) + " " + Result([&] { return IsEqual(a, b); });
}

TEST(Values, VariantComparisons) {
  const Variant two = int16_t{2};  // an Integer
  const struct {
    Variant a, b;
    std::string less_equal;
  } pairs[] = {{kNull, 1, "false false"},
               {kNull, kNull, "false false"},
               {1, 2, "true false"},
               {2.5, two, "false false"},
               {two, 2.0, "false true"},
               {true, -1, "false true"},
               {"B", "a", "true false"},
               {"abc", "ABC", "false false"},
               {"10", 9, "false false"},
               {kEmpty, 0, "false true"},
               {"", kEmpty, "false true"},
               {kMarch5, "2024-03-05", "false true"},
               {"2024-03-04", kMarch5, "true false"},
               {kMarch5, 45356.5, "true false"},
               {"a", 1, "error 13 error 13"},
               {kMissing, 1, "error 13 error 13"}};
  for (const auto& p : pairs)
    EXPECT_EQ(Compare(p.a, p.b), p.less_equal) << p.a.Describe() << " vs " << p.b.Describe();
}

TEST(Values, Guids) {
  constexpr Guid g = MakeGuid("{582CF778-1781-431F-8AD9-5BC9D2DE72D0}");
  EXPECT_EQ(std::tuple(g.data1, g.data2, g.data3, g.data4[0], g.data4[7]),
            std::tuple(0x582CF778u, 0x1781, 0x431F, 0x8A, 0xD0));
  EXPECT_EQ(g.ToString(), "{582CF778-1781-431F-8AD9-5BC9D2DE72D0}");
  EXPECT_EQ(Guid::Parse("582cf778-1781-431F-8aD9-5bc9d2DE72d0"), g);
  EXPECT_EQ(Guid::Parse("{0000000a-000B-000C-0D0E-0F0000000001}")->ToString(),
            "{0000000A-000B-000C-0D0E-0F0000000001}");
  for (const char* text :
       {"", "{}", "{582CF778-1781-431F-8AD9-5BC9D2DE72D0", "582CF778-1781-431F-8AD9-5BC9D2DE72D0}",
        "(582CF778-1781-431F-8AD9-5BC9D2DE72D0)", "{582CF778-1781-431F-8AD9-5BC9D2DE72D0}x",
        "582CF778-1781-431F-8AD9-5BC9D2DE72DG", "582CF7781-781-431F-8AD9-5BC9D2DE72D0",
        "582CF778-1781-431F-8AD95BC9D2DE72D0-", "582CF778 1781 431F 8AD9 5BC9D2DE72D0",
        "582CF778-1781-431F-8AD9-5BC9D2DE72D"})
    EXPECT_FALSE(Guid::Parse(text).has_value()) << text;
  const Guid a = MakeGuid("{00000001-0000-0000-0000-000000000000}");
  const Guid b = MakeGuid("{00000001-0000-0000-0000-000000000001}");
  const Guid c = MakeGuid("{00000001-0001-0000-0000-000000000000}");
  EXPECT_TRUE(a < b && b < c && !(b < a) && !(a < a) && !(a == b));
}

}  // namespace
}  // namespace qbx
