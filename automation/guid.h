// Globally unique identifiers, parsed from their registry text at compile time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qbx {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  constexpr bool operator==(const Guid& o) const {
    if (data1 != o.data1 || data2 != o.data2 || data3 != o.data3) return false;
    for (int i = 0; i < 8; ++i)
      if (data4[i] != o.data4[i]) return false;
    return true;
  }
  constexpr bool operator<(const Guid& o) const {
    if (data1 != o.data1) return data1 < o.data1;
    if (data2 != o.data2) return data2 < o.data2;
    if (data3 != o.data3) return data3 < o.data3;
    for (int i = 0; i < 8; ++i)
      if (data4[i] != o.data4[i]) return data4[i] < o.data4[i];
    return false;
  }

  // "{582CF778-1781-431F-8AD9-5BC9D2DE72D0}" (upper case, with braces).
  std::string ToString() const;
  // Accepts the registry form with or without braces, any case.
  static std::optional<Guid> Parse(std::string_view text);
};

namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
constexpr uint64_t HexField(std::string_view s, size_t pos, size_t len, bool& ok) {
  uint64_t v = 0;
  for (size_t i = 0; i < len; ++i) {
    int d = pos + i < s.size() ? HexDigit(s[pos + i]) : -1;
    if (d < 0) ok = false;
    v = v * 16 + static_cast<uint64_t>(d < 0 ? 0 : d);
  }
  return v;
}
// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" or the same without braces.
constexpr std::optional<Guid> ParseGuid(std::string_view s) {
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
    return std::nullopt;
  bool ok = true;
  Guid g;
  g.data1 = static_cast<uint32_t>(HexField(s, 0, 8, ok));
  g.data2 = static_cast<uint16_t>(HexField(s, 9, 4, ok));
  g.data3 = static_cast<uint16_t>(HexField(s, 14, 4, ok));
  g.data4[0] = static_cast<uint8_t>(HexField(s, 19, 2, ok));
  g.data4[1] = static_cast<uint8_t>(HexField(s, 21, 2, ok));
  for (int i = 0; i < 6; ++i)
    g.data4[2 + i] = static_cast<uint8_t>(HexField(s, 24 + 2 * static_cast<size_t>(i), 2, ok));
  if (!ok) return std::nullopt;
  return g;
}
}  // namespace detail

// A compile-time identifier: a malformed text does not compile.
consteval Guid MakeGuid(std::string_view text) {
  auto g = detail::ParseGuid(text);
  if (!g) throw "malformed GUID";
  return *g;
}

}  // namespace qbx
