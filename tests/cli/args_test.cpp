#include "cli/args.h"

#include <gtest/gtest.h>

namespace qbx::cli {
namespace {

TEST(CliArguments, GoodCommandLines) {
  // flags: t trace, h help, s sample, n no-finalize, j json, p per-statement,
  // f force; k: the key is "K1".
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
      {{"cfdi", "F1", "--per-statement"}, Command::Cfdi, "F1", std::nullopt, "p"},
      {{"--key=K1", "capture", "d.json"}, Command::Capture, "d.json", std::nullopt, "k"},
      {{"cancel", "F1", "--trace"}, Command::Cancel, "F1", std::nullopt, "t"},
      {{"requisition", "PED-1"}, Command::Requisition, "PED-1", std::nullopt, ""},
      {{"demo"}, Command::Demo, "", std::nullopt, ""},
      // After "--" a folio that starts with a dash is an operand.
      {{"cancel", "--", "-7"}, Command::Cancel, "-7", std::nullopt, ""},
      {{"capture", "--help"}, Command::Capture, "", std::nullopt, "h"},  // no operand needed
      {{"-h"}, Command::None, "", std::nullopt, "h"},
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

}  // namespace
}  // namespace qbx::cli
