// The tool's own texts follow the locale variables as gettext reads them,
// also when the locale is not installed; the component's texts never change.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/spawn.h"

namespace {

namespace fs = std::filesystem;
using qbx::cli::test::Has;

TEST(CliLanguage, LocaleVariablesChooseTheToolsLanguageNotTheComponents) {
  const qbx::test::TempFolder tmp{"quelbarix-cli"};
  const fs::path dir = tmp.path;
  const std::string db = (dir / "s.db").string();
  auto run = [&](std::vector<std::string> args, const std::vector<std::string>& env,
                 const std::string& input = "") {
    return qbx::cli::test::SpawnTool(dir, QUELBARIX_TOOL, std::move(args), input, -1, env);
  };
  ASSERT_EQ(run({"init", "--sample", "--db", db}, {}).status, 0);

  struct Texts {
    std::string usage, unknown, not_cancelled, unknown_product;
  };
  const Texts english{"Usage: quelbarix ", "quelbarix: unknown command 'fly'\n",
                      "quelbarix: transfer NOPE was not cancelled:\n",
                      "quelbarix: Detalles, line 1: Producto.Pr_Cve_Producto: unknown product "
                      "'NOPE' (`quelbarix catalogue products` lists them)\n"};
  const Texts spanish{"Uso: quelbarix ", "quelbarix: comando desconocido 'fly'\n",
                      "quelbarix: la transferencia NOPE no se canceló:\n",
                      "quelbarix: Detalles, renglón 1: Producto.Pr_Cve_Producto: producto "
                      "desconocido 'NOPE' (`quelbarix catalogue products` los lista)\n"};
  const struct {
    std::vector<std::string> env;
    const Texts& texts;
  } cases[] = {
      {{"LANG=es_MX.UTF-8"}, spanish},
      {{"LC_ALL=es_ES", "LANG=en_US.UTF-8"}, spanish},
      {{"LANGUAGE=es", "LANG=en_US.UTF-8"}, spanish},  // LANGUAGE comes first
      {{"LC_MESSAGES=es_MX.UTF-8", "LANG=en_US.UTF-8"}, spanish},
      {{"LC_ALL=C", "LANG=es_MX.UTF-8"}, english},  // LC_ALL before LANG
      {{"LANGUAGE=es", "LANG=C"}, english},         // gettext: not in the C locale
      {{"LANG=en_US.UTF-8"}, english},
      {{}, english},
  };
  // Refused by the checks made before anything is sent.
  const std::string unknown_product = R"({"Encabezado": {"Tr_Tipo": "SL"},
      "Detalles": [{"Producto": {"Pr_Cve_Producto": "NOPE"}}]})";
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.env));
    EXPECT_EQ(run({"--help"}, c.env).out.rfind(c.texts.usage, 0), 0u);
    const auto unknown = run({"fly"}, c.env);  // a wrong command line exits 2
    EXPECT_EQ(std::pair(unknown.status, unknown.err.substr(0, unknown.err.find('\n') + 1)),
              std::pair(2, c.texts.unknown));
    // The tool's words around the component's message, which stays as it is.
    const auto refused = run({"cancel", "NOPE", "--db", db}, c.env);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.rfind(c.texts.not_cancelled, 0), 0u) << refused.err;
    EXPECT_TRUE(Has(refused.err, "\nImposible localizar la transferencia: NOPE\n"));
    const auto unchecked = run({"capture", "-", "--db", db}, c.env, unknown_product);
    EXPECT_EQ(unchecked.status, 2);
    EXPECT_EQ(unchecked.err, c.texts.unknown_product);
  }
}

}  // namespace
