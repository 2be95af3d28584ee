#include "suite/insert_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace qbx::suite {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool SameWord(std::string_view text, std::string_view upper) {
  return std::equal(text.begin(), text.end(), upper.begin(), upper.end(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == b;
  });
}

size_t SkipBlanks(std::string_view sql, size_t p) {
  while (p < sql.size() && IsBlank(sql[p])) ++p;
  return p;
}

// Where VALUES starts in "INSERT <names> VALUES"; npos when the text does
// not start so or has anything but names, blanks, commas and parentheses
// before it.
size_t ValuesKeyword(std::string_view sql) {
  const size_t p = SkipBlanks(sql, 0);
  if (sql.size() < p + 7 || !SameWord(sql.substr(p, 6), "INSERT") || !IsBlank(sql[p + 6]))
    return std::string_view::npos;
  static const std::array<bool, 256> kNameText = [] {
    std::array<bool, 256> allowed{};
    for (int c = 0; c < 256; ++c) {
      const char ch = static_cast<char>(c);
      allowed[c] = IsWordChar(ch) || IsBlank(ch) || ch == ',' || ch == '(' || ch == ')';
    }
    return allowed;
  }();
  for (size_t i = p; i < sql.size(); ++i) {
    const char c = sql[i];
    if (!kNameText[static_cast<unsigned char>(c)]) return std::string_view::npos;
    if ((c == 'V' || c == 'v') && !IsWordChar(sql[i - 1]) && i + 6 <= sql.size() &&
        (i + 6 == sql.size() || !IsWordChar(sql[i + 6])) && SameWord(sql.substr(i, 6), "VALUES"))
      return i;
  }
  return std::string_view::npos;
}

// The text literal that starts at p ('...', '' standing for one quote);
// p moves past it. nullopt when it does not end or holds a NUL.
std::optional<std::string> TextLiteral(std::string_view sql, size_t& p) {
  std::string text;
  ++p;
  for (;;) {
    const size_t quote = sql.find('\'', p);
    if (quote == std::string_view::npos) return std::nullopt;
    text.append(sql.data() + p, quote - p);
    p = quote + 1;
    if (p < sql.size() && sql[p] == '\'') {  // '' stands for one quote
      text += '\'';
      ++p;
      continue;
    }
    break;
  }
  if (text.find('\0') != std::string::npos) return std::nullopt;
  return text;
}

// The number literal that starts at p (after its sign): its text, and
// whether it is a whole number; p moves past it. nullopt when it is not a
// number or runs into a word or a second point.
struct NumberLiteral {
  std::string_view text;
  bool integer;
};
std::optional<NumberLiteral> Number(std::string_view sql, size_t& p) {
  const size_t start = p;
  while (p < sql.size() && IsDigit(sql[p])) ++p;
  bool integer = true;
  if (p < sql.size() && sql[p] == '.') {
    integer = false;
    ++p;
    while (p < sql.size() && IsDigit(sql[p])) ++p;
  }
  if (p - start == 0 || (p - start == 1 && !integer)) return std::nullopt;  // no digit
  if (p < sql.size() && (sql[p] == 'e' || sql[p] == 'E')) {
    integer = false;
    ++p;
    if (p < sql.size() && (sql[p] == '+' || sql[p] == '-')) ++p;
    const size_t exponent = p;
    while (p < sql.size() && IsDigit(sql[p])) ++p;
    if (p == exponent) return std::nullopt;
  }
  if (p < sql.size() && (IsWordChar(sql[p]) || sql[p] == '.')) return std::nullopt;
  return NumberLiteral{sql.substr(start, p - start), integer};
}

// Appends the literal at p to the shape as parameter number n and its value
// to out's values; false when there is none that can be bound.
bool ShapeLiteral(std::string_view sql, size_t& p, ShapedInsert& out) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, out.values.size() + 1).ptr;
  const std::string_view n(digits, static_cast<size_t>(end - digits));
  if (sql[p] == '\'') {
    std::optional<std::string> text = TextLiteral(sql, p);
    if (!text) return false;
    out.shape += '?';
    out.shape += n;
    out.values.emplace_back(std::move(*text));
    return true;
  }
  // The sign goes into the value: a server cannot type "-$1", and both
  // signs then share one statement.
  const bool negative = sql[p] == '-';
  if (negative || sql[p] == '+') p = SkipBlanks(sql, p + 1);
  const std::optional<NumberLiteral> number = Number(sql, p);
  if (!number) return false;
  if (!number->integer) {
    out.shape += "CAST(?";
    out.shape += n;
    out.shape += " AS REAL)";
    // No -0: a server reads the literal as a decimal, which has none.
    const std::string_view digits = number->text.substr(0, number->text.find_first_of("eE"));
    const bool zero = digits.find_first_not_of("0.") == std::string_view::npos;
    out.values.emplace_back((negative && !zero ? "-" : "") + std::string(number->text));
    return true;
  }
  const size_t whole_digits = number->text.size();
  if (whole_digits > 18) return false;
  int64_t value = 0;
  for (char c : number->text) value = value * 10 + (c - '0');
  out.shape += '?';
  out.shape += n;
  out.values.emplace_back(negative ? -value : value);
  return true;
}

}  // namespace

std::optional<ShapedInsert> ShapeOfInsert(std::string_view sql) {
  const size_t values_at = ValuesKeyword(sql);
  if (values_at == std::string_view::npos) return std::nullopt;
  ShapedInsert out;
  // At most one value per comma, and "CAST(?n AS REAL), " is the longest piece.
  const size_t items = static_cast<size_t>(std::count(sql.begin() + values_at, sql.end(), ',')) + 1;
  out.values.reserve(items);
  out.shape.reserve(values_at + 8 + 20 * items);
  out.shape.assign(sql.substr(0, values_at + 6));
  size_t p = SkipBlanks(sql, values_at + 6);
  if (p >= sql.size() || sql[p] != '(') return std::nullopt;
  ++p;
  out.shape += " (";
  for (;;) {
    p = SkipBlanks(sql, p);
    if (p >= sql.size() || !ShapeLiteral(sql, p, out)) return std::nullopt;
    p = SkipBlanks(sql, p);
    if (p >= sql.size()) return std::nullopt;
    if (sql[p] == ',') {
      out.shape += ", ";
      ++p;
      continue;
    }
    if (sql[p] != ')') return std::nullopt;
    ++p;
    out.shape += ')';
    break;
  }
  while (p < sql.size() && (IsBlank(sql[p]) || sql[p] == ';')) ++p;
  if (p != sql.size()) return std::nullopt;
  return out;
}

}  // namespace qbx::suite
