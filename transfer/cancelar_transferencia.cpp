// Cancelar_Transferencia: undoes, by folio and from the database alone, what
// capture and finalisation of a transfer did, then marks its rows "CA" and
// reopens the transfer it referred to.
//
// No transaction: a failure part-way leaves the earlier steps' effects in
// place while the rows keep their state, so the call may be tried again.
#include <string>
#include <string_view>

#include "automation/value.h"
#include "services/registration_services.h"
#include "transfer/failure.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

constexpr std::string_view kCancelar = "Cancelar_Transferencia";
const std::string kDocumento = "TRANSFERENCIA";

// One cancellation, step by step. Each step answers false after leaving the
// refusal in error; the recordset of the step that refuses stays open unless
// the step closes it, as the operation always did.
class Cancelacion {
 public:
  Cancelacion(Publico& modulo, IInventoryServices& existencia, std::string& error,
              const std::string& fecha_hora, const std::string& Tr_Folio)
      : modulo_(modulo),
        existencia_(existencia),
        error_(error),
        fecha_hora_(fecha_hora),
        Tr_Folio_(Tr_Folio),
        folio_(SqlText(Tr_Folio)),
        sql_(modulo.scratch) {}

  bool Ejecutar() {
    if (!Localizar()) return false;
    if (!Contabilidad()) return false;
    const std::string tipo = rs_->Field("Tr_Tipo").ToString();
    const std::string referencia = rs_->Field("Tr_Referencia").ToString();
    rs_->Close();
    if (!Movimientos()) return false;
    if ((tipo == "SL" || tipo == "EN") && !Existencias(tipo == "SL")) return false;
    if (tipo == "EN" && !Traslado()) return false;
    if (tipo == "RC" && !Pedidos()) return false;

    // Every row of the folio, whatever its type or state.
    IniciarCancelacion("Transferencia");
    sql_ += folio_;
    sql_ += "'";
    Correr(sql_);
    Reabrir(tipo, referencia);
    return true;
  }

 private:
  bool Rehusar(std::string_view mensaje, bool cerrar) {
    error_ = FailureText(kCancelar, mensaje);
    if (cerrar) rs_->Close();
    return false;
  }

  // Runs one statement on the shared connection.
  com::ComPtr<IRecordset> Correr(const std::string& sql) {
    return modulo_.system->Obtener_Conexion()->Execute(sql, Missing{}, -1);
  }

  // Locates the transfer (its first row in line order speaks for all), then
  // checks its period and its state; the row stays open.
  bool Localizar() {
    sql_.clear();
    sql_ += "SELECT * FROM Transferencia WHERE Tr_Folio = '";
    sql_ += folio_;
    sql_ += "' ORDER BY Tr_ID ";
    rs_ = Correr(sql_);
    if (rs_->Eof()) return Rehusar("Imposible localizar la transferencia: " + Tr_Folio_, true);

    Variant validar =
        modulo_.system->Obtener_Parametro("GEN_VALIDAR_PERIODO_OPERATIVO", 0, "", "");
    if (!validar.IsNull() && validar.ToBool()) {
      const Date fecha = rs_->Field("Tr_Fecha").ToDate();
      if (!modulo_.data->Validar_Periodo_Operativo(fecha, "INVENTARIOS", 0)) {
        return Rehusar("El período operativo correspondiente a la fecha: " +
                           fecha.FormatDdMmYyyy() + ", está cerrado o no existe!",
                       true);
      }
    }
    if (IsEqual(rs_->Field("Es_Cve_Estado"), Variant("CA"))) {
      return Rehusar("Imposible cancelar la transferencia: " + Tr_Folio_ + ", con estado = 'CA'",
                     true);
    }
    return true;
  }

  // The posting component cancels its record when it handles transfers;
  // otherwise a transfer already posted cannot be cancelled.
  bool Contabilidad() {
    auto contabilidad = com::Create<IPostingServices>(kClsidPostingServices);
    if (contabilidad->Documento_Habilitado(kDocumento)) {
      if (!contabilidad->Cancelar_Documento(kDocumento, Tr_Folio_))
        return Rehusar(contabilidad->Obtener_Mensaje_Error(), false);
    } else if (modulo_.data->Documento_Contabilizado(kDocumento, Tr_Folio_)) {
      std::string detalle = modulo_.data->Obtener_Ultimo_Error();
      if (detalle.empty()) detalle = "Transferencia: " + Tr_Folio_;
      return Rehusar("Imposible cancelar el documento, ya está contabilizado! " +
                         std::string(kCrLf) + detalle,
                     false);
    }
    return true;
  }

  // Inventory movements.
  bool Movimientos() {
    sql_.clear();
    sql_ +=
        "SELECT COUNT(*) as Total FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND "
        "Mv_Documento = '";
    sql_ += folio_;
    sql_ += "'";
    rs_ = Correr(sql_);
    if (rs_->Field("Total").ToDouble() > 0) {
      if (!existencia_.Cancelar_Movimientos_Documento(kDocumento, Tr_Folio_))
        return Rehusar(existencia_.Obtener_Mensaje_Error(), true);
    }
    rs_->Close();
    return true;
  }

  // Stock adjustments of the lines: a request gives back what it reserved
  // at the distribution centre, a shipment takes back what it added.
  bool Existencias(bool solicitud) {
    const std::string sucursal = solicitud ? "Sc_Cve_Sucursal_Recibe" : "Sc_Cve_Sucursal";
    const std::string almacen = solicitud ? "Al_Cve_Almacen_Recibe" : "Al_Cve_Almacen";
    sql_.clear();
    sql_ += "SELECT ";
    sql_ += "     " + sucursal + ", ";
    sql_ += "     " + almacen + ", ";
    sql_ += "     Pr_Cve_Producto, ";
    sql_ += "     Tl_Cve_Talla, ";
    sql_ += "     Cl_Cve_Color, ";
    sql_ += "     Tr_Cantidad_Control_1, ";
    sql_ += "     Tr_Cantidad_Control_2 ";
    sql_ += "FROM Transferencia ";
    sql_ += "WHERE ";
    sql_ += "     Tr_Folio = '";
    sql_ += folio_;
    sql_ += "' ";
    rs_ = Correr(sql_);
    const double signo = solicitud ? 1.0 : -1.0;
    while (!rs_->Eof()) {
      if (!existencia_.Ajustar_Existencia(
              rs_->Field(sucursal).ToString(), rs_->Field(almacen).ToString(),
              rs_->Field("Pr_Cve_Producto").ToString(), rs_->Field("Tl_Cve_Talla").ToString(),
              rs_->Field("Cl_Cve_Color").ToString(),
              Multiply(rs_->Field("Tr_Cantidad_Control_1").ToDouble(), signo),
              Multiply(rs_->Field("Tr_Cantidad_Control_2").ToDouble(), signo)))
        return Rehusar(existencia_.Obtener_Mensaje_Error(), false);
      rs_->MoveNext();
    }
    rs_.Reset();
    return true;
  }

  // The live transport document of the shipment and its voucher.
  bool Traslado() {
    const std::string traslado = modulo_.data->Obtener_Valor_Campo(
        "Traslado", "Tr_Tabla", kDocumento, "Tr_Folio", 0, "Tr_Documento", Tr_Folio_, "CA");
    if (traslado.empty()) return true;
    const std::string comprobante =
        modulo_.data->Obtener_Valor_Campo("Comprobante_Digital", "Cd_Tabla", "TRASLADO",
                                          "Es_Cve_Estado", 0, "Cd_Documento", traslado, "");
    if (!comprobante.empty()) {
      auto comprobantes = com::Create<IVoucherServices>(kClsidVoucherServices);
      if (!comprobantes->Cancelar_Comprobante(
              modulo_.system->Obtener_Conexion()->DefaultDatabase(), 7, traslado))
        return Rehusar(comprobantes->Obtener_Mensaje_Error(), false);
    }
    IniciarCancelacion("Traslado");
    sql_ += SqlText(traslado);
    sql_ += "' ";
    Correr(sql_);
    return true;
  }

  // Order lines this reception consolidated go back to back-order, with
  // their quantities available again.
  bool Pedidos() {
    sql_.clear();
    sql_ += "SELECT  ";
    sql_ += "   pd.Pd_Sucursal_Inventario,";
    sql_ += "   pd.Pd_Almacen_Inventario,";
    sql_ += "   pd.Pd_Folio,";
    sql_ += "   pd.Pd_ID,";
    sql_ += "   pd.Pr_Cve_Producto,";
    sql_ += "   pd.Tl_Cve_Talla ,";
    sql_ += "   pd.Cl_Cve_Color ,";
    sql_ += "   pd.Pd_Cantidad_Control_1 ,";
    sql_ += "   pd.Pd_Cantidad_Control_2 ";
    sql_ += "FROM Documento_Consolidado dc";
    sql_ += "     INNER JOIN Pedido pd ON pd.Pd_Folio = dc.dc_documento ";
    sql_ += "       AND pd.Pd_ID = dc.Dc_Documento_id ";
    sql_ += "       AND pd.Es_Cve_Estado = 'AC' ";
    sql_ += "WHERE ";
    sql_ += "   dc.Dc_Documento_origen = '";
    sql_ += folio_;
    sql_ += "' AND ";
    sql_ += "   dc.Dc_Tabla_Origen = 'TRANSFERENCIA' ";
    rs_ = Correr(sql_);
    while (!rs_->Eof()) {
      // The order lines are updated through the scratch text too, so the
      // query text is no longer needed once it ran.
      sql_.clear();
      sql_ += "UPDATE Pedido ";
      sql_ += "SET Es_Cve_Estado = 'BO' ";
      sql_ += "WHERE ";
      sql_ += "   Pd_Folio = '";
      sql_ += SqlText(rs_->Field("Pd_Folio").ToString());
      sql_ += "' AND ";
      sql_ += "   Pd_ID = '";
      sql_ += SqlText(rs_->Field("Pd_ID").ToString());
      sql_ += "' ";
      Correr(sql_);
      if (!existencia_.Ajustar_Existencia(
              rs_->Field("Pd_Sucursal_Inventario").ToString(),
              rs_->Field("Pd_Almacen_Inventario").ToString(),
              rs_->Field("Pr_Cve_Producto").ToString(), rs_->Field("Tl_Cve_Talla").ToString(),
              rs_->Field("Cl_Cve_Color").ToString(),
              rs_->Field("Pd_Cantidad_Control_1").ToDouble(),
              rs_->Field("Pd_Cantidad_Control_2").ToDouble()))
        return Rehusar(existencia_.Obtener_Mensaje_Error(), false);
      rs_->MoveNext();
    }
    rs_.Reset();
    return true;
  }

  // Reopens the referred transfer; this transfer no longer counts as live.
  void Reabrir(const std::string& tipo, const std::string& referencia) {
    const std::string ref = SqlText(referencia);
    if (tipo == "EN") {
      if (referencia.empty()) return;
      sql_.clear();
      sql_ += "SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = '";
      sql_ += ref;
      sql_ += "' AND Tr_Tipo = 'EN' AND Es_Cve_Estado <> 'CA'";
      rs_ = Correr(sql_);
      if (rs_->Eof()) {
        sql_.clear();
        sql_ += "UPDATE Transferencia SET ";
        sql_ += "   Es_Cve_Estado = 'AC' ";
        sql_ += "WHERE Tr_Folio = '";
        sql_ += ref;
        sql_ += "' AND Tr_Tipo = 'SL'";
        Correr(sql_);
      }
      rs_->Close();
    } else if (tipo == "RC") {
      sql_.clear();
      sql_ += "SELECT TOP 1 Tr_Folio FROM Transferencia WHERE Tr_Referencia = '";
      sql_ += ref;
      sql_ += "' AND Tr_Tipo = 'RC' AND Es_Cve_Estado <> 'CA'";
      rs_ = Correr(sql_);
      // Other live receptions leave the shipment partly received.
      const bool otras = !rs_->Eof();
      sql_.clear();
      sql_ += "UPDATE Transferencia SET ";
      sql_ += otras ? "   Es_Cve_Estado = 'RCP' " : "   Es_Cve_Estado = 'AC' ";
      sql_ += "WHERE Tr_Folio = '";
      sql_ += ref;
      sql_ += "' AND Tr_Tipo = 'EN'";
      Correr(sql_);
      rs_->Close();
    }
  }

  // Starts the statement that marks a table's rows cancelled by the operator
  // at the operation's time, up to the opening quote of the folio. The
  // operator is asked afresh for each of its two columns.
  void IniciarCancelacion(std::string_view tabla) {
    ISystemServices& sistema = *modulo_.system;
    sql_.clear();
    sql_ += "UPDATE ";
    sql_ += tabla;
    sql_ += " SET ";
    sql_ += "     Es_Cve_Estado = 'CA', ";
    sql_ += "     Oper_Ult_Modif = '";
    sql_ += SqlText(sistema.Obtener_Usuario());
    sql_ += "', ";
    sql_ += "     Fecha_Ult_Modif = '";
    sql_ += SqlText(fecha_hora_);
    sql_ += "', ";
    sql_ += "     Oper_Baja = '";
    sql_ += SqlText(sistema.Obtener_Usuario());
    sql_ += "', ";
    sql_ += "     Fecha_Baja = '";
    sql_ += SqlText(fecha_hora_);
    sql_ += "' ";
    sql_ += "WHERE Tr_Folio = '";
  }

  Publico& modulo_;
  IInventoryServices& existencia_;
  std::string& error_;
  const std::string& fecha_hora_;
  const std::string& Tr_Folio_;
  const std::string folio_;  // as SQL text
  std::string& sql_;
  com::ComPtr<IRecordset> rs_;
};

}  // namespace

bool Transferencia::Cancelar_Transferencia(std::string& Tr_Folio) {
  // Before the trap: a failure here reaches the caller as the call's error.
  timestamp_ = module_.data->Formatear_Fecha_Hora(module_.data->Obtener_Fecha_Servidor());
  try {
    return Cancelacion(module_, *stock_, error_, timestamp_, Tr_Folio).Ejecutar();
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    // This operation leaves an empty line before the description.
    error_ = FailureText(kCancelar, std::string(kCrLf) + e.description());
    return false;
  }
}

}  // namespace qbx
