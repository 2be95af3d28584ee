#include <charconv>
#include <string>

#include "suite/schema.h"

namespace qbx::suite {
namespace {

// The pieces hold one column a line; a size is the column's own check,
// "  Name TEXT ... CHECK (length(Name) <= n)", under a
// "CREATE TABLE IF NOT EXISTS Table (" line.
void AddLimits(std::string_view ddl, std::vector<TextLimit>& out) {
  constexpr std::string_view kTable = "CREATE TABLE IF NOT EXISTS ";
  constexpr std::string_view kCheck = " CHECK (length(";
  constexpr std::string_view kAtMost = ") <= ";
  std::string_view table;
  while (!ddl.empty()) {
    const size_t eol = ddl.find('\n');
    std::string_view line = ddl.substr(0, eol);
    ddl = eol == std::string_view::npos ? std::string_view() : ddl.substr(eol + 1);
    if (line.starts_with(kTable)) {
      line.remove_prefix(kTable.size());
      table = line.substr(0, line.find(' '));
      continue;
    }
    const size_t check = line.find(kCheck);
    if (check == std::string_view::npos) continue;
    const size_t name = check + kCheck.size();
    const size_t name_end = line.find(kAtMost, name);
    if (name_end == std::string_view::npos) continue;
    int size = 0;
    const char* digits = line.data() + name_end + kAtMost.size();
    std::from_chars(digits, line.data() + line.size(), size);
    out.push_back({table, line.substr(name, name_end - name), size});
  }
}

}  // namespace

const std::vector<TextLimit>& TextLimits() {
  static const std::vector<TextLimit> limits = [] {
    std::vector<TextLimit> all;
    AddLimits(CoreSchemaSql(), all);
    AddLimits(InventorySchemaSql(), all);
    return all;
  }();
  return limits;
}

}  // namespace qbx::suite
