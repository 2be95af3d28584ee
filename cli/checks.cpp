#include "cli/checks.h"

#include <map>
#include <optional>
#include <vector>

#include "automation/value.h"
#include "cli/document.h"
#include "suite/reports.h"
#include "suite/schema.h"

namespace qbx::cli {
namespace {

using nlohmann::json;

std::string LinePath(size_t i, const std::string& field) {
  return "Detalles, line " + std::to_string(i + 1) + ": " + field;
}

bool SameCode(std::string_view a, std::string_view b) {
  return UCase(a) == UCase(b);
}

// The text the document gives at record.field ("" for the record itself),
// nullopt when it gives none.
std::optional<std::string> Given(const json& object, const std::string& record,
                                 const std::string& field) {
  const json* v = &object;
  for (const std::string& name : {record, field}) {
    if (name.empty()) continue;
    if (!v->is_object() || !v->contains(name)) return std::nullopt;
    v = &(*v)[name];
  }
  return v->is_string() ? std::optional(v->get<std::string>()) : std::nullopt;
}

// A field is held to the Transferencia column of its name (Sucursal_Recibe
// and Almacen_Recibe to the "_Recibe" columns); a field Transferencia does
// not keep, to the first other table that does (a serial number: Movimiento).
const suite::TextLimit* LimitOf(const std::string& column) {
  const suite::TextLimit* found = nullptr;
  for (const suite::TextLimit& l : suite::TextLimits()) {
    if (l.column != column) continue;
    if (l.table == "Transferencia") return &l;
    if (!found) found = &l;
  }
  return found;
}

size_t Characters(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

void CheckSize(const std::string& path, const std::string& column, const json& text) {
  if (!text.is_string()) return;
  const suite::TextLimit* limit = LimitOf(column);
  const size_t length = Characters(text.get_ref<const std::string&>());
  if (limit && length > size_t(limit->size))
    throw DocumentError(path + ": a text of " + std::to_string(length) +
                        " characters; the suite keeps at most " + std::to_string(limit->size));
}

// The texts of a record and of its nested records; `prefix` names the record.
void CheckSizes(const json& record, const std::string& prefix) {
  for (const auto& [name, value] : record.items()) {
    if (!value.is_object()) {
      CheckSize(prefix + name, name, value);
      continue;
    }
    const std::string suffix = name.ends_with("_Recibe") ? "_Recibe" : "";
    for (const auto& [inner, text] : value.items())
      CheckSize(prefix + name + "." + inner, inner + suffix, text);
  }
}

// An entry of the catalogue: unknown, or known but not in use, is refused.
void CheckState(const std::optional<std::string>& state, const std::string& path,
                const std::string& what, std::string_view listed_by) {
  if (!state)
    throw DocumentError(path + ": unknown " + what + " (`quelbarix catalogue " +
                        std::string(listed_by) + "` lists them)");
  if (!SameCode(*state, "AC"))
    throw DocumentError(path + ": " + what + " is no longer in use (state " + *state + ")");
}

std::string Day(const Variant& v) {
  if (v.type() == Variant::Type::Date) return v.ToDate().ToIsoText().substr(0, 10);
  return v.ToStringOrEmpty().substr(0, 10);
}

// The component checks the header's date against the inventory module's
// open periods, when the suite's parameter asks for it.
void CheckPeriod(suite::Database& db, const CaptureDocument& doc) {
  if (!doc.HeaderFields().contains("Tr_Fecha")) return;
  const std::string validate = suite::ParameterValue(db, "GEN_VALIDAR_PERIODO_OPERATIVO");
  if (validate.empty() || !Variant(validate).ToBool()) return;
  tTrEncabezado header;
  doc.ApplyEncabezado(header);
  const std::string day = header.Tr_Fecha.ToIsoText().substr(0, 10);
  const suite::RowSet periods = suite::OpenPeriods(db);
  std::string open;
  for (size_t r = 0; r < periods.rows.size(); ++r) {
    if (!SameCode(periods.At(r, "Pe_Modulo").ToStringOrEmpty(), "INVENTARIOS")) continue;
    const std::string from = Day(periods.At(r, "Pe_Fecha_Inicio"));
    const std::string to = Day(periods.At(r, "Pe_Fecha_Fin"));
    if (from <= day && day <= to) return;
    open += (open.empty() ? "" : ", ") + from + " to " + to;
  }
  throw DocumentError(
      "Encabezado.Tr_Fecha: " + day + " falls in no open period; " +
      (open.empty() ? std::string("no period is open") : "the open periods are " + open) +
      " (`quelbarix catalogue periods`)");
}

void CheckPlaces(suite::Database& db, const json& header) {
  for (const auto& [branch_record, warehouse_record] :
       {std::pair<std::string, std::string>{"Sucursal", "Almacen"},
        {"Sucursal_Recibe", "Almacen_Recibe"}}) {
    const auto branch = Given(header, branch_record, "Sc_Cve_Sucursal");
    if (branch)
      CheckState(suite::BranchState(db, *branch),
                 "Encabezado." + branch_record + ".Sc_Cve_Sucursal", "branch '" + *branch + "'",
                 "branches");
    // The component looks a warehouse up in the header's branch.
    const auto warehouse = Given(header, warehouse_record, "Al_Cve_Almacen");
    if (warehouse && branch)
      CheckState(suite::WarehouseState(db, *branch, *warehouse),
                 "Encabezado." + warehouse_record + ".Al_Cve_Almacen",
                 "warehouse '" + *warehouse + "' of branch " + *branch, "warehouses");
  }
}

struct Product {
  suite::ProductFacts facts;
  std::vector<std::string> units;
};

std::string Join(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += (out.empty() ? "" : ", ") + t;
  return out;
}

// A serial number stands for one piece: one line per serial, quantity 1 in
// the product's control unit.
void CheckSerial(const json& line, const tTrDetalle& d, const Product& p, size_t i) {
  const auto serial = Given(line, "Serie", "Sr_Cve_Serie");
  if (p.facts.type != "03" || !serial || serial->empty()) return;
  const std::string each =
      "; a serial-numbered product takes one line per serial number, each "
      "with quantity 1";
  if (line.contains("Tr_Cantidad_1") && d.Tr_Cantidad_1 != 1)
    throw DocumentError(LinePath(i, "Tr_Cantidad_1") + ": " + NumberText(d.Tr_Cantidad_1) +
                        " under serial number " + *serial + each);
  if (line.contains("Tr_Cantidad_Control_2") && d.Tr_Cantidad_Control_2 != 1)
    throw DocumentError(LinePath(i, "Tr_Cantidad_Control_2") + ": " +
                        NumberText(d.Tr_Cantidad_Control_2) + " under serial number " + *serial +
                        each);
  if (line.contains("Tr_Unidad_1") && !SameCode(d.Tr_Unidad_1, p.facts.control_unit))
    throw DocumentError(LinePath(i, "Tr_Unidad_1") + ": serial number " + *serial + " is one " +
                        p.facts.control_unit + ", not one " + d.Tr_Unidad_1);
}

}  // namespace

void CheckNewDocument(const CaptureDocument& doc) {
  if (doc.HeaderFields().contains("Tr_Folio"))
    throw DocumentError(
        "Encabezado.Tr_Folio: the component assigns the folio of a new transfer; leave Tr_Folio "
        "out (capture prints the folio it got)");
  CheckSizes(doc.HeaderFields(), "Encabezado.");
  for (size_t i = 0; i < doc.LineCount(); ++i) CheckSizes(doc.LineFields(i), LinePath(i, ""));
}

void CheckAgainstCatalogue(suite::Database& db, const CaptureDocument& doc) {
  CheckPlaces(db, doc.HeaderFields());
  CheckPeriod(db, doc);
  std::map<std::string, std::optional<Product>> products;  // by code in capitals
  for (size_t i = 0; i < doc.LineCount(); ++i) {
    const json& line = doc.LineFields(i);
    const auto code = Given(line, "Producto", "Pr_Cve_Producto");
    if (!code) continue;
    auto [at, added] = products.try_emplace(UCase(*code));
    if (added) {
      if (auto facts = suite::FindProduct(db, *code))
        at->second = Product{*facts, suite::UnitsOfProduct(db, *code)};
    }
    const std::string path = LinePath(i, "Producto.Pr_Cve_Producto");
    if (!at->second)
      throw DocumentError(path + ": unknown product '" + *code +
                          "' (`quelbarix catalogue products` lists them)");
    const Product& p = *at->second;
    if (!SameCode(p.facts.state, "AC"))
      throw DocumentError(path + ": product '" + *code + "' is discontinued (state " +
                          p.facts.state + ")");
    const tTrDetalle d = doc.Detalle(i);
    if (line.contains("Tr_Unidad_1")) {
      bool usable = false;
      for (const std::string& u : p.units) usable = usable || SameCode(u, d.Tr_Unidad_1);
      if (!usable) {
        const std::string field = LinePath(i, "Tr_Unidad_1");
        if (!suite::UnitState(db, d.Tr_Unidad_1))
          throw DocumentError(field + ": unknown unit '" + d.Tr_Unidad_1 +
                              "' (`quelbarix catalogue units` lists them)");
        throw DocumentError(field + ": unit '" + d.Tr_Unidad_1 + "' cannot be used for product " +
                            *code + ": it converts only " + Join(p.units) +
                            " (a unit needs a conversion factor to " + p.facts.control_unit + ")");
      }
    }
    CheckSerial(line, d, p, i);
  }
}

std::string TextLimitsHelp() {
  std::string text, line;
  std::string_view table;
  for (const suite::TextLimit& l : suite::TextLimits()) {
    std::string item = std::string(l.column) + " " + std::to_string(l.size);
    if (l.table != table) {
      table = l.table;
      item = std::string(table) + ": " + item;
      if (!line.empty()) text += line + "\n";
      line = "  ";
    } else if (line.size() + item.size() + 2 > 78) {
      text += line + ",\n";
      line = "    ";
    } else {
      line += ", ";
    }
    line += item;
  }
  return text + line + "\n";
}

void CheckRequisition(suite::Database& db, const std::string& order) {
  // Exit 1, not 2: the command line is right; what the database holds
  // refuses it, as the component would (and as finalize does an unknown
  // folio). The same command succeeds once the order exists or lacks stock.
  const std::vector<suite::OrderLine> lines = suite::OrderLines(db, order);
  if (lines.empty()) throw Refused("there is no order " + order);
  // An order not open: the component's own message says so.
  for (const suite::OrderLine& l : lines)
    if (!SameCode(l.state, "AC")) return;
  std::string covered, centre;
  for (const suite::OrderDemand& d : suite::DemandOfOrder(db, order)) {
    const double available =
        suite::AvailableAt(db, d.distribution_centre, d.product, d.size, d.colour);
    // The component asks for a product when its stock is strictly less.
    if (available < d.control || available < d.control_2) return;
    centre = d.distribution_centre;
    covered += (covered.empty() ? "" : "; ") + d.product + " " + d.size + "/" + d.colour + ": " +
               NumberText(d.control) + " ordered, " + NumberText(available) + " in stock";
  }
  const std::vector<std::string> requests = suite::RequestsOfOrder(db, order);
  throw Refused("order " + order + " needs no request: its distribution centre " + centre +
                " has in stock what every line asks (" + covered + "); " +
                (requests.empty() ? std::string("no request was made from it")
                                  : "requests made from it so far: " + Join(requests)) +
                ". Nothing was done.");
}

void CheckCfdi(suite::Database& db, const std::string& folio) {
  const suite::RowSet rows = suite::TransferRows(db, folio);
  if (rows.empty()) return;  // the component says there is none
  const std::string force = "; --force writes one all the same";
  if (SameCode(rows.At(0, "Es_Cve_Estado").ToStringOrEmpty(), "CA"))
    throw DocumentError("shipment " + folio +
                        " is cancelled: its goods no longer travel, so a transport document "
                        "would declare a move that is not made" +
                        force);
  // Cancelling a shipment marks its transport document's rows CA.
  for (const std::string& traslado : suite::TransportDocumentsOf(db, folio)) {
    bool live = false;
    for (const suite::TransportLine& l : suite::TransportLines(db, traslado))
      live = live || !SameCode(l.state, "CA");
    if (!live) continue;
    const auto voucher = suite::VoucherState(db, traslado);
    throw DocumentError("shipment " + folio + " already has the live transport document " +
                        traslado + (voucher ? " (voucher " + *voucher + ")" : "") +
                        "; a second one would declare the same goods twice" + force);
  }
}

}  // namespace qbx::cli
