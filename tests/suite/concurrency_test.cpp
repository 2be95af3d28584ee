// Folios and series numbers are never handed out twice, whether the writers
// are threads of one process or separate processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "services/system_services.h"
#include "suite/services.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

constexpr int kPerWriter = 150;

// Takes n folios and n series numbers through a DataServices of the calling
// thread; answers them as texts.
std::vector<std::string> Hammer(int n) {
  com::ComPtr<IDataServices> data;
  com::HRESULT hr = LinkedProvider().CreateInstance(kClsidDataServices, IDataServices::IID,
                                                    reinterpret_cast<void**>(data.put()));
  if (com::Failed(hr)) return {};
  std::vector<std::string> out;
  try {
    for (int i = 0; i < n; ++i) {
      out.push_back(data->Obtener_Folio("CEDIS", "Transferencia", 10, true).ToString());
      out.push_back("serie " + std::to_string(data->Obtener_Consecutivo_Serie("CEDIS", "TC", 4)));
    }
  } catch (const RuntimeError& e) {
    out.push_back("error: " + e.description());
  }
  return out;
}

void ExpectAllDistinct(const std::vector<std::string>& all, size_t writers) {
  std::set<std::string> distinct(all.begin(), all.end());
  EXPECT_EQ(all.size(), writers * kPerWriter * 2);
  EXPECT_EQ(distinct.size(), all.size());
  // Nothing was skipped either: the last folio is the count.
  EXPECT_TRUE(distinct.count("CEDIS-" +
                             FormatZeros(static_cast<double>(writers * kPerWriter), "0000000000")));
  EXPECT_TRUE(distinct.count("serie " + std::to_string(writers * kPerWriter)));
}

class ConcurrencyTest : public SuiteTest {};

TEST_F(ConcurrencyTest, TwoThreadsNeverShareAFolio) {
  std::vector<std::string> first, second;
  std::thread a([&] { first = Hammer(kPerWriter); });
  std::thread b([&] { second = Hammer(kPerWriter); });
  a.join();
  b.join();
  first.insert(first.end(), second.begin(), second.end());
  ExpectAllDistinct(first, 2);
}

TEST_F(ConcurrencyTest, TwoProcessesNeverShareAFolio) {
  const std::string child_file = dir() + "/hijo.txt";
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    // The child opens its own connection (none was open at the fork).
    std::ofstream out(child_file);
    std::vector<std::string> got = Hammer(kPerWriter);
    for (const std::string& s : got) out << s << "\n";
    out.close();
    _exit(got.size() == 2 * kPerWriter ? 0 : 1);
  }
  std::vector<std::string> all = Hammer(kPerWriter);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(child_file);
  for (std::string line; std::getline(in, line);) all.push_back(line);
  ExpectAllDistinct(all, 2);
}

}  // namespace
}  // namespace qbx::suite::test
