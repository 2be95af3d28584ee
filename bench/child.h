// Every measured run is a process of its own, forked from a parent that never
// touches a database: each starts a fresh apartment and its peak resident
// memory is its own. A child hands back what it measured through a pipe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/floor.h"

namespace qbx::bench {

// User plus system time of this process so far.
double CpuSeconds();

// What a child hands back through its pipe.
struct Report {
  int ok = 0;
  double seconds = 0;
  double cpu_seconds = 0;   // user + system time of the process meanwhile
  double lock_seconds = 0;  // the longest unit of work
  int64_t component = 0;    // statements sent by the component
  int64_t suite = 0;        // statements sent by the suite
  int64_t recorded = 0;
  int64_t failed = 0;   // replayed statements that failed
  uint64_t digest = 0;  // ComponentRowsDigest afterwards
  int64_t scans = 0;    // statements sent per line that scan (FindScans)
  char scan[256] = {};  // the first of them
  char error[1024] = {};
};

struct Outcome {
  Report report;
  long max_rss_kib = 0;
};

void SetError(Report& r, const std::string& text);

// How many statements were flagged, and the first of them.
void SetScans(Report& r, const std::vector<Scan>& scans);

// Runs fn in a child process and collects its report and peak memory.
Outcome InChild(const std::function<void(Report&)>& fn);

}  // namespace qbx::bench
