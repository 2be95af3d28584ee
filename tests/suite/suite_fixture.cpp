#include "tests/suite/suite_fixture.h"

#include <stdlib.h>

#include <filesystem>

#include "suite/config.h"
#include "suite/sample.h"

namespace qbx::suite::test {

void SuiteTest::SetUp() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quelbarix-suite-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
  db_path_ = dir_ + "/prueba.db";
  CreateDatabase(db_path_, sample_);
  SetDatabasePath(db_path_);
}

void SuiteTest::TearDown() {
  SetDatabasePath("");
  SetMessageSink(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

}  // namespace qbx::suite::test
