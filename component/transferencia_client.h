// A client's handle on a Transferencia object: the early-bound members of
// _Transferencia with failing statuses raised as run-time errors (the number,
// description and source of the object's error information).
#pragma once

#include <string>
#include <string_view>

#include "automation/com.h"
#include "records/interface.h"
#include "records/itransferencia.h"
#include "records/records.h"

namespace qbx {

class TransferenciaClient {
 public:
  // A new object through the registry, by ProgID or class identifier text.
  static TransferenciaClient CreateByName(std::string_view name = iface::kProgId);
  // A new object from the linked component's class factory, without the
  // registry. Creation failures (start-up) raise their own error.
  static TransferenciaClient Create();
  explicit TransferenciaClient(com::ComPtr<ITransferencia> object);

  ITransferencia* get() const { return object_.get(); }
  const com::ComPtr<ITransferencia>& object() const { return object_; }
  // The same object for late binding.
  com::ComPtr<com::IDispatch> Dispatch() const { return object_.As<com::IDispatch>(); }

  std::string Error();
  tTrEncabezado Encabezado();
  void SetEncabezado(tTrEncabezado Valor);
  bool Inventario_Pendiente();
  void SetInventario_Pendiente(bool Valor);
  tTrDetalle Detalle();
  void SetDetalle(tTrDetalle Valor);
  void Nuevo();
  bool Add_Transferencia_Detalle();
  bool Cancelar_Transferencia(std::string& Tr_Folio);
  bool Genera_Requisicion_Pedido(std::string& Pd_Folio);
  void Done();
  bool Finalizar_Transferencia(std::string& Tr_Folio);
  bool Generar_CFDI_Traslado(std::string& Folio);
  bool MostrarMensajeError();
  void SetMostrarMensajeError(bool Valor);

 private:
  com::ComPtr<ITransferencia> object_;
};

}  // namespace qbx
