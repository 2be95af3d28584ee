#include "cli/checks.h"

#include <map>
#include <optional>
#include <vector>

#include "automation/value.h"
#include "cli/document.h"
#include "cli/i18n.h"
#include "suite/reports.h"
#include "suite/schema.h"

namespace qbx::cli {
namespace {

using nlohmann::json;

std::string LinePath(size_t i, const std::string& field) {
  return Format(_("Detalles, line {0}: "), {i + 1}) + field;
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
    throw DocumentError(Format(_("{0}: a text of {1} characters; the suite keeps at most {2}"),
                               {path, length, limit->size}));
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
// In both texts {0} is the field, {1} the state, {2} the code and {3} the
// branch of a warehouse: whole sentences, so a translation agrees in gender.
void CheckState(const std::optional<std::string>& state, const char* unknown, const char* retired,
                const std::string& path, const std::string& code, const std::string& branch = "") {
  if (!state) throw DocumentError(Format(_(unknown), {path, "", code, branch}));
  if (!SameCode(*state, "AC"))
    throw DocumentError(Format(_(retired), {path, *state, code, branch}));
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
    open += (open.empty() ? "" : ", ") + Format(_("{0} to {1}"), {from, to});
  }
  throw DocumentError(
      open.empty()
          ? Format(_("{0}: {1} falls in no open period; no period is open "
                     "(`quelbarix catalogue periods`)"),
                   {"Encabezado.Tr_Fecha", day})
          : Format(_("{0}: {1} falls in no open period; the open periods are {2} "
                     "(`quelbarix catalogue periods`)"),
                   {"Encabezado.Tr_Fecha", day, open}));
}

void CheckPlaces(suite::Database& db, const json& header) {
  for (const auto& [branch_record, warehouse_record] :
       {std::pair<std::string, std::string>{"Sucursal", "Almacen"},
        {"Sucursal_Recibe", "Almacen_Recibe"}}) {
    const auto branch = Given(header, branch_record, "Sc_Cve_Sucursal");
    if (branch)
      CheckState(suite::BranchState(db, *branch),
                 N_("{0}: unknown branch '{2}' (`quelbarix catalogue branches` lists them)"),
                 N_("{0}: branch '{2}' is no longer in use (state {1})"),
                 "Encabezado." + branch_record + ".Sc_Cve_Sucursal", *branch);
    // The component looks a warehouse up in the header's branch.
    const auto warehouse = Given(header, warehouse_record, "Al_Cve_Almacen");
    if (warehouse && branch)
      CheckState(suite::WarehouseState(db, *branch, *warehouse),
                 N_("{0}: unknown warehouse '{2}' of branch {3} (`quelbarix catalogue "
                    "warehouses` lists them)"),
                 N_("{0}: warehouse '{2}' of branch {3} is no longer in use (state {1})"),
                 "Encabezado." + warehouse_record + ".Al_Cve_Almacen", *warehouse, *branch);
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
  for (const auto& [field, quantity] : {std::pair{"Tr_Cantidad_1", d.Tr_Cantidad_1},
                                        std::pair{"Tr_Cantidad_Control_2", d.Tr_Cantidad_Control_2}})
    if (line.contains(field) && quantity != 1)
      throw DocumentError(Format(_("{0}: {1} under serial number {2}; a serial-numbered product "
                                   "takes one line per serial number, each with quantity 1"),
                                 {LinePath(i, field), NumberText(quantity), *serial}));
  if (line.contains("Tr_Unidad_1") && !SameCode(d.Tr_Unidad_1, p.facts.control_unit))
    throw DocumentError(Format(_("{0}: serial number {1} is one {2}, not one {3}"),
                               {LinePath(i, "Tr_Unidad_1"), *serial, p.facts.control_unit,
                                d.Tr_Unidad_1}));
}

}  // namespace

void CheckNewDocument(const CaptureDocument& doc) {
  if (doc.HeaderFields().contains("Tr_Folio"))
    throw DocumentError(Format(_("{0}: the component assigns the folio of a new transfer; leave "
                                 "Tr_Folio out (capture prints the folio it got)"),
                               {"Encabezado.Tr_Folio"}));
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
      throw DocumentError(
          Format(_("{0}: unknown product '{1}' (`quelbarix catalogue products` lists them)"),
                 {path, *code}));
    const Product& p = *at->second;
    if (!SameCode(p.facts.state, "AC"))
      throw DocumentError(Format(_("{0}: product '{1}' is discontinued (state {2})"),
                                 {path, *code, p.facts.state}));
    const tTrDetalle d = doc.Detalle(i);
    if (line.contains("Tr_Unidad_1")) {
      bool usable = false;
      for (const std::string& u : p.units) usable = usable || SameCode(u, d.Tr_Unidad_1);
      if (!usable) {
        const std::string field = LinePath(i, "Tr_Unidad_1");
        if (!suite::UnitState(db, d.Tr_Unidad_1))
          throw DocumentError(
              Format(_("{0}: unknown unit '{1}' (`quelbarix catalogue units` lists them)"),
                     {field, d.Tr_Unidad_1}));
        throw DocumentError(Format(_("{0}: unit '{1}' cannot be used for product {2}: it converts "
                                     "only {3} (a unit needs a conversion factor to {4})"),
                                   {field, d.Tr_Unidad_1, *code, Join(p.units),
                                    p.facts.control_unit}));
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
  if (lines.empty()) throw Refused(Format(_("there is no order {0}"), {order}));
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
    covered += (covered.empty() ? "" : "; ") +
               Format(_("{0} {1}/{2}: {3} ordered, {4} in stock"),
                      {d.product, d.size, d.colour, NumberText(d.control), NumberText(available)});
  }
  const std::vector<std::string> requests = suite::RequestsOfOrder(db, order);
  if (requests.empty())
    throw Refused(Format(_("order {0} needs no request: its distribution centre {1} has in stock "
                           "what every line asks ({2}); no request was made from it. Nothing was "
                           "done."),
                         {order, centre, covered}));
  throw Refused(Format(_("order {0} needs no request: its distribution centre {1} has in stock "
                         "what every line asks ({2}); requests made from it so far: {3}. Nothing "
                         "was done."),
                       {order, centre, covered, Join(requests)}));
}

void CheckCfdi(suite::Database& db, const std::string& folio) {
  const suite::RowSet rows = suite::TransferRows(db, folio);
  if (rows.empty()) return;  // the component says there is none
  if (SameCode(rows.At(0, "Es_Cve_Estado").ToStringOrEmpty(), "CA"))
    throw DocumentError(Format(_("shipment {0} is cancelled: its goods no longer travel, so a "
                                 "transport document would declare a move that is not made; "
                                 "--force writes one all the same"),
                               {folio}));
  // Cancelling a shipment marks its transport document's rows CA.
  for (const std::string& traslado : suite::TransportDocumentsOf(db, folio)) {
    bool live = false;
    for (const suite::TransportLine& l : suite::TransportLines(db, traslado))
      live = live || !SameCode(l.state, "CA");
    if (!live) continue;
    const auto voucher = suite::VoucherState(db, traslado);
    if (!voucher)
      throw DocumentError(Format(_("shipment {0} already has the live transport document {1}; a "
                                   "second one would declare the same goods twice; --force "
                                   "writes one all the same"),
                                 {folio, traslado}));
    throw DocumentError(Format(_("shipment {0} already has the live transport document {1} "
                                 "(voucher {2}); a second one would declare the same goods "
                                 "twice; --force writes one all the same"),
                               {folio, traslado, *voucher}));
  }
}

}  // namespace qbx::cli
