// SystemServices and DataServices on a real database with the sample
// catalogue; series numbers under concurrent writers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "services/connection.h"
#include "services/inventory_services.h"
#include "services/system_services.h"
#include "suite/reports.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

// The suite's run-time error that fn raises; its text names `named`.
template <class F>
RuntimeError Refusal(F&& fn, const std::string& named = "") {
  RuntimeError e = ErrorOf(fn);
  EXPECT_EQ(e.number(), kErrSuite) << e.description();
  EXPECT_NE(e.description().find(named), std::string::npos) << e.description();
  return e;
}

class ServicesTest : public SuiteTest {
 protected:
  void SetUp() override {
    SuiteTest::SetUp();
    system_ = Make<ISystemServices>(kClsidSystemServices);
    data_ = Make<IDataServices>(kClsidDataServices);
  }
  std::string Field(const std::string& table, const std::string& key, const std::string& value,
                    const std::string& result, const std::string& key2 = "",
                    const std::string& value2 = "", const std::string& excluded = "") {
    return data_->Obtener_Valor_Campo(table, key, value, result, 0, key2, value2, excluded);
  }
  std::string NextId(const std::string& folio) {
    return data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", folio, "", "");
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
      // Values holding single quotes are values, not statement text.
      {"Unidad", "Un_Cve_Unidad", "P'Z", "Un_Descripcion", "", "", "BA", "Pieza 'A'"},
      {"Unidad", "Un_Cve_Unidad", "x' OR '1'='1", "Un_Descripcion", "", "", "", ""},
      {"Pedido", "Pd_Folio", "PED-0002", "Pd_Cantidad_1", "Pd_ID", "0002", "", "12"},  // a number
  };
  for (const auto& c : cases)
    EXPECT_EQ(Field(c.table, c.key, c.value, c.result, c.key2, c.value2, c.excluded), c.expected)
        << c.value;
  // Identifiers are checked against the schema, and named: never statement text.
  Refusal([&] { Field("Sucursal", "Sc_Cve_Sucursal", "CEDIS", "Sc_Descripcion; DROP TABLE x"); },
          "'Sc_Descripcion; DROP");
}

// Inside a unit of work a catalogue row looked up by its key is read once and
// answers every field as outside a unit; a change to its table, a rolled-back
// savepoint and the end of the unit each drop the kept rows.
TEST_F(ServicesTest, InsideAUnitACatalogueRowIsReadOnceUntilItChanges) {
  auto connection = system_->Obtener_Conexion();
  auto stock = Make<IInventoryServices>(kClsidInventoryServices);
  auto answers = [&] {
    std::vector<std::string> out;
    for (const char* field : {"Pr_Descripcion", "pr_tipo_producto", "Pr_Unidad_Control_1",
                              "Pr_Unidad_Control_2", "Pr_Cuenta_Contable"})
      out.push_back(Field("Producto", "Pr_Cve_Producto", "AZUCAR", field));
    out.push_back(stock->Obtener_Tipo_Producto("AZUCAR"));
    out.push_back(Field("UNIDAD", "Un_Cve_Unidad", "KG", "Un_Descripcion", "", "", "BA"));
    out.push_back(Field("Producto", "Pr_Cve_Producto", "NADA", "Pr_Descripcion"));
    return out;
  };
  auto sent = [&] { return Db()->StatementCount(Origin::Suite); };
  const std::vector<std::string> outside = answers();
  EXPECT_EQ(outside[0] + "|" + outside[6], "Azúcar estándar|Kilogramo");
  int64_t before = sent();
  EXPECT_EQ(answers(), outside);
  EXPECT_EQ(sent() - before, 8);  // one read per answer
  connection->BeginTrans();
  before = sent();
  EXPECT_EQ(answers(), outside);
  EXPECT_EQ(answers(), outside);
  EXPECT_EQ(sent() - before, 3);  // the product, the unit, the missing product
  EXPECT_EQ(Db()->KeptRows(), 3u);
  Refusal([&] { Field("Producto", "Pr_Cve_Producto", "AZUCAR", "Pr_Nada"); });  // as outside

  auto description = [&] { return answers()[0]; };
  auto set = [&](const std::string& text) {
    connection->Execute(
        "UPDATE Producto SET Pr_Descripcion = '" + text + "' WHERE Pr_Cve_Producto = 'AZUCAR'",
        Variant(Missing{}), -1);
  };
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
  EXPECT_EQ(description(), outside[0]);
  connection->BeginTrans();
  EXPECT_EQ(description(), outside[0]);
  connection->CommitTrans();
  EXPECT_EQ(Db()->KeptRows(), 0u);
}

TEST_F(ServicesTest, NextIdsAreLineNumbersOrderedAsNumbers) {
  std::string ids = NextId("F1");
  for (const char* id : {"0001", "0002", "0009", "9999", "10000"}) {
    Db()->Run("INSERT INTO Transferencia (Tr_Folio, Tr_ID) VALUES ('F1', ?1)", {id});
    ids += " " + NextId("F1");
  }
  EXPECT_EQ(ids, "0001 0002 0003 0010 10000 10001");  // as text "9999" sorts after "10000"
  Db()->Run("INSERT INTO Transferencia (Tr_Folio, Tr_ID) VALUES ('O''F', '0004')");
  EXPECT_EQ(data_->Obtener_Siguiente_Id("Transferencia", "tr_id", "TR_FOLIO", "O'F", "", "") + " " +
                NextId("F2"),
            "0005 0001");
  // One index step per call whatever the document's size: no scan, no sort.
  std::string sent;
  Db()->SetTraceSink([&](Origin, std::string_view text) {
    if (text.find("CAST(") != std::string_view::npos) sent = text;
  });
  NextId("F1");
  Db()->SetTraceSink(nullptr);
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
  EXPECT_EQ(data_->Obtener_Ultimo_Error(), "");
  EXPECT_EQ(data_->Obtener_Folio("NADA", "Transferencia", 10, true), Variant(""));
  EXPECT_NE(data_->Obtener_Ultimo_Error().find("NADA"), std::string::npos);
  std::string series;
  for (const auto& [branch, serie] : {std::pair("CEDIS", "TC"), std::pair("CEDIS", "TC"),
                                      std::pair("CEDIS", "A"), std::pair("NORTE", "TC")})
    series += std::to_string(data_->Obtener_Consecutivo_Serie(branch, serie, 4));
  EXPECT_EQ(series, "1211");
}

// Two threads take series numbers at once: none is handed out twice, none
// skipped. (Folios taken at once: the tool's Concurrency tests.)
TEST_F(ServicesTest, ConcurrentWritersNeverShareASeriesNumber) {
  std::set<int32_t> taken[2];
  const auto take = [&](std::set<int32_t>& out) {
    auto data = Make<IDataServices>(kClsidDataServices);
    try {
      for (int i = 0; i < 100; ++i) out.insert(data->Obtener_Consecutivo_Serie("CEDIS", "TC", 4));
    } catch (const RuntimeError& e) {  // a writer refused for contention
      ADD_FAILURE() << e.description();
    }
  };
  std::thread other([&] { take(taken[1]); });
  take(taken[0]);
  other.join();
  taken[0].merge(taken[1]);
  EXPECT_EQ(taken[0].size(), 200u);
  EXPECT_EQ(*taken[0].rbegin(), 200);
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
      {"GEN_VALIDAR_PERIODO_OPERATIVO", "", "", true},  // the stored kind applies
      {"mov_entrada_transito", "", "", "ETT"},
      {"PRUEBA_APAGADO", "B", "1", false},
      {"PRUEBA_NULO", "B", "1", Null{}},
      {"PRUEBA_NUMERO", "", "", 2.5},
      // Missing (or deactivated): the default, Null when it is "".
      {"NO_EXISTE", "B", "0", false},
      {"PRUEBA_BAJA", "B", "", Null{}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(system_->Obtener_Parametro(c.name, 0, c.kind, c.default_value), c.expected) << c.name;
  Db()->Run("UPDATE Parametro SET Pa_Valor = 'quizás' WHERE Pa_Cve_Parametro = 'PRUEBA_APAGADO'");
  Refusal([&] { system_->Obtener_Parametro("PRUEBA_APAGADO", 0, "B", ""); }, "PRUEBA_APAGADO");

  // A unit to itself, known or not; the product's own factor before the
  // generic one; the inverse when only the other way is stored.
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("CUALQUIERA", "XYZ", "xyz"), 1);
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("TORN-001", "CJA", "PZA"), 12);
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("MED-LOTE", "CJA", "PZA"), 24);
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("MED-LOTE", "PZA", "CJA"), 1.0 / 24);
  EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion("AZUCAR", "gr", "kg"), 0.001);
  const RuntimeError e =
      Refusal([&] { data_->Obtener_Factor_Conversion("TORN-001", "PZA", "KG"); }, "PZA");
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
  // and their combinations. Each answer, then "!" when a refusal says why.
  IDataServices& d = *data_;
  std::string answers;
  const auto answer = [&](bool yes) {
    answers += std::string(yes ? "1" : "0") + (d.Obtener_Ultimo_Error().empty() ? " " : "! ");
  };
  const auto period = [&](int y, int m, const char* module) {
    return d.Validar_Periodo_Operativo(Date::FromCalendar(year + y, m, 1, 8, 0, 0), module, 0);
  };
  answer(period(1, 1, "inventarios"));
  answer(period(-1, 6, "INVENTARIOS"));
  answer(period(2, 1, "INVENTARIOS"));
  answer(period(0, 6, "VENTAS"));
  answer(d.Existe_Producto_Talla_Color("camisa-01", "md", "bco"));
  answer(d.Existe_Producto_Talla("CAMISA-01", "GD"));
  answer(d.Existe_Producto_Color("CAMISA-01", "AZL"));
  answer(d.Existe_Producto_Talla_Color("CAMISA-01", "GD", "AZL"));
  answer(d.Existe_Producto_Talla("CAMISA-01", "XL"));
  answer(d.Existe_Producto_Color("CAMISA-01", "ROJ"));
  EXPECT_EQ(answers, "1 0! 0! 0! 1 1 1 0! 0! 0! ");
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
  std::string shown;
  SetMessageSink([&](std::string_view text) { shown = text; });
  EXPECT_EQ(system_->Mostrar_Mensaje("La unidad no existe", 16, "Property Let Detalle()", Missing{},
                                     "Quelbarix", "ERR-ID:7500001"),
            Variant(int32_t{1}));
  EXPECT_EQ(shown, "[Property Let Detalle()] La unidad no existe (Quelbarix ERR-ID:7500001)");
}

// What the tool reads through the suite that its own tests do not show: line
// order and sums, order demand.
using ReportsTest = SuiteTest;
using namespace sample;

TEST_F(ReportsTest, LinesInNumberOrderAndOrderDemand) {
  // Stored out of order, and "10" sorts before "2" as a text.
  Db()->Exec(
      "INSERT INTO Transferencia (Tr_Folio, Tr_ID, Tr_Importe_Costo) VALUES ('T-1', '2', 2), "
      "('T-1', '10', 3.25), ('T-1', '1', 1.5)");
  const RowSet rows = TransferRows(*Db(), "T-1");
  std::string ids;
  for (size_t r = 0; r < rows.rows.size(); ++r) ids += rows.At(r, "tr_id").ToString() + " ";
  EXPECT_EQ(ids, "1 2 10 ");
  EXPECT_EQ(std::pair(TransferRowCount(*Db(), "T-1"), TransferAmount(*Db(), "T-1")),
            std::pair(int64_t{3}, 6.75));
  const std::string north = kBranchNorth, grl = kWarehouseGeneral, plain = kProductPlain;
  AddOrderLines(*Db(), {{"PED-X", "0002", north, grl, plain, 3, kCedis, grl},
                        {"PED-X", "0001", north, grl, plain, 4, kCedis, grl},
                        {"PED-X", "0003", north, grl, kProductType4, 5, kCedis, grl}});
  std::string demand;
  for (const OrderDemand& d : DemandOfOrder(*Db(), "PED-X"))
    demand += d.product + " " + NumberText(d.quantity) + " " + NumberText(d.control) + " " +
              d.distribution_centre + " " + d.branch + "/" + d.warehouse + "\n";
  EXPECT_EQ(demand, "KIT-01 5 5 CEDIS NORTE/GRL\n" + plain + " 7 7 CEDIS NORTE/GRL\n");
}

}  // namespace
}  // namespace qbx::suite::test
