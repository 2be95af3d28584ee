#include "suite/reports.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "suite/database.h"
#include "suite/dialect.h"

namespace qbx::suite {
namespace {

void Stream(Database& db, std::string_view sql, const std::vector<Variant>& params,
            RowStream& to) {
  auto st = db.PrepareOnce(sql, Origin::Suite);
  st->Bind(params);
  const int width = st->ColumnCount();
  std::vector<std::string> columns;
  for (int i = 0; i < width; ++i) columns.push_back(st->ColumnName(i));
  to.Columns(columns);
  std::vector<Variant> row(static_cast<size_t>(width));
  while (st->Step()) {
    for (int i = 0; i < width; ++i) row[static_cast<size_t>(i)] = st->Column(i);
    to.Row(row);
  }
}

// Keeps every row.
struct Collect final : RowStream {
  RowSet t;
  void Columns(const std::vector<std::string>& names) override { t.columns = names; }
  void Row(const std::vector<Variant>& values) override { t.rows.push_back(values); }
};

RowSet Read(Database& db, std::string_view sql, const std::vector<Variant>& params = {}) {
  Collect c;
  Stream(db, sql, params, c);
  return std::move(c.t);
}

std::vector<std::string> FirstColumn(const RowSet& t) {
  std::vector<std::string> texts;
  for (const auto& row : t.rows) texts.push_back(row.at(0).ToStringOrEmpty());
  return texts;
}

double Number(const Variant& v) {
  return v.IsNull() ? 0.0 : v.ToDouble();
}

}  // namespace

int RowSet::Find(std::string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].size() == column.size() && InStrNoCase(columns[i], column) == 1)
      return static_cast<int>(i);
  }
  return -1;
}

Variant RowSet::At(size_t r, std::string_view column) const {
  const int c = Find(column);
  return c < 0 ? Variant(Null{}) : rows.at(r).at(static_cast<size_t>(c));
}

void ReadRecordPart(Database& db, RecordPart part, const std::string& key, RowStream& to) {
  std::string_view sql;
  switch (part) {
    case RecordPart::FirstLine:
      sql = "SELECT * FROM Transferencia WHERE Tr_Folio = ?1 "
            "ORDER BY CAST(Tr_ID AS INTEGER), Tr_ID LIMIT 1";
      break;
    case RecordPart::Lines:
      sql = "SELECT * FROM Transferencia WHERE Tr_Folio = ?1 ORDER BY CAST(Tr_ID AS INTEGER), Tr_ID";
      break;
    case RecordPart::ReferredBy:
      sql = "SELECT Tr_Folio, Tr_Tipo, Es_Cve_Estado, COUNT(*) AS line_count "
            "FROM Transferencia WHERE Tr_Referencia = ?1 "
            "GROUP BY Tr_Folio, Tr_Tipo, Es_Cve_Estado ORDER BY Tr_Folio";
      break;
    case RecordPart::Movements:
      if (!db.HasTable("Movimiento")) return to.Columns({});
      sql = "SELECT * FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND Mv_Documento = ?1 "
            "ORDER BY Mv_Folio, Mv_ID";
      break;
    case RecordPart::TransportLines:
      sql = "SELECT * FROM Traslado WHERE Tr_Folio = ?1 ORDER BY CAST(Tr_ID AS INTEGER), Tr_ID";
      break;
    case RecordPart::TransportVouchers:
      sql = "SELECT * FROM Comprobante_Digital WHERE Cd_Tabla = 'TRASLADO' AND Cd_Documento = ?1 "
            "ORDER BY Cd_Numero";
      break;
    case RecordPart::Entries:
      if (!db.HasTable("Poliza")) return to.Columns({});
      sql = "SELECT * FROM Poliza WHERE Po_Tabla = 'TRANSFERENCIA' AND Po_Documento = ?1 "
            "ORDER BY Po_Folio";
      break;
    case RecordPart::EntryLines:
      if (!db.HasTable("Poliza") || !db.HasTable("Poliza_Detalle")) return to.Columns({});
      sql = "SELECT d.* FROM Poliza_Detalle d JOIN Poliza p ON p.Po_Folio = d.Po_Folio "
            "WHERE p.Po_Tabla = 'TRANSFERENCIA' AND p.Po_Documento = ?1 "
            "ORDER BY d.Po_Folio, d.Po_Renglon";
      break;
  }
  Stream(db, sql, {key}, to);
}

RowSet ReadRecordRows(Database& db, RecordPart part, const std::string& key) {
  Collect c;
  ReadRecordPart(db, part, key, c);
  return std::move(c.t);
}

RowSet TransferRows(Database& db, const std::string& folio) {
  return ReadRecordRows(db, RecordPart::Lines, folio);
}

int64_t TransferRowCount(Database& db, const std::string& folio) {
  return db.QueryValue("SELECT COUNT(*) FROM Transferencia WHERE Tr_Folio = ?1", {folio}).ToLong();
}

double TransferAmount(Database& db, const std::string& folio) {
  return db
      .QueryValue(
          "SELECT COALESCE(SUM(Tr_Importe_Costo), 0) FROM Transferencia WHERE Tr_Folio = ?1",
          {folio})
      .ToDouble();
}

std::optional<std::string> FinalisedAt(Database& db, const std::string& folio) {
  const RowSet t = Read(db,
                        "SELECT Dp_Fecha FROM Documento_Procesado WHERE Dp_Entidad = "
                        "'TRANSFERENCIA' AND Dp_Folio = ?1 AND Dp_ID = '' "
                        "ORDER BY Dp_Numero DESC LIMIT 1",
                        {folio});
  if (t.empty()) return std::nullopt;
  const Variant& at = t.rows[0][0];
  return at.type() == Variant::Type::Date ? at.ToDate().ToIsoText() : at.ToStringOrEmpty();
}

MovementCounts MovementsOf(Database& db, const std::string& folio) {
  if (!db.HasTable("Movimiento")) return {};
  const RowSet t = Read(db,
                        "SELECT COUNT(*), COUNT(CASE WHEN Mv_Aplicado <> 0 THEN 1 END), "
                        "COUNT(CASE WHEN Es_Cve_Estado <> 'CA' THEN 1 END), "
                        "COUNT(CASE WHEN Mv_Aplicado = 0 AND Es_Cve_Estado <> 'CA' THEN 1 END) "
                        "FROM Movimiento WHERE Mv_Tabla = 'TRANSFERENCIA' AND Mv_Documento = ?1",
                        {folio});
  const auto& row = t.rows.at(0);
  return {row[0].ToLong(), row[1].ToLong(), row[2].ToLong(), row[3].ToLong()};
}

std::vector<StockFigures> ReadStock(Database& db) {
  const RowSet t = Read(db,
                        "SELECT Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto, "
                        "SUM(Ex_Cantidad_1), SUM(Ex_Cantidad_1 + Ex_Ajuste_1) FROM Existencia "
                        "GROUP BY Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto "
                        "ORDER BY Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto");
  std::vector<StockFigures> stock;
  for (const auto& row : t.rows) {
    stock.push_back({row[0].ToStringOrEmpty(), row[1].ToStringOrEmpty(), row[2].ToStringOrEmpty(),
                     Number(row[3]), Number(row[4])});
  }
  return stock;
}

std::vector<Entry> EntriesOf(Database& db, const std::string& folio) {
  std::vector<Entry> entries;
  if (!db.HasTable("Poliza")) return entries;
  const RowSet t = Read(db,
                        "SELECT Po_Folio, Es_Cve_Estado, Po_Cargos, Po_Abonos FROM Poliza WHERE "
                        "Po_Tabla = 'TRANSFERENCIA' AND Po_Documento = ?1 ORDER BY Po_Folio",
                        {folio});
  for (const auto& row : t.rows) {
    entries.push_back(
        {row[0].ToStringOrEmpty(), row[1].ToStringOrEmpty(), Number(row[2]), Number(row[3])});
  }
  return entries;
}

std::vector<std::string> TransportDocumentsOf(Database& db, const std::string& folio) {
  return FirstColumn(Read(db,
                          "SELECT DISTINCT Tr_Folio FROM Traslado WHERE Tr_Tabla = "
                          "'TRANSFERENCIA' AND Tr_Documento = ?1 ORDER BY Tr_Folio",
                          {folio}));
}

std::vector<TransportLine> TransportLines(Database& db, const std::string& traslado) {
  const RowSet t = Read(db,
                        "SELECT Tr_ID, Tr_Factura, Es_Cve_Estado FROM Traslado WHERE Tr_Folio = "
                        "?1 ORDER BY CAST(Tr_ID AS INTEGER), Tr_ID",
                        {traslado});
  std::vector<TransportLine> lines;
  for (const auto& row : t.rows) {
    lines.push_back({row[0].ToStringOrEmpty(), row[1].ToStringOrEmpty(), row[2].ToStringOrEmpty()});
  }
  return lines;
}

std::optional<std::string> VoucherState(Database& db, const std::string& traslado) {
  const RowSet t = Read(db,
                        "SELECT Es_Cve_Estado FROM Comprobante_Digital WHERE Cd_Tabla = "
                        "'TRASLADO' AND Cd_Documento = ?1 ORDER BY Cd_Numero LIMIT 1",
                        {traslado});
  if (t.empty()) return std::nullopt;
  return t.rows[0][0].ToStringOrEmpty();
}

void RecordVoucher(Database& db, const std::string& traslado, const std::string& uuid) {
  static const DialectSql kInsert(
      "INSERT INTO Comprobante_Digital (Cd_Tabla, Cd_Documento, Cd_UUID, Cd_Fecha, "
      "Es_Cve_Estado) VALUES ('TRASLADO', ?1, ?2, {now}, 'AC')");
  db.Run(kInsert.For(db.dialect()), {traslado, uuid});
}

std::vector<std::string> RequestsOfOrder(Database& db, const std::string& order) {
  return FirstColumn(Read(db,
                          "SELECT DISTINCT Tr_Folio FROM Transferencia WHERE Tr_Tipo = 'SL' AND "
                          "Tr_Tabla = 'Pedido' AND Tr_Documento = ?1 ORDER BY Tr_Folio",
                          {order}));
}

std::vector<OrderDemand> DemandOfOrder(Database& db, const std::string& order) {
  // An order is asked at one branch and warehouse: MIN just names them in
  // the product's group.
  const RowSet t = Read(db,
                        "SELECT p.Pr_Cve_Producto, p.Tl_Cve_Talla, p.Cl_Cve_Color, "
                        "SUM(p.Pd_Cantidad_1), SUM(p.Pd_Cantidad_Control_1), "
                        "MIN(s.Sc_Centro_Distribucion), MIN(p.Sc_Cve_Sucursal), "
                        "MIN(p.Al_Cve_Almacen), SUM(p.Pd_Cantidad_Control_2) "
                        "FROM Pedido p JOIN Sucursal s ON s.Sc_Cve_Sucursal = p.Sc_Cve_Sucursal "
                        "WHERE p.Pd_Folio = ?1 "
                        "GROUP BY p.Pr_Cve_Producto, p.Tl_Cve_Talla, p.Cl_Cve_Color "
                        "ORDER BY p.Pr_Cve_Producto, p.Tl_Cve_Talla, p.Cl_Cve_Color",
                        {order});
  std::vector<OrderDemand> demand;
  for (const auto& row : t.rows) {
    demand.push_back({row[0].ToStringOrEmpty(), row[1].ToStringOrEmpty(), row[2].ToStringOrEmpty(),
                      Number(row[3]), Number(row[4]), row[5].ToStringOrEmpty(),
                      row[6].ToStringOrEmpty(), row[7].ToStringOrEmpty(), Number(row[8])});
  }
  return demand;
}

std::vector<OrderLine> OrderLines(Database& db, const std::string& order) {
  const RowSet t = Read(db,
                        "SELECT Pd_ID, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, "
                        "Es_Cve_Estado, Pd_Cantidad_Control_1 FROM Pedido WHERE Pd_Folio = ?1 "
                        "ORDER BY Pd_ID",
                        {order});
  std::vector<OrderLine> lines;
  for (const auto& row : t.rows) {
    lines.push_back({row[0].ToStringOrEmpty(), row[1].ToStringOrEmpty(), row[2].ToStringOrEmpty(),
                     row[3].ToStringOrEmpty(), row[4].ToStringOrEmpty(), Number(row[5])});
  }
  return lines;
}

void RecordConsolidation(Database& db, const std::string& order, const std::string& line_id,
                         const std::string& transfer) {
  db.Run(
      "INSERT INTO Documento_Consolidado (dc_documento, Dc_Documento_id, Dc_Documento_origen, "
      "Dc_Tabla_Origen) VALUES (?1, ?2, ?3, 'TRANSFERENCIA')",
      {order, line_id, transfer});
}

double AvailableAt(Database& db, const std::string& branch, const std::string& product,
                   const std::string& size, const std::string& colour) {
  return Number(db.QueryValue(
      "SELECT SUM(Ex_Cantidad_1 + Ex_Ajuste_1) FROM Existencia WHERE Sc_Cve_Sucursal = ?1 "
      "AND Pr_Cve_Producto = ?2 AND Tl_Cve_Talla = ?3 AND Cl_Cve_Color = ?4",
      {branch, product, size, colour}));
}

std::string ParameterValue(Database& db, const std::string& name) {
  return db.QueryValue("SELECT Pa_Valor FROM Parametro WHERE Pa_Cve_Parametro = ?1", {name})
      .ToStringOrEmpty();
}

void SetParameter(Database& db, const std::string& name, const std::string& value) {
  db.Run(
      "INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo) VALUES (?1, ?2, 'B') "
      "ON CONFLICT (Pa_Cve_Parametro) DO UPDATE SET Pa_Valor = excluded.Pa_Valor",
      {name, value});
}

void AddCatalogueProducts(Database& db, const std::vector<CatalogueProduct>& products) {
  db.Transaction([&] {
    Statement& product = db.Prepare(
        "INSERT INTO Producto (Pr_Cve_Producto, Pr_Descripcion, Pr_Tipo_Producto, "
        "Pr_Tipo_Costeo, Pr_Unidad_Control_1, Pr_Unidad_Control_2, Pr_Unidad_Costo, "
        "Pr_Cuenta_Contable, Es_Cve_Estado) "
        "VALUES (?1, ?2, '01', 'P', 'PZA', 'PZA', 'PZA', ?3, 'AC')");
    static const DialectSql kStock(
        "INSERT INTO Existencia (Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto, "
        "Tl_Cve_Talla, Cl_Cve_Color, Ex_Cantidad_1, Ex_Cantidad_2, Ex_Costo_Promedio, "
        "Fecha_Ult_Modif) VALUES (?1, ?2, ?3, '00', '00', ?4, ?4, ?5, {now})");
    Statement& stock = db.Prepare(kStock.For(db.dialect()));
    for (const CatalogueProduct& p : products) {
      product.Bind({p.code, p.description, p.account}).Run();
      stock.Bind({p.branch, p.warehouse, p.code, p.on_hand, p.average_cost}).Run();
    }
  });
}

void AddOrderLines(Database& db, const std::vector<NewOrderLine>& lines) {
  db.Transaction([&] {
    static const DialectSql kInsert(
        "INSERT INTO Pedido (Pd_Folio, Pd_ID, Sc_Cve_Sucursal, Al_Cve_Almacen, Pd_Fecha, "
        "Pd_Fecha_Entrega, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, Es_Cve_Estado, "
        "Pd_Cantidad_1, Pd_Unidad_1, Pd_Unidad_Control_1, Pd_Unidad_Control_2, "
        "Pd_Cantidad_Control_1, Pd_Cantidad_Control_2, Pd_Sucursal_Inventario, "
        "Pd_Almacen_Inventario) VALUES (?1, ?2, ?3, ?4, {today}, ?9, ?5, '00', '00', 'AC', "
        "?6, 'PZA', 'PZA', 'PZA', ?6, ?6, ?7, ?8)");
    Statement& st = db.Prepare(kInsert.For(db.dialect()));
    // Delivery a week from today, worked out here: date arithmetic is dialect.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_mday += 7;
    local.tm_hour = 12;  // away from a daylight-saving edge
    std::mktime(&local);
    char delivery[48];
    std::snprintf(delivery, sizeof delivery, "%04d-%02d-%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday);
    for (const NewOrderLine& l : lines) {
      st.Bind({l.folio, l.id, l.branch, l.warehouse, l.product, l.quantity, l.stock_branch,
               l.stock_warehouse, std::string(delivery)})
          .Run();
    }
  });
}

namespace {

// A stored date as "yyyy-mm-dd", whichever way the backend hands it out.
std::string DayText(const Variant& v) {
  if (v.type() == Variant::Type::Date) return v.ToDate().ToIsoText().substr(0, 10);
  return v.ToStringOrEmpty().substr(0, 10);
}

}  // namespace

std::vector<TransferSummary> ListTransfers(Database& db, const TransferFilter& filter) {
  // Only the filters given become conditions: an unused parameter would
  // leave its type unknown to a server.
  std::string where;
  std::vector<Variant> params;
  auto condition = [&](const std::string& value, std::string_view column) {
    if (value.empty()) return;
    params.emplace_back(value);
    where += (where.empty() ? " WHERE " : " AND ") + std::string(column) + " = ?" +
             std::to_string(params.size());
  };
  condition(filter.type, "Tr_Tipo");
  condition(filter.state, "Es_Cve_Estado");
  condition(filter.branch, "Sc_Cve_Sucursal");
  const RowSet t = Read(db,
                        "SELECT Tr_Folio, Tr_Tipo, Es_Cve_Estado, MIN(Tr_Fecha), "
                        "Sc_Cve_Sucursal, COUNT(*), MAX(Fecha_Alta) FROM Transferencia" +
                            where +
                            " GROUP BY Tr_Folio, Tr_Tipo, Es_Cve_Estado, Sc_Cve_Sucursal "
                            "ORDER BY MIN(Tr_Fecha) DESC, MAX(Fecha_Alta) DESC, Tr_Folio DESC",
                        params);
  std::vector<TransferSummary> list;
  for (const auto& row : t.rows) {
    TransferSummary s{row[0].ToStringOrEmpty(), row[1].ToStringOrEmpty(),
                      row[2].ToStringOrEmpty(), DayText(row[3]), row[4].ToStringOrEmpty(),
                      row[5].ToLong()};
    // Dates are compared here: how a date column meets a text differs
    // between backends.
    if (!filter.from.empty() && s.date < filter.from) continue;
    if (!filter.to.empty() && s.date > filter.to) continue;
    list.push_back(std::move(s));
  }
  return list;
}

RowSet CatalogueProducts(Database& db) {
  return Read(db,
              "SELECT Pr_Cve_Producto, Pr_Descripcion, Pr_Unidad_Control_1, "
              "CASE Pr_Tipo_Producto WHEN '02' THEN 'lot' WHEN '03' THEN 'serial' "
              "ELSE '' END AS tracking FROM Producto WHERE Es_Cve_Estado = 'AC' "
              "ORDER BY Pr_Cve_Producto");
}

RowSet CatalogueWarehouses(Database& db) {
  return Read(db,
              "SELECT Sc_Cve_Sucursal, Al_Cve_Almacen, Al_Descripcion, Al_Maneja_Talla, "
              "Al_Maneja_Color, Al_Maneja_Lote, Al_Maneja_Serie, Al_Transito FROM Almacen "
              "WHERE Es_Cve_Estado = 'AC' ORDER BY Sc_Cve_Sucursal, Al_Cve_Almacen");
}

RowSet CatalogueUnits(Database& db) {
  return Read(db,
              "SELECT Un_Cve_Unidad, Un_Descripcion FROM Unidad WHERE Es_Cve_Estado = 'AC' "
              "ORDER BY Un_Cve_Unidad");
}

RowSet CatalogueBranches(Database& db) {
  return Read(db,
              "SELECT Sc_Cve_Sucursal, Sc_Descripcion, Sc_Centro_Distribucion FROM Sucursal "
              "WHERE Es_Cve_Estado = 'AC' ORDER BY Sc_Cve_Sucursal");
}

RowSet OpenPeriods(Database& db) {
  return Read(db,
              "SELECT Pe_Modulo, Pe_Fecha_Inicio, Pe_Fecha_Fin FROM Periodo_Operativo "
              "WHERE Es_Cve_Estado = 'AC' ORDER BY Pe_Modulo, Pe_Fecha_Inicio");
}

namespace {

std::optional<std::string> StateOf(Database& db, std::string_view sql,
                                   const std::vector<Variant>& params) {
  const RowSet t = Read(db, sql, params);
  if (t.empty()) return std::nullopt;
  return t.rows[0][0].ToStringOrEmpty();
}

}  // namespace

std::optional<std::string> BranchState(Database& db, const std::string& branch) {
  return StateOf(db, "SELECT Es_Cve_Estado FROM Sucursal WHERE Sc_Cve_Sucursal = ?1", {branch});
}

std::optional<std::string> WarehouseState(Database& db, const std::string& branch,
                                          const std::string& warehouse) {
  return StateOf(db,
                 "SELECT Es_Cve_Estado FROM Almacen WHERE Sc_Cve_Sucursal = ?1 AND "
                 "Al_Cve_Almacen = ?2",
                 {branch, warehouse});
}

std::optional<std::string> UnitState(Database& db, const std::string& unit) {
  return StateOf(db, "SELECT Es_Cve_Estado FROM Unidad WHERE Un_Cve_Unidad = ?1", {unit});
}

std::optional<ProductFacts> FindProduct(Database& db, const std::string& product) {
  const RowSet t = Read(db,
                        "SELECT Es_Cve_Estado, Pr_Tipo_Producto, Pr_Unidad_Control_1 FROM "
                        "Producto WHERE Pr_Cve_Producto = ?1",
                        {product});
  if (t.empty()) return std::nullopt;
  return ProductFacts{t.rows[0][0].ToStringOrEmpty(), t.rows[0][1].ToStringOrEmpty(),
                      t.rows[0][2].ToStringOrEmpty()};
}

std::vector<std::string> UnitsOfProduct(Database& db, const std::string& product) {
  return FirstColumn(Read(db,
                          "SELECT Pr_Unidad_Control_1 FROM Producto WHERE Pr_Cve_Producto = ?1 "
                          "UNION SELECT CASE WHEN f.Fc_Unidad_Destino = p.Pr_Unidad_Control_1 "
                          "THEN f.Fc_Unidad_Origen ELSE f.Fc_Unidad_Destino END "
                          "FROM Factor_Conversion f JOIN Producto p ON p.Pr_Cve_Producto = ?1 "
                          "WHERE f.Pr_Cve_Producto IN (?1, '') AND f.Es_Cve_Estado <> 'BA' "
                          "AND p.Pr_Unidad_Control_1 IN (f.Fc_Unidad_Origen, f.Fc_Unidad_Destino) "
                          "ORDER BY 1",
                          {product}));
}

RowSet DocumentRows(Database& db, std::string_view table) {
  static constexpr std::string_view kTables[] = {"Transferencia", "Traslado", "Pedido"};
  if (std::find(std::begin(kTables), std::end(kTables), table) == std::end(kTables))
    throw RuntimeError(kErrSuite, "not a document table: " + std::string(table));
  // Every column in turn: one order for the same rows on any backend.
  const int width = db.PrepareOnce("SELECT * FROM " + std::string(table), Origin::Suite)
                        ->ColumnCount();
  std::string order;
  for (int i = 1; i <= width; ++i) order += (i > 1 ? ", " : "") + std::to_string(i);
  return Read(db, "SELECT * FROM " + std::string(table) + " ORDER BY " + order);
}

}  // namespace qbx::suite
