#include "tests/cli/fault_provider.h"

#include <memory>
#include <utility>

#include "cli/session.h"
#include "services/connection.h"
#include "services/system_services.h"

namespace qbx::cli::test {

void FaultPlan::Hit(std::string_view call) {
  ++calls_;
  if (keep_log) log_.emplace_back(call);
  if (calls_ != fail_at) return;
  if (action) action();
  throw RuntimeError(-2147467259 /* E_FAIL */,
                     "injected fault at call " + std::to_string(calls_) + ": " + std::string(call));
}

namespace {

class ConnectionFault final : public com::Object<ConnectionFault, IConnection> {
 public:
  ConnectionFault(com::ComPtr<IConnection> inner, FaultPlan& plan)
      : inner_(std::move(inner)), plan_(plan) {}
  com::ComPtr<IRecordset> Execute(const std::string& command_text, const Variant& records_affected,
                                  int32_t options) override {
    plan_.Hit("sql: " + command_text);
    return inner_->Execute(command_text, records_affected, options);
  }
  std::string DefaultDatabase() override { return inner_->DefaultDatabase(); }
  int32_t BeginTrans() override { return inner_->BeginTrans(); }
  void CommitTrans() override { inner_->CommitTrans(); }
  void RollbackTrans() override { inner_->RollbackTrans(); }

 private:
  com::ComPtr<IConnection> inner_;
  FaultPlan& plan_;
};

// The counting provider already counts Obtener_Conexion itself; this only
// hands out the connection decorated.
class SystemFault final : public com::Object<SystemFault, ISystemServices> {
 public:
  SystemFault(com::ComPtr<ISystemServices> inner, FaultPlan& plan)
      : inner_(std::move(inner)), plan_(plan) {}
  com::ComPtr<IConnection> Obtener_Conexion() override {
    com::ComPtr<IConnection> c = inner_->Obtener_Conexion();
    if (!c) return c;
    com::ComPtr<IConnection> out;
    ConnectionFault::Make(std::move(c), plan_)->QueryInterface(IConnection::IID, out.put());
    return out;
  }
  std::string Obtener_Usuario() override { return inner_->Obtener_Usuario(); }
  std::string Obtener_Servidor_Id() override { return inner_->Obtener_Servidor_Id(); }
  bool Es_Servidor_Sucursal() override { return inner_->Es_Servidor_Sucursal(); }
  Variant Obtener_Parametro(const std::string& name, int32_t zero, const std::string& kind,
                            const std::string& default_value) override {
    return inner_->Obtener_Parametro(name, zero, kind, default_value);
  }
  Variant Mostrar_Mensaje(const Variant& text, int32_t style, const Variant& title,
                          const Variant& omitted, const Variant& source,
                          const Variant& key) override {
    return inner_->Mostrar_Mensaje(text, style, title, omitted, source, key);
  }

 private:
  com::ComPtr<ISystemServices> inner_;
  FaultPlan& plan_;
};

}  // namespace

FaultProvider::FaultProvider(com::ObjectProvider& inner, FaultPlan& plan)
    : plan_(plan), counting_(inner, [&plan](std::string_view line) {
        // Only the line before a call: not "new ...", results or errors.
        if (line.starts_with("new ") || line.starts_with(" ")) return;
        plan.Hit(line);
      }) {}

com::HRESULT FaultProvider::CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
  if (!(clsid == kClsidSystemServices)) return counting_.CreateInstance(clsid, iid, out);
  com::ComPtr<ISystemServices> inner;
  com::HRESULT hr = counting_.CreateInstance(clsid, ISystemServices::IID, inner.put());
  if (com::Failed(hr)) return hr;
  if (!inner) return com::E_NOINTERFACE;
  return SystemFault::Make(std::move(inner), plan_)->QueryInterface(iid, out);
}

FaultScope::FaultScope(FaultPlan& plan) : plan_(plan) {
  SetProviderWrapper([this](com::ObjectProvider& inner) -> com::ObjectProvider& {
    providers_.push_back(std::make_unique<FaultProvider>(inner, plan_));
    return *providers_.back();
  });
}

FaultScope::~FaultScope() {
  SetProviderWrapper(nullptr);
}

}  // namespace qbx::cli::test
