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

namespace qbx::cli {

using TraceWriter = std::function<void(std::string_view line)>;

// Argument and result texts of trace lines: texts in double quotes, numbers
// as their decimal text, Long 0 as 0, True/False, dates as #yyyy-mm-dd ...#.
std::string TraceText(const std::string& s);
std::string TraceText(double d);
std::string TraceText(int32_t n);
std::string TraceText(int16_t n);
std::string TraceText(bool b);
std::string TraceText(const Date& d);
std::string TraceText(const Variant& v);
std::string TraceText(const MovementHeader& h);
std::string TraceText(const MovementLine& l);

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
