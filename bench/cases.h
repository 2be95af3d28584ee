// The benchmark's cases: the documents they capture, what each needs in the
// database before it starts, and the timed part itself. Every operation goes
// through the component's public interface, as a client's would.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qbx::suite {
class Database;
}

namespace qbx::bench {

enum class Kind {
  kShipmentOff,   // capture + finalisation of "EN", in-transit setting off
  kShipmentOn,    // the same with the setting on
  kRequest,       // capture + finalisation of "SL"
  kReceptionOff,  // capture + finalisation of "RC" of a shipment, setting off
  kReceptionOn,   // the same with the setting on
  kTransport,     // Generar_CFDI_Traslado of a finalised shipment
  kCancel,        // Cancelar_Transferencia of a shipment with its transport document
  kRequisition,   // Genera_Requisicion_Pedido of an order
  kChain,         // SL, EN, transport document, RC, cancel RC, cancel EN
};

struct Case {
  Kind kind;
  int lines;
};

// How a case's documents commit: every statement and service call on its own
// (what a client that never opens a unit gets), or each document operation
// inside one unit of work on the suite's connection.
enum class Mode { kStatement, kUnit };
std::string ModeName(Mode mode);

// Short name for the table and the command line ("en-off", "cfdi", ...).
std::string KindName(Kind kind);
// What the case measures, for the table's legend.
std::string KindDescription(Kind kind);
// Whether the case reads the in-transit setting as on.
bool InTransit(Kind kind);
// Lines the timed part handles in all (the chain handles each line six times).
int LinesHandled(const Case& c);

// Folios a case's timed part works on, by name ("request", "shipment", ...).
using Context = std::map<std::string, std::string>;

// Products of the bench catalogue: "BX-00001" ... Each has stock at the
// distribution centre's general warehouse.
std::string ProductCode(int index);
inline constexpr int kBenchOnHand = 1000;

// Adds `products` plain products (piece units, stock at CEDIS/GRL) to a
// database that has the sample catalogue.
void AddBenchCatalogue(suite::Database& db, int products);
// Sets the in-transit setting in the database.
void SetInTransit(suite::Database& db, bool on);

// The shared start of every case of one size: a finalised request of `lines`
// lines from the northern branch to the distribution centre. Needs the
// suite's provider and database path installed; run in a fresh apartment.
Context PrepareBase(int lines);
// What the case needs beyond the shared start (a finalised shipment, its
// transport document and voucher, order rows), added to ctx.
void PrepareCase(const Case& c, suite::Database& db, Context& ctx);
// The timed part. Raises std::runtime_error when an operation answers False
// (a unit of work open then is rolled back). Answers the longest unit of
// work in seconds, from BeginTrans to the end of CommitTrans: how long a
// document held the write lock (0 in statement mode).
double RunCase(const Case& c, Context& ctx, Mode mode);

}  // namespace qbx::bench
