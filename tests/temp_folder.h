// A fresh folder of the temporary directory, removed with what it holds.
// Tests run in parallel, so each that writes files gets one of its own.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qbx::test {

struct TempFolder {
  explicit TempFolder(const std::string& prefix = "quelbarix") {
    std::string p = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(p.data()) == nullptr) std::abort();
    path = p;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path(const std::string& name) const { return (path / name).string(); }

  std::filesystem::path path;
};

}  // namespace qbx::test
