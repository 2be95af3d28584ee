// A client's handle on a Transferencia object: the early-bound members of
// _Transferencia with failing statuses raised as run-time errors (the number,
// description and source of the object's error information).
#pragma once

#include <string>
#include <string_view>

#include "automation/com.h"
#include "automation/export.h"
#include "component/transferencia_members.h"
#include "records/interface.h"
#include "records/itransferencia.h"
#include "records/records.h"

namespace qbx {

class QBX_EXPORT TransferenciaClient {
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

#define QBX_CLIENT_GET(T, Name) T Name();
#define QBX_CLIENT_PUT(T, Name) void Set##Name(T Valor);
#define QBX_CLIENT_SUB(Name) void Name();
#define QBX_CLIENT_FUNCTION(Name) bool Name();
#define QBX_CLIENT_FOLIO(Name, Param) bool Name(std::string& Param);
  QBX_TRANSFERENCIA_MEMBERS(QBX_CLIENT_GET, QBX_CLIENT_PUT, QBX_CLIENT_SUB, QBX_CLIENT_FUNCTION,
                            QBX_CLIENT_FOLIO)
#undef QBX_CLIENT_GET
#undef QBX_CLIENT_PUT
#undef QBX_CLIENT_SUB
#undef QBX_CLIENT_FUNCTION
#undef QBX_CLIENT_FOLIO

 private:
  com::ComPtr<ITransferencia> object_;
};

}  // namespace qbx
