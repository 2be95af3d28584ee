// A temporary folder with a fresh sample database for each test, configured
// as the process's database (so Database::ForThread and the services use it).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "automation/com.h"
#include "automation/server_frame.h"
#include "suite/config.h"
#include "suite/database.h"
#include "suite/sample.h"
#include "suite/services.h"
#include "tests/temp_folder.h"
#include "tests/test_database.h"

namespace qbx::suite::test {

// Every table's rows, in order, as one text: two databases (or one before
// and after) hold the same data exactly when their texts are equal. A
// server's row numbers (identity columns) are left out: a rolled-back insert
// uses one up there, so a retry numbers its rows on from it.
inline std::string DatabaseText(Database& db) {
  std::string text;
  for (const std::string& table : db.TableNames()) {
    const std::string all = "SELECT * FROM " + QuoteIdentifier(table);
    std::vector<bool> generated;
    std::string order = "1";
    {
      auto probe = db.PrepareOnce(all, Origin::Suite);
      probe->Step();
      generated.resize(static_cast<size_t>(probe->ColumnCount()));
      for (size_t i = 2; i <= generated.size(); ++i) order += ", " + std::to_string(i);
      const std::string identity =
          "SELECT column_name FROM information_schema.columns WHERE is_identity = 'YES' AND "
          "table_schema = current_schema() AND lower(table_name) = lower('" +
          table + "')";
      if (::qbx::test::OnServer())
        for (auto ids = db.PrepareOnce(identity, Origin::Suite); ids->Step();)
          if (const int at = probe->FindColumn(ids->Column(0).ToString()); at >= 0)
            generated[static_cast<size_t>(at)] = true;
    }
    text += "[" + table + "]\n";
    for (auto rows = db.PrepareOnce(all + " ORDER BY " + order, Origin::Suite); rows->Step();
         text += "\n")
      for (size_t i = 0; i < generated.size(); ++i)
        text += (generated[i] ? "#" : rows->Column(static_cast<int>(i)).Describe()) + "|";
  }
  return text;
}

class SuiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_path_ = ::qbx::test::FreshDatabase(dir_.path.string());
    CreateDatabase(db_path(), true);
    SetDatabasePath(db_path());
  }
  void TearDown() override {
    SetDatabasePath("");
    SetMessageSink(nullptr);
    ::qbx::test::DropDatabase(db_path_);
  }

  // The test's database: a file in a temporary folder, or a server's database.
  const std::string& db_path() const { return db_path_; }
  // The calling thread's database (the one the services use).
  std::shared_ptr<Database> Db() { return Database::ForThread(); }
  // The first column of the first row (Empty when there is none).
  Variant Value(std::string_view sql, const std::vector<Variant>& params = {}) {
    return Db()->QueryValue(sql, params);
  }
  // The query plan of a statement, one detail per line (embedded file only).
  std::string Plan(const std::string& sql) {
    const std::shared_ptr<Database> db = Db();  // outlives its statement
    std::string details;
    for (auto plan = db->PrepareOnce("EXPLAIN QUERY PLAN " + sql, Origin::Suite); plan->Step();)
      details += plan->Column("detail").ToString() + "\n";
    return details;
  }
  // A new service object of the suite's class.
  template <class I>
  com::ComPtr<I> Make(const Guid& clsid) {
    com::ComPtr<I> out;
    com::HRESULT hr = LinkedProvider().CreateInstance(clsid, I::IID, out.put());
    if (com::Failed(hr)) com::RaiseFailure(hr);
    return out;
  }

 private:
  ::qbx::test::TempFolder dir_{"quelbarix-suite"};
  std::string db_path_;
};

// The run-time error fn raises (fails the test when it raises none).
template <class F>
RuntimeError ErrorOf(F&& fn) {
  try {
    fn();
  } catch (const RuntimeError& e) {
    return e;
  }
  ADD_FAILURE() << "no run-time error was raised";
  return RuntimeError(0, "");
}

}  // namespace qbx::suite::test
