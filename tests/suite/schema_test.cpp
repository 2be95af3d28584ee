// The schema against the statement texts the component sends, exactly as it
// builds them, and the conventions every table follows.
#include "suite/schema.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "services/system_services.h"
#include "suite/connection.h"
#include "tests/requisition_query.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

const std::string kStamp = "'ADMIN', '2024-03-05 10:30:00', 'ADMIN', '2024-03-05 10:30:00'";

std::string InsertTransferencia(const std::string& folio, const std::string& id,
                                const std::string& tipo, const std::string& referencia,
                                const std::string& tabla, const std::string& sucursal,
                                const std::string& recibe, const std::string& producto,
                                double cantidad, double costo) {
  const std::string q = NumberText(cantidad) + ", ";
  return "INSERT INTO Transferencia (Tr_Folio, Tr_ID, Tr_Fecha, Tr_Fecha_Entrega, Tr_Tipo, "
         "Tr_Referencia, Tr_Comentario, Tr_Tabla, Tr_Documento, Sc_Cve_Sucursal_Recibe, "
         "Sc_Cve_Sucursal, Al_Cve_Almacen, Al_Cve_Almacen_Recibe, Pr_Cve_Producto, Tl_Cve_Talla, "
         "Cl_Cve_Color, Tr_Cantidad_1, Tr_Unidad_1, Tr_Cantidad_Control_1, Tr_Unidad_Control_1, "
         "Tr_Cantidad_Control_2, Tr_Unidad_Control_2, Tr_Cantidad_Costo, Tr_Unidad_Costo, "
         "Tr_Costo, Tr_Importe_Costo, Tr_Indirecto_Factor, Tr_Indirecto_Importe, Lt_Cve_Lote, "
         "Lt_Fecha_Caducidad, Lt_Pedimento, Lt_Fecha_Pedimento, Oper_Alta, Fecha_Alta, "
         "Oper_Ult_Modif, Fecha_Ult_Modif) VALUES ('" +
         folio + "', '" + id + "', '2024-03-05', '2024-03-06', '" + tipo + "', '" + referencia +
         "', 'Envío de prueba', '" + tabla + "', '', '" + recibe + "', '" + sucursal +
         "', 'GRL', 'GRL', '" + producto + "', '00', '00', " + q + "'PZA', " + q + "'PZA', " + q +
         "'CJA', " + q + "'PZA', " + NumberText(costo) + ", " + NumberText(costo * cantidad) +
         ", 0, 0, '', '1899-12-30', '', '1899-12-30', " + kStamp + ")";
}

std::string CancelUpdate(const std::string& table, const std::string& folio) {
  return "UPDATE " + table +
         " SET      Es_Cve_Estado = 'CA',      Oper_Ult_Modif = 'ADMIN',      Fecha_Ult_Modif = "
         "'2024-03-05 10:30:00',      Oper_Baja = 'ADMIN',      Fecha_Baja = '2024-03-05 "
         "10:30:00' WHERE Tr_Folio = '" +
         folio + "'";
}

const std::string kCostQuery =
    "SELECT Tr_Costo FROM Transferencia WHERE Tr_Folio = 'F-EN' AND    Pr_Cve_Producto = "
    "'TORN-001' AND    Tl_Cve_Talla = '00' AND    Cl_Cve_Color = '00'";
const std::string kRowsQuery =
    "SELECT * FROM Transferencia WHERE Tr_Folio = 'F-EN' ORDER BY Tr_ID ";
const std::string kShipmentQuery =
    "SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = 'F-SL' AND Tr_Tipo = 'EN' AND "
    "Es_Cve_Estado <> 'CA'";
const std::string kConsolidatedQuery =
    "SELECT     pd.Pd_Sucursal_Inventario,   pd.Pd_Almacen_Inventario,   pd.Pd_Folio,   "
    "pd.Pd_ID,   pd.Pr_Cve_Producto,   pd.Tl_Cve_Talla ,   pd.Cl_Cve_Color ,   "
    "pd.Pd_Cantidad_Control_1 ,   pd.Pd_Cantidad_Control_2 FROM Documento_Consolidado dc     "
    "INNER JOIN Pedido pd ON pd.Pd_Folio = dc.dc_documento        AND pd.Pd_ID = "
    "dc.Dc_Documento_id        AND pd.Es_Cve_Estado = 'AC' WHERE    dc.Dc_Documento_origen = "
    "'F-RC' AND    dc.Dc_Tabla_Origen = 'TRANSFERENCIA' ";
const std::string kOrderUpdate =
    "UPDATE Pedido SET Es_Cve_Estado = 'BO' WHERE    Pd_Folio = 'PED-0002' AND    Pd_ID = '0001' ";

class SchemaTest : public SuiteTest {
 protected:
  void SetUp() override {
    SuiteTest::SetUp();
    system_ = Make<ISystemServices>(kClsidSystemServices);
    data_ = Make<IDataServices>(kClsidDataServices);
    connection_ = system_->Obtener_Conexion();
  }
  com::ComPtr<IRecordset> Run(const std::string& sql) {
    return connection_->Execute(sql, Variant(Missing{}), -1);
  }
  // The rows' fields as texts: "|" between fields, "; " after each row.
  // The rows as "a|b; c|d; ". A text without ORDER BY answers in the order
  // rows were stored on the embedded file only, so on a server they are
  // compared sorted (the expected text's rows must then be sorted too).
  std::string Rows(const std::string& sql, const std::vector<std::string>& fields) {
    std::vector<std::string> rows;
    for (auto rs = Run(sql); !rs->Eof(); rs->MoveNext()) {
      std::string row;
      for (size_t i = 0; i < fields.size(); ++i) {
        const Variant v = rs->Field(fields[i]);
        row += (i ? "|" : "") + (v.IsNull() ? std::string("Null") : v.ToString());
      }
      rows.push_back(row + "; ");
    }
    if (qbx::test::OnServer() && sql.find("ORDER BY") == std::string::npos)
      std::sort(rows.begin(), rows.end());
    std::string out;
    for (const std::string& row : rows) out += row;
    return out;
  }
  // Rows expected in the embedded file's order, sorted on a server as Rows
  // sorts them.
  static std::string InStoredOrder(const std::string& expected) {
    if (!qbx::test::OnServer()) return expected;
    std::vector<std::string> rows;
    for (size_t at = 0, end; (end = expected.find("; ", at)) != std::string::npos; at = end + 2)
      rows.push_back(expected.substr(at, end + 2 - at));
    std::sort(rows.begin(), rows.end());
    std::string out;
    for (const std::string& row : rows) out += row;
    return out;
  }
  std::string Lookup(const std::string& table, const std::string& key, const std::string& value,
                     const std::string& result, const std::string& key2, const std::string& value2,
                     const std::string& excluded) {
    return data_->Obtener_Valor_Campo(table, key, value, result, 0, key2, value2, excluded);
  }

  com::ComPtr<ISystemServices> system_;
  com::ComPtr<IDataServices> data_;
  com::ComPtr<IConnection> connection_;
};

TEST_F(SchemaTest, EveryStatementOfTheComponentRunsOnTheSchema) {
  // Capture: a request, the shipment that serves it (two lines), a reception.
  Run(InsertTransferencia("F-SL", "0001", "SL", "", "Pedido", "NORTE", "CEDIS", "TORN-001", 5, 0));
  Run(InsertTransferencia("F-EN", "0001", "EN", "F-SL", "TRANSFERENCIA", "CEDIS", "NORTE",
                          "TORN-001", 2.5, 3.5));
  Run(InsertTransferencia("F-EN", "0002", "EN", "F-SL", "TRANSFERENCIA", "CEDIS", "NORTE", "KIT-01",
                          1, 20));
  Run(InsertTransferencia("F-RC", "0001", "RC", "F-EN", "TRANSFERENCIA", "NORTE", "CEDIS",
                          "TORN-001", 2.5, 0));
  // The reception's cost from the shipment row; the company when finalising.
  EXPECT_EQ(Rows(kCostQuery, {"Tr_Costo"}), "3.5; ");
  EXPECT_EQ(Rows("SELECT    Transferencia.Tr_Folio,    Sucursal.Sc_Cve_Sucursal,    "
                 "Em_Cve_Empresa FROM Transferencia    INNER JOIN Sucursal ON  "
                 "Transferencia.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal WHERE "
                 "Transferencia.Tr_Folio = 'F-EN' AND    Sucursal.Es_Cve_Estado <> 'BA' AND "
                 "Transferencia.Es_Cve_Estado <> 'CA' ",
                 {"Tr_Folio", "Sc_Cve_Sucursal", "Em_Cve_Empresa"}),
            "F-EN|CEDIS|EMP01; F-EN|CEDIS|EMP01; ");

  // Transport document: source rows, one insert per row.
  auto source =
      Run("SELECT    Tr_Folio,    Tr_Id,    Tr_Fecha,    Tr_Referencia,    Tr_Comentario,    "
          "Sucursal.Sc_Cve_Sucursal,    Sucursal.Sc_Traslado_Serie,   Producto.Pr_Cve_Producto,    "
          "Producto.Pr_Descripcion,    Tl_Cve_Talla,    Cl_Cve_Color,    Tr_Cantidad_1,    "
          "Tr_Unidad_1,    Tr_Cantidad_Costo,    Tr_Unidad_Costo,    Tr_Costo,    Tr_Importe_Costo "
          "FROM Transferencia    INNER JOIN Producto ON Producto.Pr_Cve_Producto = "
          "Transferencia.Pr_Cve_Producto    INNER JOIN Sucursal on Sucursal.Sc_cve_Sucursal = "
          "Transferencia.Sc_Cve_Sucursal WHERE Tr_Tipo = 'EN' AND    Tr_Folio = 'F-EN' ");
  for (int line = 1; !source->Eof(); ++line, source->MoveNext()) {
    Run("INSERT INTO Traslado( Tr_Folio, Tr_ID, Tr_Fecha, Tr_Tabla, Tr_Documento, "
        "Tr_Documento_ID, Tr_Referencia, Tr_Comentario, Tr_Serie, Tr_Serie_Folio, Tr_Factura, "
        "Sc_Cve_Sucursal, Tr_Concepto, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, Tr_Cantidad_1, "
        "Tr_Unidad_1, Tr_Cantidad_Costo, Tr_Unidad_Costo, Tr_Costo, Tr_Costo_Importe, "
        "Mn_Cve_Moneda, Tr_Tipo_Cambio, Oper_Alta, Fecha_Alta, Oper_Ult_Modif, Fecha_Ult_Modif "
        ")VALUES( 'CEDIS-0000000009', '" +
        FormatZeros(line, "0000") + "', '2024-03-05', 'TRANSFERENCIA', '" +
        source->Field("Tr_Folio").ToString() + "', '" + source->Field("Tr_ID").ToString() +
        "', 'F-SL', 'Envío de prueba', '" + source->Field("Sc_Traslado_Serie").ToString() +
        "', '7', 'TC00000007', 'CEDIS', 'Tornillo', 'TORN-001', '00', '00', 2.5, 'PZA', 2.5, "
        "'PZA', 3.5, 8.75, 'MXN', 1," +
        kStamp + " )");
  }
  EXPECT_EQ(Rows("SELECT * FROM Traslado WHERE Es_Cve_Estado = 'AC'", {"Tr_ID", "Tr_Serie"}),
            "0001|TC; 0002|TC; ");

  // Cancellation of the shipment.
  EXPECT_EQ(Rows(kRowsQuery, {"Tr_ID", "Tr_Tipo", "Tr_Fecha", "Es_Cve_Estado", "Fecha_Baja"}),
            "0001|EN|05/03/2024|AC|Null; 0002|EN|05/03/2024|AC|Null; ");
  EXPECT_EQ(Rows("SELECT COUNT(*) as Total FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND "
                 "Mv_Documento = 'F-EN'",
                 {"Total"}),
            "0; ");
  EXPECT_EQ(Rows("SELECT      Sc_Cve_Sucursal_Recibe,      Al_Cve_Almacen_Recibe,      "
                 "Pr_Cve_Producto,      Tl_Cve_Talla,      Cl_Cve_Color,      "
                 "Tr_Cantidad_Control_1,      Tr_Cantidad_Control_2 FROM Transferencia WHERE      "
                 "Tr_Folio = 'F-SL' ",
                 {"Sc_Cve_Sucursal_Recibe", "Al_Cve_Almacen_Recibe", "Tr_Cantidad_Control_2"}),
            "CEDIS|GRL|5; ");
  EXPECT_EQ(Rows("SELECT      Sc_Cve_Sucursal,      Al_Cve_Almacen,      Pr_Cve_Producto,      "
                 "Tl_Cve_Talla,      Cl_Cve_Color,      Tr_Cantidad_Control_1,      "
                 "Tr_Cantidad_Control_2 FROM Transferencia WHERE      Tr_Folio = 'F-EN' ",
                 {"Sc_Cve_Sucursal", "Pr_Cve_Producto", "Tr_Cantidad_Control_1"}),
            InStoredOrder("CEDIS|TORN-001|2.5; CEDIS|KIT-01|1; "));
  const std::string transport =
      Lookup("Traslado", "Tr_Tabla", "TRANSFERENCIA", "Tr_Folio", "Tr_Documento", "F-EN", "CA");
  EXPECT_EQ(transport, "CEDIS-0000000009");
  EXPECT_EQ(Lookup("Comprobante_Digital", "Cd_Tabla", "TRASLADO", "Es_Cve_Estado", "Cd_Documento",
                   transport, ""),
            "");
  Run(CancelUpdate("Traslado", transport) + " ");
  EXPECT_EQ(
      Lookup("Traslado", "Tr_Tabla", "TRANSFERENCIA", "Tr_Folio", "Tr_Documento", "F-EN", "CA"),
      "");
  Run(CancelUpdate("Transferencia", "F-EN"));
  EXPECT_EQ(Rows(kRowsQuery, {"Es_Cve_Estado"}), "CA; CA; ");
  EXPECT_TRUE(Run(kShipmentQuery)->Eof());
  Run("UPDATE Transferencia SET    Es_Cve_Estado = 'AC' WHERE Tr_Folio = 'F-SL' AND Tr_Tipo = "
      "'SL'");

  // Cancellation of the reception, which consolidated an order line.
  Run("INSERT INTO Documento_Consolidado (dc_documento, Dc_Documento_id, Dc_Documento_origen, "
      "Dc_Tabla_Origen) VALUES ('PED-0002', '0001', 'F-RC', 'TRANSFERENCIA')");
  auto orders = Run(kConsolidatedQuery);
  ASSERT_FALSE(orders->Eof());
  EXPECT_EQ(orders->Field("Pd_Folio").ToString() + "|" + orders->Field("Pd_ID").ToString() + "|" +
                orders->Field("Pd_Cantidad_Control_1").ToString(),
            "PED-0002|0001|20");
  Run(kOrderUpdate);
  orders->MoveNext();
  EXPECT_TRUE(orders->Eof());
  orders->Close();
  EXPECT_EQ(Lookup("Pedido", "Pd_Folio", "PED-0002", "Es_Cve_Estado", "Pd_ID", "0001", ""), "BO");
  Run(CancelUpdate("Transferencia", "F-RC"));
  EXPECT_TRUE(Run("SELECT TOP 1 Tr_Folio FROM Transferencia WHERE Tr_Referencia = 'F-EN' AND "
                  "Tr_Tipo = 'RC' AND Es_Cve_Estado <> 'CA'")
                  ->Eof());
  Run("UPDATE Transferencia SET    Es_Cve_Estado = 'AC' WHERE Tr_Folio = 'F-EN' AND Tr_Tipo = "
      "'EN'");
  Run("UPDATE Transferencia SET    Es_Cve_Estado = 'RCP' WHERE Tr_Folio = 'F-EN' AND Tr_Tipo = "
      "'EN'");
  EXPECT_EQ(Rows(kRowsQuery, {"Es_Cve_Estado"}), "RCP; RCP; ");

  // Requisition from an order: grouped lines with summed control quantities,
  // served from the distribution centre's first warehouse that is no transit one.
  EXPECT_EQ(Rows(qbx::test::RequisitionOrderQuery("PED-0001"),
                 {"Al_Cve_Almacen", "Al_Cve_Almacen_Pedido", "Pd_Cantidad_1",
                  "Sc_Centro_Distribucion", "Pd_Fecha", "Es_Cve_Estado"}),
            InStoredOrder("GRL|GRL|4|CEDIS|15/01/2026|AC; GRL|GRL|150|CEDIS|15/01/2026|AC; "));

  // The lookups find their rows through an index, without scanning.
  const std::pair<std::string, std::string> lookups[] = {
      {kCostQuery, "IX_Transferencia_Costo"},
      {RewriteTop(kShipmentQuery), "IX_Transferencia_Referencia"},
      {kRowsQuery, "sqlite_autoindex_Transferencia"},
      {"SELECT Tr_Folio FROM Traslado WHERE Tr_Tabla = 'TRANSFERENCIA' AND Tr_Documento = 'F'",
       "IX_Traslado_Documento"},
      {kConsolidatedQuery, "sqlite_autoindex_Documento_Consolidado"},
      {"SELECT Es_Cve_Estado FROM Comprobante_Digital WHERE Cd_Tabla = 'TRASLADO' AND "
       "Cd_Documento = 'F'",
       "IX_Comprobante_Digital_Documento"},
      {kOrderUpdate, "sqlite_autoindex_Pedido"},
  };
  QBX_SKIP_ON_SERVER("the plans are the embedded file's");
  for (const auto& [sql, index] : lookups) {
    const std::string details = Plan(sql);
    EXPECT_NE(details.find(index), std::string::npos) << sql << "\n" << details;
    EXPECT_EQ(details.find("SCAN "), std::string::npos) << sql << "\n" << details;
  }
}

// The sizes the tool holds a document's texts to are the schema's own checks:
// each backend takes a text of the size, in characters, and refuses a longer
// one.
TEST_F(SchemaTest, TextLimitsAreTheColumnsOwnChecks) {
  auto db = Db();
  int checked = 0;
  for (const TextLimit& l : TextLimits()) {
    if (l.table != "Transferencia") continue;
    const std::string insert = "INSERT INTO Transferencia (Tr_Folio, Tr_ID, " +
                               std::string(l.column) + ") VALUES ('LIMIT', ?1, ?2)";
    std::string text;
    for (int i = 0; i < l.size; ++i) text += "\xC3\xB1";  // two bytes, one character
    db->Run(insert, {std::to_string(checked), text});
    EXPECT_EQ(ErrorOf([&] { db->Run(insert, {"x" + std::to_string(checked), text + "n"}); })
                  .number(),
              kErrDatabase)
        << l.column;
    ++checked;
  }
  EXPECT_GE(checked, 10);
  db->Run("DELETE FROM Transferencia WHERE Tr_Folio = 'LIMIT'", {});
}

// Every state is required and live by default, every date column is declared
// as a date, and every text column ignores case (an index on it takes the
// column's collation).
TEST_F(SchemaTest, ColumnConventions) {
  QBX_SKIP_ON_SERVER("the embedded file's declarations");
  const std::string columns =
      " FROM sqlite_master m, pragma_table_info(m.name) p WHERE m.type = 'table' AND m.name NOT "
      "LIKE 'sqlite_%' AND ";
  // The columns breaking a rule, as "table.column".
  const auto broken = [&](const std::string& rule) {
    return Value("SELECT COALESCE(group_concat(m.name || '.' || p.name), '')" + columns + rule)
        .ToString();
  };
  EXPECT_EQ(broken("p.name = 'Es_Cve_Estado' AND (p.\"notnull\" = 0 OR p.dflt_value IS NOT "
                   "'''AC''')"),
            "");
  EXPECT_EQ(broken("(p.name GLOB 'Fecha*' OR p.name GLOB '*_Fecha*') AND p.type NOT IN ('DATE', "
                   "'DATETIME')"),
            "");
  EXPECT_GE(Value("SELECT COUNT(*)" + columns + "p.name = 'Es_Cve_Estado'").ToDouble(), 9);
  auto db = Db();
  std::vector<std::pair<std::string, std::string>> texts;
  auto st = db->PrepareOnce("SELECT m.name, p.name" + columns + "p.type = 'TEXT'", Origin::Suite);
  while (st->Step()) texts.emplace_back(st->Column(0).ToString(), st->Column(1).ToString());
  st.reset();
  EXPECT_GT(texts.size(), 100u);
  for (const auto& [table, name] : texts) {
    db->Exec("CREATE INDEX Probe ON " + QuoteIdentifier(table) + " (" + QuoteIdentifier(name) +
             ")");
    EXPECT_EQ(db->QueryValue("SELECT coll FROM pragma_index_xinfo('Probe') WHERE cid >= 0"),
              Variant("NOCASE"))
        << table << "." << name;
    db->Exec("DROP INDEX Probe");
  }
}

TEST(SchemaVersion, IsRecordedAndANewerDatabaseIsRefused) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("quelbarix-version-" + std::to_string(::getpid()) + ".db"))
                               .string();
  std::filesystem::remove(path);
  {
    Database db(path, true);
    EXPECT_EQ(db.SchemaVersion(), 0);
    EXPECT_TRUE(db.EnsureSchema());
    EXPECT_EQ(db.SchemaVersion(), kSchemaVersion);
    EXPECT_FALSE(db.EnsureSchema());  // idempotent on a current database
    db.Run("UPDATE Version_Esquema SET Ve_Version = ?1", {int32_t{kSchemaVersion + 1}});
    EXPECT_EQ(ErrorOf([&] { db.EnsureSchema(); }).number(), kErrSuite);
  }
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

}  // namespace
}  // namespace qbx::suite::test
