// --trace: how a person sees what the component did. Statements come from the
// suite's database trace sink; outside calls from a provider that decorates
// every service object it creates with a forwarding wrapper printing
// "Class.Method(args)" before the call and "  = result" after it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "automation/com.h"
#include "automation/value.h"
#include "services/inventory_services.h"
#include "services/value_text.h"

namespace qbx::cli {

using TraceWriter = std::function<void(std::string_view line)>;

// Argument and result texts of trace lines: ValueText's trace style (texts
// in double quotes, numbers as their decimal text, Long 0 as 0, True/False,
// dates as #yyyy-mm-dd ...#).
template <class T>
std::string TraceText(const T& value) {
  return ValueText(value, ValueStyle::kTrace);
}

// Decorates the objects of another provider. Objects of class identifiers it
// does not know are handed out undecorated. The writer may raise: raised on
// the line before a call, the error reaches the caller in place of the call
// (how tests make a chosen call fail).
class TracingProvider : public com::ObjectProvider {
 public:
  TracingProvider(com::ObjectProvider& inner, TraceWriter writer);
  com::HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) override;

 private:
  com::ObjectProvider& inner_;
  TraceWriter writer_;
  int created_ = 0;
};

}  // namespace qbx::cli
