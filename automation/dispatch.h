// Late binding: members resolved by name to dispatch identifiers and invoked
// with Variant arguments.
#pragma once

#include <string_view>
#include <vector>

#include "automation/com.h"
#include "automation/value.h"

namespace qbx::com {

using DISPID = int32_t;
constexpr DISPID DISPID_UNKNOWN = -1;

enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyPut = 4 };

struct IDispatch : IUnknown {
  using Base = IUnknown;
  static constexpr Guid IID = MakeGuid("{00020400-0000-0000-C000-000000000046}");
  // Names resolve without regard to case; the read and the write of one
  // property share one identifier. DISP_E_UNKNOWNNAME when there is none.
  virtual HRESULT GetIDsOfNames(std::string_view name, DISPID* id) noexcept = 0;
  // Arguments in declaration order; by-reference parameters are written back
  // into args. A property write takes its value as the single argument.
  // DISP_E_EXCEPTION (with the thread's error information set) when the
  // member raised a run-time error.
  virtual HRESULT Invoke(DISPID id, InvokeKind kind, std::vector<Variant>& args,
                         Variant* result) noexcept = 0;

 protected:
  ~IDispatch() = default;
};

}  // namespace qbx::com
