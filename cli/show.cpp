// quelbarix show FOLIO: everything the database holds about one transfer.
#include "cli/show.h"

#include <iostream>

#include "cli/commands.h"
#include "cli/i18n.h"
#include "cli/session.h"
#include "cli/table.h"

namespace qbx::cli {

std::string TypeName(const std::string& type) {
  if (type == "SL") return _("request");
  if (type == "EN") return _("shipment");
  if (type == "RC") return _("reception");
  return Format(_("type {0}"), {type});
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
  if (CellText(movements.At(row, "Es_Cve_Estado")) == "CA") return N_("cancelled");
  const Variant& applied = movements.At(row, "Mv_Aplicado");
  return !applied.IsNull() && applied.ToLong() != 0 ? N_("applied") : N_("pending");
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
  out << Format(_("Transfer {0}: {1} ({2}), state {3}, {4}"),
                {StoredFolio(r), TypeName(at("Tr_Tipo")), at("Tr_Tipo"), at("Es_Cve_Estado"),
                 r.finalised_at ? Format(_("finalised {0}"), {*r.finalised_at})
                                : std::string(_("not finalised"))})
      << '\n';
  out << Format(_("  date {0}, delivery {1}"), {at("Tr_Fecha"), at("Tr_Fecha_Entrega")}) << '\n';
  out << Format(_("  from {0}/{1} to {2}/{3}"),
                {at("Sc_Cve_Sucursal"), at("Al_Cve_Almacen"), at("Sc_Cve_Sucursal_Recibe"),
                 at("Al_Cve_Almacen_Recibe")})
      << '\n';
  if (!at("Tr_Referencia").empty())
    out << Format(_("  refers to {0}"), {at("Tr_Referencia")}) << '\n';
  if (!at("Tr_Documento").empty())
    out << Format(_("  from document {0} {1}"), {at("Tr_Tabla"), at("Tr_Documento")}) << '\n';
  if (!at("Tr_Comentario").empty())
    out << Format(_("  comment: {0}"), {at("Tr_Comentario")}) << '\n';
  if (!at("Fecha_Baja").empty())
    out << Format(_("  cancelled {0} by {1}"), {at("Fecha_Baja"), at("Oper_Baja")}) << '\n';

  out << _("\nLines:\n");
  PrintTable(out, t,
             {{"Tr_ID", N_("ID")},
              {"Pr_Cve_Producto", N_("Product")},
              {"Tl_Cve_Talla", N_("Size")},
              {"Cl_Cve_Color", N_("Colour")},
              {"Tr_Cantidad_1", N_("Qty")},
              {"Tr_Unidad_1", N_("Unit")},
              {"Tr_Cantidad_Control_1", N_("Qty ctl 1")},
              {"Tr_Unidad_Control_1", N_("Unit 1")},
              {"Tr_Cantidad_Control_2", N_("Qty ctl 2")},
              {"Tr_Unidad_Control_2", N_("Unit 2")},
              {"Tr_Costo", N_("Cost")},
              {"Tr_Importe_Costo", N_("Amount")},
              {"Es_Cve_Estado", N_("State")}});
  if (!r.referred_by.empty()) {
    out << _("\nReferred to by:\n");
    PrintTable(out, r.referred_by,
               {{"Tr_Folio", N_("Folio")},
                {"Tr_Tipo", N_("Type")},
                {"Es_Cve_Estado", N_("State")},
                {"Lineas", N_("Lines")}});
  }
  out << _("\nInventory movements:\n");
  Table movements = r.movements;
  if (const int applied = movements.Find("Mv_Aplicado"); applied >= 0) {
    for (size_t i = 0; i < movements.rows.size(); ++i)
      movements.rows[i][static_cast<size_t>(applied)] = Variant(_(StockEffect(r.movements, i)));
  }
  PrintTable(out, movements,
             {{"Mv_Folio", N_("Movement")},
              {"Mv_ID", N_("ID")},
              {"Mv_Tipo_Movimiento", N_("Kind")},
              {"Mv_Naturaleza", N_("E/S")},
              {"Sc_Cve_Sucursal", N_("Branch")},
              {"Al_Cve_Almacen", N_("Warehouse")},
              {"Pr_Cve_Producto", N_("Product")},
              {"Tl_Cve_Talla", N_("Size")},
              {"Cl_Cve_Color", N_("Colour")},
              {"Mv_Cantidad_1", N_("Qty 1")},
              {"Mv_Costo", N_("Cost")},
              {"Mv_Importe", N_("Amount")},
              {"Mv_Aplicado", N_("Stock")},
              {"Es_Cve_Estado", N_("State")}});
  out << _("\nTransport document:\n");
  PrintTable(out, r.transport,
             {{"Tr_Folio", N_("Folio")},
              {"Tr_ID", N_("ID")},
              {"Tr_Factura", N_("Invoice key")},
              {"Tr_Documento_ID", N_("Line")},
              {"Pr_Cve_Producto", N_("Product")},
              {"Tr_Cantidad_1", N_("Qty")},
              {"Tr_Unidad_1", N_("Unit")},
              {"Tr_Costo_Importe", N_("Amount")},
              {"Es_Cve_Estado", N_("State")}});
  if (!r.vouchers.empty()) {
    out << _("  vouchers:\n");
    PrintTable(out, r.vouchers,
               {{"Cd_Documento", N_("Document")},
                {"Cd_UUID", N_("UUID")},
                {"Cd_Fecha", N_("Date")},
                {"Es_Cve_Estado", N_("State")}},
               "    ");
  }
  out << _("\nAccounting entry:\n");
  PrintTable(out, r.entries,
             {{"Po_Folio", N_("Entry")},
              {"Po_Fecha", N_("Date")},
              {"Em_Cve_Empresa", N_("Company")},
              {"Po_Cargos", N_("Debits")},
              {"Po_Abonos", N_("Credits")},
              {"Es_Cve_Estado", N_("State")}});
  if (!r.entry_lines.empty()) {
    PrintTable(out, r.entry_lines,
               {{"Po_Folio", N_("Entry")},
                {"Po_Renglon", N_("Line")},
                {"Po_Cuenta", N_("Account")},
                {"Po_Descripcion", N_("Description")},
                {"Po_Cargo", N_("Debit")},
                {"Po_Abono", N_("Credit")}},
               "    ");
  }
}

int RunShow(Context& cx) {
  Session session(cx.db_path, cx.trace, Access::ReadOnly);
  const TransferReport report = suite::ReadTransferRecord(session.db(), cx.invocation.operand);
  if (report.rows.empty()) {
    cx.io.err << "quelbarix: "
              << Format(_("there is no transfer with folio {0}"), {cx.invocation.operand}) << '\n';
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
