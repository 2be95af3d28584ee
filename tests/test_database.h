// Where a test's database lives. A test program registered with SERVER (see
// quelbarix_add_test) runs twice: on files in a temporary folder, and with
// QUELBARIX_TEST_BACKEND=server on fresh databases of the server that
// QUELBARIX_TEST_PG names (a libpq key=value string; scripts/pg-server.sh
// starts one). Without QUELBARIX_TEST_PG the server copy skips.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "suite/database.h"

namespace qbx::test {

inline std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
inline bool OnServer() { return Environment("QUELBARIX_TEST_BACKEND") == "server"; }
// The server's maintenance database; empty when there is none.
inline std::string ServerConninfo() { return Environment("QUELBARIX_TEST_PG"); }

// Skips before any test runs: a fixture's SetUp goes on after its base's skip.
struct NoServerSkips : ::testing::Environment {
  void SetUp() override {
    if (OnServer() && ServerConninfo().empty())
      GTEST_SKIP() << "QUELBARIX_TEST_PG is not set: no server to test on";
  }
};
inline ::testing::Environment* const kNoServerSkips =
    ::testing::AddGlobalTestEnvironment(new NoServerSkips);

#define QBX_SKIP_ON_SERVER(why) \
  if (::qbx::test::OnServer()) GTEST_SKIP() << "embedded file only: " << why

// The server database `name` made afresh (from template, else empty); its conninfo.
inline std::string ServerDatabase(const std::string& name, const std::string& from = "") {
  suite::Database admin(ServerConninfo(), false);
  admin.Exec("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  admin.Exec("CREATE DATABASE " + name + (from.empty() ? "" : " TEMPLATE " + from));
  return ServerConninfo() + " dbname=" + name;  // later keys win
}

// A fresh, empty database: a file name inside dir (not created), or a new
// database on the server. Drop it with DropDatabase.
inline std::string FreshDatabase(const std::string& dir, const std::string& file = "prueba.db") {
  static std::atomic<int> counter{0};
  if (!OnServer()) return dir + "/" + file;
  return ServerDatabase("qbx_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
}

// The database `from` copied whole to dir/file, or on the server to a
// database made from it as a template (nothing may be connected to `from`).
inline std::string CopyDatabase(const std::string& from, const std::string& dir,
                                const std::string& file) {
  if (!OnServer()) {
    const std::string to = dir + "/" + file;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    return to;
  }
  const std::string name = from.substr(from.rfind("dbname=") + 7);
  std::string copy = name + "_";
  for (char c : file) copy += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return ServerDatabase(copy, name);
}

inline void DropDatabase(const std::string& name) {
  const size_t at = name.rfind("dbname=");
  if (!suite::IsServerDatabase(name) || at == std::string::npos) return;
  // A failed drop raises: the test that made the database reports it.
  suite::Database(ServerConninfo(), false)
      .Exec("DROP DATABASE IF EXISTS " + name.substr(at + 7) + " WITH (FORCE)");
}

}  // namespace qbx::test
