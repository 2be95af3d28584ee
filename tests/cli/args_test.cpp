#include "cli/args.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/commands.h"
#include "tests/cli/spawn.h"

namespace qbx::cli {
namespace {

using test::Has;

TEST(CliArguments, GoodCommandLines) {
  // flags in this order: t trace, h help, s sample, n no-finalize, j json,
  // p per-statement, f force, v version, k the key "K1", d the database "a.db";
  // the tool's end-to-end tests run the other options.
  const struct {
    std::vector<std::string> args;
    Command command;
    std::string operand, flags;
  } cases[] = {
      {{"init", "--sample", "--db", "a.db"}, Command::Init, "", "sd"},
      // Common options stand before the command too, and --db=PATH works.
      {{"--db=a.db", "--trace", "init"}, Command::Init, "", "td"},
      {{"finalize", "F1", "--force", "--key", "K1"}, Command::Finalize, "F1", "fk"},
      {{"cfdi", "F1", "--per-statement", "--force"}, Command::Cfdi, "F1", "pf"},
      {{"--key=K1", "capture", "d.json"}, Command::Capture, "d.json", "k"},
      {{"cancel", "--", "-7"}, Command::Cancel, "-7", ""},  // after "--" a dash starts an operand
      {{"capture", "--help"}, Command::Capture, "", "h"},   // no operand needed
      {{"-h"}, Command::None, "", "h"},
      {{"help", "show"}, Command::Help, "show", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Invocation i = ParseArguments(c.args);
    std::string flags;
    const std::pair<bool, char> set[] = {
        {i.trace, 't'}, {i.help, 'h'},          {i.sample, 's'}, {i.no_finalize, 'n'},
        {i.json, 'j'},  {i.per_statement, 'p'}, {i.force, 'f'},  {i.version, 'v'}};
    for (const auto& [on, f] : set)
      if (on) flags += f;
    if (i.key) flags += *i.key == "K1" ? "k" : "k?";
    if (i.db) flags += *i.db == "a.db" ? "d" : "d?";
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(i.command, c.command);
    EXPECT_EQ(i.operand, c.operand);
  }
}

TEST(CliArguments, BadCommandLinesSayWhy) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"init", "--forse"}, "unknown option '--forse'"},
      {{"show", "F1", "--key", "K"}, "option '--key' does not apply to 'show'"},
      {{"cancel", "F1", "--key"}, "option --key needs a key"},
      {{"cancel", "F1", "--key", "K", "--per-statement"},
       "--key cannot be used with --per-statement"},
      {{"--sample"}, "option '--sample' needs a command"},
      {{"init", "--db"}, "option --db needs a path"},
      {{"init", "--db="}, "option --db needs a path"},
      {{"show", "F1", "F2"}, "unexpected argument 'F2' for 'show'"},
      {{"demo", "x"}, "unexpected argument 'x' for 'demo'"},
      {{"help", "nothing"}, "unknown command 'nothing'"},
  };
  for (const auto& [args, message] : cases) {
    try {
      ParseArguments(args);
      ADD_FAILURE() << "accepted: " << message;
    } catch (const UsageError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

TEST(CliArguments, DatabaseFromOptionThenEnvironmentThenDefault) {
  EXPECT_EQ(
      std::vector(
          {ResolveDatabasePath("a.db", "env.db"), ResolveDatabasePath(std::nullopt, "env.db"),
           ResolveDatabasePath(std::nullopt, ""), ResolveDatabasePath(std::nullopt, nullptr)}),
      std::vector<std::string>({"a.db", "env.db", "quelbarix.db", "quelbarix.db"}));
  // A translation may reorder and repeat the arguments; other braces stay.
  EXPECT_EQ(Format("{1} de {0}, {1}", {"a", 2}), "2 de a, 2");
  EXPECT_EQ(Format("{\"k\": {2}} {}", {"a"}), "{\"k\": {2}} {}");
}

// The help texts and the README state the same default database, and the
// demo's exception where the demo may be meant.
TEST(CliArguments, HelpTextsAndReadmeAgree) {
  std::ostringstream readme;
  readme << std::ifstream(QUELBARIX_README).rdbuf();
  const std::string prose = std::regex_replace(
      std::regex_replace(readme.str(), std::regex("`"), ""), std::regex("\\s+"), " ");
  for (const auto& [text, demo] : {std::pair{HelpText(Command::Demo), true},
                                   {HelpText(Command::Show), false},
                                   {prose, true}}) {
    EXPECT_TRUE(Has(text, kDefaultDatabaseText));
    EXPECT_EQ(text.find(kDemoDatabaseText) != std::string::npos, demo) << text;
  }
}

// A failure whose words are the database's ("") is one JSON object all the same.
TEST(CliArguments, RunPrintsVersionAndJsonErrors) {
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"--version"}, 0, std::string("quelbarix ") + QUELBARIX_VERSION + "\n"},
      {{"show", "--json"},
       2,
       R"({"error":"'show' needs FOLIO","exit":2})"
       "\n"},
      {{"show", "F1", "--json", "--db", "/nonexistent/q.db"}, 1, ""},
  };
  for (const auto& [args, status, said] : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    std::ostringstream out, err;
    std::istringstream in;
    EXPECT_EQ(qbx::cli::Run(args, {out, err, in}), status);
    EXPECT_EQ(status ? out.str() : err.str(), "");
    if (!said.empty()) {
      EXPECT_EQ(status ? err.str() : out.str(), said);
    } else {
      const auto error = nlohmann::json::parse(err.str());
      EXPECT_EQ(error.size(), 2u);
      EXPECT_EQ(error["exit"], status);
      EXPECT_FALSE(error["error"].get<std::string>().empty());
    }
  }
}

}  // namespace
}  // namespace qbx::cli
