// quelbarix demo: the whole transfer chain on a fresh sample database, each
// document driven through the component as a client would and finalised on
// the object that captured it, each effect checked in the database.
//
//   1. a request (SL) from the northern branch's order, for what the
//      distribution centre cannot cover from available stock;
//   2. the shipment (EN) that serves it, its transport document, and a
//      stand-in issued voucher for that document;
//   3. two partial receptions (RC); the order lines the first consolidates
//      are recorded;
//   4. the first reception cancelled: shipment "RCP", order lines "BO";
//   5. the second reception cancelled: shipment "AC";
//   6. the shipment cancelled: transport document and voucher cancelled,
//      movements and commitments undone, request "AC".
#include <unistd.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "cli/commands.h"
#include "cli/session.h"
#include "cli/show.h"
#include "cli/table.h"
#include "suite/database.h"
#include "suite/sample.h"

namespace qbx::cli {
namespace {

// The sample order of the northern branch, served by the distribution centre.
constexpr const char* kOrder = "PED-0001";

// Stock figures of one product at one warehouse: on hand (applied
// movements) and available (on hand plus what documents committed or
// released).
struct Figures {
  double on_hand = 0;
  double available = 0;
};
using StockKey = std::tuple<std::string, std::string, std::string>;  // branch, warehouse, product
using Stock = std::map<StockKey, Figures>;

bool Same(double a, double b) {
  return std::fabs(a - b) < 1e-6;
}

// A line of a document as the demo captures it.
struct Line {
  std::string product, size, colour, unit;
  double quantity = 0, control2 = 0;
};

// A component operation answered False; the demo cannot go on.
class Stop : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Demo {
 public:
  Demo(Context& cx, Session& session) : cx_(cx), out_(cx.io.out), s_(session), db_(session.db()) {}

  int Run();

 private:
  // --- reading the database ---
  Table Rows(const std::string& folio) {
    return Query(db_, "SELECT * FROM Transferencia WHERE Tr_Folio = ?1 ORDER BY Tr_ID", {folio});
  }
  std::string State(const std::string& folio) {
    return CellText(Rows(folio).At(0, "Es_Cve_Estado"));
  }
  Stock ReadStock() {
    Stock stock;
    const Table t = Query(db_,
                          "SELECT Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto, "
                          "SUM(Ex_Cantidad_1) AS Existencia, "
                          "SUM(Ex_Cantidad_1 + Ex_Ajuste_1) AS Disponible FROM Existencia "
                          "GROUP BY Sc_Cve_Sucursal, Al_Cve_Almacen, Pr_Cve_Producto");
    for (const auto& row : t.rows) {
      stock[{CellText(row[0]), CellText(row[1]), CellText(row[2])}] = {row[3].ToDouble(),
                                                                       row[4].ToDouble()};
    }
    return stock;
  }
  Figures At(const Stock& stock, const std::string& branch, const std::string& warehouse,
             const std::string& product) {
    auto it = stock.find({branch, warehouse, product});
    return it == stock.end() ? Figures{} : it->second;
  }
  double TotalOnHand(const Stock& stock, const std::string& product) {
    double total = 0;
    for (const auto& [key, f] : stock) {
      if (std::get<2>(key) == product) total += f.on_hand;
    }
    return total;
  }
  double BranchAvailable(const Stock& stock, const std::string& branch,
                         const std::string& product) {
    double total = 0;
    for (const auto& [key, f] : stock) {
      if (std::get<0>(key) == branch && std::get<2>(key) == product) total += f.available;
    }
    return total;
  }

  // --- printing and checking ---
  void Heading(const std::string& text) { out_ << '\n' << text << '\n'; }
  void Say(const std::string& text) { out_ << "  " << text << '\n'; }
  void Check(bool ok, const std::string& what) {
    out_ << (ok ? "  [ok] " : "  [FAILED] ") << what << '\n';
    if (!ok) ++failures_;
  }
  void PrintChanges(const Stock& before, const Stock& after) {
    std::set<StockKey> keys;
    for (const auto& [k, f] : before) keys.insert(k);
    for (const auto& [k, f] : after) keys.insert(k);
    bool any = false;
    for (const StockKey& k : keys) {
      const Figures a = At(before, std::get<0>(k), std::get<1>(k), std::get<2>(k));
      const Figures b = At(after, std::get<0>(k), std::get<1>(k), std::get<2>(k));
      if (Same(a.on_hand, b.on_hand) && Same(a.available, b.available)) continue;
      if (!any) Say("stock changed (product at branch/warehouse: on hand, available):");
      any = true;
      std::ostringstream line;
      line << "  " << std::left << std::setw(22)
           << (std::get<2>(k) + " at " + std::get<0>(k) + "/" + std::get<1>(k)) << "  on hand "
           << NumberText(a.on_hand) << " -> " << NumberText(b.on_hand) << ", available "
           << NumberText(a.available) << " -> " << NumberText(b.available);
      Say(line.str());
    }
    if (!any) Say("stock unchanged");
  }
  // Checks that a product's on-hand figures moved by exactly these amounts.
  void CheckMoved(const Stock& before, const Stock& after, const std::string& product,
                  const std::map<std::pair<std::string, std::string>, double>& moves,
                  const std::string& what) {
    bool ok = true;
    for (const auto& [place, delta] : moves) {
      const double a = At(before, place.first, place.second, product).on_hand;
      const double b = At(after, place.first, place.second, product).on_hand;
      if (!Same(b - a, delta)) ok = false;
    }
    Check(ok, what);
    Check(Same(TotalOnHand(before, product), TotalOnHand(after, product)),
          product + ": nothing created or lost (total on hand " +
              NumberText(TotalOnHand(after, product)) + ")");
  }

  // --- documents ---
  // Captures a transfer on one object and finalises it on the same object.
  std::string Capture(const tTrEncabezado& fields, const std::vector<Line>& lines) {
    Transfer t(s_);
    t.SetMostrarMensajeError(false);
    t.Nuevo();
    tTrEncabezado h = t.Encabezado();
    h.Tr_Tipo = fields.Tr_Tipo;
    h.Tr_Referencia = fields.Tr_Referencia;
    h.Tr_Comentario = fields.Tr_Comentario;
    h.Sucursal.Sc_Cve_Sucursal = fields.Sucursal.Sc_Cve_Sucursal;
    h.Almacen.Al_Cve_Almacen = fields.Almacen.Al_Cve_Almacen;
    h.Sucursal_Recibe.Sc_Cve_Sucursal = fields.Sucursal_Recibe.Sc_Cve_Sucursal;
    h.Almacen_Recibe.Al_Cve_Almacen = fields.Almacen_Recibe.Al_Cve_Almacen;
    t.SetEncabezado(h);
    for (size_t i = 0; i < lines.size(); ++i) {
      tTrDetalle d;
      d.Producto.Pr_Cve_Producto = lines[i].product;
      d.Tl_Cve_Talla = lines[i].size;
      d.Cl_Cve_Color = lines[i].colour;
      d.Tr_Cantidad_1 = lines[i].quantity;
      d.Tr_Unidad_1 = lines[i].unit;
      d.Tr_Cantidad_Control_2 = lines[i].control2;
      t.SetDetalle(d);
      std::string error = t.Error();
      if (error.empty() && !t.Add_Transferencia_Detalle()) error = t.Error();
      if (!error.empty())
        throw Stop("line " + std::to_string(i + 1) + " refused:\n" + TextLines(error));
    }
    const std::string folio = t.Encabezado().Tr_Folio;
    if (!t.Finalizar_Transferencia(folio)) throw Stop(TextLines(t.Error()));
    return folio;
  }
  void Cancel(const std::string& folio) {
    Transfer t(s_);
    if (!t.Cancelar_Transferencia(folio)) throw Stop(TextLines(t.Error()));
  }
  // The document's movements: count, all applied, all cancelled.
  struct MovementState {
    int64_t rows = 0, applied = 0, live = 0;
  };
  MovementState Movements(const std::string& folio) {
    const Table t = Query(db_,
                          "SELECT COUNT(*), COALESCE(SUM(Mv_Aplicado <> 0), 0), "
                          "COALESCE(SUM(Es_Cve_Estado <> 'CA'), 0) FROM Movimiento WHERE "
                          "Mv_Tabla = 'TRANSFERENCIA' AND Mv_Documento = ?1",
                          {folio});
    return {t.rows[0][0].ToLong(), t.rows[0][1].ToLong(), t.rows[0][2].ToLong()};
  }
  // Live entries of the document and whether each is balanced.
  void CheckEntry(const std::string& folio, double amount, bool live) {
    const Table t = Query(db_,
                          "SELECT Po_Folio, Po_Cargos, Po_Abonos, Es_Cve_Estado FROM Poliza WHERE "
                          "Po_Tabla = 'TRANSFERENCIA' AND Po_Documento = ?1",
                          {folio});
    int live_entries = 0;
    bool balanced = !t.empty();
    for (size_t r = 0; r < t.rows.size(); ++r) {
      if (CellText(t.At(r, "Es_Cve_Estado")) != "CA") ++live_entries;
      if (!Same(t.At(r, "Po_Cargos").ToDouble(), t.At(r, "Po_Abonos").ToDouble()) ||
          !Same(t.At(r, "Po_Cargos").ToDouble(), amount))
        balanced = false;
    }
    if (live) {
      Check(live_entries == 1 && balanced,
            "accounting entry of " + folio + ": debits = credits = " + NumberText(amount));
    } else {
      Check(!t.empty() && live_entries == 0 && balanced,
            "accounting entry of " + folio + " cancelled");
    }
  }
  bool Finalised(const std::string& folio) {
    return db_.QueryValue(
                  "SELECT COUNT(*) FROM Documento_Procesado WHERE Dp_Entidad = "
                  "'TRANSFERENCIA' AND Dp_Folio = ?1 AND Dp_ID = ''",
                  {folio})
               .ToLong() > 0;
  }
  double Amount(const std::string& folio) {
    return db_
        .QueryValue(
            "SELECT COALESCE(SUM(Tr_Importe_Costo), 0) FROM Transferencia WHERE "
            "Tr_Folio = ?1",
            {folio})
        .ToDouble();
  }

  void Step1();
  void Step2();
  void Step3();
  void Step4();
  // Cancels a reception and checks what that always does: its rows "CA", its
  // movements reversed, its goods back into transit, its entry cancelled.
  // Returns the stock before and after.
  std::pair<Stock, Stock> CancelReception(const std::string& reception);
  void Step5();
  void Step6();

  Context& cx_;
  std::ostream& out_;
  Session& s_;
  suite::Database& db_;
  int failures_ = 0;

  Stock start_;
  std::vector<Line> requested_;
  std::string request_, shipment_, traslado_, reception1_, reception2_;
  std::string cedis_, cedis_warehouse_, branch_, branch_warehouse_, transit_;
  std::vector<std::string> consolidated_;  // order line ids
  double consolidated_quantity_ = 0;
};

void Demo::Step1() {
  Heading("Step 1. Requisition from order " + std::string(kOrder));
  const Stock before = ReadStock();
  // What the order asks and what its distribution centre has available.
  const Table order = Query(db_,
                            "SELECT p.Pr_Cve_Producto, p.Tl_Cve_Talla, p.Cl_Cve_Color, "
                            "SUM(p.Pd_Cantidad_1) AS Pedido, SUM(p.Pd_Cantidad_Control_1) AS "
                            "Control, s.Sc_Centro_Distribucion, p.Sc_Cve_Sucursal, "
                            "p.Al_Cve_Almacen FROM Pedido p JOIN Sucursal s ON "
                            "s.Sc_Cve_Sucursal = p.Sc_Cve_Sucursal WHERE p.Pd_Folio = ?1 GROUP "
                            "BY p.Pr_Cve_Producto, p.Tl_Cve_Talla, p.Cl_Cve_Color",
                            {std::string(kOrder)});
  std::map<std::string, double> expected;
  for (size_t r = 0; r < order.rows.size(); ++r) {
    const std::string product = CellText(order.At(r, "Pr_Cve_Producto"));
    cedis_ = CellText(order.At(r, "Sc_Centro_Distribucion"));
    branch_ = CellText(order.At(r, "Sc_Cve_Sucursal"));
    branch_warehouse_ = CellText(order.At(r, "Al_Cve_Almacen"));
    const double available = BranchAvailable(before, cedis_, product);
    const double ordered = order.At(r, "Control").ToDouble();
    Say(product + ": ordered " + NumberText(ordered) + ", available at " + cedis_ + " " +
        NumberText(available) +
        (available < ordered ? " -> request " + NumberText(ordered - available) : " -> covered"));
    if (available < ordered) expected[product] = order.At(r, "Pedido").ToDouble() - available;
  }

  const auto requests = [&] {
    std::set<std::string> folios;
    for (const auto& row : Query(db_,
                                 "SELECT DISTINCT Tr_Folio FROM Transferencia WHERE Tr_Tipo = "
                                 "'SL' AND Tr_Tabla = 'Pedido' AND Tr_Documento = ?1",
                                 {std::string(kOrder)})
                               .rows)
      folios.insert(CellText(row[0]));
    return folios;
  };
  const std::set<std::string> known = requests();
  {
    Transfer t(s_);
    if (!t.Genera_Requisicion_Pedido(kOrder)) throw Stop(TextLines(t.Error()));
  }
  for (const std::string& folio : requests()) {
    if (!known.contains(folio)) request_ = folio;
  }
  if (request_.empty()) throw Stop("no new request for the order");
  Say("Genera_Requisicion_Pedido(\"" + std::string(kOrder) + "\") -> request " + request_);

  const Table rows = Rows(request_);
  bool lines_ok = rows.rows.size() == expected.size();
  for (size_t r = 0; r < rows.rows.size(); ++r) {
    const std::string product = CellText(rows.At(r, "Pr_Cve_Producto"));
    const double quantity = rows.At(r, "Tr_Cantidad_Control_1").ToDouble();
    if (!expected.contains(product) || !Same(expected[product], quantity)) lines_ok = false;
    requested_.push_back({product, CellText(rows.At(r, "Tl_Cve_Talla")),
                          CellText(rows.At(r, "Cl_Cve_Color")),
                          CellText(rows.At(r, "Tr_Unidad_Control_1")), quantity,
                          rows.At(r, "Tr_Cantidad_Control_2").ToDouble()});
  }
  Check(lines_ok && !rows.empty(), "the request asks exactly what is missing (" +
                                       std::to_string(rows.rows.size()) + " line(s))");
  if (rows.empty()) throw Stop("the request has no lines");
  cedis_warehouse_ = CellText(rows.At(0, "Al_Cve_Almacen_Recibe"));
  Check(CellText(rows.At(0, "Sc_Cve_Sucursal_Recibe")) == cedis_ &&
            CellText(rows.At(0, "Sc_Cve_Sucursal")) == branch_,
        "requested by " + branch_ + " from " + cedis_ + "/" + cedis_warehouse_);
  Check(State(request_) == "AC" && Finalised(request_),
        "request " + request_ + " live and finalised");
  Check(Movements(request_).rows == 0, "a request moves no goods (no movements)");
  Check(Query(db_, "SELECT 1 FROM Poliza WHERE Po_Tabla = 'TRANSFERENCIA' AND Po_Documento = ?1",
              {request_})
            .empty(),
        "a request gets no accounting entry");
  const Stock after = ReadStock();
  bool committed = true;
  for (const Line& l : requested_) {
    if (!Same(At(before, cedis_, cedis_warehouse_, l.product).available - l.quantity,
              At(after, cedis_, cedis_warehouse_, l.product).available) ||
        !Same(TotalOnHand(before, l.product), TotalOnHand(after, l.product)))
      committed = false;
  }
  Check(committed, "the requested quantity is committed at " + cedis_ + "/" + cedis_warehouse_ +
                       " (available down, on hand unchanged)");
  PrintChanges(before, after);
}

void Demo::Step2() {
  Heading("Step 2. Shipment from " + cedis_ + "/" + cedis_warehouse_ + " to " + branch_ +
          ", and its transport document");
  const Stock before = ReadStock();
  tTrEncabezado h;
  h.Tr_Tipo = "EN";
  h.Tr_Referencia = request_;
  h.Tr_Comentario = "Envío de la solicitud " + request_;
  h.Sucursal.Sc_Cve_Sucursal = cedis_;
  h.Almacen.Al_Cve_Almacen = cedis_warehouse_;
  h.Sucursal_Recibe.Sc_Cve_Sucursal = branch_;
  h.Almacen_Recibe.Al_Cve_Almacen = branch_warehouse_;
  shipment_ = Capture(h, requested_);
  Say("captured and finalised shipment " + shipment_);
  const Stock after = ReadStock();
  PrintChanges(before, after);

  Check(State(shipment_) == "AC" && Finalised(shipment_),
        "shipment " + shipment_ + " live and finalised");
  const MovementState m = Movements(shipment_);
  Check(m.rows == 2 * static_cast<int64_t>(requested_.size()) && m.applied == m.rows,
        "issue from " + cedis_ + "/" + cedis_warehouse_ + " and entry into " + branch_ + "/" +
            transit_ + " applied (" + std::to_string(m.rows) + " movement rows)");
  for (const Line& l : requested_) {
    CheckMoved(before, after, l.product,
               {{{cedis_, cedis_warehouse_}, -l.quantity}, {{branch_, transit_}, l.quantity}},
               l.product + ": " + NumberText(l.quantity) + " left " + cedis_ + "/" +
                   cedis_warehouse_ + " into transit at " + branch_ + "/" + transit_);
    Check(
        Same(BranchAvailable(before, cedis_, l.product), BranchAvailable(after, cedis_, l.product)),
        l.product + ": the request's commitment was given back as the goods left");
  }
  CheckEntry(shipment_, Amount(shipment_), true);

  const auto transports = [&] {
    return Query(db_,
                 "SELECT DISTINCT Tr_Folio FROM Traslado WHERE Tr_Tabla = 'TRANSFERENCIA' AND "
                 "Tr_Documento = ?1",
                 {shipment_});
  };
  {
    Transfer t(s_);
    if (!t.Generar_CFDI_Traslado(shipment_)) throw Stop(TextLines(t.Error()));
  }
  const Table tr = transports();
  Check(tr.rows.size() == 1, "one transport document for the shipment");
  if (tr.empty()) throw Stop("no transport document");
  traslado_ = CellText(tr.rows[0][0]);
  const Table rows =
      Query(db_, "SELECT * FROM Traslado WHERE Tr_Folio = ?1 ORDER BY Tr_ID", {traslado_});
  Check(rows.rows.size() == requested_.size() && CellText(rows.At(0, "Es_Cve_Estado")) == "AC",
        "transport document " + traslado_ + " (" + CellText(rows.At(0, "Tr_Factura")) +
            "): " + std::to_string(rows.rows.size()) + " line(s)");

  // What the suite's voucher issuing would record once the voucher is issued.
  std::random_device random;
  std::ostringstream uuid;
  uuid << std::hex << std::uppercase << std::setfill('0');
  for (int i = 0; i < 4; ++i) uuid << std::setw(8) << random();
  std::string id = uuid.str();
  id = id.substr(0, 8) + "-" + id.substr(8, 4) + "-" + id.substr(12, 4) + "-" + id.substr(16, 4) +
       "-" + id.substr(20, 12);
  db_.Run(
      "INSERT INTO Comprobante_Digital (Cd_Tabla, Cd_Documento, Cd_UUID, Cd_Fecha, "
      "Es_Cve_Estado) VALUES ('TRASLADO', ?1, ?2, datetime('now', 'localtime'), 'AC')",
      {traslado_, id});
  Say("recorded the issued voucher of " + traslado_ + " (UUID " + id + ")");
}

void Demo::Step3() {
  Heading("Step 3. Two partial receptions of shipment " + shipment_ + " at " + branch_ + "/" +
          branch_warehouse_);
  // The first reception takes about half of every line, the second the rest.
  std::vector<Line> first = requested_, second = requested_;
  for (size_t i = 0; i < requested_.size(); ++i) {
    first[i].quantity = std::floor(requested_[i].quantity * 0.6);
    first[i].control2 = std::floor(requested_[i].control2 * 0.6);
    second[i].quantity = requested_[i].quantity - first[i].quantity;
    second[i].control2 = requested_[i].control2 - first[i].control2;
  }
  int n = 0;
  for (auto* part : {&first, &second}) {
    ++n;
    const Stock before = ReadStock();
    tTrEncabezado h;
    h.Tr_Tipo = "RC";
    h.Tr_Referencia = shipment_;
    h.Tr_Comentario = "Recepción parcial " + std::to_string(n) + " del envío " + shipment_;
    h.Sucursal.Sc_Cve_Sucursal = branch_;
    h.Almacen.Al_Cve_Almacen = branch_warehouse_;
    h.Sucursal_Recibe.Sc_Cve_Sucursal = branch_;
    h.Almacen_Recibe.Al_Cve_Almacen = branch_warehouse_;
    const std::string folio = Capture(h, *part);
    (n == 1 ? reception1_ : reception2_) = folio;
    Say("captured and finalised reception " + folio);
    const Stock after = ReadStock();
    PrintChanges(before, after);
    Check(State(folio) == "AC" && Finalised(folio), "reception " + folio + " live and finalised");
    const MovementState m = Movements(folio);
    Check(m.rows == 2 * static_cast<int64_t>(part->size()) && m.applied == m.rows,
          "issue from transit and entry into " + branch_ + "/" + branch_warehouse_ + " applied");
    for (const Line& l : *part) {
      CheckMoved(before, after, l.product,
                 {{{branch_, transit_}, -l.quantity}, {{branch_, branch_warehouse_}, l.quantity}},
                 l.product + ": " + NumberText(l.quantity) + " from transit into " + branch_ + "/" +
                     branch_warehouse_);
    }
    CheckEntry(folio, Amount(folio), true);
  }

  // What the suite's consolidation would record: the order lines of the
  // products the first reception brought.
  for (const Line& l : first) {
    const Table lines = Query(db_,
                              "SELECT Pd_ID, Pd_Cantidad_Control_1 FROM Pedido WHERE Pd_Folio = "
                              "?1 AND Pr_Cve_Producto = ?2 AND Tl_Cve_Talla = ?3 AND "
                              "Cl_Cve_Color = ?4 AND Es_Cve_Estado = 'AC'",
                              {std::string(kOrder), l.product, l.size, l.colour});
    for (const auto& row : lines.rows) {
      consolidated_.push_back(CellText(row[0]));
      consolidated_quantity_ += row[1].ToDouble();
      db_.Run(
          "INSERT INTO Documento_Consolidado (dc_documento, Dc_Documento_id, "
          "Dc_Documento_origen, Dc_Tabla_Origen) VALUES (?1, ?2, ?3, 'TRANSFERENCIA')",
          {std::string(kOrder), CellText(row[0]), reception1_});
    }
  }
  std::string ids;
  for (const std::string& id : consolidated_) ids += (ids.empty() ? "" : ", ") + id;
  Say("recorded that " + reception1_ + " consolidates order " + kOrder + " line(s) " + ids);
  Check(State(shipment_) == "AC", "shipment " + shipment_ + " still live (AC)");
}

std::pair<Stock, Stock> Demo::CancelReception(const std::string& reception) {
  Stock before = ReadStock();
  Cancel(reception);
  Stock after = ReadStock();
  PrintChanges(before, after);
  Check(State(reception) == "CA", "reception " + reception + " cancelled (CA)");
  const MovementState m = Movements(reception);
  Check(m.rows > 0 && m.live == 0, "its movements reversed");
  const Table received = Rows(reception);
  for (size_t r = 0; r < received.rows.size(); ++r) {
    const std::string product = CellText(received.At(r, "Pr_Cve_Producto"));
    const double q = received.At(r, "Tr_Cantidad_Control_1").ToDouble();
    CheckMoved(before, after, product,
               {{{branch_, transit_}, q}, {{branch_, branch_warehouse_}, -q}},
               product + ": " + NumberText(q) + " back into transit");
  }
  CheckEntry(reception, Amount(reception), false);
  return {std::move(before), std::move(after)};
}

void Demo::Step4() {
  Heading("Step 4. Cancel the first reception " + reception1_);
  const auto [before, after] = CancelReception(reception1_);
  Check(State(shipment_) == "RCP",
        "shipment " + shipment_ + " partly received (RCP): the second reception lives");
  bool back_ordered = !consolidated_.empty();
  for (const std::string& id : consolidated_) {
    const Variant state =
        db_.QueryValue("SELECT Es_Cve_Estado FROM Pedido WHERE Pd_Folio = ?1 AND Pd_ID = ?2",
                       {std::string(kOrder), id});
    if (CellText(state) != "BO") back_ordered = false;
  }
  Check(back_ordered, "consolidated order line(s) back-ordered (BO)");
  double released = 0;
  for (const Line& l : requested_) {
    released +=
        BranchAvailable(after, cedis_, l.product) - BranchAvailable(before, cedis_, l.product);
  }
  Check(Same(released, consolidated_quantity_), "the order lines' quantity (" +
                                                    NumberText(consolidated_quantity_) +
                                                    ") is available again at " + cedis_);
}

void Demo::Step5() {
  Heading("Step 5. Cancel the second reception " + reception2_);
  CancelReception(reception2_);
  Check(State(shipment_) == "AC", "shipment " + shipment_ + " live again (AC): no reception left");
}

void Demo::Step6() {
  Heading("Step 6. Cancel the shipment " + shipment_);
  const Stock before = ReadStock();
  Cancel(shipment_);
  const Stock after = ReadStock();
  PrintChanges(before, after);
  Check(State(shipment_) == "CA", "shipment " + shipment_ + " cancelled (CA)");
  const MovementState m = Movements(shipment_);
  Check(m.rows > 0 && m.live == 0, "its movements reversed");
  for (const Line& l : requested_) {
    CheckMoved(before, after, l.product,
               {{{cedis_, cedis_warehouse_}, l.quantity}, {{branch_, transit_}, -l.quantity}},
               l.product + ": " + NumberText(l.quantity) + " back from transit to " + cedis_ + "/" +
                   cedis_warehouse_);
    // The goods are back on hand and committed again to the reopened request.
    Check(
        Same(BranchAvailable(after, cedis_, l.product), BranchAvailable(before, cedis_, l.product)),
        l.product + ": available at " + cedis_ +
            " unchanged (back on hand, committed again to the request)");
  }
  CheckEntry(shipment_, Amount(shipment_), false);
  const Table transport =
      Query(db_, "SELECT Es_Cve_Estado FROM Traslado WHERE Tr_Folio = ?1", {traslado_});
  bool all_cancelled = !transport.empty();
  for (const auto& row : transport.rows) all_cancelled = all_cancelled && CellText(row[0]) == "CA";
  Check(all_cancelled, "transport document " + traslado_ + " cancelled (CA)");
  Check(CellText(db_.QueryValue("SELECT Es_Cve_Estado FROM Comprobante_Digital WHERE Cd_Tabla = "
                                "'TRASLADO' AND Cd_Documento = ?1",
                                {traslado_})) == "CA",
        "its voucher cancelled (CA)");
  Check(State(request_) == "AC", "request " + request_ + " reopened (AC)");

  // Back where the chain started: every warehouse holds what it held.
  bool restored = true;
  for (const auto& [key, f] : after) {
    const auto it = start_.find(key);
    const double was = it == start_.end() ? 0 : it->second.on_hand;
    if (!Same(was, f.on_hand)) restored = false;
  }
  Check(restored, "every warehouse holds on hand what it held before step 1");
}

int Demo::Run() {
  transit_ =
      CellText(db_.QueryValue("SELECT Pa_Valor FROM Parametro WHERE Pa_Cve_Parametro = "
                              "'MOV_ALMACEN_TRANSITO_TRANSFERENCIA'"));
  start_ = ReadStock();
  try {
    Step1();
    Step2();
    Step3();
    Step4();
    Step5();
    Step6();
  } catch (const Stop& e) {
    out_ << "  [FAILED] " << e.what() << "\n\nThe demo stopped here.\n";
    cx_.io.err << "quelbarix: demo failed\n";
    return kExitFailure;
  } catch (const RuntimeError& e) {
    out_ << "  [FAILED] error " << e.number() << ": " << TextLines(e.description())
         << "\n\nThe demo stopped here.\n";
    cx_.io.err << "quelbarix: demo failed\n";
    return kExitFailure;
  }
  out_ << '\n';
  if (failures_ > 0) {
    out_ << failures_ << " check(s) failed.\n";
    cx_.io.err << "quelbarix: demo failed\n";
    return kExitFailure;
  }
  out_ << "Every step did what it should. The database is kept at " << s_.db_path()
       << "; try `quelbarix show " << shipment_ << " --db " << s_.db_path() << "`.\n";
  return kExitOk;
}

std::string NewDemoPath() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path();
  std::random_device random;
  for (;;) {
    std::ostringstream name;
    name << "quelbarix-demo-" << ::getpid() << "-" << std::hex << random() << ".db";
    const fs::path p = dir / name.str();
    if (!fs::exists(p)) return p.string();
  }
}

}  // namespace

int RunDemo(Context& cx) {
  // Without --db the demo makes a file of its own: the usual default
  // database is one a person keeps, and the demo never touches an existing one.
  const std::string path = cx.invocation.db ? *cx.invocation.db : NewDemoPath();
  suite::CreateDatabase(path, true);
  cx.io.out << "Quelbarix demo on a new sample database: " << path << '\n';
  Session session(path, cx.trace);
  // Before the component starts in this process: it reads the setting once.
  session.db().Run(
      "INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo) VALUES (?1, '1', 'B') "
      "ON CONFLICT (Pa_Cve_Parametro) DO UPDATE SET Pa_Valor = '1'",
      {std::string("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO")});
  session.db().Run(
      "INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo) VALUES (?1, '1', 'B') "
      "ON CONFLICT (Pa_Cve_Parametro) DO UPDATE SET Pa_Valor = '1'",
      {std::string("CON_CONTABILIZAR_TRANSFERENCIAS")});
  cx.io.out << "In-transit movements on (MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO = 1); transfers "
               "posted to accounting (CON_CONTABILIZAR_TRANSFERENCIAS = 1).\n";
  Demo demo(cx, session);
  return demo.Run();
}

}  // namespace qbx::cli
