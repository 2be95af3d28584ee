// How the tool prints what it reads from the suite: rows (columns and rows
// of Variants) as aligned text for a person or as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "automation/value.h"
#include "suite/reports.h"

namespace qbx::cli {

using Table = suite::RowSet;

// A cell as a person reads it: Null and Empty blank, numbers as their
// decimal text, dates "yyyy-mm-dd" (with the time when there is one).
std::string CellText(const Variant& v);
// A cell in JSON: null, a boolean, a number or a text (dates as ISO texts).
nlohmann::json CellJson(const Variant& v);
// Every row as an object keyed by column name.
nlohmann::json TableJson(const Table& table);

// A column of a printed table: the column's name in the result and its label.
struct Column {
  std::string_view name;
  std::string_view label;
};

// Prints the chosen columns (those the table has) aligned under their labels,
// numbers to the right; "(none)" when there are no rows.
void PrintTable(std::ostream& out, const Table& table, const std::vector<Column>& columns,
                std::string_view indent = "  ");

}  // namespace qbx::cli
