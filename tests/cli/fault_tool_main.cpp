// The tool for crash tests: stops itself with SIGKILL right before outside
// call QUELBARIX_KILL_AT_CALL (counted as fault_provider.h counts them). With
// QUELBARIX_CALL_LOG set it writes every call to that file, one a line.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tests/cli/fault_provider.h"

int main(int argc, char** argv) {
  using namespace qbx::cli;
  test::FaultPlan plan;
  if (const char* at = std::getenv("QUELBARIX_KILL_AT_CALL")) plan.fail_at = std::atoll(at);
  plan.action = [] { std::raise(SIGKILL); };
  const char* log = std::getenv("QUELBARIX_CALL_LOG");
  plan.keep_log = log != nullptr;
  int status = 0;
  {
    test::FaultScope scope(plan);
    status = Run(std::vector<std::string>(argv + 1, argv + argc), {std::cout, std::cerr, std::cin});
  }
  std::ofstream out(log ? log : "/dev/null");
  for (std::string call : plan.log()) {
    std::replace(call.begin(), call.end(), '\n', ' ');
    out << call << '\n';
  }
  return status;
}
