#include "bench/store.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "automation/com.h"
#include "bench/floor.h"
#include "bench/floor_server.h"
#include "suite/config.h"
#include "suite/services.h"
#include "transfer/publico.h"

namespace qbx::bench {

SuiteHost::SuiteHost(const std::string& db_path) {
  suite::SetDatabasePath(db_path);
  com::SetProcessObjectProvider(&suite::LinkedProvider());
  db_ = suite::Database::ForThread();
}

SuiteHost::~SuiteHost() {
  ResetApartment();
  db_.reset();
  com::SetProcessObjectProvider(nullptr);
  suite::SetDatabasePath("");
}

void WriteContext(const std::string& path, const Context& ctx) {
  std::ofstream out(path);
  for (const auto& [k, v] : ctx) out << k << '=' << v << '\n';
  if (!out) throw std::runtime_error("cannot write " + path);
}

Context ReadContext(const std::string& path) {
  Context ctx;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) ctx[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return ctx;
}

Store::Store(Engine engine, std::string dir, std::string maintenance)
    : engine_(engine),
      dir_(std::move(dir)),
      maintenance_(std::move(maintenance)),
      prefix_("qbxbench_" + std::to_string(getpid()) + "_") {}

std::string Store::Name(const std::string& stem) const {
  return server() ? server::WithDatabase(maintenance_, ServerName(stem))
                  : dir_ + "/" + stem + ".db";
}

std::string Store::File(const std::string& stem, const std::string& suffix) const {
  return dir_ + "/" + (server() ? "server-" : "") + stem + suffix;
}

void Store::MakeEmpty(const std::string& stem) const {
  if (!server()) return RemoveDatabase(Name(stem));
  server::DropDatabase(maintenance_, ServerName(stem));
  server::CreateDatabase(maintenance_, ServerName(stem));
}

void Store::Copy(const std::string& from, const std::string& to) const {
  if (!server()) return CopyDatabase(Name(from), Name(to));
  server::DropDatabase(maintenance_, ServerName(to));
  server::CreateDatabase(maintenance_, ServerName(to), ServerName(from));
}

void Store::Remove(const std::string& stem) const {
  if (server())
    server::DropDatabase(maintenance_, ServerName(stem));
  else
    RemoveDatabase(Name(stem));
}

void Store::RemoveAll() const {
  if (server()) server::DropDatabases(maintenance_, prefix_);
}

uint64_t Store::Digest(const std::string& stem) const {
  return server() ? server::ComponentRowsDigest(Name(stem)) : ComponentRowsDigest(Name(stem));
}

void Store::Checkpoint(const std::string& stem) const {
  if (!server()) bench::Checkpoint(Name(stem));
}

std::string Store::ServerName(const std::string& stem) const {
  std::string name = prefix_ + stem;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

}  // namespace qbx::bench
