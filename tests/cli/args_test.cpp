#include "cli/args.h"

#include <gtest/gtest.h>

namespace qbx::cli {
namespace {

struct Good {
  std::vector<std::string> args;
  Command command;
  std::string operand;
  std::optional<std::string> db;
  bool trace, help, sample, no_finalize, json;
};

class CliParseGood : public testing::TestWithParam<Good> {};

TEST_P(CliParseGood, Fields) {
  const Good& g = GetParam();
  const Invocation inv = ParseArguments(g.args);
  EXPECT_EQ(inv.command, g.command);
  EXPECT_EQ(inv.operand, g.operand);
  EXPECT_EQ(inv.db, g.db);
  EXPECT_EQ(inv.trace, g.trace);
  EXPECT_EQ(inv.help, g.help);
  EXPECT_EQ(inv.sample, g.sample);
  EXPECT_EQ(inv.no_finalize, g.no_finalize);
  EXPECT_EQ(inv.json, g.json);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliParseGood,
    testing::Values(
        Good{{"init"}, Command::Init, "", std::nullopt, false, false, false, false, false},
        Good{{"init", "--sample", "--db", "a.db"},
             Command::Init,
             "",
             "a.db",
             false,
             false,
             true,
             false,
             false},
        // Common options stand before the command too, and --db=PATH works.
        Good{{"--db=x.db", "--trace", "init"},
             Command::Init,
             "",
             "x.db",
             true,
             false,
             false,
             false,
             false},
        Good{{"capture", "doc.json", "--no-finalize"},
             Command::Capture,
             "doc.json",
             std::nullopt,
             false,
             false,
             false,
             true,
             false},
        // "-" is standard input, not an option.
        Good{{"capture", "-"},
             Command::Capture,
             "-",
             std::nullopt,
             false,
             false,
             false,
             false,
             false},
        Good{{"show", "F1", "--json"},
             Command::Show,
             "F1",
             std::nullopt,
             false,
             false,
             false,
             false,
             true},
        Good{{"finalize", "F1"},
             Command::Finalize,
             "F1",
             std::nullopt,
             false,
             false,
             false,
             false,
             false},
        Good{{"cfdi", "F1"}, Command::Cfdi, "F1", std::nullopt, false, false, false, false, false},
        Good{{"cancel", "F1", "--trace"},
             Command::Cancel,
             "F1",
             std::nullopt,
             true,
             false,
             false,
             false,
             false},
        Good{{"requisition", "PED-1"},
             Command::Requisition,
             "PED-1",
             std::nullopt,
             false,
             false,
             false,
             false,
             false},
        Good{{"demo"}, Command::Demo, "", std::nullopt, false, false, false, false, false},
        // After "--" a folio that starts with a dash is an operand.
        Good{{"cancel", "--", "-7"},
             Command::Cancel,
             "-7",
             std::nullopt,
             false,
             false,
             false,
             false,
             false},
        // --help needs no operand.
        Good{{"capture", "--help"},
             Command::Capture,
             "",
             std::nullopt,
             false,
             true,
             false,
             false,
             false},
        Good{{"-h"}, Command::None, "", std::nullopt, false, true, false, false, false},
        Good{{"help", "show"},
             Command::Help,
             "show",
             std::nullopt,
             false,
             false,
             false,
             false,
             false}));

struct Bad {
  std::vector<std::string> args;
  std::string message;
};

class CliParseBad : public testing::TestWithParam<Bad> {};

TEST_P(CliParseBad, Message) {
  try {
    ParseArguments(GetParam().args);
    FAIL() << "accepted";
  } catch (const UsageError& e) {
    EXPECT_EQ(e.what(), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliParseBad,
    testing::Values(Bad{{}, "no command given"},
                    Bad{{"frobnicate"}, "unknown command 'frobnicate'"},
                    Bad{{"init", "--force"}, "unknown option '--force'"},
                    Bad{{"init", "--json"}, "option '--json' does not apply to 'init'"},
                    Bad{{"show", "F1", "--sample"}, "option '--sample' does not apply to 'show'"},
                    Bad{{"--sample"}, "option '--sample' needs a command"},
                    Bad{{"init", "--db"}, "option --db needs a path"},
                    Bad{{"init", "--db="}, "option --db needs a path"},
                    Bad{{"capture"}, "'capture' needs FILE"}, Bad{{"show"}, "'show' needs FOLIO"},
                    Bad{{"requisition"}, "'requisition' needs ORDER"},
                    Bad{{"show", "F1", "F2"}, "unexpected argument 'F2' for 'show'"},
                    Bad{{"demo", "x"}, "unexpected argument 'x' for 'demo'"},
                    Bad{{"help", "nothing"}, "unknown command 'nothing'"}));

TEST(CliDatabasePath, OptionThenEnvironmentThenDefault) {
  EXPECT_EQ(ResolveDatabasePath("a.db", "env.db"), "a.db");
  EXPECT_EQ(ResolveDatabasePath(std::nullopt, "env.db"), "env.db");
  EXPECT_EQ(ResolveDatabasePath(std::nullopt, ""), "quelbarix.db");
  EXPECT_EQ(ResolveDatabasePath(std::nullopt, nullptr), "quelbarix.db");
}

TEST(CliHelp, EveryCommandHasItsOwnUsage) {
  for (Command c : {Command::Init, Command::Capture, Command::Finalize, Command::Cfdi,
                    Command::Cancel, Command::Requisition, Command::Show, Command::Demo}) {
    const std::string text = HelpText(c);
    EXPECT_EQ(text.rfind("Usage: quelbarix " + std::string(CommandName(c)), 0), 0u) << text;
    EXPECT_NE(text.find("--db PATH"), std::string::npos) << text;
    EXPECT_NE(HelpText(Command::None).find(std::string(CommandName(c))), std::string::npos);
  }
  EXPECT_NE(HelpText(Command::Finalize)
                .find("cannot finalise inventory movements captured on "
                      "another object"),
            std::string::npos);
}

}  // namespace
}  // namespace qbx::cli
