// Generar_CFDI_Traslado on the recording doubles.

#include "tests/transfer/fixture.h"

namespace qbx::test {
namespace {

// The source line of this operation ends with a blank.
const std::string kSource = "Quelbarix.dll - Generar_CFDI_Traslado() \r\n";

// One stored line of shipment E1.
Row StoredLine(const std::string& id, Variant description = "Tornillo 1/4") {
  return {{"Tr_Folio", "E1"},         {"Tr_ID", id},
          {"Tr_Referencia", "SL-1"},  {"Tr_Comentario", "Envío"},
          {"Sc_Cve_Sucursal", "S1"},  {"Sc_Traslado_Serie", "A"},
          {"Pr_Cve_Producto", "P1"},  {"Pr_Descripcion", std::move(description)},
          {"Tl_Cve_Talla", "00"},     {"Cl_Cve_Color", "00"},
          {"Tr_Cantidad_1", 2.5},     {"Tr_Unidad_1", "PZA"},
          {"Tr_Cantidad_Costo", 2.5}, {"Tr_Unidad_Costo", "PZA"},
          {"Tr_Costo", 10.0},         {"Tr_Importe_Costo", 25.0}};
}

// The Traslado row written for a stored line of E1 under document folio F-1.
std::string Traslado(const std::string& id, const std::string& source_id,
                     const std::string& series = "'A', '7', 'A000000007'",
                     const std::string& concepto = "Tornillo 1/4") {
  return "INSERT INTO Traslado( Tr_Folio, Tr_ID, Tr_Fecha, Tr_Tabla, Tr_Documento, "
         "Tr_Documento_ID, Tr_Referencia, Tr_Comentario, Tr_Serie, Tr_Serie_Folio, Tr_Factura, "
         "Sc_Cve_Sucursal, Tr_Concepto, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, "
         "Tr_Cantidad_1, Tr_Unidad_1, Tr_Cantidad_Costo, Tr_Unidad_Costo, Tr_Costo, "
         "Tr_Costo_Importe, Mn_Cve_Moneda, Tr_Tipo_Cambio, Oper_Alta, Fecha_Alta, Oper_Ult_Modif, "
         "Fecha_Ult_Modif )VALUES( 'F-1', '" +
         id + "', '2024-03-05', 'TRANSFERENCIA', 'E1', '" + source_id + "', 'SL-1', 'Envío', " +
         series + ", 'S1', '" + concepto +
         "', 'P1', '00', '00', 2.5, 'PZA', 2.5, 'PZA', 10, 25, 'MXN', 1,'OPER', '" + kStamp +
         "', 'OPER', '" + kStamp + "' )";
}

class CfdiTest : public TransferTest {
 protected:
  CfdiTest() { Answer("Data.Obtener_Consecutivo_Serie", int32_t{7}); }
  bool Generate(std::vector<Row> rows, std::string folio = "E1") {
    Query("FROM Transferencia", std::move(rows));
    return Fresh().Generar_CFDI_Traslado(folio);
  }
};

TEST_F(CfdiTest, WritesOneRowPerLineInCallOrderWithSharedValues) {
  ASSERT_TRUE(Generate({StoredLine("0001"), StoredLine("0002"), StoredLine("0005")}))
      << Object().Error();
  EXPECT_EQ(
      suite->Statements(),
      (Texts{"SELECT    Tr_Folio,    Tr_Id,    Tr_Fecha,    Tr_Referencia,    Tr_Comentario,   "
             " Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Traslado_Serie,   "
             "Producto.Pr_Cve_Producto,    Producto.Pr_Descripcion,    Tl_Cve_Talla,    "
             "Cl_Cve_Color,    Tr_Cantidad_1,    Tr_Unidad_1,    Tr_Cantidad_Costo,    "
             "Tr_Unidad_Costo,    Tr_Costo,    Tr_Importe_Costo FROM Transferencia    INNER "
             "JOIN Producto ON Producto.Pr_Cve_Producto = Transferencia.Pr_Cve_Producto    "
             "INNER JOIN Sucursal on Sucursal.Sc_cve_Sucursal = Transferencia.Sc_Cve_Sucursal "
             "WHERE Tr_Tipo = 'EN' AND    Tr_Folio = 'E1' ",
             Traslado("0001", "0001"), Traslado("0002", "0002"), Traslado("0003", "0005")}));
  Texts expected = {"System.Obtener_Conexion", "Connection.Execute",
                    "Data.Obtener_Consecutivo_Serie", "Data.Obtener_Folio",
                    "Data.Obtener_Fecha_Servidor"};
  for (int i = 0; i < 3; ++i)
    expected.insert(expected.end(),
                    {"Data.Formatear_Fecha", "System.Obtener_Usuario", "Data.Formatear_Fecha_Hora",
                     "System.Obtener_Usuario", "Data.Formatear_Fecha_Hora",
                     "System.Obtener_Conexion", "Connection.Execute"});
  EXPECT_EQ(suite->journal.Calls(), expected) << suite->journal.Dump();
  EXPECT_EQ(suite->journal.entries()[2], R"(Data.Obtener_Consecutivo_Serie("S1", "A", 4&))");
  EXPECT_EQ(suite->journal.entries()[3], R"(Data.Obtener_Folio("S1", "TRASLADO", 10&, True))");
  EXPECT_TRUE(!suite->recordsets()[0]->closed && suite->recordsets()[0]->released);
}

TEST_F(CfdiTest, InvoiceKeyPadsTheNumberAndTheConceptIsCutAtOneHundredCharacters) {
  auto written = [&](const std::string& serie, int32_t numero, const std::string& factura,
                     const std::string& description = "Tornillo 1/4",
                     const std::string& concepto = "Tornillo 1/4") {
    SCOPED_TRACE("series '" + serie + "', " + std::to_string(description.size()) + " bytes");
    Answer("Data.Obtener_Consecutivo_Serie", numero);
    Row row = StoredLine("0001", description);
    Set(row, "Sc_Traslado_Serie", serie);
    ASSERT_TRUE(Generate({row})) << Object().Error();
    const std::string series =
        "'" + serie + "', '" + std::to_string(numero) + "', '" + factura + "'";
    EXPECT_EQ(Run("INSERT").back(), Traslado("0001", "0001", series, concepto));
  };
  written("", 7, "0000000007");
  written("TR", 123, "TR00000123");
  written("ÁB", 5, "ÁB00000005");  // an accented letter is one character
  written("ABCDEFGHIJ", 7, "ABCDEFGHIJ7");
  written("ABCDEFGH", 1234567, "ABCDEFGH1234567");  // the mask never cuts
  std::string accented, first100;                   // 150 characters, 300 bytes; its first 100
  for (int i = 0; i < 75; ++i) accented += "áé";
  for (int i = 0; i < 50; ++i) first100 += "áé";
  written("A", 7, "A000000007", accented, first100);
  // A character outside the basic plane counts two: at 100 it would be split.
  written("A", 7, "A000000007", std::string(99, 'x') + "\xF0\x9F\x93\xA6" + "yyy",
          std::string(99, 'x'));
  written("A", 7, "A000000007", std::string(100, 'z'), std::string(100, 'z'));
  written("A", 7, "A000000007", "", "");
}

TEST_F(CfdiTest, FailureTable) {
  // sent: INSERTs reaching the connection, the refused one included.
  auto refused = [&](std::vector<Row> rows, const std::string& message, size_t sent,
                     bool folio_asked) {
    SCOPED_TRACE(message);
    EXPECT_FALSE(Generate(std::move(rows)));
    EXPECT_EQ(Object().Error(), kSource + message);
    EXPECT_EQ(Run("INSERT").size(), sent);
    EXPECT_EQ(Count("Data.Obtener_Folio"), folio_asked ? 1u : 0u);
    Renew();
  };
  refused({}, "La transferencia no existe o no es de tipo EN - Envío", 0, false);
  Answer("Data.Obtener_Folio", "");
  refused({StoredLine("0001")}, "Error al generar el folio del traslado!", 0, true);
  Row row = StoredLine("0001");
  Set(row, "Sc_Traslado_Serie", "ABCDEFGHIJK");
  refused({row}, "Invalid procedure call or argument", 0, false);
  Set(row, "Sc_Traslado_Serie", Null{});
  refused({row}, "Invalid use of Null", 0, false);
  row = StoredLine("0002");
  Set(row, "Tr_Costo", Null{});
  refused({StoredLine("0001"), row}, "Invalid use of Null", 1, true);
  Query("INSERT INTO Traslado", {});  // the first row is written, the second refused
  Script({{"fail:INSERT INTO Traslado", "PRIMARY KEY"}});
  refused({StoredLine("0001"), StoredLine("0002")}, "PRIMARY KEY", 2, true);
}

TEST_F(CfdiTest, NullTextsAreEmptyQuotesAreDoubledAndTheErrorIsNotClearedOnEntry) {
  EXPECT_FALSE(Generate({}, "RC-1"));  // not a shipment
  const std::string earlier = Object().Error();
  Row row = StoredLine("0001", "Llave \"O'Brien\"");
  Set(row, "Tr_Comentario", Null{});
  Set(row, "Tr_Referencia", "SL'1");
  ASSERT_TRUE(Generate({row}, "E'1")) << Object().Error();
  EXPECT_EQ(Object().Error(), earlier);
  EXPECT_THAT(suite->Statements().at(1), HasSubstr("Tr_Folio = 'E''1' "));
  EXPECT_THAT(suite->Statements().at(2), HasSubstr("'SL''1', '', 'A', "));
  EXPECT_THAT(suite->Statements().at(2), HasSubstr(", 'Llave \"O''Brien\"', "));
}

TEST_F(CfdiTest, TenThousandLinesAreNumberedUpToTenThousand) {
  ASSERT_TRUE(Generate(std::vector<Row>(10000, StoredLine("x")))) << Object().Error();
  const auto sent = Run("INSERT");
  EXPECT_EQ(Texts({sent.at(998), sent.at(9998), sent.at(9999)}),
            Texts({Traslado("0999", "x"), Traslado("9999", "x"), Traslado("10000", "x")}));
}

}  // namespace
}  // namespace qbx::test
