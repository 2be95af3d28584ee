// The built tool, run as a person runs it, on temporary databases.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

class CliTool : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quelbarix-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    db_ = (dir_ / "t.db").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs the tool with the arguments; `input` is its standard input.
  Outcome Run(std::vector<std::string> args, const std::string& input = "",
              const std::vector<std::string>& env = {}) {
    const fs::path in = dir_ / "stdin", out = dir_ / "stdout", err = dir_ / "stderr";
    std::ofstream(in, std::ios::binary) << input;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), QUELBARIX_TOOL);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = env;
    for (char** e = environ; *e; ++e) variables.emplace_back(*e);  // the first of a name wins
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    Outcome o;
    const int rc = posix_spawn(&pid, QUELBARIX_TOOL, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      ADD_FAILURE() << "cannot start " << QUELBARIX_TOOL;
      return o;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.out = Slurp(out);
    o.err = Slurp(err);
    return o;
  }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }

  void InitSample() {
    const Outcome o = Run({"init", "--sample", "--db", db_});
    ASSERT_EQ(o.status, 0) << o.err;
  }

  nlohmann::json ShowJson(const std::string& folio) {
    const Outcome o = Run({"show", folio, "--json", "--db", db_});
    EXPECT_EQ(o.status, 0) << o.err;
    return nlohmann::json::parse(o.out);
  }

  static std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

  fs::path dir_;
  std::string db_;
};

// A request of the northern branch to the distribution centre: no stock
// needed, so it works on the bare sample catalogue. `second` is spliced into
// the second line.
std::string RequestDocument(const std::string& second = R"("Tr_Unidad_1": "PAQ")") {
  return R"({
    "Encabezado": {
      "Tr_Tipo": "SL",
      "Tr_Comentario": "request from the tests",
      "Sucursal": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}
    },
    "Detalles": [
      {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 24, "Tr_Unidad_1": "PZA",
       "Tr_Cantidad_Control_2": 2},
      {"Producto": {"Pr_Cve_Producto": "KIT-01"}, "Tr_Cantidad_1": 3,
       "Tr_Cantidad_Control_2": 18, )" +
         second + R"(}
    ]
  })";
}

TEST_F(CliTool, InitCreatesOnceAndRefusesAnExistingFile) {
  Outcome o = Run({"init", "--sample", "--db", db_});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find(db_), std::string::npos);
  o = Run({"init", "--db", db_});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("Ya existe la base de datos"), std::string::npos) << o.err;
}

TEST_F(CliTool, EveryCommandAnswersHelp) {
  for (const char* command :
       {"init", "capture", "finalize", "cfdi", "cancel", "requisition", "show", "demo"}) {
    const Outcome o = Run({command, "--help"});
    EXPECT_EQ(o.status, 0) << command << ": " << o.err;
    EXPECT_EQ(FirstLine(o.out).rfind(std::string("Usage: quelbarix ") + command, 0), 0u) << o.out;
  }
  const Outcome all = Run({"--help"});
  EXPECT_EQ(all.status, 0);
  EXPECT_NE(all.out.find("requisition ORDER"), std::string::npos);
}

TEST_F(CliTool, CommandLineMistakesExitTwo) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  for (const Case& c :
       std::vector<Case>{{{"capture", "x.json", "--bogus"}, "quelbarix: unknown option '--bogus'"},
                         {{"show"}, "quelbarix: 'show' needs FOLIO"},
                         {{"fly"}, "quelbarix: unknown command 'fly'"},
                         {{}, "quelbarix: no command given"}}) {
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, 2) << c.message;
    EXPECT_EQ(FirstLine(o.err), c.message);
  }
}

TEST_F(CliTool, CommandsOnAMissingDatabaseSaySo) {
  const Outcome o = Run({"show", "F1", "--db", (dir_ / "none.db").string()});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("No existe la base de datos"), std::string::npos) << o.err;
}

TEST_F(CliTool, CapturePrintsTheFolioAndShowReportsTheRows) {
  InitSample();
  const Outcome o = Run({"capture", Write("sl.json", RequestDocument()), "--db", db_});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string folio = FirstLine(o.out);
  ASSERT_FALSE(folio.empty());
  EXPECT_EQ(o.out, folio + "\n");

  const nlohmann::json shown = ShowJson(folio);
  EXPECT_EQ(shown["folio"], folio);
  EXPECT_EQ(shown["tipo"], "SL");
  EXPECT_EQ(shown["estado"], "AC");
  EXPECT_EQ(shown["finalizada"], true);
  ASSERT_EQ(shown["renglones"].size(), 2u);
  const auto& first = shown["renglones"][0];
  EXPECT_EQ(first["Tr_ID"], "0001");
  EXPECT_EQ(first["Pr_Cve_Producto"], "TORN-001");
  EXPECT_EQ(first["Tr_Cantidad_Control_1"], 24);
  EXPECT_EQ(first["Tr_Comentario"], "request from the tests");
  EXPECT_EQ(first["Sc_Cve_Sucursal_Recibe"], "CEDIS");
  const auto& second = shown["renglones"][1];
  EXPECT_EQ(second["Tr_ID"], "0002");
  EXPECT_EQ(second["Pr_Cve_Producto"], "KIT-01");
  // A request moves no goods.
  EXPECT_TRUE(shown["movimientos"].empty());

  const Outcome table = Run({"show", folio, "--db", db_});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(FirstLine(table.out), "Transfer " + folio + ": request (SL), state AC, " +
                                      "finalised " +
                                      shown["fecha_finalizacion"].get<std::string>());
  EXPECT_NE(table.out.find("TORN-001"), std::string::npos);
}

TEST_F(CliTool, CaptureWithoutFinalisingLeavesItUnfinalised) {
  InitSample();
  const Outcome o = Run({"capture", "-", "--no-finalize", "--db", db_}, RequestDocument());
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string folio = FirstLine(o.out);
  EXPECT_EQ(ShowJson(folio)["finalizada"], false);
  const Outcome f = Run({"finalize", folio, "--db", db_});
  EXPECT_EQ(f.status, 0) << f.err;
  EXPECT_EQ(ShowJson(folio)["finalizada"], true);
}

TEST_F(CliTool, ARefusedLineExitsOneAndNamesTheLineAndWhatIsStored) {
  struct Case {
    std::string second_line;
    std::string message;
  };
  // Refused by Add_Transferencia_Detalle, and by the write of Detalle (read
  // from Error, since the tool turns MostrarMensajeError off).
  for (const Case& c : std::vector<Case>{
           {R"("Tr_Unidad_1": "PAQ", "Tr_Costo": -0.5)",
            "Quelbarix.dll - Add_Transferencia_Detalle()\nEl costo no puede ser negativo: \n"
            "Costo: -0.5\n"},
           {R"("Tr_Unidad_1": "PAQ", "Tr_Cantidad_Control_1": 3)",
            "Property Let Detalle() - \nEl parámetro Tr_Cantidad_Control_1, es de solo "
            "lectura!\n"}}) {
    SCOPED_TRACE(c.second_line);
    std::error_code ignored;
    fs::remove(db_, ignored);
    InitSample();
    const Outcome o =
        Run({"capture", Write("bad.json", RequestDocument(c.second_line)), "--db", db_});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("quelbarix: line 2 refused:\n" + c.message), std::string::npos) << o.err;
    const std::string marker = "1 line is stored under folio ";
    const size_t at = o.err.find(marker);
    ASSERT_NE(at, std::string::npos) << o.err;
    const size_t from = at + marker.size();
    const std::string folio = o.err.substr(from, o.err.find(' ', from) - from);
    EXPECT_NE(o.err.find("`quelbarix cancel " + folio + "` undoes them."), std::string::npos);
    EXPECT_EQ(ShowJson(folio)["renglones"].size(), 1u);
    EXPECT_EQ(ShowJson(folio)["finalizada"], false);
  }
}

TEST_F(CliTool, ARefusedFirstLineStoresNothing) {
  InitSample();
  const std::string doc = R"({"Encabezado": {"Tr_Tipo": "SL",
      "Sucursal": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen": {"Al_Cve_Almacen": "NADA"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
    "Detalles": [{"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 1,
                  "Tr_Unidad_1": "PZA"}]})";
  const Outcome o = Run({"capture", "-", "--db", db_}, doc);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "quelbarix: line 1 refused:\nQuelbarix.dll - Add_Transferencia_Detalle()\n"
            "el almacén: NADA, de la sucursal: NORTE, no existe o esta dado de baja\n"
            "Nothing was stored.\n");
}

TEST_F(CliTool, CancelAndItsRefusalComeFromTheComponent) {
  InitSample();
  const Outcome o = Run({"capture", "-", "--db", db_}, RequestDocument());
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string folio = FirstLine(o.out);
  const Outcome cancel = Run({"cancel", folio, "--db", db_});
  EXPECT_EQ(cancel.status, 0) << cancel.err;
  EXPECT_EQ(ShowJson(folio)["estado"], "CA");
  const Outcome again = Run({"cancel", folio, "--db", db_});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "quelbarix: transfer " + folio +
                           " was not cancelled:\nQuelbarix.dll - Cancelar_Transferencia()\n"
                           "Imposible cancelar la transferencia: " +
                           folio + ", con estado = 'CA'\n");
  const Outcome unknown = Run({"cancel", "NO-SUCH", "--db", db_});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("Imposible localizar la transferencia: NO-SUCH"), std::string::npos);
}

TEST_F(CliTool, AWrongDocumentExitsTwoAndTouchesNothing) {
  InitSample();
  const Outcome o =
      Run({"capture", "-", "--db", db_},
          R"({"Encabezado": {"Tr_Tipo": "SL", "Tr_Fecha": "ayer"}, "Detalles": [{}]})");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(FirstLine(o.err),
            "quelbarix: Encabezado.Tr_Fecha: not an ISO 8601 date (yyyy-mm-dd or "
            "yyyy-mm-ddThh:mm:ss): \"ayer\"");
  const Outcome missing = Run({"capture", (dir_ / "nope.json").string(), "--db", db_});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
}

TEST_F(CliTool, TracePrintsStatementsAndOutsideCalls) {
  InitSample();
  const Outcome o = Run({"capture", "-", "--trace", "--db", db_}, RequestDocument());
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("call: DataServices#2.Obtener_Folio(\"NORTE\", \"Transferencia\", 10, "
                       "True)"),
            std::string::npos)
      << o.err;
  EXPECT_NE(o.err.find("sql: INSERT INTO Transferencia (Tr_Folio, Tr_ID,"), std::string::npos);
  EXPECT_NE(o.err.find("tool: Transferencia#1.Add_Transferencia_Detalle()"), std::string::npos);
  // The folio alone stays on standard output.
  EXPECT_EQ(o.out.find('\n'), o.out.size() - 1);
}

TEST_F(CliTool, TheDatabaseComesFromTheEnvironmentWithoutDb) {
  InitSample();
  const Outcome o = Run({"capture", "-"}, RequestDocument(), {"QUELBARIX_DB=" + db_});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(ShowJson(FirstLine(o.out))["renglones"].size(), 2u);
}

TEST_F(CliTool, RequisitionShipmentAndTransportDocument) {
  InitSample();
  const Outcome rq = Run({"requisition", "PED-0001", "--db", db_});
  ASSERT_EQ(rq.status, 0) << rq.err;
  const std::string request = FirstLine(rq.out);
  const nlohmann::json r = ShowJson(request);
  EXPECT_EQ(r["tipo"], "SL");
  EXPECT_EQ(r["finalizada"], true);
  ASSERT_EQ(r["renglones"].size(), 1u);
  const double asked = r["renglones"][0]["Tr_Cantidad_Control_1"].get<double>();
  EXPECT_GT(asked, 0);

  const std::string shipment_doc = R"({"Encabezado": {"Tr_Tipo": "EN", "Tr_Referencia": ")" +
                                   request + R"(",
      "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
    "Detalles": [{"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": )" +
                                   std::to_string(asked) + R"(, "Tr_Unidad_1": "PZA",
                  "Tr_Cantidad_Control_2": 1}]})";
  const Outcome en = Run({"capture", "-", "--db", db_}, shipment_doc);
  ASSERT_EQ(en.status, 0) << en.err;
  const std::string shipment = FirstLine(en.out);
  nlohmann::json e = ShowJson(shipment);
  EXPECT_EQ(e["finalizada"], true);
  // Finalised on the capturing object: every movement applied.
  ASSERT_FALSE(e["movimientos"].empty());
  for (const auto& m : e["movimientos"]) EXPECT_EQ(m["Mv_Aplicado"], 1) << m.dump();
  ASSERT_EQ(e["polizas"].size(), 1u);
  EXPECT_EQ(e["polizas"][0]["Po_Cargos"], e["polizas"][0]["Po_Abonos"]);
  EXPECT_TRUE(e["traslado"].empty());

  const Outcome cfdi = Run({"cfdi", shipment, "--db", db_});
  ASSERT_EQ(cfdi.status, 0) << cfdi.err;
  const std::string traslado = FirstLine(cfdi.out);
  e = ShowJson(shipment);
  ASSERT_EQ(e["traslado"].size(), 1u);
  EXPECT_EQ(e["traslado"][0]["Tr_Folio"], traslado);
  EXPECT_EQ(e["traslado"][0]["Tr_Documento"], shipment);

  // The component's refusals reach the person unchanged.
  const Outcome not_en = Run({"cfdi", request, "--db", db_});
  EXPECT_EQ(not_en.status, 1);
  EXPECT_NE(not_en.err.find("Quelbarix.dll - Generar_CFDI_Traslado() \nLa transferencia no "
                            "existe o no es de tipo EN - Envío"),
            std::string::npos)
      << not_en.err;
  const Outcome no_order = Run({"requisition", "NADA", "--db", db_});
  EXPECT_EQ(no_order.status, 1);
  EXPECT_NE(no_order.err.find("No se encontró el pedido con el folio proporcionado: NADA"),
            std::string::npos)
      << no_order.err;
  const Outcome no_transfer = Run({"finalize", "NADA", "--db", db_});
  EXPECT_EQ(no_transfer.status, 1);
  EXPECT_EQ(no_transfer.err, "quelbarix: there is no transfer with folio NADA\n");
}

TEST_F(CliTool, DemoRunsTheWholeChainAndKeepsItsDatabase) {
  const Outcome o = Run({"demo", "--db", db_});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(o.out.find("[FAILED]"), std::string::npos) << o.out;
  for (const char* step : {"Step 1.", "Step 2.", "Step 3.", "Step 4.", "Step 5.", "Step 6."})
    EXPECT_NE(o.out.find(step), std::string::npos) << step;
  EXPECT_NE(o.out.find("Every step did what it should."), std::string::npos);
  EXPECT_TRUE(fs::exists(db_));
  const Outcome again = Run({"demo", "--db", db_});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("Ya existe la base de datos"), std::string::npos) << again.err;
}

TEST_F(CliTool, DemoWithoutDbMakesANewFileUnderTheTemporaryFolder) {
  const Outcome o = Run({"demo"}, "", {"TMPDIR=" + dir_.string(), "QUELBARIX_DB=" + db_});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  const std::string marker = "Quelbarix demo on a new sample database: ";
  ASSERT_EQ(o.out.rfind(marker, 0), 0u) << o.out;
  const fs::path made = FirstLine(o.out).substr(marker.size());
  EXPECT_EQ(made.parent_path(), dir_);
  EXPECT_TRUE(fs::exists(made));
  EXPECT_FALSE(fs::exists(db_));  // the usual database is left alone
}

}  // namespace
