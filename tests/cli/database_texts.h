// A database file as one text, for comparing states of it.
#pragma once

#include <string>

#include "suite/database.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::cli::test {

inline std::string Text(const std::string& path) {
  suite::Database db(path, false);
  return suite::test::DatabaseText(db);
}

// Two runs of one request differ in the time of day they stamp, nothing else.
inline std::string MaskTimes(std::string text) {
  auto digits = [&](size_t at, size_t n) {
    for (size_t k = at; k < at + n; ++k)
      if (k >= text.size() || text[k] < '0' || text[k] > '9') return false;
    return true;
  };
  for (size_t i = 0; i + 19 <= text.size(); ++i) {
    if (digits(i, 4) && text[i + 4] == '-' && digits(i + 5, 2) && text[i + 7] == '-' &&
        digits(i + 8, 2) && (text[i + 10] == ' ' || text[i + 10] == 'T') && digits(i + 11, 2) &&
        text[i + 13] == ':' && digits(i + 14, 2) && text[i + 16] == ':' && digits(i + 17, 2)) {
      text.replace(i + 11, 8, "hh:mm:ss");
      i += 18;
    }
  }
  return text;
}

// The first line where two texts differ, with its table ("" when equal).
inline std::string FirstDifference(const std::string& a, const std::string& b) {
  std::string table;
  for (size_t i = 0, j = 0; i < a.size() || j < b.size();) {
    const size_t ei = std::min(a.find('\n', i), a.size()), ej = std::min(b.find('\n', j), b.size());
    const std::string la = a.substr(i, ei - i), lb = b.substr(j, ej - j);
    if (la.starts_with('[')) table = la;
    if (la != lb) return table + "\n< " + la + "\n> " + lb;
    i = ei + 1;
    j = ej + 1;
  }
  return "";
}

}  // namespace qbx::cli::test
