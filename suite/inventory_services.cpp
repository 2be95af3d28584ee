// InventoryServices of the embedded suite, and the inventory store its sibling
// services share (inventory_store.h).
//
// What each figure means:
// - On hand (Existencia.Ex_Cantidad_1/_2): the goods physically at one
//   warehouse, by product, size and colour, in control units 1 and 2. Only
//   applied movements change it: Finalizar_Movimiento applies a document's
//   pending rows, Cancelar_Movimientos_Documento reverses applied ones.
// - Average cost (Ex_Costo_Promedio): the unit cost (per control unit 1) of
//   the goods on hand, kept up to date as each movement is applied: an entry
//   weighs its cost in, an issue leaves it unchanged. It is never recomputed
//   over the movement history. Issues are priced at it when they are added.
// - Availability adjustment (Ex_Ajuste_1/_2): what documents have committed
//   or released without moving goods. A request subtracts what it commits at
//   the distribution centre; a shipment gives it back as its goods leave, so
//   that once the shipment's issue is applied the commitment is gone from
//   both figures. Only Ajustar_Existencia changes it.
// - Obtener_Existencia answers the available stock: on hand plus the
//   adjustment, summed over the branch's warehouses that match the pattern
//   (LIKE), to six decimals. Its sixth argument picks the control unit (1
//   or 2); the seventh is reserved and must be empty.
// - Pending movement rows (Movimiento.Mv_Aplicado = 0) are not stock: an
//   issue is checked against on hand less what the same movement document
//   already issues of the same stock, and again when it is applied.
// - Precision: on hand, the adjustment and the average cost are kept to six
//   decimals (StockFigure, decimal.h): each change rounds the quantity it
//   moves and the figure it leaves, halves away from zero. Six decimals are
//   finer than goods are counted or priced in, yet a Double's own error never
//   reaches half a millionth below 10^9, so a movement and its reversal leave
//   a quantity exactly as it was (not 7.24E-15 where 0 was meant). A reversed
//   entry's value leaves the rounded average, which may then differ from the
//   one before the entry in its last decimal.
// Each quantity lives in one place: on hand and cost in Existencia, the
// adjustment beside them, movements in Movimiento. A warehouse that keeps no
// sizes (colours) keeps every size (colour) under "00".
//
// Nothing read from the database is remembered from one call to the next:
// warehouse capabilities, stock figures and parameters are read as they are
// when a call needs them. What an object keeps is its own document's state:
// the folio it was given, its line count, its nature (issue or entry, fixed
// by its first detail: all its rows move stock the same way) and what it has
// issued and not yet applied.
//
// Movement objects hold one document each. Its folio (Mv_Folio) is given on
// the first accepted detail; Mv_Tabla and Mv_Documento name the source
// document from the header; Mv_ID numbers the lines "0001", "0002", ...
// Rows start pending and live (Es_Cve_Estado 'AC'); a cancelled row is 'CA'
// (a pending one discarded, an applied one reversed).
#include "services/inventory_services.h"

#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "automation/value.h"
#include "suite/config.h"
#include "suite/database.h"
#include "suite/decimal.h"
#include "suite/dialect.h"
#include "suite/inventory_store.h"
#include "suite/services.h"

namespace qbx::suite {

// ---------------------------------------------------------------------------
// The inventory store
// ---------------------------------------------------------------------------

namespace inv {

bool SameCode(std::string_view a, std::string_view b) {
  return UCase(a) == UCase(b);
}

std::optional<std::string> ParameterText(Database& db, std::string_view name) {
  Query query(db,
              "SELECT Pa_Valor FROM Parametro WHERE Pa_Cve_Parametro = ? AND Es_Cve_Estado <> 'BA'",
              {std::string(name)});
  if (query.Step()) return query.Text(0);
  return std::nullopt;
}

bool ParameterFlag(Database& db, std::string_view name, bool default_value) {
  std::optional<std::string> text = ParameterText(db, name);
  if (!text) return default_value;
  std::string v = UCase(Trim(*text));
  if (v.empty()) return default_value;
  return v == "1" || v == "-1" || v == "TRUE" || v == "VERDADERO" || v == "S" || v == "SI";
}

bool NegativeStockAllowed(Database& db) {
  return ParameterFlag(db, "INV_PERMITIR_EXISTENCIA_NEGATIVA", false);
}

std::string TransitWarehouse(Database& db) {
  return ParameterText(db, "MOV_ALMACEN_TRANSITO_TRANSFERENCIA").value_or("");
}

int64_t NextCounter(Database& db, std::string_view key) {
  // The table name: a bare column in the SET is ambiguous on a server, where
  // excluded has it too.
  Query query(db,
              "INSERT INTO Contador_Inventario (Ci_Clave, Ci_Ultimo) VALUES (?, 1) "
              "ON CONFLICT (Ci_Clave) DO UPDATE SET Ci_Ultimo = Contador_Inventario.Ci_Ultimo + 1 "
              "RETURNING Ci_Ultimo",
              {std::string(key)});
  return query.Step() ? static_cast<int64_t>(query.Number(0)) : 0;
}

char KindDirection(Database& db, std::string_view kind) {
  std::string nature;
  if (Query query(db,
                  "SELECT Tm_Naturaleza FROM Tipo_Movimiento "
                  "WHERE Tm_Cve_Tipo_Movimiento = ? AND Es_Cve_Estado <> 'BA'",
                  {std::string(kind)});
      query.Step())
    nature = UCase(query.Text(0));
  if (nature == "E" || nature == "S") return nature[0];
  if (kind.empty()) return '\0';
  for (const char* p : {"MOV_SALIDA_TRANSFERENCIA", "MOV_SALIDA_TRANSITO"}) {
    std::optional<std::string> v = ParameterText(db, p);
    if (v && SameCode(*v, kind)) return 'S';
  }
  for (const char* p : {"MOV_ENTRADA_TRANSFERENCIA", "MOV_ENTRADA_TRANSITO"}) {
    std::optional<std::string> v = ParameterText(db, p);
    if (v && SameCode(*v, kind)) return 'E';
  }
  return '\0';
}

WarehouseFlags ReadWarehouse(Database& db, std::string_view branch, std::string_view warehouse) {
  Query query(db,
              "SELECT Al_Maneja_Talla, Al_Maneja_Color, Al_Maneja_Lote, Al_Maneja_Serie FROM "
              "Almacen WHERE Sc_Cve_Sucursal = ? AND Al_Cve_Almacen = ? AND Es_Cve_Estado <> 'BA'",
              {std::string(branch), std::string(warehouse)});
  if (!query.Step()) return {};
  return {true, query.Flag(0), query.Flag(1), query.Flag(2), query.Flag(3)};
}

StockKey NormalisedKey(const WarehouseFlags& flags, StockKey key) {
  if (flags.exists && !flags.sizes) key.size = "00";
  if (flags.exists && !flags.colours) key.colour = "00";
  return key;
}

StockRow ReadStock(Database& db, const StockKey& key) {
  Query query(db,
              "SELECT Ex_Cantidad_1, Ex_Cantidad_2, Ex_Costo_Promedio, Ex_Ajuste_1, Ex_Ajuste_2 "
              "FROM Existencia WHERE Sc_Cve_Sucursal = ? AND Pr_Cve_Producto = ? AND "
              "Tl_Cve_Talla = ? AND Cl_Cve_Color = ? AND Al_Cve_Almacen = ?",
              {key.branch, key.product, key.size, key.colour, key.warehouse});
  StockRow row;
  if (query.Step()) {
    row.exists = true;
    row.on_hand_1 = query.Number(0);
    row.on_hand_2 = query.Number(1);
    row.average_cost = query.Number(2);
    row.adjustment_1 = query.Number(3);
    row.adjustment_2 = query.Number(4);
  }
  return row;
}

std::string InsufficientStockText(const StockKey& key, double on_hand, double wanted) {
  std::string text = "Existencia insuficiente del producto: " + key.product;
  if (!key.size.empty() && key.size != "00") text += ", talla: " + key.size;
  if (!key.colour.empty() && key.colour != "00") text += ", color: " + key.colour;
  text += ", en el almacén: " + key.warehouse + " de la sucursal: " + key.branch +
          ". Existencia: " + NumberText(on_hand) + ", cantidad solicitada: " + NumberText(wanted);
  return text;
}

void ApplyToStock(Database& db, const StockKey& key, char direction, bool reverse, double q1,
                  double q2, double unit_cost, bool allow_negative) {
  StockRow row = ReadStock(db, key);
  // Quantities move as kept (six decimals), so a reversal takes back exactly
  // what its movement brought.
  q1 = StockFigure(q1);
  q2 = StockFigure(q2);
  // Whether the goods come in: an entry, or the reversal of an issue.
  const bool in = (direction == 'E') != reverse;
  const double q = row.on_hand_1;
  double average = row.average_cost;
  double new_q1, new_q2;
  if (in) {
    new_q1 = StockFigure(Add(q, q1));
    new_q2 = StockFigure(Add(row.on_hand_2, q2));
    if (q > kEpsilon && new_q1 > kEpsilon) {
      average = Divide(Add(Multiply(q, average), Multiply(q1, unit_cost)), new_q1);
    } else if (new_q1 > kEpsilon || !row.exists) {
      average = unit_cost;
    }
  } else {
    new_q1 = StockFigure(Subtract(q, q1));
    new_q2 = StockFigure(Subtract(row.on_hand_2, q2));
    if (!allow_negative && new_q1 < -kEpsilon) Refuse(InsufficientStockText(key, q, q1));
    if (reverse && new_q1 > kEpsilon) {
      // Takes the reversed entry's value back out of the average.
      average = Divide(Subtract(Multiply(q, average), Multiply(q1, unit_cost)), new_q1);
      if (average < 0) average = 0;
    }
  }
  average = StockFigure(average);
  static const DialectSql kInsertExistencia(
      "INSERT INTO Existencia (Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto, Tl_Cve_Talla, "
      "Cl_Cve_Color, Ex_Cantidad_1, Ex_Cantidad_2, Ex_Costo_Promedio, Fecha_Ult_Modif) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, {now}) "
      "ON CONFLICT (Sc_Cve_Sucursal, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, "
      "Al_Cve_Almacen) DO UPDATE SET Ex_Cantidad_1 = excluded.Ex_Cantidad_1, "
      "Ex_Cantidad_2 = excluded.Ex_Cantidad_2, Ex_Costo_Promedio = excluded.Ex_Costo_Promedio, "
      "Fecha_Ult_Modif = excluded.Fecha_Ult_Modif");
  Statement& st = db.Prepare(kInsertExistencia.For(db.dialect()));
  st.Bind({key.branch, key.warehouse, key.product, key.size, key.colour, new_q1, new_q2, average})
      .Run();
}

TransferLine ReadTransferLine(Database& db, std::string_view folio, std::string_view line_id) {
  Query query(db,
              "SELECT Tr_Tipo, Es_Cve_Estado, Sc_Cve_Sucursal, Al_Cve_Almacen, "
              "Sc_Cve_Sucursal_Recibe, Al_Cve_Almacen_Recibe FROM Transferencia "
              "WHERE Tr_Folio = ? AND Tr_ID = ?",
              {std::string(folio), std::string(line_id)});
  TransferLine line;
  if (query.Step()) {
    line.exists = true;
    line.type = query.Text(0);
    line.state = query.Text(1);
    line.branch = query.Text(2);
    line.warehouse = query.Text(3);
    line.receiving_branch = query.Text(4);
    line.receiving_warehouse = query.Text(5);
  }
  return line;
}

Route TransferRoute(Database& db, const TransferLine& line, std::string_view folio) {
  if (line.type == "EN") {
    return {line.branch, line.warehouse, line.receiving_branch, TransitWarehouse(db)};
  }
  if (line.type == "RC") {
    return {line.branch, TransitWarehouse(db), line.branch, line.warehouse};
  }
  Refuse("La transferencia: " + std::string(folio) + " de tipo " + line.type +
         " no mueve mercancía");
}

}  // namespace inv

// ---------------------------------------------------------------------------
// InventoryServices
// ---------------------------------------------------------------------------

namespace {

using inv::Refusal;

class InventoryServices final : public com::Object<InventoryServices, IInventoryServices> {
 public:
  InventoryServices() : Object(&SuiteModule()), db_(Database::ForThread()) {}

  // --- stock object ---

  bool Maneja_Talla(const std::string& branch, const std::string& warehouse) override {
    return Flags(branch, warehouse).sizes;
  }
  bool Maneja_Color(const std::string& branch, const std::string& warehouse) override {
    return Flags(branch, warehouse).colours;
  }
  bool Maneja_Lote(const std::string& branch, const std::string& warehouse) override {
    return Flags(branch, warehouse).lots;
  }
  bool Maneja_Serie(const std::string& branch, const std::string& warehouse) override {
    return Flags(branch, warehouse).serials;
  }

  std::string Obtener_Tipo_Producto(const std::string& product) override {
    if (db_->UnitLevel() > 0) {  // the product's row, read once per unit
      static const std::string kSql = KeyRowSql("Producto", "Pr_Cve_Producto", "", false);
      auto row = db_->UnitRow("Producto", kSql, {product});
      const Variant* type = row->Find("Pr_Tipo_Producto");
      return type ? type->ToStringOrEmpty() : std::string();
    }
    Query query(*db_, "SELECT Pr_Tipo_Producto FROM Producto WHERE Pr_Cve_Producto = ?", {product});
    return query.Step() ? query.Text(0) : std::string();
  }

  bool Ajustar_Existencia(const std::string& branch, const std::string& warehouse,
                          const std::string& product, const std::string& size,
                          const std::string& colour, double quantity1, double quantity2) override {
    error_.clear();
    if (!std::isfinite(quantity1) || !std::isfinite(quantity2)) {
      return Fail("La cantidad a ajustar no es un número válido");
    }
    // The live warehouse is read in the same statement that adjusts its
    // figure, so its capabilities (and whether it still exists) are as of
    // now; a warehouse that keeps no sizes (colours) counts them as "00".
    // Servers round only exact numbers to a number of decimals, hence the
    // cast; the table name keeps the old figure apart from excluded's.
    static const DialectSql kInsertExistencia(
        "INSERT INTO Existencia (Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto, "
        "Tl_Cve_Talla, Cl_Cve_Color, Ex_Ajuste_1, Ex_Ajuste_2, Fecha_Ult_Modif) "
        "SELECT ?1, ?2, ?3, CASE WHEN Al_Maneja_Talla <> 0 THEN ?4 ELSE '00' END, "
        "CASE WHEN Al_Maneja_Color <> 0 THEN ?5 ELSE '00' END, ?6, ?7, "
        "{now} FROM Almacen WHERE Sc_Cve_Sucursal = ?1 "
        "AND Al_Cve_Almacen = ?2 AND Es_Cve_Estado <> 'BA' "
        "ON CONFLICT (Sc_Cve_Sucursal, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, "
        "Al_Cve_Almacen) DO UPDATE SET "
        "Ex_Ajuste_1 = ROUND(CAST(Existencia.Ex_Ajuste_1 + excluded.Ex_Ajuste_1 AS NUMERIC), "
        "?8), "
        "Ex_Ajuste_2 = ROUND(CAST(Existencia.Ex_Ajuste_2 + excluded.Ex_Ajuste_2 AS NUMERIC), "
        "?8), "
        "Fecha_Ult_Modif = excluded.Fecha_Ult_Modif");
    const int64_t changed =
        db_->Prepare(kInsertExistencia.For(db_->dialect()))
            .Bind({branch, warehouse, product, size, colour, StockFigure(quantity1),
                   StockFigure(quantity2), int32_t{kStockDecimals}})
            .Run();
    if (changed == 0) return Fail(MissingWarehouseText(branch, warehouse));
    return true;
  }

  double Obtener_Existencia(const std::string& branch, const std::string& warehouse_pattern,
                            const std::string& product, const std::string& size,
                            const std::string& colour, int32_t unit,
                            const std::string& reserved) override {
    if ((unit != 1 && unit != 2) || !reserved.empty()) Raise(kErrInvalidCall);
    Query query(*db_,
                unit == 1
                    ? "SELECT COALESCE(SUM(Ex_Cantidad_1 + Ex_Ajuste_1), 0.0) FROM Existencia "
                      "WHERE Sc_Cve_Sucursal = ? AND Pr_Cve_Producto = ? AND Tl_Cve_Talla = ? "
                      "AND Cl_Cve_Color = ? AND Al_Cve_Almacen LIKE ?"
                    : "SELECT COALESCE(SUM(Ex_Cantidad_2 + Ex_Ajuste_2), 0.0) FROM Existencia "
                      "WHERE Sc_Cve_Sucursal = ? AND Pr_Cve_Producto = ? AND Tl_Cve_Talla = ? "
                      "AND Cl_Cve_Color = ? AND Al_Cve_Almacen LIKE ?",
                {branch, product, size, colour, warehouse_pattern});
    const double total = query.Step() ? query.Number(0) : 0;
    return StockFigure(total);  // a sum of kept figures, at their precision
  }

  bool Cancelar_Movimientos_Documento(const std::string& kind, const std::string& folio) override {
    error_.clear();
    try {
      const bool allow_negative = inv::NegativeStockAllowed(*db_);
      db_->Transaction([&] {
        // Newest first, so that each reversal meets the stock its movement left.
        // Folios come from a counter ("MV" and eight digits) and lines are
        // numbered as they are added, so (folio, line number) descending is
        // the reverse of the order the rows were stored and applied in.
        std::vector<PendingRow> applied = ReadRows(Query(
            *db_,
            "SELECT Mv_Naturaleza, Mv_Aplicado, Sc_Cve_Sucursal, Al_Cve_Almacen, "
            "Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, Mv_Cantidad_1, Mv_Cantidad_2, Mv_Costo "
            "FROM Movimiento WHERE Mv_Tabla = ? AND Mv_Documento = ? AND Es_Cve_Estado = 'AC' "
            "AND Mv_Aplicado = 1 ORDER BY Mv_Folio DESC, CAST(Mv_ID AS INTEGER) DESC",
            {kind, folio}));
        for (const PendingRow& r : applied) {
          inv::ApplyToStock(*db_, r.key, r.direction, true, r.q1, r.q2, r.cost, allow_negative);
        }
        static const DialectSql kUpdateMovimiento(
            "UPDATE Movimiento SET Es_Cve_Estado = 'CA', Oper_Baja = ?, "
            "Fecha_Baja = {now} "
            "WHERE Mv_Tabla = ? AND Mv_Documento = ? AND Es_Cve_Estado = 'AC'");
        db_->Prepare(kUpdateMovimiento.For(db_->dialect()))
            .Bind({CurrentConfig().operator_code, kind, folio})
            .Run();
      });
    } catch (const Refusal& r) {
      return Fail("No es posible cancelar los movimientos del documento: " + kind + " " + folio +
                  "\r\n" + r.what());
    }
    return true;
  }

  std::string Obtener_Mensaje_Error() override { return error_; }

  // --- movement objects ---

  void Nuevo_Movimiento() override {
    header_ = MovementHeader{};
    line_ = MovementLine{};
    folio_.clear();
    lines_ = 0;
    last_cost_ = 0;
    direction_ = '\0';
    issued_.clear();
    error_.clear();
  }

  void Asignar_Encabezado_Movimiento(const MovementHeader& header) override {
    header_ = header;
    direction_ = '\0';
  }

  void Asignar_Detalle_Movimiento(const MovementLine& line) override { line_ = line; }

  bool Agregar_Detalle_Movimiento() override {
    error_.clear();
    if (direction_ == '\0') direction_ = inv::KindDirection(*db_, header_.Tipo_Movimiento);
    if (direction_ == '\0') {
      return Fail("El tipo de movimiento: " + header_.Tipo_Movimiento + ", no existe");
    }
    if (line_.Producto.empty()) return Fail("No se especificó el producto del movimiento");
    if (!(line_.Cantidad_1 >= 0) || !(line_.Cantidad_2 >= 0)) {
      return Fail("Las cantidades del movimiento no pueden ser negativas: producto " +
                  line_.Producto);
    }
    // Nothing about the warehouse is remembered: it is read as it is now by
    // the statements that need it (an issue's read of the stock it leaves,
    // and the insert itself).
    double cost = line_.Costo;
    std::string stock_id;
    if (direction_ != 'S' && !std::isfinite(cost) &&
        !Flags(header_.Sucursal, header_.Almacen).exists) {
      // Refused either way; a missing warehouse is named first.
      return Fail(MissingWarehouseText(header_.Sucursal, header_.Almacen));
    }
    if (!std::isfinite(cost)) return Fail("El costo del movimiento no es un número válido");

    try {
      if (direction_ == 'S' || folio_.empty()) {
        // The first detail also takes the document's folio in the same
        // transaction as its row.
        std::string folio = folio_;
        db_->Transaction([&] {
          if (direction_ == 'S') stock_id = CheckIssue(cost);
          if (folio.empty()) {
            folio = "MV" + FormatZeros(static_cast<double>(inv::NextCounter(*db_, "MOVIMIENTO")),
                                       "00000000");
          }
          InsertLine(folio, cost);
        });
        folio_ = std::move(folio);  // only once its number is committed
      } else {
        InsertLine(folio_, cost);  // a single statement, atomic on its own
      }
    } catch (const Refusal& r) {
      return Fail(r.what());
    }
    ++lines_;
    last_cost_ = cost;
    if (direction_ == 'S') issued_[stock_id] += line_.Cantidad_1;
    return true;
  }

  std::string Obtener_Costo_Detalle() override { return NumberText(last_cost_); }

  MovementHeader Obtener_Encabezado_Movimiento() override {
    MovementHeader h = header_;
    h.Folio = folio_;
    return h;
  }

  bool Finalizar_Movimiento(const std::string& folio) override {
    error_.clear();
    if (!Query(*db_, "SELECT 1 FROM Movimiento WHERE Mv_Folio = ? LIMIT 1", {folio}).Step())
      return Fail("El movimiento: " + folio + ", no existe");
    try {
      const bool allow_negative = inv::NegativeStockAllowed(*db_);
      db_->Transaction([&] {
        std::vector<PendingRow> pending = ReadRows(Query(
            *db_,
            "SELECT Mv_Naturaleza, Mv_Aplicado, Sc_Cve_Sucursal, Al_Cve_Almacen, "
            "Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, Mv_Cantidad_1, Mv_Cantidad_2, Mv_Costo "
            "FROM Movimiento WHERE Mv_Folio = ? AND Es_Cve_Estado = 'AC' AND Mv_Aplicado = 0 "
            "ORDER BY CAST(Mv_ID AS INTEGER)",  // the order the lines were added in
            {folio}));
        for (const PendingRow& r : pending) {
          inv::ApplyToStock(*db_, r.key, r.direction, false, r.q1, r.q2, r.cost, allow_negative);
        }
        static const DialectSql kUpdateMovimiento(
            "UPDATE Movimiento SET Mv_Aplicado = 1, "
            "Fecha_Aplicacion = {now} "
            "WHERE Mv_Folio = ? AND Es_Cve_Estado = 'AC' AND Mv_Aplicado = 0");
        db_->Prepare(kUpdateMovimiento.For(db_->dialect()))
            .Bind({folio})
            .Run();
      });
    } catch (const Refusal& r) {
      return Fail("No es posible finalizar el movimiento: " + folio + "\r\n" + r.what());
    }
    if (inv::SameCode(folio, folio_)) issued_.clear();
    return true;
  }

 private:
  struct PendingRow {
    char direction;
    inv::StockKey key;
    double q1, q2, cost;
  };

  static std::vector<PendingRow> ReadRows(Query&& rows) {
    std::vector<PendingRow> out;
    while (rows.Step()) {
      std::string nature = UCase(rows.Text(0));
      out.push_back({nature == "S" ? 'S' : 'E',
                     {rows.Text(2), rows.Text(3), rows.Text(4), rows.Text(5), rows.Text(6)},
                     rows.Number(7),
                     rows.Number(8),
                     rows.Number(9)});
    }
    return out;
  }

  // An issue's check, in the transaction that stores the row (no other
  // writer can take the stock between this read and the insert): the live
  // warehouse, and enough on hand less what this document already issues.
  // Answers the stock row's id and sets the cost to its average.
  std::string CheckIssue(double& cost) {
    inv::StockKey key{header_.Sucursal, header_.Almacen, line_.Producto, line_.Talla, line_.Color};
    const IssueSource source = ReadIssueSource(key);
    if (!source.flags.exists) inv::Refuse(MissingWarehouseText(header_.Sucursal, header_.Almacen));
    key = inv::NormalisedKey(source.flags, std::move(key));
    std::string stock_id = key.product + '\x1f' + key.size + '\x1f' + key.colour;
    cost = source.average_cost;
    const auto issued = issued_.find(stock_id);
    const double available = source.on_hand_1 - (issued == issued_.end() ? 0 : issued->second);
    if (line_.Cantidad_1 > available + inv::kEpsilon && !inv::NegativeStockAllowed(*db_)) {
      inv::Refuse(inv::InsufficientStockText(key, available, line_.Cantidad_1));
    }
    return stock_id;
  }

  // Stores the current line under the folio at the cost given. Inserts
  // nothing when the warehouse is missing or no longer live; a warehouse
  // that keeps no sizes (colours) records them as "00".
  void InsertLine(const std::string& folio, double cost) {
    static const DialectSql kInsertMovimiento(
        "INSERT INTO Movimiento (Mv_Folio, Mv_ID, Mv_Fecha, Mv_Tipo_Movimiento, "
        "Mv_Naturaleza, Mv_Tabla, Mv_Documento, Mv_Referencia, Mv_Comentario, "
        "Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, "
        "Mv_Cantidad_1, Mv_Unidad_1, Mv_Cantidad_2, Mv_Unidad_2, Mv_Costo, Mv_Importe, "
        "Sr_Cve_Serie, Lt_Cve_Lote, Mv_Aplicado, Oper_Alta, Fecha_Alta) "
        "SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, "
        "CASE WHEN Al_Maneja_Talla <> 0 THEN ?13 ELSE '00' END, "
        "CASE WHEN Al_Maneja_Color <> 0 THEN ?14 ELSE '00' END, ?15, ?16, ?17, ?18, ?19, "
        "?20, ?21, ?22, 0, ?23, {now} FROM Almacen "
        "WHERE Sc_Cve_Sucursal = ?10 AND Al_Cve_Almacen = ?11 AND Es_Cve_Estado <> 'BA'");
    const int64_t changed = db_->Prepare(kInsertMovimiento.For(db_->dialect()))
                                .Bind({folio,
                                       FormatZeros(lines_ + 1, "0000"),
                                       header_.Fecha,
                                       header_.Tipo_Movimiento,
                                       std::string(1, direction_),
                                       header_.Tabla,
                                       header_.Documento,
                                       header_.Referencia,
                                       header_.Comentario,
                                       header_.Sucursal,
                                       header_.Almacen,
                                       line_.Producto,
                                       line_.Talla,
                                       line_.Color,
                                       line_.Cantidad_1,
                                       line_.Unidad_1,
                                       line_.Cantidad_2,
                                       line_.Unidad_2,
                                       cost,
                                       Multiply(cost, line_.Cantidad_1),
                                       line_.Serie.Serie,
                                       line_.Lote.Lote,
                                       CurrentConfig().operator_code})
                                .Run();
    if (changed == 0) inv::Refuse(MissingWarehouseText(header_.Sucursal, header_.Almacen));
  }

  // Warehouse capabilities as they are now (read on every call).
  inv::WarehouseFlags Flags(const std::string& branch, const std::string& warehouse) {
    return inv::ReadWarehouse(*db_, branch, warehouse);
  }

  static std::string MissingWarehouseText(const std::string& branch, const std::string& warehouse) {
    return "El almacén: " + warehouse + ", de la sucursal: " + branch +
           ", no existe o está dado de baja";
  }

  // What an issue needs to know in one read: the live warehouse's
  // capabilities and the figures of the stock row the line leaves (zeros
  // when there is none).
  struct IssueSource {
    inv::WarehouseFlags flags;
    double on_hand_1 = 0;
    double average_cost = 0;
  };
  IssueSource ReadIssueSource(const inv::StockKey& key) {
    Query query(
        *db_,
        "SELECT a.Al_Maneja_Talla, a.Al_Maneja_Color, a.Al_Maneja_Lote, a.Al_Maneja_Serie, "
        "e.Ex_Cantidad_1, e.Ex_Costo_Promedio FROM Almacen a LEFT JOIN Existencia e "
        "ON e.Sc_Cve_Sucursal = ?1 AND e.Al_Cve_Almacen = ?2 AND e.Pr_Cve_Producto = ?3 "
        "AND e.Tl_Cve_Talla = CASE WHEN a.Al_Maneja_Talla <> 0 THEN ?4 ELSE '00' END "
        "AND e.Cl_Cve_Color = CASE WHEN a.Al_Maneja_Color <> 0 THEN ?5 ELSE '00' END "
        "WHERE a.Sc_Cve_Sucursal = ?1 AND a.Al_Cve_Almacen = ?2 AND a.Es_Cve_Estado <> 'BA'",
        {key.branch, key.warehouse, key.product, key.size, key.colour});
    IssueSource source;
    if (query.Step()) {
      source.flags = {true, query.Flag(0), query.Flag(1), query.Flag(2), query.Flag(3)};
      // No stock row yet: nothing on hand, no cost.
      auto number = [&](int i) {
        const Variant v = query.Value(i);
        return v.IsNull() ? 0.0 : v.ToDouble();
      };
      source.on_hand_1 = number(4);
      source.average_cost = number(5);
    }
    return source;
  }

  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

  std::shared_ptr<Database> db_;
  std::string error_;
  // The movement document being built.
  MovementHeader header_;
  MovementLine line_;
  std::string folio_;
  int64_t lines_ = 0;
  double last_cost_ = 0;
  char direction_ = '\0';
  // What this document issues of each stock row and has not yet applied.
  std::map<std::string, double> issued_;
};

}  // namespace

com::ComPtr<com::IUnknown> CreateInventoryServices() {
  return InventoryServices::Make();
}

}  // namespace qbx::suite
