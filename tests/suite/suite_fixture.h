// A temporary folder with a fresh suite database for each test, configured
// as the process's database (so Database::ForThread and the services use it).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "automation/com.h"
#include "suite/database.h"

namespace qbx::suite::test {

class SuiteTest : public ::testing::Test {
 protected:
  // sample: whether the database gets the sample catalogue.
  explicit SuiteTest(bool sample = true) : sample_(sample) {}
  void SetUp() override;
  void TearDown() override;

  const std::string& dir() const { return dir_; }
  const std::string& db_path() const { return db_path_; }
  // The calling thread's database (the one the services use).
  std::shared_ptr<Database> Db() { return Database::ForThread(); }

  // A new service object of the suite's class, by class identifier.
  template <class I>
  com::ComPtr<I> Make(const Guid& clsid);

 private:
  bool sample_;
  std::string dir_;
  std::string db_path_;
};

// Runs fn and returns the run-time error it raises (fails the test when it
// raises none).
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

#include "automation/server_frame.h"
#include "suite/services.h"

namespace qbx::suite::test {
template <class I>
com::ComPtr<I> SuiteTest::Make(const Guid& clsid) {
  com::ComPtr<I> out;
  com::HRESULT hr = LinkedProvider().CreateInstance(clsid, I::IID, out.put());
  if (com::Failed(hr)) com::RaiseFailure(hr);
  return out;
}
}  // namespace qbx::suite::test
