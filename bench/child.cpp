#include "bench/child.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "automation/value.h"

namespace qbx::bench {
namespace {

// The child's side: runs fn and writes its report into the pipe.
[[noreturn]] void RunChild(const std::function<void(Report&)>& fn, int fd) {
  Report r;
  try {
    fn(r);
    r.ok = 1;
  } catch (const RuntimeError& e) {
    SetError(r, e.description());
  } catch (const std::exception& e) {
    SetError(r, e.what());
  }
  const char* p = reinterpret_cast<const char*>(&r);
  size_t left = sizeof r;
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n <= 0) break;
    p += n;
    left -= static_cast<size_t>(n);
  }
  std::fflush(stdout);
  _exit(0);
}

}  // namespace

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void SetError(Report& r, const std::string& text) {
  std::snprintf(r.error, sizeof r.error, "%s", text.c_str());
}

void SetScans(Report& r, const std::vector<Scan>& scans) {
  r.scans = static_cast<int64_t>(scans.size());
  if (!scans.empty())
    std::snprintf(r.scan, sizeof r.scan, "%s x%lld: %s", scans[0].step.c_str(),
                  static_cast<long long>(scans[0].times), scans[0].statement.c_str());
}

Outcome InChild(const std::function<void(Report&)>& fn) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(fds[0]);
    RunChild(fn, fds[1]);
  }
  close(fds[1]);
  Outcome out;
  char* p = reinterpret_cast<char*>(&out.report);
  size_t got = 0;
  while (got < sizeof out.report) {
    const ssize_t n = read(fds[0], p + got, sizeof out.report - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  out.max_rss_kib = usage.ru_maxrss;
  if (got != sizeof out.report) {
    out.report = Report{};
    SetError(out.report,
             "the child process ended without a report (status " + std::to_string(status) + ")");
  }
  return out;
}

}  // namespace qbx::bench
