#include "bench/cases.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <vector>

#include "automation/value.h"
#include "component/transferencia_client.h"
#include "services/connection.h"
#include "suite/connection.h"
#include "suite/database.h"
#include "suite/reports.h"
#include "suite/sample.h"

namespace qbx::bench {
namespace {

using namespace qbx::suite::sample;

constexpr const char* kOrder = "PED-BENCH";
// More than the distribution centre holds of each product, so that every
// order line is requested.
constexpr double kOrdered = 1500;

[[noreturn]] void Fail(const std::string& what, TransferenciaClient& t) {
  throw std::runtime_error(what + ": " + t.Error());
}

tTrEncabezado Header(const std::string& type, const char* branch, const char* warehouse,
                     const char* to_branch, const char* to_warehouse,
                     const std::string& reference) {
  tTrEncabezado h;
  h.Tr_Tipo = type;
  h.Tr_Referencia = reference;
  h.Tr_Comentario = "Benchmark " + type;
  h.Sucursal.Sc_Cve_Sucursal = branch;
  h.Almacen.Al_Cve_Almacen = warehouse;
  h.Sucursal_Recibe.Sc_Cve_Sucursal = to_branch;
  h.Almacen_Recibe.Al_Cve_Almacen = to_warehouse;
  return h;
}

// Every line: 2 pieces of a plain product.
tTrDetalle LineTemplate() {
  tTrDetalle d;
  d.Tr_Cantidad_1 = 2;
  d.Tr_Unidad_1 = std::string("PZA");
  d.Tr_Cantidad_Control_2 = 2;
  d.Tl_Cve_Talla = std::string("00");
  d.Cl_Cve_Color = std::string("00");
  return d;
}

// Captures a document of `lines` lines (one bench product each)
// and finalises it on the same object. Returns the folio.
std::string CaptureAndFinalise(const tTrEncabezado& fields, int lines) {
  TransferenciaClient t = TransferenciaClient::Create();
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
  tTrDetalle d = LineTemplate();
  for (int i = 1; i <= lines; ++i) {
    d.Producto.Pr_Cve_Producto = ProductCode(i);
    t.SetDetalle(d);
    if (!t.Error().empty()) Fail("Detalle of line " + std::to_string(i), t);
    if (!t.Add_Transferencia_Detalle()) Fail("line " + std::to_string(i), t);
  }
  std::string folio = t.Encabezado().Tr_Folio;
  if (!t.Finalizar_Transferencia(folio)) Fail("Finalizar_Transferencia", t);
  return folio;
}

std::string Request(int lines) {
  return CaptureAndFinalise(
      Header("SL", kBranchNorth, kWarehouseGeneral, kCedis, kWarehouseGeneral, ""), lines);
}

std::string Shipment(int lines, const std::string& request) {
  return CaptureAndFinalise(
      Header("EN", kCedis, kWarehouseGeneral, kBranchNorth, kWarehouseGeneral, request), lines);
}

std::string Reception(int lines, const std::string& shipment) {
  return CaptureAndFinalise(
      Header("RC", kBranchNorth, kWarehouseGeneral, kBranchNorth, kWarehouseGeneral, shipment),
      lines);
}

void Transport(std::string shipment) {
  TransferenciaClient t = TransferenciaClient::Create();
  if (!t.Generar_CFDI_Traslado(shipment)) Fail("Generar_CFDI_Traslado", t);
}

void Cancel(std::string folio) {
  TransferenciaClient t = TransferenciaClient::Create();
  if (!t.Cancelar_Transferencia(folio)) Fail("Cancelar_Transferencia " + folio, t);
}

void Requisition(std::string order) {
  TransferenciaClient t = TransferenciaClient::Create();
  if (!t.Genera_Requisicion_Pedido(order)) Fail("Genera_Requisicion_Pedido", t);
}

// Runs one document operation in the case's mode, keeping the longest unit.
class Runner {
 public:
  explicit Runner(Mode mode) : mode_(mode) {}

  template <class F>
  auto operator()(F&& op) -> decltype(op()) {
    if (mode_ == Mode::kStatement) return op();
    if (!connection_) connection_ = suite::MakeConnection(suite::Database::ForThread());
    using Clock = std::chrono::steady_clock;
    const Clock::time_point t0 = Clock::now();
    connection_->BeginTrans();
    try {
      auto result = op();
      connection_->CommitTrans();
      longest_ = std::max(longest_, std::chrono::duration<double>(Clock::now() - t0).count());
      return result;
    } catch (...) {
      connection_->RollbackTrans();
      throw;
    }
  }
  double longest() const { return longest_; }

 private:
  Mode mode_;
  com::ComPtr<IConnection> connection_;
  double longest_ = 0;
};

}  // namespace

std::string ModeName(Mode mode) {
  return mode == Mode::kUnit ? "unit" : "statement";
}

std::string KindName(Kind kind) {
  switch (kind) {
    case Kind::kShipmentOff:
      return "en-off";
    case Kind::kShipmentOn:
      return "en-on";
    case Kind::kRequest:
      return "sl";
    case Kind::kReceptionOff:
      return "rc-off";
    case Kind::kReceptionOn:
      return "rc-on";
    case Kind::kTransport:
      return "cfdi";
    case Kind::kCancel:
      return "cancel";
    case Kind::kRequisition:
      return "req";
    case Kind::kChain:
      return "chain";
  }
  return "?";
}

std::string KindDescription(Kind kind) {
  switch (kind) {
    case Kind::kShipmentOff:
      return "shipment EN captured and finalised, in-transit setting off";
    case Kind::kShipmentOn:
      return "shipment EN captured and finalised, in-transit setting on";
    case Kind::kRequest:
      return "request SL captured and finalised";
    case Kind::kReceptionOff:
      return "reception RC of the shipment, in-transit setting off";
    case Kind::kReceptionOn:
      return "reception RC of the shipment, in-transit setting on";
    case Kind::kTransport:
      return "Generar_CFDI_Traslado of the finalised shipment";
    case Kind::kCancel:
      return "Cancelar_Transferencia of the shipment (with transport document)";
    case Kind::kRequisition:
      return "Genera_Requisicion_Pedido of an order (lines = order lines)";
    case Kind::kChain:
      return "SL, EN, transport document, RC, cancel RC, cancel EN in one apartment "
             "(lines/s over the 6 steps)";
  }
  return "?";
}

bool InTransit(Kind kind) {
  return kind != Kind::kShipmentOff && kind != Kind::kReceptionOff;
}

int LinesHandled(const Case& c) {
  return c.kind == Kind::kChain ? 6 * c.lines : c.lines;
}

std::string ProductCode(int index) {
  char code[16];
  std::snprintf(code, sizeof code, "BX-%05d", index);
  return code;
}

void AddBenchCatalogue(suite::Database& db, int products) {
  std::vector<suite::CatalogueProduct> catalogue;
  for (int i = 1; i <= products; ++i) {
    catalogue.push_back({ProductCode(i),
                         "Artículo de prueba número " + std::to_string(i) + " (pieza)",
                         "115-09-" + std::to_string(i), kCedis, kWarehouseGeneral,
                         static_cast<double>(kBenchOnHand), 1.0 + (i % 97) / 4.0});
  }
  suite::AddCatalogueProducts(db, catalogue);
}

void SetInTransit(suite::Database& db, bool on) {
  suite::SetParameter(db, "MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", on ? "1" : "0");
}

Context PrepareBase(int lines) {
  return {{"request", Request(lines)}};
}

void PrepareCase(const Case& c, suite::Database& db, Context& ctx) {
  switch (c.kind) {
    case Kind::kReceptionOff:
    case Kind::kReceptionOn:
    case Kind::kTransport:
      ctx["shipment"] = Shipment(c.lines, ctx["request"]);
      break;
    case Kind::kCancel: {
      ctx["shipment"] = Shipment(c.lines, ctx["request"]);
      Transport(ctx["shipment"]);
      // The voucher the suite's issuing would have recorded.
      const auto traslados = suite::TransportDocumentsOf(db, ctx["shipment"]);
      if (traslados.empty()) throw std::runtime_error("no transport document to cancel");
      suite::RecordVoucher(db, traslados[0], "BENCH");
      break;
    }
    case Kind::kRequisition: {
      std::vector<suite::NewOrderLine> lines;
      for (int i = 1; i <= c.lines; ++i) {
        lines.push_back({kOrder, FormatZeros(i, "0000"), kBranchNorth, kWarehouseGeneral,
                         ProductCode(i), kOrdered, kCedis, kWarehouseGeneral});
      }
      suite::AddOrderLines(db, lines);
      ctx["order"] = kOrder;
      break;
    }
    default:
      break;
  }
}

double RunCase(const Case& c, Context& ctx, Mode mode) {
  Runner run(mode);
  // Operations without a result answer this, so every one runs the same way.
  auto done = [](auto op) {
    return [op] {
      op();
      return true;
    };
  };
  switch (c.kind) {
    case Kind::kShipmentOff:
    case Kind::kShipmentOn:
      ctx["shipment"] = run([&] { return Shipment(c.lines, ctx["request"]); });
      break;
    case Kind::kRequest:
      run([&] { return Request(c.lines); });
      break;
    case Kind::kReceptionOff:
    case Kind::kReceptionOn:
      run([&] { return Reception(c.lines, ctx["shipment"]); });
      break;
    case Kind::kTransport:
      run(done([&] { Transport(ctx["shipment"]); }));
      break;
    case Kind::kCancel:
      run(done([&] { Cancel(ctx["shipment"]); }));
      break;
    case Kind::kRequisition:
      run(done([&] { Requisition(ctx["order"]); }));
      break;
    case Kind::kChain: {
      // A unit per document operation, as a client would commit each one.
      const std::string request = run([&] { return Request(c.lines); });
      const std::string shipment = run([&] { return Shipment(c.lines, request); });
      run(done([&] { Transport(shipment); }));
      const std::string reception = run([&] { return Reception(c.lines, shipment); });
      run(done([&] { Cancel(reception); }));
      run(done([&] { Cancel(shipment); }));
      break;
    }
  }
  return run.longest();
}

}  // namespace qbx::bench
