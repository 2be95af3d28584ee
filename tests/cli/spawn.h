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
#include <string_view>
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

// A child started by StartTool and not yet waited for.
struct Started {
  pid_t pid = -1;  // -1 when it could not start
  std::filesystem::path dir;
  std::chrono::steady_clock::time_point start;
};

// Starts `tool` with the arguments, `input` as its standard input; its output
// passes through files in `dir`, so children running at once need folders
// of their own. `env` comes before the inherited environment, so its entries
// win. The inherited locale variables are left out: the tool speaks English
// unless `env` asks for another language.
inline Started StartTool(const std::filesystem::path& dir, const char* tool,
                         std::vector<std::string> args, const std::string& input = "",
                         const std::vector<std::string>& env = {}) {
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
  for (char** e = environ; *e; ++e) {
    const std::string_view var(*e);
    const bool locale = var.starts_with("LANGUAGE=") || var.starts_with("LC_ALL=") ||
                        var.starts_with("LC_MESSAGES=") || var.starts_with("LANG=");
    if (!locale) vars.emplace_back(var);
  }
  std::vector<char*> envp;
  for (std::string& v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  Started s{-1, dir, std::chrono::steady_clock::now()};
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, tool, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << tool;
    return s;
  }
  s.pid = pid;
  return s;
}

// Waits for a started child. With kill_after >= 0 it is killed (SIGKILL)
// once it has run that many seconds since it started.
inline Spawned WaitTool(const Started& s, double kill_after = -1) {
  using Clock = std::chrono::steady_clock;
  Spawned o;
  if (s.pid < 0) return o;
  int status = 0;
  for (;;) {
    if (::waitpid(s.pid, &status, kill_after < 0 ? 0 : WNOHANG) == s.pid) break;
    if (std::chrono::duration<double>(Clock::now() - s.start).count() >= kill_after) {
      ::kill(s.pid, SIGKILL);
      ::waitpid(s.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  o.seconds = std::chrono::duration<double>(Clock::now() - s.start).count();
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  o.out = Slurp(s.dir / "stdout");
  o.err = Slurp(s.dir / "stderr");
  return o;
}

// Runs `tool` and waits for it (StartTool, then WaitTool).
inline Spawned SpawnTool(const std::filesystem::path& dir, const char* tool,
                         std::vector<std::string> args, const std::string& input = "",
                         double kill_after = -1, const std::vector<std::string>& env = {}) {
  return WaitTool(StartTool(dir, tool, std::move(args), input, env), kill_after);
}

}  // namespace qbx::cli::test
