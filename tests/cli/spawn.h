// The built tool run as a child process, as a person or a script runs it.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/temp_folder.h"

extern char** environ;

namespace qbx::cli::test {

struct Spawned {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
  double seconds = 0;
};

inline std::string Slurp(const std::filesystem::path& p) {
  return {std::istreambuf_iterator<char>(std::ifstream(p, std::ios::binary).rdbuf()), {}};
}

inline std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

// Whether `text` holds `part`; says the text when not.
inline testing::AssertionResult Has(const std::string& text, std::string_view part) {
  if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

// A child started by StartTool and not yet waited for (pid -1: not started).
struct Started {
  pid_t pid = -1;
  std::filesystem::path dir;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// Starts `tool` with `input` as its standard input; its output passes through
// files in `dir`, so children running at once need folders of their own.
// `env` wins over the inherited environment, whose locale variables are left
// out: the tool speaks English unless `env` asks for another language.
inline Started StartTool(const std::filesystem::path& dir, const char* tool,
                         std::vector<std::string> args, const std::string& input = "",
                         std::vector<std::string> env = {}) {
  std::ofstream(dir / "stdin", std::ios::binary) << input;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, (dir / "stdin").c_str(), O_RDONLY, 0);
  for (const int fd : {1, 2})
    posix_spawn_file_actions_addopen(&actions, fd, (dir / (fd == 1 ? "stdout" : "stderr")).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  args.insert(args.begin(), tool);
  const std::regex locale("^(LANGUAGE|LC_ALL|LC_MESSAGES|LANG)=");
  for (char** e = environ; *e; ++e)
    if (!std::regex_search(*e, locale)) env.emplace_back(*e);
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& v : env) envp.push_back(v.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  Started s{-1, dir};
  const int failed = posix_spawn(&s.pid, tool, &actions, nullptr, argv.data(), envp.data());
  EXPECT_EQ(failed, 0) << "cannot start " << tool;
  if (failed) s.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return s;
}

// Waits for a started child; with kill_after >= 0 it is killed (SIGKILL) once
// it has run that many seconds.
inline Spawned WaitTool(const Started& s, double kill_after = -1) {
  if (s.pid < 0) return {};
  int status = 0;
  using namespace std::chrono;
  const auto seconds = [&] { return duration<double>(steady_clock::now() - s.start).count(); };
  while (::waitpid(s.pid, &status, kill_after < 0 ? 0 : WNOHANG) != s.pid) {
    if (seconds() >= kill_after) ::kill(s.pid, SIGKILL);  // reaped on a later turn
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Slurp(s.dir / "stdout"),
          Slurp(s.dir / "stderr"), seconds()};
}

inline Spawned SpawnTool(const std::filesystem::path& dir, const char* tool,
                         std::vector<std::string> args, const std::string& input = "",
                         double kill_after = -1, const std::vector<std::string>& env = {}) {
  return WaitTool(StartTool(dir, tool, std::move(args), input, env), kill_after);
}

}  // namespace qbx::cli::test
