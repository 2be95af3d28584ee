// Test support: a temporary folder removed at the end, a private registry
// file in one (tests run in parallel; each needs its own), errors as text.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "automation/com.h"
#include "automation/value.h"

namespace qbx::test {

struct TempFolder {
  TempFolder() : path((std::filesystem::temp_directory_path() / "quelbarix-XXXXXX").string()) {
    if (!::mkdtemp(path.data())) std::abort();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  std::string Path(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

// QUELBARIX_REGISTRY names a file in a folder of its own.
struct TempRegistry : TempFolder {
  TempRegistry() { ::setenv("QUELBARIX_REGISTRY", Path("registry").c_str(), 1); }
};

// The run-time error f raises as "number description [source]".
template <class F>
std::string Raised(F f) {
  try {
    f();
  } catch (const RuntimeError& e) {
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
