// quelbarix: how a person uses the transfer component on the embedded suite.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/i18n.h"

int main(int argc, char** argv) {
  qbx::cli::SetUpLanguage();
  std::vector<std::string> args(argv + 1, argv + argc);
  return qbx::cli::Run(args, {std::cout, std::cerr, std::cin, ::isatty(STDERR_FILENO) != 0});
}
