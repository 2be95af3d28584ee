// A test's own folder and database, and a database as one text for comparing
// states of it.
#pragma once

#include <fstream>
#include <initializer_list>
#include <regex>
#include <set>
#include <string>

#include "suite/database.h"
#include "suite/reports.h"
#include "suite/sample.h"
#include "tests/cli/spawn.h"
#include "tests/suite/suite_fixture.h"
#include "tests/test_database.h"

namespace qbx::cli::test {

inline std::string Text(const std::string& path) {
  suite::Database db(path, false);
  return suite::test::DatabaseText(db);
}

// Two runs of one request differ in the time of day they stamp, nothing else.
inline std::string MaskTimes(const std::string& text) {
  static const std::regex time(R"((\d{4}-\d\d-\d\d[ T])\d\d:\d\d:\d\d)");
  return std::regex_replace(text, time, "$1hh:mm:ss");
}

// A folder and a fresh database (a file in it, or one on the server) per test.
class DatabaseTest : public testing::Test {
 protected:
  void SetUp() override {
    db_ = qbx::test::FreshDatabase(dir_.string(), "t.db");
  }
  void TearDown() override {
    for (const std::string& copy : copies_) qbx::test::DropDatabase(copy);
    if (!db_.empty()) qbx::test::DropDatabase(db_);
  }
  // The sample database with the parameters given set to 1.
  void Sample(std::initializer_list<const char*> parameters) {
    suite::CreateDatabase(db_, true);
    suite::Database db(db_, false);
    for (const char* name : parameters) suite::SetParameter(db, name, "1");
  }
  std::string Copy(const std::string& name) {
    return *copies_.insert(qbx::test::CopyDatabase(db_, dir_.string(), name)).first;
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }

  ::qbx::test::TempFolder tmp_{"quelbarix-cli"};
  const std::filesystem::path dir_ = tmp_.path;
  std::string db_;
  std::set<std::string> copies_;
};

// Transit movements and accounting on, so that every service takes part.
inline constexpr const char* kTransit = "MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO";
inline constexpr const char* kAccounting = "CON_CONTABILIZAR_TRANSFERENCIAS";

}  // namespace qbx::cli::test
