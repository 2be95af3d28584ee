// The tool for crash tests: stops itself with SIGKILL right before outside
// call QUELBARIX_KILL_AT_CALL (counted as fault_provider.h counts them).
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "cli/commands.h"
#include "tests/cli/fault_provider.h"

int main(int argc, char** argv) {
  const char* at = std::getenv("QUELBARIX_KILL_AT_CALL");
  qbx::cli::test::FaultScope faults(at ? std::atoll(at) : 0);
  faults.action = [] { std::raise(SIGKILL); };
  return qbx::cli::Run({argv + 1, argv + argc}, {std::cout, std::cerr, std::cin});
}
