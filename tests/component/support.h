// Test support: a private registry file for the object's lifetime (tests run
// in parallel; each needs its own).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace qbx::test {

// Points QUELBARIX_REGISTRY at a file in a new temporary folder, restoring
// the previous value and removing the folder at the end.
class TempRegistry {
 public:
  TempRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qbx-registry-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    folder_ = pattern;
    if (const char* old = std::getenv("QUELBARIX_REGISTRY")) previous_ = old;
    ::setenv("QUELBARIX_REGISTRY", path().c_str(), 1);
  }
  ~TempRegistry() {
    if (previous_) ::setenv("QUELBARIX_REGISTRY", previous_->c_str(), 1);
    if (!previous_) ::unsetenv("QUELBARIX_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  std::string path() const { return folder_ + "/registry"; }
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::optional<std::string> previous_;
};

}  // namespace qbx::test
