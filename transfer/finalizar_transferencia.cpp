// Finalizar_Transferencia: closes a captured transfer (its movements, its
// accounting record, the suite's document processing) and Finaliza_Movimiento,
// which finalises the two movement documents of this object.
#include <string>
#include <string_view>

#include "automation/value.h"
#include "services/registration_services.h"
#include "transfer/failure.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

constexpr std::string_view kFinalizar = "Finalizar_Transferencia";
constexpr std::string_view kFinalizaMovimiento = "Finaliza_Movimiento";
constexpr std::string_view kDocumento = "TRANSFERENCIA";

}  // namespace

bool Transferencia::Finalizar_Transferencia(std::string& Tr_Folio) {
  error_.clear();
  // Checked before the trap: a blank folio never reaches the services.
  if (Trim(Tr_Folio).empty()) {
    error_ = FailureText(kFinalizar, "No se especificó el folio de la transferencia!");
    return false;
  }
  try {
    // Only this object's own movement documents can be finalised here.
    if ((header_.Tr_Tipo == "RC" || header_.Tr_Tipo == "EN") && !inventario_pendiente_) {
      if (!Finaliza_Movimiento()) {
        error_ = SourceLine(kFinalizar) + std::string(kCrLf) + error_;
        return false;
      }
    }

    auto posting = com::Create<IPostingServices>(kClsidPostingServices);
    if (posting->Documento_Habilitado(std::string(kDocumento))) {
      std::string& sql = module_.scratch;
      sql.clear();
      sql += "SELECT ";
      sql += "   Transferencia.Tr_Folio, ";
      sql += "   Sucursal.Sc_Cve_Sucursal, ";
      sql += "   Em_Cve_Empresa ";
      sql += "FROM Transferencia ";
      sql += "   INNER JOIN Sucursal ON  Transferencia.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal ";
      sql += "WHERE Transferencia.Tr_Folio = '";
      sql += SqlText(Tr_Folio);
      sql += "' AND ";
      sql += "   Sucursal.Es_Cve_Estado <> 'BA' AND Transferencia.Es_Cve_Estado <> 'CA' ";

      com::ComPtr<IRecordset> rs = module_.system->Obtener_Conexion()->Execute(sql, Missing{}, -1);
      if (rs->Eof()) {
        error_ = FailureText(kFinalizar, "La trasferencia:" + Tr_Folio + " es incorrecta");
        return false;
      }
      std::string empresa = rs->Field("Em_Cve_Empresa").ToString();
      rs->Close();
      rs.Reset();

      // A True answer that still leaves a message is a failure too.
      if (!posting->Generar_Documento(std::string(kDocumento), Tr_Folio, empresa) ||
          !posting->Obtener_Mensaje_Error().empty()) {
        error_ = FailureText(kFinalizar, posting->Obtener_Mensaje_Error());
        return false;
      }
    }
    posting.Reset();

    if (!module_.data->Procesar_Documento(std::string(kDocumento), Tr_Folio, "")) {
      error_ = FailureText(kFinalizar, module_.data->Obtener_Ultimo_Error());
      return false;
    }
    return true;
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    error_ = FailureText(kFinalizar, e.description());
    return false;
  }
}

bool Transferencia::Finaliza_Movimiento() {
  error_.clear();
  try {
    // Both folios are read before either side is finalised.
    std::string issue_folio = issue_->Obtener_Encabezado_Movimiento().Folio;
    std::string receipt_folio = receipt_->Obtener_Encabezado_Movimiento().Folio;

    if (!Trim(issue_folio).empty() && !issue_->Finalizar_Movimiento(issue_folio)) {
      error_ = FailureText(kFinalizaMovimiento, issue_->Obtener_Mensaje_Error());
      return false;
    }
    if (!Trim(receipt_folio).empty() && !receipt_->Finalizar_Movimiento(receipt_folio)) {
      error_ = FailureText(kFinalizaMovimiento, receipt_->Obtener_Mensaje_Error());
      return false;
    }
    return true;
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    error_ = FailureText(kFinalizaMovimiento, e.description());
    return false;
  }
}

}  // namespace qbx
