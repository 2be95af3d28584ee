// Cancelar_Transferencia: undoes, by folio and from the database alone, what
// capture and finalisation of a transfer did, then marks its rows "CA" and
// reopens the transfer it referred to.
//
// No transaction: a failure part-way leaves the earlier steps' effects in
// place while the rows keep their state, so the call may be tried again.
#include <string>
#include <string_view>

#include "automation/value.h"
#include "component/publico.h"
#include "services/registration_services.h"
#include "transfer/failure.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

constexpr std::string_view kCancelar = "Cancelar_Transferencia";
const std::string kDocumento = "TRANSFERENCIA";

// Runs one statement on the shared connection.
com::ComPtr<IRecordset> Ejecutar(Publico& module, const std::string& sql) {
  return module.system->Obtener_Conexion()->Execute(sql, Missing{}, -1);
}

// Starts, in sql, the statement that marks a table's rows cancelled by the
// operator at the timestamp, up to the opening quote of the folio. The
// operator is asked afresh for each of its two columns.
void StartCancelUpdate(std::string& sql, std::string_view table, ISystemServices& system,
                       const std::string& timestamp) {
  sql.clear();
  sql += "UPDATE ";
  sql += table;
  sql += " SET ";
  sql += "     Es_Cve_Estado = 'CA', ";
  sql += "     Oper_Ult_Modif = '";
  sql += SqlText(system.Obtener_Usuario());
  sql += "', ";
  sql += "     Fecha_Ult_Modif = '";
  sql += SqlText(timestamp);
  sql += "', ";
  sql += "     Oper_Baja = '";
  sql += SqlText(system.Obtener_Usuario());
  sql += "', ";
  sql += "     Fecha_Baja = '";
  sql += SqlText(timestamp);
  sql += "' ";
  sql += "WHERE Tr_Folio = '";
}

}  // namespace

bool Transferencia::Cancelar_Transferencia(std::string& Tr_Folio) {
  // Before the trap: a failure here reaches the caller as the call's error.
  timestamp_ = module_.data->Formatear_Fecha_Hora(module_.data->Obtener_Fecha_Servidor());

  com::ComPtr<IRecordset> rs;
  try {
    const std::string folio = SqlText(Tr_Folio);
    std::string& sql = module_.scratch;
    auto refuse = [&](std::string_view message, bool close) {
      error_ = FailureText(kCancelar, message);
      if (close) rs->Close();
      return false;
    };

    // Locate the transfer; its first row in line order speaks for all.
    sql.clear();
    sql += "SELECT * FROM Transferencia WHERE Tr_Folio = '";
    sql += folio;
    sql += "' ORDER BY Tr_ID ";
    rs = Ejecutar(module_, sql);
    if (rs->Eof()) return refuse("Imposible localizar la transferencia: " + Tr_Folio, true);

    Variant validar = module_.system->Obtener_Parametro("GEN_VALIDAR_PERIODO_OPERATIVO", 0, "", "");
    if (!validar.IsNull() && validar.ToBool()) {
      const Date fecha = rs->Field("Tr_Fecha").ToDate();
      if (!module_.data->Validar_Periodo_Operativo(fecha, "INVENTARIOS", 0)) {
        return refuse("El período operativo correspondiente a la fecha: " + fecha.FormatDdMmYyyy() +
                          ", está cerrado o no existe!",
                      true);
      }
    }

    if (IsEqual(rs->Field("Es_Cve_Estado"), Variant("CA"))) {
      return refuse("Imposible cancelar la transferencia: " + Tr_Folio + ", con estado = 'CA'",
                    true);
    }

    // Accounting: the posting component cancels its record when it handles
    // transfers; otherwise a transfer already posted cannot be cancelled.
    {
      auto posting = com::Create<IPostingServices>(kClsidPostingServices);
      if (posting->Documento_Habilitado(kDocumento)) {
        if (!posting->Cancelar_Documento(kDocumento, Tr_Folio))
          return refuse(posting->Obtener_Mensaje_Error(), false);
      } else if (module_.data->Documento_Contabilizado(kDocumento, Tr_Folio)) {
        std::string detalle = module_.data->Obtener_Ultimo_Error();
        if (detalle.empty()) detalle = "Transferencia: " + Tr_Folio;
        return refuse("Imposible cancelar el documento, ya está contabilizado! " +
                          std::string(kCrLf) + detalle,
                      false);
      }
    }

    const std::string tipo = rs->Field("Tr_Tipo").ToString();
    const std::string referencia = rs->Field("Tr_Referencia").ToString();
    rs->Close();

    // Inventory movements.
    sql.clear();
    sql +=
        "SELECT COUNT(*) as Total FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND "
        "Mv_Documento = '";
    sql += folio;
    sql += "'";
    rs = Ejecutar(module_, sql);
    if (rs->Field("Total").ToDouble() > 0) {
      if (!stock_->Cancelar_Movimientos_Documento(kDocumento, Tr_Folio))
        return refuse(stock_->Obtener_Mensaje_Error(), true);
    }
    rs->Close();

    // Stock adjustments of the lines: a request gives back what it reserved
    // at the distribution centre, a shipment takes back what it added.
    if (tipo == "SL" || tipo == "EN") {
      const bool request = tipo == "SL";
      const std::string sucursal = request ? "Sc_Cve_Sucursal_Recibe" : "Sc_Cve_Sucursal";
      const std::string almacen = request ? "Al_Cve_Almacen_Recibe" : "Al_Cve_Almacen";
      sql.clear();
      sql += "SELECT ";
      sql += "     " + sucursal + ", ";
      sql += "     " + almacen + ", ";
      sql += "     Pr_Cve_Producto, ";
      sql += "     Tl_Cve_Talla, ";
      sql += "     Cl_Cve_Color, ";
      sql += "     Tr_Cantidad_Control_1, ";
      sql += "     Tr_Cantidad_Control_2 ";
      sql += "FROM Transferencia ";
      sql += "WHERE ";
      sql += "     Tr_Folio = '";
      sql += folio;
      sql += "' ";
      rs = Ejecutar(module_, sql);
      const double sign = request ? 1.0 : -1.0;
      while (!rs->Eof()) {
        if (!stock_->Ajustar_Existencia(
                rs->Field(sucursal).ToString(), rs->Field(almacen).ToString(),
                rs->Field("Pr_Cve_Producto").ToString(), rs->Field("Tl_Cve_Talla").ToString(),
                rs->Field("Cl_Cve_Color").ToString(),
                Multiply(rs->Field("Tr_Cantidad_Control_1").ToDouble(), sign),
                Multiply(rs->Field("Tr_Cantidad_Control_2").ToDouble(), sign)))
          return refuse(stock_->Obtener_Mensaje_Error(), false);
        rs->MoveNext();
      }
      rs.Reset();
    }

    if (tipo == "EN") {
      // The live transport document of the shipment and its voucher.
      const std::string traslado = module_.data->Obtener_Valor_Campo(
          "Traslado", "Tr_Tabla", kDocumento, "Tr_Folio", 0, "Tr_Documento", Tr_Folio, "CA");
      if (!traslado.empty()) {
        const std::string comprobante =
            module_.data->Obtener_Valor_Campo("Comprobante_Digital", "Cd_Tabla", "TRASLADO",
                                              "Es_Cve_Estado", 0, "Cd_Documento", traslado, "");
        if (!comprobante.empty()) {
          auto voucher = com::Create<IVoucherServices>(kClsidVoucherServices);
          if (!voucher->Cancelar_Comprobante(module_.system->Obtener_Conexion()->DefaultDatabase(),
                                             7, traslado))
            return refuse(voucher->Obtener_Mensaje_Error(), false);
        }
        StartCancelUpdate(sql, "Traslado", *module_.system, timestamp_);
        sql += SqlText(traslado);
        sql += "' ";
        Ejecutar(module_, sql);
      }
    } else if (tipo == "RC") {
      // Order lines this reception consolidated go back to back-order, with
      // their quantities available again.
      sql.clear();
      sql += "SELECT  ";
      sql += "   pd.Pd_Sucursal_Inventario,";
      sql += "   pd.Pd_Almacen_Inventario,";
      sql += "   pd.Pd_Folio,";
      sql += "   pd.Pd_ID,";
      sql += "   pd.Pr_Cve_Producto,";
      sql += "   pd.Tl_Cve_Talla ,";
      sql += "   pd.Cl_Cve_Color ,";
      sql += "   pd.Pd_Cantidad_Control_1 ,";
      sql += "   pd.Pd_Cantidad_Control_2 ";
      sql += "FROM Documento_Consolidado dc";
      sql += "     INNER JOIN Pedido pd ON pd.Pd_Folio = dc.dc_documento ";
      sql += "       AND pd.Pd_ID = dc.Dc_Documento_id ";
      sql += "       AND pd.Es_Cve_Estado = 'AC' ";
      sql += "WHERE ";
      sql += "   dc.Dc_Documento_origen = '";
      sql += folio;
      sql += "' AND ";
      sql += "   dc.Dc_Tabla_Origen = 'TRANSFERENCIA' ";
      rs = Ejecutar(module_, sql);
      while (!rs->Eof()) {
        // The order lines are updated through the scratch text too, so the
        // query text is no longer needed once it ran.
        sql.clear();
        sql += "UPDATE Pedido ";
        sql += "SET Es_Cve_Estado = 'BO' ";
        sql += "WHERE ";
        sql += "   Pd_Folio = '";
        sql += SqlText(rs->Field("Pd_Folio").ToString());
        sql += "' AND ";
        sql += "   Pd_ID = '";
        sql += SqlText(rs->Field("Pd_ID").ToString());
        sql += "' ";
        Ejecutar(module_, sql);
        if (!stock_->Ajustar_Existencia(
                rs->Field("Pd_Sucursal_Inventario").ToString(),
                rs->Field("Pd_Almacen_Inventario").ToString(),
                rs->Field("Pr_Cve_Producto").ToString(), rs->Field("Tl_Cve_Talla").ToString(),
                rs->Field("Cl_Cve_Color").ToString(), rs->Field("Pd_Cantidad_Control_1").ToDouble(),
                rs->Field("Pd_Cantidad_Control_2").ToDouble()))
          return refuse(stock_->Obtener_Mensaje_Error(), false);
        rs->MoveNext();
      }
      rs.Reset();
    }

    // Every row of the folio, whatever its type or state.
    StartCancelUpdate(sql, "Transferencia", *module_.system, timestamp_);
    sql += folio;
    sql += "'";
    Ejecutar(module_, sql);

    // Reopen the referred transfer; this transfer no longer counts as live.
    const std::string ref = SqlText(referencia);
    if (tipo == "EN") {
      if (referencia.empty()) return true;
      sql.clear();
      sql += "SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = '";
      sql += ref;
      sql += "' AND Tr_Tipo = 'EN' AND Es_Cve_Estado <> 'CA'";
      rs = Ejecutar(module_, sql);
      if (rs->Eof()) {
        sql.clear();
        sql += "UPDATE Transferencia SET ";
        sql += "   Es_Cve_Estado = 'AC' ";
        sql += "WHERE Tr_Folio = '";
        sql += ref;
        sql += "' AND Tr_Tipo = 'SL'";
        Ejecutar(module_, sql);
      }
      rs->Close();
    } else if (tipo == "RC") {
      sql.clear();
      sql += "SELECT TOP 1 Tr_Folio FROM Transferencia WHERE Tr_Referencia = '";
      sql += ref;
      sql += "' AND Tr_Tipo = 'RC' AND Es_Cve_Estado <> 'CA'";
      rs = Ejecutar(module_, sql);
      // Other live receptions leave the shipment partly received.
      const bool others = !rs->Eof();
      sql.clear();
      sql += "UPDATE Transferencia SET ";
      sql += others ? "   Es_Cve_Estado = 'RCP' " : "   Es_Cve_Estado = 'AC' ";
      sql += "WHERE Tr_Folio = '";
      sql += ref;
      sql += "' AND Tr_Tipo = 'EN'";
      Ejecutar(module_, sql);
      rs->Close();
    }
    return true;
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    // This operation leaves an empty line before the description.
    error_ = FailureText(kCancelar, std::string(kCrLf) + e.description());
    return false;
  }
}

}  // namespace qbx
