// Generar_CFDI_Traslado on the recording doubles.
#include <functional>
#include <string>
#include <vector>

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

// The source line of this operation ends with a blank.
const std::string kSource = "Quelbarix.dll - Generar_CFDI_Traslado() \r\n";

const std::string kSelectE1 =
    "SELECT    Tr_Folio,    Tr_Id,    Tr_Fecha,    Tr_Referencia,    Tr_Comentario,    "
    "Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Traslado_Serie,   Producto.Pr_Cve_Producto,    "
    "Producto.Pr_Descripcion,    Tl_Cve_Talla,    Cl_Cve_Color,    Tr_Cantidad_1,    "
    "Tr_Unidad_1,    Tr_Cantidad_Costo,    Tr_Unidad_Costo,    Tr_Costo,    Tr_Importe_Costo "
    "FROM Transferencia    INNER JOIN Producto ON Producto.Pr_Cve_Producto = "
    "Transferencia.Pr_Cve_Producto    INNER JOIN Sucursal on Sucursal.Sc_cve_Sucursal = "
    "Transferencia.Sc_Cve_Sucursal WHERE Tr_Tipo = 'EN' AND    Tr_Folio = 'E1' ";

const std::string kColumns =
    "INSERT INTO Traslado( Tr_Folio, Tr_ID, Tr_Fecha, Tr_Tabla, Tr_Documento, Tr_Documento_ID, "
    "Tr_Referencia, Tr_Comentario, Tr_Serie, Tr_Serie_Folio, Tr_Factura, Sc_Cve_Sucursal, "
    "Tr_Concepto, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, Tr_Cantidad_1, Tr_Unidad_1, "
    "Tr_Cantidad_Costo, Tr_Unidad_Costo, Tr_Costo, Tr_Costo_Importe, Mn_Cve_Moneda, "
    "Tr_Tipo_Cambio, Oper_Alta, Fecha_Alta, Oper_Ult_Modif, Fecha_Ult_Modif )VALUES( ";

// One stored line of shipment E1.
Row StoredLine(const std::string& id, Variant description = "Tornillo 1/4") {
  return {{"Tr_Folio", "E1"},
          {"Tr_ID", id},
          {"Tr_Fecha", Date::FromCalendar(2024, 3, 1)},
          {"Tr_Referencia", "SL-1"},
          {"Tr_Comentario", "Envío"},
          {"Sc_Cve_Sucursal", "S1"},
          {"Sc_Traslado_Serie", "A"},
          {"Pr_Cve_Producto", "P1"},
          {"Pr_Descripcion", std::move(description)},
          {"Tl_Cve_Talla", "00"},
          {"Cl_Cve_Color", "00"},
          {"Tr_Cantidad_1", 2.5},
          {"Tr_Unidad_1", "PZA"},
          {"Tr_Cantidad_Costo", 2.5},
          {"Tr_Unidad_Costo", "PZA"},
          {"Tr_Costo", 10.0},
          {"Tr_Importe_Costo", 25.0}};
}

void Set(Row& row, const std::string& field, Variant value) {
  for (auto& [name, v] : row)
    if (name == field) v = std::move(value);
}

// The n-th quoted value (from 0) of an INSERT's value list, quotes as written.
std::string QuotedValue(const std::string& insert, int n) {
  size_t pos = insert.find(")VALUES( ");
  for (int i = 0; i <= n; ++i) {
    size_t open = insert.find('\'', pos);
    // A doubled quote belongs to the value.
    size_t close = open + 1;
    while ((close = insert.find('\'', close)) != std::string::npos && close + 1 < insert.size() &&
           insert[close + 1] == '\'')
      close += 2;
    if (i == n) return insert.substr(open + 1, close - open - 1);
    pos = close + 1;
  }
  return {};
}

class CfdiTest : public TransferTest {
 protected:
  CfdiTest() {
    suite.script.Answer("Data.Obtener_Consecutivo_Serie", int32_t{7});
    suite.script.Answer("Data.Obtener_Folio", "T-1");
  }
  bool Generate(std::string folio = "E1") {
    Object();
    suite.journal.Clear();
    return Object().Generar_CFDI_Traslado(folio);
  }
  std::vector<std::string> Inserts() const {
    std::vector<std::string> out;
    for (const auto& s : suite.Statements())
      if (s.rfind("INSERT INTO Traslado", 0) == 0) out.push_back(s);
    return out;
  }
};

TEST_F(CfdiTest, WritesOneRowWithEveryValueInItsForm) {
  suite.OnQuery("FROM Transferencia", {StoredLine("0001")});
  ASSERT_TRUE(Generate()) << Object().Error();
  ASSERT_EQ(suite.Statements().size(), 2u);
  EXPECT_EQ(suite.Statements()[0], kSelectE1);
  EXPECT_EQ(suite.Statements()[1],
            kColumns +
                "'T-1', '0001', '2024-03-05', 'TRANSFERENCIA', 'E1', '0001', 'SL-1', 'Envío', "
                "'A', '7', 'A000000007', 'S1', 'Tornillo 1/4', 'P1', '00', '00', 2.5, 'PZA', "
                "2.5, 'PZA', 10, 25, 'MXN', 1,'OPER', '2024-03-05 10:30:00', 'OPER', "
                "'2024-03-05 10:30:00' )");
  EXPECT_EQ(suite.recordsets()[0]->closed, false);  // released, not closed
  EXPECT_EQ(suite.recordsets()[0]->released, true);
}

TEST_F(CfdiTest, CallOrderAndSharedValuesAcrossRows) {
  suite.OnQuery("FROM Transferencia", {StoredLine("0001"), StoredLine("0002"), StoredLine("0005")});
  ASSERT_TRUE(Generate()) << Object().Error();
  std::vector<std::string> expected = {"System.Obtener_Conexion", "Connection.Execute",
                                       "Data.Obtener_Consecutivo_Serie", "Data.Obtener_Folio",
                                       "Data.Obtener_Fecha_Servidor"};
  for (int i = 0; i < 3; ++i)
    expected.insert(expected.end(),
                    {"Data.Formatear_Fecha", "System.Obtener_Usuario", "Data.Formatear_Fecha_Hora",
                     "System.Obtener_Usuario", "Data.Formatear_Fecha_Hora",
                     "System.Obtener_Conexion", "Connection.Execute"});
  EXPECT_EQ(suite.journal.Calls(), expected) << suite.journal.Dump();
  EXPECT_EQ(suite.journal.entries()[2], "Data.Obtener_Consecutivo_Serie(\"S1\", \"A\", 4&)");
  EXPECT_EQ(suite.journal.entries()[3], "Data.Obtener_Folio(\"S1\", \"TRASLADO\", 10&, True)");

  auto inserts = Inserts();
  ASSERT_EQ(inserts.size(), 3u);
  const std::vector<std::string> ids = {"0001", "0002", "0003"};
  const std::vector<std::string> source_ids = {"0001", "0002", "0005"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(QuotedValue(inserts[i], 0), "T-1");
    EXPECT_EQ(QuotedValue(inserts[i], 1), ids[i]);
    EXPECT_EQ(QuotedValue(inserts[i], 5), source_ids[i]);  // Tr_Documento_ID
    EXPECT_EQ(QuotedValue(inserts[i], 10), "A000000007");
  }
}

struct InvoiceCase {
  std::string serie;
  int32_t numero;
  std::string factura;
};

TEST_F(CfdiTest, InvoiceKeyForms) {
  const std::vector<InvoiceCase> cases = {
      {"A", 7, "A000000007"},
      {"", 7, "0000000007"},
      {"TR", 123, "TR00000123"},
      {"ÁB", 5, "ÁB00000005"},  // an accented letter is one character
      {"ABCDEFGHIJ", 7, "ABCDEFGHIJ7"},
      {"ABCDEFGH", 1234567, "ABCDEFGH1234567"},  // the mask never cuts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("series '" + c.serie + "'");
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    Row row = StoredLine("0001");
    Set(row, "Sc_Traslado_Serie", c.serie);
    local.OnQuery("FROM Transferencia", {row});
    local.script.Answer("Data.Obtener_Consecutivo_Serie", c.numero);
    local.script.Answer("Data.Obtener_Folio", "T-1");
    {
      Transferencia t;
      std::string folio = "E1";
      ASSERT_TRUE(t.Generar_CFDI_Traslado(folio)) << t.Error();
      ASSERT_EQ(local.Statements().size(), 2u);
      const std::string insert = local.Statements()[1];
      EXPECT_EQ(QuotedValue(insert, 8), c.serie);
      EXPECT_EQ(QuotedValue(insert, 9), std::to_string(c.numero));
      EXPECT_EQ(QuotedValue(insert, 10), c.factura);
    }
  }
}

struct CfdiFailure {
  const char* name;
  std::function<void(FakeSuite&)> setup;
  std::string message;
  size_t inserts_sent;  // reaching the connection, the refused one included
  bool folio_asked;
};

TEST_F(CfdiTest, FailureTable) {
  const std::vector<CfdiFailure> cases = {
      {"no row of type EN", [](FakeSuite&) {},
       "La transferencia no existe o no es de tipo EN - Envío", 0, false},
      {"empty folio from the data service",
       [](FakeSuite& s) {
         s.OnQuery("FROM Transferencia", {StoredLine("0001")});
         s.script.Answer("Data.Obtener_Folio", "");
       },
       "Error al generar el folio del traslado!", 0, true},
      {"series longer than ten characters",
       [](FakeSuite& s) {
         Row row = StoredLine("0001");
         Set(row, "Sc_Traslado_Serie", "ABCDEFGHIJK");
         s.OnQuery("FROM Transferencia", {row});
       },
       "Invalid procedure call or argument", 0, false},
      {"Null series",
       [](FakeSuite& s) {
         Row row = StoredLine("0001");
         Set(row, "Sc_Traslado_Serie", Null{});
         s.OnQuery("FROM Transferencia", {row});
       },
       "Invalid use of Null", 0, false},
      {"Null number on the second row",
       [](FakeSuite& s) {
         Row second = StoredLine("0002");
         Set(second, "Tr_Costo", Null{});
         s.OnQuery("FROM Transferencia", {StoredLine("0001"), second});
       },
       "Invalid use of Null", 1, true},
      {"database refuses the second row",
       [](FakeSuite& s) {
         s.OnQuery("FROM Transferencia", {StoredLine("0001"), StoredLine("0002")});
         s.OnQuery("INSERT INTO Traslado", {});
         s.FailQuery("INSERT INTO Traslado",
                     RuntimeError(-2147217873, "Violation of PRIMARY KEY constraint"));
       },
       "Violation of PRIMARY KEY constraint", 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    local.script.Answer("Data.Obtener_Folio", "T-1");
    c.setup(local);
    {
      Transferencia t;
      std::string folio = "E1";
      EXPECT_FALSE(t.Generar_CFDI_Traslado(folio));
      EXPECT_EQ(t.Error(), kSource + c.message);
      size_t sent = 0;
      for (const auto& s : local.Statements()) sent += s.rfind("INSERT", 0) == 0 ? 1 : 0;
      EXPECT_EQ(sent, c.inserts_sent);
      EXPECT_EQ(local.journal.Starting("Data.Obtener_Folio").size(), c.folio_asked ? 1u : 0u);
    }
  }
}

TEST_F(CfdiTest, ErrorIsNotClearedOnEntry) {
  EXPECT_FALSE(Generate("RC-1"));  // not a shipment
  const std::string earlier = Object().Error();
  EXPECT_EQ(earlier, kSource + "La transferencia no existe o no es de tipo EN - Envío");
  suite.OnQuery("FROM Transferencia", {StoredLine("0001")});
  ASSERT_TRUE(Generate());
  EXPECT_EQ(Object().Error(), earlier);
}

TEST_F(CfdiTest, NullTextsAreEmptyAndQuotesAreDoubled) {
  Row row = StoredLine("0001", "Llave 3/4 \"O'Brien\"");
  Set(row, "Tr_Comentario", Null{});
  Set(row, "Tr_Referencia", "SL'1");
  suite.OnQuery("FROM Transferencia", {row});
  std::string folio = "E'1";
  Object();
  ASSERT_TRUE(Object().Generar_CFDI_Traslado(folio)) << Object().Error();
  EXPECT_NE(suite.Statements()[0].find("Tr_Folio = 'E''1' "), std::string::npos);
  const std::string insert = suite.Statements()[1];
  EXPECT_NE(insert.find("'SL''1', '', 'A', "), std::string::npos) << insert;
  EXPECT_EQ(QuotedValue(insert, 12), "Llave 3/4 \"O''Brien\"");
}

TEST_F(CfdiTest, DescriptionIsCutAtOneHundredCharacters) {
  struct Cut {
    std::string description;
    std::string concepto;
  };
  std::string accented;  // 150 characters, 300 bytes
  for (int i = 0; i < 75; ++i) accented += "áé";
  std::string first100;
  for (int i = 0; i < 50; ++i) first100 += "áé";
  // A character outside the basic plane counts two: at 100 it would be split.
  const std::string astral = std::string(99, 'x') + "\xF0\x9F\x93\xA6" + "yyy";
  const std::vector<Cut> cases = {
      {accented, first100},
      {astral, std::string(99, 'x')},
      {std::string(100, 'z'), std::string(100, 'z')},
      {"", ""},
  };
  for (const auto& c : cases) {
    CaseDoubles doubles;
    FakeSuite& local = doubles.suite;
    local.OnQuery("FROM Transferencia", {StoredLine("0001", c.description)});
    local.script.Answer("Data.Obtener_Folio", "T-1");
    {
      Transferencia t;
      std::string folio = "E1";
      ASSERT_TRUE(t.Generar_CFDI_Traslado(folio)) << t.Error();
      EXPECT_EQ(QuotedValue(local.Statements()[1], 12), c.concepto);
    }
  }
}

TEST_F(CfdiTest, TenThousandLinesAreNumberedUpToTenThousand) {
  std::vector<Row> rows;
  rows.reserve(10000);
  for (int i = 0; i < 10000; ++i) rows.push_back(StoredLine("x"));
  suite.OnQuery("FROM Transferencia", std::move(rows));
  ASSERT_TRUE(Generate()) << Object().Error();
  auto inserts = Inserts();
  ASSERT_EQ(inserts.size(), 10000u);
  EXPECT_EQ(QuotedValue(inserts[0], 1), "0001");
  EXPECT_EQ(QuotedValue(inserts[9], 1), "0010");
  EXPECT_EQ(QuotedValue(inserts[998], 1), "0999");
  EXPECT_EQ(QuotedValue(inserts[9998], 1), "9999");
  EXPECT_EQ(QuotedValue(inserts[9999], 1), "10000");
  EXPECT_EQ(suite.journal.Starting("Data.Obtener_Folio").size(), 1u);
}

}  // namespace
}  // namespace qbx::test
