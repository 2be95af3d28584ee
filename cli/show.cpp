// quelbarix show FOLIO: everything the database holds about one transfer.
#include "cli/show.h"

#include <iostream>

#include "cli/commands.h"
#include "cli/session.h"
#include "cli/table.h"

namespace qbx::cli {

std::string TypeName(const std::string& type) {
  if (type == "SL") return "request";
  if (type == "EN") return "shipment";
  if (type == "RC") return "reception";
  return "type " + type;
}

namespace {

// The folio as stored: the lookup may match what the person typed in
// another case.
std::string StoredFolio(const TransferReport& r) {
  const std::string stored = CellText(r.rows.At(0, "Tr_Folio"));
  return stored.empty() ? r.folio : stored;
}

// What a movement did to stock; a cancelled one no longer counts either way.
std::string StockEffect(const Table& movements, size_t row) {
  if (CellText(movements.At(row, "Es_Cve_Estado")) == "CA") return "cancelled";
  const Variant& applied = movements.At(row, "Mv_Aplicado");
  return !applied.IsNull() && applied.ToLong() != 0 ? "applied" : "pending";
}

}  // namespace

nlohmann::json ReportJson(const TransferReport& r) {
  nlohmann::json j;
  j["folio"] = StoredFolio(r);
  j["tipo"] = CellJson(r.rows.At(0, "Tr_Tipo"));
  j["estado"] = CellJson(r.rows.At(0, "Es_Cve_Estado"));
  j["finalizada"] = r.finalised_at.has_value();
  j["fecha_finalizacion"] = r.finalised_at ? nlohmann::json(*r.finalised_at) : nullptr;
  j["renglones"] = TableJson(r.rows);
  j["referida_por"] = TableJson(r.referred_by);
  j["movimientos"] = TableJson(r.movements);
  for (size_t i = 0; i < r.movements.rows.size(); ++i)
    j["movimientos"][i]["inventario"] = StockEffect(r.movements, i);
  j["traslado"] = TableJson(r.transport);
  j["comprobantes"] = TableJson(r.vouchers);
  j["polizas"] = TableJson(r.entries);
  j["poliza_detalle"] = TableJson(r.entry_lines);
  return j;
}

void PrintReport(std::ostream& out, const TransferReport& r) {
  const Table& t = r.rows;
  auto at = [&](std::string_view column) { return CellText(t.At(0, column)); };
  out << "Transfer " << StoredFolio(r) << ": " << TypeName(at("Tr_Tipo")) << " (" << at("Tr_Tipo")
      << "), state " << at("Es_Cve_Estado") << ", "
      << (r.finalised_at ? "finalised " + *r.finalised_at : std::string("not finalised")) << '\n';
  out << "  date " << at("Tr_Fecha") << ", delivery " << at("Tr_Fecha_Entrega") << '\n';
  out << "  from " << at("Sc_Cve_Sucursal") << "/" << at("Al_Cve_Almacen") << " to "
      << at("Sc_Cve_Sucursal_Recibe") << "/" << at("Al_Cve_Almacen_Recibe") << '\n';
  if (!at("Tr_Referencia").empty()) out << "  refers to " << at("Tr_Referencia") << '\n';
  if (!at("Tr_Documento").empty())
    out << "  from document " << at("Tr_Tabla") << " " << at("Tr_Documento") << '\n';
  if (!at("Tr_Comentario").empty()) out << "  comment: " << at("Tr_Comentario") << '\n';
  if (!at("Fecha_Baja").empty())
    out << "  cancelled " << at("Fecha_Baja") << " by " << at("Oper_Baja") << '\n';

  out << "\nLines:\n";
  PrintTable(out, t,
             {{"Tr_ID", "ID"},
              {"Pr_Cve_Producto", "Product"},
              {"Tl_Cve_Talla", "Size"},
              {"Cl_Cve_Color", "Colour"},
              {"Tr_Cantidad_1", "Qty"},
              {"Tr_Unidad_1", "Unit"},
              {"Tr_Cantidad_Control_1", "Qty ctl 1"},
              {"Tr_Unidad_Control_1", "Unit 1"},
              {"Tr_Cantidad_Control_2", "Qty ctl 2"},
              {"Tr_Unidad_Control_2", "Unit 2"},
              {"Tr_Costo", "Cost"},
              {"Tr_Importe_Costo", "Amount"},
              {"Es_Cve_Estado", "State"}});
  if (!r.referred_by.empty()) {
    out << "\nReferred to by:\n";
    PrintTable(out, r.referred_by,
               {{"Tr_Folio", "Folio"},
                {"Tr_Tipo", "Type"},
                {"Es_Cve_Estado", "State"},
                {"Lineas", "Lines"}});
  }
  out << "\nInventory movements:\n";
  Table movements = r.movements;
  if (const int applied = movements.Find("Mv_Aplicado"); applied >= 0) {
    for (size_t i = 0; i < movements.rows.size(); ++i)
      movements.rows[i][static_cast<size_t>(applied)] = Variant(StockEffect(r.movements, i));
  }
  PrintTable(out, movements,
             {{"Mv_Folio", "Movement"},
              {"Mv_ID", "ID"},
              {"Mv_Tipo_Movimiento", "Kind"},
              {"Mv_Naturaleza", "E/S"},
              {"Sc_Cve_Sucursal", "Branch"},
              {"Al_Cve_Almacen", "Warehouse"},
              {"Pr_Cve_Producto", "Product"},
              {"Tl_Cve_Talla", "Size"},
              {"Cl_Cve_Color", "Colour"},
              {"Mv_Cantidad_1", "Qty 1"},
              {"Mv_Costo", "Cost"},
              {"Mv_Importe", "Amount"},
              {"Mv_Aplicado", "Stock"},
              {"Es_Cve_Estado", "State"}});
  out << "\nTransport document:\n";
  PrintTable(out, r.transport,
             {{"Tr_Folio", "Folio"},
              {"Tr_ID", "ID"},
              {"Tr_Factura", "Invoice key"},
              {"Tr_Documento_ID", "Line"},
              {"Pr_Cve_Producto", "Product"},
              {"Tr_Cantidad_1", "Qty"},
              {"Tr_Unidad_1", "Unit"},
              {"Tr_Costo_Importe", "Amount"},
              {"Es_Cve_Estado", "State"}});
  if (!r.vouchers.empty()) {
    out << "  vouchers:\n";
    PrintTable(out, r.vouchers,
               {{"Cd_Documento", "Document"},
                {"Cd_UUID", "UUID"},
                {"Cd_Fecha", "Date"},
                {"Es_Cve_Estado", "State"}},
               "    ");
  }
  out << "\nAccounting entry:\n";
  PrintTable(out, r.entries,
             {{"Po_Folio", "Entry"},
              {"Po_Fecha", "Date"},
              {"Em_Cve_Empresa", "Company"},
              {"Po_Cargos", "Debits"},
              {"Po_Abonos", "Credits"},
              {"Es_Cve_Estado", "State"}});
  if (!r.entry_lines.empty()) {
    PrintTable(out, r.entry_lines,
               {{"Po_Folio", "Entry"},
                {"Po_Renglon", "Line"},
                {"Po_Cuenta", "Account"},
                {"Po_Descripcion", "Description"},
                {"Po_Cargo", "Debit"},
                {"Po_Abono", "Credit"}},
               "    ");
  }
}

int RunShow(Context& cx) {
  Session session(cx.db_path, cx.trace, Access::ReadOnly);
  const TransferReport report = suite::ReadTransferRecord(session.db(), cx.invocation.operand);
  if (report.rows.empty()) {
    cx.io.err << "quelbarix: there is no transfer with folio " << cx.invocation.operand << '\n';
    return kExitFailure;
  }
  if (cx.invocation.json) {
    cx.io.out << ReportJson(report).dump(2) << '\n';
  } else {
    PrintReport(cx.io.out, report);
  }
  return kExitOk;
}

}  // namespace qbx::cli
