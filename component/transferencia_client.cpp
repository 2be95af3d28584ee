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

// Each member calls the object's and raises a failing status.
#define QBX_CLIENT_GET(T, Name)                                                                    \
  T TransferenciaClient::Name() {                                                                  \
    T v{};                                                                                         \
    CheckStatus(object_->get_##Name(&v));                                                          \
    return v;                                                                                      \
  }
#define QBX_CLIENT_PUT(T, Name)                                                                    \
  void TransferenciaClient::Set##Name(T Valor) { CheckStatus(object_->put_##Name(&Valor)); }
#define QBX_CLIENT_SUB(Name)                                                                       \
  void TransferenciaClient::Name() { CheckStatus(object_->Name()); }
#define QBX_CLIENT_FUNCTION(Name)                                                                  \
  bool TransferenciaClient::Name() {                                                               \
    bool v = false;                                                                                \
    CheckStatus(object_->Name(&v));                                                                \
    return v;                                                                                      \
  }
#define QBX_CLIENT_FOLIO(Name, Param)                                                              \
  bool TransferenciaClient::Name(std::string& Param) {                                             \
    bool v = false;                                                                                \
    CheckStatus(object_->Name(&Param, &v));                                                        \
    return v;                                                                                      \
  }
QBX_TRANSFERENCIA_MEMBERS(QBX_CLIENT_GET, QBX_CLIENT_PUT, QBX_CLIENT_SUB, QBX_CLIENT_FUNCTION,
                          QBX_CLIENT_FOLIO)
#undef QBX_CLIENT_GET
#undef QBX_CLIENT_PUT
#undef QBX_CLIENT_SUB
#undef QBX_CLIENT_FUNCTION
#undef QBX_CLIENT_FOLIO

}  // namespace qbx
