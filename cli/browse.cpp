// Commands that help a person write a document: list, catalogue, example.
#include <algorithm>
#include <array>
#include <iostream>

#include "cli/commands.h"
#include "cli/document.h"
#include "cli/i18n.h"
#include "cli/session.h"
#include "cli/table.h"
#include "examples_embedded.h"  // generated from examples/ at build time
#include "suite/reports.h"

namespace qbx::cli {
namespace {

// "yyyy-mm-dd" with plausible month and day; the list compares dates as texts.
bool IsDay(const std::string& s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  const int month = std::stoi(s.substr(5, 2)), day = std::stoi(s.substr(8, 2));
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

}  // namespace

int RunList(Context& cx) {
  const Invocation& inv = cx.invocation;
  for (const auto& [name, value] : {std::pair{"--from", inv.from}, std::pair{"--to", inv.to}}) {
    if (!value.empty() && !IsDay(value))
      throw DocumentError(Format(_("{0}: expected a date yyyy-mm-dd, not {1}"), {name, value}));
  }
  Session session(cx.db_path, cx.trace, Access::ReadOnly);
  const auto list = suite::ListTransfers(session.db(),
                                         {inv.type, inv.state, inv.branch, inv.from, inv.to});
  Table t;
  // Stored values under their column names, the count under a name of the
  // tool's own (README: "JSON keys").
  t.columns = {"Tr_Folio", "Tr_Tipo", "Es_Cve_Estado", "Tr_Fecha", "Sc_Cve_Sucursal", "line_count"};
  for (const auto& s : list) t.rows.push_back(
        {s.folio, s.type, s.state, s.date, s.branch, static_cast<int32_t>(s.lines)});
  if (inv.json) {
    WriteJsonRows(cx.io.out, t);
  } else {
    PrintTable(cx.io.out, t,
               {{"Tr_Folio", N_("Folio")},
                {"Tr_Tipo", N_("Type")},
                {"Es_Cve_Estado", N_("State")},
                {"Tr_Fecha", N_("Date")},
                {"Sc_Cve_Sucursal", N_("Branch")},
                {"line_count", N_("Lines")}},
               "");
  }
  return kExitOk;
}

int RunCatalogue(Context& cx) {
  struct Part {
    std::string_view name;
    suite::RowSet (*read)(suite::Database&);
    std::vector<Column> columns;
  };
  const std::array<Part, 5> parts = {{
      {"products", suite::CatalogueProducts,
       {{"Pr_Cve_Producto", N_("Product")},
        {"Pr_Descripcion", N_("Description")},
        {"Pr_Unidad_Control_1", N_("Unit")},
        {"tracking", N_("Tracking")}}},
      {"warehouses", suite::CatalogueWarehouses,
       {{"Sc_Cve_Sucursal", N_("Branch")},
        {"Al_Cve_Almacen", N_("Warehouse")},
        {"Al_Descripcion", N_("Description")},
        {"Al_Maneja_Talla", N_("Sizes")},
        {"Al_Maneja_Color", N_("Colours")},
        {"Al_Maneja_Lote", N_("Lots")},
        {"Al_Maneja_Serie", N_("Serials")},
        {"Al_Transito", N_("Transit")}}},
      {"units", suite::CatalogueUnits, {{"Un_Cve_Unidad", N_("Unit")}, {"Un_Descripcion", N_("Description")}}},
      {"branches", suite::CatalogueBranches,
       {{"Sc_Cve_Sucursal", N_("Branch")},
        {"Sc_Descripcion", N_("Description")},
        {"Sc_Centro_Distribucion", N_("Served by")}}},
      {"periods", suite::OpenPeriods,
       {{"Pe_Modulo", N_("Module")}, {"Pe_Fecha_Inicio", N_("From")}, {"Pe_Fecha_Fin", N_("To")}}},
  }};
  const auto part = std::find_if(parts.begin(), parts.end(), [&](const Part& p) {
    return p.name == cx.invocation.operand;
  });
  if (part == parts.end())
    throw DocumentError(
        Format(_("catalogue: unknown '{0}' (products, warehouses, units, branches or periods)"),
               {cx.invocation.operand}));
  Session session(cx.db_path, cx.trace, Access::ReadOnly);
  const suite::RowSet rows = part->read(session.db());
  if (cx.invocation.json) {
    WriteJsonRows(cx.io.out, rows);
  } else {
    PrintTable(cx.io.out, rows, part->columns, "");
  }
  return kExitOk;
}

int RunExample(Context& cx) {
  const std::string& kind = cx.invocation.operand;
  if (kind.empty()) {
    for (const auto& e : kExamples) cx.io.out << e.kind << '\n';
    return kExitOk;
  }
  for (const auto& e : kExamples) {
    if (e.kind == kind) {
      cx.io.out << e.text;
      return kExitOk;
    }
  }
  throw DocumentError(
      Format(_("example: unknown kind '{0}' (`quelbarix example` lists them)"), {kind}));
}

}  // namespace qbx::cli
