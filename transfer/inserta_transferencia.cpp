// Inserta_Transferencia: stores the current line as one row of table
// Transferencia and registers its serial number or lot.
#include <cmath>
#include <string>
#include <string_view>

#include "automation/value.h"
#include "services/registration_services.h"
#include "transfer/failure.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

constexpr std::string_view kOperation = "Inserta_Transferencia";

// Column list of the row, in statement order.
constexpr std::string_view kColumns[] = {
    "Tr_Folio, ",
    "Tr_ID, ",
    "Tr_Fecha, ",
    "Tr_Fecha_Entrega, ",
    "Tr_Tipo, ",
    "Tr_Referencia, ",
    "Tr_Comentario, ",
    "Tr_Tabla, ",
    "Tr_Documento, ",
    "Sc_Cve_Sucursal_Recibe, ",
    "Sc_Cve_Sucursal, ",
    "Al_Cve_Almacen, ",
    "Al_Cve_Almacen_Recibe, ",
    "Pr_Cve_Producto, ",
    "Tl_Cve_Talla, ",
    "Cl_Cve_Color, ",
    "Tr_Cantidad_1, ",
    "Tr_Unidad_1, ",
    "Tr_Cantidad_Control_1, ",
    "Tr_Unidad_Control_1, ",
    "Tr_Cantidad_Control_2, ",
    "Tr_Unidad_Control_2, ",
    "Tr_Cantidad_Costo, ",
    "Tr_Unidad_Costo, ",
    "Tr_Costo, ",
    "Tr_Importe_Costo, ",
    "Tr_Indirecto_Factor, ",
    "Tr_Indirecto_Importe, ",
    "Lt_Cve_Lote, ",
    "Lt_Fecha_Caducidad, ",
    "Lt_Pedimento, ",
    "Lt_Fecha_Pedimento, ",
    "Oper_Alta, ",
    "Fecha_Alta, ",
    "Oper_Ult_Modif, ",
    "Fecha_Ult_Modif) ",
};

// Appends the statement's value pieces: texts quoted (quotes doubled),
// numbers as their plain decimal text.
class Values {
 public:
  explicit Values(std::string& sql) : sql_(sql) {}
  void Text(std::string_view v) {
    sql_ += "'";
    sql_ += SqlText(v);
    sql_ += "', ";
  }
  void Number(double v) {
    sql_ += NumberText(v);
    sql_ += ", ";
  }
  void Last(std::string_view v) {
    sql_ += "'";
    sql_ += SqlText(v);
    sql_ += "')";
  }
  void Piece(std::string_view piece) { sql_ += piece; }

 private:
  std::string& sql_;
};

// The row's INSERT; the outside calls for its values are made as the text
// is built, in column order.
void BuildInsert(std::string& sql, IDataServices& data, ISystemServices& system,
                 const tTrEncabezado& h, const tTrDetalle& d, const std::string& timestamp) {
  sql = "INSERT INTO Transferencia (";
  for (std::string_view column : kColumns) sql += column;
  sql += "VALUES (";
  Values v(sql);
  v.Text(h.Tr_Folio);
  v.Text(data.Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", h.Tr_Folio, "", ""));
  v.Text(data.Formatear_Fecha(h.Tr_Fecha));
  v.Text(data.Formatear_Fecha(h.Tr_Fecha_Entrega));
  v.Text(h.Tr_Tipo);
  v.Text(h.Tr_Referencia);
  v.Text(h.Tr_Comentario);
  v.Text(h.Tr_Tabla);
  v.Text(h.Tr_Documento);
  v.Text(h.Sucursal_Recibe.Sc_Cve_Sucursal);
  v.Text(h.Sucursal.Sc_Cve_Sucursal);
  v.Text(h.Almacen.Al_Cve_Almacen);
  v.Text(h.Almacen_Recibe.Al_Cve_Almacen);
  v.Text(d.Producto.Pr_Cve_Producto);
  v.Text(d.Tl_Cve_Talla);
  v.Text(d.Cl_Cve_Color);
  v.Number(d.Tr_Cantidad_1);
  v.Text(d.Tr_Unidad_1);
  v.Number(d.Tr_Cantidad_Control_1);
  v.Text(d.Tr_Unidad_Control_1);
  v.Number(d.Tr_Cantidad_Control_2);
  v.Text(d.Tr_Unidad_Control_2);
  v.Number(d.Tr_Cantidad_Costo);
  v.Text(d.Tr_Unidad_Costo);
  v.Number(d.Tr_Costo);
  v.Number(d.Tr_Importe_Costo);
  v.Number(d.Tr_Indirecto_Factor);
  v.Number(d.Tr_Indirecto_Importe);
  // The lot code goes only to the lot service.
  v.Piece("'', ");
  v.Text(data.Formatear_Fecha(d.Lote.Lt_Fecha_Caducidad));
  v.Text(d.Lote.Lt_Pedimento);
  v.Text(data.Formatear_Fecha(d.Lote.Lt_Fecha_Pedimento));
  v.Text(system.Obtener_Usuario());
  v.Text(timestamp);
  v.Text(system.Obtener_Usuario());
  v.Last(timestamp);
}

// Registers the line's serial (and, for a fiscal-deposit branch, first in
// the deposit); false with the refusal in error.
bool RegisterSerie(const tTrEncabezado& h, const tTrDetalle& d, bool fiscal_deposit,
                   std::string& error) {
  com::ComPtr<ISeriesServices> series = com::Create<ISeriesServices>(kClsidSeriesServices);
  bool ok = true;
  if (fiscal_deposit)
    ok = series->Registrar_Serie_Deposito_Fiscal(
        d.Producto.Pr_Cve_Producto, d.Serie.Sr_Cve_Serie, d.Serie.Sr_Pedimento,
        d.Serie.Sr_FechaPedimento, Variant(d.Tr_Costo), 0, true, 0, "", "", "",
        Variant(int16_t{0}), Variant(int16_t{0}), 0.0, 0.0);
  if (ok)
    ok = series->Registrar_Serie(
        "TRANSFERENCIA", h.Tr_Folio, d.Tr_ID, d.Producto.Pr_Cve_Producto, d.Tl_Cve_Talla,
        d.Cl_Cve_Color, d.Serie.Sr_Cve_Serie, d.Serie.Sr_Pedimento, d.Serie.Sr_FechaPedimento,
        ToInteger16(d.Tr_Cantidad_Control_1));
  if (!ok) {
    error = FailureText(kOperation, series->Obtener_Mensaje_Error());
    return false;
  }
  return true;
}

}  // namespace

bool Transferencia::Inserta_Transferencia() {
  error_.clear();
  const tTrEncabezado& h = header_;
  const tTrDetalle& d = detail_;
  // A substring test: the setting lists the fiscal-deposit branches as one text.
  const bool fiscal_deposit =
      InStrNoCase(module_.deposito_fiscal, h.Sucursal_Recibe.Sc_Cve_Sucursal) > 0;
  try {
    IDataServices& data = *module_.data;
    ISystemServices& system = *module_.system;

    std::string& sql = module_.scratch;
    BuildInsert(sql, data, system, h, d, timestamp_);

    {
      com::ComPtr<IConnection> connection = system.Obtener_Conexion();
      connection->Execute(sql, Variant(Missing{}), -1);
    }

    const std::string& type = d.Producto.Pr_Tipo_Producto;
    if (h.Tr_Tipo != "SL" && type == "03" && usa_series_) {
      if (!RegisterSerie(h, d, fiscal_deposit, error_)) return false;
    }

    if (h.Tr_Tipo == "SL" || type != "02" || !usa_lotes_) return true;

    // Checked after the row is stored; the row stays when the lot is missing.
    if (d.Lote.Lt_Cve_Lote.empty()) {
      error_ = FailureText(kOperation, "Debe especificar los lotes a descargar");
      return false;
    }
    com::ComPtr<ILotServices> lots = com::Create<ILotServices>(kClsidLotServices);
    bool ok = true;
    if (fiscal_deposit)
      ok = lots->Registrar_Lote_Deposito_Fiscal(d.Producto.Pr_Cve_Producto, d.Tl_Cve_Talla,
                                                d.Cl_Cve_Color, d.Lote.Lt_Cve_Lote, true, "", 0.0,
                                                "");
    if (ok)
      ok = lots->Registrar_Lote("TRANSFERENCIA", h.Tr_Folio, d.Tr_ID, d.Producto.Pr_Cve_Producto,
                                d.Tl_Cve_Talla, d.Cl_Cve_Color, d.Lote.Lt_Cve_Lote,
                                std::fabs(d.Tr_Cantidad_Control_1),
                                std::fabs(d.Tr_Cantidad_Control_2));
    if (!ok) {
      error_ = FailureText(kOperation, lots->Obtener_Mensaje_Error());
      return false;
    }
    return true;
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    // This operation's trap leaves an empty line before the description.
    error_ = SourceLine(kOperation);
    error_ += kCrLf;
    error_ += kCrLf;
    error_ += e.description();
    return false;
  }
}

}  // namespace qbx
