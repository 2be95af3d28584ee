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

#include <algorithm>
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
#include "cli/i18n.h"
#include "cli/session.h"
#include "cli/show.h"
#include "cli/table.h"
#include "suite/database.h"
#include "suite/reports.h"
#include "suite/sample.h"

namespace qbx::cli {
namespace {

// A name as one word for a shell: a server's "host=... dbname=..." has blanks.
std::string ShellWord(const std::string& text) {
  if (text.find_first_of(" \t'\"\\$`") == std::string::npos) return text;
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}


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
  Table Rows(const std::string& folio) { return suite::TransferRows(db_, folio); }
  std::string State(const std::string& folio) {
    return CellText(Rows(folio).At(0, "Es_Cve_Estado"));
  }
  Stock ReadStock() {
    Stock stock;
    for (const suite::StockFigures& f : suite::ReadStock(db_))
      stock[{f.branch, f.warehouse, f.product}] = {f.on_hand, f.available};
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
    out_ << (ok ? _("  [ok] ") : _("  [FAILED] ")) << what << '\n';
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
      if (!any) Say(_("stock changed (product at branch/warehouse: on hand, available):"));
      any = true;
      std::ostringstream line;
      line << "  " << std::left << std::setw(22)
           << Format(_("{0} at {1}/{2}"), {std::get<2>(k), std::get<0>(k), std::get<1>(k)})
           << Format(_("  on hand {0} -> {1}, available {2} -> {3}"),
                     {NumberText(a.on_hand), NumberText(b.on_hand), NumberText(a.available),
                      NumberText(b.available)});
      Say(line.str());
    }
    if (!any) Say(_("stock unchanged"));
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
          Format(_("{0}: nothing created or lost (total on hand {1})"),
                 {product, NumberText(TotalOnHand(after, product))}));
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
        throw Stop(Format(_("line {0} refused:"), {i + 1}) + '\n' + TextLines(error));
    }
    const std::string folio = t.Encabezado().Tr_Folio;
    if (!t.Finalizar_Transferencia(folio)) throw Stop(TextLines(t.Error()));
    return folio;
  }
  void Cancel(const std::string& folio) {
    Transfer t(s_);
    if (!t.Cancelar_Transferencia(folio)) throw Stop(TextLines(t.Error()));
  }
  suite::MovementCounts Movements(const std::string& folio) {
    return suite::MovementsOf(db_, folio);
  }
  // Live entries of the document and whether each is balanced.
  void CheckEntry(const std::string& folio, double amount, bool live) {
    const std::vector<suite::Entry> entries = suite::EntriesOf(db_, folio);
    int live_entries = 0;
    bool balanced = !entries.empty();
    for (const suite::Entry& e : entries) {
      if (e.state != "CA") ++live_entries;
      if (!Same(e.debits, e.credits) || !Same(e.debits, amount)) balanced = false;
    }
    if (live) {
      Check(live_entries == 1 && balanced,
            Format(_("accounting entry of {0}: debits = credits = {1}"),
                   {folio, NumberText(amount)}));
    } else {
      Check(!entries.empty() && live_entries == 0 && balanced,
            Format(_("accounting entry of {0} cancelled"), {folio}));
    }
  }
  bool Finalised(const std::string& folio) { return suite::FinalisedAt(db_, folio).has_value(); }
  double Amount(const std::string& folio) { return suite::TransferAmount(db_, folio); }

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
  Heading(Format(_("Step 1. Requisition from order {0}"), {kOrder}));
  const Stock before = ReadStock();
  // What the order asks and what its distribution centre has available.
  std::map<std::string, double> expected;
  for (const suite::OrderDemand& d : suite::DemandOfOrder(db_, kOrder)) {
    const std::string& product = d.product;
    cedis_ = d.distribution_centre;
    branch_ = d.branch;
    branch_warehouse_ = d.warehouse;
    const double available = BranchAvailable(before, cedis_, product);
    const double ordered = d.control;
    Say(Format(_("{0}: ordered {1}, available at {2} {3}"),
               {product, NumberText(ordered), cedis_, NumberText(available)}) +
        (available < ordered ? Format(_(" -> request {0}"), {NumberText(ordered - available)})
                             : std::string(_(" -> covered"))));
    if (available < ordered) expected[product] = d.quantity - available;
  }

  const auto requests = [&] { return suite::RequestsOfOrder(db_, kOrder); };
  const std::vector<std::string> known = requests();
  {
    Transfer t(s_);
    if (!t.Genera_Requisicion_Pedido(kOrder)) throw Stop(TextLines(t.Error()));
  }
  for (const std::string& folio : requests()) {
    if (std::find(known.begin(), known.end(), folio) == known.end()) request_ = folio;
  }
  if (request_.empty()) throw Stop(_("no new request for the order"));
  Say(Format(_("Genera_Requisicion_Pedido(\"{0}\") -> request {1}"), {kOrder, request_}));

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
  Check(lines_ok && !rows.empty(),
        Format(_("the request asks exactly what is missing ({0} line(s))"), {rows.rows.size()}));
  if (rows.empty()) throw Stop(_("the request has no lines"));
  cedis_warehouse_ = CellText(rows.At(0, "Al_Cve_Almacen_Recibe"));
  Check(CellText(rows.At(0, "Sc_Cve_Sucursal_Recibe")) == cedis_ &&
            CellText(rows.At(0, "Sc_Cve_Sucursal")) == branch_,
        Format(_("requested by {0} from {1}/{2}"), {branch_, cedis_, cedis_warehouse_}));
  Check(State(request_) == "AC" && Finalised(request_),
        Format(_("request {0} live and finalised"), {request_}));
  Check(Movements(request_).rows == 0, _("a request moves no goods (no movements)"));
  Check(suite::EntriesOf(db_, request_).empty(), _("a request gets no accounting entry"));
  const Stock after = ReadStock();
  bool committed = true;
  for (const Line& l : requested_) {
    if (!Same(At(before, cedis_, cedis_warehouse_, l.product).available - l.quantity,
              At(after, cedis_, cedis_warehouse_, l.product).available) ||
        !Same(TotalOnHand(before, l.product), TotalOnHand(after, l.product)))
      committed = false;
  }
  Check(committed, Format(_("the requested quantity is committed at {0}/{1} (available down, "
                            "on hand unchanged)"),
                          {cedis_, cedis_warehouse_}));
  PrintChanges(before, after);
}

void Demo::Step2() {
  Heading(Format(_("Step 2. Shipment from {0}/{1} to {2}, and its transport document"),
                 {cedis_, cedis_warehouse_, branch_}));
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
  Say(Format(_("captured and finalised shipment {0}"), {shipment_}));
  const Stock after = ReadStock();
  PrintChanges(before, after);

  Check(State(shipment_) == "AC" && Finalised(shipment_),
        Format(_("shipment {0} live and finalised"), {shipment_}));
  const suite::MovementCounts m = Movements(shipment_);
  Check(m.rows == 2 * static_cast<int64_t>(requested_.size()) && m.applied == m.rows,
        Format(_("issue from {0}/{1} and entry into {2}/{3} applied ({4} movement rows)"),
               {cedis_, cedis_warehouse_, branch_, transit_, m.rows}));
  for (const Line& l : requested_) {
    CheckMoved(before, after, l.product,
               {{{cedis_, cedis_warehouse_}, -l.quantity}, {{branch_, transit_}, l.quantity}},
               Format(_("{0}: {1} left {2}/{3} into transit at {4}/{5}"),
                      {l.product, NumberText(l.quantity), cedis_, cedis_warehouse_, branch_,
                       transit_}));
    Check(
        Same(BranchAvailable(before, cedis_, l.product), BranchAvailable(after, cedis_, l.product)),
        Format(_("{0}: the request's commitment was given back as the goods left"),
               {l.product}));
  }
  CheckEntry(shipment_, Amount(shipment_), true);

  {
    Transfer t(s_);
    if (!t.Generar_CFDI_Traslado(shipment_)) throw Stop(TextLines(t.Error()));
  }
  const std::vector<std::string> tr = suite::TransportDocumentsOf(db_, shipment_);
  Check(tr.size() == 1, _("one transport document for the shipment"));
  if (tr.empty()) throw Stop(_("no transport document"));
  traslado_ = tr[0];
  const std::vector<suite::TransportLine> rows = suite::TransportLines(db_, traslado_);
  if (rows.empty()) throw Stop(_("the transport document has no lines"));
  Check(rows.size() == requested_.size() && rows[0].state == "AC",
        Format(_("transport document {0} ({1}): {2} line(s)"),
               {traslado_, rows[0].invoice_key, rows.size()}));

  // What the suite's voucher issuing would record once the voucher is issued.
  std::random_device random;
  std::ostringstream uuid;
  uuid << std::hex << std::uppercase << std::setfill('0');
  for (int i = 0; i < 4; ++i) uuid << std::setw(8) << random();
  std::string id = uuid.str();
  id = id.substr(0, 8) + "-" + id.substr(8, 4) + "-" + id.substr(12, 4) + "-" + id.substr(16, 4) +
       "-" + id.substr(20, 12);
  suite::RecordVoucher(db_, traslado_, id);
  Say(Format(_("recorded the issued voucher of {0} (UUID {1})"), {traslado_, id}));
}

void Demo::Step3() {
  Heading(Format(_("Step 3. Two partial receptions of shipment {0} at {1}/{2}"),
                 {shipment_, branch_, branch_warehouse_}));
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
    Say(Format(_("captured and finalised reception {0}"), {folio}));
    const Stock after = ReadStock();
    PrintChanges(before, after);
    Check(State(folio) == "AC" && Finalised(folio),
          Format(_("reception {0} live and finalised"), {folio}));
    const suite::MovementCounts m = Movements(folio);
    Check(m.rows == 2 * static_cast<int64_t>(part->size()) && m.applied == m.rows,
          Format(_("issue from transit and entry into {0}/{1} applied"),
                 {branch_, branch_warehouse_}));
    for (const Line& l : *part) {
      CheckMoved(before, after, l.product,
                 {{{branch_, transit_}, -l.quantity}, {{branch_, branch_warehouse_}, l.quantity}},
                 Format(_("{0}: {1} from transit into {2}/{3}"),
                        {l.product, NumberText(l.quantity), branch_, branch_warehouse_}));
    }
    CheckEntry(folio, Amount(folio), true);
  }

  // What the suite's consolidation would record: the order lines of the
  // products the first reception brought.
  const std::vector<suite::OrderLine> order = suite::OrderLines(db_, kOrder);
  for (const Line& l : first) {
    for (const suite::OrderLine& o : order) {
      if (o.product != l.product || o.size != l.size || o.colour != l.colour || o.state != "AC")
        continue;
      consolidated_.push_back(o.id);
      consolidated_quantity_ += o.control;
      suite::RecordConsolidation(db_, kOrder, o.id, reception1_);
    }
  }
  std::string ids;
  for (const std::string& id : consolidated_) ids += (ids.empty() ? "" : ", ") + id;
  Say(Format(_("recorded that {0} consolidates order {1} line(s) {2}"), {reception1_, kOrder, ids}));
  Check(State(shipment_) == "AC", Format(_("shipment {0} still live (AC)"), {shipment_}));
}

std::pair<Stock, Stock> Demo::CancelReception(const std::string& reception) {
  Stock before = ReadStock();
  Cancel(reception);
  Stock after = ReadStock();
  PrintChanges(before, after);
  Check(State(reception) == "CA", Format(_("reception {0} cancelled (CA)"), {reception}));
  const suite::MovementCounts m = Movements(reception);
  Check(m.rows > 0 && m.live == 0, _("its movements reversed"));
  const Table received = Rows(reception);
  for (size_t r = 0; r < received.rows.size(); ++r) {
    const std::string product = CellText(received.At(r, "Pr_Cve_Producto"));
    const double q = received.At(r, "Tr_Cantidad_Control_1").ToDouble();
    CheckMoved(before, after, product,
               {{{branch_, transit_}, q}, {{branch_, branch_warehouse_}, -q}},
               Format(_("{0}: {1} back into transit"), {product, NumberText(q)}));
  }
  CheckEntry(reception, Amount(reception), false);
  return {std::move(before), std::move(after)};
}

void Demo::Step4() {
  Heading(Format(_("Step 4. Cancel the first reception {0}"), {reception1_}));
  const auto [before, after] = CancelReception(reception1_);
  Check(State(shipment_) == "RCP",
        Format(_("shipment {0} partly received (RCP): the second reception lives"), {shipment_}));
  bool back_ordered = !consolidated_.empty();
  const std::vector<suite::OrderLine> order = suite::OrderLines(db_, kOrder);
  for (const std::string& id : consolidated_) {
    const auto line = std::find_if(order.begin(), order.end(),
                                   [&](const suite::OrderLine& o) { return o.id == id; });
    if (line == order.end() || line->state != "BO") back_ordered = false;
  }
  Check(back_ordered, _("consolidated order line(s) back-ordered (BO)"));
  double released = 0;
  for (const Line& l : requested_) {
    released +=
        BranchAvailable(after, cedis_, l.product) - BranchAvailable(before, cedis_, l.product);
  }
  Check(Same(released, consolidated_quantity_),
        Format(_("the order lines' quantity ({0}) is available again at {1}"),
               {NumberText(consolidated_quantity_), cedis_}));
}

void Demo::Step5() {
  Heading(Format(_("Step 5. Cancel the second reception {0}"), {reception2_}));
  CancelReception(reception2_);
  Check(State(shipment_) == "AC",
        Format(_("shipment {0} live again (AC): no reception left"), {shipment_}));
}

void Demo::Step6() {
  Heading(Format(_("Step 6. Cancel the shipment {0}"), {shipment_}));
  const Stock before = ReadStock();
  Cancel(shipment_);
  const Stock after = ReadStock();
  PrintChanges(before, after);
  Check(State(shipment_) == "CA", Format(_("shipment {0} cancelled (CA)"), {shipment_}));
  const suite::MovementCounts m = Movements(shipment_);
  Check(m.rows > 0 && m.live == 0, _("its movements reversed"));
  for (const Line& l : requested_) {
    CheckMoved(before, after, l.product,
               {{{cedis_, cedis_warehouse_}, l.quantity}, {{branch_, transit_}, -l.quantity}},
               Format(_("{0}: {1} back from transit to {2}/{3}"),
                      {l.product, NumberText(l.quantity), cedis_, cedis_warehouse_}));
    // The goods are back on hand and committed again to the reopened request.
    Check(
        Same(BranchAvailable(after, cedis_, l.product), BranchAvailable(before, cedis_, l.product)),
        Format(_("{0}: available at {1} unchanged (back on hand, committed again to the "
                 "request)"),
               {l.product, cedis_}));
  }
  CheckEntry(shipment_, Amount(shipment_), false);
  const std::vector<suite::TransportLine> transport = suite::TransportLines(db_, traslado_);
  bool all_cancelled = !transport.empty();
  for (const auto& line : transport) all_cancelled = all_cancelled && line.state == "CA";
  Check(all_cancelled, Format(_("transport document {0} cancelled (CA)"), {traslado_}));
  Check(suite::VoucherState(db_, traslado_) == "CA", _("its voucher cancelled (CA)"));
  Check(State(request_) == "AC", Format(_("request {0} reopened (AC)"), {request_}));

  // Back where the chain started: every warehouse holds what it held.
  bool restored = true;
  for (const auto& [key, f] : after) {
    const auto it = start_.find(key);
    const double was = it == start_.end() ? 0 : it->second.on_hand;
    if (!Same(was, f.on_hand)) restored = false;
  }
  Check(restored, _("every warehouse holds on hand what it held before step 1"));
}

int Demo::Run() {
  transit_ = suite::ParameterValue(db_, "MOV_ALMACEN_TRANSITO_TRANSFERENCIA");
  start_ = ReadStock();
  try {
    Step1();
    Step2();
    Step3();
    Step4();
    Step5();
    Step6();
  } catch (const Stop& e) {
    out_ << _("  [FAILED] ") << e.what() << '\n' << _("\nThe demo stopped here.\n");
    cx_.io.err << "quelbarix: " << _("demo failed") << '\n';
    return kExitFailure;
  } catch (const RuntimeError& e) {
    out_ << _("  [FAILED] ") << Format(_("error {0}: "), {e.number()})
         << TextLines(e.description()) << '\n' << _("\nThe demo stopped here.\n");
    cx_.io.err << "quelbarix: " << _("demo failed") << '\n';
    return kExitFailure;
  }
  out_ << '\n';
  if (failures_ > 0) {
    out_ << Format(_("{0} check(s) failed."), {failures_}) << '\n';
    cx_.io.err << "quelbarix: " << _("demo failed") << '\n';
    return kExitFailure;
  }
  out_ << Format(_("Every step did what it should. The database is kept at {0}; try `quelbarix "
                  "show {1} --db {2}`."),
                {s_.db_path(), shipment_, ShellWord(s_.db_path())})
       << '\n';
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
  cx.io.out << Format(_("Quelbarix demo on a new sample database: {0}"), {path}) << '\n';
  Session session(path, cx.trace);
  // Before the component starts in this process: it reads the setting once.
  suite::SetParameter(session.db(), "MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", "1");
  suite::SetParameter(session.db(), "CON_CONTABILIZAR_TRANSFERENCIAS", "1");
  cx.io.out << _("In-transit movements on (MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO = 1); transfers "
                 "posted to accounting (CON_CONTABILIZAR_TRANSFERENCIAS = 1).\n");
  Demo demo(cx, session);
  return demo.Run();
}

}  // namespace qbx::cli
