// Outside calls of the tool, counted and made to fail on purpose: every
// service call the component makes through the provider and every statement
// it runs through the connection SystemServices hands out.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/com.h"
#include "cli/trace.h"

namespace qbx::cli::test {

// Counts calls; at call number `fail_at` (1-based, 0 = never) runs `action`
// before the call is made, which raises a RuntimeError unless told otherwise.
class FaultPlan {
 public:
  int64_t fail_at = 0;
  std::function<void()> action;  // default: raise
  bool keep_log = false;         // remember what each call was

  void Hit(std::string_view call);
  int64_t calls() const { return calls_; }
  const std::vector<std::string>& log() const { return log_; }

 private:
  int64_t calls_ = 0;
  std::vector<std::string> log_;
};

// Decorates another provider's service objects so that each call goes
// through the plan first; the connection SystemServices hands out too.
class FaultProvider : public com::ObjectProvider {
 public:
  FaultProvider(com::ObjectProvider& inner, FaultPlan& plan);
  com::HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) override;

 private:
  FaultPlan& plan_;
  TracingProvider counting_;
};

// Installs a FaultProvider over every Session's provider while in scope.
class FaultScope {
 public:
  explicit FaultScope(FaultPlan& plan);
  ~FaultScope();
  FaultScope(const FaultScope&) = delete;
  FaultScope& operator=(const FaultScope&) = delete;

 private:
  FaultPlan& plan_;
  std::vector<std::unique_ptr<FaultProvider>> providers_;
};

}  // namespace qbx::cli::test
