#include "cli/trace.h"

#include <type_traits>
#include <utility>

#include "services/registration_services.h"
#include "services/system_services.h"

namespace qbx {

// The connection a system service hands out is shown, not traced.
static std::string ValueText(const com::ComPtr<IConnection>& c, ValueStyle) {
  return c ? "<connection>" : "Nothing";
}

namespace cli {
namespace {

// Prints a call, runs it, prints its result or the error it raised.
class Tracer {
 public:
  Tracer(std::string label, TraceWriter writer)
      : label_(std::move(label)), writer_(std::move(writer)) {}

  template <class F, class... A>
  auto Call(std::string_view method, F&& body, const A&... args) -> decltype(body()) {
    writer_(label_ + "." + std::string(method) + "(" +
            ArgumentTexts(ValueStyle::kTrace, args...) + ")");
    try {
      if constexpr (std::is_void_v<decltype(body())>) {
        body();
      } else {
        auto result = body();
        writer_("  = " + ValueText(result, ValueStyle::kTrace));
        return result;
      }
    } catch (const RuntimeError& e) {
      writer_("  raised error " + std::to_string(e.number()) + ": " + e.description());
      throw;
    }
  }

 private:
  std::string label_;
  TraceWriter writer_;
};

// Every operation of a contract: printed, forwarded, its result printed.
#define QBX_TRACED_OP(Result, Name, Params, Names)                                                 \
  Result Name Params override {                                                                    \
    return tracer_.Call(#Name, [&] { return inner_->Name Names; } QBX_MORE_ARGS Names);            \
  }

// The decorator of contract I, whose operations Ops lists.
#define QBX_TRACE_CONTRACT(Class, I, Ops)                                                          \
  class Class final : public com::Object<Class, I> {                                               \
   public:                                                                                         \
    Class(com::ComPtr<I> inner, Tracer tracer)                                                     \
        : inner_(std::move(inner)), tracer_(std::move(tracer)) {}                                  \
    Ops(QBX_TRACED_OP)                                                                             \
                                                                                                   \
   private:                                                                                        \
    com::ComPtr<I> inner_;                                                                         \
    Tracer tracer_;                                                                                \
  };

QBX_TRACE_CONTRACT(SystemTrace, ISystemServices, QBX_SYSTEM_SERVICES_OPS)
QBX_TRACE_CONTRACT(DataTrace, IDataServices, QBX_DATA_SERVICES_OPS)
QBX_TRACE_CONTRACT(InventoryTrace, IInventoryServices, QBX_INVENTORY_SERVICES_OPS)
QBX_TRACE_CONTRACT(SeriesTrace, ISeriesServices, QBX_SERIES_SERVICES_OPS)
QBX_TRACE_CONTRACT(LotTrace, ILotServices, QBX_LOT_SERVICES_OPS)
QBX_TRACE_CONTRACT(PostingTrace, IPostingServices, QBX_POSTING_SERVICES_OPS)
QBX_TRACE_CONTRACT(VoucherTrace, IVoucherServices, QBX_VOUCHER_SERVICES_OPS)

#undef QBX_TRACE_CONTRACT
#undef QBX_TRACED_OP

// Creates the inner object for the service interface, wraps it and hands out
// the interface asked for.
template <class Wrapper, class I>
com::HRESULT Decorate(com::ObjectProvider& inner, const Guid& clsid, const Guid& iid, void** out,
                      Tracer tracer) {
  com::ComPtr<I> object;
  com::HRESULT hr = inner.CreateInstance(clsid, I::IID, object.put());
  if (com::Failed(hr)) return hr;
  if (!object) return com::E_NOINTERFACE;
  auto wrapper = Wrapper::Make(std::move(object), std::move(tracer));
  return wrapper->QueryInterface(iid, out);
}

}  // namespace

TracingProvider::TracingProvider(com::ObjectProvider& inner, TraceWriter writer)
    : inner_(inner), writer_(std::move(writer)) {}

com::HRESULT TracingProvider::CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
  using Factory = com::HRESULT (*)(com::ObjectProvider&, const Guid&, const Guid&, void**, Tracer);
  struct Known {
    Guid clsid;
    std::string_view name;
    Factory factory;
  };
  static constexpr Known kKnown[] = {
      {kClsidSystemServices, "SystemServices", &Decorate<SystemTrace, ISystemServices>},
      {kClsidDataServices, "DataServices", &Decorate<DataTrace, IDataServices>},
      {kClsidInventoryServices, "InventoryServices", &Decorate<InventoryTrace, IInventoryServices>},
      {kClsidSeriesServices, "SeriesServices", &Decorate<SeriesTrace, ISeriesServices>},
      {kClsidLotServices, "LotServices", &Decorate<LotTrace, ILotServices>},
      {kClsidPostingServices, "PostingServices", &Decorate<PostingTrace, IPostingServices>},
      {kClsidVoucherServices, "VoucherServices", &Decorate<VoucherTrace, IVoucherServices>},
  };
  for (const Known& k : kKnown) {
    if (!(k.clsid == clsid)) continue;
    const std::string label = std::string(k.name) + "#" + std::to_string(++created_);
    writer_("new " + label);
    return k.factory(inner_, clsid, iid, out, Tracer(label, writer_));
  }
  return inner_.CreateInstance(clsid, iid, out);
}

}  // namespace cli
}  // namespace qbx
