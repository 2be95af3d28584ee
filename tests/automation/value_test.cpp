// The platform's value semantics and class identifiers, one table per area.
// A result reads as text (Doubles to 15 digits, dates in ISO form, Variants as
// Describe gives them); a raised error reads "eN"; several results join by "|".
#include "automation/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>

#include "automation/guid.h"
#include "services/connection.h"
#include "tests/component/support.h"

namespace qbx {
namespace {

using test::Raised;

// f's result as text, or "eN" when it raises error N with its standard description.
template <class F>
std::string Result(F f) {
  try {
    const auto v = f();
    std::ostringstream s;
    // clang-format off
    if constexpr (std::is_same_v<decltype(v), const Date>) s << v.ToIsoText();
    else if constexpr (std::is_same_v<decltype(v), const Variant>) s << v.Describe();
    else s << std::boolalpha << std::setprecision(15) << v;
    // clang-format on
    return s.str();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), StandardErrorDescription(e.number())) << e.number();
    return "e" + std::to_string(e.number());
  }
}

// Several results joined by "|".
template <class F, class... G>
std::string Results(F f, G... g) {
  return (Result(f) + ... + ("|" + Result(g)));
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

const std::string kEmoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units

TEST(Values, Errors) {
  // Raised by its number alone an error carries the platform's description;
  // whatever else a handler catches becomes one ("number description [source]").
  // clang-format off
  const std::pair<int32_t, std::string> standard[] = {
      {5, "Invalid procedure call or argument"}, {6, "Overflow"}, {11, "Division by zero"},
      {13, "Type mismatch"}, {51, "Internal error"}, {94, "Invalid use of Null"}, {12345, ""},
      {3021, std::string(kNoCurrentRecordText)}, {3265, std::string(kItemNotFoundText)}};
  // clang-format on
  for (const auto& [number, text] : standard)
    EXPECT_EQ(Raised([n = number] { Raise(n); }), std::to_string(number) + " " + text + " []");
  ExpectRows({ROW(Raised([] { Raise(-2147217900, "Incorrect syntax near 'x'.", "Suite"); }),
                  "-2147217900 Incorrect syntax near 'x'. [Suite]"),
              ROW(Raised([] { throw std::bad_alloc(); }), "7 Out of memory []"),
              ROW(Raised([] { throw std::logic_error("boom"); }), "51 Internal error: boom []"),
              ROW(Raised([] { throw 42; }), "51 Internal error []")});
  EXPECT_STREQ(RuntimeError(kErrOverflow, "Overflow").what(), "Overflow");
}

TEST(Values, Strings) {
  // Lengths and positions count UTF-16 units; a stray or truncated byte is one.
  const std::string face = "a" + kEmoji + "b";
  // clang-format off
  const std::tuple<std::string, size_t, int64_t, std::string> lefts[] = {  // never half a pair
      {"abc", 3, 9, "abc"}, {"ñandú", 5, 3, "ñan"}, {"€1", 2, 1, "€"}, {face, 4, 2, "a"},
      {face, 4, 3, "a" + kEmoji}, {"\xFF!", 2, 1, "\xFF"}, {"\xC3", 1, 1, "\xC3"}};
  // clang-format on
  for (const auto& [text, length, n, left] : lefts)
    EXPECT_EQ(std::pair(Utf16Length(text), Left(text, n)), std::pair(length, left)) << text << n;
  const std::pair<std::string, std::string> upper[] = {
      {"abc-12", "ABC-12"}, {"ñandú áéíóü", "ÑANDÚ ÁÉÍÓÜ"}, {"÷", "÷"}, {"straße", "STRAßE"},
      {"ÿ", "Ÿ"},           {"x" + kEmoji, "X" + kEmoji}};
  for (const auto& [in, out] : upper) EXPECT_EQ(UCase(in), out) << in;
  // clang-format off
  const std::tuple<std::string, std::string, int64_t> finds[] = {
      {"", "", 0}, {"abc", "", 1}, {"abc", "B", 2}, {"abc", "abcd", 0}, {"ABAB", "bab", 2},
      {"Sucursal 01, 02", "02", 14}, {"ñandú", "DÚ", 4}, {kEmoji + "x", "X", 3}};
  // clang-format on
  for (const auto& [haystack, needle, position] : finds)
    EXPECT_EQ(InStrNoCase(haystack, needle), position) << haystack << " / " << needle;
  ExpectRows({ROW(Left("abc", -1), "e5"), ROW(Trim("  a b  "), "a b"), ROW(Trim("   "), ""),
              ROW(Trim("\tab\n"), "\tab\n"), ROW(SqlText("''"), "''''"),
              ROW(RepeatChar(0, 'x'), ""), ROW(RepeatChar(-1, 'x'), "e5")});
}

TEST(Values, Numbers) {
  // NumberText|ToInteger16|ToLong32; halves go to the even neighbour.
  // clang-format off
  const std::pair<double, std::string> numbers[] = {
      {-0.25, "-0.25|0|0"}, {1e-05, "1E-05|0|0"}, {1e+15, "1E+15|e6|e6"}, {-0.0, "0|0|0"},
      {123456789012345, "123456789012345|e6|e6"}, {2.5, "2.5|2|2"}, {3.5, "3.5|4|4"},
      {1234567890123456, "1.23456789012346E+15|e6|e6"}, {32767, "32767|32767|32767"},
      {32767.5, "32767.5|e6|32768"}, {-32768.5, "-32768.5|-32768|-32768"},
      {-32768.6, "-32768.6|e6|-32769"}, {2147483647, "2147483647|e6|2147483647"},
      {2147483647.5, "2147483647.5|e6|e6"}, {-2147483648.5, "-2147483648.5|e6|-2147483648"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN|e6|e6"}};
  // clang-format on
  for (const auto& [value, expected] : numbers)
    EXPECT_EQ(Results([&] { return NumberText(value); }, [&] { return ToInteger16(value); },
                      [&] { return ToLong32(value); }),
              expected);
  // FormatZeros halves away from zero.
  // clang-format off
  const std::tuple<double, std::string, std::string> masks[] = {
      {7, "0000", "0007"}, {10000, "0000", "10000"}, {2.5, "0", "3"}, {-2.5, "00", "-03"},
      {-0.4, "000", "000"}, {12.5, "", "12.5"}, {7, "0#", "e5"}};
  // clang-format on
  for (const auto& [value, mask, text] : masks)
    EXPECT_EQ(Result([&] { return FormatZeros(value, mask); }), text) << value << mask;
  ExpectRows({ROW(Divide(6, 4), "1.5"), ROW(Divide(1, 0), "e11"), ROW(Divide(0, 0), "e6"),
              ROW(Divide(1e308, 1e-10), "e6"), ROW(Multiply(1e308, 10), "e6"),
              ROW(Add(1e308, 1e308), "e6"), ROW(Subtract(-1e308, 1e308), "e6")});
}

TEST(Values, Dates) {
  // Each serial reads as these texts (the fraction is the time of day whatever
  // the sign of the day part), and its calendar and its text convert back.
  // clang-format off
  const std::tuple<double, std::string, std::string> dates[] = {
      {0, "1899-12-30", "30-12-1899"}, {-1.25, "1899-12-29 06:00:00", "29-12-1899"},
      {36585, "2000-02-29", "29-02-2000"}, {45351.5, "2024-02-29 12:00:00", "29-02-2024"},
      {-657434, "0100-01-01", "01-01-0100"},
      {2958465 + 86399.0 / 86400, "9999-12-31 23:59:59", "31-12-9999"}};
  // clang-format on
  for (const auto& [serial, iso, dd_mm_yyyy] : dates) {
    EXPECT_EQ(Date(serial).ToIsoText() + " " + Date(serial).FormatDdMmYyyy(),
              iso + " " + dd_mm_yyyy);
    EXPECT_NEAR(Date::FromCalendar(Date(serial).ToCalendar()).serial(), serial, 1e-9) << iso;
    EXPECT_NEAR(Date::Parse(iso).serial(), serial, 1e-9) << iso;
  }
  const double second = 1.0 / 86400;
  const double late = Date::FromCalendar(2024, 3, 5, 23, 59, 59).serial();
  // Rounded to the nearest second, carrying into the next day.
  ExpectRows({ROW(Date(late + 0.4 * second), "2024-03-05 23:59:59"),
              ROW(Date(late + 0.6 * second).FormatDdMmYyyy(), "06-03-2024"),
              ROW(Date(-1 - 86399.6 * second), "1899-12-30"),
              ROW(Date(0.5 * second), "1899-12-30 00:00:01"), ROW(Date(3e6), "e5"),
              ROW(Date(-657435), "e5"), ROW(Date(std::nan("")), "e5"),
              ROW(Date::Parse("2024-03-05T14:30:15Z"), "2024-03-05 14:30:15"),
              ROW(Date::Parse("2024-03-05 14:30:15.500").serial() * 86400, "3918810615.5")});
  // clang-format off
  const CalendarTime bad[] = {{99, 12, 31}, {10000, 1, 1}, {2024, 13, 1}, {2024, 0, 1},
      {2024, 4, 31}, {2023, 2, 29}, {1900, 2, 29}, {2024, 1, 0}, {2024, 1, 1, 24},
      {2024, 1, 1, 0, 60}, {2024, 1, 1, 0, 0, 60}, {2024, 1, 1, -1}};
  // clang-format on
  for (const CalendarTime& c : bad)
    EXPECT_EQ(Result([&] { return Date::FromCalendar(c); }), "e5")
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
  for (const char* text : {"2024-3-5", "2024-02-30", "2024-03-05 14", "2024-03-05 14:30:15.",
                           "2024-03-05x", "2024-03-05Z", " 2024-03-05"})
    EXPECT_EQ(Result([&] { return Date::Parse(text); }), "e13") << text;
}

const Guid kRecordType = MakeGuid("{11111111-2222-3333-4444-555555555555}");
const Variant kRecord = Variant::FromRecord(kRecordType, 5);
const Variant kNull = Null{}, kMissing = Missing{}, kEmpty;
const Variant kMarch5 = Date(45356), kAfternoon = Date(45356 + 14.5 / 24);

TEST(Values, VariantConversionsAndComparisons) {
  // ToDouble|ToString|ToBool|ToInteger|ToLong|ToDate (as its serial).
  // clang-format off
  const std::pair<Variant, std::string> cases[] = {
      {kEmpty, "0||false|0|0|0"}, {kNull, "e94|e94|e94|e94|e94|e94"},
      {kMissing, "e13|e13|e13|e13|e13|e13"}, {true, "-1|True|true|-1|-1|-1"},
      {int16_t{-7}, "-7|-7|true|-7|-7|-7"}, {int32_t{40000}, "40000|40000|true|e6|40000|40000"},
      {2.5, "2.5|2.5|true|2|2|2.5"}, {1e10, "10000000000|10000000000|true|e6|e6|e6"},
      {Date(0), "0|30/12/1899|false|0|0|0"}, {kMarch5, "45356|05/03/2024|true|e6|45356|45356"},
      {kAfternoon, "45356.6041666667|05/03/2024 14:30:00|true|e6|45357|45356.6041666667"},
      {"3.5", "3.5|3.5|true|4|4|e13"}, {" 42 ", "42| 42 |true|42|42|e13"},
      {"1E3", "1000|1E3|true|1000|1000|e13"}, {".5", "0.5|.5|true|0|0|e13"},
      {"1e-400", "0|1e-400|false|0|0|e13"}, {"1e400", "e6|1e400|e6|e6|e6|e13"},
      {"", "e13||e13|e13|e13|e13"}, {"0x10", "e13|0x10|e13|e13|e13|e13"},
      {" TRUE ", "e13| TRUE |true|e13|e13|e13"}, {"false", "e13|false|false|e13|e13|e13"},
      {"2024-03-05 14:30:00", "e13|2024-03-05 14:30:00|e13|e13|e13|45356.6041666667"},
      {"05/03/2024 14:30:00", "e13|05/03/2024 14:30:00|e13|e13|e13|45356.6041666667"},
      {" 05/03/2024 ", "e13| 05/03/2024 |e13|e13|e13|45356"},
      {"31/02/2024", "e13|31/02/2024|e13|e13|e13|e13"}};
  // clang-format on
  for (const auto& [v, expected] : cases)
    EXPECT_EQ(Results([&] { return v.ToDouble(); }, [&] { return v.ToString(); },
                      [&] { return v.ToBool(); }, [&] { return v.ToInteger(); },
                      [&] { return v.ToLong(); }, [&] { return v.ToDate().serial(); }),
              expected)
        << v.Describe();
  ExpectRows({ROW(kEmpty, "Empty"), ROW(kNull, "Null"), ROW(kMissing, "Missing"),
              ROW(Variant(false), "False"), ROW(Variant(int16_t{12}), "12"),
              ROW(Variant(int32_t{12}), "12&"), ROW(Variant(12.5), "12.5"),
              ROW(Variant("say \"hi\""), "\"say \"\"hi\"\"\""),
              ROW(kAfternoon, "#2024-03-05 14:30:00#"),
              ROW(kRecord, "Record {11111111-2222-3333-4444-555555555555}"),
              ROW(kRecord.Record<int>(kRecordType), "5"),
              ROW(kRecord.Record<int>(MakeGuid("{11111111-2222-3333-4444-555555555556}")), "e13"),
              ROW(Variant(5).Record<int>(kRecordType), "e13"), ROW(Concat("a", kNull), "a"),
              ROW(Concat(1.5, "x"), "1.5x")});
  // IsLess, then IsEqual: never true with Null, numbers against numbers.
  const Variant two = int16_t{2};  // an Integer
  // clang-format off
  const std::tuple<Variant, Variant, std::string> pairs[] = {
      {kNull, 1, "false|false"}, {1, 2, "true|false"}, {two, 2.0, "false|true"},
      {true, -1, "false|true"}, {"B", "a", "true|false"}, {"10", 9, "false|false"},
      {kEmpty, 0, "false|true"}, {"", kEmpty, "false|true"}, {kMissing, 1, "e13|e13"},
      {kMarch5, "2024-03-05", "false|true"}, {"2024-03-04", kMarch5, "true|false"},
      {kMarch5, 45356.5, "true|false"}, {"a", 1, "e13|e13"}};
  // clang-format on
  for (const auto& [a, b, expected] : pairs)
    EXPECT_EQ(Results([&] { return IsLess(a, b); }, [&] { return IsEqual(a, b); }), expected)
        << a.Describe() << " vs " << b.Describe();
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
       {"{582CF778-1781-431F-8AD9-5BC9D2DE72D0", "(582CF778-1781-431F-8AD9-5BC9D2DE72D0)",
        "582CF778-1781-431F-8AD9-5BC9D2DE72DG", "582CF778 1781 431F 8AD9 5BC9D2DE72D0"})
    EXPECT_FALSE(Guid::Parse(text).has_value()) << text;
}

}  // namespace
}  // namespace qbx
