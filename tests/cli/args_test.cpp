#include "cli/args.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/commands.h"

namespace qbx::cli {
namespace {

TEST(CliArguments, GoodCommandLines) {
  // flags: t trace, h help, s sample, n no-finalize, j json, p per-statement,
  // f force, v version; k: the key is "K1".
  const struct {
    std::vector<std::string> args;
    Command command;
    std::string operand;
    std::optional<std::string> db;
    std::string flags;
  } cases[] = {
      {{"init"}, Command::Init, "", std::nullopt, ""},
      {{"init", "--sample", "--db", "a.db"}, Command::Init, "", "a.db", "s"},
      // Common options stand before the command too, and --db=PATH works.
      {{"--db=x.db", "--trace", "init"}, Command::Init, "", "x.db", "t"},
      {{"capture", "doc.json", "--no-finalize"}, Command::Capture, "doc.json", std::nullopt, "n"},
      {{"capture", "-"}, Command::Capture, "-", std::nullopt, ""},  // standard input
      {{"show", "F1", "--json"}, Command::Show, "F1", std::nullopt, "j"},
      {{"finalize", "F1", "--force", "--key", "K1"}, Command::Finalize, "F1", std::nullopt, "fk"},
      {{"cfdi", "F1", "--per-statement", "--force"}, Command::Cfdi, "F1", std::nullopt, "pf"},
      {{"--key=K1", "capture", "d.json"}, Command::Capture, "d.json", std::nullopt, "k"},
      {{"cancel", "F1", "--trace"}, Command::Cancel, "F1", std::nullopt, "t"},
      {{"requisition", "PED-1"}, Command::Requisition, "PED-1", std::nullopt, ""},
      {{"demo"}, Command::Demo, "", std::nullopt, ""},
      // After "--" a folio that starts with a dash is an operand.
      {{"cancel", "--", "-7"}, Command::Cancel, "-7", std::nullopt, ""},
      {{"capture", "--help"}, Command::Capture, "", std::nullopt, "h"},  // no operand needed
      {{"-h"}, Command::None, "", std::nullopt, "h"},
      {{"--version"}, Command::None, "", std::nullopt, "v"},
      {{"help", "show"}, Command::Help, "show", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Invocation inv = ParseArguments(c.args);
    auto flag = [&](char f) { return c.flags.find(f) != std::string::npos; };
    EXPECT_EQ(inv.command, c.command);
    EXPECT_EQ(inv.operand, c.operand);
    EXPECT_EQ(inv.db, c.db);
    EXPECT_EQ(inv.trace, flag('t'));
    EXPECT_EQ(inv.help, flag('h'));
    EXPECT_EQ(inv.version, flag('v'));
    EXPECT_EQ(inv.sample, flag('s'));
    EXPECT_EQ(inv.no_finalize, flag('n'));
    EXPECT_EQ(inv.json, flag('j'));
    EXPECT_EQ(inv.per_statement, flag('p'));
    EXPECT_EQ(inv.force, flag('f'));
    EXPECT_EQ(inv.key, flag('k') ? std::optional<std::string>("K1") : std::nullopt);
  }
}

TEST(CliArguments, BadCommandLinesSayWhy) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"init", "--forse"}, "unknown option '--forse'"},
      {{"init", "--force"}, "option '--force' does not apply to 'init'"},
      {{"show", "F1", "--key", "K"}, "option '--key' does not apply to 'show'"},
      {{"cancel", "F1", "--key"}, "option --key needs a key"},
      {{"cancel", "F1", "--key", "K", "--per-statement"},
       "--key cannot be used with --per-statement"},
      {{"init", "--json"}, "option '--json' does not apply to 'init'"},
      {{"show", "F1", "--sample"}, "option '--sample' does not apply to 'show'"},
      {{"--sample"}, "option '--sample' needs a command"},
      {{"init", "--db"}, "option --db needs a path"},
      {{"init", "--db="}, "option --db needs a path"},
      {{"capture"}, "'capture' needs FILE"},
      {{"show"}, "'show' needs FOLIO"},
      {{"requisition"}, "'requisition' needs ORDER"},
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
  EXPECT_EQ(ResolveDatabasePath("a.db", "env.db"), "a.db");
  EXPECT_EQ(ResolveDatabasePath(std::nullopt, "env.db"), "env.db");
  EXPECT_EQ(ResolveDatabasePath(std::nullopt, ""), "quelbarix.db");
  EXPECT_EQ(ResolveDatabasePath(std::nullopt, nullptr), "quelbarix.db");
}

TEST(CliArguments, EveryCommandHasItsOwnUsage) {
  for (Command c : {Command::Init, Command::Capture, Command::Finalize, Command::Cfdi,
                    Command::Cancel, Command::Requisition, Command::Show, Command::Demo}) {
    const std::string text = HelpText(c);
    EXPECT_EQ(text.rfind("Usage: quelbarix " + std::string(CommandName(c)), 0), 0u) << text;
    EXPECT_NE(text.find("--db NAME"), std::string::npos) << text;
    EXPECT_NE(HelpText(Command::None).find(std::string(CommandName(c))), std::string::npos);
  }
  EXPECT_NE(HelpText(Command::Finalize)
                .find("cannot finalise inventory movements captured on another object"),
            std::string::npos);
}

// Every help text and the README state the same default database, and the
// demo's exception where the demo may be meant.
TEST(CliArguments, HelpTextsAndReadmeAgreeOnTheDefaultDatabase) {
  std::ostringstream readme;
  readme << std::ifstream(QUELBARIX_README).rdbuf();
  const std::string prose =
      std::regex_replace(std::regex_replace(readme.str(), std::regex("`"), ""),
                         std::regex("\\s+"), " ");
  const std::pair<std::string, std::vector<std::string_view>> texts[] = {
      {HelpText(Command::None), {kDefaultDatabaseText, kDemoDatabaseText}},
      {HelpText(Command::Init), {kDefaultDatabaseText}},
      {HelpText(Command::Show), {kDefaultDatabaseText}},
      {HelpText(Command::Capture), {kDefaultDatabaseText}},
      {HelpText(Command::Demo), {kDefaultDatabaseText, kDemoDatabaseText}},
      {prose, {kDefaultDatabaseText, kDemoDatabaseText}},
  };
  for (const auto& [text, phrases] : texts) {
    for (std::string_view phrase : phrases)
      EXPECT_NE(text.find(phrase), std::string::npos) << phrase << " in:\n" << text;
    EXPECT_EQ(text.find("quelbarix.db here"), std::string::npos);
  }
}

// A translation may reorder and repeat the arguments; other braces stay.
TEST(CliArguments, FormatPlacesArgumentsByNumber) {
  EXPECT_EQ(Format("{1} de {0}, {1}", {"a", 2}), "2 de a, 2");
  EXPECT_EQ(Format("{\"k\": {2}} {}", {"a"}), "{\"k\": {2}} {}");
}

TEST(CliArguments, RunPrintsVersionAndJsonErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } cases[] = {
      {{"--version"}, 0, std::string("quelbarix ") + QUELBARIX_VERSION + "\n", ""},
      {{"show", "--json"}, 2, "", R"({"error":"'show' needs FOLIO","exit":2})" "\n"},
      {{"list", "--json", "--type"}, 2, "",
       R"({"error":"option --type needs a value","exit":2})" "\n"},
      {{"show", "F1", "--json", "--db", "/nonexistent/q.db"}, 1, "", ""},
      {{"catalogue", "units", "--json", "--db", "/nonexistent/q.db"}, 1, "", ""},
      {{"list", "--json", "--db", "/nonexistent/q.db"}, 1, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::ostringstream out, err;
    std::istringstream in;
    EXPECT_EQ(qbx::cli::Run(c.args, {out, err, in}), c.status);
    EXPECT_EQ(out.str(), c.out);
    if (c.status == 0 || !c.err.empty()) {
      EXPECT_EQ(err.str(), c.err);
    } else {  // a failure whose words are the database's: one object all the same
      const auto error = nlohmann::json::parse(err.str());
      EXPECT_EQ(error.size(), 2u);
      EXPECT_EQ(error["exit"], c.status);
      EXPECT_FALSE(error["error"].get<std::string>().empty());
    }
  }
}

}  // namespace
}  // namespace qbx::cli
