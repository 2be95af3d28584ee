// Outside calls of the tool counted, one of them made to fail on purpose:
// every service call the component makes (the tracing provider's line before
// each call) and every statement it sends through its connection (the
// suite's trace sink).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/session.h"
#include "suite/database.h"

namespace qbx::cli::test {

// While in scope, every Session's outside calls are counted and logged; call
// number fail_at (1-based, 0 = never) runs `action` instead, then raises.
class FaultScope {
 public:
  int64_t fail_at;
  std::function<void()> action;
  std::vector<std::string> log;

  explicit FaultScope(int64_t at = 0) : fail_at(at) {
    SetProviderWrapper([this](com::ObjectProvider& inner) -> com::ObjectProvider& {
      return *providers_.emplace_back(std::make_unique<TracingProvider>(inner, [this](auto line) {
        if (!line.starts_with("new ") && !line.starts_with(" ")) Hit(line);  // not results
      }));
    });
    suite::Database::SetDefaultTraceSink([this](suite::Origin origin, std::string_view sql) {
      if (origin == suite::Origin::Component) Hit("sql: " + std::string(sql));
    });
  }
  ~FaultScope() {
    SetProviderWrapper(nullptr);
    suite::Database::SetDefaultTraceSink(nullptr);
  }
  FaultScope(const FaultScope&) = delete;

 private:
  void Hit(std::string_view call) {
    log.emplace_back(call);
    if (std::ssize(log) != fail_at) return;
    if (action) action();
    throw RuntimeError(-2147467259 /* E_FAIL */, "injected fault at " + std::string(call));
  }

  std::vector<std::unique_ptr<TracingProvider>> providers_;
};

struct Outcome {
  int status;
  std::string out, err;
  std::vector<std::string> log;
};

// The tool run in process, with a fault at call fail_at (0: none).
inline Outcome RunTool(const std::vector<std::string>& args, const std::string& input = "",
                       int64_t fail_at = 0) {
  FaultScope faults(fail_at);
  std::ostringstream out, err;
  std::istringstream in(input);
  const int status = Run(args, {out, err, in});
  return {status, out.str(), err.str(), faults.log};
}

}  // namespace qbx::cli::test
