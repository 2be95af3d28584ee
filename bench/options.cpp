#include "bench/options.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace qbx::bench {
namespace {

constexpr const char* kUsage =
    "usage: quelbarix_bench [options]\n"
    "  --lines LIST        document sizes (default 1000,10000)\n"
    "  --order-lines LIST  order sizes of the requisition (default 100,1000)\n"
    "  --cases LIST        en-off,en-on,sl,rc-off,rc-on,cfdi,cancel,req,chain (default all)\n"
    "  --repeat N          timed and floor runs per case, best kept (default 3)\n"
    "  --modes LIST        statement,unit (default both)\n"
    "  --doubles           only the component on do-nothing services\n"
    "  --no-doubles        skip the component on do-nothing services\n"
    "  --dir DIR           working folder (default: a new one under the temporary folder,\n"
    "                      removed at the end)\n"
    "  --keep              keep the working folder, with each case's starting database\n"
    "                      (NAME-LINES.db) and its recorded statements (NAME-LINES.sql);\n"
    "                      on the server, the starting databases too\n"
    "  --backend WHICH     sqlite, server or both (default sqlite)\n"
    "  --server CONNINFO   the server's maintenance database as a libpq connection string\n"
    "                      (default: the environment's QUELBARIX_BENCH_PG); the benchmark\n"
    "                      creates its databases beside it and drops them at the end\n";

std::vector<int> ParseList(const std::string& text) {
  std::vector<int> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const int n = std::atoi(item.c_str());
    if (n <= 0) throw std::runtime_error("not a size: " + item);
    out.push_back(n);
  }
  return out;
}

std::vector<Engine> ParseBackend(const std::string& which) {
  if (which == "sqlite") return {Engine::kFile};
  if (which == "server") return {Engine::kServer};
  if (which == "both") return {Engine::kFile, Engine::kServer};
  throw std::runtime_error("--backend takes sqlite, server or both, not " + which);
}

std::vector<Mode> ParseModes(const std::string& text) {
  std::vector<Mode> modes;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item == "statement")
      modes.push_back(Mode::kStatement);
    else if (item == "unit")
      modes.push_back(Mode::kUnit);
    else
      throw std::runtime_error("not a mode: " + item);
  }
  return modes;
}

}  // namespace

std::string EngineName(Engine e) {
  return e == Engine::kServer ? "server" : "sqlite";
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return argv[++i];
    };
    if (a == "--lines") {
      o.lines = ParseList(value());
    } else if (a == "--order-lines") {
      o.order_lines = ParseList(value());
    } else if (a == "--cases") {
      std::stringstream in(value());
      std::string item;
      while (std::getline(in, item, ',')) o.cases.insert(item);
    } else if (a == "--repeat") {
      o.repeat = std::max(1, std::atoi(value().c_str()));
    } else if (a == "--doubles") {
      o.suite = false;
    } else if (a == "--no-doubles") {
      o.doubles = false;
    } else if (a == "--dir") {
      o.dir = value();
    } else if (a == "--keep") {
      o.keep = true;
    } else if (a == "--backend") {
      o.engines = ParseBackend(value());
    } else if (a == "--modes") {
      o.modes = ParseModes(value());
    } else if (a == "--server") {
      o.server = value();
    } else if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      std::exit(0);
    } else {
      throw std::runtime_error("unknown option " + a + "\n" + kUsage);
    }
  }
  if (o.server.empty())
    if (const char* env = std::getenv("QUELBARIX_BENCH_PG")) o.server = env;
  if (o.server.empty() &&
      std::find(o.engines.begin(), o.engines.end(), Engine::kServer) != o.engines.end())
    throw std::runtime_error("the server backend needs --server or QUELBARIX_BENCH_PG");
  return o;
}

std::vector<Case> SelectedCases(const Options& o) {
  std::vector<Case> out;
  for (Kind k : kAllKinds) {
    if (!o.cases.empty() && !o.cases.contains(KindName(k))) continue;
    for (int n : k == Kind::kRequisition ? o.order_lines : o.lines) out.push_back({k, n});
  }
  return out;
}

}  // namespace qbx::bench
