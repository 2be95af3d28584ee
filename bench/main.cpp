// quelbarix_bench: the transfer chain at 1,000 and 10,000 lines on the
// embedded database and, with --backend server or both, on a PostgreSQL
// server, each case in statement mode and in unit-of-work mode, measured
// against the database's own floor, and the component alone on services that
// do nothing.
//
// options.h reads the command line, measure.h runs the cases (each measured
// run a process of its own, child.h) on each backend's databases (store.h),
// report.h prints the tables and targets.h the verdicts. This file prints the
// header (the drivers' versions among it) and owns the working folder.
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "bench/floor_server.h"
#include "bench/measure.h"
#include "bench/options.h"

namespace qbx::bench {
namespace {

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown";
}

void PrintHeader(const Options& o) {
  std::cout << "quelbarix_bench: " << std::thread::hardware_concurrency() << " CPU(s), "
            << CpuModel() << ", SQLite " << sqlite3_libversion() << "\n";
  if (std::find(o.engines.begin(), o.engines.end(), Engine::kServer) != o.engines.end())
    std::cout << "server: " << server::Describe(o.server) << "\n";
  std::cout << "working folder: " << o.dir << "\n";
}

// The bench's databases on a server are dropped (its destructor) before the
// caller removes the working folder.
int Run(Options options) {
  Bench bench(options);
  PrintHeader(options);
  return bench.Run();
}

}  // namespace
}  // namespace qbx::bench

int main(int argc, char** argv) {
  using namespace qbx::bench;
  try {
    Options options = ParseOptions(argc, argv);
    bool made = false;
    if (options.dir.empty()) {
      std::string pattern =
          (std::filesystem::temp_directory_path() / "quelbarix-bench-XXXXXX").string();
      if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a working folder");
      options.dir = pattern;
      made = true;
    } else {
      std::filesystem::create_directories(options.dir);
    }
    const bool keep = options.keep || !made;
    const std::string dir = options.dir;
    const int code = Run(std::move(options));
    if (!keep) std::filesystem::remove_all(dir);
    return code;
  } catch (const std::exception& e) {
    std::cerr << "quelbarix_bench: " << e.what() << '\n';
    return 2;
  }
}
