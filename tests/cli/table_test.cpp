#include "cli/table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

namespace qbx::cli {
namespace {

TEST(CliTable, CellsAsAPersonAndAsJsonReadThem) {
  struct Case {
    Variant value;
    std::string text;
    nlohmann::json json;
  };
  for (const Case& c : std::vector<Case>{
           {Variant(Null{}), "", nullptr},
           {Variant(2.5), "2.5", 2.5},
           {Variant(1e-5), "1E-05", 1e-5},
           {Variant(int32_t{7}), "7", 7},
           {Variant(Date::FromCalendar(2024, 3, 5)), "2024-03-05", "2024-03-05"},
           // The zero date: no date (an empty lot date).
           {Variant(Date(0.0)), "", nullptr},
           {Variant(Date(1.0)), "1899-12-31", "1899-12-31"},
           {Variant(Date::FromCalendar(2024, 3, 5, 14, 30, 0)), "2024-03-05 14:30:00",
            "2024-03-05 14:30:00"},
           {Variant(true), "True", true},
           // JSON has no infinity.
           {Variant(HUGE_VAL), "INF", nullptr},
           // What a JSON text must escape, and UTF-8 as it is.
           {Variant(std::string("\"a\\b\n\t\x01ñ")), "\"a\\b\n\t\x01ñ", "\"a\\b\n\t\x01ñ"}}) {
    EXPECT_EQ(CellText(c.value), c.text) << c.value.Describe();
    std::string json;
    AppendJsonCell(json, c.value);
    EXPECT_EQ(nlohmann::json::parse(json), c.json) << json;
  }
}

TEST(CliTable, PrintsChosenColumnsAlignedAndJsonRowsOneALine) {
  Table t;
  t.columns = {"Tr_ID", "Pr_Descripcion", "Tr_Costo", "Ignored"};
  t.rows = {{Variant("0001"), Variant("Azúcar"), Variant(2.5), Variant("x")},
            {Variant("0002"), Variant("Tornillo"), Variant(125.0), Variant("y")}};
  std::ostringstream out;
  // Names match without regard to case; a column the table lacks is left out.
  PrintTable(
      out, t,
      {{"tr_id", "ID"}, {"Pr_Descripcion", "Producto"}, {"Tr_Costo", "Costo"}, {"Missing", "M"}});
  EXPECT_EQ(out.str(),
            "  ID    Producto  Costo\n"
            "  0001  Azúcar      2.5\n"
            "  0002  Tornillo    125\n");
  EXPECT_EQ(CellText(t.At(1, "TR_COSTO")), "125");
  EXPECT_TRUE(t.At(0, "Missing").IsNull());

  std::ostringstream none;
  PrintTable(none, Table{{"A"}, {}}, {{"A", "A"}}, "    ");
  WriteJsonRows(none, Table{{"A"}, {}});
  EXPECT_EQ(none.str(), "    (none)\n[]\n");

  // JSON: objects keyed by column in the columns' order, one row a line.
  t = {{"Tr_Folio", "Tr_Costo"}, {{Variant("F1"), Variant(Null{})}, {Variant("F2"), Variant(1.5)}}};
  std::ostringstream json;
  WriteJsonRows(json, t);
  EXPECT_EQ(
      json.str(),
      "[\n {\"Tr_Folio\":\"F1\",\"Tr_Costo\":null},\n {\"Tr_Folio\":\"F2\",\"Tr_Costo\":1.5}\n]\n");
}

}  // namespace
}  // namespace qbx::cli
