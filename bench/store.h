// Where one backend's databases live, and how a child opens one with the
// suite installed. On SQLite a copy is a file; on the server it is
// CREATE DATABASE .. TEMPLATE (nobody connected to the source), and the
// copies are dropped at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bench/cases.h"
#include "bench/options.h"
#include "suite/database.h"

namespace qbx::bench {

// The suite installed for this process, as a host that links it does.
class SuiteHost {
 public:
  explicit SuiteHost(const std::string& db_path);
  ~SuiteHost();
  suite::Database& db() { return *db_; }

 private:
  std::shared_ptr<suite::Database> db_;
};

// A case's context (the documents it works on) as a file between processes.
void WriteContext(const std::string& path, const Context& ctx);
Context ReadContext(const std::string& path);

// Where one backend's databases live, by short name ("catalogue",
// "base-1000", "en-on-1000-unit-run"): files in the working folder, or
// databases on the server beside the maintenance one, named after this
// process so that runs side by side do not meet.
class Store {
 public:
  Store(Engine engine, std::string dir, std::string maintenance);

  Engine engine() const { return engine_; }
  bool server() const { return engine_ == Engine::kServer; }
  // What the suite opens: the file's path or a connection string.
  std::string Name(const std::string& stem) const;
  // The benchmark's own files of a database (its context, its recordings).
  std::string File(const std::string& stem, const std::string& suffix) const;
  // An empty database for CreateDatabase (a file it creates itself).
  void MakeEmpty(const std::string& stem) const;
  void Copy(const std::string& from, const std::string& to) const;
  void Remove(const std::string& stem) const;
  // Every database this process made on the server.
  void RemoveAll() const;
  // The component's rows (ComponentRowsDigest, by backend).
  uint64_t Digest(const std::string& stem) const;
  // What a run leaves in SQLite's journal goes to the file inside its time;
  // a server's commits are durable already.
  void Checkpoint(const std::string& stem) const;

 private:
  std::string ServerName(const std::string& stem) const;

  Engine engine_;
  std::string dir_;
  std::string maintenance_;
  std::string prefix_;
};

}  // namespace qbx::bench
