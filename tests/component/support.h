// Test support: a private registry file per test, and checks run in a child
// process (a fresh process that loads the libraries itself).
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

namespace qbx::test {

// Points QUELBARIX_REGISTRY at a file in a new temporary folder for the
// object's lifetime (tests run in parallel; each needs its own registry).
class TempRegistry {
 public:
  TempRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qbx-registry-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    folder_ = pattern;
    path_ = folder_ + "/registry";
    if (const char* old = std::getenv("QUELBARIX_REGISTRY")) previous_ = old;
    ::setenv("QUELBARIX_REGISTRY", path_.c_str(), 1);
  }
  ~TempRegistry() {
    if (previous_) {
      ::setenv("QUELBARIX_REGISTRY", previous_->c_str(), 1);
    } else {
      ::unsetenv("QUELBARIX_REGISTRY");
    }
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::string path_;
  std::optional<std::string> previous_;
};

// Failures noted by a child process (gtest assertions do not reach the
// parent from there).
class ChildLog {
 public:
  void Check(bool ok, const std::string& what) {
    if (!ok) text_ += what + "\n";
  }
  template <class A, class B>
  void Equal(const A& actual, const B& expected, const std::string& what) {
    if (actual == expected) return;
    std::ostringstream s;
    s << what << ": got " << Show(actual) << ", expected " << Show(expected) << "\n";
    text_ += s.str();
  }
  const std::string& text() const { return text_; }

 private:
  template <class T>
  static std::string Show(const T& v) {
    std::ostringstream s;
    if constexpr (requires { s << v; }) {
      s << v;
    } else if constexpr (requires {
                           v.has_value();
                           *v;
                         }) {
      if (v.has_value()) {
        s << *v;
      } else {
        s << "(none)";
      }
    } else {
      s << "(value)";
    }
    return s.str();
  }
  std::string text_;
};

// Runs body in a forked child and returns its failures ("" when every check
// held). An exception escaping body is a failure too.
inline std::string RunInChild(const std::function<void(ChildLog&)>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(fds[0]);
    ChildLog log;
    try {
      body(log);
    } catch (const std::exception& e) {
      log.Check(false, std::string("exception: ") + e.what());
    } catch (...) {
      log.Check(false, "unknown exception");
    }
    const std::string& text = log.text();
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fds[1]);
    // No exit handlers: the parent's gtest state must not run twice.
    ::_exit(text.empty() ? 0 : 1);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status))
    text += "child ended abnormally (signal " + std::to_string(WTERMSIG(status)) + ")\n";
  else if (WEXITSTATUS(status) != 0 && text.empty())
    text += "child failed without a message\n";
  return text;
}

}  // namespace qbx::test
