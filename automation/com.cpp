#include "automation/com.h"

#include <atomic>
#include <utility>

#include "automation/registry.h"
#include "automation/server_frame.h"
#include "automation/value.h"

namespace qbx::com {

namespace {

thread_local ErrorInfo t_error_info;
thread_local ObjectProvider* t_provider = nullptr;
std::atomic<ObjectProvider*> g_provider{nullptr};

}  // namespace

void SetErrorInfo(const ErrorInfo& info) {
  t_error_info = info;
}

ErrorInfo TakeErrorInfo() {
  return std::exchange(t_error_info, ErrorInfo{});
}

ObjectProvider* SetThreadObjectProvider(ObjectProvider* provider) {
  return std::exchange(t_provider, provider);
}

ObjectProvider* SetProcessObjectProvider(ObjectProvider* provider) {
  return g_provider.exchange(provider);
}

HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // A failure reported below must not be mistaken for an older one.
  SetErrorInfo(ErrorInfo{});
  ObjectProvider* provider = t_provider ? t_provider : g_provider.load();
  if (!provider) return CreateFromRegistry(clsid, iid, out);
  try {
    return provider->CreateInstance(clsid, iid, out);
  } catch (...) {
    // A provider (a host or a test) may raise the creation failure itself.
    return ReportCurrentException("");
  }
}

void RaiseCreateFailure(const Guid& /*clsid*/, HRESULT hr) {
  ErrorInfo info = TakeErrorInfo();
  if (info.number != 0) throw RuntimeError(info.number, info.description, info.source);
  Raise(hr == E_OUTOFMEMORY ? kErrOutOfMemory : kErrCannotCreateObject);
}

}  // namespace qbx::com
