// The tool for crash tests: stops itself with SIGKILL right before outside
// call QUELBARIX_KILL_AT_CALL (counted as fault_provider.h counts them). With
// QUELBARIX_CALL_LOG set it writes every call to that file, one a line.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "cli/commands.h"
#include "tests/cli/fault_provider.h"

int main(int argc, char** argv) {
  qbx::cli::test::FaultScope faults;
  if (const char* at = std::getenv("QUELBARIX_KILL_AT_CALL")) faults.fail_at = std::atoll(at);
  faults.action = [] { std::raise(SIGKILL); };
  const int status = qbx::cli::Run({argv + 1, argv + argc}, {std::cout, std::cerr, std::cin});
  const char* log = std::getenv("QUELBARIX_CALL_LOG");
  std::ofstream out(log ? log : "/dev/null");
  for (std::string& call : faults.log) {
    std::replace(call.begin(), call.end(), '\n', ' ');
    out << call << '\n';
  }
  return status;
}
