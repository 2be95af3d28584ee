// The COM object of class Transferencia: the dual interface _Transferencia
// over a qbx::Transferencia, its late binding, and the server's exports.
#include "component/server.h"

#include <string>
#include <utility>
#include <vector>

#include "records/interface.h"
#include "component/transferencia_members.h"
#include "records/itransferencia.h"
#include "transfer/transferencia.h"

namespace qbx {
namespace {

using com::HRESULT;
using iface::MemberKind;
using iface::ValueType;

// Source of the run-time errors the component raises without one of its own.
constexpr std::string_view kErrorSource = "Quelbarix";

class TransferenciaObject final : public com::Object<TransferenciaObject, ITransferencia> {
 public:
  // Runs the apartment's start-up when needed; a failure there propagates
  // out of the class factory as the creation's error.
  explicit TransferenciaObject(com::ModuleCount* count) : Object(count) {}

  // --- _Transferencia ---
#define QBX_SERVE_GET(T, Name)                                                                     \
  HRESULT get_##Name(T* result) noexcept override {                                                \
    return Guard(result, [&] { *result = impl_.Name(); });                                         \
  }
#define QBX_SERVE_PUT(T, Name)                                                                     \
  HRESULT put_##Name(T* Valor) noexcept override {                                                 \
    return Guard(Valor, [&] { impl_.Set##Name(*Valor); });                                         \
  }
#define QBX_SERVE_SUB(Name)                                                                        \
  HRESULT Name() noexcept override { return Guard(this, [&] { impl_.Name(); }); }
#define QBX_SERVE_FUNCTION(Name)                                                                   \
  HRESULT Name(bool* result) noexcept override {                                                   \
    return Guard(result, [&] { *result = impl_.Name(); });                                         \
  }
#define QBX_SERVE_FOLIO(Name, Param)                                                               \
  HRESULT Name(std::string* Param, bool* result) noexcept override {                               \
    return Guard(Param, result, [&] { *result = impl_.Name(*Param); });                            \
  }
  QBX_TRANSFERENCIA_MEMBERS(QBX_SERVE_GET, QBX_SERVE_PUT, QBX_SERVE_SUB, QBX_SERVE_FUNCTION,
                            QBX_SERVE_FOLIO)
#undef QBX_SERVE_GET
#undef QBX_SERVE_PUT
#undef QBX_SERVE_SUB
#undef QBX_SERVE_FUNCTION
#undef QBX_SERVE_FOLIO

  // --- IDispatch ---
  HRESULT GetIDsOfNames(std::string_view name, com::DISPID* id) noexcept override {
    if (!id) return com::E_POINTER;
    *id = iface::FindDispId(name);
    return *id == com::DISPID_UNKNOWN ? com::DISP_E_UNKNOWNNAME : com::S_OK;
  }

  HRESULT Invoke(com::DISPID id, com::InvokeKind kind, std::vector<Variant>& args,
                 Variant* result) noexcept override;

 private:
  // Runs a member: a run-time error (or anything else thrown) becomes the
  // thread's error information and the failing status that carries it.
  template <class F>
  static HRESULT Run(F&& body) noexcept {
    com::SetErrorInfo(com::ErrorInfo{});
    try {
      body();
      return com::S_OK;
    } catch (...) {
      return com::ReportCurrentException(kErrorSource);
    }
  }
  template <class P, class F>
  static HRESULT Guard(P* pointer, F&& body) noexcept {
    return pointer ? Run(std::forward<F>(body)) : com::E_POINTER;
  }
  template <class P, class Q, class F>
  static HRESULT Guard(P* p, Q* q, F&& body) noexcept {
    return p && q ? Run(std::forward<F>(body)) : com::E_POINTER;
  }

  HRESULT InvokeMember(const iface::Member& member, std::vector<Variant>& args, Variant& result);

  Transferencia impl_;
};

// The member kinds an invocation kind reaches.
const iface::Member* FindInvoked(com::DISPID id, com::InvokeKind kind) {
  switch (kind) {
    case com::InvokeKind::PropertyGet:
      return iface::FindMember(id, MemberKind::PropertyGet);
    case com::InvokeKind::PropertyPut:
      return iface::FindMember(id, MemberKind::PropertyLet);
    case com::InvokeKind::Method:
      if (const auto* m = iface::FindMember(id, MemberKind::Function)) return m;
      return iface::FindMember(id, MemberKind::Sub);
  }
  return nullptr;
}

HRESULT TransferenciaObject::Invoke(com::DISPID id, com::InvokeKind kind,
                                    std::vector<Variant>& args, Variant* result) noexcept {
  const iface::Member* member = FindInvoked(id, kind);
  if (!member) return com::DISP_E_MEMBERNOTFOUND;
  const size_t wanted = member->param_type == ValueType::None ? 0 : 1;
  if (args.size() != wanted || (wanted == 1 && args[0].IsMissing()))
    return com::DISP_E_BADPARAMCOUNT;
  try {
    Variant value;
    HRESULT hr = InvokeMember(*member, args, value);
    if (hr == com::DISP_E_TYPEMISMATCH) return hr;
    if (com::Failed(hr)) return com::DISP_E_EXCEPTION;  // error information already set
    if (result) *result = std::move(value);
    return com::S_OK;
  } catch (...) {
    com::ReportCurrentException(kErrorSource);
    return com::DISP_E_EXCEPTION;
  }
}

// Converts the argument, calls the early-bound member (which sets the error
// information on failure), writes a by-reference String back and wraps the
// result.
HRESULT TransferenciaObject::InvokeMember(const iface::Member& member, std::vector<Variant>& args,
                                          Variant& result) {
  std::string text;
  bool flag = false;
  tTrEncabezado encabezado;
  tTrDetalle detalle;
  try {
    switch (member.param_type) {
      case ValueType::None:
        break;
      case ValueType::String:
        text = args[0].ToString();
        break;
      case ValueType::Boolean:
        flag = args[0].ToBool();
        break;
      case ValueType::Encabezado:
        encabezado = args[0].Record<tTrEncabezado>(iface::kRecordEncabezado);
        break;
      case ValueType::Detalle:
        detalle = args[0].Record<tTrDetalle>(iface::kRecordDetalle);
        break;
    }
  } catch (const RuntimeError&) {
    return com::DISP_E_TYPEMISMATCH;
  }

  namespace d = iface::dispid;
  HRESULT hr = com::E_UNEXPECTED;
  bool answer = false;
  switch (member.kind) {
    case MemberKind::PropertyGet:
      switch (member.dispid) {
        case d::Error:
          hr = get_Error(&text);
          break;
        case d::Encabezado:
          hr = get_Encabezado(&encabezado);
          break;
        case d::Inventario_Pendiente:
          hr = get_Inventario_Pendiente(&answer);
          break;
        case d::Detalle:
          hr = get_Detalle(&detalle);
          break;
        case d::MostrarMensajeError:
          hr = get_MostrarMensajeError(&answer);
          break;
      }
      break;
    case MemberKind::PropertyLet:
      switch (member.dispid) {
        case d::Inventario_Pendiente:
          hr = put_Inventario_Pendiente(&flag);
          break;
        case d::Encabezado:
          hr = put_Encabezado(&encabezado);
          break;
        case d::Detalle:
          hr = put_Detalle(&detalle);
          break;
        case d::MostrarMensajeError:
          hr = put_MostrarMensajeError(&flag);
          break;
      }
      break;
    case MemberKind::Sub:
      switch (member.dispid) {
        case d::Nuevo:
          hr = Nuevo();
          break;
        case d::Done:
          hr = Done();
          break;
      }
      break;
    case MemberKind::Function:
      switch (member.dispid) {
        case d::Add_Transferencia_Detalle:
          hr = Add_Transferencia_Detalle(&answer);
          break;
        case d::Cancelar_Transferencia:
          hr = Cancelar_Transferencia(&text, &answer);
          break;
        case d::Genera_Requisicion_Pedido:
          hr = Genera_Requisicion_Pedido(&text, &answer);
          break;
        case d::Finalizar_Transferencia:
          hr = Finalizar_Transferencia(&text, &answer);
          break;
        case d::Generar_CFDI_Traslado:
          hr = Generar_CFDI_Traslado(&text, &answer);
          break;
      }
      break;
  }
  if (member.param_type == ValueType::String) args[0] = Variant(text);
  if (com::Failed(hr)) return hr;

  switch (member.result) {
    case ValueType::None:
      result = Variant();
      break;
    case ValueType::String:
      result = Variant(std::move(text));
      break;
    case ValueType::Boolean:
      result = Variant(answer);
      break;
    case ValueType::Encabezado:
      result = Variant::FromRecord(iface::kRecordEncabezado, std::move(encabezado));
      break;
    case ValueType::Detalle:
      result = Variant::FromRecord(iface::kRecordDetalle, std::move(detalle));
      break;
  }
  return com::S_OK;
}

constexpr com::ServerClass kClasses[] = {
    {iface::kClsidTransferencia, iface::kClassName, iface::kProgId,
     &com::CreateObject<TransferenciaObject>},
};
constexpr com::ServerInterface kInterfaces[] = {
    {iface::kIidTransferencia, iface::kInterfaceName},
};
constexpr com::ServerTypeLibrary kTypeLibrary{
    iface::kTypeLibrary.id,   iface::kTypeLibrary.major, iface::kTypeLibrary.minor,
    iface::kTypeLibrary.lcid, iface::kTypeLibrary.help,  kInterfaces,
};
constinit com::InprocServer g_server(kClasses, kErrorSource, &kTypeLibrary);

}  // namespace

com::InprocServer& component::Server() {
  return g_server;
}

}  // namespace qbx

QBX_INPROC_SERVER_EXPORTS(qbx::g_server)
