// The suite library's in-process server: its service classes by the class
// identifiers the component creates them with, the four exports, and a
// provider for hosts that link the library directly.
#include "automation/server_frame.h"
#include "services/inventory_services.h"
#include "services/registration_services.h"
#include "services/system_services.h"
#include "suite/database.h"
#include "suite/services.h"

namespace qbx::suite {
namespace {

template <com::ComPtr<com::IUnknown> (*Factory)()>
com::HRESULT Create(com::ModuleCount*, const Guid& iid, void** out) {
  return Factory()->QueryInterface(iid, out);
}

constexpr com::ServerClass kClasses[] = {
    {kClsidSystemServices, "SystemServices", "QuelbarixSuite.SystemServices",
     &Create<&CreateSystemServices>},
    {kClsidDataServices, "DataServices", "QuelbarixSuite.DataServices",
     &Create<&CreateDataServices>},
    {kClsidInventoryServices, "InventoryServices", "QuelbarixSuite.InventoryServices",
     &Create<&CreateInventoryServices>},
    {kClsidSeriesServices, "SeriesServices", "QuelbarixSuite.SeriesServices",
     &Create<&CreateSeriesServices>},
    {kClsidLotServices, "LotServices", "QuelbarixSuite.LotServices", &Create<&CreateLotServices>},
    {kClsidPostingServices, "PostingServices", "QuelbarixSuite.PostingServices",
     &Create<&CreatePostingServices>},
    {kClsidVoucherServices, "VoucherServices", "QuelbarixSuite.VoucherServices",
     &Create<&CreateVoucherServices>},
};

constinit com::InprocServer g_server(kClasses, kSuiteSource);

// Creates the suite's classes in this process; any other class comes from the
// registry as usual.
class Provider final : public com::ObjectProvider {
 public:
  com::HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) override {
    if (!out) return com::E_POINTER;
    *out = nullptr;
    for (const com::ServerClass& cls : kClasses) {
      if (!(cls.clsid == clsid)) continue;
      com::SetErrorInfo(com::ErrorInfo{});
      try {
        return cls.create(&g_server.Count(), iid, out);
      } catch (...) {
        return com::ReportCurrentException(kSuiteSource);
      }
    }
    return com::CreateFromRegistry(clsid, iid, out);
  }
};

}  // namespace

com::ModuleCount& SuiteModule() {
  return g_server.Count();
}

com::ObjectProvider& LinkedProvider() {
  static Provider provider;
  return provider;
}

}  // namespace qbx::suite

QBX_INPROC_SERVER_EXPORTS(qbx::suite::g_server)
