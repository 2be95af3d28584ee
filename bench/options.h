// The benchmark's command line: which cases, sizes, modes and backends a run
// measures, and where it works.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "bench/cases.h"

namespace qbx::bench {

enum class Engine { kFile, kServer };
std::string EngineName(Engine e);

struct Options {
  std::vector<int> lines{1000, 10000};
  std::vector<int> order_lines{100, 1000};
  std::set<std::string> cases;
  int repeat = 3;
  bool suite = true;
  bool doubles = true;
  std::string dir;
  bool keep = false;
  std::vector<Engine> engines{Engine::kFile};
  std::vector<Mode> modes{Mode::kStatement, Mode::kUnit};
  std::string server;
};

// Reads the options; --help prints the usage and ends the process.
Options ParseOptions(int argc, char** argv);

// Every case, in the order the benchmark runs and prints them.
inline constexpr Kind kAllKinds[] = {Kind::kShipmentOff,  Kind::kShipmentOn,  Kind::kRequest,
                                     Kind::kReceptionOff, Kind::kReceptionOn, Kind::kTransport,
                                     Kind::kCancel,       Kind::kRequisition, Kind::kChain};

// The cases the options select, each at its sizes.
std::vector<Case> SelectedCases(const Options& o);

}  // namespace qbx::bench
