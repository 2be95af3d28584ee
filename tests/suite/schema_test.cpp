// The schema against the statement texts the component sends, exactly as it
// builds them, and the conventions every table follows.
#include "suite/schema.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "services/system_services.h"
#include "suite/connection.h"
#include "suite/database.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

const std::string kOperator = "ADMIN";
const std::string kStamp = "2024-03-05 10:30:00";

// The row insert, piece by piece as the component builds it.
std::string InsertTransferencia(const std::string& folio, const std::string& id,
                                const std::string& tipo, const std::string& referencia,
                                const std::string& tabla, const std::string& sucursal,
                                const std::string& almacen, const std::string& sucursal_recibe,
                                const std::string& producto, double cantidad, double costo) {
  auto text = [](const std::string& v) { return "'" + v + "', "; };
  auto number = [](double v) { return NumberText(v) + ", "; };
  return std::string("INSERT INTO Transferencia (") + "Tr_Folio, " + "Tr_ID, " + "Tr_Fecha, " +
         "Tr_Fecha_Entrega, " + "Tr_Tipo, " + "Tr_Referencia, " + "Tr_Comentario, " + "Tr_Tabla, " +
         "Tr_Documento, " + "Sc_Cve_Sucursal_Recibe, " + "Sc_Cve_Sucursal, " + "Al_Cve_Almacen, " +
         "Al_Cve_Almacen_Recibe, " + "Pr_Cve_Producto, " + "Tl_Cve_Talla, " + "Cl_Cve_Color, " +
         "Tr_Cantidad_1, " + "Tr_Unidad_1, " + "Tr_Cantidad_Control_1, " + "Tr_Unidad_Control_1, " +
         "Tr_Cantidad_Control_2, " + "Tr_Unidad_Control_2, " + "Tr_Cantidad_Costo, " +
         "Tr_Unidad_Costo, " + "Tr_Costo, " + "Tr_Importe_Costo, " + "Tr_Indirecto_Factor, " +
         "Tr_Indirecto_Importe, " + "Lt_Cve_Lote, " + "Lt_Fecha_Caducidad, " + "Lt_Pedimento, " +
         "Lt_Fecha_Pedimento, " + "Oper_Alta, " + "Fecha_Alta, " + "Oper_Ult_Modif, " +
         "Fecha_Ult_Modif) " + "VALUES (" + text(folio) + text(id) + text("2024-03-05") +
         text("2024-03-06") + text(tipo) + text(referencia) + text("Envío de prueba") +
         text(tabla) + text("") + text(sucursal_recibe) + text(sucursal) + text(almacen) +
         text("GRL") + text(producto) + text("00") + text("00") + number(cantidad) + text("PZA") +
         number(cantidad) + text("PZA") + number(cantidad) + text("CJA") + number(cantidad) +
         text("PZA") + number(costo) + number(costo * cantidad) + number(0) + number(0) + "'', " +
         text("1899-12-30") + text("") + text("1899-12-30") + text(kOperator) + text(kStamp) +
         text(kOperator) + "'" + kStamp + "')";
}

std::string CostQuery(const std::string& referencia, const std::string& producto) {
  return std::string("SELECT Tr_Costo ") + "FROM Transferencia " + "WHERE Tr_Folio = '" +
         referencia + "' AND " + "   Pr_Cve_Producto = '" + producto + "' AND " +
         "   Tl_Cve_Talla = '" + "00" + "' AND " + "   Cl_Cve_Color = '" + "00" + "'";
}

std::string LinesQuery(const std::string& folio, bool receiving) {
  return std::string("SELECT ") +
         (receiving ? "     Sc_Cve_Sucursal_Recibe, " : "     Sc_Cve_Sucursal, ") +
         (receiving ? "     Al_Cve_Almacen_Recibe, " : "     Al_Cve_Almacen, ") +
         "     Pr_Cve_Producto, " + "     Tl_Cve_Talla, " + "     Cl_Cve_Color, " +
         "     Tr_Cantidad_Control_1, " + "     Tr_Cantidad_Control_2 " + "FROM Transferencia " +
         "WHERE " + "     Tr_Folio = '" + folio + "' ";
}

std::string CancelUpdate(const std::string& table, const std::string& folio, bool blank_after) {
  return "UPDATE " + table + " SET " + "     Es_Cve_Estado = 'CA', " + "     Oper_Ult_Modif = '" +
         kOperator + "', " + "     Fecha_Ult_Modif = '" + kStamp + "', " + "     Oper_Baja = '" +
         kOperator + "', " + "     Fecha_Baja = '" + kStamp + "' " + "WHERE Tr_Folio = '" + folio +
         (blank_after ? "' " : "'");
}

std::string ConsolidatedOrdersQuery(const std::string& folio) {
  return std::string("SELECT  ") + "   pd.Pd_Sucursal_Inventario," +
         "   pd.Pd_Almacen_Inventario," + "   pd.Pd_Folio," + "   pd.Pd_ID," +
         "   pd.Pr_Cve_Producto," + "   pd.Tl_Cve_Talla ," + "   pd.Cl_Cve_Color ," +
         "   pd.Pd_Cantidad_Control_1 ," + "   pd.Pd_Cantidad_Control_2 " +
         "FROM Documento_Consolidado dc" +
         "     INNER JOIN Pedido pd ON pd.Pd_Folio = dc.dc_documento " +
         "       AND pd.Pd_ID = dc.Dc_Documento_id " + "       AND pd.Es_Cve_Estado = 'AC' " +
         "WHERE " + "   dc.Dc_Documento_origen = '" + folio + "' AND " +
         "   dc.Dc_Tabla_Origen = 'TRANSFERENCIA' ";
}

std::string OrderQuery(const std::string& folio) {
  return std::string("SELECT ") + "   Sucursal.Sc_Cve_Sucursal, " +
         "   Sucursal.Sc_Centro_Distribucion, " + "   Pedido.Pd_Fecha, " +
         "   Pedido.Pd_Fecha_Entrega, " + "   Pedido.Pr_Cve_Producto, " +
         "   Pedido.Tl_Cve_Talla, " + "   Pedido.Cl_Cve_Color,  " + "   Pedido.Es_Cve_Estado, " +
         "   Pedido.Pd_Unidad_Control_1, " + "   Pedido.Pd_Unidad_Control_2, " +
         "   SUM(Pedido.Pd_Cantidad_Control_1) as Pd_Cantidad_Control_1, " +
         "   SUM(Pedido.Pd_Cantidad_Control_2) as Pd_Cantidad_Control_2 " + "FROM Pedido " +
         "   INNER JOIN Sucursal ON Pedido.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal " +
         "WHERE Pd_Folio = '" + folio + "' " + "GROUP BY " + "   Sucursal.Sc_Cve_Sucursal, " +
         "   Sucursal.Sc_Centro_Distribucion, " + "   Pedido.Pd_Fecha, " +
         "   Pedido.Pd_Fecha_Entrega, " + "   Pedido.Pr_Cve_Producto, " +
         "   Pedido.Tl_Cve_Talla, " + "   Pedido.Cl_Cve_Color, " + "   Pedido.Es_Cve_Estado, " +
         "   Pedido.Pd_Unidad_Control_1, " + "   Pedido.Pd_Unidad_Control_2";
}

std::string CompanyQuery(const std::string& folio) {
  return std::string("SELECT ") + "   Transferencia.Tr_Folio, " + "   Sucursal.Sc_Cve_Sucursal, " +
         "   Em_Cve_Empresa " + "FROM Transferencia " +
         "   INNER JOIN Sucursal ON  Transferencia.Sc_Cve_Sucursal = Sucursal.Sc_Cve_Sucursal " +
         "WHERE Transferencia.Tr_Folio = '" + folio + "' AND " +
         "   Sucursal.Es_Cve_Estado <> 'BA' AND Transferencia.Es_Cve_Estado <> 'CA' ";
}

std::string TransportSourceQuery(const std::string& folio) {
  return std::string("SELECT ") + "   Tr_Folio, " + "   Tr_Id, " + "   Tr_Fecha, " +
         "   Tr_Referencia, " + "   Tr_Comentario, " + "   Sucursal.Sc_Cve_Sucursal, " +
         "   Sucursal.Sc_Traslado_Serie," + "   Producto.Pr_Cve_Producto, " +
         "   Producto.Pr_Descripcion, " + "   Tl_Cve_Talla, " + "   Cl_Cve_Color, " +
         "   Tr_Cantidad_1, " + "   Tr_Unidad_1, " + "   Tr_Cantidad_Costo, " +
         "   Tr_Unidad_Costo, " + "   Tr_Costo, " + "   Tr_Importe_Costo " + "FROM Transferencia " +
         "   INNER JOIN Producto ON Producto.Pr_Cve_Producto = Transferencia.Pr_Cve_Producto " +
         "   INNER JOIN Sucursal on Sucursal.Sc_cve_Sucursal = Transferencia.Sc_Cve_Sucursal " +
         "WHERE Tr_Tipo = 'EN' AND " + "   Tr_Folio = '" + folio + "' ";
}

std::string TransportInsert(const std::string& folio, const std::string& id,
                            const std::string& source_folio, const std::string& source_id) {
  const char* columns[] = {"Tr_Folio",          "Tr_ID",           "Tr_Fecha",
                           "Tr_Tabla",          "Tr_Documento",    "Tr_Documento_ID",
                           "Tr_Referencia",     "Tr_Comentario",   "Tr_Serie",
                           "Tr_Serie_Folio",    "Tr_Factura",      "Sc_Cve_Sucursal",
                           "Tr_Concepto",       "Pr_Cve_Producto", "Tl_Cve_Talla",
                           "Cl_Cve_Color",      "Tr_Cantidad_1",   "Tr_Unidad_1",
                           "Tr_Cantidad_Costo", "Tr_Unidad_Costo", "Tr_Costo",
                           "Tr_Costo_Importe",  "Mn_Cve_Moneda",   "Tr_Tipo_Cambio",
                           "Oper_Alta",         "Fecha_Alta",      "Oper_Ult_Modif",
                           "Fecha_Ult_Modif"};
  std::string sql = "INSERT INTO Traslado( ";
  for (size_t i = 0; i < std::size(columns); ++i)
    sql += std::string(columns[i]) + (i + 1 < std::size(columns) ? ", " : " ");
  auto text = [](const std::string& v) { return "'" + v + "', "; };
  sql += ")VALUES( " + text(folio) + text(id) + text("2024-03-05") + "'TRANSFERENCIA', " +
         text(source_folio) + text(source_id) + text("F-SL") + text("Envío de prueba") +
         text("TC") + text("7") + text("TC00000007") + text("CEDIS") + text("Tornillo") +
         text("TORN-001") + text("00") + text("00") + "2.5, " + text("PZA") + "2.5, " +
         text("PZA") + "3.5, " + "8.75, " + "'MXN', " + "1," + text(kOperator) + text(kStamp) +
         text(kOperator) + "'" + kStamp + "' " + ")";
  return sql;
}

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
  int Count(const std::string& sql) {
    int n = 0;
    for (auto rs = Run(sql); !rs->Eof(); rs->MoveNext()) ++n;
    return n;
  }

  com::ComPtr<ISystemServices> system_;
  com::ComPtr<IDataServices> data_;
  com::ComPtr<IConnection> connection_;
};

TEST_F(SchemaTest, EveryStatementOfTheComponentRunsOnTheSchema) {
  // Capture: a request, the shipment that serves it (two lines), a reception.
  Run(InsertTransferencia("F-SL", "0001", "SL", "", "Pedido", "NORTE", "GRL", "CEDIS", "TORN-001",
                          5, 0));
  Run(InsertTransferencia("F-EN", "0001", "EN", "F-SL", "TRANSFERENCIA", "CEDIS", "GRL", "NORTE",
                          "TORN-001", 2.5, 3.5));
  Run(InsertTransferencia("F-EN", "0002", "EN", "F-SL", "TRANSFERENCIA", "CEDIS", "GRL", "NORTE",
                          "KIT-01", 1, 20));
  Run(InsertTransferencia("F-RC", "0001", "RC", "F-EN", "TRANSFERENCIA", "NORTE", "GRL", "CEDIS",
                          "TORN-001", 2.5, 0));
  EXPECT_EQ(Count("SELECT * FROM Transferencia"), 4);

  // The reception's cost from the shipment row.
  auto cost = Run(CostQuery("F-EN", "TORN-001"));
  ASSERT_FALSE(cost->Eof());
  EXPECT_EQ(cost->Field("Tr_Costo"), Variant(3.5));

  // Finalising: the company of the transfer's branch.
  auto company = Run(CompanyQuery("F-EN"));
  ASSERT_FALSE(company->Eof());
  EXPECT_EQ(company->Field("Em_Cve_Empresa"), Variant("EMP01"));

  // Transport document: source rows, one insert per row.
  auto source = Run(TransportSourceQuery("F-EN"));
  int line = 0;
  for (; !source->Eof(); source->MoveNext()) {
    ++line;
    EXPECT_EQ(source->Field("Sc_Traslado_Serie"), Variant("TC"));
    EXPECT_EQ(source->Field("Tr_Fecha"), Variant(Date::FromCalendar(2024, 3, 5)));
    Run(TransportInsert("CEDIS-0000000009", FormatZeros(line, "0000"),
                        source->Field("Tr_Folio").ToString(), source->Field("Tr_ID").ToString()));
  }
  source->Close();
  EXPECT_EQ(line, 2);
  EXPECT_EQ(Count("SELECT * FROM Traslado WHERE Es_Cve_Estado = 'AC'"), 2);

  // Cancellation of the shipment.
  auto first = Run("SELECT * FROM Transferencia WHERE Tr_Folio = 'F-EN' ORDER BY Tr_ID ");
  EXPECT_EQ(first->Field("Tr_ID"), Variant("0001"));
  EXPECT_EQ(first->Field("Tr_Tipo"), Variant("EN"));
  EXPECT_EQ(first->Field("Tr_Fecha"), Variant(Date::FromCalendar(2024, 3, 5)));
  EXPECT_EQ(first->Field("Es_Cve_Estado"), Variant("AC"));
  EXPECT_TRUE(first->Field("Fecha_Baja").IsNull());
  first->Close();
  auto moves =
      Run("SELECT COUNT(*) as Total FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND "
          "Mv_Documento = 'F-EN'");
  EXPECT_EQ(moves->Field("Total"), Variant(int32_t{0}));
  EXPECT_EQ(Count(LinesQuery("F-SL", true)), 1);
  EXPECT_EQ(Count(LinesQuery("F-EN", false)), 2);
  const std::string transport = data_->Obtener_Valor_Campo(
      "Traslado", "Tr_Tabla", "TRANSFERENCIA", "Tr_Folio", 0, "Tr_Documento", "F-EN", "CA");
  EXPECT_EQ(transport, "CEDIS-0000000009");
  EXPECT_EQ(data_->Obtener_Valor_Campo("Comprobante_Digital", "Cd_Tabla", "TRASLADO",
                                       "Es_Cve_Estado", 0, "Cd_Documento", transport, ""),
            "");
  Run(CancelUpdate("Traslado", transport, true));
  EXPECT_EQ(data_->Obtener_Valor_Campo("Traslado", "Tr_Tabla", "TRANSFERENCIA", "Tr_Folio", 0,
                                       "Tr_Documento", "F-EN", "CA"),
            "");
  Run(CancelUpdate("Transferencia", "F-EN", false));
  EXPECT_EQ(Count("SELECT * FROM Transferencia WHERE Es_Cve_Estado = 'CA'"), 2);
  EXPECT_TRUE(Run("SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = 'F-SL' AND Tr_Tipo = "
                  "'EN' AND Es_Cve_Estado <> 'CA'")
                  ->Eof());
  Run(std::string("UPDATE Transferencia SET ") + "   Es_Cve_Estado = 'AC' " +
      "WHERE Tr_Folio = 'F-SL' AND Tr_Tipo = 'SL'");

  // Cancellation of the reception, which consolidated an order line.
  Run("INSERT INTO Documento_Consolidado (dc_documento, Dc_Documento_id, Dc_Documento_origen, "
      "Dc_Tabla_Origen) VALUES ('PED-0002', '0001', 'F-RC', 'TRANSFERENCIA')");
  auto orders = Run(ConsolidatedOrdersQuery("F-RC"));
  ASSERT_FALSE(orders->Eof());
  EXPECT_EQ(orders->Field("Pd_Folio"), Variant("PED-0002"));
  EXPECT_EQ(orders->Field("Pd_Cantidad_Control_1"), Variant(20.0));
  const std::string order_folio = orders->Field("Pd_Folio").ToString();
  const std::string order_line = orders->Field("Pd_ID").ToString();
  Run(std::string("UPDATE Pedido ") + "SET Es_Cve_Estado = 'BO' " + "WHERE " + "   Pd_Folio = '" +
      order_folio + "' AND " + "   Pd_ID = '" + order_line + "' ");
  orders->MoveNext();
  EXPECT_TRUE(orders->Eof());
  orders->Close();
  EXPECT_EQ(data_->Obtener_Valor_Campo("Pedido", "Pd_Folio", "PED-0002", "Es_Cve_Estado", 0,
                                       "Pd_ID", "0001", ""),
            "BO");
  Run(CancelUpdate("Transferencia", "F-RC", false));
  EXPECT_TRUE(Run("SELECT TOP 1 Tr_Folio FROM Transferencia WHERE Tr_Referencia = 'F-EN' AND "
                  "Tr_Tipo = 'RC' AND Es_Cve_Estado <> 'CA'")
                  ->Eof());
  Run(std::string("UPDATE Transferencia SET ") + "   Es_Cve_Estado = 'AC' " +
      "WHERE Tr_Folio = 'F-EN' AND Tr_Tipo = 'EN'");
  Run(std::string("UPDATE Transferencia SET ") + "   Es_Cve_Estado = 'RCP' " +
      "WHERE Tr_Folio = 'F-EN' AND Tr_Tipo = 'EN'");
  EXPECT_EQ(Count("SELECT * FROM Transferencia WHERE Es_Cve_Estado = 'RCP'"), 2);

  // Requisition from an order: grouped lines with summed control quantities.
  auto order = Run(OrderQuery("PED-0001"));
  int rows = 0;
  for (; !order->Eof(); order->MoveNext()) {
    ++rows;
    EXPECT_EQ(order->Field("Sc_Centro_Distribucion"), Variant("CEDIS"));
    EXPECT_EQ(order->Field("Pd_Fecha").type(), Variant::Type::Date);
    EXPECT_EQ(order->Field("Es_Cve_Estado"), Variant("AC"));
  }
  EXPECT_EQ(rows, 2);
}

TEST_F(SchemaTest, TextComparesWithoutRegardToCase) {
  Run(InsertTransferencia("F-1", "0001", "SL", "", "Transferencia", "NORTE", "GRL", "CEDIS",
                          "TORN-001", 1, 0));
  auto rs =
      Run("SELECT COUNT(*) as Total FROM Transferencia WHERE Tr_Tabla = 'TRANSFERENCIA' AND "
          "Tr_Folio = 'f-1'");
  EXPECT_EQ(rs->Field("Total"), Variant(int32_t{1}));
}

// Column lists of every table, as the schema declares them.
struct ColumnInfo {
  std::string table, name, type;
  bool not_null;
  std::string default_value;
};

std::vector<ColumnInfo> AllColumns(Database& db) {
  std::vector<ColumnInfo> out;
  auto tables = db.PrepareOnce(
      "SELECT m.name, p.name, p.type, p.\"notnull\", p.dflt_value FROM sqlite_master m, "
      "pragma_table_info(m.name) p WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite_%'",
      Origin::Suite);
  while (tables->Step()) {
    out.push_back({tables->Column(0).ToString(), tables->Column(1).ToString(),
                   tables->Column(2).ToString(), tables->Column(3).ToLong() != 0,
                   tables->Column(4).ToStringOrEmpty()});
  }
  return out;
}

TEST_F(SchemaTest, EveryStateIsRequiredAndLiveByDefault) {
  int states = 0;
  for (const ColumnInfo& c : AllColumns(*Db())) {
    if (c.name != "Es_Cve_Estado") continue;
    ++states;
    EXPECT_TRUE(c.not_null) << c.table;
    EXPECT_EQ(c.default_value, "'AC'") << c.table;
  }
  EXPECT_GE(states, 9);
}

TEST_F(SchemaTest, DateColumnsAreDeclaredAsDates) {
  for (const ColumnInfo& c : AllColumns(*Db())) {
    const bool named_as_date =
        c.name.rfind("Fecha", 0) == 0 || c.name.find("_Fecha") != std::string::npos;
    if (!named_as_date) continue;
    EXPECT_TRUE(c.type == "DATE" || c.type == "DATETIME")
        << c.table << "." << c.name << " " << c.type;
  }
}

// Every column declared TEXT compares without regard to case: an index on the
// column takes the column's own collation, which the index's description
// names.
TEST_F(SchemaTest, EveryTextColumnIgnoresCase) {
  auto db = Db();
  int probed = 0;
  for (const ColumnInfo& c : AllColumns(*db)) {
    if (c.type != "TEXT") continue;
    ++probed;
    db->Exec("CREATE INDEX Probe ON " + QuoteIdentifier(c.table) + " (" + QuoteIdentifier(c.name) +
             ")");
    Variant collation =
        db->QueryValue("SELECT coll FROM pragma_index_xinfo('Probe') WHERE cid >= 0");
    db->Exec("DROP INDEX Probe");
    EXPECT_EQ(collation, Variant("NOCASE")) << c.table << "." << c.name;
  }
  EXPECT_GT(probed, 100);
}

// Tables the component joins: a name they share is a join column or the
// state, which the component always qualifies.
TEST_F(SchemaTest, JoinedTablesShareOnlyTheirJoinColumns) {
  struct Join {
    std::string left, right;
    std::set<std::string> on;
  } joins[] = {
      {"Transferencia", "Producto", {"Pr_Cve_Producto"}},
      {"Transferencia", "Sucursal", {"Sc_Cve_Sucursal"}},
      {"Producto", "Sucursal", {}},
      {"Pedido", "Sucursal", {"Sc_Cve_Sucursal"}},
      {"Documento_Consolidado", "Pedido", {}},
  };
  std::vector<ColumnInfo> columns = AllColumns(*Db());
  auto names = [&](const std::string& table) {
    std::set<std::string> out;
    for (const ColumnInfo& c : columns) {
      if (c.table == table) {
        std::string lower = c.name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char ch) { return std::tolower(ch); });
        out.insert(lower);
      }
    }
    return out;
  };
  for (const Join& j : joins) {
    std::set<std::string> left = names(j.left), right = names(j.right);
    ASSERT_FALSE(left.empty()) << j.left;
    ASSERT_FALSE(right.empty()) << j.right;
    std::set<std::string> allowed{"es_cve_estado"};
    for (std::string on : j.on) {
      std::transform(on.begin(), on.end(), on.begin(),
                     [](unsigned char ch) { return std::tolower(ch); });
      allowed.insert(on);
    }
    for (const std::string& name : left) {
      if (right.count(name)) {
        EXPECT_TRUE(allowed.count(name)) << j.left << "/" << j.right << ": " << name;
      }
    }
  }
}

// The lookups the component makes find their rows through an index.
TEST_F(SchemaTest, LookupsUseAnIndex) {
  struct Case {
    std::string sql;
    std::string index;
  } cases[] = {
      {CostQuery("F-EN", "TORN-001"), "IX_Transferencia_Costo"},
      {RewriteTop("SELECT TOP 1 * FROM Transferencia WHERE Tr_Referencia = 'F' AND Tr_Tipo = 'EN' "
                  "AND Es_Cve_Estado <> 'CA'"),
       "IX_Transferencia_Referencia"},
      {"SELECT * FROM Transferencia WHERE Tr_Folio = 'F' ORDER BY Tr_ID ",
       "sqlite_autoindex_Transferencia"},
      {"SELECT Tr_Folio FROM Traslado WHERE Tr_Tabla = 'TRANSFERENCIA' AND Tr_Documento = 'F'",
       "IX_Traslado_Documento"},
      {ConsolidatedOrdersQuery("F"), "sqlite_autoindex_Documento_Consolidado"},
      {"SELECT Es_Cve_Estado FROM Comprobante_Digital WHERE Cd_Tabla = 'TRASLADO' AND "
       "Cd_Documento = 'F'",
       "IX_Comprobante_Digital_Documento"},
      {"UPDATE Pedido SET Es_Cve_Estado = 'BO' WHERE Pd_Folio = 'P' AND Pd_ID = '0001'",
       "sqlite_autoindex_Pedido"},
  };
  auto db = Db();
  for (const Case& c : cases) {
    auto plan = db->PrepareOnce("EXPLAIN QUERY PLAN " + c.sql, Origin::Suite);
    std::string details;
    while (plan->Step()) details += plan->Column("detail").ToString() + "\n";
    EXPECT_NE(details.find(c.index), std::string::npos) << c.sql << "\n" << details;
    EXPECT_EQ(details.find("SCAN "), std::string::npos) << c.sql << "\n" << details;
  }
}

TEST(SchemaVersion, IsRecordedAndANewerDatabaseIsRefused) {
  std::string path = (std::filesystem::temp_directory_path() /
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
    RuntimeError e = ErrorOf([&] { db.EnsureSchema(); });
    EXPECT_EQ(e.number(), kErrSuite);
  }
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

}  // namespace
}  // namespace qbx::suite::test
