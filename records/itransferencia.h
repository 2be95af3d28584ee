// _Transferencia: the dual interface of class Transferencia, in interface
// order. Early-bound clients call these; late-bound ones go through IDispatch
// with the identifiers of records/interface.h.
//
// Every method returns a status. A member that raised a run-time error
// returns FromErrorNumber(number) (or DISP_E_EXCEPTION through Invoke) with
// the thread's error information set (com::TakeErrorInfo). Boolean operations
// report their own failures through *result and Error, never as a status.
#pragma once

#include <string>

#include "automation/dispatch.h"
#include "records/interface.h"
#include "records/records.h"

namespace qbx {

struct ITransferencia : com::IDispatch {
  using Base = com::IDispatch;
  static constexpr Guid IID = iface::kIidTransferencia;

  virtual com::HRESULT get_Error(std::string* result) noexcept = 0;
  virtual com::HRESULT get_Encabezado(tTrEncabezado* result) noexcept = 0;
  virtual com::HRESULT put_Inventario_Pendiente(bool* Valor) noexcept = 0;
  virtual com::HRESULT get_Inventario_Pendiente(bool* result) noexcept = 0;
  virtual com::HRESULT put_Encabezado(tTrEncabezado* Valor) noexcept = 0;
  virtual com::HRESULT get_Detalle(tTrDetalle* result) noexcept = 0;
  virtual com::HRESULT put_Detalle(tTrDetalle* Valor) noexcept = 0;
  virtual com::HRESULT Nuevo() noexcept = 0;
  virtual com::HRESULT Add_Transferencia_Detalle(bool* result) noexcept = 0;
  virtual com::HRESULT Cancelar_Transferencia(std::string* Tr_Folio, bool* result) noexcept = 0;
  virtual com::HRESULT Genera_Requisicion_Pedido(std::string* Pd_Folio, bool* result) noexcept = 0;
  virtual com::HRESULT Done() noexcept = 0;
  virtual com::HRESULT Finalizar_Transferencia(std::string* Tr_Folio, bool* result) noexcept = 0;
  virtual com::HRESULT Generar_CFDI_Traslado(std::string* Folio, bool* result) noexcept = 0;
  virtual com::HRESULT put_MostrarMensajeError(bool* Valor) noexcept = 0;
  virtual com::HRESULT get_MostrarMensajeError(bool* result) noexcept = 0;

 protected:
  ~ITransferencia() = default;
};

}  // namespace qbx
