// The built tool run as a child process, as a person or a script runs it.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qbx::cli::test {

struct Spawned {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
  double seconds = 0;
};

inline std::string Slurp(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs `tool` with the arguments, `input` as its standard input; its output
// passes through files in `dir`. With kill_after >= 0 it is killed (SIGKILL)
// once it has run that many seconds. `env` comes before the inherited
// environment, so its entries win.
inline Spawned SpawnTool(const std::filesystem::path& dir, const char* tool,
                         std::vector<std::string> args, const std::string& input = "",
                         double kill_after = -1, const std::vector<std::string>& env = {}) {
  using Clock = std::chrono::steady_clock;
  const std::filesystem::path in = dir / "stdin", out = dir / "stdout", err = dir / "stderr";
  std::ofstream(in, std::ios::binary) << input;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  args.insert(args.begin(), tool);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> vars = env;
  for (char** e = environ; *e; ++e) vars.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  const Clock::time_point start = Clock::now();
  const int rc = posix_spawn(&pid, tool, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  Spawned o;
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << tool;
    return o;
  }
  int status = 0;
  for (;;) {
    if (::waitpid(pid, &status, kill_after < 0 ? 0 : WNOHANG) == pid) break;
    if (std::chrono::duration<double>(Clock::now() - start).count() >= kill_after) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  o.out = Slurp(out);
  o.err = Slurp(err);
  return o;
}

}  // namespace qbx::cli::test
