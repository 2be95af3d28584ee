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

}  // namespace qbx::cli::test
