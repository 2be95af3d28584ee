// The tool's commands. Run() is the whole tool: it parses the command line,
// runs one command and answers its exit status (cli/args.h).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/trace.h"

namespace qbx::cli {

struct Streams {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  // Standard error is a terminal: progress of long documents is shown there.
  bool err_is_terminal = false;
};

int Run(const std::vector<std::string>& args, Streams io);

// What one command gets.
struct Context {
  const Invocation& invocation;
  std::string db_path;
  Streams io;
  TraceWriter trace;  // empty without --trace
};

int RunShow(Context& cx);  // show.cpp
int RunDemo(Context& cx);  // demo.cpp
int RunList(Context& cx);       // browse.cpp
int RunCatalogue(Context& cx);  // browse.cpp
int RunExample(Context& cx);    // browse.cpp

}  // namespace qbx::cli
