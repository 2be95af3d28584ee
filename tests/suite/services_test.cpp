// SystemServices and DataServices on a real database with the sample
// catalogue; folios and series numbers under concurrent writers.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "services/connection.h"
#include "services/inventory_services.h"
#include "services/system_services.h"
#include "suite/reports.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

class ServicesTest : public SuiteTest {
 protected:
  void SetUp() override {
    SuiteTest::SetUp();
    system_ = Make<ISystemServices>(kClsidSystemServices);
    data_ = Make<IDataServices>(kClsidDataServices);
  }
  std::string NextId(const std::string& folio) {
    return data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", folio, "", "");
  }
  void AddLine(const std::string& folio, const std::string& id) {
    Db()->Run("INSERT INTO Transferencia (Tr_Folio, Tr_ID) VALUES (?1, ?2)", {folio, id});
  }

  com::ComPtr<ISystemServices> system_;
  com::ComPtr<IDataServices> data_;
};

TEST_F(ServicesTest, FieldValuesByKeyWithSecondKeyAndExcludedState) {
  Db()->Run("INSERT INTO Unidad (Un_Cve_Unidad, Un_Descripcion) VALUES ('P''Z', 'Pieza ''A''')");
  const struct {
    std::string table, key, value, result, key2, value2, excluded, expected;
  } cases[] = {
      {"Almacen", "Al_Cve_Almacen", "GRL", "Al_Descripcion", "Sc_Cve_Sucursal", "NORTE", "BA",
       "Almacén general"},
      {"Almacen", "Al_Cve_Almacen", "OBS", "Al_Descripcion", "Sc_Cve_Sucursal", "NORTE", "BA", ""},
      {"Almacen", "Al_Cve_Almacen", "OBS", "Al_Descripcion", "Sc_Cve_Sucursal", "NORTE", "",
       "Almacén dado de baja"},
      {"Almacen", "Al_Cve_Almacen", "OBS", "Al_Descripcion", "Sc_Cve_Sucursal", "SUR", "", ""},
      // Names and codes in any case; the second key is ignored without its column.
      {"SUCURSAL", "sc_cve_sucursal", "norte", "SC_CENTRO_DISTRIBUCION", "", "SUR", "", "CEDIS"},
      {"Transferencia", "Tr_Folio", "NADA", "Es_Cve_Estado", "", "", "", ""},  // no row
      // Values holding single quotes are values, not statement text.
      {"Unidad", "Un_Cve_Unidad", "P'Z", "Un_Descripcion", "", "", "BA", "Pieza 'A'"},
      {"Unidad", "Un_Cve_Unidad", "x' OR '1'='1", "Un_Descripcion", "", "", "", ""},
      {"Pedido", "Pd_Folio", "PED-0002", "Pd_Cantidad_1", "Pd_ID", "0002", "", "12"},  // a number
  };
  for (const auto& c : cases) {
    EXPECT_EQ(data_->Obtener_Valor_Campo(c.table, c.key, c.value, c.result, 0, c.key2, c.value2,
                                         c.excluded),
              c.expected)
        << c.table << " " << c.key << "=" << c.value << " -> " << c.result;
    EXPECT_EQ(data_->Obtener_Ultimo_Error(), "");
  }
  // Identifiers are checked against the schema, and named: never statement text.
  for (const auto& [table, result, named] :
       {std::tuple("Sucursales", "Sc_Descripcion", "'Sucursales'"),
        std::tuple("Sucursal", "Sc_Descripcion; DROP TABLE Sucursal", "'Sc_Descripcion; DROP")}) {
    RuntimeError e = ErrorOf([&] {
      data_->Obtener_Valor_Campo(table, "Sc_Cve_Sucursal", "CEDIS", result, 0, "", "", "");
    });
    EXPECT_EQ(e.number(), kErrSuite);
    EXPECT_NE(e.description().find(named), std::string::npos) << e.description();
  }
}

// Inside a unit of work a catalogue row looked up by its key is read once and
// answers every field, with the answers given outside a unit.
TEST_F(ServicesTest, InsideAUnitACatalogueRowIsReadOnce) {
  auto connection = system_->Obtener_Conexion();
  auto stock = Make<IInventoryServices>(kClsidInventoryServices);
  auto answers = [&] {
    std::vector<std::string> out;
    for (const char* field : {"Pr_Descripcion", "pr_tipo_producto", "Pr_Unidad_Control_1",
                              "Pr_Unidad_Control_2", "Pr_Cuenta_Contable"})
      out.push_back(data_->Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "AZUCAR", field, 0,
                                               "", "", ""));
    out.push_back(stock->Obtener_Tipo_Producto("AZUCAR"));
    out.push_back(data_->Obtener_Valor_Campo("UNIDAD", "Un_Cve_Unidad", "KG", "Un_Descripcion", 0,
                                             "", "", "BA"));
    out.push_back(data_->Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "NADA",
                                             "Pr_Descripcion", 0, "", "", ""));
    return out;
  };
  auto sent = [&] { return Db()->StatementCount(Origin::Suite); };
  const std::vector<std::string> outside = answers();
  EXPECT_EQ(outside[0], "Azúcar estándar");
  EXPECT_EQ(outside[6], "Kilogramo");
  int64_t before = sent();
  EXPECT_EQ(answers(), outside);
  EXPECT_EQ(sent() - before, 8);  // one read per answer

  connection->BeginTrans();
  before = sent();
  EXPECT_EQ(answers(), outside);
  EXPECT_EQ(answers(), outside);
  EXPECT_EQ(sent() - before, 3);  // the product, the unit, the missing product
  EXPECT_EQ(Db()->KeptRows(), 3u);
  // A column the row lacks is reported as outside a unit.
  EXPECT_EQ(ErrorOf([&] {
              data_->Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "AZUCAR", "Pr_Nada", 0, "",
                                         "", "");
            }).number(),
            kErrSuite);
  connection->CommitTrans();
  EXPECT_EQ(Db()->KeptRows(), 0u);
}

// Kept rows never answer for a row that changed: a change to their table, a
// rolled-back savepoint and the end of the unit each drop them.
TEST_F(ServicesTest, KeptCatalogueRowsFollowEveryChange) {
  auto connection = system_->Obtener_Conexion();
  auto description = [&] {
    return data_->Obtener_Valor_Campo("Producto", "Pr_Cve_Producto", "AZUCAR", "Pr_Descripcion", 0,
                                      "", "", "");
  };
  auto set = [&](const std::string& text) {
    connection->Execute(
        "UPDATE Producto SET Pr_Descripcion = '" + text + "' WHERE Pr_Cve_Producto = 'AZUCAR'",
        Variant(Missing{}), -1);
  };
  const std::string original = description();
  connection->BeginTrans();
  EXPECT_EQ(description(), original);
  set("uno");
  EXPECT_EQ(description(), "uno");
  EXPECT_EQ(connection->BeginTrans(), 2);
  set("dos");
  EXPECT_EQ(description(), "dos");
  connection->RollbackTrans();
  EXPECT_EQ(description(), "uno");
  // A service's transaction that fails inside the unit.
  EXPECT_EQ(ErrorOf([&] {
              Db()->Transaction([&] {
                set("tres");
                EXPECT_EQ(description(), "tres");
                throw RuntimeError(5, "falla");
              });
            }).number(),
            5);
  EXPECT_EQ(description(), "uno");
  connection->RollbackTrans();
  EXPECT_EQ(Db()->KeptRows(), 0u);
  EXPECT_EQ(description(), original);

  connection->BeginTrans();
  EXPECT_EQ(description(), original);
  connection->CommitTrans();
  EXPECT_EQ(Db()->KeptRows(), 0u);
  Database other(db_path(), false);
  other.Run("UPDATE Producto SET Pr_Descripcion = 'otra' WHERE Pr_Cve_Producto = 'AZUCAR'");
  connection->BeginTrans();
  EXPECT_EQ(description(), "otra");
  connection->RollbackTrans();
}

TEST_F(ServicesTest, NextIdsAreLineNumbersOrderedAsNumbers) {
  EXPECT_EQ(NextId("F1"), "0001");
  for (const char* id : {"0001", "0002", "0009"}) AddLine("F1", id);
  EXPECT_EQ(NextId("F1"), "0010");
  AddLine("F1", "9999");
  EXPECT_EQ(NextId("F1"), "10000");
  AddLine("F1", "10000");
  EXPECT_EQ(NextId("F1"), "10001");  // as text "9999" sorts after "10000"
  AddLine("O'F", "0004");
  EXPECT_EQ(data_->Obtener_Siguiente_Id("Transferencia", "tr_id", "TR_FOLIO", "O'F", "", ""),
            "0005");
  EXPECT_EQ(NextId("F2"), "0001");
  EXPECT_EQ(ErrorOf([&] {
              data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID) FROM x --", "Tr_Folio", "F1", "",
                                          "");
            }).number(),
            kErrSuite);
  // One index step per call whatever the document's size: no scan, no sort.
  auto db = Db();
  std::string sent;
  db->SetTraceSink([&](Origin, std::string_view text) {
    if (text.find("CAST(") != std::string_view::npos) sent = text;
  });
  NextId("F1");
  db->SetTraceSink(nullptr);
  QBX_SKIP_ON_SERVER("the plan is the embedded file's");
  const std::string details = Plan(sent);
  EXPECT_NE(details.find("IX_Transferencia_Id_Numero"), std::string::npos) << details;
  EXPECT_EQ(details.find("TEMP B-TREE"), std::string::npos) << details;
  EXPECT_EQ(details.find("SCAN"), std::string::npos) << details;
}

TEST_F(ServicesTest, FoliosAndSeriesNumbersPerBranch) {
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "Transferencia", 10, true), Variant("CEDIS-0000000001"));
  EXPECT_EQ(data_->Obtener_Folio("cedis", "TRANSFERENCIA", 10, true), Variant("CEDIS-0000000002"));
  EXPECT_EQ(data_->Obtener_Folio("NORTE", "Transferencia", 10, true), Variant("NORTE-0000000001"));
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "TRASLADO", 10, true), Variant("CEDIS-0000000001"));
  // Without consuming, the next one is shown and still handed out later.
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "Transferencia", 10, false), Variant("CEDIS-0000000003"));
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "Transferencia", 4, true), Variant("CEDIS-0003"));
  EXPECT_EQ(data_->Obtener_Ultimo_Error(), "");
  EXPECT_EQ(data_->Obtener_Folio("NADA", "Transferencia", 10, true), Variant(""));
  EXPECT_NE(data_->Obtener_Ultimo_Error().find("NADA"), std::string::npos);
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "", 10, true), Variant(""));
  EXPECT_NE(data_->Obtener_Ultimo_Error(), "");

  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("CEDIS", "TC", 4), 1);
  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("CEDIS", "TC", 4), 2);
  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("CEDIS", "A", 4), 1);
  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("NORTE", "TC", 4), 1);
}

// A child process and two threads of this one take folios and series
// numbers at once: none is handed out twice and none is skipped.
TEST_F(ServicesTest, ConcurrentWritersNeverShareAFolio) {
  constexpr int kEach = 100, kWriters = 3;
  system_ = nullptr;  // no connection open at the fork: the child opens its own
  data_ = nullptr;
  const auto hammer = [&] {
    auto data = Make<IDataServices>(kClsidDataServices);
    std::vector<std::string> out;
    try {
      for (int i = 0; i < kEach; ++i) {
        out.push_back(data->Obtener_Folio("CEDIS", "Transferencia", 10, true).ToString());
        out.push_back("serie " + std::to_string(data->Obtener_Consecutivo_Serie("CEDIS", "TC", 4)));
      }
    } catch (const RuntimeError& e) {  // a writer refused for contention
      out.push_back("error: " + e.description());
    }
    return out;
  };
  const std::string child_file = dir() + "/hijo.txt";
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::ofstream out(child_file);
    for (const std::string& s : hammer()) out << s << "\n";
    out.close();
    _exit(0);
  }
  std::vector<std::string> all, other;
  std::thread second([&] { other = hammer(); });
  all = hammer();
  second.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  all.insert(all.end(), other.begin(), other.end());
  std::ifstream in(child_file);
  for (std::string line; std::getline(in, line);) all.push_back(line);
  const std::set<std::string> distinct(all.begin(), all.end());
  EXPECT_EQ(all.size(), 2u * kWriters * kEach);
  EXPECT_EQ(distinct.size(), all.size());
  EXPECT_TRUE(distinct.count("CEDIS-" + FormatZeros(kWriters * kEach, "0000000000")));
  EXPECT_TRUE(distinct.count("serie " + std::to_string(kWriters * kEach)));
}

TEST_F(ServicesTest, ParametersAndConversionFactors) {
  Db()->Exec(
      "INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo, Es_Cve_Estado) VALUES "
      "('PRUEBA_NULO', NULL, 'B', 'AC'), ('PRUEBA_APAGADO', '0', 'B', 'AC'), "
      "('PRUEBA_NUMERO', '2.5', 'N', 'AC'), ('PRUEBA_BAJA', '1', 'B', 'BA')");
  const struct {
    std::string name, kind, default_value;
    Variant expected;
  } cases[] = {
      {"MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", "B", "1", true},
      {"GEN_VALIDAR_PERIODO_OPERATIVO", "", "", true},  // the stored kind applies
      {"mov_entrada_transito", "", "", "ETT"},
      {"PRUEBA_APAGADO", "B", "1", false},
      {"PRUEBA_APAGADO", "T", "", "0"},
      {"PRUEBA_NULO", "B", "1", Null{}},
      {"PRUEBA_NUMERO", "", "", 2.5},
      // Missing (or deactivated): the default, Null when it is "".
      {"NO_EXISTE", "B", "0", false},
      {"NO_EXISTE", "T", "abc", "abc"},
      {"PRUEBA_BAJA", "B", "", Null{}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(system_->Obtener_Parametro(c.name, 0, c.kind, c.default_value), c.expected)
        << c.name << " kind " << c.kind << " default " << c.default_value;
  }
  Db()->Run("UPDATE Parametro SET Pa_Valor = 'quizás' WHERE Pa_Cve_Parametro = 'PRUEBA_APAGADO'");
  EXPECT_NE(ErrorOf([&] { system_->Obtener_Parametro("PRUEBA_APAGADO", 0, "B", ""); })
                .description()
                .find("PRUEBA_APAGADO"),
            std::string::npos);

  // A unit to itself, known or not; the product's own factor before the
  // generic one; the inverse when only the other way is stored.
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("CUALQUIERA", "XYZ", "xyz"), 1);
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("TORN-001", "CJA", "PZA"), 12);
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("MED-LOTE", "CJA", "PZA"), 24);
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("MED-LOTE", "PZA", "CJA"), 1.0 / 24);
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("AZUCAR", "gr", "kg"), 0.001);
  RuntimeError e = ErrorOf([&] { data_->Obtener_Factor_Conversion("TORN-001", "PZA", "KG"); });
  EXPECT_EQ(e.number(), kErrSuite);
  EXPECT_NE(e.description().find("PZA"), std::string::npos);
  EXPECT_NE(e.description().find("KG"), std::string::npos);
  EXPECT_EQ(data_->Obtener_Ultimo_Error(), e.description());
}

TEST_F(ServicesTest, DatesPeriodsAndCatalogueRelations) {
  const Date moment = Date::FromCalendar(2024, 3, 5, 14, 30, 15);
  EXPECT_EQ(data_->Formatear_Fecha(moment) + " | " + data_->Formatear_Fecha_Hora(moment),
            "2024-03-05 | 2024-03-05 14:30:15");
  // The server's date is now, to the second.
  const Date now = data_->Obtener_Fecha_Servidor();
  EXPECT_LT(std::abs(now.serial() - Date::Parse(data_->Formatear_Fecha_Hora(now)).serial()) * 86400,
            1.0);
  const int year = now.ToCalendar().year;
  EXPECT_GT(year, 2023);
  // The operating period is open for the current year only (the sample closes
  // last year and has none two years ahead); sizes and colours of a product
  // and their combinations. A refusal says why.
  IDataServices& d = *data_;
  const auto period = [&d](const Date& date, const char* module) {
    return d.Validar_Periodo_Operativo(date, module, 0);
  };
  const auto check = [&d](bool answer, bool expected, const char* what) {
    EXPECT_EQ(answer, expected) << what;
    EXPECT_EQ(d.Obtener_Ultimo_Error().empty(), expected) << what;
  };
  check(period(Date::FromCalendar(year + 1, 1, 1, 8, 0, 0), "inventarios"), true, "next year");
  check(period(Date::FromCalendar(year - 1, 6, 1), "INVENTARIOS"), false, "closed");
  check(period(Date::FromCalendar(year + 2, 1, 1), "INVENTARIOS"), false, "missing");
  check(period(Date::FromCalendar(year, 6, 1), "VENTAS"), false, "other module");
  check(d.Existe_Producto_Talla_Color("camisa-01", "md", "bco"), true, "size and colour");
  check(d.Existe_Producto_Talla("CAMISA-01", "GD"), true, "size");
  check(d.Existe_Producto_Color("CAMISA-01", "AZL"), true, "colour");
  check(d.Existe_Producto_Talla_Color("CAMISA-01", "GD", "AZL"), false, "no such pair");
  check(d.Existe_Producto_Talla("CAMISA-01", "XL"), false, "no such size");
  check(d.Existe_Producto_Color("CAMISA-01", "ROJ"), false, "no such colour");
  check(d.Existe_Producto_Talla("TORN-001", "MD"), false, "no sizes");
}

TEST_F(ServicesTest, ProcessedAndPostedDocuments) {
  EXPECT_TRUE(data_->Procesar_Documento("DETALLE_TRANSFERENCIA", "CEDIS-0000000001", "0001"));
  EXPECT_TRUE(data_->Procesar_Documento("TRANSFERENCIA", "CEDIS-0000000001", ""));
  EXPECT_EQ(Value("SELECT COUNT(*) FROM Documento_Procesado WHERE Dp_Folio = ?1 AND "
                  "Oper_Alta = 'ADMIN'",
                  {"CEDIS-0000000001"}),
            Variant(int32_t{2}));
  EXPECT_FALSE(data_->Procesar_Documento("TRANSFERENCIA", "", ""));
  EXPECT_NE(data_->Obtener_Ultimo_Error(), "");
  EXPECT_TRUE(data_->Procesar_Documento("TRANSFERENCIA", "X", ""));
  EXPECT_EQ(data_->Obtener_Ultimo_Error(), "");  // each operation starts with no error

  EXPECT_FALSE(data_->Documento_Contabilizado("TRANSFERENCIA", "CEDIS-0000000001"));
  Db()->Run("INSERT INTO Poliza (Po_Folio, Po_Tabla, Po_Documento) VALUES ('P1', ?1, ?2)",
            {"TRANSFERENCIA", "CEDIS-0000000001"});
  EXPECT_TRUE(data_->Documento_Contabilizado("Transferencia", "cedis-0000000001"));
  Db()->Run("UPDATE Poliza SET Es_Cve_Estado = 'CA'");
  EXPECT_FALSE(data_->Documento_Contabilizado("TRANSFERENCIA", "CEDIS-0000000001"));
  // A suite without accounting entries has posted nothing.
  Db()->Exec("DROP TABLE Poliza");
  EXPECT_FALSE(data_->Documento_Contabilizado("TRANSFERENCIA", "CEDIS-0000000001"));
}

TEST_F(ServicesTest, OperatorServerAndMessages) {
  EXPECT_EQ(system_->Obtener_Usuario(), "ADMIN");
  EXPECT_FALSE(system_->Es_Servidor_Sucursal());
  setenv("QUELBARIX_OPERATOR", "MGARCIA", 1);
  setenv("QUELBARIX_SERVER_ID", "SRV-REMOTA", 1);  // the server of branch REMOTA
  EXPECT_EQ(system_->Obtener_Usuario() + " " + system_->Obtener_Servidor_Id(),
            "MGARCIA SRV-REMOTA");
  EXPECT_TRUE(system_->Es_Servidor_Sucursal());
  unsetenv("QUELBARIX_OPERATOR");
  unsetenv("QUELBARIX_SERVER_ID");
  // Messages go to the sink without waiting for anyone.
  std::vector<std::string> shown;
  SetMessageSink([&](std::string_view text) { shown.emplace_back(text); });
  EXPECT_EQ(system_->Mostrar_Mensaje("La unidad no existe", 16, "Property Let Detalle()", Missing{},
                                     "Quelbarix", "ERR-ID:7500001"),
            Variant(int32_t{1}));
  system_->Mostrar_Mensaje("Solo texto", 16, Missing{}, Missing{}, Null{}, "");
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "[Property Let Detalle()] La unidad no existe (Quelbarix ERR-ID:7500001)",
                       "Solo texto"}));
}

TEST_F(ServicesTest, DatabaseDurabilityAndAMissingFile) {
  QBX_SKIP_ON_SERVER("journal and files");
  EXPECT_EQ(Value("PRAGMA journal_mode"), Variant("wal"));
  EXPECT_EQ(Value("PRAGMA busy_timeout"), Variant(int32_t{kBusyTimeoutMs}));
  EXPECT_EQ(Value("PRAGMA synchronous"), Variant(int32_t{1}));  // NORMAL

  data_ = nullptr;
  system_ = nullptr;
  const std::string missing = dir() + "/no-existe.db";
  SetDatabasePath(missing);
  void* out = nullptr;
  EXPECT_TRUE(
      com::Failed(LinkedProvider().CreateInstance(kClsidDataServices, IDataServices::IID, &out)));
  EXPECT_NE(com::TakeErrorInfo().description.find(missing), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(missing));
  // Opened directly, a missing file is a condition of its own, naming it.
  try {
    Database::ForThread();
    ADD_FAILURE() << "no error for a missing database";
  } catch (const MissingDatabase& e) {
    EXPECT_EQ(e.name(), missing);
    EXPECT_EQ(e.number(), kErrSuite);
  }
  // Creating over an existing database is refused and leaves it untouched.
  RuntimeError e = ErrorOf([&] { CreateDatabase(db_path(), true); });
  EXPECT_EQ(e.number(), kErrSuite);
  EXPECT_NE(e.description().find(db_path()), std::string::npos);
  SetDatabasePath(db_path());
  EXPECT_EQ(Value("SELECT COUNT(*) FROM Sucursal"), Variant(int32_t{5}));
}

// What the tool reads and sets up through the suite that its own tests
// (tests/cli) do not show: row order and sums, an all-or-none batch, kinds
// of parameters, order demand.
using ReportsTest = SuiteTest;

TEST_F(ReportsTest, TransferRowsInNumberOrderAndAllOrNoneCatalogue) {
  // Stored out of order, and "10" sorts before "2" as a text.
  for (const auto& [id, amount] : {std::pair("2", 2.0), std::pair("10", 3.25), std::pair("1", 1.5)})
    Db()->Run(
        "INSERT INTO Transferencia (Tr_Folio, Tr_ID, Tr_Importe_Costo) VALUES ('T-1', ?1, ?2)",
        {id, amount});
  const RowSet rows = TransferRows(*Db(), "T-1");
  std::string ids;
  for (size_t r = 0; r < rows.rows.size(); ++r) ids += rows.At(r, "tr_id").ToString() + " ";
  EXPECT_EQ(ids, "1 2 10 ");
  EXPECT_EQ(std::pair(TransferRowCount(*Db(), "T-1"), TransferAmount(*Db(), "T-1")),
            std::pair(int64_t{3}, 6.75));
  // A product already there refuses the whole batch.
  const std::string cedis = sample::kCedis, grl = sample::kWarehouseGeneral;
  AddCatalogueProducts(*Db(), {{"NEW-1", "Nuevo", "115-1", cedis, grl, 10, 2.5}});
  const std::string before = DatabaseText(*Db());
  ErrorOf([&] {
    AddCatalogueProducts(
        *Db(), {{"NEW-2", "", "", cedis, grl, 1, 1}, {"NEW-1", "", "", cedis, grl, 1, 1}});
  });
  EXPECT_EQ(DatabaseText(*Db()), before);
  // A parameter is set in place, or added as a boolean.
  for (const std::string name : {"MOV_ALMACEN_TRANSITO_TRANSFERENCIA", "QBX_NUEVO"}) {
    SetParameter(*Db(), name, "X1");
    SetParameter(*Db(), name, "X2");
    EXPECT_EQ(ParameterValue(*Db(), name), "X2");
    EXPECT_EQ(
        Value("SELECT COUNT(*) || MIN(Pa_Tipo) FROM Parametro WHERE Pa_Cve_Parametro = ?1", {name}),
        Variant(name == "QBX_NUEVO" ? "1B" : "1T"));
  }
}

TEST_F(ReportsTest, OrderLinesDemandAndStoredOrder) {
  const std::string north = sample::kBranchNorth, grl = sample::kWarehouseGeneral;
  const std::string plain = sample::kProductPlain, cedis = sample::kCedis;
  AddOrderLines(*Db(), {{"PED-X", "0002", north, grl, plain, 3, cedis, grl},
                        {"PED-X", "0001", north, grl, plain, 4, cedis, grl},
                        {"PED-X", "0003", north, grl, sample::kProductType4, 5, cedis, grl}});
  std::string lines;
  for (const OrderLine& l : OrderLines(*Db(), "PED-X")) lines += l.id + ":" + l.state + " ";
  EXPECT_EQ(lines, "0001:AC 0002:AC 0003:AC ");
  std::string demand;
  for (const OrderDemand& d : DemandOfOrder(*Db(), "PED-X"))
    demand += d.product + " " + NumberText(d.quantity) + " " + NumberText(d.control) + " " +
              d.distribution_centre + " " + d.branch + "/" + d.warehouse + "\n";
  EXPECT_EQ(demand, std::string(sample::kProductType4) + " 5 5 CEDIS NORTE/GRL\n" + plain +
                        " 7 7 CEDIS NORTE/GRL\n");
  // The digest reads the rows in one order whatever order they were stored in.
  const RowSet stored = DocumentRows(*Db(), "Pedido");
  std::string stored_ids;
  for (size_t r = 0; r < stored.rows.size(); ++r)
    if (stored.At(r, "Pd_Folio").ToString() == "PED-X")
      stored_ids += stored.At(r, "Pd_ID").ToString() + " ";
  EXPECT_EQ(stored_ids, "0001 0002 0003 ");
  EXPECT_EQ(ErrorOf([&] { DocumentRows(*Db(), "Parametro"); }).number(), kErrSuite);
}

}  // namespace
}  // namespace qbx::suite::test
