#include "automation/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <new>
#include <stdexcept>

#include "services/connection.h"

namespace qbx {
namespace {

// The error number f raises, 0 when it completes.
int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), StandardErrorDescription(e.number()));
    return e.number();
  }
  return 0;
}

const char* const kEmoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units

// --- errors ----------------------------------------------------------------

TEST(RuntimeErrors, StandardDescriptions) {
  struct Case {
    int32_t number;
    std::string_view text;
  } cases[] = {
      {5, "Invalid procedure call or argument"},
      {6, "Overflow"},
      {7, "Out of memory"},
      {11, "Division by zero"},
      {13, "Type mismatch"},
      {51, "Internal error"},
      {94, "Invalid use of Null"},
      {429, "ActiveX component can't create object"},
      {3021, kNoCurrentRecordText},
      {3265, kItemNotFoundText},
      {12345, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StandardErrorDescription(c.number), c.text) << c.number;
}

TEST(RuntimeErrors, RaiseCarriesNumberDescriptionAndSource) {
  try {
    Raise(kErrTypeMismatch);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 13);
    EXPECT_EQ(e.description(), "Type mismatch");
    EXPECT_STREQ(e.what(), "Type mismatch");
    EXPECT_EQ(e.source(), "");
  }
  try {
    Raise(-2147217900, "Incorrect syntax near 'x'.", "Suite");
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), -2147217900);
    EXPECT_EQ(e.description(), "Incorrect syntax near 'x'.");
    EXPECT_EQ(e.source(), "Suite");
  }
}

template <class E>
RuntimeError Caught(E e) {
  try {
    throw e;
  } catch (...) {
    return CurrentRuntimeError();
  }
}

TEST(RuntimeErrors, CurrentRuntimeErrorTranslatesWhatIsBeingHandled) {
  RuntimeError own = Caught(RuntimeError(3265, "gone", "Db"));
  EXPECT_EQ(own.number(), 3265);
  EXPECT_EQ(own.description(), "gone");
  EXPECT_EQ(own.source(), "Db");

  RuntimeError memory = Caught(std::bad_alloc());
  EXPECT_EQ(memory.number(), 7);
  EXPECT_EQ(memory.description(), "Out of memory");

  RuntimeError other = Caught(std::logic_error("boom"));
  EXPECT_EQ(other.number(), 51);
  EXPECT_EQ(other.description(), "Internal error: boom");

  RuntimeError foreign = Caught(42);
  EXPECT_EQ(foreign.number(), 51);
  EXPECT_EQ(foreign.description(), "Internal error");

  EXPECT_EQ(CurrentRuntimeError().number(), 51);  // nothing being handled
}

// --- strings ---------------------------------------------------------------

TEST(Strings, Utf16LengthAndLeft) {
  const std::string nandu = "ñandú";
  const std::string face = std::string("a") + kEmoji + "b";
  struct Case {
    std::string text;
    size_t length;
    int64_t n;
    std::string left;
  } cases[] = {
      {"", 0, 3, ""},
      {"abc", 3, 2, "ab"},
      {"abc", 3, 0, ""},
      {"abc", 3, 9, "abc"},
      {nandu, 5, 1, "ñ"},
      {nandu, 5, 3, "ñan"},
      {nandu, 5, 5, nandu},
      {"€1", 2, 1, "€"},  // € is one unit
      {face, 4, 1, "a"},
      {face, 4, 2, "a"},  // would split the surrogate pair
      {face, 4, 3, std::string("a") + kEmoji},
      {face, 4, 4, face},
      {"\xFF!", 2, 1, "\xFF"},  // a stray byte counts as one character
      {"\xC3", 1, 1, "\xC3"},   // truncated sequence
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16Length(c.text), c.length) << c.text;
    EXPECT_EQ(Left(c.text, c.n), c.left) << c.text << " " << c.n;
  }
  EXPECT_EQ(ErrorOf([] { Left("abc", -1); }), kErrInvalidCall);
}

TEST(Strings, TrimUCaseSqlTextRepeat) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\tab\n"), "\tab\n");  // only spaces

  struct Case {
    std::string in, out;
  } upper[] = {
      {"abc-12", "ABC-12"},                                    // ASCII
      {"ñandú", "ÑANDÚ"},                                      // Latin-1
      {"áéíóü", "ÁÉÍÓÜ"},                                      // Latin-1 accents
      {"÷", "÷"},                                              // not a letter
      {"straße", "STRAßE"},                                    // no capital in Latin-1
      {"ÿ", "Ÿ"},                                              // capital outside Latin-1
      {std::string("x") + kEmoji, std::string("X") + kEmoji},  // left alone
  };
  for (const auto& c : upper) EXPECT_EQ(UCase(c.in), c.out) << c.in;

  EXPECT_EQ(SqlText("O'Brien"), "O''Brien");
  EXPECT_EQ(SqlText("''"), "''''");
  EXPECT_EQ(SqlText(""), "");

  EXPECT_EQ(RepeatChar(3, '0'), "000");
  EXPECT_EQ(RepeatChar(0, 'x'), "");
  EXPECT_EQ(ErrorOf([] { RepeatChar(-1, 'x'); }), kErrInvalidCall);
}

TEST(Strings, InStrNoCase) {
  struct Case {
    std::string haystack, needle;
    int64_t position;
  } cases[] = {
      {"", "", 0},
      {"", "a", 0},
      {"abc", "", 1},
      {"abc", "B", 2},
      {"abc", "abcd", 0},
      {"abc", "d", 0},
      {"Sucursal 01, 02", "02", 14},
      {"ABAB", "bab", 2},
      {"ñandú", "DÚ", 4},
      {std::string(kEmoji) + "x", "X", 3},  // positions count UTF-16 units
  };
  for (const auto& c : cases)
    EXPECT_EQ(InStrNoCase(c.haystack, c.needle), c.position) << c.haystack << " / " << c.needle;
}

// --- numbers ---------------------------------------------------------------

TEST(Numbers, NumberText) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {3, "3"},
      {12.5, "12.5"},
      {-0.25, "-0.25"},
      {0.00012, "0.00012"},
      {0.0001, "0.0001"},
      {1e-5, "1E-05"},
      {123456789012345, "123456789012345"},
      {1e15, "1E+15"},
      {1234567890123456, "1.23456789012346E+15"},
      {1e100, "1E+100"},
      {-1.5e-300, "-1.5E-300"},
      {0.1 + 0.2, "0.3"},
      {100, "100"},
      {-0.0, "0"},
      {0, "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberText(c.value), c.text) << c.text;
  EXPECT_FALSE(NumberText(std::numeric_limits<double>::quiet_NaN()).empty());
  EXPECT_FALSE(NumberText(std::numeric_limits<double>::infinity()).empty());
}

TEST(Numbers, FormatZeros) {
  struct Case {
    double value;
    std::string mask, text;
  } cases[] = {
      {7, "0000", "0007"},  {10000, "0000", "10000"},
      {0, "0000", "0000"},  {-7, "0000", "-0007"},
      {2.5, "0", "3"},  // halves away from zero, unlike CInt
      {-2.5, "00", "-03"},  {1.4, "00", "01"},
      {-0.4, "000", "000"}, {1e20, "0", "100000000000000000000"},
      {12.5, "", "12.5"},   {1e-5, "", "1E-05"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatZeros(c.value, c.mask), c.text) << c.value << " " << c.mask;
  EXPECT_EQ(ErrorOf([] { FormatZeros(7, "0#"); }), kErrInvalidCall);
}

TEST(Numbers, RoundingToIntegerAndLong) {
  struct Case {
    double value;
    int32_t integer;  // or the error number for ToInteger16
    int integer_error;
    int32_t long_value;
    int long_error;
  } cases[] = {
      {2.5, 2, 0, 2, 0},
      {3.5, 4, 0, 4, 0},
      {-2.5, -2, 0, -2, 0},
      {-3.5, -4, 0, -4, 0},
      {0.5, 0, 0, 0, 0},
      {1.5, 2, 0, 2, 0},
      {2.4999, 2, 0, 2, 0},
      {-0.6, -1, 0, -1, 0},
      {32767.4, 32767, 0, 32767, 0},
      {32767.5, 0, kErrOverflow, 32768, 0},
      {-32768.5, -32768, 0, -32768, 0},
      {-32768.6, 0, kErrOverflow, -32769, 0},
      {2147483646.5, 0, kErrOverflow, 2147483646, 0},
      {2147483647.5, 0, kErrOverflow, 0, kErrOverflow},
      {-2147483648.5, 0, kErrOverflow, -2147483647 - 1, 0},
      {std::numeric_limits<double>::quiet_NaN(), 0, kErrOverflow, 0, kErrOverflow},
  };
  for (const auto& c : cases) {
    if (c.integer_error)
      EXPECT_EQ(ErrorOf([&] { ToInteger16(c.value); }), c.integer_error) << c.value;
    else
      EXPECT_EQ(ToInteger16(c.value), c.integer) << c.value;
    if (c.long_error)
      EXPECT_EQ(ErrorOf([&] { ToLong32(c.value); }), c.long_error) << c.value;
    else
      EXPECT_EQ(ToLong32(c.value), c.long_value) << c.value;
  }
}

TEST(Numbers, ArithmeticFaults) {
  EXPECT_EQ(Divide(6, 4), 1.5);
  EXPECT_EQ(Multiply(1.5, 4), 6);
  EXPECT_EQ(Add(0.5, 0.25), 0.75);
  EXPECT_EQ(Subtract(1, 3), -2);
  struct Case {
    const char* what;
    std::function<void()> f;
    int error;
  } cases[] = {
      {"1/0", [] { Divide(1, 0); }, kErrDivisionByZero},
      {"-1/-0", [] { Divide(-1, -0.0); }, kErrDivisionByZero},
      {"0/0", [] { Divide(0, 0); }, kErrOverflow},
      {"1e308/1e-10", [] { Divide(1e308, 1e-10); }, kErrOverflow},
      {"1e308*10", [] { Multiply(1e308, 10); }, kErrOverflow},
      {"1e308+1e308", [] { Add(1e308, 1e308); }, kErrOverflow},
      {"-1e308-1e308", [] { Subtract(-1e308, 1e308); }, kErrOverflow},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.f), c.error) << c.what;
}

// --- dates -----------------------------------------------------------------

TEST(Dates, CalendarRoundTrip) {
  struct Case {
    CalendarTime calendar;
    double serial;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0}, 0},
      {{1899, 12, 31, 0, 0, 0}, 1},
      {{1900, 1, 1, 0, 0, 0}, 2},
      {{1899, 12, 29, 0, 0, 0}, -1},
      {{1899, 12, 29, 6, 0, 0}, -1.25},
      {{1899, 12, 28, 18, 0, 0}, -2.75},
      {{1800, 1, 1, 0, 0, 0}, -36522},
      {{2024, 3, 5, 0, 0, 0}, 45356},
      {{2024, 3, 5, 14, 30, 0}, 45356 + 14.5 / 24},
      {{2024, 2, 29, 12, 0, 0}, 45351.5},
      {{100, 1, 1, 0, 0, 0}, -657434},
      {{9999, 12, 31, 23, 59, 59}, 2958465 + 86399.0 / 86400},
  };
  for (const auto& c : cases) {
    Date d = Date::FromCalendar(c.calendar);
    EXPECT_NEAR(d.serial(), c.serial, 1e-9) << c.serial;
    EXPECT_EQ(Date(c.serial).ToCalendar(), c.calendar) << c.serial;
  }
  // The fraction is the time of day whatever the sign of the day part.
  EXPECT_EQ(Date(-0.25).ToCalendar(), (CalendarTime{1899, 12, 30, 6, 0, 0}));
}

TEST(Dates, RoundsToTheNearestSecondWithCarry) {
  const double second = 1.0 / 86400;
  double late = Date::FromCalendar(2024, 3, 5, 23, 59, 59).serial();
  EXPECT_EQ(Date(late + 0.4 * second).ToCalendar(), (CalendarTime{2024, 3, 5, 23, 59, 59}));
  EXPECT_EQ(Date(late + 0.6 * second).ToCalendar(), (CalendarTime{2024, 3, 6, 0, 0, 0}));
  EXPECT_EQ(Date(late + 0.6 * second).FormatDdMmYyyy(), "06-03-2024");
  // Negative day part: 29 Dec 23:59:59.6 carries into 30 Dec.
  EXPECT_EQ(Date(-1 - 86399.6 * second).ToCalendar(), (CalendarTime{1899, 12, 30, 0, 0, 0}));
  EXPECT_EQ(Date(0.5 * second).ToCalendar(), (CalendarTime{1899, 12, 30, 0, 0, 1}));
}

TEST(Dates, InvalidCalendarValues) {
  CalendarTime bad[] = {
      {99, 12, 31},     {10000, 1, 1},       {2024, 13, 1},          {2024, 0, 1},
      {2024, 4, 31},    {2023, 2, 29},       {1900, 2, 29},          {2024, 1, 0},
      {2024, 1, 1, 24}, {2024, 1, 1, 0, 60}, {2024, 1, 1, 0, 0, 60}, {2024, 1, 1, -1},
  };
  for (const auto& c : bad)
    EXPECT_EQ(ErrorOf([&] { Date::FromCalendar(c); }), kErrInvalidCall)
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
  EXPECT_EQ(Date::FromCalendar(2000, 2, 29).serial(), 36585);
  EXPECT_EQ(ErrorOf([] { Date(3e6).ToCalendar(); }), kErrInvalidCall);
  EXPECT_EQ(ErrorOf([] { Date(-657435).ToCalendar(); }), kErrInvalidCall);
  EXPECT_EQ(ErrorOf([] { Date(std::nan("")).ToCalendar(); }), kErrInvalidCall);
}

TEST(Dates, Texts) {
  struct Case {
    double serial;
    const char* dd_mm_yyyy;
    const char* iso;
  } cases[] = {
      {45356, "05-03-2024", "2024-03-05"},
      {45356 + 14.5 / 24, "05-03-2024", "2024-03-05 14:30:00"},
      {-1.25, "29-12-1899", "1899-12-29 06:00:00"},
      {-657434, "01-01-0100", "0100-01-01"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Date(c.serial).FormatDdMmYyyy(), c.dd_mm_yyyy);
    EXPECT_EQ(Date(c.serial).ToIsoText(), c.iso);
    EXPECT_EQ(Date::Parse(c.iso).serial(), Date(c.serial).serial()) << c.iso;
  }
}

TEST(Dates, Parse) {
  const Date afternoon = Date::FromCalendar(2024, 3, 5, 14, 30, 15);
  struct Case {
    const char* text;
    double serial;
  } good[] = {
      {"2024-03-05", 45356},
      {"2024-03-05 14:30", Date::FromCalendar(2024, 3, 5, 14, 30).serial()},
      {"2024-03-05 14:30:15", afternoon.serial()},
      {"2024-03-05T14:30:15", afternoon.serial()},
      {"2024-03-05T14:30:15Z", afternoon.serial()},
      {"2024-03-05 14:30:15.500", afternoon.serial() + 0.5 / 86400},
      {"1899-12-29 06:00:00", -1.25},
  };
  for (const auto& c : good) EXPECT_NEAR(Date::Parse(c.text).serial(), c.serial, 1e-9) << c.text;

  const char* bad[] = {"",
                       "2024-3-5",
                       "2024-02-30",
                       "2024-03-05 25:00",
                       "2024-03-05 14",
                       "2024-03-05 14:30:15.",
                       "2024/03/05",
                       "05/03/2024",
                       "2024-03-05x",
                       "2024-03-05Z",
                       " 2024-03-05",
                       "0099-12-31"};
  for (const char* text : bad)
    EXPECT_EQ(ErrorOf([&] { Date::Parse(text); }), kErrTypeMismatch) << text;
}

// --- Variant ---------------------------------------------------------------

const Guid kRecordType = MakeGuid("{11111111-2222-3333-4444-555555555555}");
const Variant kRecord = Variant::FromRecord(kRecordType, 5);
const Date kMarch5 = Date(45356);
const Date kMarch5Afternoon = Date(45356 + 14.5 / 24);

TEST(Variants, ToDouble) {
  struct Case {
    Variant in;
    double out;
    int error;
  } cases[] = {
      {Empty{}, 0, 0},
      {Null{}, 0, kErrInvalidUseOfNull},
      {true, -1, 0},
      {false, 0, 0},
      {int16_t{7}, 7, 0},
      {int32_t{70000}, 70000, 0},
      {2.5, 2.5, 0},
      {kMarch5Afternoon, kMarch5Afternoon.serial(), 0},
      {"12.5", 12.5, 0},
      {" 42 ", 42, 0},
      {"1E3", 1000, 0},
      {"2.5e-1", 0.25, 0},
      {"+3", 3, 0},
      {"-0.25", -0.25, 0},
      {".5", 0.5, 0},
      {"007", 7, 0},
      {"1e-400", 0, 0},
      {"1e400", 0, kErrOverflow},
      {"", 0, kErrTypeMismatch},
      {"  ", 0, kErrTypeMismatch},
      {"abc", 0, kErrTypeMismatch},
      {"12abc", 0, kErrTypeMismatch},
      {"1,5", 0, kErrTypeMismatch},
      {"1e", 0, kErrTypeMismatch},
      {"- 5", 0, kErrTypeMismatch},
      {"inf", 0, kErrTypeMismatch},
      {"nan", 0, kErrTypeMismatch},
      {"0x10", 0, kErrTypeMismatch},
      {Missing{}, 0, kErrTypeMismatch},
      {kRecord, 0, kErrTypeMismatch},
  };
  for (const auto& c : cases) {
    if (c.error)
      EXPECT_EQ(ErrorOf([&] { c.in.ToDouble(); }), c.error) << c.in.Describe();
    else
      EXPECT_EQ(c.in.ToDouble(), c.out) << c.in.Describe();
  }
}

TEST(Variants, ToStringAndToStringOrEmpty) {
  struct Case {
    Variant in;
    std::string out;
    int error;
  } cases[] = {
      {Empty{}, "", 0},
      {Null{}, "", kErrInvalidUseOfNull},
      {true, "True", 0},
      {false, "False", 0},
      {int16_t{-7}, "-7", 0},
      {int32_t{123456}, "123456", 0},
      {12.5, "12.5", 0},
      {1e-5, "1E-05", 0},
      {"text", "text", 0},
      {kMarch5, "05/03/2024", 0},
      {kMarch5Afternoon, "05/03/2024 14:30:00", 0},
      {Missing{}, "", kErrTypeMismatch},
      {kRecord, "", kErrTypeMismatch},
  };
  for (const auto& c : cases) {
    if (c.error) {
      EXPECT_EQ(ErrorOf([&] { c.in.ToString(); }), c.error) << c.in.Describe();
    } else {
      EXPECT_EQ(c.in.ToString(), c.out) << c.in.Describe();
      EXPECT_EQ(c.in.ToStringOrEmpty(), c.out) << c.in.Describe();
    }
  }
  EXPECT_EQ(Variant(Null{}).ToStringOrEmpty(), "");
}

TEST(Variants, ToBool) {
  struct Case {
    Variant in;
    bool out;
    int error;
  } cases[] = {
      {Empty{}, false, 0},
      {Null{}, false, kErrInvalidUseOfNull},
      {"True", true, 0},
      {"false", false, 0},
      {" TRUE ", true, 0},
      {"0", false, 0},
      {"0.0", false, 0},
      {"-1", true, 0},
      {"2.5", true, 0},
      {"yes", false, kErrTypeMismatch},
      {"", false, kErrTypeMismatch},
      {0.0, false, 0},
      {0.1, true, 0},
      {int16_t{0}, false, 0},
      {int32_t{-1}, true, 0},
      {Date(0), false, 0},
      {kMarch5, true, 0},
      {Missing{}, false, kErrTypeMismatch},
  };
  for (const auto& c : cases) {
    if (c.error)
      EXPECT_EQ(ErrorOf([&] { c.in.ToBool(); }), c.error) << c.in.Describe();
    else
      EXPECT_EQ(c.in.ToBool(), c.out) << c.in.Describe();
  }
}

TEST(Variants, ToIntegerAndLong) {
  struct Case {
    Variant in;
    int32_t integer;
    int integer_error;
    int32_t long_value;
    int long_error;
  } cases[] = {
      {Empty{}, 0, 0, 0, 0},
      {Null{}, 0, kErrInvalidUseOfNull, 0, kErrInvalidUseOfNull},
      {true, -1, 0, -1, 0},
      {2.5, 2, 0, 2, 0},
      {"3.5", 4, 0, 4, 0},
      {"70000", 0, kErrOverflow, 70000, 0},
      {int32_t{40000}, 0, kErrOverflow, 40000, 0},
      {int16_t{-5}, -5, 0, -5, 0},
      {Date(45356.75), 0, kErrOverflow, 45357, 0},
      {"abc", 0, kErrTypeMismatch, 0, kErrTypeMismatch},
      {kRecord, 0, kErrTypeMismatch, 0, kErrTypeMismatch},
  };
  for (const auto& c : cases) {
    if (c.integer_error)
      EXPECT_EQ(ErrorOf([&] { c.in.ToInteger(); }), c.integer_error) << c.in.Describe();
    else
      EXPECT_EQ(c.in.ToInteger(), c.integer) << c.in.Describe();
    if (c.long_error)
      EXPECT_EQ(ErrorOf([&] { c.in.ToLong(); }), c.long_error) << c.in.Describe();
    else
      EXPECT_EQ(c.in.ToLong(), c.long_value) << c.in.Describe();
  }
}

TEST(Variants, ToDate) {
  struct Case {
    Variant in;
    double serial;
    int error;
  } cases[] = {
      {kMarch5, 45356, 0},
      {"2024-03-05", 45356, 0},
      {"2024-03-05 14:30:00", kMarch5Afternoon.serial(), 0},
      {"05/03/2024 14:30:00", kMarch5Afternoon.serial(), 0},  // its own text converts back
      {" 05/03/2024 ", 45356, 0},
      {45356.5, 45356.5, 0},
      {int32_t{45356}, 45356, 0},
      {true, -1, 0},
      {Empty{}, 0, 0},
      {Null{}, 0, kErrInvalidUseOfNull},
      {"tomorrow", 0, kErrTypeMismatch},
      {"31/02/2024", 0, kErrTypeMismatch},
      {1e10, 0, kErrOverflow},
      {Missing{}, 0, kErrTypeMismatch},
  };
  for (const auto& c : cases) {
    if (c.error)
      EXPECT_EQ(ErrorOf([&] { c.in.ToDate(); }), c.error) << c.in.Describe();
    else
      EXPECT_NEAR(c.in.ToDate().serial(), c.serial, 1e-9) << c.in.Describe();
  }
}

TEST(Variants, DescribeAndType) {
  struct Case {
    Variant in;
    Variant::Type type;
    const char* text;
  } cases[] = {
      {Variant(), Variant::Type::Empty, "Empty"},
      {Null{}, Variant::Type::Null, "Null"},
      {Missing{}, Variant::Type::Missing, "Missing"},
      {true, Variant::Type::Boolean, "True"},
      {int16_t{12}, Variant::Type::Integer, "12"},
      {int32_t{12}, Variant::Type::Long, "12&"},
      {12.5, Variant::Type::Double, "12.5"},
      {"say \"hi\"", Variant::Type::String, "\"say \"\"hi\"\"\""},
      {kMarch5, Variant::Type::Date, "#2024-03-05#"},
      {kMarch5Afternoon, Variant::Type::Date, "#2024-03-05 14:30:00#"},
      {kRecord, Variant::Type::Record, "Record {11111111-2222-3333-4444-555555555555}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.in.type(), c.type) << c.text;
    EXPECT_EQ(c.in.Describe(), c.text);
  }
}

TEST(Variants, RecordAccess) {
  EXPECT_EQ(kRecord.Record<int>(kRecordType), 5);
  const Guid other = MakeGuid("{11111111-2222-3333-4444-555555555556}");
  EXPECT_EQ(ErrorOf([&] { kRecord.Record<int>(other); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Variant(5).Record<int>(kRecordType); }), kErrTypeMismatch);
}

TEST(Variants, ConcatTreatsNullAsEmptyText) {
  EXPECT_EQ(Concat("a", Null{}), "a");
  EXPECT_EQ(Concat(Null{}, "b"), "b");
  EXPECT_EQ(Concat(Null{}, Null{}), "");
  EXPECT_EQ(Concat(1.5, "x"), "1.5x");
  EXPECT_EQ(Concat(Empty{}, true), "True");
}

TEST(Variants, Comparisons) {
  struct Case {
    Variant a, b;
    bool less, equal;
    int error;
  } cases[] = {
      {Null{}, 1, false, false, 0},
      {1, Null{}, false, false, 0},
      {Null{}, Null{}, false, false, 0},
      {Null{}, Missing{}, false, false, 0},
      {1, 2, true, false, 0},
      {2.5, int16_t{2}, false, false, 0},
      {int16_t{2}, 2.0, false, true, 0},
      {true, -1, false, true, 0},
      {"abc", "abd", true, false, 0},
      {"B", "a", true, false, 0},  // binary order
      {"abc", "ABC", false, false, 0},
      {"10", 9, false, false, 0},  // numerically, not as text
      {9, "10", true, false, 0},
      {Empty{}, 0, false, true, 0},
      {Empty{}, "", false, true, 0},
      {"", Empty{}, false, true, 0},
      {kMarch5, "2024-03-05", false, true, 0},
      {"2024-03-04", kMarch5, true, false, 0},
      {kMarch5, 45356.5, true, false, 0},
      {"a", 1, false, false, kErrTypeMismatch},
      {Missing{}, 1, false, false, kErrTypeMismatch},
  };
  for (const auto& c : cases) {
    std::string what = c.a.Describe() + " vs " + c.b.Describe();
    if (c.error) {
      EXPECT_EQ(ErrorOf([&] { IsLess(c.a, c.b); }), c.error) << what;
      EXPECT_EQ(ErrorOf([&] { IsEqual(c.a, c.b); }), c.error) << what;
    } else {
      EXPECT_EQ(IsLess(c.a, c.b), c.less) << what;
      EXPECT_EQ(IsEqual(c.a, c.b), c.equal) << what;
    }
  }
}

}  // namespace
}  // namespace qbx
