// Where a test's database lives. Every test program that touches a database
// is registered twice (see quelbarix_add_test ... SERVER): as it is, on files
// in a temporary folder, and with QUELBARIX_TEST_BACKEND=server, on fresh
// databases of the server that QUELBARIX_TEST_PG names (a libpq key=value
// string such as "host=/tmp/x user=postgres dbname=quelbarix_test";
// scripts/pg-server.sh starts one). Without QUELBARIX_TEST_PG the server
// cases are skipped.
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

inline bool OnServer() {
  const char* backend = std::getenv("QUELBARIX_TEST_BACKEND");
  return backend && std::string(backend) == "server";
}

// The server's maintenance database; empty when there is none.
inline std::string ServerConninfo() {
  const char* conninfo = std::getenv("QUELBARIX_TEST_PG");
  return conninfo ? conninfo : "";
}

// The server copy of a program without a server skips every test: a
// fixture's SetUp goes on after its base's skip, so skip before any runs.
class NoServerSkips : public ::testing::Environment {
  void SetUp() override {
    if (OnServer() && ServerConninfo().empty())
      GTEST_SKIP() << "QUELBARIX_TEST_PG is not set: no server to test on";
  }
};
inline ::testing::Environment* const kNoServerSkips =
    ::testing::AddGlobalTestEnvironment(new NoServerSkips);

// Skips (after GTEST_SKIP) a test that cannot run on the server.
#define QBX_SKIP_ON_SERVER(why) \
  if (::qbx::test::OnServer()) GTEST_SKIP() << "embedded file only: " << why

// A fresh, empty database: a file name inside dir (not created), or a new
// database on the server (created, without tables). Drop it with
// DropDatabase.
inline std::string FreshDatabase(const std::string& dir, const std::string& file = "prueba.db") {
  if (!OnServer()) return dir + "/" + file;
  static std::atomic<int> counter{0};
  const std::string name = "qbx_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  suite::Database admin(ServerConninfo(), false);
  admin.Exec("DROP DATABASE IF EXISTS " + name);
  admin.Exec("CREATE DATABASE " + name);
  // Later keys win in a key=value string.
  return ServerConninfo() + " dbname=" + name;
}

// The database named by `from` copied whole: a file copied to dir/file, or
// on the server a new database made from it as a template (nothing may be
// connected to `from` meanwhile). Replaces an earlier copy of the same name.
inline std::string CopyDatabase(const std::string& from, const std::string& dir,
                                const std::string& file) {
  if (!OnServer()) {
    const std::string to = dir + "/" + file;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    return to;
  }
  auto name_of = [](const std::string& conninfo) {
    return conninfo.substr(conninfo.rfind("dbname=") + 7);
  };
  std::string copy = name_of(from) + "_";
  for (char c : file) copy += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  suite::Database admin(ServerConninfo(), false);
  admin.Exec("DROP DATABASE IF EXISTS " + copy + " WITH (FORCE)");
  admin.Exec("CREATE DATABASE " + copy + " TEMPLATE " + name_of(from));
  return ServerConninfo() + " dbname=" + copy;
}

inline void DropDatabase(const std::string& name) {
  if (!suite::IsServerDatabase(name)) return;
  const size_t at = name.rfind("dbname=");
  if (at == std::string::npos) return;
  try {
    suite::Database admin(ServerConninfo(), false);
    admin.Exec("DROP DATABASE IF EXISTS " + name.substr(at + 7) + " WITH (FORCE)");
  } catch (const RuntimeError& e) {
    ADD_FAILURE() << "cannot drop " << name << ": " << e.description();
  }
}

}  // namespace qbx::test
