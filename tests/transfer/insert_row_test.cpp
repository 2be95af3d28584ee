// Inserta_Transferencia (through Add_Transferencia_Detalle): the row
// statement, serial numbers and lots.
#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "tests/transfer/capture.h"

namespace qbx::test {
namespace {

using InsertRowTest = CaptureTest;

TEST_F(InsertRowTest, StatementCarriesEveryColumnInOrder) {
  suite.script.Queue("System.Obtener_Usuario", {"ALTA", "MODIF"});
  tTrEncabezado h = Header("SL");
  h.Tr_Comentario = "Entrega d'Angelo";
  h.Tr_Tabla = "Pedido";
  h.Tr_Documento = "PD-7";
  Transferencia& t = Object();
  t.SetEncabezado(h);
  tTrDetalle d = Line();
  d.Producto.Pr_Cve_Producto = "P'1";
  d.Tr_Cantidad_1 = 12.5;
  d.Tr_Indirecto_Factor = -0.25;
  d.Tr_Indirecto_Importe = 1E-05;
  d.Lote.Lt_Cve_Lote = "L1";  // never written to the row
  d.Lote.Lt_Pedimento = "PED'1";
  d.Lote.Lt_Fecha_Caducidad = Date::FromCalendar(2025, 1, 31);
  d.Lote.Lt_Fecha_Pedimento = Date::FromCalendar(2024, 2, 1);
  suite.journal.Clear();
  ASSERT_TRUE(AddLine(d)) << t.Error();

  ASSERT_EQ(Inserts().size(), 1u);
  EXPECT_EQ(Inserts()[0],
            std::string(kInsertColumns) +
                "'F-1', '0001', '2024-03-05', '2024-03-06', 'SL', '', 'Entrega d''Angelo', "
                "'Pedido', 'PD-7', 'S2', 'S1', 'A1', 'A2', 'P''1', '00', '00', 12.5, 'PZA', 12.5, "
                "'PZA', 0, 'KG', 12.5, 'PZA', 10, 125, -0.25, 1E-05, '', '2025-01-31', 'PED''1', "
                "'2024-02-01', 'ALTA', '2024-03-05 10:30:00', 'MODIF', '2024-03-05 10:30:00')");

  // The key is asked first, then each date in column order, then the operator twice.
  std::vector<std::string> calls;
  for (const auto& e : suite.journal.entries()) {
    if (e.rfind("Data.Obtener_Siguiente_Id", 0) == 0 || e.rfind("Data.Formatear_Fecha(", 0) == 0 ||
        e.rfind("System.Obtener_Usuario", 0) == 0 || e.rfind("System.Obtener_Conexion", 0) == 0 ||
        e.rfind("Connection.Execute", 0) == 0)
      calls.push_back(e.substr(0, e.find("INSERT")));
  }
  EXPECT_EQ(calls,
            (std::vector<std::string>{
                R"(Data.Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F-1", "", ""))",
                "Data.Formatear_Fecha(#2024-03-05#)", "Data.Formatear_Fecha(#2024-03-06#)",
                "Data.Formatear_Fecha(#2025-01-31#)", "Data.Formatear_Fecha(#2024-02-01#)",
                "System.Obtener_Usuario()", "System.Obtener_Usuario()", "System.Obtener_Conexion()",
                "Connection.Execute(\""}));
  EXPECT_EQ(suite.journal.Starting("Connection.Execute"),
            std::vector<std::string>{"Connection.Execute(\"" + Inserts()[0] + "\", Missing, -1&)"});
}

TEST_F(InsertRowTest, RowKeyComesFromTheDataServiceNotTheLineCounter) {
  suite.script.Answer("Data.Obtener_Siguiente_Id", "0042");
  Transferencia& t = Start("SL");
  ASSERT_TRUE(AddLine(Line())) << t.Error();
  EXPECT_NE(Inserts()[0].find("VALUES ('F-1', '0042', "), std::string::npos) << Inserts()[0];
  EXPECT_EQ(t.Detalle().Tr_ID, "0001");
}

// Fiscal-deposit setting and receiving branch -> whether the fiscal-deposit
// registration runs.
struct Deposit {
  const char* name;
  const char* setting;
  const char* receiving_branch;
  bool fiscal;
};

void PrintTo(const Deposit& d, std::ostream* os) {
  *os << d.name;
}

const Deposit kDeposits[] = {
    {"Listed", "07,12", "12", true},   {"Substring", "07,12", "1", true},
    {"OtherCase", "s2x", "S2", true},  {"EmptyBranch", "07", "", true},
    {"EmptySetting", "", "12", false}, {"EmptyBoth", "", "", false},
    {"NotListed", "07", "12", false},
};

class SeriesTest : public CaptureTest, public ::testing::WithParamInterface<Deposit> {
 protected:
  SeriesTest() {
    catalogue["Producto.Pr_Tipo_Producto"] = "03";
    suite.script.Answer("Inventory#1.Obtener_Tipo_Producto", "03");
    suite.script.Answer("Inventory#1.Maneja_Serie", true);
    suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", "");
    InTransit(false);
  }
  tTrDetalle SerialLine() const {
    tTrDetalle d = Line();
    d.Tr_Cantidad_1 = 2.5;
    d.Serie.Sr_Cve_Serie = "SN1";
    d.Serie.Sr_Pedimento = "PS";
    d.Serie.Sr_FechaPedimento = Date::FromCalendar(2024, 1, 15);
    return d;
  }
};

const char* kFiscalSerie =
    R"(Series#1.Registrar_Serie_Deposito_Fiscal("P1", "SN1", "PS", #2024-01-15#, 10#, 0&, True, 0&, "", "", "", 0%, 0%, 0#, 0#))";
const char* kPlainSerie =
    R"(Series#1.Registrar_Serie("TRANSFERENCIA", "F-1", "0001", "P1", "00", "00", "SN1", "PS", #2024-01-15#, 2%))";

TEST_P(SeriesTest, RegistersTheSerialAfterTheRow) {
  const Deposit& p = GetParam();
  suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", p.setting);
  suite.JournalReleases(true);
  tTrEncabezado h = Header("RC");
  h.Sucursal_Recibe.Sc_Cve_Sucursal = p.receiving_branch;
  Transferencia& t = Object();
  t.SetEncabezado(h);
  suite.journal.Clear();
  ASSERT_TRUE(AddLine(SerialLine())) << t.Error();

  std::vector<std::string> expected;
  if (p.fiscal) expected.push_back(kFiscalSerie);
  expected.push_back(kPlainSerie);  // 2.5 pieces are registered as 2
  expected.push_back("Series#1.Release()");
  EXPECT_EQ(suite.journal.Starting("Series#1"), expected);
  // Registered after the row is stored, released before the operation goes on.
  const auto& all = suite.journal.entries();
  auto at = [&](const std::string& prefix) {
    return std::find_if(all.begin(), all.end(),
                        [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }) -
           all.begin();
  };
  EXPECT_LT(at("Connection.Execute"), at("Series#1."));
  EXPECT_LT(at("Series#1.Release()"), at("Data.Procesar_Documento"));
  EXPECT_TRUE(suite.journal.Starting("Lot").empty());
}

INSTANTIATE_TEST_SUITE_P(FiscalDeposit, SeriesTest, ::testing::ValuesIn(kDeposits),
                         [](const auto& info) { return std::string(info.param.name); });

using SeriesRulesTest = SeriesTest;

TEST_F(SeriesRulesTest, RequestsAndWarehousesWithoutSerialsRegisterNothing) {
  Transferencia& t = Start("SL");
  ASSERT_TRUE(AddLine(SerialLine())) << t.Error();
  suite.script.Answer("Inventory#1.Maneja_Serie", false);
  t.Nuevo();
  t.SetEncabezado(Header("RC"));
  ASSERT_TRUE(AddLine(SerialLine())) << t.Error();
  EXPECT_EQ(suite.Created("Series"), 0);
  EXPECT_EQ(Inserts().size(), 2u);
}

TEST_F(SeriesRulesTest, RefusedRegistrationIsExplainedByTheService) {
  struct Case {
    const char* failing;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"Series.Registrar_Serie_Deposito_Fiscal",
       {"Series#1.Registrar_Serie_Deposito_Fiscal", "Series#1.Obtener_Mensaje_Error"}},
      {"Series.Registrar_Serie",
       {"Series#2.Registrar_Serie_Deposito_Fiscal", "Series#2.Registrar_Serie",
        "Series#2.Obtener_Mensaje_Error"}},
  };
  suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", "S2");
  suite.script.Answer("Series.Obtener_Mensaje_Error", "Serie no disponible");
  Transferencia& t = Object();
  for (const Case& c : cases) {
    suite.script.Answer(c.failing, false);
    t.Nuevo();
    t.SetEncabezado(Header("RC"));
    suite.journal.Clear();
    EXPECT_FALSE(AddLine(SerialLine()));
    EXPECT_EQ(t.Error(), kInsertSource + "Serie no disponible");
    std::vector<std::string> calls;
    for (const auto& e : suite.journal.Calls())
      if (e.rfind("Series", 0) == 0) calls.push_back(e);
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(suite.journal.Starting("Connection.Execute(\"INSERT").size(), 1u);  // the row stays
    EXPECT_TRUE(suite.journal.Starting("Data.Procesar_Documento").empty());
    EXPECT_EQ(suite.Alive("Series"), 0);
    suite.script.Answer(c.failing, true);
  }
}

TEST_F(SeriesRulesTest, SerialQuantityBeyondSixteenBitsIsTrapped) {
  Transferencia& t = Start("RC");
  tTrDetalle d = SerialLine();
  d.Tr_Cantidad_1 = 40000;
  EXPECT_FALSE(AddLine(d));
  EXPECT_EQ(t.Error(), kInsertSource + "\r\nOverflow");
  EXPECT_TRUE(suite.journal.Starting("Series#1.Registrar_Serie(").empty());
  EXPECT_EQ(suite.Alive("Series"), 0);
}

class LotTest : public CaptureTest {
 protected:
  LotTest() {
    catalogue["Producto.Pr_Tipo_Producto"] = "02";
    suite.script.Answer("Inventory#1.Obtener_Tipo_Producto", "02");
    suite.script.Answer("Inventory#1.Maneja_Lote", true);
    InTransit(false);
  }
  static tTrDetalle LotLine(const char* lot) {
    tTrDetalle d = Line();
    d.Tr_Cantidad_1 = 3;
    d.Tr_Cantidad_Control_2 = 1.5;
    d.Lote.Lt_Cve_Lote = lot;
    return d;
  }
};

class LotRegistrationTest : public LotTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LotRegistrationTest, RegistersTheLotWithBothQuantities) {
  const bool fiscal = GetParam();
  suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", fiscal ? "S2" : "");
  suite.JournalReleases(true);
  Transferencia& t = Start("EN");
  suite.journal.Clear();
  ASSERT_TRUE(AddLine(LotLine("L'7"))) << t.Error();
  std::vector<std::string> expected;
  if (fiscal)
    expected.push_back(
        R"(Lot#1.Registrar_Lote_Deposito_Fiscal("P1", "00", "00", "L'7", True, "", 0#, ""))");
  expected.push_back(
      R"(Lot#1.Registrar_Lote("TRANSFERENCIA", "F-1", "0001", "P1", "00", "00", "L'7", 3#, 1.5#))");
  expected.push_back("Lot#1.Release()");
  EXPECT_EQ(suite.journal.Starting("Lot#1"), expected);
  // The row's lot column stays empty; the lot goes only to the service.
  EXPECT_NE(Inserts()[0].find(", 0, 0, '', '1899-12-30', "), std::string::npos) << Inserts()[0];
}

INSTANTIATE_TEST_SUITE_P(FiscalDeposit, LotRegistrationTest, ::testing::Bool(),
                         [](const auto& info) {
                           return std::string(info.param ? "Fiscal" : "Plain");
                         });

TEST_F(LotTest, MissingLotIsRefusedAfterTheRowIsStored) {
  Transferencia& t = Start("EN");
  EXPECT_FALSE(AddLine(LotLine("")));
  EXPECT_EQ(t.Error(), kInsertSource + "Debe especificar los lotes a descargar");
  EXPECT_EQ(Inserts().size(), 1u);
  EXPECT_EQ(suite.Created("Lot"), 0);
}

TEST_F(LotTest, RequestsAndWarehousesWithoutLotsNeedNoLot) {
  Transferencia& t = Start("SL");
  EXPECT_TRUE(AddLine(LotLine(""))) << t.Error();
  suite.script.Answer("Inventory#1.Maneja_Lote", false);
  t.Nuevo();
  t.SetEncabezado(Header("EN"));
  EXPECT_TRUE(AddLine(LotLine("L1"))) << t.Error();
  EXPECT_EQ(suite.Created("Lot"), 0);
}

TEST_F(LotTest, RefusedRegistrationIsExplainedByTheService) {
  suite.script.Answer("Lot.Registrar_Lote", false);
  suite.script.Answer("Lot.Obtener_Mensaje_Error", "Lote sin cantidad suficiente");
  Transferencia& t = Start("EN");
  EXPECT_FALSE(AddLine(LotLine("L1")));
  EXPECT_EQ(t.Error(), kInsertSource + "Lote sin cantidad suficiente");
  EXPECT_EQ(suite.Alive("Lot"), 0);
}

}  // namespace
}  // namespace qbx::test
