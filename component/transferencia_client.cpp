#include "component/transferencia_client.h"

#include <utility>

#include "automation/registry.h"
#include "automation/server_frame.h"
#include "component/server.h"

namespace qbx {

using com::CheckStatus;

TransferenciaClient TransferenciaClient::CreateByName(std::string_view name) {
  com::ComPtr<ITransferencia> object;
  com::SetErrorInfo(com::ErrorInfo{});
  com::HRESULT hr = com::CreateByName(name, ITransferencia::IID, object.put());
  if (com::Failed(hr) || !object)
    com::RaiseCreateFailure(iface::kClsidTransferencia, com::Failed(hr) ? hr : com::E_NOINTERFACE);
  return TransferenciaClient(std::move(object));
}

TransferenciaClient TransferenciaClient::Create() {
  com::ComPtr<com::IClassFactory> factory;
  com::ComPtr<ITransferencia> object;
  com::SetErrorInfo(com::ErrorInfo{});
  com::HRESULT hr = component::Server().GetClassObject(&iface::kClsidTransferencia,
                                                       &com::IClassFactory::IID, factory.put());
  if (com::Succeeded(hr)) hr = factory->CreateInstance(nullptr, ITransferencia::IID, object.put());
  if (com::Failed(hr) || !object)
    com::RaiseCreateFailure(iface::kClsidTransferencia, com::Failed(hr) ? hr : com::E_NOINTERFACE);
  return TransferenciaClient(std::move(object));
}

TransferenciaClient::TransferenciaClient(com::ComPtr<ITransferencia> object)
    : object_(std::move(object)) {}

std::string TransferenciaClient::Error() {
  std::string v;
  CheckStatus(object_->get_Error(&v));
  return v;
}

tTrEncabezado TransferenciaClient::Encabezado() {
  tTrEncabezado v;
  CheckStatus(object_->get_Encabezado(&v));
  return v;
}

void TransferenciaClient::SetEncabezado(tTrEncabezado Valor) {
  CheckStatus(object_->put_Encabezado(&Valor));
}

bool TransferenciaClient::Inventario_Pendiente() {
  bool v = false;
  CheckStatus(object_->get_Inventario_Pendiente(&v));
  return v;
}

void TransferenciaClient::SetInventario_Pendiente(bool Valor) {
  CheckStatus(object_->put_Inventario_Pendiente(&Valor));
}

tTrDetalle TransferenciaClient::Detalle() {
  tTrDetalle v;
  CheckStatus(object_->get_Detalle(&v));
  return v;
}

void TransferenciaClient::SetDetalle(tTrDetalle Valor) {
  CheckStatus(object_->put_Detalle(&Valor));
}

void TransferenciaClient::Nuevo() {
  CheckStatus(object_->Nuevo());
}

bool TransferenciaClient::Add_Transferencia_Detalle() {
  bool v = false;
  CheckStatus(object_->Add_Transferencia_Detalle(&v));
  return v;
}

bool TransferenciaClient::Cancelar_Transferencia(std::string& Tr_Folio) {
  bool v = false;
  CheckStatus(object_->Cancelar_Transferencia(&Tr_Folio, &v));
  return v;
}

bool TransferenciaClient::Genera_Requisicion_Pedido(std::string& Pd_Folio) {
  bool v = false;
  CheckStatus(object_->Genera_Requisicion_Pedido(&Pd_Folio, &v));
  return v;
}

void TransferenciaClient::Done() {
  CheckStatus(object_->Done());
}

bool TransferenciaClient::Finalizar_Transferencia(std::string& Tr_Folio) {
  bool v = false;
  CheckStatus(object_->Finalizar_Transferencia(&Tr_Folio, &v));
  return v;
}

bool TransferenciaClient::Generar_CFDI_Traslado(std::string& Folio) {
  bool v = false;
  CheckStatus(object_->Generar_CFDI_Traslado(&Folio, &v));
  return v;
}

bool TransferenciaClient::MostrarMensajeError() {
  bool v = false;
  CheckStatus(object_->get_MostrarMensajeError(&v));
  return v;
}

void TransferenciaClient::SetMostrarMensajeError(bool Valor) {
  CheckStatus(object_->put_MostrarMensajeError(&Valor));
}

}  // namespace qbx
