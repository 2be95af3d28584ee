// Test support: a private registry file (tests run in parallel; each needs
// its own), errors as text.
#pragma once

#include <stdlib.h>

#include <string>

#include "automation/com.h"
#include "automation/value.h"
#include "tests/temp_folder.h"

namespace qbx::test {

// QUELBARIX_REGISTRY names a file in a folder of its own while this lives.
struct TempRegistry : TempFolder {
  TempRegistry() {
    if (const char* was = std::getenv("QUELBARIX_REGISTRY")) previous_ = was;
    ::setenv("QUELBARIX_REGISTRY", Path("registry").c_str(), 1);
  }
  ~TempRegistry() {
    if (previous_.empty()) ::unsetenv("QUELBARIX_REGISTRY");
    else ::setenv("QUELBARIX_REGISTRY", previous_.c_str(), 1);
  }

 private:
  std::string previous_;
};

// The run-time error f raises, as a handler sees it: "number description [source]".
template <class F>
std::string Raised(F f) {
  try {
    f();
  } catch (...) {
    const RuntimeError e = CurrentRuntimeError();
    return std::to_string(e.number()) + " " + e.description() + " [" + e.source() + "]";
  }
  return "no error";
}
// The thread's error information, taken.
inline std::string Taken() {
  const com::ErrorInfo i = com::TakeErrorInfo();
  return std::to_string(i.number) + " " + i.description + " [" + i.source + "]";
}

}  // namespace qbx::test
